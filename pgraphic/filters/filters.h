#pragma once
// The table-driven colour filters: RGB, CMY and HLS (the interface they
// offer an image is pgraphic/core/filter.h).

#include <array>
#include <cstdint>

#include "pgraphic/core/filter.h"
#include "pgraphic/core/types.h"

using TPGFilterTable = std::array<std::uint8_t, 256>;

// A colour mapping driven by three lookup tables, identity when created.
class TXXXFilter : public TPGFilter {
 public:
  TXXXFilter();
  TRGB FilterPixel(int x, int y) override;
  bool IsColorMapping() const override { return true; }

  std::array<TPGFilterTable, 3> Tables;
};

// Tables on red, green and blue.
class TRGBFilter : public TXXXFilter {
 public:
  TRGBFilter() = default;
  TRGB FilterColor(TRGB color) override;
};

// Tables on cyan, magenta and yellow (the complements of red, green, blue).
class TCMYFilter : public TXXXFilter {
 public:
  TCMYFilter() = default;
  TRGB FilterColor(TRGB color) override;
};

// Tables on hue, lightness and saturation, interpolated between entries.
// Hue entry k stands for k * 360 / 256 - 180 degrees: entry 128 is red.
class THLSFilter : public TXXXFilter {
 public:
  THLSFilter() = default;
  TRGB FilterColor(TRGB color) override;
};

// ---- HLS conversion, in extended precision throughout.

// Hue value that marks "no hue" (a grey).
constexpr long double HLSUndefinedHue = 1e10L;

struct THLSColor {
  long double H = HLSUndefinedHue;  // degrees in [0, 360) or HLSUndefinedHue
  long double L = 0;                // 0..1
  long double S = 0;                // 0..1
};

// r, g, b in 0..1.
THLSColor RGBToHLS(long double r, long double g, long double b);
// Raises EPGSaturationHue when S is 0 but a hue is given; channels in 0..1.
void HLSToRGB(const THLSColor& hls, long double& r, long double& g, long double& b);

// Rounds to the nearest integer, ties to the even neighbour.
long double RoundHalfEven(long double v);
// round(v * 255), ties to even, limited to 0..255.
std::uint8_t UnitToByte(long double v);

// Hue (degrees, defined) through a circular hue table.
long double MapHue(const TPGFilterTable& table, long double hue);
// A 0..1 value through a table, interpolating between neighbouring entries.
long double MapUnit(const TPGFilterTable& table, long double value);
