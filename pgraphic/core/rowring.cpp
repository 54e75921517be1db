#include "pgraphic/core/rowring.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "pgraphic/core/rowbands.h"

TPGRowRing::TPGRowRing(int height, std::size_t bytesPerRow)
    : Rows(RowsPerBand(std::int64_t(bytesPerRow))),
      BytesPerRow(bytesPerRow),
      BandCount(std::max(height, 0) / Rows + (std::max(height, 0) % Rows != 0)),
      Table(new std::atomic<std::uint8_t*>[std::size_t(BandCount)]) {
  const auto page = std::size_t(::sysconf(_SC_PAGESIZE));
  BufferSize = (std::size_t(Rows) * BytesPerRow + page - 1) / page * page;
  for (int band = 0; band < BandCount; ++band) Table[std::size_t(band)].store(nullptr, std::memory_order_relaxed);
}

TPGRowRing::~TPGRowRing() {
  for (std::uint8_t* buffer : Made) ::munmap(buffer, BufferSize);
}

// A buffer straight from the system, its pages mapped at once in one call
// (zeroed, as the first touch of each would have them), so that the reader
// never stops at a fault inside it.
std::uint8_t* TPGRowRing::MakeBuffer() {
  void* memory = ::mmap(nullptr, BufferSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  if (memory == MAP_FAILED) throw std::bad_alloc();
  Made.push_back(static_cast<std::uint8_t*>(memory));
  return Made.back();
}

std::uint8_t* TPGRowRing::Take(std::size_t band) {
  std::lock_guard<std::mutex> guard(Lock);
  if (std::uint8_t* bits = Table[band].load(std::memory_order_relaxed)) return bits;
  std::uint8_t* bits = nullptr;
  if (Free.empty()) {
    Made.reserve(Made.size() + 1);
    Free.reserve(Made.size() + 1);  // so that letting it go never fails
    bits = MakeBuffer();
  } else {
    bits = Free.back();
    Free.pop_back();
  }
  Table[band].store(bits, std::memory_order_release);
  return bits;
}

// A band's rows start as zeros, as in fresh memory: a reader that stops
// short of a row's end, or of the image's, leaves what a block would. The
// buffer is cleared here, on the thread that lets it go (a writer's, as a
// rule), rather than by the reader that takes it next.
void TPGRowRing::Release(int band) {
  if (band < 0 || band >= BandCount) return;
  std::uint8_t* bits = Table[std::size_t(band)].exchange(nullptr, std::memory_order_acq_rel);
  if (!bits) return;
  std::memset(bits, 0, BufferSize);
  std::lock_guard<std::mutex> guard(Lock);
  Free.push_back(bits);
}

std::size_t TPGRowRing::Buffers() const {
  std::lock_guard<std::mutex> guard(Lock);
  return Made.size();
}

std::int64_t TPGRowRing::BufferBytes() const {
  std::lock_guard<std::mutex> guard(Lock);
  return std::int64_t(Made.size() * BufferSize);
}
