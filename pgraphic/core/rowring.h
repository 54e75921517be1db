#pragma once
// The rows of an image kept in bands of a few dozen rows (RowsPerBand), each
// band in a buffer of its own, rather than in one block: an image read once
// from the top down and written as it comes needs only the bands in flight.
// A band takes a buffer the first time one of its rows is asked for; once
// let go (Release), its buffer goes to the next band that needs one,
// cleared, so that memory is made once and reused instead of being given
// back to the system and faulted in again. Buffers are made only while
// none is free, so the ring is as large as the most bands ever in flight at
// once, and goes back to the system only when the image lets it go.
//
// Row asks are safe on threads; a band is let go only once no thread reads
// or writes its rows any more. A row of a band let go reads as zeros.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class TPGRowRing {
 public:
  TPGRowRing(int height, std::size_t bytesPerRow);
  ~TPGRowRing();
  TPGRowRing(const TPGRowRing&) = delete;
  TPGRowRing& operator=(const TPGRowRing&) = delete;

  int BandRows() const { return Rows; }
  int Bands() const { return BandCount; }
  // Row y, counted from the top.
  std::uint8_t* Row(int y) {
    const std::size_t band = std::size_t(y / Rows);
    std::uint8_t* bits = Table[band].load(std::memory_order_acquire);
    if (!bits) bits = Take(band);
    return bits + std::size_t(y % Rows) * BytesPerRow;
  }
  // Nobody reads or writes the band's rows any more: its buffer is free.
  void Release(int band);
  // Buffers made so far, and their bytes: the ring's peak.
  std::size_t Buffers() const;
  std::int64_t BufferBytes() const;

 private:
  std::uint8_t* Take(std::size_t band);
  std::uint8_t* MakeBuffer();

  int Rows;
  std::size_t BytesPerRow;
  std::size_t BufferSize;  // whole pages
  int BandCount;
  mutable std::mutex Lock;
  std::unique_ptr<std::atomic<std::uint8_t*>[]> Table;  // per band: its buffer, or null
  std::vector<std::uint8_t*> Free;
  std::vector<std::uint8_t*> Made;
};
