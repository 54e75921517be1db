#include "app/export/pageweight.h"

#include <exception>
#include <filesystem>
#include <mutex>
#include <thread>

#include "app/export/exporter.h"
#include "app/cut/griddata.h"
#include "app/export/slicesinks.h"
#include "pgraphic/core/pixelgraphic.h"

namespace {

// One slice file of the page: a cell, scaled for the half-size retina slice.
struct TPlannedSlice {
  TGridCell Cell;
  TCellFile File;
};

std::vector<TPlannedSlice> PlanSlices(const TSplitGrid& unsorted, const TPageWeighing& weighing) {
  TSplitGrid grid = unsorted;
  grid.SortBoth();
  const TExportNames names = ExportNamesOf(weighing.HtmlPath);
  const std::string& extension = weighing.Format.Format->Extension;
  std::vector<TPlannedSlice> slices;
  for (const TPageCell& page : PageLayoutOf(grid, weighing.Cells).Cells)
    if (!page.Skip)
      for (TCellFile& file : CellFiles(names, page.Cell, weighing.Options.Retina, weighing.Format, extension, weighing.Cells))
        slices.push_back({page.Cell, std::move(file)});
  return slices;
}

// Cells are cut one at a time (a window on the source's rows, or a copy);
// the rest, scaling too, works on the cell alone, as the export's workers do.
TSliceOutcome Weigh(TPixelGraphic& source, std::mutex& cutting, const TPlannedSlice& planned,
                    const TPixelGraphic& slice, const TPageWeighing& weighing) {
  const TCellFile& file = planned.File;
  const TSliceFormat& format = file.Format.Format;
  const bool grey = CutsGrey(source, format.Format->Writer);
  std::unique_ptr<TPixelGraphic> image;
  {
    const std::lock_guard<std::mutex> guard(cutting);
    image = SliceImageOf(source, planned.Cell, slice, file.Path, 0, 0, grey);
  }
  if (file.Width > 0) {
    const TGridCell whole{0, 0, 0, 0, image->Width(), image->Height()};
    image = SliceImageOf(*image, whole, slice, file.Path, file.Width, file.Height, grey);
  }
  const TEncodedSlice encoded = EncodeSlice(*image, format, weighing.Rules);
  TSliceOutcome outcome{format.Format->Chosen() ? file.Path + encoded.Format->Extension : file.Path,
                        encoded.Format->Name, encoded.Quality, encoded.Bytes.size(), encoded.Reason};
  MarkOwnFormat(outcome, file.Format, weighing.Rules.Settings);
  return outcome;
}

}  // namespace

std::vector<TSliceOutcome> WeighSlices(TPixelGraphic& source, const TSplitGrid& grid, const TPixelGraphic& slice,
                                       const TPageWeighing& weighing) {
  const std::vector<TPlannedSlice> planned = PlanSlices(grid, weighing);
  std::vector<TSliceOutcome> outcomes(planned.size());
  std::vector<std::exception_ptr> failures(planned.size());
  std::atomic<std::size_t> next{0};
  std::mutex cutting;
  const auto work = [&] {
    for (std::size_t i; (i = next++) < planned.size();) {
      if (weighing.Stop && weighing.Stop->load()) return;
      try {
        outcomes[i] = Weigh(source, cutting, planned[i], slice, weighing);
      } catch (...) {
        failures[i] = std::current_exception();
        next = planned.size();  // the slices after it are not needed
      }
    }
  };
  std::vector<std::thread> helpers;
  for (int i = 1; i < weighing.Threads && std::size_t(i) < planned.size(); ++i) {
    try {
      helpers.emplace_back(work);
    } catch (const std::system_error&) {
      break;  // fewer threads do the same work
    }
  }
  work();
  for (std::thread& helper : helpers) helper.join();
  for (const std::exception_ptr& failure : failures)
    if (failure) std::rethrow_exception(failure);
  return outcomes;
}
