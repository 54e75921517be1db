// The data of strips and tiles: read through a window, and handed to the
// decoder of the file's compression.

#include <algorithm>
#include <cstring>

#include "pgraphic/core/errors.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/formats/tiff/tiff_detail.h"

namespace tiff {

namespace {

constexpr std::int64_t WindowSize = 4096;

// Uncompressed rows are read where they lie, without a window.
class TRawDecoder : public TChunkDecoder {
 public:
  TRawDecoder(TSource& source, std::int64_t start, std::int64_t end) : Src(source), Pos(start), End(end) {}

  void Read(std::uint8_t* dst, std::size_t count, std::uint32_t) override {
    if (std::int64_t(count) > End - Pos) ReadFailMsg(msgUnexpectedEOF);
    Src.ReadAt(Pos, dst, std::int64_t(count));
    Pos += std::int64_t(count);
  }

 private:
  TSource& Src;
  std::int64_t Pos;
  std::int64_t End;
};

}  // namespace

TByteWindow::TByteWindow(TSource& source, std::int64_t start, std::int64_t end)
    : Src(source), Pos(start), End(std::min(end, source.Size)), Window(WindowSize) {}

void TByteWindow::Refill() {
  WindowStart = Pos;
  WindowLength = std::min(WindowSize, End - Pos);
  Src.ReadAt(Pos, Window.data(), WindowLength);
}

std::uint8_t TByteWindow::Next() {
  if (Pos >= End) ReadFailMsg(msgUnexpectedEOF);
  if (Pos < WindowStart || Pos >= WindowStart + WindowLength) Refill();
  return Window[std::size_t(Pos++ - WindowStart)];
}

std::size_t TByteWindow::Take(const std::uint8_t*& data, std::size_t max) {
  if (Pos >= End || max == 0) return 0;
  if (Pos < WindowStart || Pos >= WindowStart + WindowLength) Refill();
  const std::size_t count = std::size_t(std::min<std::int64_t>(std::int64_t(max), WindowStart + WindowLength - Pos));
  data = Window.data() + (Pos - WindowStart);
  Pos += std::int64_t(count);
  return count;
}

void UndoHorizontalPredictor(std::uint8_t* row, std::size_t pixels, std::size_t samples, std::uint32_t bits) {
  if (pixels < 2) return;
  const std::size_t count = pixels * samples;
  if (bits == 8) {
    for (std::size_t i = samples; i < count; ++i) row[i] = std::uint8_t(row[i] + row[i - samples]);
    return;
  }
  for (std::size_t i = samples; i < count; ++i) {
    std::uint16_t before, here;
    std::memcpy(&before, row + 2 * (i - samples), 2);
    std::memcpy(&here, row + 2 * i, 2);
    here = std::uint16_t(here + before);
    std::memcpy(row + 2 * i, &here, 2);
  }
}

std::unique_ptr<TChunkDecoder> MakeChunkDecoder(TSource& source, std::uint32_t compression, std::int64_t start,
                                                std::int64_t end) {
  switch (compression) {
    case compPackBits: return MakePackBitsDecoder(source, start, end);
    case compLZW: return MakeLzwDecoder(source, start, end);
    case compDeflate:
    case compOldDeflate: return MakeDeflateDecoder(source, start, end);
    default: return std::make_unique<TRawDecoder>(source, start, end);
  }
}

}  // namespace tiff
