#pragma once
// Hands the cells of an export to its sink: in cell order once the source
// has loaded, or while it loads, each as soon as the rows of its rectangle
// are in (a merged cell: of every grid row it spans).

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

#include "app/export/exportplan.h"
#include "app/export/slicesinks.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/rows/finalrows.h"
#include "pgraphic/rows/rowmemory.h"

class TLoadWatch;

// The source's rows while it loads: those known final, and where bands of
// rows are reused behind the writers, when they may be. Both must outlive
// the sink, whose writers wait for rows and leave them.
struct TLoadingRows {
  TPGFinalRows Final;
  std::optional<TPGRowMemory> Memory;
};

class TCellCutter {
 public:
  TCellCutter(TPixelGraphic& source, const TExportPlan& plan, TSliceSink& sink, TLoadingRows& rows)
      : FSource(source), FPlan(plan), FSink(sink), FRows(rows), FCut(plan.Slices.size(), false) {}

  // Runs load, cutting the cells whose rows are final on the way. Slices
  // cut during the load stay staged until it has succeeded. A cell that
  // fails to be cut here stops the cutting; it is tried again after the
  // load (Put), where its failure comes in cell order.
  void CutWhileLoading(const std::function<void()>& load);
  // Every file of cell index (counted in cell order) to the sink, unless it
  // went already.
  void Put(std::size_t index) { Put(index, nullptr); }

 private:
  void CutReadyRows(const TLoadWatch& loaded);
  void PutCells(const std::vector<std::size_t>& cells, TPGFinalRows* pending = nullptr);
  void Put(std::size_t index, TPGFinalRows* pending);
  TPGRowMemory* HoldRows();

  TPixelGraphic& FSource;
  const TExportPlan& FPlan;
  TSliceSink& FSink;
  TLoadingRows& FRows;
  std::vector<bool> FCut;  // per slice file: handed to the sink
  // While the source loads, the table rows not yet cut lie from FRowFirst
  // up to FRowEnd.
  std::size_t FRowFirst = 0;
  std::size_t FRowEnd = 0;
};
