// PackBits coding of TIFF rows.

#include <algorithm>

#include "pgraphic/core/errors.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/formats/tiff/tiff_detail.h"

namespace tiff {

namespace {

constexpr std::size_t MaxPacket = 128;

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

namespace {

// PackBits runs never cross a row: each row is decoded on its own, and
// the position carries over to the next row of the strip.
class TPackBitsDecoder : public TChunkDecoder {
 public:
  TPackBitsDecoder(TSource& source, std::int64_t start, std::int64_t end) : In(source, start, end) {}

  void Read(std::uint8_t* dst, std::size_t count, std::uint32_t row) override {
    std::size_t done = 0;
    while (done < count) {
      const int n = static_cast<std::int8_t>(In.Next());
      if (n == -128) continue;
      const std::size_t run = n >= 0 ? std::size_t(n) + 1 : std::size_t(1 - n);
      if (run > count - done)
        RaisePrefixed<EPGTIFFileFormatReader>("TIFF (PackBits): ", msgInvalidRowByteCount, std::to_string(row));
      if (n >= 0) {
        for (std::size_t i = 0; i < run; ++i) dst[done++] = In.Next();
      } else {
        std::fill_n(dst + done, run, In.Next());
        done += run;
      }
    }
  }

 private:
  TByteWindow In;
};

}  // namespace

std::unique_ptr<TChunkDecoder> MakePackBitsDecoder(TSource& source, std::int64_t start, std::int64_t end) {
  return std::make_unique<TPackBitsDecoder>(source, start, end);
}

}  // namespace tiff
