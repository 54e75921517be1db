#pragma once
// What the page would weigh at the qualities chosen, made off the window's
// thread as a job of platform/jobthread.h: every slice of an export encoded
// in memory as the export would make it (app/export/pageweight.h), and the
// sum of their bytes, or why that failed.

#include <QString>

#include <atomic>
#include <cstdint>

#include "app/export/pageweight.h"
#include "platform/jobthread.h"

class TPageWeighingJob : public TPGJobThread {
 public:
  // Works on a copy of source of its own: the views may change meanwhile.
  TPageWeighingJob(const TPixelGraphic& source, TSplitGrid grid, TPageWeighing weighing);
  ~TPageWeighingJob() override;

  // Asks the weighing to stop between two slices, so that the slot, which
  // waits for a job it drops, does not wait for the whole page.
  void Abandon() { FStop = true; }

  // Once the job has delivered (its image is none):
  std::uint64_t Bytes() const { return FBytes; }
  int Slices() const { return FSlices; }
  // Empty when the weighing succeeded.
  const QString& Failure() const { return FFailure; }

 protected:
  void Execute() override;

 private:
  TPixelGraphic FSource;
  TSplitGrid FGrid;
  TPageWeighing FWeighing;
  std::atomic<bool> FStop{false};
  std::uint64_t FBytes = 0;
  int FSlices = 0;
  QString FFailure;
};
