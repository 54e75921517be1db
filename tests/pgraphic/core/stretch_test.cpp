// Scaled copies: filter weights per axis, clipping, conversion into palette
// images and the progress protocol.

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"

namespace {

using TPixels = std::vector<std::uint32_t>;

// Fills a w x h image of the given format with values from fn(x, y).
void Fill(TPixelGraphic& g, int w, int h, TPGPixelFormat format,
          const std::function<std::uint32_t(int, int)>& fn) {
  g.SetSizeAndFormat(w, h, format);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) g.SetPixel(x, y, fn(x, y));
}

// A 24-bit image whose rows are given as red values (green and blue 0).
void RedRows(TPixelGraphic& g, const std::vector<std::vector<unsigned>>& rows) {
  const int w = int(rows[0].size());
  Fill(g, w, int(rows.size()), pgpf24Bit,
       [&](int x, int y) { return RGBColor(rows[std::size_t(y)][std::size_t(x)], 0, 0); });
}

TPixels Pixels(TPixelGraphic& g) {
  TPixels out;
  for (int y = 0; y < g.Height(); ++y)
    for (int x = 0; x < g.Width(); ++x) out.push_back(g.GetPixel(x, y));
  return out;
}

TPixels Reds(const std::vector<unsigned>& values) {
  TPixels out;
  for (unsigned v : values) out.push_back(RGBColor(v, 0, 0));
  return out;
}

// A destination of w x h, 24 bits, every pixel `background`.
void Canvas24(TPixelGraphic& g, int w, int h, TRGB background = 0x123456) {
  Fill(g, w, h, pgpf24Bit, [=](int, int) { return background; });
}

// A smooth, noisy 24-bit picture, so dithering and rounding have work to do.
void Photo(TPixelGraphic& g, int w, int h) {
  Fill(g, w, h, pgpf24Bit, [](int x, int y) {
    const unsigned n = unsigned(x * 7919 + y * 104729) % 23;
    return RGBColor((x * 13 + n) & 0xFF, (y * 11 + 2 * n) & 0xFF, (x * 5 + y * 3) & 0xFF);
  });
}

struct TEventLog {
  int Starts = 0, Ends = 0, Changes = 0;
  std::vector<std::pair<int, int>> Steps;
  void Attach(TPixelGraphic& g, int abortAtStep = -1) {
    g.OnProgressStart = [this](void*) { ++Starts; };
    g.OnProgressEnd = [this](void*) { ++Ends; };
    g.OnImageChange = [this](void*) { ++Changes; };
    g.OnProgress = [this, abortAtStep](void*, int step, int max, bool& abort) {
      Steps.emplace_back(step, max);
      abort = step == abortAtStep;
    };
  }
};

}  // namespace

// ---------------------------------------------------------------- filter weights

TEST(StretchCopyFilters, PreciseHalvingAveragesBlocksTruncatingEachStep) {
  TPixelGraphic src, dst;
  Fill(src, 4, 4, pgpf24Bit, [](int x, int y) {
    static const unsigned red[4][4] = {
        {1, 2, 10, 21}, {2, 3, 30, 41}, {0, 255, 100, 101}, {255, 0, 3, 4}};
    const unsigned r = red[y][x];
    return RGBColor(r, 255 - r, 7);
  });
  Canvas24(dst, 2, 2);
  dst.StretchCopy(0, 0, 2, 2, src, 0, 0, 4, 4);
  // Block [[1,2],[2,3]]: pair means 1 and 2, then 1 (not the overall mean 2).
  const TPixels expected = {RGBColor(1, 252, 7), RGBColor(25, 229, 7), RGBColor(127, 127, 7),
                            RGBColor(51, 202, 7)};
  EXPECT_EQ(Pixels(dst), expected);
}

TEST(StretchCopyFilters, PreciseDoublingUsesTwoTapWeights) {
  TPixelGraphic src, dst;
  RedRows(src, {{0, 80}});
  Canvas24(dst, 4, 1);
  dst.StretchCopy(0, 0, 4, 1, src, 0, 0, 2, 1);
  // 6/8 and 2/8 for the inner pixels; the last one is clamped onto the border.
  EXPECT_EQ(Pixels(dst), Reds({0, 20, 60, 80}));
}

TEST(StretchCopyFilters, EnlargingReadsBeyondTheRectangleWhenTheSourceHasIt) {
  TPixelGraphic src, dst;
  RedRows(src, {{0, 80, 200}});
  Canvas24(dst, 4, 1);
  dst.StretchCopy(0, 0, 4, 1, src, 0, 0, 2, 1);
  EXPECT_EQ(Pixels(dst), Reds({0, 20, 60, (80 * 6 + 200 * 2) / 8}));

  // On the left the positions truncate toward zero: pixel 0 of the rectangle
  // is taken alone, the pixel before the rectangle is never mixed in.
  RedRows(src, {{200, 0, 80}});
  dst.StretchCopy(0, 0, 4, 1, src, 1, 0, 2, 1);
  EXPECT_EQ(Pixels(dst), Reds({0, 20, 60, 80}));
}

TEST(StretchCopyFilters, EnlargingOnlyHorizontallyUsesIdentityRows) {
  TPixelGraphic src, dst;
  RedRows(src, {{0, 80}, {80, 0}, {8, 16}});
  Canvas24(dst, 4, 3);
  dst.StretchCopy(0, 0, 4, 3, src, 0, 0, 2, 3);
  EXPECT_EQ(Pixels(dst), Reds({0, 20, 60, 80, 80, 60, 20, 0, 8, 10, 14, 16}));
}

TEST(StretchCopyFilters, EnlargingOnlyVerticallyUsesIdentityColumns) {
  TPixelGraphic src, dst;
  RedRows(src, {{0, 8}, {80, 16}});
  Canvas24(dst, 2, 4);
  dst.StretchCopy(0, 0, 2, 4, src, 0, 0, 2, 2);
  EXPECT_EQ(Pixels(dst), Reds({0, 8, 20, 10, 60, 14, 80, 16}));
}

TEST(StretchCopyFilters, FastModeTakesPointSamples) {
  TPixelGraphic src, dst;
  RedRows(src, {{10, 11, 12, 13, 14, 15}});
  Canvas24(dst, 3, 1);
  // From srcX 1, 5 wide: positions 1 + 5p div 3 = 1, 2, 4.
  dst.StretchMode = smFast;
  dst.StretchCopy(0, 0, 3, 1, src, 1, 0, 5, 1);
  EXPECT_EQ(Pixels(dst), Reds({11, 12, 14}));

  Canvas24(dst, 7, 1);
  dst.StretchCopy(0, 0, 7, 1, src, 0, 0, 3, 1);  // 3p div 7
  EXPECT_EQ(Pixels(dst), Reds({10, 10, 10, 11, 11, 12, 12}));
}

TEST(StretchCopyFilters, FastModeSamplesRowsToo) {
  TPixelGraphic src, dst;
  RedRows(src, {{1}, {2}, {3}, {4}});
  Canvas24(dst, 2, 3);
  dst.StretchMode = smFast;
  dst.StretchCopy(0, 0, 2, 3, src, 0, 0, 1, 4);  // rows 0, 1, 2
  EXPECT_EQ(Pixels(dst), Reds({1, 1, 2, 2, 3, 3}));
}

TEST(StretchCopyFilters, AreaShrinkBeyondHalfWeighsTheInnerPixelsFully) {
  TPixelGraphic src, dst;
  RedRows(src, {{10, 20, 30, 40, 50}});
  Canvas24(dst, 2, 1);
  dst.StretchCopy(0, 0, 2, 1, src, 0, 0, 5, 1);
  // 5 -> 2: weights 2, 2, 1 and 1, 2, 2 over a divisor of 5.
  EXPECT_EQ(Pixels(dst), Reds({(10 * 2 + 20 * 2 + 30) / 5, (30 + 40 * 2 + 50 * 2) / 5}));
}

TEST(StretchCopyFilters, MediumModeEnlargesByAreaAndShrinksByTwoTap) {
  TPixelGraphic src, dst;
  RedRows(src, {{0, 81}});
  Canvas24(dst, 3, 1);
  dst.StretchMode = smMedium;
  dst.StretchCopy(0, 0, 3, 1, src, 0, 0, 2, 1);
  EXPECT_EQ(Pixels(dst), Reds({0, 40, 81}));

  RedRows(src, {{9, 50, 200}});
  Canvas24(dst, 1, 1);
  dst.StretchCopy(0, 0, 1, 1, src, 0, 0, 3, 1);  // centre falls on the middle pixel
  EXPECT_EQ(Pixels(dst), Reds({50}));

  RedRows(src, {{9, 50, 200, 1}});
  Canvas24(dst, 2, 1);
  dst.StretchCopy(0, 0, 2, 1, src, 0, 0, 4, 1);
  EXPECT_EQ(Pixels(dst), Reds({29, 100}));
}

// ---------------------------------------------------------------- clipping

TEST(StretchCopyClipping, DestinationRectanglePartlyOutsideIsClipped) {
  TPixelGraphic src, dst;
  RedRows(src, {{1, 2}, {3, 4}});
  Canvas24(dst, 3, 3, RGBColor(99, 0, 0));
  dst.StretchMode = smFast;
  dst.StretchCopy(-1, 1, 4, 4, src, 0, 0, 2, 2);
  EXPECT_EQ(Pixels(dst), Reds({99, 99, 99, 1, 2, 2, 1, 2, 2}));
}

TEST(StretchCopyClipping, SourcePositionsOutsideTheSourceLeavePixelsUnchanged) {
  TPixelGraphic src, dst;
  RedRows(src, {{5, 6}});
  Canvas24(dst, 4, 1, RGBColor(99, 0, 0));
  dst.StretchMode = smFast;
  dst.StretchCopy(0, 0, 4, 1, src, 1, 0, 2, 1);
  EXPECT_EQ(Pixels(dst), Reds({6, 6, 99, 99}));

  // Shrinking never clamps: an entry reaching past the border is skipped.
  RedRows(src, {{5, 6, 7}});
  for (TStretchMode mode : {smMedium, smPrecise}) {
    Canvas24(dst, 2, 1, RGBColor(99, 0, 0));
    dst.StretchMode = mode;
    dst.StretchCopy(0, 0, 2, 1, src, 0, 0, 4, 1);
    EXPECT_EQ(Pixels(dst), Reds({5, 99})) << "mode " << int(mode);
  }
}

TEST(StretchCopyClipping, HugeSizesDoNotWrapIntoTheImage) {
  TPixelGraphic src, dst;
  RedRows(src, {{5, 6, 7, 8}});
  Canvas24(dst, 4, 1, RGBColor(99, 0, 0));
  dst.StretchMode = smFast;
  // srcWidth x p exceeds 32 bits for p >= 1 (wrapped, p = 2 would land on
  // pixel 0); only p = 0 lies in the source.
  dst.StretchCopy(0, 0, 4, 1, src, 0, 0, INT_MAX, 1);
  EXPECT_EQ(Pixels(dst), Reds({5, 99, 99, 99}));

  Canvas24(dst, 4, 1, RGBColor(99, 0, 0));
  dst.StretchCopy(INT_MAX - 1, 0, 8, 1, src, 0, 0, 4, 1);
  dst.StretchCopy(0, INT_MAX - 1, 8, 8, src, 0, 0, 4, 1);
  EXPECT_EQ(Pixels(dst), Reds({99, 99, 99, 99}));
}

TEST(StretchCopyClipping, EmptyOrNegativeRectanglesChangeNothing) {
  TPixelGraphic src, dst;
  RedRows(src, {{5, 6}, {7, 8}});
  Canvas24(dst, 3, 3, RGBColor(99, 0, 0));
  const TPixels before = Pixels(dst);
  TEventLog log;
  log.Attach(dst);
  for (TStretchMode mode : {smFast, smMedium, smPrecise}) {
    dst.StretchMode = mode;
    dst.StretchCopy(0, 0, 3, 3, src, 0, 0, 0, 2);
    dst.StretchCopy(0, 0, 3, 3, src, 0, 0, 2, -2);
    dst.StretchCopy(0, 0, -3, 3, src, 0, 0, 2, 2);
  }
  EXPECT_EQ(Pixels(dst), before);
  EXPECT_EQ(log.Changes, 9);
  EXPECT_EQ(log.Starts, 0);
}

TEST(StretchCopyClipping, ImagesWithoutWidthStopWithoutEvent) {
  TPixelGraphic src, dst;
  RedRows(src, {{5, 6}});
  TEventLog log;
  log.Attach(dst);
  dst.StretchCopy(0, 0, 4, 4, src, 0, 0, 2, 1);
  EXPECT_EQ(log.Changes, 0);
  TPixelGraphic empty;
  Canvas24(dst, 2, 2);
  log.Changes = 0;
  dst.StretchCopy(0, 0, 4, 4, empty, 0, 0, 2, 1);
  EXPECT_EQ(log.Changes, 0);
  EXPECT_EQ(log.Starts, 0);
}

// ---------------------------------------------------------------- equal sizes

TEST(StretchCopyEqualSizes, MatchesCopyRectForEveryDepth) {
  TPixelGraphic src;
  Photo(src, 9, 7);
  for (TPGPixelFormat format : {pgpf1Bit, pgpf4Bit, pgpf8Bit, pgpf24Bit}) {
    TPixelGraphic viaStretch, viaCopy;
    for (TPixelGraphic* g : {&viaStretch, &viaCopy}) {
      g->SetSizeAndFormat(8, 8, format);
      if (format != pgpf24Bit) g->SetPaletteIdent(format == pgpf1Bit ? pBlackWhite : pSys16);
    }
    viaStretch.StretchCopy(-1, 2, 6, 5, src, 2, 1, 6, 5);
    viaCopy.CopyRect(-1, 2, src, 2, 1, 6, 5);
    EXPECT_EQ(Pixels(viaStretch), Pixels(viaCopy)) << "bits " << viaCopy.BitCount();
  }
}

TEST(StretchCopyEqualSizes, KeepsTheProgressOfCopyRect) {
  TPixelGraphic src, dst;
  Photo(src, 5, 4);
  Canvas24(dst, 5, 4);
  TEventLog log;
  log.Attach(dst);
  dst.StretchCopy(0, 0, 5, 4, src, 0, 0, 5, 4);
  EXPECT_TRUE(log.Steps.empty());  // 24 -> 24 moves rows without per-row progress
  EXPECT_EQ(log.Changes, 1);
  EXPECT_EQ(Pixels(dst), Pixels(src));
}

TEST(StretchCopyEqualSizes, CopyFromScalesTheWholeSource) {
  TPixelGraphic src, dst;
  RedRows(src, {{1, 2}, {3, 4}});
  Canvas24(dst, 4, 4);
  dst.StretchMode = smFast;
  dst.CopyFrom(src);
  EXPECT_EQ(Pixels(dst), Reds({1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4}));
  Canvas24(dst, 2, 2);
  dst.CopyFrom(src);
  EXPECT_EQ(Pixels(dst), Pixels(src));
}

// ---------------------------------------------------------------- palette images

TEST(StretchCopyPalette, UnditheredDestinationTakesTheNearestEntry) {
  TPixelGraphic src, dst;
  Fill(src, 4, 2, pgpf24Bit, [](int x, int y) { return Grey(unsigned(x * 60 + y * 31)); });
  dst.SetSizeAndFormat(2, 1, pgpf8Bit);
  dst.SetPaletteIdent(pGray256);
  dst.SetRGBWeighting(false);
  dst.Dither = false;
  dst.StretchCopy(0, 0, 2, 1, src, 0, 0, 4, 2);
  // Means of the 2 x 2 blocks: (0+60)/2=30, (31+91)/2=61 -> 45; 150, 181 -> 165.
  EXPECT_EQ(Pixels(dst), (TPixels{45, 165}));
}

TEST(StretchCopyPalette, DitheredDestinationMatchesScalingThenConverting) {
  TPixelGraphic src, scaled;
  Photo(src, 23, 17);
  for (TPaletteIdent ident : {pBlackWhite, pSys16, pSpecial252}) {
    const TPGPixelFormat format = ident == pBlackWhite ? pgpf1Bit
                                  : ident == pSys16    ? pgpf4Bit
                                                       : pgpf8Bit;
    TPixelGraphic direct, twoStep;
    for (TPixelGraphic* g : {&direct, &twoStep}) {
      g->SetSizeAndFormat(31, 12, format);
      g->SetPaletteIdent(ident);
    }
    Canvas24(scaled, 31, 12);
    scaled.StretchCopy(0, 0, 31, 12, src, 0, 0, 23, 17);
    direct.StretchCopy(0, 0, 31, 12, src, 0, 0, 23, 17);
    twoStep.CopyRect(0, 0, scaled, 0, 0, 31, 12);
    EXPECT_EQ(Pixels(direct), Pixels(twoStep)) << "palette " << int(ident);
  }
}

TEST(StretchCopyPalette, PaletteSourceIsReadThroughItsColours) {
  TPixelGraphic src, asRgb, fromPalette, fromRgb;
  Fill(src, 6, 5, pgpf4Bit, [](int x, int y) { return std::uint32_t((x * 3 + y * 5) % 16); });
  src.SetPaletteIdent(pSys16);
  Canvas24(asRgb, 6, 5);
  asRgb.CopyRect(0, 0, src, 0, 0, 6, 5);
  for (TStretchMode mode : {smFast, smMedium, smPrecise}) {
    Canvas24(fromPalette, 9, 3);
    Canvas24(fromRgb, 9, 3);
    fromPalette.StretchMode = fromRgb.StretchMode = mode;
    fromPalette.StretchCopy(0, 0, 9, 3, src, 0, 0, 6, 5);
    fromRgb.StretchCopy(0, 0, 9, 3, asRgb, 0, 0, 6, 5);
    EXPECT_EQ(Pixels(fromPalette), Pixels(fromRgb)) << "mode " << int(mode);
  }
}

// ---------------------------------------------------------------- progress

TEST(StretchCopyProgress, ReportsEveryClippedRow) {
  TPixelGraphic src, dst;
  Photo(src, 4, 4);
  Canvas24(dst, 5, 5);
  TEventLog log;
  log.Attach(dst);
  dst.StretchCopy(0, 2, 8, 8, src, 0, 0, 4, 4);
  const std::vector<std::pair<int, int>> expected = {{0, 2}, {1, 2}, {2, 2}};
  EXPECT_EQ(log.Steps, expected);
  EXPECT_EQ(log.Starts, 1);
  EXPECT_EQ(log.Ends, 1);
  EXPECT_EQ(log.Changes, 1);
}

TEST(StretchCopyProgress, AbortStopsAfterTheCurrentRow) {
  TPixelGraphic src, dst;
  RedRows(src, {{1, 2}, {3, 4}});
  Canvas24(dst, 4, 4, RGBColor(99, 0, 0));
  TEventLog log;
  log.Attach(dst, 0);
  dst.StretchMode = smFast;
  dst.StretchCopy(0, 0, 4, 4, src, 0, 0, 2, 2);
  EXPECT_EQ(Pixels(dst), Reds({1, 1, 2, 2, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99}));
  EXPECT_EQ(log.Steps.size(), 1u);
  EXPECT_EQ(log.Ends, 1);
  EXPECT_EQ(log.Changes, 1);
}
