// LZW data of TIFF strips and tiles: codes of 9 to 12 bits, most
// significant bit first, 256 clears the table, 257 ends the data, and the
// code width grows one code early, as every TIFF writer does it.
//
// Decoded as the rows ask for it, so that a strip of the whole image costs
// no buffer of its size. Every code is checked against the table before it
// is followed, and a string never outgrows the table it comes from.

#include <algorithm>
#include <cstring>

#include "pgraphic/core/errors.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/formats/tiff/tiff_detail.h"

namespace tiff {

namespace {

constexpr int ClearCode = 256;
constexpr int EndCode = 257;
constexpr int FirstFree = 258;
constexpr int TableSize = 4096;
constexpr int MinWidth = 9;
constexpr int MaxWidth = 12;

class TLzwDecoder : public TChunkDecoder {
 public:
  TLzwDecoder(TSource& source, std::int64_t start, std::int64_t end) : In(source, start, end) {
    for (int i = 0; i < 256; ++i) Table[i] = {0, 1, std::uint8_t(i), std::uint8_t(i)};
  }

  void Read(std::uint8_t* dst, std::size_t count, std::uint32_t row) override {
    std::size_t done = 0;
    while (done < count) {
      if (PendingAt == PendingEnd) {
        Decode(row);
        continue;
      }
      const std::size_t n = std::min(count - done, PendingEnd - PendingAt);
      std::memcpy(dst + done, Pending + PendingAt, n);
      PendingAt += n;
      done += n;
    }
  }

 private:
  struct TEntry {
    std::uint16_t Prefix;
    std::uint16_t Length;
    std::uint8_t First;
    std::uint8_t Last;
  };

  [[noreturn]] static void Fail(const std::string& what, std::uint32_t row) {
    throw EPGTIFFileFormatReader("TIFF (LZW): " + what + " in row " + std::to_string(row));
  }

  // Data that ends, or says it ends, before the rows are complete is a
  // file cut short.
  int NextCode() {
    while (Bits < Width) {
      Buffer = (Buffer << 8 | In.Next()) & 0xFFFFFF;
      Bits += 8;
    }
    Bits -= Width;
    return int(Buffer >> Bits) & ((1 << Width) - 1);
  }

  // The string of a code into Pending, last byte first.
  void Emit(int code) {
    const std::size_t length = Table[code].Length;
    PendingAt = 0;
    PendingEnd = length;
    for (std::size_t i = length; i-- > 0;) {
      Pending[i] = Table[code].Last;
      code = Table[code].Prefix;
    }
  }

  void Decode(std::uint32_t row) {
    const int code = NextCode();
    if (code == ClearCode) {
      Width = MinWidth;
      Free = FirstFree;
      Previous = -1;
      return;
    }
    if (code == EndCode) ReadFailMsg(msgUnexpectedEOF);
    if (Previous < 0) {
      if (code > 255) Fail("Invalid code " + std::to_string(code), row);
      Emit(code);
      Previous = code;
      return;
    }
    if (code > Free) Fail("Invalid code " + std::to_string(code), row);
    // A code one past the table is the previous string and its own first byte.
    if (Free < TableSize) {
      const std::uint8_t last = code < Free ? Table[code].First : Table[Previous].First;
      Table[Free] = {std::uint16_t(Previous), std::uint16_t(Table[Previous].Length + 1), Table[Previous].First, last};
      ++Free;
      if (Free >= (1 << Width) - 1 && Width < MaxWidth) ++Width;
    }
    Emit(code);
    Previous = code;
  }

  TByteWindow In;
  TEntry Table[TableSize];
  std::uint32_t Buffer = 0;
  int Bits = 0;
  int Width = MinWidth;
  int Free = FirstFree;
  int Previous = -1;
  std::uint8_t Pending[TableSize];
  std::size_t PendingAt = 0;
  std::size_t PendingEnd = 0;
};

}  // namespace

std::unique_ptr<TChunkDecoder> MakeLzwDecoder(TSource& source, std::int64_t start, std::int64_t end) {
  return std::make_unique<TLzwDecoder>(source, start, end);
}

}  // namespace tiff
