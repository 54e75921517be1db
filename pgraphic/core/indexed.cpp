#include "pgraphic/core/indexed.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <unordered_set>
#include <vector>

#include "pgraphic/core/errors.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/core/optpalette.h"
#include "pgraphic/core/pixelgraphic.h"

namespace {

// The colours of an image while there are at most 256 of them, in the
// order they first occur: an open hash table four times their number.
class TColorTable {
 public:
  TColorTable() { Keys.fill(0); }
  // The index of color, added when new; -1 when it would be the 257th.
  int IndexOf(TRGB color) {
    const std::uint32_t key = color + 1;  // 0 marks a free place
    for (std::size_t at = (key * 2654435761u) >> (32 - kBits);; at = (at + 1) & (kPlaces - 1)) {
      if (Keys[at] == key) return Index[at];
      if (Keys[at] != 0) continue;
      if (Colors.size() == 256) return -1;
      Keys[at] = key;
      Index[at] = std::uint8_t(Colors.size());
      Colors.push_back(color);
      return Index[at];
    }
  }
  std::vector<TRGB> Colors;

 private:
  static constexpr int kBits = 10;
  static constexpr std::size_t kPlaces = std::size_t(1) << kBits;
  std::array<std::uint32_t, kPlaces> Keys;
  std::array<std::uint8_t, kPlaces> Index{};
};

TRGB PixelAt(const std::uint8_t* row, int x) {
  const std::uint8_t* p = row + 3 * std::size_t(x);
  return RGBColor(p[2], p[1], p[0]);
}

// Calls f(x, y, colour) for every pixel, from the top; runs of one colour
// are common in pages, so f learns of a new colour only at a change.
template <class F>
bool ForEachPixel(TPixelGraphic& source, F f) {
  for (int y = 0; y < source.Height(); ++y) {
    const std::uint8_t* row = source.ScanLine(y);
    for (int x = 0; x < source.Width(); ++x)
      if (!f(x, y, PixelAt(row, x))) return false;
  }
  return true;
}

bool CopyExactly(TPixelGraphic& target, TPixelGraphic& source) {
  TColorTable table;
  TRGB last = 0;
  int lastIndex = -1;
  const auto indexOf = [&](TRGB c) {
    if (lastIndex < 0 || c != last) last = c, lastIndex = table.IndexOf(c);
    return lastIndex;
  };
  if (!ForEachPixel(source, [&](int, int, TRGB c) { return indexOf(c) >= 0; })) return false;
  const int count = int(table.Colors.size());
  const int bits = count <= 2 ? 1 : count <= 16 ? 4 : 8;
  target.SetSizeAndFormat(source.Width(), source.Height(), PixelFormatFromBitCount(bits));
  target.SetPaletteCount(count);
  for (int i = 0; i < count; ++i) target.SetPaletteEntry(i, table.Colors[std::size_t(i)]);
  // The pixel memory starts zeroed: each index is put in with an or.
  std::uint8_t* row = nullptr;
  ForEachPixel(source, [&](int x, int y, TRGB c) {
    if (x == 0) row = target.ScanLine(y);
    const unsigned index = unsigned(indexOf(c));
    if (bits == 8)
      row[x] = std::uint8_t(index);
    else if (bits == 4)
      row[x / 2] |= std::uint8_t(x % 2 ? index : index << 4);
    else
      row[x / 8] |= std::uint8_t(index << (7 - x % 8));
    return true;
  });
  return true;
}

// The median cut builds its entries from the centres of 5-6-5 cells, so
// white comes out as (252, 254, 252): each entry moves to the mean of the
// pixels whose nearest entry it is.
void MoveEntriesToTheirMeans(TPixelGraphic& target, TPixelGraphic& source) {
  const int count = target.PaletteCount();
  std::vector<std::array<std::uint64_t, 4>> sums(std::size_t(count), {0, 0, 0, 0});
  ForEachPixel(source, [&](int, int, TRGB c) {
    std::array<std::uint64_t, 4>& sum = sums[target.ColorToIndex(c)];
    sum[0] += GetRValue(c);
    sum[1] += GetGValue(c);
    sum[2] += GetBValue(c);
    ++sum[3];
    return true;
  });
  for (int i = 0; i < count; ++i) {
    const std::array<std::uint64_t, 4>& s = sums[std::size_t(i)];
    if (s[3] == 0) continue;
    const auto mean = [&](int c) { return unsigned((s[std::size_t(c)] + s[3] / 2) / s[3]); };
    target.SetPaletteEntry(i, RGBColor(mean(0), mean(1), mean(2)));
  }
}


// Whether fits takes every colour of a 24-bit image; a run of one colour
// is offered once, as runs are common and the tables' lookups are not free.
template <class F>
bool EveryColourFits(TPixelGraphic& image, F fits) {
  TRGB last = 0;
  bool first = true;
  return ForEachPixel(image, [&](int, int, TRGB c) {
    if (!first && c == last) return true;
    first = false;
    last = c;
    return fits(c);
  });
}

}  // namespace

bool HasAtMost256Colors(TPixelGraphic& image) {
  if (image.PixelFormat() != pgpf24Bit) return true;  // a palette holds them all
  TColorTable table;
  return EveryColourFits(image, [&](TRGB c) { return table.IndexOf(c) >= 0; });
}

bool HasAtMostColors(TPixelGraphic& image, std::size_t limit) {
  if (image.PixelFormat() != pgpf24Bit) return true;
  std::unordered_set<TRGB> seen;
  return EveryColourFits(image, [&](TRGB c) {
    seen.insert(c);
    return seen.size() <= limit;
  });
}

bool MakeIndexedCopy(TPixelGraphic& target, TPixelGraphic& source, bool dither) {
  if (source.PixelFormat() != pgpf24Bit) RaisePG<EPGInvalidBitCountNum>(msgInvalidValueFor, "BitCount");
  const bool exact = CopyExactly(target, source);
  if (!exact) {
    target.SetSizeAndFormat(source.Width(), source.Height(), pgpf8Bit);
    BuildOptimizedPalette(target, source, 256, false);
    MoveEntriesToTheirMeans(target, source);
    target.Dither = dither;
    target.CopyRect(0, 0, source, 0, 0, source.Width(), source.Height());
  }
  target.ClassifyPalette();
  return exact;
}
