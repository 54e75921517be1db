#pragma once
// What a page would weigh: every slice of an export made as the export
// would make it, in memory, and nothing written. For `tessel-cli slice
// --dry-run` and for the compression page's total.

#include <atomic>
#include <string>
#include <vector>

#include "app/cut/cellsfile.h"
#include "app/export/exportoptions.h"
#include "app/export/formatchoice.h"
#include "app/cut/splitgrid.h"

class TPixelGraphic;

struct TPageWeighing {
  std::string HtmlPath;     // names the slices as the export would
  TExportOptions Options;   // retina slices and the page style count
  TSliceFormat Format;      // the export's
  TEncodeRules Rules;
  int Threads = 1;          // the slices are made on this many threads
  TCellData Cells;          // merged and skipped cells (a copy: weighings run on threads)
  // Checked between slices: when set, the weighing stops and returns what
  // it has (an incomplete list, to be thrown away).
  const std::atomic<bool>* Stop = nullptr;
};

// The slices of source cut along grid (sorted here, on a copy), in cell
// order, each with the path the export would give it, its format, size and
// reason. slice lends its settings to the slices, as the export's slice
// image does. The same for any number of threads; raises the failure of
// the first slice in cell order that fails.
std::vector<TSliceOutcome> WeighSlices(TPixelGraphic& source, const TSplitGrid& grid,
                                       const TPixelGraphic& slice, const TPageWeighing& weighing);
