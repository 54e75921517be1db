// Error diffusion while writing colours into a palette image: a
// Floyd-Steinberg distribution in serpentine order whose carried error is
// bent by a limit table, so that strong errors do not smear across an area.

#include <algorithm>
#include <array>
#include <cstdlib>

#include "pgraphic/core/dither.h"

#include "pgraphic/core/pixelgraphic.h"

namespace {

constexpr int ClampLow = -510, ClampHigh = 510;

constexpr std::array<std::uint8_t, ClampHigh - ClampLow + 1> BuildClampTable() {
  std::array<std::uint8_t, ClampHigh - ClampLow + 1> t{};
  for (int i = ClampLow; i <= ClampHigh; ++i) t[i - ClampLow] = std::uint8_t(std::clamp(i, 0, 255));
  return t;
}

// Built at compile time, so it exists before any image is touched.
constexpr auto ClampTable = BuildClampTable();

// Limit per palette kind: coarse palettes carry more error than fine ones.
int AutoLimit(TPaletteIdent ident) {
  switch (ident) {
    case pBlackWhite:
      return 255;
    case pSysGray4:
    case pSys16:
    case pGray4:
      return 128;
    case pGray236:
      return 3;
    case pGray256:
      return 2;
    case pSpecial125:
    case pSpecial252:
      return 104;
    case pSpecial216:
      return 86;
    default:
      return 32;
  }
}

// Table over -255..255 stored at index e + 255.
std::vector<int> BuildLimitTable(int limit, bool soft) {
  std::vector<int> t(511);
  for (int e = 0; e <= 255; ++e) t[255 + e] = (limit != 255 && e >= limit) ? limit : e;
  if (soft)
    for (int e = limit / 2; e <= (3 * limit) / 2 && e < 255; ++e) t[255 + e] = e / 2 + limit / 4;
  for (int e = 1; e <= 255; ++e) t[255 - e] = -t[255 + e];
  return t;
}

// Accumulators hold 16 times the error; rounds to nearest, halves away from zero.
int RoundedError(int accumulated) {
  const int e = std::min((std::abs(accumulated) + 8) / 16, 255);
  return accumulated < 0 ? -e : e;
}

int ChannelOf(TRGB c, int channel) { return int((c >> (8 * channel)) & 0xFF); }

}  // namespace

int PGClamp255(int v) {
  if (v < ClampLow || v > ClampHigh) return std::clamp(v, 0, 255);
  return ClampTable[v - ClampLow];
}

TPGErrorDiffusion::TPGErrorDiffusion(TPixelGraphic& target)
    : FTarget(target),
      FGreyPalette(std::all_of(target.PaletteEntries().begin(), target.PaletteEntries().end(),
                               [](TRGB c) {
                                 return GetRValue(c) == GetGValue(c) && GetGValue(c) == GetBValue(c);
                               })) {
  const size_t rowSize = (size_t(std::max(target.Width(), 0)) + 2) * 3;
  FRowCur.assign(rowSize, 0);
  FRowNext.assign(rowSize, 0);
  const bool automatic = target.DitherErrorLimitAuto;
  const int limit = automatic ? AutoLimit(target.PaletteIdent()) : target.DitherErrorLimit;
  FLimitTable = BuildLimitTable(limit, automatic || target.DitherErrorLimitSoft);
}

void TPGErrorDiffusion::NextRow() {
  FRowCur.swap(FRowNext);
  std::fill(FRowNext.begin(), FRowNext.end(), 0);
}

namespace {

// Spreads error d of one channel from pixel x (slot x + 1) to its neighbours.
void Distribute(std::vector<int>& cur, std::vector<int>& next, int x, int y, int channel, int d) {
  const int here = (x + 1) * 3 + channel;
  const int step = (y & 1) == 0 ? 3 : -3;
  const int ahead = here + step;
  const int behind = here - step;
  cur[ahead] += 7 * d;
  next[ahead] += d;
  next[behind] += 3 * d;
  next[here] += 5 * d;
}

TRGB ClampedColor(int r, int g, int b) {
  return RGBColor(PGClamp255(r), PGClamp255(g), PGClamp255(b));
}

}  // namespace

// Pixels outside the rows are written undithered rather than touching memory
// the rows do not have.
void TPGErrorDiffusion::Put(int x, int y, int r, int g, int b) {
  const TRGB color = ClampedColor(r, g, b);
  // Slot x + 1 and both neighbours must exist in the rows.
  if (x < 0 || size_t(x) + 3 > FRowCur.size() / 3) {
    FTarget.SetPixelColor(x, y, color);
    return;
  }
  auto limited = [&](int channel) {
    return FLimitTable[255 + RoundedError(FRowCur[(x + 1) * 3 + channel])];
  };
  if (FGreyPalette) {
    const int grey = PGClamp255(FTarget.GreyValue(color) / 3 + limited(1));
    const std::uint32_t index = FTarget.ColorToIndex(Grey(grey));
    FTarget.SetPixel(x, y, index);
    const int d = grey - ChannelOf(FTarget.GetPaletteEntry(int(index)), 1);
    Distribute(FRowCur, FRowNext, x, y, 1, d);
    return;
  }
  int wanted[3];
  for (int c = 0; c < 3; ++c) wanted[c] = PGClamp255(ChannelOf(color, c) + limited(c));
  const std::uint32_t index = FTarget.ColorToIndex(RGBColor(wanted[0], wanted[1], wanted[2]));
  FTarget.SetPixel(x, y, index);
  const TRGB got = FTarget.GetPaletteEntry(int(index));
  for (int c = 0; c < 3; ++c)
    Distribute(FRowCur, FRowNext, x, y, c, wanted[c] - ChannelOf(got, c));
}

// ---------------------------------------------------------------- the image's diffusion

void TPixelGraphic::PrepareDither() {
  FDiffusion = std::make_unique<TPGErrorDiffusion>(*this);
  FIsGrayPalette = FDiffusion->GreyPalette();
}

void TPixelGraphic::NextDitherRow() {
  if (FDiffusion) FDiffusion->NextRow();
}

// Without PrepareDither the pixel is written as it comes.
void TPixelGraphic::PutDithered(int x, int y, int r, int g, int b) {
  if (FDiffusion)
    FDiffusion->Put(x, y, r, g, b);
  else
    SetPixelColor(x, y, ClampedColor(r, g, b));
}

void TPixelGraphic::FreeDither() { FDiffusion.reset(); }
