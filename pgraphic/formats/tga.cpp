#include "pgraphic/formats/tga.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "pgraphic/core/settings.h"

#include "pgraphic/formats/bufferedstreams.h"
#include "pgraphic/formats/decodechecks.h"
#include "pgraphic/formats/rowprogress.h"

namespace {

using TInput = TPGBufferedInput<EPGTGAFileFormatReader>;

const std::string kPrefix = "TGA: ";
constexpr int kHeaderSize = 18;

struct TTGAHeader {
  std::uint8_t IdLength = 0;
  std::uint8_t MapType = 0;
  std::uint8_t ImageType = 0;
  std::uint16_t MapFirst = 0;
  std::uint16_t MapLength = 0;
  std::uint8_t MapEntrySize = 0;
  std::uint16_t Width = 0;
  std::uint16_t Height = 0;
  std::uint8_t Depth = 0;
  std::uint8_t Descriptor = 0;
};

[[noreturn]] void Fail(int entry) { RaisePrefixed<EPGTGAFileFormatReader>(kPrefix, entry); }
[[noreturn]] void Fail(int entry, const std::string& s1) {
  RaisePrefixed<EPGTGAFileFormatReader>(kPrefix, entry, s1);
}

void PutLE16(std::uint8_t* p, unsigned v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
}

TTGAHeader ReadHeader(TStream& stream) {
  std::uint8_t b[kHeaderSize];
  if (!PGReadFully(stream, b, kHeaderSize)) Fail(msgUnexpectedEOF);
  TTGAHeader h;
  h.IdLength = b[0];
  h.MapType = b[1];
  h.ImageType = b[2];
  h.MapFirst = PGGetLE16(b + 3);
  h.MapLength = PGGetLE16(b + 5);
  h.MapEntrySize = b[7];
  h.Width = PGGetLE16(b + 12);
  h.Height = PGGetLE16(b + 14);
  h.Depth = b[16];
  h.Descriptor = b[17];
  return h;
}

// 5 bits per channel, red highest; each channel value times 8.
TRGB Color16(unsigned v) {
  return RGBColor(((v >> 10) & 31) * 8, ((v >> 5) & 31) * 8, (v & 31) * 8);
}

// A stored pixel or map entry: an index for 8 bits, otherwise a colour,
// with a 32-bit pixel's fourth byte above it (its alpha, where the
// descriptor says it has 8 bits of alpha).
std::uint32_t DecodeValue(const std::uint8_t* p, int bits) {
  if (bits == 8) return p[0];
  if (bits == 16) return Color16(PGGetLE16(p));
  return RGBColor(p[2], p[1], p[0]) | (bits == 32 ? std::uint32_t(p[3]) << 24 : 0);
}

// The pixels have 8 bits of alpha, and the image keeps them.
bool KeepsAlpha(const TTGAHeader& h) {
  return h.Depth == 32 && (h.Descriptor & 0x0F) == 8 && PGSettings().KeepAlpha;
}

void SkipBytes(TStream& stream, std::int64_t count) {
  if (count > stream.Remaining()) Fail(msgUnexpectedEOF);
  stream.Seek(count, TSeekOrigin::soCurrent);
}

std::vector<TRGB> ReadMapEntries(TStream& stream, const TTGAHeader& h) {
  const int entryBytes = h.MapEntrySize / 8;
  SkipBytes(stream, std::int64_t(h.MapFirst) * entryBytes);
  const int count = h.MapLength - h.MapFirst;
  std::vector<std::uint8_t> raw(static_cast<std::size_t>(count) * entryBytes);
  if (!PGReadFully(stream, raw.data(), static_cast<std::int64_t>(raw.size())))
    Fail(msgUnexpectedEOF);
  std::vector<TRGB> colors(count);
  for (int i = 0; i < count; ++i)
    colors[i] = DecodeValue(raw.data() + i * entryBytes, h.MapEntrySize) & 0xFFFFFF;
  return colors;
}

// Skips the image ID and any colour map, whatever the pixel depth, so the
// stream stands at the pixel data. The map's colours are returned only for
// 8-bit images, the one depth that uses them.
std::vector<TRGB> ReadIdAndMap(TStream& stream, const TTGAHeader& h) {
  SkipBytes(stream, h.IdLength);
  if (h.MapType != 1) return {};
  const bool used = h.Depth == 8;
  if (used && h.MapEntrySize != 16 && h.MapEntrySize != 24 && h.MapEntrySize != 32)
    Fail(msgNotSupportedSubformat);
  if (used && h.MapFirst > h.MapLength) Fail(msgInvalid, "ColorMap");
  const std::int64_t start = stream.Position();
  const std::int64_t mapBytes = std::int64_t(h.MapLength) * ((h.MapEntrySize + 7) / 8);
  if (mapBytes > stream.Remaining()) Fail(msgUnexpectedEOF);
  std::vector<TRGB> colors;
  if (used) colors = ReadMapEntries(stream, h);
  stream.SetPosition(start + mapBytes);
  return colors;
}

void SetPalette(TPixelGraphic& image, const TTGAHeader& h, const std::vector<TRGB>& map) {
  if (h.MapType != 1) {
    image.SetPaletteIdent(pGray256);
    return;
  }
  const int count = std::min<int>(256, static_cast<int>(map.size()));
  image.SetPaletteCount(0);
  image.SetPaletteCount(count);
  for (int i = 0; i < count; ++i) image.SetPaletteEntry(i, map[i]);
}

// Run-length state carried from row to row: a packet that reaches past the
// end of a row goes on in the next one, and never past the row buffer.
struct TRunState {
  int Left = 0;
  bool Repeat = false;
  std::uint32_t Value = 0;
};

std::uint32_t NextPixel(TInput& in, int depth) {
  std::uint8_t p[4];
  in.ReadInto(p, depth / 8);
  return DecodeValue(p, depth);
}

void DecodeRunRow(TInput& in, TRunState& run, int depth, std::vector<std::uint32_t>& pixels) {
  const std::size_t width = pixels.size();
  for (std::size_t x = 0; x < width;) {
    if (run.Left == 0) {
      const std::uint8_t h = in.Next();
      run.Left = (h & 127) + 1;
      run.Repeat = h >= 128;
      if (run.Repeat) run.Value = NextPixel(in, depth);
    }
    for (; run.Left > 0 && x < width; --run.Left)
      pixels[x++] = run.Repeat ? run.Value : NextPixel(in, depth);
  }
}

void ReadRawRow(TStream& stream, std::vector<std::uint8_t>& raw, int depth,
                std::vector<std::uint32_t>& pixels) {
  stream.ReadBuffer(raw.data(), static_cast<std::int64_t>(raw.size()));
  const int bytes = depth / 8;
  for (std::size_t x = 0; x < pixels.size(); ++x)
    pixels[x] = DecodeValue(raw.data() + x * bytes, depth);
}

struct TRowTarget {
  bool Indexed;
  bool Mirrored;
  int PaletteCount;
};

void CheckIndex(std::uint32_t index, int paletteCount) {
  if (index >= static_cast<std::uint32_t>(paletteCount)) Fail(msgInvalid, "Palette index");
}

void StorePixels(const std::vector<std::uint32_t>& pixels, std::uint8_t* row, std::uint8_t* alpha,
                 const TRowTarget& t) {
  const std::size_t width = pixels.size();
  for (std::size_t x = 0; x < width; ++x) {
    const std::size_t dx = t.Mirrored ? width - 1 - x : x;
    const std::uint32_t v = pixels[x];
    if (alpha) alpha[dx] = std::uint8_t(v >> 24);
    if (t.Indexed) {
      CheckIndex(v, t.PaletteCount);
      row[dx] = std::uint8_t(v);
    } else {
      row[3 * dx] = std::uint8_t(GetBValue(v));
      row[3 * dx + 1] = std::uint8_t(GetGValue(v));
      row[3 * dx + 2] = std::uint8_t(GetRValue(v));
    }
  }
}

// Uncompressed 8- and 24-bit rows with a left origin go straight into the
// image row.
void ReadDirectRow(TStream& stream, std::uint8_t* row, int width, const TTGAHeader& h,
                   const TRowTarget& t) {
  stream.ReadBuffer(row, std::int64_t(width) * (h.Depth / 8));
  if (t.Indexed && t.PaletteCount < 256)
    for (int x = 0; x < width; ++x) CheckIndex(row[x], t.PaletteCount);
}

class TRowDecoder {
 public:
  TRowDecoder(TStream& stream, const TTGAHeader& h, const TPixelGraphic& image)
      : Stream(stream),
        H(h),
        In(stream, kPrefix),
        Pixels(h.Width),
        Target{h.Depth == 8, (h.Descriptor & 0x10) != 0, image.PaletteCount()} {
    Rle = (h.ImageType & 8) != 0;
    Direct = !Rle && (h.Depth == 8 || h.Depth == 24) && !Target.Mirrored;
    if (!Rle && !Direct) Raw.resize(std::size_t(h.Width) * (h.Depth / 8));
  }
  void Row(std::uint8_t* row, std::uint8_t* alpha) {
    if (Direct) return ReadDirectRow(Stream, row, H.Width, H, Target);
    if (Rle)
      DecodeRunRow(In, Run, H.Depth, Pixels);
    else
      ReadRawRow(Stream, Raw, H.Depth, Pixels);
    StorePixels(Pixels, row, alpha, Target);
  }
  void Finish() {
    if (Rle) In.Release();
  }

 private:
  TStream& Stream;
  const TTGAHeader& H;
  TInput In;
  TRunState Run;
  std::vector<std::uint32_t> Pixels;
  std::vector<std::uint8_t> Raw;
  TRowTarget Target;
  bool Rle = false;
  bool Direct = false;
};

bool ShowsAPixel(const std::uint8_t* alpha, int width) {
  return std::any_of(alpha, alpha + width, [](std::uint8_t v) { return v != 0; });
}

// Writers that leave the alpha bits unused leave them 0: such a file shows
// nothing, and is taken for opaque instead. Until a pixel shows, the rows
// are not handed on: whoever takes rows as they come must not see the plane
// before it is decided.
void DecodeRows(TStream& stream, TPixelGraphic& image, const TTGAHeader& h) {
  TRowDecoder decoder(stream, h, image);
  const bool top = (h.Descriptor & 0x20) != 0;
  const int height = h.Height;
  bool decided = !image.HasAlpha();
  int first = 0, held = 0;  // the rows decoded and not handed on yet
  TPGProgressBracket bracket(image);
  for (int r = 0; r < height; ++r) {
    const int y = top ? r : height - 1 - r;
    decoder.Row(image.ScanLine(y), image.AlphaLine(y));
    if (!decided) decided = ShowsAPixel(image.AlphaLine(y), image.Width());
    first = held == 0 || y < first ? y : first;
    ++held;
    if (decided) image.DoRowsDone(first, held), held = 0;
    if (image.DoProgress(r, height)) break;
  }
  decoder.Finish();
  if (!decided)
    for (int y = 0; y < height; ++y) std::memset(image.AlphaLine(y), 0xFF, std::size_t(image.Width()));
  if (held > 0) image.DoRowsDone(first, held);
}

// Refuses pixel data shorter than the image needs before pixel memory
// exists: stored pixels take their full size (short, it is the stream's own
// read error, as a read would give); a run packet, a header byte and one
// value, stands for at most 128 pixels, and packets may go on across rows.
void CheckPixelData(TStream& stream, const TTGAHeader& h) {
  const std::uint64_t pixels = std::uint64_t(h.Width) * h.Height, bytes = h.Depth / 8;
  if (h.ImageType & 8) {
    PGCheckDataFor<EPGTGAFileFormatReader>(kPrefix, stream.Remaining(), (pixels + 127) / 128 * (1 + bytes));
  } else if (pixels * bytes > std::uint64_t(std::max<std::int64_t>(stream.Remaining(), 0))) {
    throw EStreamError("Stream read error");
  }
}

bool SupportedDepth(int depth) { return depth == 8 || depth == 16 || depth == 24 || depth == 32; }

}  // namespace

TTGAFileFormatReader::TTGAFileFormatReader() {
  SafeOnThreads = true;
  RowDelivery = rdAsStored;
  Extension = "tga";
  Description = "Truevision Targa";
  HasSignature = false;
}

void TTGAFileFormatReader::ReadImage(TStream& stream, TPixelGraphic& image, int index) {
  if (index != 0) Fail(msgInvalid, "Index");
  const TTGAHeader h = ReadHeader(stream);
  if (!SupportedDepth(h.Depth)) Fail(msgNotSupportedSubformat);
  const std::vector<TRGB> map = ReadIdAndMap(stream, h);
  const TPGPixelFormat format = h.Depth == 8 ? pgpf8Bit : pgpf24Bit;
  PGCheckImageSize<EPGTGAFileFormatReader>(kPrefix, h.Width, h.Height, BitCountOf(format));
  CheckPixelData(stream, h);
  image.SetSizeAndFormat(0, 0, format);
  if (format == pgpf8Bit) SetPalette(image, h, map);
  image.SetSizeAndFormat(h.Width, h.Height, format);
  if (KeepsAlpha(h)) image.AddAlpha();
  if (h.Height > 0) DecodeRows(stream, image, h);
}

void TTGAFileFormatReader::ReadInfo(TStream& stream, int index, TFileInfo& info) {
  TFileFormatReader::ReadInfo(stream, index, info);
  info.ImageCount = 1;
  if (index != 0) Fail(msgInvalidValueFor, "Index");
  const TTGAHeader h = ReadHeader(stream);
  switch (h.ImageType & ~8) {
    case 1: info.ExtraText = "Color-mapped"; break;
    case 2: info.ExtraText = "True-color"; break;
    case 3: info.ExtraText = "\"Black-and-white\""; break;
    default: Fail(msgInvalidValueFor, "ImageType");
  }
  info.SubformatText = (h.ImageType & 8) ? "Run-length encoded" : "Uncompressed";
  info.Alpha = h.Depth == 32 && (h.Descriptor & 0x0F) == 8;
  info.Width = h.Width;
  info.Height = h.Height;
  info.BitsPerPixel = h.Depth;
  info.ColorCountText = h.Depth <= 23   ? PGPowerOfTwoText(h.Depth)
                        : h.Depth == 24 ? "16.7M"
                                        : "16.7M ?";
}

// ---- writer

namespace {

void WriteColorMap(TStream& stream, const TPixelGraphic& image) {
  std::vector<std::uint8_t> map;
  for (TRGB c : image.PaletteEntries()) {
    map.push_back(std::uint8_t(GetBValue(c)));
    map.push_back(std::uint8_t(GetGValue(c)));
    map.push_back(std::uint8_t(GetRValue(c)));
  }
  stream.WriteBuffer(map.data(), static_cast<std::int64_t>(map.size()));
}

void WriteHeader(TStream& stream, const TPixelGraphic& image, bool indexed) {
  std::uint8_t b[kHeaderSize] = {};
  b[1] = indexed ? 1 : 0;
  b[2] = indexed ? 1 : 2;
  PutLE16(b + 5, indexed ? image.PaletteCount() : 0);
  b[7] = indexed ? 24 : 0;
  PutLE16(b + 12, image.Width());
  PutLE16(b + 14, image.Height());
  b[16] = indexed ? 8 : 24;
  stream.WriteBuffer(b, kHeaderSize);
}

}  // namespace

TTGAFileFormatWriter::TTGAFileFormatWriter() {
  SafeOnThreads = true;
  Extension = "tga";
  Description = "Truevision Targa";
  CanWriteResolutions = CrBit(cr256Colors) | CrBit(crTrueColor);
}

void TTGAFileFormatWriter::Write(TStream& stream, TPixelGraphic& image) {
  const TPGPixelFormat format = image.PixelFormat();
  if (format != pgpf8Bit && format != pgpf24Bit)
    RaisePrefixed<EPixelGraphic>(kPrefix, msgInvalidColorResolution);
  // The header holds 16-bit sizes; a larger image would be written corrupt.
  if (image.Width() > 0xFFFF || image.Height() > 0xFFFF)
    RaisePrefixed<EPixelGraphic>(kPrefix, msgInvalidSizeOf, "image");
  const bool indexed = format == pgpf8Bit;
  WriteHeader(stream, image, indexed);
  if (indexed) WriteColorMap(stream, image);
  const int width = image.Width();
  const int height = image.Height();
  const std::int64_t rowBytes = std::int64_t(width) * (indexed ? 1 : 3);
  TPGProgressBracket bracket(image);
  for (int r = 0; r < height; ++r) {
    stream.WriteBuffer(image.ScanLine(height - 1 - r), rowBytes);
    image.DoProgress(r, height);
  }
}
