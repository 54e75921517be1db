// The TIFF writer: one directory per image, strips of at most 32767 bytes.

#include <algorithm>
#include <cstring>

#include "pgraphic/core/errors.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/core/settings.h"
#include "pgraphic/formats/tiff/tiff.h"
#include "pgraphic/formats/icc.h"
#include "pgraphic/formats/rowprogress.h"
#include "pgraphic/formats/tiff/tiff_detail.h"

using namespace tiff;

namespace {

constexpr std::uint32_t MaxStripBudget = 32767;

[[noreturn]] void WriteFail(const std::string& text) { throw EPGTIFFileFormatWriter("TIFF: " + text); }

// Offsets in the file are 32 bits wide; a larger file cannot be described.
std::uint32_t Offset32(std::int64_t offset) {
  if (offset < 0 || offset > std::int64_t(UINT32_MAX))
    RaisePrefixed<EPGTIFFileFormatWriter>("TIFF: ", msgInvalidSizeOf, "image");
  return std::uint32_t(offset);
}

struct TLayout {
  int Bits = 0;     // bits per pixel of the image
  int Samples = 1;  // samples per pixel in the file
  bool CMYK = false;
  bool Invert = false;  // grey and bilevel values written as WhiteIsZero
  std::uint32_t Photometric = phBlackIsZero;
  std::uint32_t Compression = compNone;
  std::size_t RowBytes = 0;
  std::uint32_t RowsPerStrip = 0;
  std::uint32_t Strips = 0;
  bool HasColorMap() const { return Photometric == phPalette; }
  std::size_t ColorMapValues() const { return HasColorMap() ? 3u << Bits : 0; }
};

bool IsGreyImage(const TPixelGraphic& image) {
  return (image.PixelFormat() == pgpf4Bit && image.PaletteIdent() == pGray16) ||
         (image.PixelFormat() == pgpf8Bit && image.PaletteIdent() == pGray256);
}

void PlanPhotometric(const TPixelGraphic& image, const TPGLibrarySettings& s, TLayout& l) {
  const bool wiz = s.TiffWhiteIsZero;
  if (l.Bits == 24) {
    l.Photometric = l.CMYK ? phSeparated : phRGB;
  } else if (l.Bits == 1 || IsGreyImage(image)) {
    l.Photometric = wiz ? phWhiteIsZero : phBlackIsZero;
    l.Invert = wiz && (IsGreyImage(image) || image.PaletteIdent() == pBlackWhite);
  } else {
    l.Photometric = phPalette;
  }
}

std::size_t RowBytesOf(int bits, bool cmyk, std::int64_t width) {
  switch (bits) {
    case 1: return std::size_t((width + 7) / 8);
    case 4: return std::size_t((width + 1) / 2);
    case 8: return std::size_t(width);
    default: return std::size_t(width) * (cmyk ? 4 : 3);
  }
}

TLayout PlanLayout(const TPixelGraphic& image) {
  const TPGLibrarySettings& s = PGSettings();
  if (image.Empty() || image.Width() <= 0 || image.Height() <= 0)
    RaisePrefixed<EPGTIFFileFormatWriter>("TIFF: ", msgWidthOrHeightZero);
  TLayout l;
  l.Bits = image.BitCount();
  l.CMYK = l.Bits == 24 && s.TiffWriteCMYK;
  l.Samples = l.Bits == 24 ? (l.CMYK ? 4 : 3) : 1;
  l.RowBytes = RowBytesOf(l.Bits, l.CMYK, image.Width());
  l.Compression = s.TiffCompression;
  const std::uint64_t budget = std::uint64_t(l.RowBytes) * (l.Compression == compPackBits ? 2 : 1);
  l.RowsPerStrip = std::uint32_t(std::min<std::uint64_t>(
      std::max<std::uint64_t>(1, MaxStripBudget / budget), std::uint64_t(image.Height())));
  l.Strips = (std::uint32_t(image.Height()) + l.RowsPerStrip - 1) / l.RowsPerStrip;
  if (l.Compression != compNone && l.Compression != compPackBits) WriteFail("Internal Error");
  PlanPhotometric(image, s, l);
  return l;
}

// The directory and the data that follows it, built in memory with every
// offset known in advance; only the strip fields wait for the strips.
class TDirectoryBlock {
 public:
  TDirectoryBlock(const TByteOrder& order, std::uint32_t at) : Order(order), At(at) {}

  void Add(std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t value) {
    Entries.push_back({tag, type, count, value});
  }
  // Position (from the base) of the value field of entry i.
  std::uint32_t FieldAt(std::size_t i) const { return At + 2 + std::uint32_t(i) * EntrySize + 8; }
  std::uint32_t DirectorySize() const { return 2 + std::uint32_t(Entries.size()) * EntrySize + 4; }
  std::uint32_t DataAt() const { return At + DirectorySize(); }
  std::uint32_t NextFieldAt() const { return DataAt() - 4; }
  std::vector<std::uint8_t> Bytes(const std::vector<std::uint8_t>& data) const;

 private:
  struct TItem {
    std::uint16_t Tag, Type;
    std::uint32_t Count, Value;
  };
  TByteOrder Order;
  std::uint32_t At;
  std::vector<TItem> Entries;
};

std::vector<std::uint8_t> TDirectoryBlock::Bytes(const std::vector<std::uint8_t>& data) const {
  std::vector<std::uint8_t> out(DirectorySize(), 0);
  Order.Put16(out.data(), std::uint16_t(Entries.size()));
  for (std::size_t i = 0; i < Entries.size(); ++i) {
    std::uint8_t* p = out.data() + 2 + i * EntrySize;
    Order.Put16(p, Entries[i].Tag);
    Order.Put16(p + 2, Entries[i].Type);
    Order.Put32(p + 4, Entries[i].Count);
    if (Entries[i].Type == ftShort && Entries[i].Count == 1)
      Order.Put16(p + 8, std::uint16_t(Entries[i].Value));
    else
      Order.Put32(p + 8, Entries[i].Value);
  }
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

struct TDataWriter {
  const TByteOrder& Order;
  std::vector<std::uint8_t> Bytes;
  void Short(std::uint16_t v) {
    Bytes.resize(Bytes.size() + 2);
    Order.Put16(Bytes.data() + Bytes.size() - 2, v);
  }
  void Long(std::uint32_t v) {
    Bytes.resize(Bytes.size() + 4);
    Order.Put32(Bytes.data() + Bytes.size() - 4, v);
  }
};

// Where the parts after the directory lie, relative to the base.
struct TPlacement {
  std::uint32_t ColorMap = 0, BitsPerSample = 0, XResolution = 0, YResolution = 0;
  std::uint32_t OffsetList = 0, CountList = 0;
  std::uint32_t OffsetsField = 0, CountsField = 0;
  std::uint32_t Icc = 0;  // the profile, at an even offset after everything else
};

std::size_t EntryCount(const TLayout& l, const std::vector<std::uint8_t>& icc) {
  return (l.HasColorMap() ? 14 : 13) + (icc.empty() ? 0 : 1);
}

TPlacement Place(const TLayout& l, std::int64_t dataAt) {
  TPlacement p;
  std::int64_t at = dataAt;
  p.ColorMap = Offset32(at);
  at += std::int64_t(l.ColorMapValues()) * 2;
  p.BitsPerSample = Offset32(at);
  at += l.Bits == 24 ? 2 * l.Samples : 0;
  p.XResolution = Offset32(at);
  p.YResolution = Offset32(at + 8);
  at += 16;
  p.OffsetList = Offset32(at);
  p.CountList = Offset32(at + std::int64_t(l.Strips) * 4);
  at += l.Strips > 1 ? std::int64_t(l.Strips) * 8 : 0;
  p.Icc = Offset32(at + at % 2);
  return p;
}

void AddEntries(TDirectoryBlock& dir, const TLayout& l, const TPixelGraphic& image,
                const std::vector<std::uint8_t>& icc, TPlacement& p) {
  const TPGLibrarySettings& s = PGSettings();
  const bool many = l.Strips > 1;
  dir.Add(tagNewSubfileType, ftLong, 1, 0);
  dir.Add(tagImageWidth, ftLong, 1, std::uint32_t(image.Width()));
  dir.Add(tagImageLength, ftLong, 1, std::uint32_t(image.Height()));
  dir.Add(tagBitsPerSample, ftShort, std::uint32_t(l.Samples),
          l.Bits == 24 ? p.BitsPerSample : std::uint32_t(l.Bits));
  dir.Add(tagCompression, ftShort, 1, l.Compression);
  dir.Add(tagPhotometric, ftShort, 1, l.Photometric);
  p.OffsetsField = dir.FieldAt(6);
  dir.Add(tagStripOffsets, ftLong, l.Strips, many ? p.OffsetList : 0);
  dir.Add(tagSamplesPerPixel, ftShort, 1, std::uint32_t(l.Samples));
  dir.Add(tagRowsPerStrip, ftLong, 1, l.RowsPerStrip);
  p.CountsField = dir.FieldAt(9);
  dir.Add(tagStripByteCounts, ftLong, l.Strips, many ? p.CountList : 0);
  dir.Add(tagXResolution, ftRational, 1, p.XResolution);
  dir.Add(tagYResolution, ftRational, 1, p.YResolution);
  dir.Add(tagResolutionUnit, ftShort, 1, std::uint32_t(s.TiffResolutionUnit) + 1);
  if (l.HasColorMap()) dir.Add(tagColorMap, ftShort, std::uint32_t(l.ColorMapValues()), p.ColorMap);
  if (!icc.empty()) dir.Add(tagIccProfile, ftUndefined, std::uint32_t(icc.size()), p.Icc);
}

// iccAt: where the profile goes, counted from the start of this data.
std::vector<std::uint8_t> DataAfterDirectory(const TByteOrder& order, const TLayout& l, const TPixelGraphic& image,
                                             const std::vector<std::uint8_t>& icc, std::size_t iccAt) {
  const TPGLibrarySettings& s = PGSettings();
  TDataWriter w{order, {}};
  const std::size_t colors = l.ColorMapValues() / 3;
  for (int channel = 0; channel < 3 && l.HasColorMap(); ++channel)
    for (std::size_t i = 0; i < colors; ++i) {
      const TRGB c = int(i) < image.PaletteCount() ? image.GetPaletteEntry(int(i)) : 0;
      // x 257 maps 255 to 65535, so peers read full white; our reader
      // takes the high byte and reads back the same entry.
      w.Short(std::uint16_t(((c >> (8 * channel)) & 0xFF) * 257));
    }
  for (int i = 0; l.Bits == 24 && i < l.Samples; ++i) w.Short(8);
  for (const TTiffRational& r : {s.TiffXResolution, s.TiffYResolution}) {
    w.Long(r.Numerator);
    w.Long(r.Denominator);
  }
  if (l.Strips > 1) w.Bytes.resize(w.Bytes.size() + std::size_t(l.Strips) * 8, 0);
  if (!icc.empty()) {
    w.Bytes.resize(iccAt, 0);
    w.Bytes.insert(w.Bytes.end(), icc.begin(), icc.end());
  }
  return w.Bytes;
}

// ---- rows

void BuildPaletteRow(const std::uint8_t* src, std::uint8_t* dst, const TLayout& l, int width) {
  const std::uint8_t flip = l.Invert ? 0xFF : 0x00;
  for (std::size_t i = 0; i < l.RowBytes; ++i) dst[i] = src[i] ^ flip;
  const unsigned used = unsigned((std::uint64_t(width) * unsigned(l.Bits)) % 8);
  if (used) dst[l.RowBytes - 1] &= std::uint8_t(0xFF << (8 - used));
}

void BuildRGBRow(const std::uint8_t* src, std::uint8_t* dst, int width) {
  for (int x = 0; x < width; ++x, src += 3, dst += 3) {
    dst[0] = src[2];
    dst[1] = src[1];
    dst[2] = src[0];
  }
}

void BuildCMYKRow(const std::uint8_t* src, std::uint8_t* dst, int width) {
  for (int x = 0; x < width; ++x, src += 3, dst += 4) {
    const int c = 255 - src[2], m = 255 - src[1], y = 255 - src[0];
    const int k = std::min({c, m, y});
    dst[0] = std::uint8_t(c - k);
    dst[1] = std::uint8_t(m - k);
    dst[2] = std::uint8_t(y - k);
    dst[3] = std::uint8_t(k);
  }
}

void BuildRow(TPixelGraphic& image, int y, const TLayout& l, std::uint8_t* dst) {
  const std::uint8_t* src = image.ScanLine(y);
  if (l.Bits != 24)
    BuildPaletteRow(src, dst, l, image.Width());
  else if (l.CMYK)
    BuildCMYKRow(src, dst, image.Width());
  else
    BuildRGBRow(src, dst, image.Width());
}

struct TStripTable {
  std::vector<std::uint32_t> Offsets, Counts;
};

// One row built and written, PackBits-encoded when asked.
class TRowWriter {
 public:
  explicit TRowWriter(const TLayout& l) : L(l), Row(l.RowBytes), Packed(2 * l.RowBytes) {}
  void Write(TStream& stream, TPixelGraphic& image, int y) {
    BuildRow(image, y, L, Row.data());
    if (L.Compression == compPackBits)
      stream.WriteBuffer(Packed.data(), std::int64_t(PackBitsEncode(Row.data(), Row.size(), Packed.data())));
    else
      stream.WriteBuffer(Row.data(), std::int64_t(Row.size()));
  }

 private:
  const TLayout& L;
  std::vector<std::uint8_t> Row, Packed;
};

// Strips start at even offsets.
TStripTable WriteStrips(TStream& stream, std::int64_t base, TPixelGraphic& image, const TLayout& l) {
  TStripTable t;
  TRowWriter writer(l);
  const std::uint32_t height = std::uint32_t(image.Height());
  TPGProgressBracket bracket(image);
  for (std::uint32_t y = 0; y < height; ++y) {
    if (y % l.RowsPerStrip == 0) {
      if ((stream.Position() - base) % 2 != 0) stream.WriteBuffer("\0", 1);
      t.Offsets.push_back(Offset32(stream.Position() - base));
    }
    writer.Write(stream, image, int(y));
    if ((y + 1) % l.RowsPerStrip == 0 || y + 1 == height)
      t.Counts.push_back(Offset32(stream.Position() - base - t.Offsets.back()));
    image.DoProgress(int(y), int(height) - 1);
  }
  return t;
}

void WriteLongAt(TStream& stream, std::int64_t at, const TByteOrder& order, std::uint32_t v) {
  std::uint8_t b[4];
  order.Put32(b, v);
  stream.SetPosition(at);
  stream.WriteBuffer(b, 4);
}

void WriteStripFields(TStream& stream, std::int64_t base, const TByteOrder& order,
                      const TPlacement& p, const TStripTable& t) {
  if (t.Offsets.size() == 1) {
    WriteLongAt(stream, base + p.OffsetsField, order, t.Offsets[0]);
    WriteLongAt(stream, base + p.CountsField, order, t.Counts[0]);
    return;
  }
  TDataWriter w{order, {}};
  for (std::uint32_t v : t.Offsets) w.Long(v);
  for (std::uint32_t v : t.Counts) w.Long(v);
  stream.SetPosition(base + p.OffsetList);
  stream.WriteBuffer(w.Bytes.data(), std::int64_t(w.Bytes.size()));
}

// A file begun: the header, with the link to the first directory still open.
TTiffFileState BeginTiff(TStream& stream) {
  TTiffFileState file;
  file.BigEndian = PGSettings().TiffBigEndian;
  file.Base = stream.Position();
  const TByteOrder order{file.BigEndian};
  std::uint8_t h[HeaderSize] = {std::uint8_t(file.BigEndian ? 'M' : 'I'),
                                std::uint8_t(file.BigEndian ? 'M' : 'I')};
  order.Put16(h + 2, 42);
  order.Put32(h + 4, 0);
  stream.WriteBuffer(h, HeaderSize);
  file.PendingNextIFD = file.Base + 4;
  return file;
}

void AppendTiff(TStream& stream, TTiffFileState& file, TPixelGraphic& image) {
  const TLayout l = PlanLayout(image);
  const TByteOrder order{file.BigEndian};
  const std::int64_t end = stream.Seek(0, TSeekOrigin::soEnd);
  const std::uint32_t at = Offset32(end - file.Base);
  WriteLongAt(stream, file.PendingNextIFD, order, at);
  stream.Seek(0, TSeekOrigin::soEnd);

  // A kept profile describes RGB or grey values, not inks.
  const bool grey = l.Photometric == phBlackIsZero || l.Photometric == phWhiteIsZero;
  const std::vector<std::uint8_t> icc = l.CMYK ? std::vector<std::uint8_t>() : IccToEmbed(image, grey);
  TDirectoryBlock dir(order, at);
  const std::int64_t dataAt = std::int64_t(at) + 2 + std::int64_t(EntryCount(l, icc)) * EntrySize + 4;
  TPlacement p = Place(l, dataAt);
  AddEntries(dir, l, image, icc, p);
  const std::vector<std::uint8_t> block =
      dir.Bytes(DataAfterDirectory(order, l, image, icc, std::size_t(p.Icc - dataAt)));
  stream.WriteBuffer(block.data(), std::int64_t(block.size()));
  file.PendingNextIFD = file.Base + dir.NextFieldAt();

  const TStripTable strips = WriteStrips(stream, file.Base, image, l);
  const std::int64_t stop = stream.Position();
  WriteStripFields(stream, file.Base, order, p, strips);
  stream.SetPosition(stop);
}

}  // namespace

TTIFFileFormatWriter::TTIFFileFormatWriter() {
  SafeOnThreads = true;
  TakesRowsTopDown = true;
  EmbedsProfile = true;
  Extension = "tif";
  Description = "Tagged Image File Format";
  MultiImage = true;
  CanWriteResolutions = TColorResolutions(0xFF & ~CrBit(cr2Colors));
}

// One file of one image keeps its bookkeeping to itself.
void TTIFFileFormatWriter::Write(TStream& stream, TPixelGraphic& image) {
  TTiffFileState file = BeginTiff(stream);
  AppendTiff(stream, file, image);
}

void TTIFFileFormatWriter::BeginFile(TStream& stream) {
  const TTiffFileState file = BeginTiff(stream);
  std::lock_guard<std::mutex> guard(FilesLock);
  Files[&stream] = file;
}

void TTIFFileFormatWriter::AppendImage(TStream& stream, TPixelGraphic& image) {
  TTiffFileState file;
  {
    std::lock_guard<std::mutex> guard(FilesLock);
    const auto it = Files.find(&stream);
    if (it == Files.end()) WriteFail("Internal Error");
    file = it->second;
  }
  AppendTiff(stream, file, image);
  std::lock_guard<std::mutex> guard(FilesLock);
  Files[&stream] = file;
}

// The file is complete; an image appended now would have no file to go to.
void TTIFFileFormatWriter::EndFile(TStream& stream) {
  std::lock_guard<std::mutex> guard(FilesLock);
  Files.erase(&stream);
}
