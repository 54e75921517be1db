#include "pgraphic/rows/loadwatch.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

void TPageMapper::Start(const std::uint8_t* bits, std::size_t size) {
  const auto page = std::uintptr_t(::sysconf(_SC_PAGESIZE));
  const std::uintptr_t begin = (std::uintptr_t(bits) + page - 1) / page * page;
  const std::uintptr_t end = (std::uintptr_t(bits) + size) / page * page;
  if (Started || !bits || begin >= end) return;
  Started = Mapping.RunOnThread([this, begin, end] { Map(begin, end); });
}

void TPageMapper::Stop() {
  Mapping.Cancel();
  Mapping.WaitForFailure();
}

void TPageMapper::Map(std::uintptr_t begin, std::uintptr_t end) {
  constexpr std::uintptr_t kChunk = std::uintptr_t(4) << 20;
  for (std::uintptr_t to = end; to > begin && !Mapping.Cancelled();) {
    const std::uintptr_t from = to - begin > kChunk ? to - kChunk : begin;
    // A system without the request says so at once; nothing is lost.
    if (::madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE) != 0) return;
    to = from;
  }
}

TLoadWatch::TLoadWatch(TPixelGraphic& image, TPGFinalRows& pending, std::function<void()> onRows,
                       std::function<TPGRowMemory*()> rowMemory)
    : Guard(image), Pending(pending), OnRows(std::move(onRows)), RowMemory(std::move(rowMemory)) {
  // Rows that go behind the writers live in bands that are reused.
  if (RowMemory) image.SetRowsInBands(true);
  image.OnProgressStart = [this](void* sender) {
    if (Guard.PreviousStart) Guard.PreviousStart(sender);
    if (!RowMemory) Mapper.Start(Guard.Image.Bits(), Guard.Image.ImageSize());
  };
  image.OnRowsDone = [this](void* sender, int top, int count) { Told(sender, top, count); };
}

void TLoadWatch::Told(void* sender, int top, int count) {
  if (Guard.PreviousRows) Guard.PreviousRows(sender, top, count);
  if (RowMemory && !std::exchange(Asked, true)) Memory = RowMemory();
  const std::int64_t height = Guard.Image.Height();
  if (top <= FromTop) {
    FromTop = std::max<std::int64_t>(FromTop, std::int64_t(top) + count);
    Pending.Reach(FromTop);
    if (Memory) Memory->Final(FromTop);
  }
  if (std::int64_t(top) + count >= height - FromBottom) FromBottom = std::max<std::int64_t>(FromBottom, height - top);
  if (OnRows) OnRows();
  if (Memory) Memory->WaitForRoom();
}
