#include "pgraphic/formats/pcx.h"

#include <cstring>
#include <vector>

#include "pgraphic/core/settings.h"
#include "pgraphic/formats/bufferedstreams.h"
#include "pgraphic/formats/decodechecks.h"
#include "pgraphic/formats/rowprogress.h"

namespace {

const std::string kPrefix = "PCX: ";
constexpr int kHeaderSize = 128;
constexpr int kPaletteBlock = 769;  // marker 12 + 256 x (red, green, blue)

enum class TLayout { Mono, Planes16, Indexed256, RGB24, Unknown };

struct TPCXHeader {
  std::uint8_t Version = 0;
  std::uint8_t Bits = 0;
  std::int64_t Width = 0;
  std::int64_t Height = 0;
  std::uint8_t Palette16[48] = {};
  std::uint8_t Reserved = 0;
  std::uint8_t Planes = 0;
  std::int64_t BytesPerLine = 0;
  std::uint16_t PaletteInfo = 0;
};

[[noreturn]] void Fail(int entry) { RaisePrefixed<EPGPCXFileFormatReader>(kPrefix, entry); }
[[noreturn]] void Fail(int entry, const std::string& s1) {
  RaisePrefixed<EPGPCXFileFormatReader>(kPrefix, entry, s1);
}

TPCXHeader ReadHeader(TStream& stream) {
  std::uint8_t b[kHeaderSize];
  if (!PGReadFully(stream, b, kHeaderSize)) Fail(msgUnexpectedEOF);
  TPCXHeader h;
  h.Version = b[1];
  h.Bits = b[3];
  h.Width = std::int64_t(PGGetLE16(b + 8)) - PGGetLE16(b + 4) + 1;
  h.Height = std::int64_t(PGGetLE16(b + 10)) - PGGetLE16(b + 6) + 1;
  std::memcpy(h.Palette16, b + 16, sizeof h.Palette16);
  h.Reserved = b[64];
  h.Planes = b[65];
  h.BytesPerLine = PGGetLE16(b + 66);
  h.PaletteInfo = PGGetLE16(b + 68);
  return h;
}

void CheckFixedFields(const TPCXHeader& h) {
  if (h.PaletteInfo != 1 || h.Reserved != 0) Fail(msgUnknownSubformat);
}

TLayout LayoutOf(const TPCXHeader& h) {
  if (h.Bits == 1 && h.Planes == 1) return TLayout::Mono;
  if (h.Bits == 1 && h.Planes == 4) return TLayout::Planes16;
  if (h.Bits == 8 && h.Planes == 1) return TLayout::Indexed256;
  if (h.Bits == 8 && h.Planes == 3) return TLayout::RGB24;
  return TLayout::Unknown;
}

TPGPixelFormat FormatOf(TLayout layout) {
  switch (layout) {
    case TLayout::Mono: return pgpf1Bit;
    case TLayout::Planes16: return pgpf4Bit;
    case TLayout::Indexed256: return pgpf8Bit;
    default: return pgpf24Bit;
  }
}

// Bytes of one plane that the image row needs.
std::int64_t PlaneBytesNeeded(TLayout layout, std::int64_t width) {
  return (layout == TLayout::Mono || layout == TLayout::Planes16) ? (width + 7) / 8 : width;
}

// A run pair gives at most 63 bytes of a scan line and never spills into
// the next line, so every started 63 bytes of a line take a byte or more.
std::uint64_t MinEncodedBytes(const TPCXHeader& h) {
  const std::uint64_t line = std::uint64_t(h.Planes) * std::uint64_t(h.BytesPerLine);
  return std::uint64_t(h.Height) * ((line + 62) / 63);
}

void SetPalette(TPixelGraphic& image, const std::vector<TRGB>& colors) {
  image.SetPaletteCount(0);
  image.SetPaletteCount(static_cast<int>(colors.size()));
  for (std::size_t i = 0; i < colors.size(); ++i)
    image.SetPaletteEntry(static_cast<int>(i), colors[i]);
}

std::vector<TRGB> RGBTriples(const std::uint8_t* p, int count) {
  std::vector<TRGB> colors(count);
  for (int i = 0; i < count; ++i) colors[i] = RGBColor(p[3 * i], p[3 * i + 1], p[3 * i + 2]);
  return colors;
}

// The 256-colour palette at the end of the stream; the position is kept.
std::vector<TRGB> ReadEndPalette(TStream& stream) {
  const std::int64_t pos = stream.Position();
  const std::int64_t start = stream.Size() - kPaletteBlock;
  std::uint8_t block[kPaletteBlock];
  bool ok = start >= 0;
  if (ok) {
    stream.SetPosition(start);
    ok = PGReadFully(stream, block, kPaletteBlock) && block[0] == 12;
  }
  stream.SetPosition(pos);
  if (!ok) Fail(msgUnknownSubformat);
  return RGBTriples(block + 1, 256);
}

void ApplyPalette(TStream& stream, TPixelGraphic& image, const TPCXHeader& h, TLayout layout) {
  if (layout == TLayout::Mono) {
    SetPalette(image, {RGBColor(0, 0, 0), RGBColor(255, 255, 255)});
  } else if (layout == TLayout::Planes16) {
    if (h.Version == 3)
      image.SetPaletteIdent(pSys16);
    else
      SetPalette(image, RGBTriples(h.Palette16, 16));
  } else if (layout == TLayout::Indexed256) {
    SetPalette(image, ReadEndPalette(stream));
  }
}

// One run-length scan line; a run never spills into the next line.
void DecodeScanLine(TPGBufferedInput<EPGPCXFileFormatReader>& in, std::vector<std::uint8_t>& line) {
  const std::size_t n = line.size();
  std::size_t x = 0;
  while (x < n) {
    const std::uint8_t b = in.Next();
    if (b < 192) {
      line[x++] = b;
      continue;
    }
    const std::uint8_t value = in.Next();
    const std::size_t count = std::min<std::size_t>(b & 63, n - x);
    std::memset(line.data() + x, value, count);
    x += count;
  }
}

void StoreMono(const std::uint8_t* line, std::uint8_t* row, int width) {
  const int bytes = (width + 7) / 8;
  std::memcpy(row, line, bytes);
  if (width % 8) row[bytes - 1] &= std::uint8_t(0xFF << (8 - width % 8));
}

void StorePlanes16(const std::uint8_t* line, std::int64_t bpl, std::uint8_t* row, int width) {
  for (int x = 0; x < width; ++x) {
    const int bit = 7 - x % 8;
    int v = 0;
    for (int p = 0; p < 4; ++p) v |= ((line[p * bpl + x / 8] >> bit) & 1) << p;
    std::uint8_t& dst = row[x / 2];
    dst = (x & 1) ? std::uint8_t((dst & 0xF0) | v) : std::uint8_t((dst & 0x0F) | (v << 4));
  }
}

void StoreRGB(const std::uint8_t* line, std::int64_t bpl, std::uint8_t* row, int width) {
  for (int x = 0; x < width; ++x) {
    row[3 * x] = line[2 * bpl + x];
    row[3 * x + 1] = line[bpl + x];
    row[3 * x + 2] = line[x];
  }
}

void StoreRow(TLayout layout, const std::vector<std::uint8_t>& line, std::int64_t bpl,
              std::uint8_t* row, int width) {
  switch (layout) {
    case TLayout::Mono: StoreMono(line.data(), row, width); break;
    case TLayout::Planes16: StorePlanes16(line.data(), bpl, row, width); break;
    case TLayout::Indexed256: std::memcpy(row, line.data(), width); break;
    default: StoreRGB(line.data(), bpl, row, width); break;
  }
}

void DecodeRows(TStream& stream, TPixelGraphic& image, const TPCXHeader& h, TLayout layout) {
  TPGBufferedInput<EPGPCXFileFormatReader> in(stream, kPrefix);
  std::vector<std::uint8_t> line(static_cast<std::size_t>(h.Planes * h.BytesPerLine));
  TPGProgressBracket bracket(image);
  const int height = image.Height();
  for (int y = 0; y < height; ++y) {
    DecodeScanLine(in, line);
    StoreRow(layout, line, h.BytesPerLine, image.ScanLine(y), image.Width());
    image.DoRowsDone(y, 1);
    if (image.DoProgress(y, height)) break;
  }
  in.Release();
}

}  // namespace

TPCXFileFormatReader::TPCXFileFormatReader() {
  SafeOnThreads = true;
  RowDelivery = rdTopDown;
  FillsRowsOneByOne = true;
  Extension = "pcx";
  Description = "Paintbrush";
  HasSignature = true;
}

bool TPCXFileFormatReader::CheckSignature(const std::uint8_t* header, int headerSize) {
  return headerSize >= 1 && header[0] == 10;
}

void TPCXFileFormatReader::ReadImage(TStream& stream, TPixelGraphic& image, int index) {
  if (index != 0) Fail(msgInvalid, "Index");
  image.FileGamma = PGSettings().DisplayGamma;
  const TPCXHeader h = ReadHeader(stream);
  image.SetHeight(0);
  CheckFixedFields(h);
  const TLayout layout = LayoutOf(h);
  if (layout == TLayout::Unknown) Fail(msgUnknownSubformat);
  const TPGPixelFormat format = FormatOf(layout);
  image.SetSizeAndFormat(image.Width(), 0, format);
  ApplyPalette(stream, image, h, layout);
  if (h.Width < 1 || h.Height < 1) Fail(msgInvalidSizeOf, "image");
  PGCheckImageSize<EPGPCXFileFormatReader>(kPrefix, h.Width, h.Height, BitCountOf(format));
  if (h.BytesPerLine < PlaneBytesNeeded(layout, h.Width)) Fail(msgInvalid, "BytesPerLine");
  PGCheckDataFor<EPGPCXFileFormatReader>(kPrefix, stream.Remaining(), MinEncodedBytes(h));
  image.SetSizeAndFormat(static_cast<int>(h.Width), static_cast<int>(h.Height), format);
  DecodeRows(stream, image, h, layout);
}

void TPCXFileFormatReader::ReadInfo(TStream& stream, int index, TFileInfo& info) {
  TFileFormatReader::ReadInfo(stream, index, info);
  if (index != 0) Fail(msgInvalidValueFor, "Index");
  const TPCXHeader h = ReadHeader(stream);
  CheckFixedFields(h);
  info.BitsPerPixel = h.Planes * h.Bits;
  info.Width = static_cast<int>(h.Width);
  info.Height = static_cast<int>(h.Height);
  switch (h.Version) {
    case 0: info.SubformatText = "Version 2.5 (0)"; break;
    case 2: info.SubformatText = "Version 2.8 (2) with Palette"; break;
    case 3: info.SubformatText = "Version 2.8 (3) without Palette"; break;
    case 5: info.SubformatText = "Version 3.0 (5)"; break;
    default: break;
  }
  info.ColorCountText = info.BitsPerPixel == 24 ? "16.7M" : PGPowerOfTwoText(info.BitsPerPixel);
}
