#pragma once
// A QImage built pixel by pixel from a rule, to compare whole rendered
// buffers with.

#include <QImage>

#include <functional>

#include "pgraphic/core/types.h"

inline QImage Expected(QSize size, const std::function<QRgb(int, int)>& pixel) {
  QImage image(size, QImage::Format_RGB32);
  for (int y = 0; y < size.height(); ++y)
    for (int x = 0; x < size.width(); ++x) image.setPixel(x, y, pixel(x, y));
  return image;
}

inline QRgb ToQRgb(TRGB c) { return qRgb(GetRValue(c), GetGValue(c), GetBValue(c)); }
