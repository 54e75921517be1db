// PackBits coding of TIFF rows.

#include <algorithm>

#include "pgraphic/core/errors.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/formats/tiff/tiff_detail.h"

namespace tiff {

namespace {

constexpr std::size_t MaxPacket = 128;
constexpr std::int64_t WindowSize = 4096;

// Length of the run of equal bytes each byte belongs to.
std::vector<std::size_t> RunLengths(const std::uint8_t* src, std::size_t n) {
  std::vector<std::size_t> len(n);
  for (std::size_t i = 0; i < n;) {
    std::size_t j = i + 1;
    while (j < n && src[j] == src[i]) ++j;
    std::fill(len.begin() + i, len.begin() + j, j - i);
    i = j;
  }
  return len;
}

// A pair of equal bytes beside a literal is cheaper inside that literal.
void MergePairsIntoLiterals(std::vector<std::size_t>& len) {
  const std::size_t n = len.size();
  for (std::size_t i = 1; i < n; ++i)
    if (len[i] == 2 && len[i - 1] == 1) len[i] = 1;
  for (std::size_t i = n; i-- > 1;)
    if (len[i - 1] == 2 && len[i] == 1) len[i - 1] = 1;
}

}  // namespace

std::size_t PackBitsEncode(const std::uint8_t* src, std::size_t n, std::uint8_t* dst) {
  std::vector<std::size_t> len = RunLengths(src, n);
  MergePairsIntoLiterals(len);
  std::size_t out = 0;
  for (std::size_t i = 0; i < n;) {
    std::size_t count = 1;
    if (len[i] == 1) {
      while (i + count < n && count < MaxPacket && len[i + count] == 1) ++count;
      dst[out++] = std::uint8_t(count - 1);
      std::copy(src + i, src + i + count, dst + out);
      out += count;
    } else {
      while (i + count < n && count < MaxPacket && len[i + count] > 1 && src[i + count] == src[i])
        ++count;
      dst[out++] = std::uint8_t(1 - int(count));
      dst[out++] = src[i];
    }
    i += count;
  }
  return out;
}

TPackBitsDecoder::TPackBitsDecoder(TSource& source, std::int64_t start, std::int64_t end)
    : Src(source), Pos(start), End(std::min(end, source.Size)), Window(WindowSize) {}

void TPackBitsDecoder::Refill() {
  WindowStart = Pos;
  WindowLength = std::min(WindowSize, End - Pos);
  Src.ReadAt(Pos, Window.data(), WindowLength);
}

std::uint8_t TPackBitsDecoder::NextByte() {
  if (Pos >= End) ReadFailMsg(msgUnexpectedEOF);
  if (Pos < WindowStart || Pos >= WindowStart + WindowLength) Refill();
  return Window[std::size_t(Pos++ - WindowStart)];
}

void TPackBitsDecoder::DecodeRow(std::uint8_t* dst, std::size_t count, std::uint32_t row) {
  std::size_t done = 0;
  while (done < count) {
    const int n = static_cast<std::int8_t>(NextByte());
    if (n == -128) continue;
    const std::size_t run = n >= 0 ? std::size_t(n) + 1 : std::size_t(1 - n);
    if (run > count - done)
      RaisePrefixed<EPGTIFFileFormatReader>("TIFF (PackBits): ", msgInvalidRowByteCount,
                                            std::to_string(row));
    if (n >= 0) {
      for (std::size_t i = 0; i < run; ++i) dst[done++] = NextByte();
    } else {
      std::fill_n(dst + done, run, NextByte());
      done += run;
    }
  }
}

}  // namespace tiff
