#pragma once
// The rows of an image being read that are final so far, counted from the
// top: the reading thread tells them, other threads wait for the ones they
// need. Writers handed a window on such an image (TPixelGraphic::ShowRowsOf
// with a gate from here) write its rows as they come.

#include <climits>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "pgraphic/core/pixelgraphic.h"

class TPGFinalRows {
 public:
  // Rows 0 to rows - 1 are final.
  void Reach(std::int64_t rows);
  // No more rows will come (the reading failed or is over): waiting for one
  // that has not come raises.
  void GiveUp();
  // Returns once row is final; raises EPixelGraphic when it never will be.
  void Wait(std::int64_t row);

 private:
  std::mutex Lock;
  std::condition_variable Changed;
  std::int64_t Rows = 0;
  // The lowest row a waiter waits for: rows before it wake nobody.
  std::int64_t Wanted = INT64_MAX;
  bool GivenUp = false;
};

// The gate of a window whose row 0 is row top of the image being read.
class TPGFinalRowsGate : public TPGRowGate {
 public:
  TPGFinalRowsGate(TPGFinalRows& rows, int top) : Rows(rows), Top(top) {}
  void WaitForRow(int y) override { Rows.Wait(std::int64_t(Top) + y); }

 private:
  TPGFinalRows& Rows;
  int Top;
};
