#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"

namespace {

void TakeStandard(TPixelGraphic& g, TPaletteIdent ident) {
  g.SetSizeAndFormat(4, 4, pgpf8Bit);
  g.SetPaletteIdent(ident);
}

}  // namespace

TEST(PaletteStandard, TablesHoldTheDocumentedEntries) {
  EXPECT_EQ(Sys16Colors[1], RGBColor(0x80, 0, 0));
  EXPECT_EQ(Sys16Colors[12], RGBColor(0, 0, 0xFF));
  EXPECT_EQ(StandardPalette(pSysGray4),
            (std::vector<TRGB>{Grey(0), Grey(128), Grey(192), Grey(255)}));
  EXPECT_EQ(StandardPalette(pGray4), (std::vector<TRGB>{Grey(0), Grey(85), Grey(170), Grey(255)}));
  const auto g236 = StandardPalette(pGray236);
  ASSERT_EQ(g236.size(), 236u);
  EXPECT_EQ(g236[1], Grey(1));
  EXPECT_EQ(g236[117], Grey(127));  // 126.96
  EXPECT_EQ(g236[235], Grey(255));
  const auto c125 = StandardPalette(pSpecial125);
  ASSERT_EQ(c125.size(), 125u);
  EXPECT_EQ(c125[1 * 25 + 2 * 5 + 3], RGBColor(64, 128, 192));
  const auto c216 = StandardPalette(pSpecial216);
  ASSERT_EQ(c216.size(), 216u);
  EXPECT_EQ(c216[215], Grey(255));
  EXPECT_EQ(c216[1 * 36 + 4 * 6 + 2], RGBColor(51, 204, 102));
  const auto s252 = StandardPalette(pSpecial252);
  ASSERT_EQ(s252.size(), 252u);
  EXPECT_TRUE(std::equal(std::begin(Sys16Colors), std::end(Sys16Colors), s252.begin()));
  EXPECT_EQ(s252[125], Grey(0x20));
  EXPECT_EQ(s252[251], RGBColor(0xE0, 0x60, 0xC0));
  EXPECT_TRUE(StandardPalette(pUnknown).empty());
  EXPECT_TRUE(StandardPalette(pOptimized252Sys16).empty());
}

TEST(PaletteStandard, SetPaletteIdentBuildsWhatClassifyRecognises) {
  for (TPaletteIdent ident : {pBlackWhite, pSysGray4, pSys16, pGray4, pGray16, pGray236, pGray256,
                              pSpecial125, pSpecial216, pSpecial252}) {
    TPixelGraphic g;
    TakeStandard(g, ident);
    EXPECT_EQ(g.PaletteIdent(), ident);
    EXPECT_EQ(g.PaletteEntries(), StandardPalette(ident));
    g.ClassifyPalette();
    EXPECT_EQ(g.PaletteIdent(), ident);
  }
}

TEST(PaletteStandard, SetPaletteIdentSpecialValues) {
  TPixelGraphic g;
  TakeStandard(g, pSys16);
  g.SetPaletteIdent(pUnknown);  // keeps the entries
  EXPECT_EQ(g.PaletteIdent(), pUnknown);
  EXPECT_EQ(g.PaletteCount(), 16);
  g.SetPaletteIdent(pSource);  // requests build and store nothing
  g.SetPaletteIdent(pOptimized252Sys16);
  EXPECT_EQ(g.PaletteIdent(), pUnknown);
  EXPECT_EQ(g.PaletteCount(), 16);
  g.SetPaletteIdent(pNone);
  EXPECT_EQ(g.PaletteCount(), 0);
  EXPECT_EQ(g.PaletteIdent(), pNone);
  // Same count as before must still allow the entries to be written.
  g.SetPaletteIdent(pTrueColor);
  g.SetPaletteIdent(pBlackWhite);
  EXPECT_EQ(g.PaletteEntries(), StandardPalette(pBlackWhite));
}
