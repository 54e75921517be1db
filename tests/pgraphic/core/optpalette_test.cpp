#include "pgraphic/core/optpalette.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"

namespace {

// A 24-bit image of `count` rows, one colour per row repeated `width` times.
void MakeRows(TPixelGraphic& g, const std::vector<TRGB>& rows, int width = 3) {
  g.SetSizeAndFormat(width, int(rows.size()), pgpf24Bit);
  for (int y = 0; y < int(rows.size()); ++y)
    for (int x = 0; x < width; ++x) g.SetPixel(x, y, rows[y]);
}

// An 8-bit image with the given palette; pixel x of its one row is pixels[x].
void MakeIndexed(TPixelGraphic& g, const std::vector<TRGB>& palette,
                 const std::vector<std::uint32_t>& pixels) {
  g.SetSizeAndFormat(int(pixels.size()), 1, pgpf8Bit);
  g.SetPaletteCount(int(palette.size()));
  for (size_t i = 0; i < palette.size(); ++i) g.SetPaletteEntry(int(i), palette[i]);
  for (size_t x = 0; x < pixels.size(); ++x) g.SetPixel(int(x), 0, pixels[x]);
}

std::vector<TRGB> Sorted(std::vector<TRGB> v) {
  std::sort(v.begin(), v.end());
  return v;
}

// Cell centre of a colour on the 5-6-5 histogram.
TRGB Centre(unsigned r, unsigned g, unsigned b) {
  return RGBColor(r / 8 * 8 + 4, g / 4 * 4 + 2, b / 8 * 8 + 4);
}

const TRGB Black = Grey(0), Red = RGBColor(255, 0, 0), Blue = RGBColor(0, 0, 255);

}  // namespace

TEST(OptPaletteMedianCut, StopsWhenNoBoxCanBeSplit) {
  TPixelGraphic src, dst;
  MakeRows(src, {Black, Red, Blue});
  BuildOptimizedPalette(dst, src, 16, false);
  EXPECT_EQ(dst.PaletteEntries(),
            (std::vector<TRGB>{Centre(0, 0, 0), Centre(255, 0, 0), Centre(0, 0, 255)}));
  BuildOptimizedPalette(dst, src, 252, true);
  std::vector<TRGB> expected{Centre(0, 0, 0), Centre(255, 0, 0), Centre(0, 0, 255)};
  expected.insert(expected.end(), std::begin(Sys16Colors), std::end(Sys16Colors));
  EXPECT_EQ(dst.PaletteEntries(), expected);
}

TEST(OptPaletteMedianCut, OneBoxIsThePixelWeightedMean) {
  TPixelGraphic src, dst;
  MakeRows(src, {Black, Black, Black, Grey(255)}, 1);
  BuildOptimizedPalette(dst, src, 1, false);
  // Red: (3 * 4 + 252 + 2) div 4; green: (3 * 2 + 254 + 2) div 4.
  EXPECT_EQ(dst.PaletteEntries(), (std::vector<TRGB>{RGBColor(66, 65, 66)}));
}

// Red cell centres 4, 4 and 12 average 6.67: rounded, not cut off.
TEST(OptPaletteMedianCut, MeanIsRoundedNotTruncated) {
  TPixelGraphic src, dst;
  MakeRows(src, {Black, Black, RGBColor(8, 0, 0)}, 1);
  BuildOptimizedPalette(dst, src, 1, false);
  EXPECT_EQ(dst.PaletteEntries(), (std::vector<TRGB>{RGBColor(7, 2, 4)}));
}

TEST(OptPaletteMedianCut, CountersStopAtTheirTop) {
  TPixelGraphic src, dst;
  src.SetSizeAndFormat(512, 384, pgpf24Bit);  // 196 608 pixels
  for (int y = 0; y < 384; ++y)
    for (int x = 0; x < 512; ++x) src.SetPixel(x, y, y < 256 ? Black : Grey(255));
  BuildOptimizedPalette(dst, src, 1, false);
  // 131 072 black and 65 536 white pixels both count as 65 535.
  EXPECT_EQ(dst.PaletteEntries(), (std::vector<TRGB>{RGBColor(128, 128, 128)}));
}

// Box A spans red cells 0..10 (11 cells, volume 160^2); box B spans green
// 60..63 and blue 28..31 (16 cells, volume 36^2 + 48^2). The first cut along
// green separates them.
class OptPaletteBoxChoice : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeRows(src,
             {RGBColor(0, 0, 0), RGBColor(40, 0, 0), RGBColor(80, 0, 0), RGBColor(248, 240, 224),
              RGBColor(248, 252, 248)},
             1);
  }
  TPixelGraphic src, dst;
  const TRGB a0 = Centre(0, 0, 0), a5 = Centre(40, 0, 0), a10 = Centre(80, 0, 0);
  const TRGB b1 = Centre(248, 240, 224), b2 = Centre(248, 252, 248);
};

TEST_F(OptPaletteBoxChoice, FewBoxesLeftSplitsTheLargestVolume) {
  BuildOptimizedPalette(dst, src, 3, false);
  const TRGB aLow = RGBColor(24, 2, 4), bMean = RGBColor(252, 248, 240);
  EXPECT_EQ(Sorted(dst.PaletteEntries()), Sorted({aLow, a10, bMean}));
}

TEST_F(OptPaletteBoxChoice, ManyBoxesLeftSplitsTheMostCells) {
  BuildOptimizedPalette(dst, src, 4, false);
  const TRGB aLow = RGBColor(24, 2, 4);  // A was split after B, by volume
  EXPECT_EQ(Sorted(dst.PaletteEntries()), Sorted({aLow, a10, b1, b2}));
  BuildOptimizedPalette(dst, src, 5, false);
  EXPECT_EQ(Sorted(dst.PaletteEntries()), Sorted({a0, a5, a10, b1, b2}));
}

TEST(OptPaletteMedianCut, AbortKeepsTheRowsCountedSoFar) {
  TPixelGraphic src, dst;
  MakeRows(src, {Black, Grey(255), Grey(255)});
  std::vector<std::string> events;
  dst.OnProgressStart = [&](void*) { events.push_back("start"); };
  dst.OnProgressEnd = [&](void*) { events.push_back("end"); };
  dst.OnProgress = [&](void* sender, int step, int max, bool& abort) {
    EXPECT_EQ(sender, &dst);
    events.push_back(std::to_string(step) + "/" + std::to_string(max));
    abort = true;
  };
  BuildOptimizedPalette(dst, src, 16, false);
  EXPECT_EQ(events, (std::vector<std::string>{"start", "0/2", "end"}));
  EXPECT_EQ(dst.PaletteEntries(), (std::vector<TRGB>{Centre(0, 0, 0)}));
}

TEST(OptPaletteFallback, NothingToReduceGivesSystemColours) {
  TPixelGraphic src, dst;
  MakeRows(src, {Black, Red});
  BuildOptimizedPalette(dst, src, 16, true);  // no room left for own colours
  EXPECT_EQ(dst.PaletteIdent(), pSys16);
  EXPECT_EQ(dst.PaletteEntries(), StandardPalette(pSys16));
  BuildOptimizedPalette(dst, src, 2, true);
  EXPECT_EQ(dst.PaletteEntries(), (std::vector<TRGB>{Sys16Colors[0], Sys16Colors[1]}));
  TPixelGraphic empty, dst2;
  BuildOptimizedPalette(dst2, empty, 252, true);
  EXPECT_EQ(dst2.PaletteEntries(), StandardPalette(pSys16));
}

TEST(OptPaletteFallback, SizeIsCappedAtAColourTable) {
  TPixelGraphic src, dst;
  src.SetSizeAndFormat(64, 64, pgpf24Bit);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) src.SetPixel(x, y, RGBColor(x * 4, y * 4, (x ^ y) * 4));
  BuildOptimizedPalette(dst, src, 1000, true);
  EXPECT_EQ(dst.PaletteCount(), 256);
  EXPECT_TRUE(
      std::equal(std::begin(Sys16Colors), std::end(Sys16Colors), dst.PaletteEntries().end() - 16));
}

// ---------------------------------------------------------------- octree

TEST(OptPaletteOctree, UsedEntriesOnlyInTreeOrder) {
  TPixelGraphic src, dst;
  const TRGB green = RGBColor(0, 255, 0);
  MakeIndexed(src, {Grey(255), Black, Red, green}, {0, 1, 2, 1, 0, 9});  // 3 unused, 9 invalid
  BuildOptimizedPalette(dst, src, 16, false);
  EXPECT_EQ(dst.PaletteEntries(), (std::vector<TRGB>{Black, Red, Grey(255)}));
}

TEST(OptPaletteOctree, ReducesTheListedNodeWithTheSmallerSum) {
  // Pairs (A, B) and (E, F) share a node of level 7; the repeated A and E
  // list both nodes. G then exceeds four leaves and one pair merges: the
  // heavy B makes the dark pair's weighted sum the larger one.
  const TRGB a = RGBColor(0, 0, 0), b = RGBColor(0, 0, 1), e = RGBColor(0, 0, 254),
             f = RGBColor(0, 0, 255), g = Grey(128);
  std::vector<std::uint32_t> pixels{0, 2, 3, 4, 5, 6};
  for (int i = 0; i < 1000; ++i) pixels.push_back(1);
  TPixelGraphic src, dst;
  MakeIndexed(src, {a, b, a, e, f, e, g}, pixels);
  BuildOptimizedPalette(dst, src, 4, false);
  EXPECT_EQ(dst.PaletteEntries(), (std::vector<TRGB>{a, b, RGBColor(0, 0, 254), g}));
  // With B light the dark pair merges instead.
  pixels.resize(6);
  pixels.push_back(1);
  MakeIndexed(src, {a, b, a, e, f, e, g}, pixels);
  BuildOptimizedPalette(dst, src, 4, false);
  EXPECT_EQ(dst.PaletteEntries(), (std::vector<TRGB>{a, e, f, g}));
}

TEST(OptPaletteOctree, NeverExceedsTheWantedSize) {
  // Three colours that part at the root: no node is ever listed as reducible.
  TPixelGraphic src, dst;
  MakeIndexed(src, {Black, Red, Grey(255)}, {0, 1, 2, 2});
  BuildOptimizedPalette(dst, src, 2, false);
  ASSERT_LE(dst.PaletteCount(), 2);
  EXPECT_EQ(dst.PaletteEntries(), (std::vector<TRGB>{RGBColor(191, 127, 127)}));
}

TEST(OptPaletteOctree, AnImageMayReduceItsOwnPalette) {
  TPixelGraphic g;
  MakeIndexed(g, {Grey(255), Black, Red, Blue}, {1, 2, 3});
  BuildOptimizedPalette(g, g, 16, false);
  EXPECT_EQ(g.PaletteEntries(), (std::vector<TRGB>{Black, Blue, Red}));
}
