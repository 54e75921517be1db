#include "app/export/pageweight.h"

#include <exception>
#include <memory>
#include <mutex>

#include "app/export/exportplan.h"
#include "app/export/slicesinks.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/threadpool.h"

namespace {

// The export weighed: one that saves no grid.
TExportPlan PlanOf(const TSplitGrid& grid, const TPageWeighing& weighing) {
  TExportSettings settings;
  settings.Options = weighing.Options;
  settings.Options.AlwaysGrid = false;
  settings.SetOutputFormat(*weighing.Format);
  settings.SliceBaseName = weighing.SliceBaseName;
  return PlanExport({grid, {}, weighing.Cells}, settings, weighing.HtmlPath, {}, weighing.Settings);
}

// Cells are cut one at a time (a window on the source's rows, or a copy);
// the rest, scaling too, works on the cell alone, as the export's threads do.
TSliceOutcome Weigh(TPixelGraphic& source, std::mutex& cutting, const TExportPlan& plan,
                    const TPlannedSlice& planned, const TPixelGraphic& slice) {
  const bool grey = CutsGrey(source, planned);
  std::unique_ptr<TPixelGraphic> image;
  {
    const std::lock_guard<std::mutex> guard(cutting);
    image = SliceImageOf(source, plan.Page.Cells[planned.Cell].Cell, slice, planned.Path, 0, 0, grey);
  }
  if (planned.Width > 0) {
    const TGridCell whole{0, 0, 0, 0, image->Width(), image->Height()};
    image = SliceImageOf(*image, whole, slice, planned.Path, planned.Width, planned.Height, grey);
  }
  return EncodedOutcome(planned, EncodeSlice(*image, planned.Format.Format, plan.Rules), plan.Rules.Settings);
}

}  // namespace

std::vector<TSliceOutcome> WeighSlices(TPixelGraphic& source, const TSplitGrid& grid, const TPixelGraphic& slice,
                                       const TPageWeighing& weighing) {
  const TExportPlan plan = PlanOf(grid, weighing);
  std::vector<TSliceOutcome> outcomes(plan.Slices.size());
  std::vector<std::exception_ptr> failures(plan.Slices.size());
  std::mutex cutting;
  TPGTaskGroup weighers(weighing.Threads);
  for (std::size_t i = 0; i < plan.Slices.size(); ++i)
    weighers.Run([&, i] {
      if (weighing.Stop && weighing.Stop->load()) return weighers.Cancel();
      try {
        outcomes[i] = Weigh(source, cutting, plan, plan.Slices[i], slice);
      } catch (...) {
        failures[i] = std::current_exception();
        weighers.Cancel();  // the slices not yet started are not needed
      }
    });
  weighers.Wait();
  for (const std::exception_ptr& failure : failures)
    if (failure) std::rethrow_exception(failure);
  return outcomes;
}
