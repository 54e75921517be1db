#pragma once
// The rows of an image being read that are final so far, counted from the
// top: the reading thread tells them, other threads wait for the ones they
// need. Writers handed a window on such an image (TPixelGraphic::ShowRowsOf
// with a gate from here) write its rows as they come.

#include <algorithm>
#include <climits>
#include <cstddef>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/rowbands.h"
#include "pgraphic/rows/rowmemory.h"


class TPGFinalRows {
 public:
  // Rows 0 to rows - 1 are final.
  void Reach(std::int64_t rows);
  // No more rows will come (the reading failed or is over): waiting for one
  // that has not come raises.
  void GiveUp();
  // Returns once row is final; raises EPixelGraphic when it never will be.
  // A waiter that will want the rows after it too says so with wakeAt (not
  // below row): it sleeps until that row is final, the rows end, or they
  // are given up, so it is woken once per band rather than per row.
  // Both return the rows final by then.
  std::int64_t Wait(std::int64_t row, std::int64_t wakeAt);
  std::int64_t Wait(std::int64_t row) { return Wait(row, row); }
  // Whether row is final already.
  bool Has(std::int64_t row);

 private:
  std::mutex Lock;
  std::condition_variable Changed;
  std::int64_t Rows = 0;
  // The lowest row a waiter waits for: rows before it wake nobody.
  std::int64_t Wanted = INT64_MAX;
  bool GivenUp = false;
};

// The gate of a window on rows top to top + height - 1 of the image being
// read, whose writer (one thread) takes its rows in order: it waits for a band at a
// time, never past the window's last row. With memory, the writer is its
// holder there and leaves the rows a band behind the one it asks for, a
// band at a time (a writer may look back a row or two, never a band), and
// tells the memory when it stops for rows still loading.
class TPGFinalRowsGate : public TPGRowGate {
 public:
  TPGFinalRowsGate(TPGFinalRows& rows, int top, int height, std::int64_t bytesPerRow,
                   TPGRowMemory* memory = nullptr, std::size_t holder = 0)
      : Rows(rows), Top(top), Height(height), Band(RowsPerBand(bytesPerRow)), Memory(memory),
        Holder(holder) {}
  // Only a row past those known final asks the rows (and may wait, then
  // for its whole band): the rows known final need no lock.
  void WaitForRow(int y) override {
    if (std::int64_t(Top) + y >= Ready) Ready = Arrive(y);
    if (!Memory || y < NextLeave) return;
    Memory->Leave(Holder, std::int64_t(Top) + y - Band);
    NextLeave = y + Band;
  }

 private:
  TPGFinalRows& Rows;
  int Top;
  int Height;
  int Band;
  std::int64_t Arrive(int y);

  TPGRowMemory* Memory;
  std::size_t Holder;
  int NextLeave = 0;
  std::int64_t Ready = 0;  // rows of the image known final
};
