#pragma once
// Where the cut cells of an export go: each becomes a complete slice file
// under a staging name (pgraphic/core/stagedfile.h), cut and written on
// this thread or encoded and written by worker threads. Nothing takes its
// place here; the export commits the staged slices with its other files.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/splitgrid.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/stagedfile.h"

class TSliceSink {
 public:
  virtual ~TSliceSink() = default;
  // Cuts the cell out of source and stages it as the slice file path (the
  // writer is picked by its extension).
  virtual void Put(TPixelGraphic& source, const TGridCell& cell, const std::string& path) = 0;
  // Returns every slice handed over, staged, in cell order, and leaves the
  // last cell in the slice image. Raises the first failure in cell order.
  virtual std::vector<TStagedFile> Finish() = 0;
  // Whether Put returns before the slice is staged.
  virtual bool Concurrent() const { return false; }
  // While held, a cell that cannot be cut only raises; the failures of the
  // cells before it wait for Finish.
  virtual void HoldFailures(bool) {}
};

// Cuts each cell into slice and stages it before Put returns: what the
// per-slice dialog needs, since it shows slice.
std::unique_ptr<TSliceSink> MakeDirectSink(TPixelGraphic& slice);

// Cuts cells here in cell order and has threads encode and stage them. The
// pixels waiting for a worker stay within budget bytes. Raises
// std::system_error when not a single thread can be started.
std::unique_ptr<TSliceSink> MakeThreadedSink(int threads, std::int64_t budget, TPixelGraphic& slice);

// Sizes slice to the cell at 24 bits and copies the cell into it. Memory
// that cannot be had raises EExportError naming path.
void CutCell(TPixelGraphic& slice, TPixelGraphic& source, const TGridCell& cell,
             const std::string& path);

// The failure of a slice whose memory ran out.
[[noreturn]] void RaiseOutOfMemory(const std::string& path);
