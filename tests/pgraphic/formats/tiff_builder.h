#pragma once
// Builds small TIFF files byte by byte for reader tests, and takes apart the
// directories of written files for writer tests.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "pgraphic/core/settings.h"
#include "pgraphic/formats/tiff/tiff_detail.h"

namespace tifftest {

using Bytes = std::vector<std::uint8_t>;

// Restores the library settings a test changes.
struct TSettingsGuard {
  TPGLibrarySettings Saved = PGSettings();
  ~TSettingsGuard() { PGSettings() = Saved; }
};

// Header, then the strips, then out-of-line values, then one directory.
class TiffBuilder {
 public:
  explicit TiffBuilder(bool big = false) { Order.Big = big; }

  TiffBuilder& Tag(std::uint16_t tag, std::uint16_t type, std::vector<std::uint32_t> values) {
    Entries[tag] = {type, std::uint32_t(values.size()), std::move(values), false, 0};
    return *this;
  }
  // An entry written exactly as given, for damaged directories.
  TiffBuilder& Raw(std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t field) {
    Entries[tag] = {type, count, {}, true, field};
    return *this;
  }
  TiffBuilder& Drop(std::uint16_t tag) {
    Entries.erase(tag);
    Dropped.push_back(tag);
    return *this;
  }
  // Strip data with their StripOffsets and StripByteCounts of the given type.
  TiffBuilder& Strips(std::vector<Bytes> strips, std::uint16_t type = tiff::ftLong, bool counts = true) {
    StripData = std::move(strips);
    StripType = type;
    WithCounts = counts;
    return *this;
  }
  // Tile data instead: TileOffsets and TileByteCounts, with the tiles' size.
  TiffBuilder& Tiles(std::vector<Bytes> tiles, std::uint32_t width, std::uint32_t length) {
    Strips(std::move(tiles));
    OffsetsTag = tiff::tagTileOffsets;
    CountsTag = tiff::tagTileByteCounts;
    Tag(tiff::tagTileWidth, tiff::ftShort, {width});
    Tag(tiff::tagTileLength, tiff::ftShort, {length});
    return Drop(tiff::tagRowsPerStrip);
  }
  // The usual tags of a one-sample or multi-sample image.
  TiffBuilder& Image(std::uint32_t w, std::uint32_t h, std::uint32_t photometric,
                     std::vector<std::uint32_t> bits, std::uint32_t rowsPerStrip,
                     std::uint32_t compression = tiff::compNone) {
    Tag(tiff::tagImageWidth, tiff::ftLong, {w});
    Tag(tiff::tagImageLength, tiff::ftShort, {h});
    Tag(tiff::tagSamplesPerPixel, tiff::ftShort, {std::uint32_t(bits.size())});
    Tag(tiff::tagBitsPerSample, tiff::ftShort, bits);
    Tag(tiff::tagPhotometric, tiff::ftShort, {photometric});
    Tag(tiff::tagCompression, tiff::ftShort, {compression});
    return Tag(tiff::tagRowsPerStrip, tiff::ftLong, {rowsPerStrip});
  }

  Bytes Build() const {
    Bytes out(8, 0);
    out[0] = out[1] = Order.Big ? 'M' : 'I';
    Order.Put16(&out[2], 42);
    auto entries = Entries;
    if (!StripData.empty()) AddStrips(out, entries);
    for (std::uint16_t tag : Dropped) entries.erase(tag);
    std::map<std::uint16_t, Bytes> fields;
    for (auto& [tag, e] : entries) fields[tag] = e.IsRaw ? Field32(e.Field) : Place(out, e);
    Align(out);
    Order.Put32(&out[4], std::uint32_t(out.size()));
    Put(out, 2, std::uint32_t(entries.size()));
    for (auto& [tag, e] : entries) {
      Put(out, 2, tag);
      Put(out, 2, e.Type);
      Put(out, 4, e.Count);
      out.insert(out.end(), fields[tag].begin(), fields[tag].end());
    }
    Put(out, 4, 0);
    return out;
  }

 private:
  struct Entry {
    std::uint16_t Type;
    std::uint32_t Count;
    std::vector<std::uint32_t> Values;
    bool IsRaw;
    std::uint32_t Field;
  };

  static int SizeOf(std::uint16_t type) { return type == tiff::ftByte ? 1 : type == tiff::ftShort ? 2 : 4; }
  static void Align(Bytes& out) {
    if (out.size() % 2) out.push_back(0);
  }

  void Put(Bytes& out, int size, std::uint32_t v) const {
    std::uint8_t b[4];
    if (size == 1) b[0] = std::uint8_t(v);
    if (size == 2) Order.Put16(b, std::uint16_t(v));
    if (size == 4) Order.Put32(b, v);
    out.insert(out.end(), b, b + size);
  }

  Bytes Field32(std::uint32_t v) const {
    Bytes field;
    Put(field, 4, v);
    return field;
  }

  // The value field: values in place when they fit, else their offset.
  Bytes Place(Bytes& out, const Entry& e) const {
    Bytes data;
    for (std::uint32_t v : e.Values) Put(data, SizeOf(e.Type), v);
    if (data.size() <= 4) {
      data.resize(4, 0);
      return data;
    }
    Align(out);
    const std::uint32_t at = std::uint32_t(out.size());
    out.insert(out.end(), data.begin(), data.end());
    return Field32(at);
  }

  void AddStrips(Bytes& out, std::map<std::uint16_t, Entry>& entries) const {
    std::vector<std::uint32_t> offsets, counts;
    for (const Bytes& s : StripData) {
      Align(out);
      offsets.push_back(std::uint32_t(out.size()));
      counts.push_back(std::uint32_t(s.size()));
      out.insert(out.end(), s.begin(), s.end());
    }
    // Entries given explicitly take precedence over the generated ones.
    entries.try_emplace(OffsetsTag, Entry{StripType, std::uint32_t(offsets.size()), offsets, false, 0});
    if (WithCounts) entries.try_emplace(CountsTag, Entry{StripType, std::uint32_t(counts.size()), counts, false, 0});
  }

  tiff::TByteOrder Order;
  std::map<std::uint16_t, Entry> Entries;
  std::vector<std::uint16_t> Dropped;
  std::vector<Bytes> StripData;
  std::uint16_t StripType = tiff::ftLong;
  bool WithCounts = true;
  std::uint16_t OffsetsTag = tiff::tagStripOffsets;
  std::uint16_t CountsTag = tiff::tagStripByteCounts;
};

// One directory entry of a written file, values resolved.
struct ParsedEntry {
  std::uint16_t Type = 0;
  std::uint32_t Count = 0;
  std::uint32_t Field = 0;  // the raw value field
  std::vector<std::uint32_t> Values;
};

struct ParsedDirectory {
  std::uint32_t Offset = 0;
  std::vector<std::uint16_t> TagOrder;
  std::map<std::uint16_t, ParsedEntry> Entries;
  std::uint32_t Next = 0;
};

// Takes apart every directory of a file (RATIONAL values as pairs).
inline std::vector<ParsedDirectory> ParseDirectories(const Bytes& file) {
  tiff::TByteOrder o;
  o.Big = file.at(0) == 'M';
  std::vector<ParsedDirectory> dirs;
  for (std::uint32_t at = o.Get32(&file.at(4)); at != 0 && dirs.size() < 16;) {
    ParsedDirectory d;
    d.Offset = at;
    const std::uint16_t n = o.Get16(&file.at(at));
    for (std::uint16_t i = 0; i < n; ++i) {
      const std::uint8_t* p = &file.at(at + 2 + 12u * i);
      ParsedEntry e{o.Get16(p + 2), o.Get32(p + 4), o.Get32(p + 8), {}};
      const int size = e.Type == tiff::ftByte ? 1 : e.Type == tiff::ftShort ? 2 : 4;
      const std::uint32_t values = e.Type == tiff::ftRational ? 2 * e.Count : e.Count;
      const std::uint8_t* v = values * size <= 4 ? p + 8 : &file.at(e.Field);
      for (std::uint32_t k = 0; k < values; ++k)
        e.Values.push_back(size == 1 ? v[k] : size == 2 ? o.Get16(v + 2 * k) : o.Get32(v + 4 * k));
      d.TagOrder.push_back(o.Get16(p));
      d.Entries[o.Get16(p)] = e;
    }
    d.Next = o.Get32(&file.at(at + 2 + 12u * n));
    at = d.Next;
    dirs.push_back(d);
  }
  return dirs;
}

}  // namespace tifftest
