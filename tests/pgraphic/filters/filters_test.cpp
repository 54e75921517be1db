#include "pgraphic/filters/filters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "pgraphic/core/errors.h"
#include "pgraphic/core/pixelgraphic.h"

namespace {

// Every 5th value of each channel, ends included: 52^3 colours.
std::vector<TRGB> ColourGrid() {
  std::vector<TRGB> colours;
  for (unsigned r = 0; r < 256; r += 5)
    for (unsigned g = 0; g < 256; g += 5)
      for (unsigned b = 0; b < 256; b += 5) colours.push_back(RGBColor(r, g, b));
  return colours;
}

std::vector<TRGB> Filtered(TPGFilter& filter, const std::vector<TRGB>& colours) {
  std::vector<TRGB> out;
  for (TRGB c : colours) out.push_back(filter.FilterColor(c));
  return out;
}

void ShiftTable(TPGFilterTable& table, int by) {
  for (int i = 0; i < 256; ++i) table[i] = static_cast<std::uint8_t>(std::clamp(i + by, 0, 255));
}

}  // namespace

TEST(FilterBase, PlainFilterMapsNothingAndTracksItsSource) {
  TPGFilter filter;
  EXPECT_FALSE(filter.IsColorMapping());
  EXPECT_EQ(filter.FilterColor(0x123456u), 0x123456u);
  TPixelGraphic image;
  image.SetSizeAndFormat(1, 1, pgpf24Bit);
  image.SetPixel(0, 0, 0xFFFFFFu);
  filter.BeginFilter(image);
  EXPECT_EQ(filter.Source(), &image);
  EXPECT_EQ(filter.FilterPixel(0, 0), 0u);
  filter.EndFilter();
  EXPECT_EQ(filter.Source(), nullptr);
}

TEST(FilterBase, TableFilterReadsTheSourcePixelColour) {
  TPixelGraphic image;
  image.SetSizeAndFormat(2, 1, pgpf8Bit);
  image.SetPaletteCount(2);
  image.SetPaletteEntry(1, RGBColor(10, 20, 30));
  image.SetPixel(1, 0, 1);
  TRGBFilter filter;
  ShiftTable(filter.Tables[2], 5);
  TPGFilterPass pass(filter, image);
  EXPECT_EQ(filter.FilterPixel(1, 0), RGBColor(10, 20, 35));
  EXPECT_EQ(filter.FilterPixel(0, 0), RGBColor(0, 0, 5));
}

TEST(TableFilters, IdentityTablesReturnEveryColourUnchanged) {
  const std::vector<TRGB> colours = ColourGrid();
  TRGBFilter rgb;
  TCMYFilter cmy;
  THLSFilter hls;
  EXPECT_TRUE(hls.IsColorMapping());
  EXPECT_EQ(Filtered(rgb, colours), colours);
  EXPECT_EQ(Filtered(cmy, colours), colours);
  EXPECT_EQ(Filtered(hls, colours), colours);
}

TEST(TableFilters, RgbTablesActOnTheirOwnChannelOnly) {
  TRGBFilter filter;
  ShiftTable(filter.Tables[0], 255);
  EXPECT_EQ(filter.FilterColor(RGBColor(0, 7, 200)), RGBColor(255, 7, 200));
  EXPECT_EQ(filter.FilterColor(RGBColor(128, 255, 0)), RGBColor(255, 255, 0));
  ShiftTable(filter.Tables[1], -30);
  EXPECT_EQ(filter.FilterColor(RGBColor(1, 20, 2)), RGBColor(255, 0, 2));
}

TEST(TableFilters, RaisedCyanTableDarkensRed) {
  TCMYFilter filter;
  ShiftTable(filter.Tables[0], 26);
  EXPECT_EQ(filter.FilterColor(RGBColor(255, 0, 0)), RGBColor(229, 0, 0));
  EXPECT_EQ(filter.FilterColor(RGBColor(100, 50, 60)), RGBColor(74, 50, 60));
  EXPECT_EQ(filter.FilterColor(RGBColor(20, 50, 60)), RGBColor(0, 50, 60));
  ShiftTable(filter.Tables[2], -26);  // less yellow: more blue
  EXPECT_EQ(filter.FilterColor(RGBColor(0, 0, 240)), RGBColor(0, 0, 255));
}

TEST(HlsFilter, HueShiftOf85StepsTurnsRedAlmostIntoGreen) {
  THLSFilter filter;
  for (int i = 0; i < 256; ++i) filter.Tables[0][i] = static_cast<std::uint8_t>((i + 85) % 256);
  EXPECT_EQ(filter.FilterColor(RGBColor(255, 0, 0)), RGBColor(2, 255, 0));
  // Green moves on by the same 119.53 degrees, close to blue.
  EXPECT_EQ(filter.FilterColor(RGBColor(0, 255, 0)), RGBColor(0, 2, 255));
}

TEST(HlsFilter, GreysKeepNoHueWhateverTheHueAndSaturationTables) {
  THLSFilter filter;
  for (int i = 0; i < 256; ++i) filter.Tables[0][i] = static_cast<std::uint8_t>((i + 40) % 256);
  ShiftTable(filter.Tables[2], 200);
  for (unsigned v : {0u, 1u, 77u, 128u, 200u, 255u}) {
    EXPECT_EQ(filter.FilterColor(Grey(v)), Grey(v)) << v;
  }
}

TEST(HlsFilter, LightnessAndSaturationTablesAreInterpolated) {
  THLSFilter filter;
  filter.Tables[1].fill(0);  // everything black
  EXPECT_EQ(filter.FilterColor(RGBColor(10, 200, 90)), 0u);
  filter.Tables[1].fill(255);
  EXPECT_EQ(filter.FilterColor(RGBColor(10, 200, 90)), 0xFFFFFFu);
  THLSFilter desaturate;
  desaturate.Tables[2].fill(0);
  // L of (200, 100, 0) is 0.3921...; S' = 0 leaves a grey of that lightness.
  EXPECT_EQ(desaturate.FilterColor(RGBColor(200, 100, 0)), Grey(100));
}

TEST(HlsConversion, PrimariesAndGreys) {
  THLSColor red = RGBToHLS(1, 0, 0);
  EXPECT_EQ(red.H, 0);
  EXPECT_EQ(red.L, 0.5L);
  EXPECT_EQ(red.S, 1);
  EXPECT_EQ(RGBToHLS(0, 1, 0).H, 120);
  EXPECT_EQ(RGBToHLS(0, 0, 1).H, 240);
  EXPECT_EQ(RGBToHLS(1, 0, 1).H, 300);  // negative hue wraps up
  const THLSColor light = RGBToHLS(1, 0.5L, 0.5L);
  EXPECT_EQ(light.L, 0.75L);
  EXPECT_EQ(light.S, 1);  // 0.5 / (2 - 1.5)
  const THLSColor grey = RGBToHLS(0.25L, 0.25L, 0.25L);
  EXPECT_EQ(grey.H, HLSUndefinedHue);
  EXPECT_EQ(grey.S, 0);
}

TEST(HlsConversion, BackToRgb) {
  long double r, g, b;
  HLSToRGB({240, 0.5L, 1}, r, g, b);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(g, 0);
  EXPECT_EQ(b, 1);
  HLSToRGB({HLSUndefinedHue, 0.3L, 0}, r, g, b);
  EXPECT_EQ(r, 0.3L);
  EXPECT_EQ(b, 0.3L);
}

TEST(HlsConversion, ZeroSaturationWithAHueRaises) {
  long double r, g, b;
  try {
    HLSToRGB({90, 0.5L, 0}, r, g, b);
    FAIL() << "no exception";
  } catch (const EPGSaturationHue& e) {
    EXPECT_STREQ(e.what(), "Saturation=0 and Hue defined");
  }
}

TEST(HlsTables, HueTableIsACircle) {
  TPGFilterTable identity;
  for (int i = 0; i < 256; ++i) identity[i] = static_cast<std::uint8_t>(i);
  // 179 degrees lies between entries 255 and 0; the result must not jump back.
  for (long double h : {0.0L, 90.0L, 179.0L, 179.9L, 180.0L, 359.5L}) {
    EXPECT_NEAR(static_cast<double>(MapHue(identity, h)), static_cast<double>(h), 1e-9) << h;
  }
  TPGFilterTable reversed;  // runs downward, from 0 at entry 255 to 255 at entry 0
  for (int i = 0; i < 256; ++i) reversed[i] = static_cast<std::uint8_t>(255 - i);
  // Halfway between entries 255 (0) and 0 (255) is -0.5 steps, not 127.5.
  EXPECT_NEAR(static_cast<double>(MapHue(reversed, 179.296875L)), 179.296875, 1e-9);
  TPGFilterTable wrapped;
  for (int i = 0; i < 256; ++i) wrapped[i] = static_cast<std::uint8_t>((i + 128) % 256);
  // Entry 127 holds 255, entry 128 holds 0: halfway is 255.5 steps, 179.296875 deg.
  EXPECT_NEAR(static_cast<double>(MapHue(wrapped, 359.296875L)), 179.296875, 1e-9);
}

TEST(HlsTables, UnitTableInterpolatesAndHoldsTheTopEntry) {
  TPGFilterTable table;
  for (int i = 0; i < 256; ++i) table[i] = static_cast<std::uint8_t>(i / 2);
  EXPECT_EQ(MapUnit(table, 0), 0);
  EXPECT_NEAR(static_cast<double>(MapUnit(table, 3.5L / 255)), 1.5 / 255, 1e-12);
  EXPECT_EQ(MapUnit(table, 1), 127 / 255.0L);
}

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(RoundHalfEven(0.5L), 0);
  EXPECT_EQ(RoundHalfEven(1.5L), 2);
  EXPECT_EQ(RoundHalfEven(2.5L), 2);
  EXPECT_EQ(RoundHalfEven(2.5000001L), 3);
  EXPECT_EQ(RoundHalfEven(-1.5L), -2);
  EXPECT_EQ(UnitToByte(0.5L), 128);  // 127.5 -> 128
  EXPECT_EQ(UnitToByte(-0.1L), 0);
  EXPECT_EQ(UnitToByte(1.2L), 255);
  EXPECT_EQ(UnitToByte(std::nanl("")), 0);
}
