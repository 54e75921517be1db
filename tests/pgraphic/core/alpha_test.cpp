// The alpha plane beside the pixels: carried by copies, windows and scaled
// copies, and laid on a page colour where it cannot be kept.

#include "pgraphic/core/alpha.h"

#include <gtest/gtest.h>

#include <functional>

#include "pgraphic/core/indexed.h"
#include "pgraphic/core/pixelgraphic.h"

namespace {

// A 4 x 3 image whose pixel (x, y) is (40x, 60y, 9) under alpha 20x + 70y.
void Fill(TPixelGraphic& image) {
  image.SetSizeAndFormat(4, 3, pgpf24Bit);
  image.AddAlpha();
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) {
      image.SetPixel(x, y, RGBColor(40 * x, 60 * y, 9));
      image.AlphaLine(y)[x] = std::uint8_t(20 * x + 70 * y);
    }
}

TEST(AlphaPlane, CopiesAndWindowsCarryIt) {
  struct TCase {
    const char* Name;
    std::function<void(TPixelGraphic& source, TPixelGraphic& result)> Make;
    int Left, Top;  // where the result's (0, 0) lies in the source
    bool Plane;
  };
  const TCase cases[] = {
      {"assigned", [](TPixelGraphic& s, TPixelGraphic& r) { r.Assign(&s); }, 0, 0, true},
      {"window", [](TPixelGraphic& s, TPixelGraphic& r) { r.ShowRowsOf(s, 1, 1, 3, 2); }, 1, 1, true},
      {"cut into a plane",
       [](TPixelGraphic& s, TPixelGraphic& r) {
         r.SetSizeAndFormat(2, 2, pgpf24Bit);
         r.AddAlpha();
         r.CopyRect(0, 0, s, 2, 1, 2, 2);
       },
       2, 1, true},
      {"cut without one",
       [](TPixelGraphic& s, TPixelGraphic& r) {
         r.SetSizeAndFormat(2, 2, pgpf24Bit);
         r.CopyRect(0, 0, s, 2, 1, 2, 2);
       },
       2, 1, false},
      {"resized", [](TPixelGraphic& s, TPixelGraphic& r) {
         r.Assign(&s);
         r.SetSizeAndFormat(4, 3, pgpf8Bit);
       }, 0, 0, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TPixelGraphic source, result;
    Fill(source);
    c.Make(source, result);
    ASSERT_EQ(result.HasAlpha(), c.Plane);
    if (!c.Plane) continue;
    for (int y = 0; y < result.Height(); ++y)
      for (int x = 0; x < result.Width(); ++x)
        EXPECT_EQ(result.AlphaLine(y)[x], source.AlphaLine(y + c.Top)[x + c.Left]) << x << "," << y;
  }
  // Pixels from a source without a plane are opaque.
  TPixelGraphic opaque, into;
  opaque.SetSizeAndFormat(2, 2, pgpf24Bit);
  Fill(into);
  into.CopyRect(0, 0, opaque, 0, 0, 2, 2);
  EXPECT_EQ(into.AlphaLine(1)[1], 255);
  EXPECT_EQ(into.AlphaLine(2)[3], std::uint8_t(20 * 3 + 70 * 2));
}

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

TEST(AlphaPlane, LaidOnThePageColour) {
  struct TCase {
    const char* Name;
    bool GreySource;
    TRGB Page;
    TPGPixelFormat Depth;
  };
  const TCase cases[] = {{"colour on a colour", false, RGBColor(0, 128, 255), pgpf24Bit},
                         {"greys on grey stay grey", true, Grey(200), pgpf8Bit},
                         {"greys on a colour", true, RGBColor(0, 128, 255), pgpf24Bit}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TPixelGraphic source, laid;
    Fill(source);
    if (c.GreySource) {
      TPixelGraphic grey;
      grey.SetSizeAndFormat(4, 3, pgpf8Bit);
      grey.SetPaletteIdent(pGray256);
      grey.AddAlpha();
      grey.CopyRect(0, 0, source, 0, 0, 4, 3);
      source.Assign(&grey);
    }
    PGCopyLaidOn(laid, source, c.Page);
    EXPECT_FALSE(laid.HasAlpha());
    EXPECT_EQ(laid.PixelFormat(), c.Depth);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 4; ++x)
        EXPECT_EQ(laid.GetPixelColor(x, y), PGLaidOn(source.GetPixelColor(x, y), source.AlphaLine(y)[x], c.Page));
  }
  EXPECT_EQ(PGLaidOn(RGBColor(255, 0, 0), 0, RGBColor(1, 2, 3)), RGBColor(1, 2, 3));
  EXPECT_EQ(PGLaidOn(RGBColor(255, 0, 0), 255, RGBColor(1, 2, 3)), RGBColor(255, 0, 0));
}

// Two colours under 255 alphas are 510 colours for a palette.
TEST(AlphaPlane, PalettesCountColourAndAlphaPairs) {
  TPixelGraphic image;
  image.SetSizeAndFormat(300, 1, pgpf24Bit);
  EXPECT_TRUE(HasAtMost256Colors(image));
  image.AddAlpha();
  for (int x = 0; x < 300; ++x) {
    image.SetPixel(x, 0, RGBColor(0, 0, x % 2));
    image.AlphaLine(0)[x] = std::uint8_t(1 + x % 255);
  }
  EXPECT_FALSE(HasAtMost256Colors(image));
  EXPECT_FALSE(PGAlphaIsOpaque(image));
}

}  // namespace
