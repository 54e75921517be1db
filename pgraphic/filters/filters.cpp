#include "pgraphic/filters/filters.h"

#include <algorithm>
#include <cmath>

#include "pgraphic/core/errors.h"
#include "pgraphic/core/pixelgraphic.h"

// ---- TXXXFilter

TXXXFilter::TXXXFilter() {
  for (TPGFilterTable& table : Tables) {
    for (int i = 0; i < 256; ++i) table[i] = static_cast<std::uint8_t>(i);
  }
}

TRGB TXXXFilter::FilterPixel(int x, int y) {
  // Outside a pass there is nothing to read; answer like the plain filter.
  if (!FSource) return TPGFilter::FilterPixel(x, y);
  return FilterColor(FSource->GetPixelColor(x, y));
}

// ---- TRGBFilter, TCMYFilter

TRGB TRGBFilter::FilterColor(TRGB color) {
  return RGBColor(Tables[0][GetRValue(color)], Tables[1][GetGValue(color)],
                  Tables[2][GetBValue(color)]);
}

TRGB TCMYFilter::FilterColor(TRGB color) {
  const unsigned c = 255 - GetRValue(color);
  const unsigned m = 255 - GetGValue(color);
  const unsigned y = 255 - GetBValue(color);
  return RGBColor(255 - Tables[0][c], 255 - Tables[1][m], 255 - Tables[2][y]);
}

// ---- rounding

long double RoundHalfEven(long double v) {
  long double f = std::floor(v);
  const long double rest = v - f;
  if (rest > 0.5L || (rest == 0.5L && std::fmod(f, 2.0L) != 0)) f += 1;
  return f;
}

std::uint8_t UnitToByte(long double v) {
  const long double r = RoundHalfEven(v * 255);
  if (!(r > 0)) return 0;  // also catches NaN
  if (r > 255) return 255;
  return static_cast<std::uint8_t>(r);
}

// ---- RGB to HLS

namespace {

long double HueOf(long double r, long double g, long double b, long double max, long double delta) {
  long double h;
  if (r == max) {
    h = ((max - b) - (max - g)) / delta;
  } else if (g == max) {
    h = ((max - r) - (max - b)) / delta + 2;
  } else {
    h = ((max - g) - (max - r)) / delta + 4;
  }
  h *= 60;
  if (h < 0) h += 360;
  return h;
}

}  // namespace

THLSColor RGBToHLS(long double r, long double g, long double b) {
  const long double max = std::max({b, g, r});
  const long double min = std::min({b, g, r});
  THLSColor hls;
  hls.L = (max + min) / 2;
  if (max == min) return hls;  // grey: S 0, hue undefined
  const long double delta = max - min;
  hls.S = hls.L > 0.5L ? delta / (2 - max - min) : delta / (max + min);
  hls.H = HueOf(r, g, b, max, delta);
  return hls;
}

// ---- HLS to RGB

namespace {

long double HueValue(long double m1, long double m2, long double h) {
  if (h > 360) h -= 360;
  if (h < 0) h += 360;
  if (h < 60) return m1 + (m2 - m1) * h / 60;
  if (h < 180) return m2;
  if (h < 240) return m1 + (m2 - m1) * (240 - h) / 60;
  return m1;
}

}  // namespace

void HLSToRGB(const THLSColor& hls, long double& r, long double& g, long double& b) {
  const long double l = hls.L;
  const long double s = hls.S;
  const long double m2 = l <= 0.5L ? l * (1 + s) : l + s - l * s;
  if (s != 0) {
    const long double m1 = 2 * l - m2;
    r = HueValue(m1, m2, hls.H + 120);
    g = HueValue(m1, m2, hls.H);
    b = HueValue(m1, m2, hls.H - 120);
    return;
  }
  if (hls.H != HLSUndefinedHue) RaisePG<EPGSaturationHue>(msgSaturationHue);
  r = g = b = l;
}

// ---- table interpolation

namespace {

// floor(p) limited to a valid table index, so that rounding noise at the
// ends of the range can never reach outside the table.
int TableIndex(long double p) {
  const long double i = std::floor(p);
  if (!(i > 0)) return 0;
  if (i > 255) return 255;
  return static_cast<int>(i);
}

long double Blend(long double p, int i, long double a, long double b) {
  return (1 - p + i) * a + (p - i) * b;
}

}  // namespace

long double MapHue(const TPGFilterTable& table, long double hue) {
  long double p = (hue + 180) * 256 / 360;
  if (p >= 256) p -= 256;
  const int i = TableIndex(p);
  const long double a = table[i];
  long double b = table[i == 255 ? 0 : i + 1];
  // The table is a circle: take the neighbour on the near side of a.
  if (a - b > 128) b += 256;
  if (a - b + 128 < 0) b -= 256;
  long double h = Blend(p, i, a, b) * 360 / 256 - 180;
  while (h >= 360) h -= 360;
  while (h < 0) h += 360;
  return h;
}

long double MapUnit(const TPGFilterTable& table, long double value) {
  const long double p = value * 255;
  const int i = TableIndex(p);
  if (i > 254) return table[i] / 255.0L;
  return Blend(p, i, table[i], table[i + 1]) / 255;
}

// ---- THLSFilter

TRGB THLSFilter::FilterColor(TRGB color) {
  THLSColor hls =
      RGBToHLS(GetRValue(color) / 255.0L, GetGValue(color) / 255.0L, GetBValue(color) / 255.0L);
  const bool hueDefined = hls.H != HLSUndefinedHue;
  if (hueDefined) hls.H = MapHue(Tables[0], hls.H);
  hls.L = MapUnit(Tables[1], hls.L);
  hls.S = MapUnit(Tables[2], hls.S);
  if (hls.S == 0 || !hueDefined) {
    hls.S = 0;
    hls.H = HLSUndefinedHue;
  }
  long double r, g, b;
  HLSToRGB(hls, r, g, b);
  return RGBColor(UnitToByte(r), UnitToByte(g), UnitToByte(b));
}
