// Standard palettes and how an image takes one.

#include <algorithm>
#include <array>
#include <cstdlib>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/palette252.h"

const TRGB Sys16Colors[16] = {
    FromRRGGBB(0x000000), FromRRGGBB(0x800000), FromRRGGBB(0x008000), FromRRGGBB(0x808000),
    FromRRGGBB(0x000080), FromRRGGBB(0x800080), FromRRGGBB(0x008080), FromRRGGBB(0xC0C0C0),
    FromRRGGBB(0x808080), FromRRGGBB(0xFF0000), FromRRGGBB(0x00FF00), FromRRGGBB(0xFFFF00),
    FromRRGGBB(0x0000FF), FromRRGGBB(0xFF00FF), FromRRGGBB(0x00FFFF), FromRRGGBB(0xFFFFFF),
};

namespace {

std::vector<TRGB> GreyRamp(int count, int (*level)(int)) {
  std::vector<TRGB> result(count);
  for (int i = 0; i < count; ++i) result[i] = Grey(level(i));
  return result;
}

std::vector<TRGB> ColorCube(int steps, int (*level)(int)) {
  std::vector<TRGB> result;
  for (int r = 0; r < steps; ++r)
    for (int g = 0; g < steps; ++g)
      for (int b = 0; b < steps; ++b) result.push_back(RGBColor(level(r), level(g), level(b)));
  return result;
}

std::vector<TRGB> Special252() {
  std::vector<TRGB> result;
  for (std::uint32_t c : Special252RRGGBB) result.push_back(FromRRGGBB(c));
  return result;
}

std::vector<TRGB> BuildStandardPalette(TPaletteIdent ident) {
  switch (ident) {
    case pBlackWhite:
      return {Grey(0), Grey(255)};
    case pSysGray4:
      return {Grey(0), Grey(128), Grey(192), Grey(255)};
    case pSys16:
      return {std::begin(Sys16Colors), std::end(Sys16Colors)};
    case pGray4:
      return GreyRamp(4, [](int i) { return i * 255 / 3; });
    case pGray16:
      return GreyRamp(16, [](int i) { return i * 255 / 15; });
    case pGray236:
      return GreyRamp(236, PGGray236Level);
    case pGray256:
      return GreyRamp(256, [](int i) { return i; });
    case pSpecial125:
      return ColorCube(5, [](int n) { return (n * 255 + 3) / 4; });
    case pSpecial216:
      return ColorCube(6, [](int n) { return (n * 255 + 4) / 5; });
    case pSpecial252:
      return Special252();
    default:
      return {};
  }
}

}  // namespace

// Built once, on first use, for every kind: classifying an image compares
// its palette with all of them.
const std::vector<TRGB>& StandardPalette(TPaletteIdent ident) {
  static const auto tables = [] {
    std::array<std::vector<TRGB>, pSource + 1> all;
    for (int i = 0; i <= pSource; ++i) all[std::size_t(i)] = BuildStandardPalette(TPaletteIdent(i));
    return all;
  }();
  static const std::vector<TRGB> none;
  return ident <= pSource ? tables[ident] : none;
}

void TPixelGraphic::SetPaletteIdent(TPaletteIdent ident) {
  if (ident == FPaletteIdent) return;
  if (ident == pNone || ident == pTrueColor) SetPaletteCount(0);
  const std::vector<TRGB>& entries = StandardPalette(ident);
  if (!entries.empty()) {
    SetPaletteCount(int(entries.size()));
    // An unchanged count leaves the kind as it was; entries may be written now.
    if (FPaletteIdent == pNone || FPaletteIdent == pTrueColor) FPaletteIdent = pUnknown;
    for (size_t i = 0; i < entries.size(); ++i) SetPaletteEntry(int(i), entries[i]);
  }
  if (ident != pOptimized252Sys16 && ident != pSource) FPaletteIdent = ident;
  FMatcher.ForgetLastResult();
  InvalidateColorCache();
}
