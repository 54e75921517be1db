// --adjust of tessel-cli: the adjustment parser and its in-place application.
#include "cli/adjust.h"

#include <gtest/gtest.h>

#include <vector>

#include "cli/cli.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/filters/filtermodel.h"

namespace {

std::vector<std::uint8_t> Memory(TPixelGraphic& g) {
  return std::vector<std::uint8_t>(g.Bits(), g.Bits() + g.ImageSize());
}

void MakeImage(TPixelGraphic& g) {
  g.SetSizeAndFormat(3, 2, pgpf24Bit);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) g.SetPixel(x, y, RGBColor(255 - 60 * x, 40 * y, 90));
}

// The same adjustment through the dialog model, as the window applies it.
template <class Dialog>
void ApplyLikeTheWindow(TPixelGraphic& image, std::array<int, 3> values) {
  Dialog dialog;
  dialog.SlidersChanged(values);
  image.ApplyFilter(dialog.Filter(), image);
}

}  // namespace

TEST(AdjustOption, AppliesTheDialogsFilterInPlace) {
  TPixelGraphic image, expect;
  MakeImage(image);
  MakeImage(expect);
  ApplyAdjustSpec(image, "rgb:10,0,-1");
  ApplyLikeTheWindow<TRGBFilterDialog>(expect, {10, 0, -1});
  EXPECT_EQ(Memory(image), Memory(expect));
  EXPECT_EQ(image.GetPixel(0, 0), RGBColor(255, 0, 88));
  EXPECT_EQ(image.GetPixel(1, 1), RGBColor(220, 40, 88));
}

TEST(AdjustOption, HlsHueInDegreesAndCmyKind) {
  TPixelGraphic image;
  image.SetSizeAndFormat(1, 1, pgpf24Bit);
  image.SetPixel(0, 0, RGBColor(255, 0, 0));
  ApplyAdjustSpec(image, "hls:+120,0,0");
  EXPECT_EQ(image.GetPixel(0, 0), RGBColor(2, 255, 0));
  ApplyAdjustSpec(image, "CMY:0,0,-100");  // no yellow left: full blue
  EXPECT_EQ(image.GetPixel(0, 0), RGBColor(2, 255, 255));
}

TEST(AdjustOption, PaletteImageKeepsItsIndices) {
  TPixelGraphic image;
  image.SetSizeAndFormat(4, 1, pgpf8Bit);
  image.SetPaletteIdent(pGray256);
  for (int x = 0; x < 4; ++x) image.SetPixel(x, 0, 50 * x);
  const std::vector<std::uint8_t> before = Memory(image);
  ApplyAdjustSpec(image, "rgb:0,0,100");
  EXPECT_EQ(Memory(image), before);
  EXPECT_EQ(image.GetPaletteEntry(50), RGBColor(50, 50, 255));
  EXPECT_EQ(image.PaletteIdent(), pUnknown);  // the window does not reclassify
}

TEST(AdjustOption, MalformedValuesAreUsageErrors) {
  TPixelGraphic image, original;
  MakeImage(image);
  MakeImage(original);
  for (const char* bad : {"", "rgb", "rgb:", "rgb:1,2", "rgb:1,2,3,4", "rgb:1,,3", "yuv:1,2,3",
                          "rgb:a,2,3", "rgb:1.5,2,3", "rgb:+-1,2,3", "rgb:101,0,0", "cmy:0,-101,0",
                          "hls:181,0,0", "hls:0,0,1000", "rgb:1 ,2,3", "rgb:99999999999,0,0"}) {
    EXPECT_THROW(ApplyAdjustSpec(image, bad), TCliUsageError) << bad;
  }
  EXPECT_EQ(Memory(image), Memory(original));
}
