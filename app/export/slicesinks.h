#pragma once
// Where the cut cells of an export go: each becomes a complete slice file
// under a staging name (pgraphic/core/stagedfile.h), written on this thread
// or by threads of the library's pool. Nothing takes its place here; the
// export commits the staged slices with its other files.
//
// A cell of a 24-bit source is handed to the writer as a window on the
// source's rows (TPixelGraphic::ShowRowsOf), not as a copy: the files are
// the same, and neither the time nor the memory of a copy is spent. Cells of
// palette sources are copied into 24-bit images, as the slices are 24-bit;
// those of a source of 256 greys stay grey for writers that write grey
// files (JPEG and PNG), so that a grey design gives grey slices.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "app/export/exportplan.h"
#include "app/export/sliceoutcome.h"
#include "app/cut/splitgrid.h"
#include "pgraphic/rows/finalrows.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/rows/rowmemory.h"
#include "pgraphic/core/stagedfile.h"

class TSliceSink {
 public:
  virtual ~TSliceSink() = default;
  // Stages slice file number index of the plan (counted in cell order from
  // 0): its cell of source, scaled when the plan scales it, written as the
  // plan says (a slice whose format is chosen gets the extension of the one
  // chosen added to its path). The source must keep its pixels until Finish
  // has returned. With pending, the cell's rows may still be coming: the
  // writer, which must take rows from the top down, waits for each (only
  // for unscaled slices of cells that WindowFits). A scaled slice needs all
  // the rows of its cell final.
  virtual void Put(std::size_t index, TPixelGraphic& source, TPGFinalRows* pending = nullptr) = 0;
  // Returns every slice handed over, staged, in cell order, and raises the
  // first failure in cell order.
  virtual std::vector<TStagedFile> Finish() = 0;
  // The file slice index becomes. Waits for a slice whose format is being
  // chosen on another thread, and raises its failure when it has one
  // (only ask in cell order, then, so that the failure raised is the first).
  virtual std::string SlicePath(std::size_t index) = 0;
  // After Finish: what became of each slice, in cell order.
  virtual std::vector<TSliceOutcome> Outcomes() const = 0;
  // Whether Put returns before the slice is staged, and takes cells in any
  // order.
  virtual bool Concurrent() const { return false; }
  // While held, a cell that cannot be cut only raises; the failures of
  // other cells wait for Finish.
  virtual void HoldFailures(bool) {}
  // Slice number index is holder index of memory from now on (before the
  // first Put): a writer waiting at a gate leaves the rows it has passed,
  // and a slice staged (or failed) leaves all its rows. Sinks that write on
  // the caller's thread keep every row.
  virtual void GiveRowsBack(TPGRowMemory*) {}
};

// The sinks follow the plan, which must outlive them; slice is the export's
// slice image, whose settings go to every slice.

// Stages each slice before Put returns, in cell order. Where the plan's road
// keeps the last slice, every cell is cut into slice, as the per-slice
// dialog shows it.
std::unique_ptr<TSliceSink> MakeDirectSink(const TExportPlan& plan, TPixelGraphic& slice);

// Has the road's number of threads stage the slices. The pixels of copied
// cells waiting for a thread stay within the plan's CopyBudget. Raises
// std::system_error when the pool cannot give the export a single thread.
std::unique_ptr<TSliceSink> MakeThreadedSink(const TExportPlan& plan, TPixelGraphic& slice);

// Whether the cell can be written from a window on source's rows: a
// 24-bit source that holds the whole cell.
bool WindowFits(const TPixelGraphic& source, const TGridCell& cell);

// Whether the slices of source that writer (a registry extension) writes
// are cut as 256 greys: a source of 256 greys, and a writer that writes
// grey files (TFileFormatWriter::WritesGrey).
bool CutsGrey(const TPixelGraphic& source, const std::string& writer);
// The same for a planned slice: by its writer, or its chosen format's.
bool CutsGrey(const TPixelGraphic& source, const TPlannedSlice& slice);

// Sizes slice to the cell at 24 bits (at 256 greys with grey) and copies
// the cell into it, with the source's colour profile and alpha. Memory
// that cannot be had raises EExportError naming path.
void CutCell(TPixelGraphic& slice, TPixelGraphic& source, const TGridCell& cell,
             const std::string& path, bool grey = false);

// The slice of a cell as its own image, with the settings of the export's
// slice image: a window on the source where that gives the same bytes, a
// cut copy otherwise; scaled to width x height by the precise filter when
// width is not 0 (the cell's rows must then all be final); grey as in
// CutCell.
std::unique_ptr<TPixelGraphic> SliceImageOf(TPixelGraphic& source, const TGridCell& cell,
                                            const TPixelGraphic& slice, const std::string& path,
                                            int width = 0, int height = 0, bool grey = false);

// The failure of a slice whose memory ran out.
[[noreturn]] void RaiseOutOfMemory(const std::string& path);
