#include <gtest/gtest.h>

#include "pgraphic/core/logpalette.h"
#include "pgraphic/core/pixelgraphic.h"

TEST(LogPalette, OnlyPaletteImagesWithEntriesHaveOne) {
  TPixelGraphic g;
  g.SetSizeAndFormat(1, 1, pgpf24Bit);
  EXPECT_FALSE(GetPaletteHandle(g));
  g.SetSizeAndFormat(1, 1, pgpf8Bit);
  EXPECT_FALSE(GetPaletteHandle(g));
  g.SetPaletteCount(2);
  g.SetPaletteEntry(1, RGBColor(10, 20, 30));
  const std::optional<TPGLogPalette> h = GetPaletteHandle(g);
  ASSERT_TRUE(h);
  EXPECT_EQ(h->Version, 0x300);
  EXPECT_EQ(h->Entries, (std::vector<TRGB>{0, RGBColor(10, 20, 30)}));
}
