#include "app/ui/sourcezoom.h"

#include <QScrollBar>

#include <algorithm>
#include <cmath>

#include "app/ui/viewmapping.h"
#include "pgraphic_qt/view/pgimage.h"

TSourceZoom::TSourceZoom(TPGImage& view, QObject* parent) : QObject(parent), FView(view) {}

long double TSourceZoom::Zoom() const { return FView.ZoomFactor(); }

QPointF TSourceZoom::Middle() const {
  return QPointF(FView.viewport()->width() / 2.0, FView.viewport()->height() / 2.0);
}

void TSourceZoom::SetZoom(long double zoom, QPointF anchor) {
  zoom = std::clamp(zoom, MinZoom, MaxZoom);
  if (zoom == FView.ZoomFactor()) return;
  const QWidget* box = FView.PicBox();
  // The image point under the anchor, in image pixels with their fractions.
  const int w = FView.PixelGraphicWidth(), h = FView.PixelGraphicHeight();
  const double ix = box->width() > 0 ? (anchor.x() - box->x()) * w / box->width() : 0;
  const double iy = box->height() > 0 ? (anchor.y() - box->y()) * h / box->height() : 0;
  // Pixels from 100 % up, a smoothed copy below: a copy of a large zoom
  // would take the memory of the image many times over.
  FView.SetStretchMode(zoom < 1.0L ? smPrecise : smFast);
  FView.SetZoomFactor(zoom);
  // The new layout starts unscrolled; scroll the point back under the anchor.
  if (w > 0 && h > 0) {
    FView.SetHorzScrollPosition(int(std::lround(box->x() + ix * box->width() / w - anchor.x())));
    FView.SetVertScrollPosition(int(std::lround(box->y() + iy * box->height() / h - anchor.y())));
  }
  emit Zoomed();
}

void TSourceZoom::ZoomIn() { ZoomBy(1, Middle()); }
void TSourceZoom::ZoomOut() { ZoomBy(-1, Middle()); }

void TSourceZoom::ZoomBy(int steps, QPointF anchor) { SetZoom(ZoomStep(Zoom(), steps), anchor); }

void TSourceZoom::Fit() {
  // The area without scroll bars: a fitted image needs none.
  const int border = 2 * FView.BorderWidth();
  SetZoom(FitZoom(FView.PixelGraphicWidth(), FView.PixelGraphicHeight(), FView.width() - border,
                  FView.height() - border),
          QPointF(0, 0));
}

void TSourceZoom::ActualSize() { SetZoom(1.0L, Middle()); }
