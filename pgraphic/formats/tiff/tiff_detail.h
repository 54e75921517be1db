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
  tagTileWidth = 322,
  tagTileLength = 323,
  tagTileOffsets = 324,
  tagTileByteCounts = 325,
  tagExtraSamples = 338,
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

// ExtraSamples: the first extra sample is alpha, premultiplied or not.
enum : std::uint32_t { exAssociatedAlpha = 1, exUnassociatedAlpha = 2 };

// The samples of one pixel that make its colour.
inline std::uint32_t ColourSamples(std::uint32_t photometric) {
  return photometric == phRGB ? 3 : photometric == phSeparated ? 4 : 1;
}

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
  // Tiled files: the tiles' size; their offsets and counts are in Offsets
  // and ByteCounts, as a strip file's are.
  bool Tiled = false;
  std::uint32_t TileWidth = 0;
  std::uint32_t TileLength = 0;
  std::vector<std::uint32_t> BitsPerSample;  // one value each sample
  std::vector<std::uint32_t> ExtraSamples;   // what the samples past the colour ones are
  std::vector<std::uint32_t> Offsets;        // of the strips or the tiles
  std::vector<std::uint32_t> ByteCounts;
  std::vector<std::uint32_t> ColorMap;
  bool HasByteCounts = false;
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

// Whether rows were written with a predictor: one that goes with the
// compression (LZW, Deflate). Elsewhere its tag means nothing, as in every
// reader.
bool Predicted(const TDirectory& dir);

// The directory's checks before any pixel memory exists: a compression and
// predictor the reader takes, strips or tiles that lie in the file and can
// hold the image, an image size the library allows, and decoding within
// MaxDecoderMemory. A single strip that disagrees with RowsPerStrip is
// read as one strip when the policy allows it (RowsPerStrip is set then).
void CheckForReading(TDirectory& dir, TPGWarningAction action);

// The bytes of the directory's ICC profile, or what keeps them from being
// read (a type other than BYTE or UNDEFINED, bytes outside the file), which
// only costs the profile.
std::string ReadIccProfile(TStream& stream, const TDirectory& dir, std::vector<std::uint8_t>& icc);

// Encodes one row; dst needs room for 2 * n bytes. Returns the encoded size.
std::size_t PackBitsEncode(const std::uint8_t* src, std::size_t n, std::uint8_t* dst);

// How the samples of an image lie in its strips or tiles ("chunks"): one
// plane of every sample, or one plane each (PlanarConfiguration 2), cut
// into Across x Down chunks of ChunkWidth x ChunkRows pixels each.
struct TLayout {
  std::uint32_t Bits = 0;            // of every sample
  std::uint32_t Planes = 1;
  std::uint32_t SamplesInPlane = 1;
  std::uint32_t ChunkWidth = 0;
  std::uint32_t ChunkRows = 0;
  std::uint64_t Across = 1;
  std::uint64_t Down = 0;
  std::uint64_t ChunkRowBytes = 0;   // one row of a chunk, as stored
  std::uint64_t PlaneRowBytes = 0;   // one image row of a plane
};
TLayout LayoutOf(const TDirectory& dir);

// Where the data of chunk number i may run to: compressed data, whose
// length is its own, ends where its byte count says; uncompressed rows have
// a known size and are bounded by the file's end, not by a byte count that
// some writers get too small.
std::int64_t ChunkEnd(const TDirectory& dir, std::size_t chunk);

// The samples of the image row by row, whatever the file's layout: every
// sample of every pixel in order, 16-bit samples in the machine's order,
// the predictor undone. Tiles are decoded a row of tiles at a time, strips
// a row at a time.
class TSampleRows {
 public:
  TSampleRows(TSource& source, const TDirectory& dir);
  ~TSampleRows();
  TSampleRows(const TSampleRows&) = delete;
  TSampleRows& operator=(const TSampleRows&) = delete;
  // Row y, asked for from the top, each once.
  const std::uint8_t* Row(std::uint32_t y);

 private:
  class TChunkRows;
  void FillBand(std::uint32_t tileRow);
  const std::uint8_t* PlaneRow(std::uint32_t plane, std::uint32_t y);
  TSource& Src;
  const TDirectory& Dir;
  TLayout L;
  std::vector<std::unique_ptr<TChunkRows>> Strips;   // of each plane
  std::vector<std::vector<std::uint8_t>> PlaneRows;  // a row, or a row of tiles, of each plane
  std::vector<std::uint8_t> Interleaved;
};

// What a row of samples (TSampleRows) becomes in a row of the image: the
// layout of bilevel, grey and palette rows kept; 16-bit samples rounded to
// 8 bits; CMYK inks turned into RGB by the subtractive rule (red = 255 -
// cyan - black, at least 0); and, where the first extra sample is alpha,
// the pixel laid on the background colour (its grey, (R + G + B) / 3, in
// a grey image), as PNG's alpha is, or, with keepAlpha, the pixel's colour
// kept (un-premultiplied) and its alpha put into a row of the image's
// plane. Other extra samples are left out.
class TSampleForm {
 public:
  TSampleForm(const TDirectory& dir, TRGB background, bool keepAlpha = false);
  // Whether the rows have alpha that goes into the image's plane.
  bool KeepsAlpha() const { return Keep; }
  // alphaRow: where KeepsAlpha, the plane's row.
  void Convert(const std::uint8_t* samples, std::uint8_t* imageRow, std::uint8_t* alphaRow = nullptr) const;

 private:
  std::uint32_t Width;
  std::uint32_t Samples;
  std::uint32_t Bits;
  std::uint32_t Photometric;
  int Alpha = -1;  // the alpha sample's place in a pixel, or none
  bool Associated = false;
  bool Keep = false;
  unsigned Background[3] = {0, 0, 0};  // red, green, blue
  unsigned Grey = 0;
};

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
