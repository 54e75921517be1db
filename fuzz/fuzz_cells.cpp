// The parser of the cells file beside a grid on arbitrary text, and its
// writer on what it parsed: read back, that file gives the same cells (and
// the lines it was written for), and
// the page of a small grid with those cells covers every filled cell once.

#include <stdexcept>
#include <string>

#include "app/common/atomicfile.h"
#include "app/cut/cellsfile.h"
#include "app/cut/companionfile.h"
#include "app/cut/gridfit.h"
#include "app/common/convert.h"
#include "app/export/pagelayout.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    const TCellData cells = ParseCells(text, "cells", nullptr);
    if (cells.Merges.size() + cells.Skips.size() + cells.Formats.size() > size / 6 + 1)
      fuzz::Finding("more records than lines");
    if (ParseCells(CrLfText(CellsFileLines(cells)), "written", nullptr) != cells)
      fuzz::Finding("written cells read back otherwise");
    TLinesRecord lines;
    TSplitGrid recorded;
    recorded.ResetToImage(60, 40);
    if (ParseCells(CrLfText(CellsFileLines(cells, &recorded)), "written", nullptr, &lines) != cells ||
        (!cells.Empty() && !SameLines(RecordedGrid(lines, {}), recorded)))
      fuzz::Finding("cells written for a grid read back otherwise");
    TSplitGrid grid;
    grid.ResetToImage(60, 40);
    for (int x : {10, 20, 20, 35}) grid.VertSplits.Add(x);
    for (int y : {5, 30}) grid.HorzSplits.Add(y);
    std::int64_t area = 0;
    for (const TPageCell& cell : PageLayoutOf(grid, cells).Cells)
      area += std::int64_t(cell.Cell.Width) * cell.Cell.Height;
    if (area != 60 * 40) fuzz::Finding("the page's cells do not cover the picture once");
  } catch (const EConvertError&) {
  } catch (const std::runtime_error&) {
  }
  return 0;
}
