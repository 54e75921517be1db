// Matching a colour to its palette index.

#include "pgraphic/core/colormatch.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "pgraphic/core/errors.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/core/palette252.h"
#include "pgraphic/core/pixelgraphic.h"

int PGGray236Level(int i) { return (i * 510 + 235) / 470; }

int TPGColorMatcher::GreyValue(TRGB color) const {
  const int r = int(GetRValue(color)), g = int(GetGValue(color)), b = int(GetBValue(color));
  if (FRGBWeighting) return (b * 342 + g * 1761 + r * 897) / 1000;
  return r + g + b;
}

bool TPGColorMatcher::SetUseCache(bool value) {
  if (value == FUseCache) return false;
  FUseCache = value;
  FLastResultStale = true;
  return true;
}

bool TPGColorMatcher::SetRGBWeighting(bool value) {
  if (value == FRGBWeighting) return false;
  FRGBWeighting = value;
  FLastResultStale = true;
  return true;
}

namespace {

int Sq(int v) { return v * v; }

int Distance(TRGB a, TRGB b) {
  return Sq(int(GetRValue(a)) - int(GetRValue(b))) + Sq(int(GetGValue(a)) - int(GetGValue(b))) +
         Sq(int(GetBValue(a)) - int(GetBValue(b)));
}

std::uint32_t SysGray4Index(int grey) {
  if (grey <= 192) return 0;
  if (grey <= 480) return 1;
  return grey <= 670 ? 2 : 3;
}

// The level nearest to grey / 3 (compared as 3 * level against grey); the
// lower index wins a draw.
std::uint32_t Gray236Index(int grey) {
  const int guess = grey * 235 / 765;
  int best = std::max(0, guess - 1);
  for (int i = best + 1; i <= std::min(235, guess + 1); ++i)
    if (std::abs(3 * PGGray236Level(i) - grey) < std::abs(3 * PGGray236Level(best) - grey)) best = i;
  return std::uint32_t(best);
}

std::uint32_t Cube125Index(TRGB c) {
  auto level = [](unsigned v) { return ((v == 224 ? 225 : v) + 31) / 64; };
  return level(GetRValue(c)) * 25 + level(GetGValue(c)) * 5 + level(GetBValue(c));
}

std::uint32_t Cube216Index(TRGB c) {
  auto level = [](unsigned v) { return (v + 24) / 51; };
  return level(GetRValue(c)) * 36 + level(GetGValue(c)) * 6 + level(GetBValue(c));
}

// Three candidates per (R, G, B) quarter cell, indexed [r][g][b].
using Sys16Candidates = std::array<std::uint8_t, 3>;
constexpr Sys16Candidates Sys16Table[4][4][4] = {
    {{{0, 0, 0}, {4, 4, 4}, {4, 4, 4}, {12, 12, 12}},
     {{2, 2, 2}, {6, 6, 6}, {6, 6, 6}, {6, 12, 12}},
     {{2, 2, 2}, {6, 6, 6}, {6, 6, 6}, {6, 14, 14}},
     {{10, 10, 10}, {6, 10, 10}, {6, 14, 14}, {14, 14, 14}}},
    {{{1, 1, 1}, {5, 5, 5}, {5, 5, 5}, {5, 12, 12}},
     {{3, 3, 3}, {8, 8, 8}, {8, 8, 8}, {8, 12, 12}},
     {{3, 3, 3}, {8, 8, 8}, {8, 8, 8}, {7, 8, 14}},
     {{3, 10, 10}, {8, 10, 10}, {7, 8, 14}, {7, 14, 14}}},
    {{{1, 1, 1}, {5, 5, 5}, {5, 5, 5}, {5, 13, 13}},
     {{3, 3, 3}, {8, 8, 8}, {8, 8, 8}, {7, 8, 13}},
     {{3, 3, 3}, {8, 8, 8}, {7, 8, 8}, {7, 7, 7}},
     {{3, 11, 11}, {7, 8, 11}, {7, 7, 7}, {7, 7, 7}}},
    {{{9, 9, 9}, {5, 9, 9}, {5, 13, 13}, {13, 13, 13}},
     {{3, 9, 9}, {8, 9, 9}, {7, 8, 13}, {7, 13, 13}},
     {{3, 11, 11}, {7, 8, 11}, {7, 7, 7}, {7, 7, 7}},
     {{11, 11, 11}, {7, 11, 11}, {7, 7, 7}, {7, 15, 15}}},
};

// Deliberately not the plain nearest of the 16: c3 is compared only when it
// differs from c2, exactly as the table is meant to be read.
std::uint32_t Sys16Index(TRGB c) {
  const Sys16Candidates& cand = Sys16Table[GetRValue(c) / 64][GetGValue(c) / 64][GetBValue(c) / 64];
  std::uint32_t result = cand[0];
  if (cand[1] != cand[0] && Distance(c, Sys16Colors[cand[1]]) < Distance(c, Sys16Colors[result]))
    result = cand[1];
  if (cand[2] != cand[1] && Distance(c, Sys16Colors[cand[2]]) < Distance(c, Sys16Colors[result]))
    result = cand[2];
  return result;
}

std::uint32_t Special252Index(TRGB c) {
  const int cell = Special252CellOf(GetRValue(c), GetGValue(c), GetBValue(c));
  std::uint32_t best = 0;
  int bestD = 1 << 30;
  for (int k = Special252CellStart[cell]; k < Special252CellStart[cell + 1]; ++k) {
    const int d = Distance(c, FromRRGGBB(Special252RRGGBB[Special252Candidates[k]]));
    if (d < bestD) best = Special252Candidates[k], bestD = d;
  }
  return best;
}

// An image whose kind says "some palette" but holds no entry has nothing to
// match against; that is the same fault as having no palette at all.
std::uint32_t ExhaustiveSearch(TRGB color, const std::vector<TRGB>& entries) {
  if (entries.empty()) RaisePG<EPGNoPalette>(msgNoPalette);
  std::uint32_t best = 0;
  int bestD = Distance(color, entries[0]);
  for (size_t i = 1; i < entries.size() && bestD > 0; ++i) {
    const int d = Distance(color, entries[i]);
    if (d < bestD) best = std::uint32_t(i), bestD = d;
  }
  return best;
}

}  // namespace

std::uint32_t TPGColorMatcher::Index(TRGB color, const std::vector<TRGB>& entries,
                                     TPaletteIdent ident) {
  if (!FLastResultStale && color == FLastColor) return FLastResult;
  FLastResultStale = true;
  const std::uint32_t result = Compute(color, entries, ident);
  FLastColor = color;
  FLastResult = result;
  FLastResultStale = false;
  return result;
}

std::uint32_t TPGColorMatcher::Compute(TRGB color, const std::vector<TRGB>& entries,
                                       TPaletteIdent ident) {
  switch (ident) {
    case pNone:
      RaisePG<EPGNoPalette>(msgNoPalette);
    case pTrueColor:
      return color;
    case pUnknown:
      return FUseCache ? CacheLookup(color, entries) : ExhaustiveSearch(color, entries);
    case pBlackWhite:
      return std::uint32_t(GreyValue(color) + 1) / 384;
    case pSysGray4:
      return SysGray4Index(GreyValue(color));
    case pSys16:
      return Sys16Index(color);
    case pGray4:
      return std::uint32_t(GreyValue(color) + 127) / 255;
    case pGray16:
      return std::uint32_t(GreyValue(color) + 25) / 51;
    case pGray236:
      return Gray236Index(GreyValue(color));
    case pGray256:
      return std::uint32_t(GreyValue(color) + 1) / 3;
    case pSpecial125:
      return Cube125Index(color);
    case pSpecial216:
      return Cube216Index(color);
    case pSpecial252:
      return Special252Index(color);
    default:
      return 0;
  }
}

// ---------------------------------------------------------------- cache

namespace {

constexpr int CacheCells = 65536;

int CacheCell(int r5, int g6, int b5) { return r5 * 2048 + g6 * 32 + b5; }

int CacheCellOf(TRGB c) {
  return CacheCell(int(GetRValue(c) / 8), int(GetGValue(c) / 4), int(GetBValue(c) / 8));
}

struct CacheTables {
  std::uint8_t* Index;
  std::uint8_t* Valid;

  bool Marked(int cell) const { return Valid[cell >> 3] & (1u << (cell & 7)); }
  void Store(int cell, std::uint8_t index) {
    Index[cell] = index;
    Valid[cell >> 3] |= std::uint8_t(1u << (cell & 7));
  }
  void Offer(int r5, int g6, int b5, std::uint8_t index) {
    if (r5 < 0 || r5 > 31 || g6 < 0 || g6 > 63 || b5 < 0 || b5 > 31) return;
    const int cell = CacheCell(r5, g6, b5);
    if (!Marked(cell)) Store(cell, index);
  }
};

// One face of the cube of half-width r around the centre cell: `axis` fixed at
// offset `side`, the other two spanning -r..r. All cells of one face receive
// the same index, so the walk order inside a face does not matter.
void SeedFace(CacheTables& t, const int centre[3], int axis, int side, int r, std::uint8_t index) {
  for (int u = -r; u <= r; ++u)
    for (int v = -r; v <= r; ++v) {
      int p[3];
      p[axis] = centre[axis] + side;
      p[(axis + 1) % 3] = centre[(axis + 1) % 3] + u;
      p[(axis + 2) % 3] = centre[(axis + 2) % 3] + v;
      t.Offer(p[0], p[1], p[2], index);
    }
}

void SeedCache(CacheTables t, const std::vector<TRGB>& entries) {
  for (int r = 0; r <= 4; ++r)
    for (size_t i = 0; i < entries.size(); ++i) {
      const TRGB c = entries[i];
      const int centre[3] = {int(GetRValue(c) / 8), int(GetGValue(c) / 4), int(GetBValue(c) / 8)};
      for (int axis = 0; axis < 3; ++axis) {
        SeedFace(t, centre, axis, -r, r, std::uint8_t(i));
        SeedFace(t, centre, axis, +r, r, std::uint8_t(i));
      }
    }
}

}  // namespace

// Byte-sized cells cannot hold indices past 255; such palettes are searched
// directly instead of being cached wrongly.
std::uint32_t TPGColorMatcher::CacheLookup(TRGB color, const std::vector<TRGB>& entries) {
  if (entries.size() > 256) return ExhaustiveSearch(color, entries);
  if (!FCache) {
    FCache = std::make_unique<std::uint8_t[]>(CacheCells);
    FCacheValid = std::make_unique<std::uint8_t[]>(CacheCells / 8);
    SeedCache({FCache.get(), FCacheValid.get()}, entries);
  }
  CacheTables t{FCache.get(), FCacheValid.get()};
  const int cell = CacheCellOf(color);
  if (t.Marked(cell)) return t.Index[cell];
  const std::uint32_t result = ExhaustiveSearch(color, entries);
  t.Store(cell, std::uint8_t(result));
  return result;
}

void TPGColorMatcher::InvalidateCache() {
  FCache.reset();
  FCacheValid.reset();
}
