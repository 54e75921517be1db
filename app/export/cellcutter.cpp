#include "app/export/cellcutter.h"

#include <climits>
#include <new>

#include "pgraphic/rows/loadwatch.h"

void TCellCutter::CutWhileLoading(const std::function<void()>& load) {
  FRowEnd = FPlan.Starting.size();
  bool stalled = false;
  std::function<TPGRowMemory*()> rowMemory;
  if (FPlan.Road.GivesRowsBack) rowMemory = [this] { return HoldRows(); };
  TLoadWatch* watching = nullptr;
  TLoadWatch watch(FSource, FRows.Final, [&] {
    if (stalled) return;
    try {
      CutReadyRows(*watching);
    } catch (...) {
      stalled = true;
    }
  }, rowMemory);
  watching = &watch;
  FSink.HoldFailures(true);
  try {
    load();
  } catch (...) {
    FRows.Final.GiveUp();
    throw;
  }
  FRows.Final.Reach(INT64_MAX);
  watch.End();
  FSink.HoldFailures(false);
}

// A band of the source's rows is reused once every slice file that needs
// it is written: each file holds the rows of its cell (a cell's several files
// each hold them) until its writer has passed them or it is staged. Made at
// the first rows loaded, before any cell is cut.
TPGRowMemory* TCellCutter::HoldRows() {
  TPGRowMemory& memory = FRows.Memory.emplace(FSource);
  // Holders are numbered as the files: skipped cells have none.
  for (const TPlannedSlice& slice : FPlan.Slices) {
    const TGridCell& cell = FPlan.Page.Cells[slice.Cell].Cell;
    memory.Hold(cell.Top, cell.Height);
  }
  FSink.GiveRowsBack(&memory);
  return &memory;
}

// Cuts the cells whose source rows are all final, walking the table's rows:
// from the top down while rows come from the top, the cells that end in a
// row once it is complete (or, where writers take rows as they come, the
// cells that begin in it once its first row is in); from the bottom up
// while they come from the bottom, the cells that begin in a row once it is
// complete. Cells that reach across the rows still missing wait for the end
// of the load.
void TCellCutter::CutReadyRows(const TLoadWatch& loaded) {
  const std::vector<std::int32_t>& edges = FPlan.Page.RowEdges;
  const std::int64_t height = FSource.Height();
  const std::int64_t fromTop = loaded.FinalFromTop();
  const std::int64_t fromBottom = loaded.FinalFromBottom();
  const bool early = FPlan.Road.WritersTakeRowsAsTheyCome && FSource.PixelFormat() == pgpf24Bit && fromBottom == 0;
  while (FRowFirst < FRowEnd) {
    const std::size_t row = FRowFirst;
    const bool complete = edges[row + 1] <= fromTop;
    if (!complete && !(early && edges[row] < fromTop)) break;
    ++FRowFirst;
    if (complete) PutCells(FPlan.Ending[row]);
    if (early) PutCells(FPlan.Starting[row], &FRows.Final);
  }
  while (FRowFirst < FRowEnd) {
    if (edges[FRowEnd - 1] < height - fromBottom) break;
    PutCells(FPlan.Starting[--FRowEnd]);
  }
}

// With pending, cells go as windows that wait for their rows; those that
// cannot are left for the cutting after the load.
void TCellCutter::PutCells(const std::vector<std::size_t>& cells, TPGFinalRows* pending) {
  for (const std::size_t index : cells)
    if (!pending || WindowFits(FSource, FPlan.Page.Cells[index].Cell)) Put(index, pending);
}

// A retina cell is written half size first, so that a kept slice image
// ends holding the cell at full size.
void TCellCutter::Put(std::size_t index, TPGFinalRows* pending) {
  if (FPlan.Page.Cells[index].Skip) return;
  const std::size_t first = FPlan.FirstFile[index];
  for (std::size_t file = first; file < first + FPlan.FilesPerCell; ++file) {
    if (FCut[file]) continue;
    try {
      FSink.Put(file, FSource, pending);
    } catch (const std::bad_alloc&) {
      RaiseOutOfMemory(FPlan.Slices[file].Path);
    }
    FCut[file] = true;
  }
}
