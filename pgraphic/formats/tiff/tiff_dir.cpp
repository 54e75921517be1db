// Header and image file directory of the TIFF reader.

#include <algorithm>
#include <climits>
#include <cstring>
#include <map>
#include <set>

#include "pgraphic/core/errors.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/core/settings.h"
#include "pgraphic/formats/tiff/tiff_detail.h"

namespace tiff {

std::uint16_t TByteOrder::Get16(const std::uint8_t* p) const {
  return Big ? std::uint16_t(p[0] << 8 | p[1]) : std::uint16_t(p[1] << 8 | p[0]);
}

std::uint32_t TByteOrder::Get32(const std::uint8_t* p) const {
  if (Big) return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | p[2] << 8 | p[3];
  return std::uint32_t(p[3]) << 24 | std::uint32_t(p[2]) << 16 | p[1] << 8 | p[0];
}

void TByteOrder::Put16(std::uint8_t* p, std::uint16_t v) const {
  const std::uint8_t hi = std::uint8_t(v >> 8), lo = std::uint8_t(v);
  p[0] = Big ? hi : lo;
  p[1] = Big ? lo : hi;
}

void TByteOrder::Put32(std::uint8_t* p, std::uint32_t v) const {
  for (int i = 0; i < 4; ++i) {
    const int shift = Big ? 24 - 8 * i : 8 * i;
    p[i] = std::uint8_t(v >> shift);
  }
}

void ReadFail(const std::string& text) { throw EPGTIFFileFormatReader("TIFF: " + text); }
void ReadFailMsg(int entry) { RaisePrefixed<EPGTIFFileFormatReader>("TIFF: ", entry); }
void ReadFailInvalid(const std::string& what) {
  RaisePrefixed<EPGTIFFileFormatReader>("TIFF: ", msgInvalid, what);
}

TSource::TSource(TStream& stream) : Stream(stream), Base(stream.Position()) {
  Size = std::max<std::int64_t>(0, stream.Size() - Base);
}

void TSource::ReadAt(std::int64_t offset, void* buffer, std::int64_t count) {
  if (!Fits(offset, count)) ReadFailMsg(msgUnexpectedEOF);
  Stream.SetPosition(Base + offset);
  if (Stream.Read(buffer, count) != count) ReadFailMsg(msgUnexpectedEOF);
}

std::uint16_t TSource::Read16At(std::int64_t offset) {
  std::uint8_t b[2];
  ReadAt(offset, b, 2);
  return Order.Get16(b);
}

std::uint32_t TSource::Read32At(std::int64_t offset) {
  std::uint8_t b[4];
  ReadAt(offset, b, 4);
  return Order.Get32(b);
}

namespace {

struct TEntry {
  std::uint16_t Type = 0;
  std::uint32_t Count = 0;
  std::uint8_t Field[4] = {0, 0, 0, 0};
};

using TEntries = std::map<std::uint16_t, TEntry>;

bool IsUsedTag(std::uint16_t tag) {
  static const std::uint16_t used[] = {
      tagNewSubfileType, tagImageWidth,   tagImageLength,     tagBitsPerSample,
      tagCompression,    tagPhotometric,  tagStripOffsets,    tagSamplesPerPixel,
      tagRowsPerStrip,   tagStripByteCounts, tagPlanarConfiguration, tagColorMap,
      tagIccProfile,     tagPredictor,    tagTileWidth,       tagTileLength,
      tagTileOffsets,    tagTileByteCounts, tagExtraSamples};
  return std::find(std::begin(used), std::end(used), tag) != std::end(used);
}

int ElementSize(std::uint16_t type) {
  switch (type) {
    case ftByte: return 1;
    case ftShort: return 2;
    case ftLong: return 4;
    default: ReadFail("Unsupported field Type: " + std::to_string(type));
  }
}

std::uint32_t Element(const TByteOrder& order, const std::uint8_t* p, int size) {
  if (size == 1) return *p;
  return size == 2 ? order.Get16(p) : order.Get32(p);
}

// At most maxCount values of an entry; values that do not fit in the entry
// are read from their offset, which must lie inside the file.
std::vector<std::uint32_t> Values(TSource& src, const TEntry& e, std::uint32_t maxCount) {
  const int size = ElementSize(e.Type);
  const std::uint32_t n = std::min(e.Count, maxCount);
  const bool inField = std::int64_t(e.Count) * size <= 4;
  const std::uint32_t at = src.Order.Get32(e.Field);
  if (!inField && !src.Fits(at, std::int64_t(n) * size)) ReadFailMsg(msgUnexpectedEOF);
  std::vector<std::uint8_t> raw(std::size_t(n) * size);
  if (raw.empty()) return {};
  if (inField)
    std::memcpy(raw.data(), e.Field, raw.size());
  else
    src.ReadAt(at, raw.data(), std::int64_t(raw.size()));
  std::vector<std::uint32_t> out(n);
  for (std::uint32_t i = 0; i < n; ++i) out[i] = Element(src.Order, raw.data() + i * size, size);
  return out;
}

std::vector<std::uint32_t> Array(TSource& src, const TEntries& es, std::uint16_t tag) {
  const auto it = es.find(tag);
  if (it == es.end()) return {};
  return Values(src, it->second, UINT32_MAX);
}

std::uint32_t Single(TSource& src, const TEntries& es, std::uint16_t tag, std::uint32_t absent) {
  const auto it = es.find(tag);
  if (it == es.end()) return absent;
  const auto v = Values(src, it->second, 1);
  return v.empty() ? absent : v[0];
}

void ReadHeader(TSource& src, std::uint32_t& firstIFD) {
  std::uint8_t h[HeaderSize];
  if (!src.Fits(0, HeaderSize)) RaisePrefixed<EPGTIFFileFormatReader>("TIFF: ", msgNotAFile, "TIF");
  src.ReadAt(0, h, HeaderSize);
  const bool ii = h[0] == 'I' && h[1] == 'I', mm = h[0] == 'M' && h[1] == 'M';
  src.Order.Big = mm;
  if ((!ii && !mm) || src.Order.Get16(h + 2) != 42)
    RaisePrefixed<EPGTIFFileFormatReader>("TIFF: ", msgNotAFile, "TIF");
  firstIFD = src.Order.Get32(h + 4);
}

// Position of the next-IFD field of the directory at offset, or -1 when the
// directory does not lie inside the file.
std::int64_t NextFieldOf(TSource& src, std::int64_t offset) {
  if (!src.Fits(offset, 2)) return -1;
  const std::int64_t next = offset + 2 + std::int64_t(EntrySize) * src.Read16At(offset);
  return src.Fits(next, 4) ? next : -1;
}

// Walks the chain; a broken chain (outside the file, a directory seen twice,
// more than TiffMaxImages) counts as one image in the first directory.
int CountImages(TSource& src, std::uint32_t first, int index, std::uint32_t& chosen) {
  chosen = first;
  if (!PGSettings().TiffCountImages) return 1;
  std::set<std::uint32_t> seen;
  std::uint64_t count = 0;
  std::uint32_t found = first;
  for (std::uint32_t offset = first; offset != 0;) {
    const std::int64_t next = NextFieldOf(src, offset);
    if (next < 0 || !seen.insert(offset).second || count + 1 > PGSettings().TiffMaxImages) return 1;
    if (count == std::uint64_t(std::max(index, 0))) found = offset;
    ++count;
    offset = src.Read32At(next);
  }
  chosen = found;
  return int(std::min<std::uint64_t>(count, INT_MAX));
}

TEntries ReadEntries(TSource& src, std::uint32_t offset) {
  const std::uint16_t n = src.Read16At(offset);
  std::vector<std::uint8_t> raw(std::size_t(n) * EntrySize);
  src.ReadAt(std::int64_t(offset) + 2, raw.data(), std::int64_t(raw.size()));
  TEntries entries;
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint8_t* p = raw.data() + i * EntrySize;
    const std::uint16_t tag = src.Order.Get16(p);
    if (!IsUsedTag(tag)) continue;
    TEntry e;
    e.Type = src.Order.Get16(p + 2);
    e.Count = src.Order.Get32(p + 4);
    std::memcpy(e.Field, p + 8, 4);
    entries[tag] = e;
  }
  return entries;
}

// One sample: bilevel, 16 or 256 greys or colours, or 16-bit grey. Several:
// grey, RGB or CMYK of 8 or 16 bits each, perhaps with samples beyond them.
bool AcceptedCombination(const TDirectory& d) {
  const auto& b = d.BitsPerSample;
  const bool grey = d.Photometric <= phBlackIsZero;
  if (d.SamplesPerPixel == 1 && (grey || d.Photometric == phPalette))
    return b[0] == 1 || b[0] == 4 || b[0] == 8 || (b[0] == 16 && grey);
  const bool even = (b[0] == 8 || b[0] == 16) && std::all_of(b.begin(), b.end(), [&](std::uint32_t v) { return v == b[0]; });
  const bool colour = grey || d.Photometric == phRGB || d.Photometric == phSeparated;
  return even && colour && d.SamplesPerPixel >= ColourSamples(d.Photometric);
}

// More samples than this are no image a designer has.
constexpr std::uint32_t MaxSamples = 16;

void ReadSampleLayout(TSource& src, const TEntries& es, TDirectory& d) {
  d.PlanarConfiguration = Single(src, es, tagPlanarConfiguration, 0);
  if (d.PlanarConfiguration > 2) ReadFailInvalid("PlanarConfiguration");
  // An absent SamplesPerPixel means one sample: common writers leave the tag
  // out of grey and palette files, and refusing those would refuse valid files.
  d.SamplesPerPixel = Single(src, es, tagSamplesPerPixel, 1);
  const std::uint32_t spp = d.SamplesPerPixel;
  if (spp == 0 || spp > MaxSamples) ReadFail("Invalid SamplesPerPixel");
  d.BitsPerSample = Array(src, es, tagBitsPerSample);
  // Absent, BitsPerSample is 1 for every sample, as TIFF defines it: bilevel
  // writers leave it out.
  if (es.count(tagBitsPerSample) == 0) d.BitsPerSample.assign(spp, 1);
  if (d.BitsPerSample.size() != spp) ReadFail("Invalid count of SamplesPerPixel");
  d.Photometric = Single(src, es, tagPhotometric, 0);
  if (!AcceptedCombination(d)) ReadFail("Invalid SamplesPerPixel");
  d.ExtraSamples = es.count(tagExtraSamples) ? Values(src, es.at(tagExtraSamples), MaxSamples) : std::vector<std::uint32_t>{};
}

// Tiles are the ones of TileWidth x TileLength pixels; an image has them
// or strips, never both.
void ReadTiles(TSource& src, const TEntries& es, TDirectory& d) {
  d.Tiled = true;
  d.TileWidth = Single(src, es, tagTileWidth, 0);
  d.TileLength = Single(src, es, tagTileLength, 0);
  if (d.TileWidth == 0) ReadFailInvalid("TileWidth");
  if (d.TileLength == 0) ReadFailInvalid("TileLength");
  d.Offsets = Array(src, es, tagTileOffsets);
  d.HasByteCounts = es.count(tagTileByteCounts) != 0;
  d.ByteCounts = Array(src, es, tagTileByteCounts);
}

void ReadStrips(TSource& src, const TEntries& es, TDirectory& d) {
  if (es.count(tagTileWidth) || es.count(tagTileLength) || es.count(tagTileOffsets)) {
    ReadTiles(src, es, d);
  } else {
    d.Offsets = Array(src, es, tagStripOffsets);
    d.RowsPerStrip = Single(src, es, tagRowsPerStrip, 0);
    if (d.RowsPerStrip == 0) {
      if (d.Offsets.size() != 1) ReadFail("Invalid RowsPerStrip");
      d.RowsPerStrip = d.Length;
    }
    d.HasByteCounts = es.count(tagStripByteCounts) != 0;
    d.ByteCounts = Array(src, es, tagStripByteCounts);
  }
  d.ColorMap = Array(src, es, tagColorMap);
}

}  // namespace

TDirectory ReadDirectory(TStream& stream, int index) {
  TSource src(stream);
  std::uint32_t first = 0, chosen = 0;
  ReadHeader(src, first);
  TDirectory d;
  d.Base = src.Base;
  d.Size = src.Size;
  d.Order = src.Order;
  d.ImageCount = CountImages(src, first, index, chosen);
  if (index < 0 || index >= d.ImageCount) ReadFailInvalid("Index");
  const TEntries es = ReadEntries(src, chosen);
  Single(src, es, tagNewSubfileType, 0);
  d.Width = Single(src, es, tagImageWidth, 0);
  d.Length = Single(src, es, tagImageLength, 0);
  d.Compression = Single(src, es, tagCompression, 0);
  d.Predictor = Single(src, es, tagPredictor, 1);
  ReadSampleLayout(src, es, d);
  ReadStrips(src, es, d);
  if (const auto icc = es.find(tagIccProfile); icc != es.end()) {
    d.HasIcc = true;
    d.IccType = icc->second.Type;
    d.IccCount = icc->second.Count;
    std::memcpy(d.IccField, icc->second.Field, 4);
  }
  return d;
}

std::string ReadIccProfile(TStream& stream, const TDirectory& d, std::vector<std::uint8_t>& icc) {
  icc.clear();
  if (!d.HasIcc) return "";
  if (d.IccType != ftByte && d.IccType != ftUndefined) return "field type " + std::to_string(d.IccType);
  TSource src(stream, d.Base, d.Size, d.Order);
  if (d.IccCount <= 4) return "profile shorter than its header";
  const std::uint32_t at = d.Order.Get32(d.IccField);
  if (!src.Fits(at, d.IccCount)) return "profile runs past the end of the file";
  icc.resize(d.IccCount);
  src.ReadAt(at, icc.data(), d.IccCount);
  return "";
}

}  // namespace tiff
