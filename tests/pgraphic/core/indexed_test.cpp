// Indexed copies for 256-colour files: exact up to 256 colours at the
// least depth; beyond, an optimised palette whose flat areas keep their
// colour, with error diffusion when asked for.

#include <gtest/gtest.h>

#include <cstdlib>

#include "pgraphic/core/indexed.h"
#include "pgraphic/core/pixelgraphic.h"
#include "support/peer.h"

namespace {

TEST(IndexedCopy, FewColoursAreCopiedExactlyAtTheLeastDepth) {
  for (const auto& [colours, bits] : {std::pair{1, 1}, {2, 1}, {16, 4}, {17, 8}, {256, 8}}) {
    SCOPED_TRACE(colours);
    TPixelGraphic source, target;
    source.SetSizeAndFormat(37, 11, pgpf24Bit);
    for (int y = 0; y < 11; ++y)
      for (int x = 0; x < 37; ++x) {
        const unsigned k = unsigned(y * 37 + x) % unsigned(colours);
        source.SetPixel(x, y, RGBColor(k, 255 - k, (k * 37) & 255));
      }
    EXPECT_TRUE(HasAtMost256Colors(source));
    EXPECT_TRUE(MakeIndexedCopy(target, source, true));
    EXPECT_TRUE(HasAtMost256Colors(target));
    EXPECT_EQ(target.BitCount(), bits);
    EXPECT_EQ(target.PaletteCount(), colours);
    EXPECT_EQ(peer::ToRgb(target), peer::ToRgb(source));
  }
  // 256 colours and one repeated, then a 257th in its place.
  TPixelGraphic many;
  many.SetSizeAndFormat(257, 1, pgpf24Bit);
  for (int x = 0; x < 257; ++x) many.SetPixel(x, 0, RGBColor(x % 256, 0, 7));
  EXPECT_TRUE(HasAtMost256Colors(many));
  many.SetPixel(256, 0, RGBColor(1, 2, 3));
  EXPECT_FALSE(HasAtMost256Colors(many));
}

// A band of white above a ramp of 4096 colours: the palette's entries come
// from 5-6-5 cells, whose white is (252, 254, 252), and are moved to their
// pixels' means; diffused errors run down and ahead, never into the band.
TEST(IndexedCopy, ManyColoursGetAPaletteWithFlatAreasExactAndErrorsDiffused) {
  TPixelGraphic source;
  source.SetSizeAndFormat(64, 74, pgpf24Bit);
  for (int y = 0; y < 74; ++y)
    for (int x = 0; x < 64; ++x)
      source.SetPixel(x, y, y < 10 ? RGBColor(255, 255, 255) : RGBColor(x * 4, (y - 10) * 4, (x + y) * 2));
  TPixelGraphic dithered, nearest;
  EXPECT_FALSE(MakeIndexedCopy(dithered, source, true));
  EXPECT_FALSE(MakeIndexedCopy(nearest, source, false));
  for (TPixelGraphic* image : {&dithered, &nearest}) {
    EXPECT_EQ(image->BitCount(), 8);
    EXPECT_LE(image->PaletteCount(), 256);
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 64; ++x) ASSERT_EQ(image->GetPixelColor(x, y), RGBColor(255, 255, 255)) << x << "," << y;
  }
  // Diffusion keeps the mean of every 4 x 4 block of the ramp closer.
  const auto blockError = [&](TPixelGraphic& image) {
    double error = 0;
    for (int by = 10; by < 74; by += 4)
      for (int bx = 0; bx < 64; bx += 4)
        for (unsigned shift : {0u, 8u, 16u}) {
          int sum = 0;
          for (int y = by; y < by + 4; ++y)
            for (int x = bx; x < bx + 4; ++x)
              sum += int((image.GetPixelColor(x, y) >> shift) & 0xFF) - int((source.GetPixelColor(x, y) >> shift) & 0xFF);
          error += std::abs(sum) / 16.0;
        }
    return error;
  };
  EXPECT_LT(blockError(dithered), blockError(nearest) * 0.7);
}

}  // namespace
