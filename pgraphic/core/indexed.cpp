#include "pgraphic/core/indexed.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <unordered_set>
#include <vector>

#include "pgraphic/core/alpha.h"
#include "pgraphic/core/errors.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/core/optpalette.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/settings.h"

namespace {

// The colours of an image while there are at most 256 of them, in the
// order they first occur: an open hash table four times their number.
class TColorTable {
 public:
  TColorTable() { Keys.fill(0); }
  // The index of color (with an alpha in its top byte, or none), added
  // when new; -1 when it would be the 257th.
  int IndexOf(TRGB color) {
    const std::uint64_t key = std::uint64_t(color) + 1;  // 0 marks a free place
    for (std::size_t at = (color * 2654435761u) >> (32 - kBits);; at = (at + 1) & (kPlaces - 1)) {
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
  std::array<std::uint64_t, kPlaces> Keys;
  std::array<std::uint8_t, kPlaces> Index{};
};

TRGB PixelAt(const std::uint8_t* row, int x) {
  const std::uint8_t* p = row + 3 * std::size_t(x);
  return RGBColor(p[2], p[1], p[0]);
}

// A pixel's colour with its alpha in the top byte; every fully
// transparent pixel is one and the same.
TRGB WithAlpha(TRGB color, std::uint8_t alpha) { return alpha == 0 ? 0 : color | (TRGB(alpha) << 24); }

// Calls f(x, y, colour) for every pixel of a 24-bit source, from the top,
// the colour WithAlpha where the source has a plane; runs of one colour are
// common in pages, so f learns of a new colour only at a change.
template <class F>
bool ForEachPixel(TPixelGraphic& source, F f) {
  const bool alpha = source.HasAlpha();
  for (int y = 0; y < source.Height(); ++y) {
    const std::uint8_t* row = source.ScanLine(y);
    const std::uint8_t* a = alpha ? source.AlphaLine(y) : nullptr;
    for (int x = 0; x < source.Width(); ++x)
      if (!f(x, y, a ? WithAlpha(PixelAt(row, x), a[x]) : PixelAt(row, x))) return false;
  }
  return true;
}

bool CopyExactly(TPixelGraphic& target, TPixelGraphic& source, std::vector<std::uint8_t>* entryAlpha) {
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
  for (int i = 0; i < count; ++i) target.SetPaletteEntry(i, table.Colors[std::size_t(i)] & 0xFFFFFF);
  if (entryAlpha && source.HasAlpha())
    for (const TRGB c : table.Colors) entryAlpha->push_back(std::uint8_t(c == 0 ? 0 : c >> 24));
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


// Too many colours with alpha for a palette: every pixel that shows
// something is laid on the page colour and the palette is made of those,
// with one more entry for the fully transparent pixels.
void CopyWithTransparentEntry(TPixelGraphic& target, TPixelGraphic& source, bool dither,
                              std::vector<std::uint8_t>& entryAlpha) {
  TPixelGraphic laid;
  PGCopyLaidOn(laid, source, PGSettings().PageColor);
  target.SetSizeAndFormat(source.Width(), source.Height(), pgpf8Bit);
  BuildOptimizedPalette(target, laid, 255, false);
  MoveEntriesToTheirMeans(target, laid);
  target.Dither = dither;
  target.CopyRect(0, 0, laid, 0, 0, laid.Width(), laid.Height());
  const int clear = target.PaletteCount();
  std::vector<TRGB> entries = target.PaletteEntries();
  target.SetPaletteCount(clear + 1);
  for (int i = 0; i < clear; ++i) target.SetPaletteEntry(i, entries[std::size_t(i)]);
  target.SetPaletteEntry(clear, PGSettings().PageColor);
  entryAlpha.assign(std::size_t(clear), 0xFF);
  entryAlpha.push_back(0);
  for (int y = 0; y < source.Height(); ++y) {
    const std::uint8_t* a = source.AlphaLine(y);
    std::uint8_t* row = target.ScanLine(y);
    for (int x = 0; x < source.Width(); ++x)
      if (a[x] == 0) row[x] = std::uint8_t(clear);
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

// A palette holds every colour of an image without a plane; one with a
// plane is counted as a 24-bit copy, its colours and alphas in pairs.
template <class F>
bool EveryColourOfAnyDepthFits(TPixelGraphic& image, F fits) {
  if (image.PixelFormat() == pgpf24Bit) return EveryColourFits(image, fits);
  if (!image.HasAlpha()) return true;
  TPixelGraphic rgba;
  PGCopyAt24Bits(rgba, image);
  return EveryColourFits(rgba, fits);
}

}  // namespace

bool HasAtMost256Colors(TPixelGraphic& image) {
  TColorTable table;
  return EveryColourOfAnyDepthFits(image, [&](TRGB c) { return table.IndexOf(c) >= 0; });
}

bool HasAtMostColors(TPixelGraphic& image, std::size_t limit) {
  std::unordered_set<TRGB> seen;
  return EveryColourOfAnyDepthFits(image, [&](TRGB c) {
    seen.insert(c);
    return seen.size() <= limit;
  });
}

bool MakeIndexedCopy(TPixelGraphic& target, TPixelGraphic& source, bool dither,
                     std::vector<std::uint8_t>* entryAlpha) {
  if (source.PixelFormat() != pgpf24Bit) RaisePG<EPGInvalidBitCountNum>(msgInvalidValueFor, "BitCount");
  if (entryAlpha) entryAlpha->clear();
  const bool exact = CopyExactly(target, source, entryAlpha);
  if (!exact && entryAlpha && source.HasAlpha()) {
    CopyWithTransparentEntry(target, source, dither, *entryAlpha);
  } else if (!exact) {
    target.SetSizeAndFormat(source.Width(), source.Height(), pgpf8Bit);
    BuildOptimizedPalette(target, source, 256, false);
    MoveEntriesToTheirMeans(target, source);
    target.Dither = dither;
    target.CopyRect(0, 0, source, 0, 0, source.Width(), source.Height());
  }
  target.ClassifyPalette();
  return exact;
}
