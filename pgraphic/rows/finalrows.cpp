#include "pgraphic/rows/finalrows.h"

#include <algorithm>

#include "pgraphic/core/errors.h"

void TPGFinalRows::Reach(std::int64_t rows) {
  {
    std::lock_guard<std::mutex> guard(Lock);
    if (rows <= Rows) return;
    Rows = rows;
    if (rows <= Wanted) return;
    Wanted = INT64_MAX;  // the waiters still short of their row say so again
  }
  Changed.notify_all();
}

void TPGFinalRows::GiveUp() {
  {
    std::lock_guard<std::mutex> guard(Lock);
    GivenUp = true;
  }
  Changed.notify_all();
}

bool TPGFinalRows::Has(std::int64_t row) {
  std::lock_guard<std::mutex> guard(Lock);
  return row < Rows;
}

std::int64_t TPGFinalRows::Wait(std::int64_t row, std::int64_t wakeAt) {
  std::unique_lock<std::mutex> lock(Lock);
  while (row >= Rows && !GivenUp) {
    Wanted = std::min(Wanted, std::max(row, wakeAt));
    Changed.wait(lock);
  }
  if (row >= Rows) RaisePG<EPixelGraphic>(msgAborted);
  return Rows;
}

// Waits for row y and, where it must sleep, for the band from it on (or the
// window's rest); a holder stopped here tells the memory, so that the reader
// is not held back for it.
std::int64_t TPGFinalRowsGate::Arrive(int y) {
  const std::int64_t last = std::min<std::int64_t>(std::int64_t(y) + Band, Height) - 1;
  const std::int64_t row = std::int64_t(Top) + y, wakeAt = std::int64_t(Top) + std::max<std::int64_t>(last, y);
  if (!Memory || Rows.Has(row)) return Rows.Wait(row, wakeAt);
  Memory->Await(Holder, true);
  struct TBack {
    TPGRowMemory& Memory;
    std::size_t Holder;
    ~TBack() { Memory.Await(Holder, false); }
  } back{*Memory, Holder};
  return Rows.Wait(row, wakeAt);
}
