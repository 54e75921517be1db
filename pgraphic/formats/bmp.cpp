#include "pgraphic/formats/bmp.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <optional>
#include <vector>

#include "pgraphic/core/errors.h"
#include "pgraphic/core/settings.h"
#include "pgraphic/formats/decodechecks.h"

namespace {

const std::string kPrefix = "BMP: ";
constexpr std::int64_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
// The later Windows headers (versions 2 to 5) are the information header
// with the channel masks (and colour space facts) after it; common tools
// write them by default.
constexpr std::uint32_t kV2HeaderSize = 52;
constexpr std::uint32_t kV3HeaderSize = 56;
constexpr std::uint32_t kV4HeaderSize = 108;
constexpr std::uint32_t kV5HeaderSize = 124;
// The OS/2 2.x header: the information header's fields, then facts of no
// use here; writers may end it after any field (16 bytes is common), and
// the fields left out are 0.
constexpr std::uint32_t kOs2ShortHeaderSize = 16;
constexpr std::uint32_t kOs2HeaderSize = 64;
enum : std::uint32_t { biRGB = 0, biRLE8 = 1, biRLE4 = 2, biBitFields = 3 };
// Most pixels one byte of run-length data may stand for. An encoded run
// gives 255 pixels for 2 bytes; the rest leaves room for rows that end
// early or are skipped by deltas, without letting a few bytes of "end of
// bitmap" promise a picture of hundreds of megabytes.
constexpr std::uint64_t kRleMaxPixelsPerByte = 1024;

[[noreturn]] void Fail(int entry, const std::string& what) {
  RaisePrefixed<EPGBMPFileFormatReader>(kPrefix, entry, what);
}
[[noreturn]] void FailEof() { RaisePrefixed<EPGBMPFileFormatReader>(kPrefix, msgUnexpectedEOF); }
[[noreturn]] void FailIndex() { Fail(msgInvalid, "Palette index"); }
[[noreturn]] void FailRle() { Fail(msgInvalid, "RLE data"); }

std::uint16_t Get16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
std::uint32_t Get32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
         (std::uint32_t(p[3]) << 24);
}
void Put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
}

// ---------------------------------------------------------------- stream access
// A file that ends early is reported as the format's own error, not as a
// short read somewhere inside the decoder.

void ReadExact(TStream& s, void* buffer, std::int64_t count) {
  if (count > 0 && s.Read(buffer, count) != count) FailEof();
}

void RequireRemaining(TStream& s, std::uint64_t count) {
  const std::int64_t left = s.Remaining();
  if (left < 0 || count > std::uint64_t(left)) FailEof();
}

void Skip(TStream& s, std::uint64_t count) {
  RequireRemaining(s, count);
  s.Seek(std::int64_t(count), TSeekOrigin::soCurrent);
}

// ---------------------------------------------------------------- headers

struct TBmpHeader {
  bool Core = false;
  std::int64_t Width = 0;
  std::int64_t Height = 0;  // as stored: negative marks a top-down file
  int BitCount = 0;
  std::uint32_t Compression = biRGB;
  std::uint32_t SizeImage = 0;
  std::uint32_t ClrUsed = 0;
  bool Os2 = false;            // an OS/2 2.x header
  bool MasksInHeader = false;  // a later header holds the bit-field masks itself
  std::uint32_t Masks[3] = {0, 0, 0};  // red, green, blue, when MasksInHeader
  std::uint32_t AlphaMask = 0;         // of a header long enough to hold one
  // Where the file header says the pixels start, in stream positions; -1
  // without a file header (the clipboard's bitmap, the image's own).
  std::int64_t PixelStart = -1;

  bool TopDown() const { return Height < 0; }
  std::int64_t Rows() const { return Height < 0 ? -Height : Height; }
  bool Rle() const { return Compression == biRLE8 || Compression == biRLE4; }
};

std::uint32_t PeekHeaderSize(TStream& s) {
  std::uint8_t b[4];
  ReadExact(s, b, 4);
  s.Seek(-4, TSeekOrigin::soCurrent);
  const std::uint32_t size = Get32(b);
  for (std::uint32_t known : {kCoreHeaderSize, kOs2ShortHeaderSize, kInfoHeaderSize, kV2HeaderSize,
                              kV3HeaderSize, kOs2HeaderSize, kV4HeaderSize, kV5HeaderSize})
    if (size == known) return size;
  Fail(msgInvalidSizeOf, "BitmapInfoHeader/BitmapCoreHeader");
}

TBmpHeader ParseCoreHeader(TStream& s) {
  std::uint8_t b[kCoreHeaderSize];
  ReadExact(s, b, sizeof b);
  TBmpHeader h;
  h.Core = true;
  h.Width = Get16(b + 4);
  h.Height = Get16(b + 6);
  if (Get16(b + 8) != 1) Fail(msgInvalid, "BitmapCoreHeader.bcPlanes");
  h.BitCount = Get16(b + 10);
  if (h.BitCount != 1 && h.BitCount != 4 && h.BitCount != 8 && h.BitCount != 24)
    Fail(msgInvalid, "BitmapCoreHeader.bcBitCount");
  return h;
}

bool ValidInfoBitCount(int bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

bool CompressionAllowed(const TBmpHeader& h) {
  switch (h.Compression) {
    case biRGB: return true;
    case biRLE8: return h.BitCount == 8 && h.Height >= 0;
    case biRLE4: return h.BitCount == 4 && h.Height >= 0;
    // In an OS/2 file the code means Huffman coding, which nothing here reads.
    case biBitFields: return !h.Os2 && (h.BitCount == 16 || h.BitCount == 32);
    default: return false;
  }
}

TBmpHeader ParseInfoHeader(TStream& s, std::uint32_t headerSize) {
  std::uint8_t b[kV5HeaderSize] = {};  // fields a short header leaves out are 0
  ReadExact(s, b, headerSize);
  TBmpHeader h;
  h.Os2 = headerSize == kOs2ShortHeaderSize || headerSize == kOs2HeaderSize;
  h.Width = std::int32_t(Get32(b + 4));
  h.Height = std::int32_t(Get32(b + 8));
  if (Get16(b + 12) != 1) Fail(msgInvalid, "BitmapInfoHeader.biPlanes");
  h.BitCount = Get16(b + 14);
  if (!ValidInfoBitCount(h.BitCount)) Fail(msgInvalid, "BitmapInfoHeader.biBitCount");
  h.Compression = Get32(b + 16);
  h.SizeImage = Get32(b + 20);
  h.ClrUsed = Get32(b + 32);
  if (!CompressionAllowed(h)) Fail(msgInvalid, "BitmapInfoHeader.biCompression");
  if (headerSize > kInfoHeaderSize && !h.Os2 && h.Compression == biBitFields) {
    h.MasksInHeader = true;
    for (int i = 0; i < 3; ++i) h.Masks[i] = Get32(b + kInfoHeaderSize + 4 * i);
  }
  // 32-bit pixels say which of their bits are alpha only in the later
  // headers, beside the colour masks.
  if (headerSize >= kV3HeaderSize && !h.Os2 && h.BitCount == 32 && h.Compression == biBitFields)
    h.AlphaMask = Get32(b + kInfoHeaderSize + 12);
  return h;
}

TBmpHeader ParseHeader(TStream& s, std::uint32_t headerSize) {
  return headerSize == kCoreHeaderSize ? ParseCoreHeader(s) : ParseInfoHeader(s, headerSize);
}

// Reads the file header; returns its offset of the pixel data.
std::uint32_t ReadFileHeader(TStream& s) {
  std::uint8_t b[kFileHeaderSize];
  ReadExact(s, b, sizeof b);
  return Get32(b + 10);
}

// ---------------------------------------------------------------- sizes

int PaletteLength(const TBmpHeader& h) {
  if (h.BitCount > 8) return 0;
  const std::uint32_t table = 1u << h.BitCount;
  if (h.Core || h.ClrUsed == 0) return int(table);
  if (h.ClrUsed > table) Fail(msgInvalid, "BitmapInfoHeader.biClrUsed");
  return int(h.ClrUsed);
}

// Bytes between the header and the pixel data: colour table, masks, skipped entries.
std::uint64_t TableBytes(const TBmpHeader& h) {
  if (h.BitCount <= 8) return std::uint64_t(PaletteLength(h)) * (h.Core ? 3 : 4);
  const bool masksFollow = h.Compression == biBitFields && !h.MasksInHeader;
  return (masksFollow ? 12u : 0u) + std::uint64_t(h.ClrUsed) * 4;
}

std::uint64_t PixelDataBytes(const TBmpHeader& h) {
  if (h.Rle()) return h.SizeImage;
  return std::uint64_t(BytesPerRowFor(h.BitCount, h.Width)) * std::uint64_t(h.Rows());
}

// Refuses sizes the image cannot hold before any pixel memory exists.
void CheckDimensions(const TBmpHeader& h) {
  if (h.Width < 0) Fail(msgInvalid, "BitmapInfoHeader.biWidth");
  if (h.Height == INT32_MIN) Fail(msgInvalid, "BitmapInfoHeader.biHeight");
  const std::uint64_t pixels = std::uint64_t(h.Width) * std::uint64_t(h.Rows());
  const int imageBits = h.BitCount > 8 ? 24 : h.BitCount;
  const std::uint64_t rowBytes = std::uint64_t(BytesPerRowFor(imageBits, h.Width));
  if (pixels > PGSettings().MaxImagePixels || rowBytes > 0xFFFFFFFFull ||
      rowBytes * std::uint64_t(h.Rows()) > 0xFFFFFFFFull)
    Fail(msgInvalidSizeOf, "image");
  if (h.Rle() && pixels > std::uint64_t(h.SizeImage) * kRleMaxPixelsPerByte) FailEof();
}

TPGPixelFormat ImageFormatFor(int bitCount) {
  return bitCount > 8 ? pgpf24Bit : PixelFormatFromBitCount(bitCount);
}

// ---------------------------------------------------------------- row access

unsigned IndexAt(const std::uint8_t* row, int bits, std::int64_t x) {
  switch (bits) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case 4: return (x & 1) ? row[x >> 1] & 0x0Fu : unsigned(row[x >> 1] >> 4);
    default: return row[x];
  }
}

void PutIndex(std::uint8_t* row, int bits, std::int64_t x, unsigned v) {
  if (bits == 8) {
    row[x] = std::uint8_t(v);
  } else if (bits == 4) {
    std::uint8_t& b = row[x >> 1];
    b = (x & 1) ? std::uint8_t((b & 0xF0) | (v & 0x0F)) : std::uint8_t((b & 0x0F) | (v << 4));
  } else {
    const std::uint8_t bit = std::uint8_t(0x80u >> (x & 7));
    row[x >> 3] = (v & 1) ? std::uint8_t(row[x >> 3] | bit) : std::uint8_t(row[x >> 3] & ~bit);
  }
}

// Every stored index must name a palette entry, or later colour lookups fail.
void CheckIndices(TPixelGraphic& image) {
  if (!PGIndicesInPalette(image)) FailIndex();
}

void SwapRows(std::uint8_t* a, std::uint8_t* b, std::vector<std::uint8_t>& tmp) {
  std::memcpy(tmp.data(), a, tmp.size());
  std::memcpy(a, b, tmp.size());
  std::memcpy(b, tmp.data(), tmp.size());
}

void FlipRows(TPixelGraphic& image) {
  if (image.Empty()) return;
  std::vector<std::uint8_t> tmp(image.BytesPerRow()), alpha(std::size_t(image.Width()));
  for (int j = 0, k = image.Height() - 1; j < k; ++j, --k) {
    SwapRows(image.ScanLine(j), image.ScanLine(k), tmp);
    if (image.HasAlpha()) SwapRows(image.AlphaLine(j), image.AlphaLine(k), alpha);
  }
}

// ---------------------------------------------------------------- plain data

// Tells the image about the rows that the first `read` bytes of its pixel
// memory complete, bottom row first, beyond the `told` rows told before.
void TellRowsFromBottom(TPixelGraphic& image, std::uint64_t read, std::uint64_t& told) {
  // A zero-width image has rows of no bytes: there is nothing to tell.
  if (image.BytesPerRow() == 0) return;
  const std::uint64_t rows = std::min<std::uint64_t>(read / image.BytesPerRow(), std::uint64_t(image.Height()));
  if (rows == told) return;
  image.DoRowsDone(image.Height() - int(rows), int(rows - told));
  told = rows;
}

// Reads size bytes in ten parts with progress; false when the handler
// aborted. When they are the image's own rows in its order (bottom row
// first), the rows each part completes are told as it comes.
bool BulkRead(TStream& s, TPixelGraphic& image, std::uint8_t* dest, std::uint64_t size,
              bool ownRows = false) {
  std::uint64_t told = 0;
  if (size < 101) {
    ReadExact(s, dest, std::int64_t(size));
    if (ownRows) TellRowsFromBottom(image, size, told);
    return true;
  }
  const std::uint64_t part = size / 10;
  for (int i = 1; i <= 10; ++i) {
    const std::uint64_t n = i < 10 ? part : size - 9 * part;
    ReadExact(s, dest, std::int64_t(n));
    dest += n;
    if (ownRows) TellRowsFromBottom(image, i < 10 ? part * std::uint64_t(i) : size, told);
    if (image.DoProgress(i, 10)) return false;
  }
  return true;
}

void ReadPalette(TStream& s, TPixelGraphic& image, const TBmpHeader& h) {
  const int count = PaletteLength(h);
  const int entrySize = h.Core ? 3 : 4;
  std::vector<std::uint8_t> raw(std::size_t(count) * std::size_t(entrySize));
  ReadExact(s, raw.data(), std::int64_t(raw.size()));
  image.SetPaletteCount(0);  // a fresh palette of the right kind, whatever came before
  image.SetPaletteCount(count);
  for (int i = 0; i < count; ++i) {
    const std::uint8_t* e = raw.data() + std::size_t(i) * std::size_t(entrySize);
    image.SetPaletteEntry(i, RGBColor(e[2], e[1], e[0]));
  }
}

// ---------------------------------------------------------------- bit fields

std::uint64_t ShiftBy(std::uint64_t v, int s) { return s >= 0 ? v << s : v >> -s; }

// One colour channel of a 16- or 32-bit pixel, moved so that its top bit lands on bit 7.
struct TChannel {
  std::uint32_t Mask = 0;
  int Shift = 0;             // positive: left
  std::uint32_t Round = 0;   // added to non-zero values of scaled 16-bit channels

  std::uint8_t Value(std::uint32_t pixel) const {
    const std::uint32_t bits = pixel & Mask;
    if (bits == 0) return 0;
    return std::uint8_t(std::min<std::uint64_t>(ShiftBy(bits, Shift) + Round, 255));
  }
};

TChannel MakeChannel(std::uint32_t mask, bool scale) {
  if (mask == 0) Fail(msgInvalid, "Bit field mask");
  TChannel c;
  c.Mask = mask;
  c.Shift = 7 - (31 - std::countl_zero(mask));
  const std::uint64_t normal = ShiftBy(mask, c.Shift);
  if (scale) c.Round = std::uint32_t(normal & (~normal + 1));
  return c;
}

struct TBitFields {
  TChannel R, G, B;
  std::optional<TChannel> A;  // kept as the image's alpha
};

TBitFields ReadBitFields(TStream& s, const TBmpHeader& h) {
  std::uint32_t r = 0xFF0000, g = 0xFF00, b = 0xFF;
  if (h.MasksInHeader) {
    r = h.Masks[0], g = h.Masks[1], b = h.Masks[2];
  } else if (h.Compression == biBitFields) {
    std::uint8_t m[12];
    ReadExact(s, m, sizeof m);
    r = Get32(m), g = Get32(m + 4), b = Get32(m + 8);
  } else if (h.BitCount == 16) {
    r = 0x7C00, g = 0x03E0, b = 0x001F;
  }
  const bool scale = h.BitCount == 16 && PGSettings().BmpScale16BitFields;
  TBitFields f{MakeChannel(r, scale), MakeChannel(g, scale), MakeChannel(b, scale), std::nullopt};
  if (h.AlphaMask != 0 && PGSettings().KeepAlpha) f.A = MakeChannel(h.AlphaMask, false);
  return f;
}

void ConvertBitFieldRow(const std::uint8_t* src, std::uint8_t* dest, std::uint8_t* alpha, int width, int bits,
                        const TBitFields& f) {
  const int step = bits / 8;
  for (int x = 0; x < width; ++x, src += step, dest += 3) {
    const std::uint32_t p = bits == 16 ? Get16(src) : Get32(src);
    dest[0] = f.B.Value(p);
    dest[1] = f.G.Value(p);
    dest[2] = f.R.Value(p);
    if (alpha) alpha[x] = f.A->Value(p);
  }
}

void ReadBitFieldRows(TStream& s, TPixelGraphic& image, const TBmpHeader& h,
                      const TBitFields& f) {
  const int rows = image.Height();
  if (image.Empty()) return;
  std::vector<std::uint8_t> row(std::size_t(BytesPerRowFor(h.BitCount, image.Width())));
  for (int i = 0; i < rows; ++i) {
    ReadExact(s, row.data(), std::int64_t(row.size()));
    ConvertBitFieldRow(row.data(), image.ScanLine(rows - 1 - i), image.AlphaLine(rows - 1 - i), image.Width(),
                       h.BitCount, f);
    if (!h.TopDown()) image.DoRowsDone(rows - 1 - i, 1);
    if (image.DoProgress(i, rows)) return;
  }
}

// ---------------------------------------------------------------- run-length data

// Decodes RLE8 and RLE4 data. Every run is checked against the data that
// remains and against the image before a pixel is stored.
class TRleDecoder {
 public:
  TRleDecoder(TPixelGraphic& image, const std::vector<std::uint8_t>& data, int bits)
      : Image(image), Data(data), Bits(bits), Size(std::int64_t(data.size())),
        Y(image.Height() - 1), ProgressStep(Size / 10),
        RowCapacity(std::int64_t(image.BytesPerRow()) * 8 / bits) {}

  void Decode() {
    while (P < Size - 1) {
      if (!Step() || Progress()) return;
    }
  }

 private:
  // One run or control code; false at the end of the bitmap.
  bool Step() {
    const std::uint8_t n = Data[std::size_t(P)], v = Data[std::size_t(P + 1)];
    if (n > 0) {
      EncodedRun(n, v);
      return true;
    }
    switch (v) {
      case 0: X = 0, --Y, P += 2; return true;
      case 1: return false;
      case 2: return Delta();
      default: AbsoluteRun(v); return true;
    }
  }

  void EncodedRun(int n, std::uint8_t v) {
    for (int i = 0; i < n; ++i) Put(Bits == 4 ? ((i & 1) ? v & 0x0Fu : unsigned(v >> 4)) : v);
    P += 2;
  }

  void AbsoluteRun(int n) {
    const std::int64_t bytes = Bits == 4 ? (n + 1) / 2 : n;
    if (P + 2 + bytes > Size) FailEof();
    const std::uint8_t* src = Data.data() + P + 2;
    for (int i = 0; i < n; ++i) Put(IndexAt(src, Bits, i));
    P += bytes + 2;
    if (P & 1) ++P;
  }

  bool Delta() {
    if (P >= Size - 3) return false;
    X += Data[std::size_t(P + 2)];
    Y -= Data[std::size_t(P + 3)];
    P += 4;
    if (X > RowCapacity || Y < 0) FailRle();
    return true;
  }

  // Encoders may fill a row up to its padded length (odd widths); those
  // places hold no pixel. Anything past the padding is damaged data.
  void Put(unsigned index) {
    if (Y < 0 || Y >= Image.Height() || X >= RowCapacity) FailRle();
    if (X < Image.Width()) {
      if (index >= unsigned(Image.PaletteCount())) FailIndex();
      PutIndex(Image.ScanLine(int(Y)), Bits, X, index);
    }
    ++X;
  }

  bool Progress() {
    return ProgressStep > 0 && P % ProgressStep == 0 && Image.DoProgress(int(P / ProgressStep), 10);
  }

  TPixelGraphic& Image;
  const std::vector<std::uint8_t>& Data;
  int Bits;
  std::int64_t Size;
  std::int64_t P = 0;
  std::int64_t X = 0;
  std::int64_t Y;
  std::int64_t ProgressStep;
  std::int64_t RowCapacity;  // pixel places of a padded row
};

void ReadRle(TStream& s, TPixelGraphic& image, const TBmpHeader& h) {
  std::vector<std::uint8_t> data(h.SizeImage);
  if (!BulkRead(s, image, data.data(), data.size())) return;
  TRleDecoder(image, data, h.BitCount).Decode();
}

// ---------------------------------------------------------------- pixel data by depth

// The pixels follow the colour table and masks, unless the file header puts
// them further on (writers may leave a gap) and they fit between there and
// the end of the file. An offset of 0, one into the tables or one past the
// data is taken for a writer's slip, and the pixels for following the tables.
void GoToPixels(TStream& s, const TBmpHeader& h) {
  if (h.PixelStart <= s.Position()) return;
  const std::int64_t size = s.Size();
  if (h.PixelStart > size || PixelDataBytes(h) > std::uint64_t(size - h.PixelStart)) return;
  s.SetPosition(h.PixelStart);
}

void ReadPalettePixels(TStream& s, TPixelGraphic& image, const TBmpHeader& h) {
  ReadPalette(s, image, h);
  GoToPixels(s, h);
  if (h.Rle()) {
    ReadRle(s, image, h);
    return;
  }
  BulkRead(s, image, image.Bits(), image.ImageSize(), !h.TopDown());
  CheckIndices(image);
}

void ReadTrueColorPixels(TStream& s, TPixelGraphic& image, const TBmpHeader& h) {
  image.SetPaletteCount(0);
  const bool fields = h.BitCount != 24;
  TBitFields f;
  if (fields) f = ReadBitFields(s, h);
  if (f.A) image.AddAlpha();
  Skip(s, std::uint64_t(h.ClrUsed) * 4);
  GoToPixels(s, h);
  if (fields)
    ReadBitFieldRows(s, image, h, f);
  else
    BulkRead(s, image, image.Bits(), image.ImageSize(), !h.TopDown());
}

void ReadBitmapBody(TStream& s, TPixelGraphic& image, std::uint32_t headerSize, std::int64_t pixelStart) {
  TBmpHeader h = ParseHeader(s, headerSize);
  h.PixelStart = pixelStart;
  CheckDimensions(h);
  RequireRemaining(s, TableBytes(h) + PixelDataBytes(h));
  image.SetSizeAndFormat(int(h.Width), int(h.Rows()), ImageFormatFor(h.BitCount));
  if (h.BitCount <= 8)
    ReadPalettePixels(s, image, h);
  else
    ReadTrueColorPixels(s, image, h);
  if (h.TopDown()) FlipRows(image);
}

// ---------------------------------------------------------------- information

std::string SubformatText(const TBmpHeader& h) {
  if (h.Core) return "OS/2";
  static const char* const kCompression[] = {", RGB", ", RLE8", ", RLE4", ""};
  std::string text = std::string(h.Os2 ? "OS/2 2.x" : "Windows") + kCompression[h.Compression];
  if (h.Height < 0) text += ", Top-Down";
  return text;
}

std::string ColorCountText(int bits) {
  switch (bits) {
    case 1: return "2";
    case 4: return "16";
    case 8: return "256";
    case 16: return "64K";
    default: return "16.7M";
  }
}

// ---------------------------------------------------------------- writing

// Palette entries written for image. A palette depth without entries gets its
// (black) colour table, since a count of 0 would tell readers to expect a full one.
int WrittenPaletteCount(const TPixelGraphic& image) {
  const int table = image.ColorTableSize();
  if (table == 0) return 0;
  return image.PaletteCount() == 0 ? table : std::min(image.PaletteCount(), table);
}

void FillInfoHeader(std::uint8_t* h, const TPixelGraphic& image, int entries) {
  std::memset(h, 0, kInfoHeaderSize);
  Put32(h, kInfoHeaderSize);
  Put32(h + 4, std::uint32_t(image.Width()));
  Put32(h + 8, std::uint32_t(image.Height()));
  Put16(h + 12, 1);
  Put16(h + 14, std::uint16_t(image.BitCount()));
  Put32(h + 20, image.ImageSize());
  Put32(h + 32, std::uint32_t(entries));
}

void FillColorTable(std::uint8_t* t, const TPixelGraphic& image, int entries) {
  const bool black = image.PaletteCount() == 0;
  for (int i = 0; i < entries; ++i, t += 4) {
    const TRGB c = black ? 0 : image.PaletteEntries()[std::size_t(i)];
    t[0] = std::uint8_t(GetBValue(c));
    t[1] = std::uint8_t(GetGValue(c));
    t[2] = std::uint8_t(GetRValue(c));
    t[3] = 0;
  }
}

}  // namespace

// ---------------------------------------------------------------- bitmap part

void ReadBmpBitmapPart(TStream& stream, TPixelGraphic& image, std::int64_t pixelStart) {
  const std::uint32_t headerSize = PeekHeaderSize(stream);
  image.DoProgressStart();
  try {
    ReadBitmapBody(stream, image, headerSize, pixelStart);
  } catch (...) {
    image.DoProgressEnd();
    throw;
  }
  image.DoProgressEnd();
}

std::uint64_t BmpBitmapPartSize(const TPixelGraphic& image) {
  return kInfoHeaderSize + 4 * std::uint64_t(WrittenPaletteCount(image)) + image.ImageSize();
}

void WriteBmpBitmapPart(TStream& stream, TPixelGraphic& image) {
  const int entries = WrittenPaletteCount(image);
  std::vector<std::uint8_t> head(kInfoHeaderSize + 4 * std::size_t(entries));
  FillInfoHeader(head.data(), image, entries);
  FillColorTable(head.data() + kInfoHeaderSize, image, entries);
  stream.WriteBuffer(head.data(), std::int64_t(head.size()));
  if (image.ImageSize() == 0) return;
  if (!image.ShowsRowsOfAnother()) {
    stream.WriteBuffer(image.Bits(), image.ImageSize());
    return;
  }
  // A window on another image: its rows lie apart, bottom row first as
  // here, and only their pixels are its own (its padding, even when as
  // long as a file's, is the neighbours').
  const std::size_t rowBytes = std::size_t(BytesPerRowFor(image.BitCount(), image.Width()));
  const std::size_t bits = std::size_t(image.Width()) * std::size_t(image.BitCount());
  std::vector<std::uint8_t> row(rowBytes);
  for (int y = image.Height() - 1; y >= 0; --y) {
    PGPackRow(image.ScanLine(y), row.data(), bits, rowBytes);
    stream.WriteBuffer(row.data(), std::int64_t(rowBytes));
  }
}

// ---------------------------------------------------------------- reader

TBMPFileFormatReader::TBMPFileFormatReader() {
  SafeOnThreads = true;
  RowDelivery = rdAsStored;
  Extension = "bmp";
  Description = "Bitmap";
  HasSignature = true;
}

bool TBMPFileFormatReader::CheckSignature(const std::uint8_t* header, int headerSize) {
  return headerSize >= 2 && header[0] == 'B' && header[1] == 'M';
}

void TBMPFileFormatReader::ReadImage(TStream& stream, TPixelGraphic& image, int index) {
  if (index != 0) Fail(msgInvalid, "Index");
  const std::int64_t start = stream.Position();
  const std::uint32_t pixelOffset = ReadFileHeader(stream);
  ReadBmpBitmapPart(stream, image, start + pixelOffset);
}

void TBMPFileFormatReader::ReadInfo(TStream& stream, int index, TFileInfo& info) {
  TFileFormatReader::ReadInfo(stream, index, info);
  if (index != 0) Fail(msgInvalidValueFor, "Index");
  ReadFileHeader(stream);
  const TBmpHeader h = ParseHeader(stream, PeekHeaderSize(stream));
  info.Width = int(h.Width);
  // The rows a person sees; the subformat says whether they are stored top-down.
  info.Height = int(h.Rows());
  info.BitsPerPixel = h.BitCount;
  info.ColorCountText = ColorCountText(h.BitCount);
  info.SubformatText = SubformatText(h);
  info.Alpha = h.AlphaMask != 0;
}

// ---------------------------------------------------------------- writer

TBMPFileFormatWriter::TBMPFileFormatWriter() {
  SafeOnThreads = true;
  Extension = "bmp";
  Description = "Bitmap";
  CanWriteResolutions = 0xFF;
}

void TBMPFileFormatWriter::Write(TStream& stream, TPixelGraphic& image) {
  const std::uint64_t total = kFileHeaderSize + BmpBitmapPartSize(image);
  if (total > 0xFFFFFFFFull) RaisePrefixed<EPixelGraphic>(kPrefix, msgInvalidSizeOf, "image");
  const std::uint32_t offset =
      std::uint32_t(kFileHeaderSize + kInfoHeaderSize + 4 * WrittenPaletteCount(image));
  std::uint8_t fh[kFileHeaderSize] = {'B', 'M'};
  Put32(fh + 2, std::uint32_t(total));
  Put32(fh + 10, offset);
  stream.WriteBuffer(fh, sizeof fh);
  WriteBmpBitmapPart(stream, image);
}
