#pragma once
// What a page would weigh: every slice of an export made as the export
// would make it, in memory, and nothing written. For `tessel-cli slice
// --dry-run` and for the compression page's total. The slices are those
// of the export's plan (app/export/exportplan.h), so both name the same
// files in the same formats.

#include <atomic>
#include <string>
#include <vector>

#include "app/cut/celldata.h"
#include "app/cut/splitgrid.h"
#include "app/export/exportoptions.h"
#include "app/export/sliceoutcome.h"
#include "pgraphic/core/settings.h"

class TPixelGraphic;

struct TPageWeighing {
  std::string HtmlPath;                   // names the slices as the export would
  TExportOptions Options;                 // retina slices and the page style count
  const TOutputFormat* Format = nullptr;  // the export's
  TPGLibrarySettings Settings;            // the writers' settings, as an export would start with
  int Threads = 1;                        // the slices are made on this many threads
  TCellData Cells;  // merged, skipped and own-format cells (a copy: weighings run on threads)
  // Checked before each slice: when set, the weighing stops and returns
  // what it has (an incomplete list, to be thrown away).
  const std::atomic<bool>* Stop = nullptr;
  std::string SliceBaseName;  // as the export's settings have it (empty: from HtmlPath)
};

// The slices of source cut along grid (it need not be sorted), in cell
// order, each with the path the export would give it, its format, size and
// reason. slice lends its settings to the slices, as the export's slice
// image does. The same for any number of threads; raises the failure of
// the first slice in cell order that fails.
std::vector<TSliceOutcome> WeighSlices(TPixelGraphic& source, const TSplitGrid& grid,
                                       const TPixelGraphic& slice, const TPageWeighing& weighing);
