#pragma once
// Helpers of the export that cuts while its source still loads.

#include <cstddef>
#include <cstdint>
#include <functional>

#include "pgraphic/rows/finalrows.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/threadpool.h"
#include "pgraphic/rows/rowmemory.h"

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
// thread of the pool (not at all where it has none), so that the reader
// finds its pages in place instead of stopping at the first touch of each.
// The contents are never touched (the system fills a page just as the
// reader's first write would), so reader and helper may overlap freely. The
// top row, read first, is stored last: the memory is mapped from its end.
class TPageMapper {
 public:
  TPageMapper() = default;
  TPageMapper(const TPageMapper&) = delete;
  TPageMapper& operator=(const TPageMapper&) = delete;

  void Start(const std::uint8_t* bits, std::size_t size);
  void Stop();

 private:
  void Map(std::uintptr_t begin, std::uintptr_t end);

  bool Started = false;
  TPGTaskGroup Mapping{1};  // cancelled to stop; its destructor stops too
};

// The rows of an image while it loads, as its reader tells them: how many
// are final from the top (told on to the writers waiting at a gate of
// pending) and from the bottom (readers of files stored bottom-up). The
// image's own start and rows handlers are called first; they come back
// when the watch ends. onRows runs after them, on the thread that tells the
// rows.
//
// Without rowMemory the image's pixel memory is mapped ahead of the reader.
// With it, the image keeps its rows in bands that are reused once written
// (where its reader can fill them so): it is asked once, at the first rows
// told (the image is sized then), for the memory whose holders are made,
// and told every row final from the top; the reader waits there while it
// is too far ahead of the writers (after onRows, which may hand them work).
class TLoadWatch {
 public:
  TLoadWatch(TPixelGraphic& image, TPGFinalRows& pending, std::function<void()> onRows,
             std::function<TPGRowMemory*()> rowMemory = {});
  ~TLoadWatch() { Guard.Image.SetRowsInBands(false); }
  TLoadWatch(const TLoadWatch&) = delete;
  TLoadWatch& operator=(const TLoadWatch&) = delete;

  std::int64_t FinalFromTop() const { return FromTop; }
  std::int64_t FinalFromBottom() const { return FromBottom; }
  // The load is over: mapping ahead stops.
  void End() { Mapper.Stop(); }

 private:
  void Told(void* sender, int top, int count);

  TProgressGuard Guard;
  TPageMapper Mapper;  // stopped before the handlers are put back
  TPGFinalRows& Pending;
  std::function<void()> OnRows;
  std::function<TPGRowMemory*()> RowMemory;
  TPGRowMemory* Memory = nullptr;
  bool Asked = false;
  std::int64_t FromTop = 0;
  std::int64_t FromBottom = 0;
};
