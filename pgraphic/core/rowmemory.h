#pragma once
// The pixel memory of an image that is read by a few holders (the writers
// of its slices, the writer of a converted file) while it still loads, and
// is kept by nobody afterwards: a row's memory goes back to the system once
// the row is final and every holder of it has left it, so that the resident
// set is the rows in flight, not the picture. The pages go back in place
// (MADV_DONTNEED): the layout stays, and a row read after it went back reads
// as zeros.
//
// Holders are all made before the first row is final: a row nobody holds
// goes back as soon as it is final. Safe on threads.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"

class TPGRowMemory {
 public:
  // image is sized; its pixel memory stays where it is while this lives.
  explicit TPGRowMemory(TPixelGraphic& image);
  TPGRowMemory(const TPGRowMemory&) = delete;
  TPGRowMemory& operator=(const TPGRowMemory&) = delete;

  // A holder of rows top to top + count - 1 (counted from the top, clipped
  // to the image); holders are numbered from 0 in the order made.
  std::size_t Hold(std::int64_t top, std::int64_t count);
  // The holder is done with the rows above row.
  void Leave(std::size_t holder, std::int64_t row);
  // The holder is done with all its rows (also when its writing failed).
  void Done(std::size_t holder);
  // Rows 0 to rows - 1 are final.
  void Final(std::int64_t rows);

  // Bytes gone back to the system so far (whole pages).
  std::int64_t FreedBytes() const;

 private:
  struct THolder {
    std::int64_t Passed = 0;  // rows above this one are left
    std::int64_t End = 0;
  };
  bool MayGoBack(std::int64_t row) const;
  void Drop(std::int64_t from, std::int64_t to);
  void GiveBack(std::int64_t from, std::int64_t to);
  void FreePages(std::int64_t from, std::int64_t to);
  bool PageGone(std::uintptr_t page) const;

  mutable std::mutex Lock;
  std::uint8_t* Bits;
  std::size_t BytesPerRow;
  std::int64_t Height;
  std::uintptr_t PageSize;
  std::vector<std::int32_t> Holds;  // per row: holders that have not left it
  std::vector<bool> Given;          // per row: gone back
  std::vector<THolder> Holders;
  std::int64_t FinalRows = 0;
  std::int64_t Freed = 0;
};
