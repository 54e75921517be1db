#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "pgraphic/core/colormatch.h"
#include "pgraphic/core/palette252.h"
#include "pgraphic/core/pixelgraphic.h"

namespace {

int Dist(TRGB a, TRGB b) {
  auto sq = [](int v) { return v * v; };
  return sq(int(GetRValue(a)) - int(GetRValue(b))) + sq(int(GetGValue(a)) - int(GetGValue(b))) +
         sq(int(GetBValue(a)) - int(GetBValue(b)));
}

// Lowest index at the smallest distance, the plain reading of "nearest".
std::uint32_t BruteNearest(const std::vector<TRGB>& palette, TRGB c) {
  std::uint32_t best = 0;
  for (std::uint32_t i = 1; i < palette.size(); ++i)
    if (Dist(c, palette[i]) < Dist(c, palette[best])) best = i;
  return best;
}

struct PaletteImage : TPixelGraphic {
  explicit PaletteImage(TPaletteIdent ident, bool weighting = true) {
    SetSizeAndFormat(4, 4, pgpf8Bit);
    SetRGBWeighting(weighting);
    SetPaletteIdent(ident);
  }
  explicit PaletteImage(const std::vector<TRGB>& entries, bool cache = true) {
    SetSizeAndFormat(4, 4, pgpf8Bit);
    SetUseColorCache(cache);
    SetPaletteCount(int(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) SetPaletteEntry(int(i), entries[i]);
  }
};

}  // namespace

TEST(PaletteStandard, GreyValueWeightsAndPlainSum) {
  TPixelGraphic g;
  EXPECT_EQ(g.GreyValue(RGBColor(255, 0, 0)), 228);
  EXPECT_EQ(g.GreyValue(RGBColor(0, 255, 0)), 449);
  EXPECT_EQ(g.GreyValue(RGBColor(0, 0, 255)), 87);
  EXPECT_EQ(g.GreyValue(Grey(100)), 300);
  g.SetRGBWeighting(false);
  EXPECT_EQ(g.GreyValue(RGBColor(255, 0, 0)), 255);
  EXPECT_EQ(g.GreyValue(RGBColor(0, 0, 255)), 255);
  EXPECT_EQ(g.GreyValue(RGBColor(1, 2, 3)), 6);
}

TEST(PaletteMatch, NoPaletteRaisesEveryTime) {
  PaletteImage g(pNone);
  EXPECT_THROW(g.ColorToIndex(0), EPGNoPalette);
  EXPECT_THROW(g.ColorToIndex(0), EPGNoPalette);  // the memo holds no result
  TPixelGraphic rgb;
  EXPECT_EQ(rgb.ColorToIndex(0x123456), 0x123456u);
}

TEST(PaletteMatch, GreyKindBoundaries) {
  PaletteImage bw(pBlackWhite, false);
  EXPECT_EQ(bw.ColorToIndex(RGBColor(127, 127, 128)), 0u);  // sum 382
  EXPECT_EQ(bw.ColorToIndex(RGBColor(127, 128, 128)), 1u);  // sum 383
  PaletteImage sg(pSysGray4, false);
  const std::pair<int, unsigned> sysGray[] = {{192, 0}, {193, 1}, {480, 1},
                                              {481, 2}, {670, 2}, {671, 3}};
  for (auto [sum, index] : sysGray)
    EXPECT_EQ(sg.ColorToIndex(RGBColor(std::min(sum, 255), std::clamp(sum - 255, 0, 255),
                                       std::max(sum - 510, 0))),
              index)
        << sum;
  PaletteImage g4(pGray4, false);
  EXPECT_EQ(g4.ColorToIndex(RGBColor(127, 0, 0)), 0u);
  EXPECT_EQ(g4.ColorToIndex(RGBColor(128, 0, 0)), 1u);
  PaletteImage g16(pGray16, false);
  EXPECT_EQ(g16.ColorToIndex(RGBColor(25, 0, 0)), 0u);
  EXPECT_EQ(g16.ColorToIndex(RGBColor(26, 0, 0)), 1u);
  PaletteImage g256(pGray256);
  EXPECT_EQ(g256.ColorToIndex(Grey(77)), 77u);
  EXPECT_EQ(g256.ColorToIndex(RGBColor(0, 0, 255)), 29u);  // grey value 87
}

// A grey value of 3k + 2 lies nearer to level k + 1 than to k.

TEST(PaletteMatch, Gray256RoundsTheGreyValue) {
  PaletteImage plain(pGray256, false);
  EXPECT_EQ(plain.ColorToIndex(RGBColor(2, 0, 0)), 1u);
  EXPECT_EQ(plain.ColorToIndex(RGBColor(1, 0, 0)), 0u);
  EXPECT_EQ(plain.ColorToIndex(RGBColor(100, 100, 99)), 100u);  // 299
  PaletteImage weighted(pGray256);
  EXPECT_EQ(weighted.ColorToIndex(RGBColor(1, 1, 0)), 1u);  // grey value 2
}

TEST(PaletteMatch, Gray236PicksNearestLevelLowerOnDraw) {
  PaletteImage g(pGray236, false);
  const auto levels = StandardPalette(pGray236);
  for (int sum = 0; sum <= 765; ++sum) {
    unsigned expected = 0;
    for (unsigned i = 1; i < 236; ++i)
      if (std::abs(3 * int(GetRValue(levels[i])) - sum) <
          std::abs(3 * int(GetRValue(levels[expected])) - sum))
        expected = i;
    const TRGB c =
        RGBColor(std::min(sum, 255), std::clamp(sum - 255, 0, 255), std::max(sum - 510, 0));
    ASSERT_EQ(g.ColorToIndex(c), expected) << sum;
  }
}

TEST(PaletteMatch, CubeLevels) {
  PaletteImage c125(pSpecial125);
  EXPECT_EQ(c125.ColorToIndex(RGBColor(224, 0, 0)), 100u);  // 224 counts as 225: level 4
  EXPECT_EQ(c125.ColorToIndex(RGBColor(223, 0, 0)), 75u);
  EXPECT_EQ(c125.ColorToIndex(RGBColor(0, 33, 32)), 5u);
  EXPECT_EQ(c125.ColorToIndex(Grey(255)), 124u);
  PaletteImage c216(pSpecial216);
  EXPECT_EQ(c216.ColorToIndex(RGBColor(0, 0, 26)), 0u);
  EXPECT_EQ(c216.ColorToIndex(RGBColor(0, 0, 27)), 1u);
  EXPECT_EQ(c216.ColorToIndex(RGBColor(27, 78, 0)), 36u + 12u);
}

TEST(PaletteMatch, Sys16FollowsItsCandidateTable) {
  PaletteImage g(pSys16);
  for (unsigned i = 0; i < 16; ++i) EXPECT_EQ(g.ColorToIndex(Sys16Colors[i]), i);
  // Purple (5) and grey (8) are equally near; the cell only offers grey.
  EXPECT_EQ(g.ColorToIndex(RGBColor(128, 64, 192)), 8u);
  EXPECT_EQ(BruteNearest(StandardPalette(pSys16), RGBColor(128, 64, 192)), 5u);
  // Cell (3, 3, 3) tries silver, white, white: the third is skipped as equal to the second.
  EXPECT_EQ(g.ColorToIndex(RGBColor(200, 200, 200)), 7u);
  EXPECT_EQ(g.ColorToIndex(RGBColor(250, 250, 250)), 15u);
}

// Every colour of the cube against the whole palette. The brute force groups
// the entries by blue value so one colour costs a handful of comparisons.

TEST(PaletteMatch, Special252IsNearestForEveryColour) {
  PaletteImage g(pSpecial252);
  const auto pal = StandardPalette(pSpecial252);
  std::vector<int> blues;
  for (TRGB c : pal) blues.push_back(int(GetBValue(c)));
  std::sort(blues.begin(), blues.end());
  blues.erase(std::unique(blues.begin(), blues.end()), blues.end());
  std::vector<int> best(blues.size());
  for (int r = 0; r < 256; ++r)
    for (int gr = 0; gr < 256; ++gr) {
      std::fill(best.begin(), best.end(), 1 << 30);
      for (TRGB c : pal) {
        const size_t k =
            std::lower_bound(blues.begin(), blues.end(), int(GetBValue(c))) - blues.begin();
        best[k] = std::min(best[k], Dist(RGBColor(r, gr, 0), c & 0xFFFF));
      }
      for (int b = 0; b < 256; ++b) {
        int nearest = 1 << 30;
        for (size_t k = 0; k < blues.size(); ++k)
          nearest = std::min(nearest, best[k] + (b - blues[k]) * (b - blues[k]));
        const TRGB c = RGBColor(r, gr, b);
        const std::uint32_t i = g.ColorToIndex(c);
        ASSERT_LT(i, 252u);
        ASSERT_EQ(Dist(c, pal[i]), nearest) << r << "," << gr << "," << b;
      }
    }
}

TEST(PaletteMatch, Special252CandidateListsAreBounded) {
  EXPECT_EQ(Special252CellStart[0], 0);
  for (int c = 0; c < Special252CellCount; ++c) {
    const int n = Special252CellStart[c + 1] - Special252CellStart[c];
    EXPECT_GE(n, 1);
    EXPECT_LE(n, Special252MaxCandidates);
  }
}

TEST(PaletteMatch, UnknownPaletteWhiteThenBlack) {
  for (bool cache : {false, true}) {
    PaletteImage g({Grey(255), Grey(0)}, cache);
    EXPECT_EQ(g.ColorToIndex(Grey(127)), 1u) << cache;
    EXPECT_EQ(g.ColorToIndex(Grey(128)), 0u) << cache;
  }
  PaletteImage dup({Grey(9), Grey(9)}, false);  // ties go to the lower index
  EXPECT_EQ(dup.ColorToIndex(Grey(9)), 0u);
}

TEST(PaletteMatch, MemoIsDroppedByEveryRelevantChange) {
  PaletteImage g({Grey(0), Grey(255)}, false);
  EXPECT_EQ(g.ColorToIndex(Grey(10)), 0u);
  g.SetPaletteEntry(1, Grey(5));
  EXPECT_EQ(g.ColorToIndex(Grey(10)), 1u);
  PaletteImage bw(pBlackWhite);
  const TRGB magenta = RGBColor(255, 0, 255);  // grey 315 weighted, 510 plain
  EXPECT_EQ(bw.ColorToIndex(magenta), 0u);
  bw.SetRGBWeighting(false);
  EXPECT_EQ(bw.ColorToIndex(magenta), 1u);
}

// ---------------------------------------------------------------- colour cache

TEST(PaletteCache, SeparatedEntriesFindThemselves) {
  std::vector<TRGB> pal;
  for (int i = 0; i < 12; ++i) pal.push_back(RGBColor(i * 21, 255 - i * 19, (i * 97) % 256));
  PaletteImage g(pal);
  for (size_t i = 0; i < pal.size(); ++i) EXPECT_EQ(g.ColorToIndex(pal[i]), i);
}

TEST(PaletteCache, SmallerRadiusWinsOverLowerIndex) {
  // Cell (0, 2, 0) is two green cells from entry 0 and one red cell from
  // entry 1, so it belongs to entry 1 although entry 0 is nearer.
  PaletteImage g({RGBColor(0, 0, 0), RGBColor(15, 8, 0)});
  EXPECT_EQ(g.ColorToIndex(RGBColor(0, 8, 0)), 1u);
  PaletteImage exact({RGBColor(0, 0, 0), RGBColor(15, 8, 0)}, false);
  EXPECT_EQ(exact.ColorToIndex(RGBColor(0, 8, 0)), 0u);
}

TEST(PaletteCache, LowerIndexWinsWithinOneRadius) {
  // Red cell 2 is two cells from both entries; entry 0 seeds it first.
  PaletteImage g({RGBColor(0, 0, 0), RGBColor(32, 0, 0)});
  EXPECT_EQ(g.ColorToIndex(RGBColor(23, 0, 0)), 0u);
  PaletteImage exact({RGBColor(0, 0, 0), RGBColor(32, 0, 0)}, false);
  EXPECT_EQ(exact.ColorToIndex(RGBColor(23, 0, 0)), 1u);
}

TEST(PaletteCache, FarCellsAgreeWithExhaustiveSearch) {
  std::mt19937 rng(11);
  std::vector<TRGB> pal;
  for (int i = 0; i < 20; ++i) pal.push_back(TRGB(rng() & 0xFFFFFF));
  auto seeded = [&](TRGB c) {
    for (TRGB p : pal) {
      const int dr = std::abs(int(GetRValue(c) / 8) - int(GetRValue(p) / 8));
      const int dg = std::abs(int(GetGValue(c) / 4) - int(GetGValue(p) / 4));
      const int db = std::abs(int(GetBValue(c) / 8) - int(GetBValue(p) / 8));
      if (std::max({dr, dg, db}) <= 4) return true;
    }
    return false;
  };
  PaletteImage cached(pal), exact(pal, false);
  int compared = 0;
  for (int i = 0; i < 3000; ++i) {
    // One colour per cell: the cell's first colour decides for the cell.
    const TRGB c = TRGB(rng() & 0xF8FCF8);
    if (seeded(c)) continue;
    ++compared;
    ASSERT_EQ(cached.ColorToIndex(c), exact.ColorToIndex(c)) << std::hex << c;
  }
  EXPECT_GT(compared, 1000);
}

TEST(PaletteCache, FirstColourOfACellDecidesForTheCell) {
  PaletteImage g({Grey(0), Grey(255)});
  EXPECT_EQ(g.ColorToIndex(RGBColor(135, 127, 127)), 1u);  // sum 389: white
  EXPECT_EQ(g.ColorToIndex(RGBColor(128, 124, 120)), 1u);  // sum 372, same cell
  g.InvalidateColorCache();
  EXPECT_EQ(g.ColorToIndex(RGBColor(128, 124, 121)), 0u);  // sum 373 decides now
  EXPECT_EQ(g.ColorToIndex(RGBColor(135, 127, 127)), 0u);
  g.SetPaletteEntry(1, Grey(130));  // reseeds around the new entry and drops the memo
  EXPECT_EQ(g.ColorToIndex(RGBColor(128, 124, 121)), 1u);
}

TEST(PaletteCache, PalettesPastByteRangeAreSearchedDirectly) {
  TPixelGraphic g;  // no pixels: the palette is not bounded by a colour table
  g.SetPaletteCount(300);
  for (int i = 0; i < 300; ++i) g.SetPaletteEntry(i, RGBColor(i % 256, i / 256 * 128, 7));
  EXPECT_EQ(g.ColorToIndex(RGBColor(43, 128, 7)), 299u);
}

// The matcher keeps no palette of its own: after a change it answers for the
// palette it was last told of, through whatever its owner left standing.
TEST(ColorMatcher, AnswersThroughWhatItWasNotToldToDrop) {
  const std::vector<TRGB> before{Grey(0), Grey(255)}, after{Grey(255), Grey(0)};
  struct TCase {
    const char* Told;
    void (*Tell)(TPGColorMatcher&);
    std::uint32_t Answer;
  } cases[] = {
      {"nothing: the memo", [](TPGColorMatcher&) {}, 0},
      {"forget the memo: the cache", [](TPGColorMatcher& m) { m.ForgetLastResult(); }, 0},
      {"and free the cache: the new palette",
       [](TPGColorMatcher& m) {
         m.ForgetLastResult();
         m.InvalidateCache();
       },
       1},
  };
  for (const TCase& c : cases) {
    TPGColorMatcher m;
    ASSERT_EQ(m.Index(Grey(10), before, pUnknown), 0u);
    c.Tell(m);
    EXPECT_EQ(m.Index(Grey(10), after, pUnknown), c.Answer) << c.Told;
  }
}
