#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"

namespace {

void MakePaletteImage(TPixelGraphic& g, int w, int h, TPGPixelFormat format, TPaletteIdent ident) {
  g.SetSizeAndFormat(w, h, format);
  g.SetPaletteIdent(ident);
}

// Puts one colour everywhere in the serpentine order the copies use.
void DitherUniform(TPixelGraphic& g, TRGB c) {
  g.PrepareDither();
  for (int y = 0; y < g.Height(); ++y) {
    g.NextDitherRow();
    for (int i = 0; i < g.Width(); ++i) {
      const int x = (y & 1) ? g.Width() - 1 - i : i;
      g.PutDithered(x, y, int(GetRValue(c)), int(GetGValue(c)), int(GetBValue(c)));
    }
  }
  g.FreeDither();
}

// Mean palette colour of the image, per channel.
std::vector<double> MeanColor(TPixelGraphic& g) {
  std::vector<double> sum(3, 0.0);
  for (int y = 0; y < g.Height(); ++y)
    for (int x = 0; x < g.Width(); ++x) {
      const TRGB c = g.GetPixelColor(x, y);
      sum[0] += GetRValue(c), sum[1] += GetGValue(c), sum[2] += GetBValue(c);
    }
  for (double& s : sum) s /= double(g.Width()) * g.Height();
  return sum;
}

std::vector<std::uint8_t> PixelBytes(TPixelGraphic& g) {
  return {g.Bits(), g.Bits() + g.ImageSize()};
}

// A 24-bit image with a diagonal colour ramp.
void MakeRamp(TPixelGraphic& src, int w, int h) {
  src.SetSizeAndFormat(w, h, pgpf24Bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) src.SetPixel(x, y, RGBColor(x * 255 / w, y * 255 / h, (x + y) * 2));
}

void UseManualLimit(TPixelGraphic& g, int limit, bool soft) {
  g.DitherErrorLimitAuto = false;
  g.DitherErrorLimit = std::uint8_t(limit);
  g.DitherErrorLimitSoft = soft;
}

}  // namespace

TEST(DitherClamp, LimitsToByteRange) {
  EXPECT_EQ(PGClamp255(-510), 0);
  EXPECT_EQ(PGClamp255(-1), 0);
  EXPECT_EQ(PGClamp255(0), 0);
  EXPECT_EQ(PGClamp255(200), 200);
  EXPECT_EQ(PGClamp255(255), 255);
  EXPECT_EQ(PGClamp255(256), 255);
  EXPECT_EQ(PGClamp255(510), 255);
  EXPECT_EQ(PGClamp255(9999), 255);
  EXPECT_EQ(PGClamp255(-9999), 0);
}

TEST(DitherProportion, BlackWhiteFollowsGreyLevel) {
  for (int level : {32, 64, 128, 192, 224}) {
    TPixelGraphic src, dst;
    src.SetSizeAndFormat(64, 64, pgpf24Bit);
    src.BackgroundValue = Grey(level);
    src.Clear();
    MakePaletteImage(dst, 64, 64, pgpf1Bit, pBlackWhite);
    dst.CopyRect(0, 0, src, 0, 0, 64, 64);
    const double white = MeanColor(dst)[1] / 255.0;
    EXPECT_NEAR(white, level / 255.0, 0.03) << level;
  }
}

TEST(DitherProportion, ColourCubeKeepsTheMeanColour) {
  const TRGB wanted = RGBColor(100, 150, 200);
  for (TPaletteIdent ident : {pSpecial125, pSpecial216, pSpecial252}) {
    TPixelGraphic g;
    MakePaletteImage(g, 48, 48, pgpf8Bit, ident);
    DitherUniform(g, wanted);
    const auto mean = MeanColor(g);
    EXPECT_NEAR(mean[0], 100, 3) << int(ident);
    EXPECT_NEAR(mean[1], 150, 3) << int(ident);
    EXPECT_NEAR(mean[2], 200, 3) << int(ident);
  }
}

TEST(DitherProportion, GreyPaletteUsesTheGreyValue) {
  TPixelGraphic g;
  MakePaletteImage(g, 48, 48, pgpf4Bit, pGray4);
  // Weighted grey of this colour is 348, i.e. level 116.
  DitherUniform(g, RGBColor(40, 160, 90));
  EXPECT_NEAR(MeanColor(g)[1], 116, 1.5);
  const auto mean = MeanColor(g);
  EXPECT_DOUBLE_EQ(mean[0], mean[2]);
}

TEST(DitherLimit, ZeroLimitGivesNearestEntries) {
  TPixelGraphic src, dithered, plain;
  MakeRamp(src, 40, 30);
  MakePaletteImage(dithered, 40, 30, pgpf8Bit, pSpecial125);
  MakePaletteImage(plain, 40, 30, pgpf8Bit, pSpecial125);
  UseManualLimit(dithered, 0, false);
  plain.Dither = false;
  dithered.CopyRect(0, 0, src, 0, 0, 40, 30);
  plain.CopyRect(0, 0, src, 0, 0, 40, 30);
  EXPECT_EQ(PixelBytes(dithered), PixelBytes(plain));
  TPixelGraphic diffused;  // the default limit does carry error
  MakePaletteImage(diffused, 40, 30, pgpf8Bit, pSpecial125);
  diffused.CopyRect(0, 0, src, 0, 0, 40, 30);
  EXPECT_NE(PixelBytes(diffused), PixelBytes(plain));
}

// Grey 90 leaves error 90 on a black first pixel; 7/16 of it (39) reaches the
// second pixel, which turns white exactly when the table passes enough of it.
TEST(DitherLimit, TableShapesTheCarriedError) {
  struct Case {
    bool automatic;
    int limit;
    bool soft;
    std::uint32_t second;
  };
  const Case cases[] = {
      {false, 40, false, 1},  // 39 below the hard limit: 90 + 39 = 129, white
      {false, 40, true, 0},   // soft knee: 39 / 2 + 10 = 29, 119 stays black
      {false, 20, false, 0},  // cut to 20
      {true, 0, false, 1},    // black and white: limit 255, knee from 127 only
  };
  for (const Case& c : cases) {
    TPixelGraphic g;
    MakePaletteImage(g, 3, 1, pgpf1Bit, pBlackWhite);
    if (!c.automatic) UseManualLimit(g, c.limit, c.soft);
    DitherUniform(g, Grey(90));
    EXPECT_EQ(g.GetPixel(0, 0), 0u);
    EXPECT_EQ(g.GetPixel(1, 0), c.second) << c.limit << c.soft;
  }
}

TEST(DitherOrder, OddRowsRunRightToLeft) {
  TPixelGraphic even, odd;
  MakePaletteImage(even, 23, 1, pgpf8Bit, pBlackWhite);
  MakePaletteImage(odd, 23, 2, pgpf8Bit, pBlackWhite);
  DitherUniform(even, Grey(100));
  odd.PrepareDither();
  odd.NextDitherRow();  // row 0 left empty: no error reaches row 1
  odd.NextDitherRow();
  for (int x = 22; x >= 0; --x) odd.PutDithered(x, 1, 100, 100, 100);
  odd.FreeDither();
  for (int x = 0; x < 23; ++x) EXPECT_EQ(odd.GetPixel(22 - x, 1), even.GetPixel(x, 0)) << x;
}

// Three rows through a copy, with the limit table the identity: every
// pixel follows from the errors of 7, 1, 5 and 3 sixteenths carried ahead,
// ahead below, below and behind below, each taken back rounded to the
// nearest with halves away from zero. Another weight or rounding gives
// another picture.
TEST(DitherResult, ThreeRowsOfGreysGiveTheirFixedPattern) {
  const int greys[3][5] = {{40, 200, 128, 150, 200}, {64, 64, 64, 90, 64}, {200, 64, 100, 90, 128}};
  const std::uint32_t expected[3][5] = {{0, 1, 0, 1, 1}, {0, 1, 0, 0, 0}, {1, 0, 0, 1, 0}};
  TPixelGraphic src, dst;
  src.SetSizeAndFormat(5, 3, pgpf24Bit);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) src.SetPixel(x, y, Grey(std::uint32_t(greys[y][x])));
  MakePaletteImage(dst, 5, 3, pgpf1Bit, pBlackWhite);
  UseManualLimit(dst, 255, false);
  dst.CopyRect(0, 0, src, 0, 0, 5, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(dst.GetPixel(x, y), expected[y][x]) << x << "," << y;
}

TEST(DitherRobustness, UnpreparedOrOutsidePixelsAreWrittenPlainly) {
  TPixelGraphic g;
  MakePaletteImage(g, 4, 2, pgpf8Bit, pSpecial216);
  g.PutDithered(1, 1, 255, 0, 0);  // no PrepareDither
  EXPECT_EQ(g.GetPixelColor(1, 1), RGBColor(255, 0, 0));
  g.PrepareDither();
  g.NextDitherRow();
  g.PutDithered(-1, 0, 10, 10, 10);
  g.PutDithered(4, 0, 10, 10, 10);
  g.PutDithered(0, 0, 300, -20, 51);  // channels are limited first
  g.FreeDither();
  EXPECT_EQ(g.GetPixelColor(0, 0), RGBColor(255, 0, 51));
  EXPECT_EQ(g.GetPixel(1, 0), 0u);
}
