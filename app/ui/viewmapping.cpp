#include "app/ui/viewmapping.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "pgraphic_qt/view/layout.h"

namespace {

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  const std::int64_t q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

constexpr long double kSteps[] = {1.0L / 16, 1.0L / 12, 1.0L / 8, 1.0L / 6, 1.0L / 4, 1.0L / 3,
                                  1.0L / 2,  2.0L / 3,  1.0L,     1.5L,     2.0L,     3.0L,
                                  4.0L,      6.0L,      8.0L,     12.0L,    16.0L,    24.0L,
                                  32.0L};

}  // namespace

int PixelUnder(const TViewAxis& axis, double viewPosition) {
  if (axis.Image <= 0 || axis.Box <= 0) return 0;
  const double inBox = viewPosition - axis.Origin;
  const double pixel = std::floor(inBox * axis.Image / axis.Box);
  return int(std::clamp(pixel, double(INT32_MIN), double(INT32_MAX)));
}

int LineAt(const TViewAxis& axis, std::int64_t position) {
  if (axis.Image <= 0) return axis.Origin;
  // The first view pixel q with q * Image / Box >= position: a ceiling.
  const std::int64_t q = -FloorDiv(-position * axis.Box, axis.Image);
  return int(std::clamp<std::int64_t>(axis.Origin + q, INT32_MIN, INT32_MAX));
}

int ShownLineAt(const TViewAxis& axis, std::int64_t position) {
  return position <= 0 ? LineAt(axis, 0) - 1 : LineAt(axis, position);
}

long double ZoomStep(long double zoom, int steps) {
  const long double* first = std::begin(kSteps);
  const long double* last = std::end(kSteps);
  // Up, the first step above the zoom is one step; down, the first below.
  const std::ptrdiff_t at = steps >= 0 ? (std::upper_bound(first, last, zoom) - first) + steps - 1
                                       : (std::lower_bound(first, last, zoom) - first) + steps;
  return kSteps[std::clamp<std::ptrdiff_t>(at, 0, std::ssize(kSteps) - 1)];
}

long double FitZoom(int imageWidth, int imageHeight, int areaWidth, int areaHeight) {
  if (imageWidth <= 0 || imageHeight <= 0 || areaWidth <= 0 || areaHeight <= 0) return 1.0L;
  long double zoom = std::min(static_cast<long double>(areaWidth) / imageWidth,
                              static_cast<long double>(areaHeight) / imageHeight);
  zoom = std::clamp(zoom, MinZoom, MaxZoom);
  // Rounding may take the picture a pixel past the area: a hair less then.
  const auto fits = [&](long double z) {
    const TPGLayoutSize box = PGStretchLayout(sZoomKAR, imageWidth, imageHeight, areaWidth, areaHeight, 0, 0, z);
    return box.Width <= areaWidth && box.Height <= areaHeight;
  };
  while (zoom > MinZoom && !fits(zoom)) zoom = std::nextafter(zoom, 0.0L);
  return zoom;
}

TRulerScale RulerScaleFor(double viewPixelsPerImagePixel) {
  const double scale = viewPixelsPerImagePixel > 0 ? viewPixelsPerImagePixel : 1.0;
  // Round numbers: 1, 2, 5, 10, 25, 50, 100, 250, 500, 1000, ...
  std::int64_t major = 0;
  for (std::int64_t decade = 1; major == 0 && decade <= 100000000; decade *= 10)
    for (std::int64_t m : {decade, decade == 1 ? 2 : decade * 5 / 2, decade * 5})
      if (major == 0 && m * scale >= 50) major = m;
  if (major == 0) major = 1000000000;
  TRulerScale result{int(major), int(major)};
  for (std::int64_t parts : {10, 5, 2})
    if (major % parts == 0 && double(major / parts) * scale >= 4) {
      result.Minor = int(major / parts);
      break;
    }
  return result;
}
