#pragma once
// Helpers of the export that cuts while its source still loads.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>

#include "pgraphic/core/pixelgraphic.h"

// Puts the previous start and rows handlers back on every exit path.
class TProgressGuard {
 public:
  explicit TProgressGuard(TPixelGraphic& image)
      : Image(image), PreviousRows(image.OnRowsDone), PreviousStart(image.OnProgressStart) {}
  ~TProgressGuard() {
    Image.OnRowsDone = PreviousRows;
    Image.OnProgressStart = PreviousStart;
  }
  TProgressGuard(const TProgressGuard&) = delete;
  TProgressGuard& operator=(const TProgressGuard&) = delete;
  TPixelGraphic& Image;
  TPGRowsEvent PreviousRows;
  TNotifyEvent PreviousStart;
};

// Maps the pixel memory of an image being loaded ahead of its reader, on a
// thread of its own, so that the reader finds its pages in place instead of
// stopping at the first touch of each. The contents are never touched (the
// system fills a page just as the reader's first write would), so reader and
// helper may overlap freely. The top row, read first, is stored last: the
// memory is mapped from its end.
class TPageMapper {
 public:
  TPageMapper() = default;
  ~TPageMapper() { Stop(); }
  TPageMapper(const TPageMapper&) = delete;
  TPageMapper& operator=(const TPageMapper&) = delete;

  void Start(const std::uint8_t* bits, std::size_t size);
  void Stop();

 private:
  void Map(std::uintptr_t begin, std::uintptr_t end);

  std::atomic<bool> Stopping{false};
  std::thread Thread;
};
