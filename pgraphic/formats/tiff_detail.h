#pragma once
// Pieces shared by the TIFF reader and writer: byte order, tag numbers, the
// parsed image file directory and the codecs of strips and tiles.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/stream.h"

namespace tiff {

enum : std::uint16_t {
  tagNewSubfileType = 254,
  tagImageWidth = 256,
  tagImageLength = 257,
  tagBitsPerSample = 258,
  tagCompression = 259,
  tagPhotometric = 262,
  tagStripOffsets = 273,
  tagSamplesPerPixel = 277,
  tagRowsPerStrip = 278,
  tagStripByteCounts = 279,
  tagXResolution = 282,
  tagYResolution = 283,
  tagPlanarConfiguration = 284,
  tagResolutionUnit = 296,
  tagPredictor = 317,
  tagColorMap = 320,
  tagIccProfile = 34675,
};

enum : std::uint16_t { ftByte = 1, ftShort = 3, ftLong = 4, ftRational = 5, ftUndefined = 7 };

enum : std::uint32_t { compNone = 1, compLZW = 5, compDeflate = 8, compPackBits = 32773, compOldDeflate = 32946 };

enum : std::uint32_t {
  phWhiteIsZero = 0,
  phBlackIsZero = 1,
  phRGB = 2,
  phPalette = 3,
  phSeparated = 5,
};

constexpr int HeaderSize = 8;
constexpr int EntrySize = 12;

struct TByteOrder {
  bool Big = false;
  std::uint16_t Get16(const std::uint8_t* p) const;
  std::uint32_t Get32(const std::uint8_t* p) const;
  void Put16(std::uint8_t* p, std::uint16_t v) const;
  void Put32(std::uint8_t* p, std::uint32_t v) const;
};

// Reader failures: "TIFF: " followed by a literal text or a table entry.
[[noreturn]] void ReadFail(const std::string& text);
[[noreturn]] void ReadFailMsg(int entry);
[[noreturn]] void ReadFailInvalid(const std::string& what);

// Random access to a TIFF whose header starts at Base; offsets count from Base
// and every access is checked against the bytes that exist.
class TSource {
 public:
  explicit TSource(TStream& stream);
  TSource(TStream& stream, std::int64_t base, std::int64_t size, TByteOrder order)
      : Stream(stream), Base(base), Size(size), Order(order) {}
  TStream& Stream;
  std::int64_t Base;
  std::int64_t Size;  // bytes from Base to the end of the stream
  TByteOrder Order;
  bool Fits(std::int64_t offset, std::int64_t count) const {
    return offset >= 0 && count >= 0 && offset <= Size && count <= Size - offset;
  }
  void ReadAt(std::int64_t offset, void* buffer, std::int64_t count);
  std::uint16_t Read16At(std::int64_t offset);
  std::uint32_t Read32At(std::int64_t offset);
};

struct TDirectory {
  std::int64_t Base = 0;
  std::int64_t Size = 0;
  TByteOrder Order;
  int ImageCount = 1;
  std::uint32_t Width = 0;
  std::uint32_t Length = 0;
  std::uint32_t Compression = 0;
  std::uint32_t Photometric = 0;
  std::uint32_t SamplesPerPixel = 0;
  std::uint32_t RowsPerStrip = 0;
  std::uint32_t PlanarConfiguration = 0;
  std::uint32_t Predictor = 1;
  std::vector<std::uint32_t> BitsPerSample;
  std::vector<std::uint32_t> StripOffsets;
  std::vector<std::uint32_t> StripByteCounts;
  std::vector<std::uint32_t> ColorMap;
  bool HasStripByteCounts = false;
  // The ICC profile's entry, its bytes not yet read (see ReadIccProfile).
  bool HasIcc = false;
  std::uint16_t IccType = 0;
  std::uint32_t IccCount = 0;
  std::uint8_t IccField[4] = {0, 0, 0, 0};
};

// Header, image count and directory number `index`, with the checks shared
// by image and information reading. The stream is left at an unspecified
// position.
TDirectory ReadDirectory(TStream& stream, int index);

// The bytes of the directory's ICC profile, or what keeps them from being
// read (a type other than BYTE or UNDEFINED, bytes outside the file), which
// only costs the profile.
std::string ReadIccProfile(TStream& stream, const TDirectory& dir, std::vector<std::uint8_t>& icc);

// Encodes one row; dst needs room for 2 * n bytes. Returns the encoded size.
std::size_t PackBitsEncode(const std::uint8_t* src, std::size_t n, std::uint8_t* dst);

// The bytes [start, end) of a strip or tile (relative to the source's
// base), read through a window of the stream.
class TByteWindow {
 public:
  TByteWindow(TSource& source, std::int64_t start, std::int64_t end);
  bool AtEnd() const { return Pos >= End; }
  // The next byte; raises at the end.
  std::uint8_t Next();
  // Up to max bytes in place, and how many (0 only at the end).
  std::size_t Take(const std::uint8_t*& data, std::size_t max);

 private:
  void Refill();
  TSource& Src;
  std::int64_t Pos;
  std::int64_t End;
  std::int64_t WindowStart = 0;
  std::int64_t WindowLength = 0;
  std::vector<std::uint8_t> Window;
};

// The decompressed bytes of one strip or tile, in order.
class TChunkDecoder {
 public:
  virtual ~TChunkDecoder() = default;
  // Produces exactly count more bytes, of image row `row` (for messages);
  // raises on damaged data and on data that ends too soon.
  virtual void Read(std::uint8_t* dst, std::size_t count, std::uint32_t row) = 0;
};

// The decoder of a compression the reader takes, for data at [start, end).
std::unique_ptr<TChunkDecoder> MakeChunkDecoder(TSource& source, std::uint32_t compression, std::int64_t start,
                                                std::int64_t end);
// Rows written with the horizontal predictor hold each sample as its
// difference to the same sample of the pixel before; this adds them up
// again, in place, for samples of 8 bits or of 16 bits in the machine's
// order.
void UndoHorizontalPredictor(std::uint8_t* row, std::size_t pixels, std::size_t samples, std::uint32_t bits);

std::unique_ptr<TChunkDecoder> MakePackBitsDecoder(TSource& source, std::int64_t start, std::int64_t end);
std::unique_ptr<TChunkDecoder> MakeLzwDecoder(TSource& source, std::int64_t start, std::int64_t end);
std::unique_ptr<TChunkDecoder> MakeDeflateDecoder(TSource& source, std::int64_t start, std::int64_t end);

}  // namespace tiff
