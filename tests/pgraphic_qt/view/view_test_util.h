#pragma once
// Helpers of the view tests: small images made in the test, the view's
// client area rendered to a QImage, and pixel comparisons.

#include <QImage>
#include <QWidget>

#include <functional>
#include <memory>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic_qt/view/pgimage.h"

inline std::unique_ptr<TPixelGraphic> MakeImage(int w, int h,
                                                const std::function<TRGB(int, int)>& color) {
  auto g = std::make_unique<TPixelGraphic>();
  g->SetSizeAndFormat(w, h, pgpf24Bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) g->SetPixel(x, y, color(x, y));
  return g;
}

inline std::unique_ptr<TPixelGraphic> SolidImage(int w, int h, TRGB color) {
  return MakeImage(w, h, [color](int, int) { return color; });
}

// A colour per pixel that differs for every position of a small image.
inline TRGB PositionColor(int x, int y) { return RGBColor(10 + 20 * x, 10 + 20 * y, 77); }

inline TRGB ToTRGB(QRgb c) { return RGBColor(qRed(c), qGreen(c), qBlue(c)); }

// The client area as the view painted it (painted right now, without the
// event loop, so posted thread messages are not handled in between).
inline QImage Rendered(TPGImage& view) {
  return view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// A shown view without border at a fixed size.
inline std::unique_ptr<TPGImage> ShownView(int w, int h) {
  auto view = std::make_unique<TPGImage>();
  view->SetBorderStyle(bsNone);
  view->resize(w, h);
  view->show();
  return view;
}
