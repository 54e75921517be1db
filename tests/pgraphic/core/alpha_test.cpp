// The alpha plane beside the pixels in scaled copies (copies and windows
// carry it into the slices of tests/cli).

#include "pgraphic/core/alpha.h"

#include <gtest/gtest.h>

#include "pgraphic/core/pixelgraphic.h"

namespace {

// Scaled down, a transparent pixel lends its neighbour none of its colour:
// red beside transparent green is half-transparent red, not brown.
TEST(AlphaPlane, ScaledCopiesWeighColoursByTheirAlpha) {
  TPixelGraphic source, half;
  source.SetSizeAndFormat(2, 1, pgpf24Bit);
  source.AddAlpha();
  source.SetPixel(0, 0, RGBColor(255, 0, 0));
  source.SetPixel(1, 0, RGBColor(0, 255, 0));
  source.AlphaLine(0)[1] = 0;
  half.SetSizeAndFormat(1, 1, pgpf24Bit);
  half.AddAlpha();
  half.StretchMode = smPrecise;
  half.StretchCopy(0, 0, 1, 1, source, 0, 0, 2, 1);
  EXPECT_EQ(half.GetPixelColor(0, 0), RGBColor(255, 0, 0));
  EXPECT_NEAR(half.AlphaLine(0)[0], 128, 1);
}

}  // namespace
