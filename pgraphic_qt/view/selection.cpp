#include "pgraphic_qt/view/selection.h"

#include <QImage>
#include <QPainter>

#include <algorithm>

namespace {

bool Inside(const QRect& r, QPoint p) {
  // Half-open: left <= x < right, top <= y < bottom (r holds the exclusive
  // right and bottom in its width and height).
  return p.x() >= r.left() && p.x() < r.left() + r.width() && p.y() >= r.top() &&
         p.y() < r.top() + r.height();
}

QRect FromEdges(int left, int top, int right, int bottom) {
  return QRect(left, top, right - left, bottom - top);
}

int Right(const QRect& r) { return r.left() + r.width(); }
int Bottom(const QRect& r) { return r.top() + r.height(); }

bool DragsLeft(TPGDragState s) { return s == dsSizeTopLeft || s == dsSizeLeft || s == dsSizeBottomLeft; }
bool DragsRight(TPGDragState s) { return s == dsSizeTopRight || s == dsSizeRight || s == dsSizeBottomRight; }
bool DragsTop(TPGDragState s) { return s == dsSizeTopLeft || s == dsSizeTop || s == dsSizeTopRight; }
bool DragsBottom(TPGDragState s) {
  return s == dsSizeBottomLeft || s == dsSizeBottom || s == dsSizeBottomRight;
}

// The handles in their testing order, with the drag each starts and its cursor.
constexpr TPGDragState kHandleDrags[8] = {dsSizeTopLeft, dsSizeTop,        dsSizeTopRight,
                                          dsSizeLeft,    dsSizeRight,      dsSizeBottomLeft,
                                          dsSizeBottom,  dsSizeBottomRight};
constexpr TPGCursor kHandleCursors[8] = {
    TPGCursor::crSizeNWSE, TPGCursor::crSizeNS,   TPGCursor::crSizeNESW, TPGCursor::crSizeWE,
    TPGCursor::crSizeWE,   TPGCursor::crSizeNESW, TPGCursor::crSizeNS,   TPGCursor::crSizeNWSE};

bool MovesSelection(TActionMode mode) {
  return mode == amMoveResizeCreateSelection || mode == amMoveSelection ||
         mode == amMoveSelectionMoveImage;
}
bool MovesImage(TActionMode mode) { return mode == amMoveImage || mode == amMoveSelectionMoveImage; }
bool CreatesSelection(TActionMode mode) {
  return mode == amMoveResizeCreateSelection || mode == amCreateSelection;
}

// Calls f(left, top, right, bottom) for the frame just outside r and for
// each handle drawn.
template <class F>
void ForEachOutline(const QRect& r, bool handles, F f) {
  f(r.left() - 1, r.top() - 1, Right(r) + 1, Bottom(r) + 1);
  if (!handles) return;
  for (int i = 0; i < 8; ++i) {
    const QRect h = PGSelectionHandle(r, i);
    f(h.left(), h.top(), Right(h), Bottom(h));
  }
}

}  // namespace

// ---------------------------------------------------------------- geometry

QRect PGSelectionHandle(const QRect& r, int index) {
  const int L = r.left(), T = r.top(), R = Right(r), B = Bottom(r);
  // Midpoints truncate toward zero.
  const int mx = (L + R) / 2, my = (T + B) / 2;
  switch (index) {
    case 0: return FromEdges(L - 8, T - 8, L - 3, T - 3);
    case 1: return FromEdges(mx - 2, T - 8, mx + 3, T - 3);
    case 2: return FromEdges(R + 3, T - 8, R + 8, T - 3);
    case 3: return FromEdges(L - 8, my - 2, L - 3, my + 3);
    case 4: return FromEdges(R + 3, my - 2, R + 8, my + 3);
    case 5: return FromEdges(L - 8, B + 3, L - 3, B + 8);
    case 6: return FromEdges(mx - 2, B + 3, mx + 3, B + 8);
    default: return FromEdges(R + 3, B + 3, R + 8, B + 8);
  }
}

QRegion PGSelectionStrips(const QRect& r, bool handles) {
  const int m = handles ? 8 : 1;
  const int L = r.left(), T = r.top(), R = Right(r), B = Bottom(r);
  QRegion strips;
  strips += FromEdges(L - m, T - m, L, B + m);
  strips += FromEdges(L - m, T - m, R + m, T);
  strips += FromEdges(R, T - m, R + m, B + m);
  strips += FromEdges(L - m, B, R + m, B + m);
  return strips;
}

QRegion PGSelectionFramePixels(const QRect& r, bool handles) {
  QRegion pixels;
  ForEachOutline(r, handles, [&pixels](int L, int T, int R, int B) {
    if (R <= L || B <= T) return;
    pixels += QRegion(FromEdges(L, T, R, B)) - QRegion(FromEdges(L + 1, T + 1, R - 1, B - 1));
  });
  return pixels;
}

// ---------------------------------------------------------------- dragging

TPGDragState PGDragOnPress(TActionMode mode, bool shown, const QRect& r, QPoint p, bool canScroll) {
  if (MovesSelection(mode) && shown && Inside(r, p)) return dsMoveSelection;
  if (MovesImage(mode) && canScroll) return dsMoveImage;
  if (mode == amMoveResizeCreateSelection && shown)
    for (int i = 0; i < 8; ++i)
      if (Inside(PGSelectionHandle(r, i), p)) return kHandleDrags[i];
  return CreatesSelection(mode) ? dsCreateSelection : dsNone;
}

QPoint PGDragGrab(TPGDragState drag, const TPGSelectionRect& s, QPoint q) {
  if (drag == dsMoveSelection) return {q.x() - s.Left, q.y() - s.Top};
  const int gx = DragsLeft(drag) ? q.x() - s.Left : DragsRight(drag) ? q.x() - s.Width : 0;
  const int gy = DragsTop(drag) ? q.y() - s.Top : DragsBottom(drag) ? q.y() - s.Height : 0;
  return {gx, gy};
}

TPGSelectionRect PGDragSelection(TPGDragState drag, const TPGSelectionRect& s, QPoint c,
                                 QPoint grab, QPoint anchor, QSize image) {
  TPGSelectionRect n = s;
  switch (drag) {
    case dsNone:
    case dsMoveImage:
      break;
    case dsCreateSelection:
      n.Left = std::min(c.x(), anchor.x());
      n.Top = std::min(c.y(), anchor.y());
      n.Width = std::max(c.x(), anchor.x()) - n.Left + 1;
      n.Height = std::max(c.y(), anchor.y()) - n.Top + 1;
      break;
    case dsMoveSelection:
      n.Top = std::min(std::max(c.y() - grab.y(), 1 - s.Height), image.height() - 1);
      n.Left = std::min(std::max(c.x() - grab.x(), 1 - s.Width), image.width() - 1);
      break;
    default:
      if (DragsLeft(drag)) {
        n.Left = std::min(c.x() - grab.x(), s.Left + s.Width - 1);
        n.Width = s.Width + s.Left - n.Left;
      }
      if (DragsTop(drag)) {
        n.Top = std::min(c.y() - grab.y(), s.Top + s.Height - 1);
        n.Height = s.Height + s.Top - n.Top;
      }
      if (DragsRight(drag)) n.Width = std::max(c.x() - grab.x(), 1);
      if (DragsBottom(drag)) n.Height = std::max(c.y() - grab.y(), 1);
      break;
  }
  return n;
}

std::optional<TPGCursor> PGSelectionCursor(TActionMode mode, bool shown, const QRect& r, QPoint p,
                                           bool canScroll, bool panning) {
  std::optional<TPGCursor> cursor;
  if (MovesImage(mode) && canScroll) cursor = panning ? TPGCursor::crPanning : TPGCursor::crPan;
  if (CreatesSelection(mode)) cursor = TPGCursor::crCreateSelection;
  if (MovesSelection(mode) && shown && Inside(r, p)) cursor = TPGCursor::crMoveSelection;
  if (mode == amMoveResizeCreateSelection && shown) {
    // Top and bottom, left and right, top-left and bottom-right, then
    // top-right and bottom-left; a later match wins.
    static constexpr int order[8] = {1, 6, 3, 4, 0, 7, 2, 5};
    for (int i : order)
      if (Inside(PGSelectionHandle(r, i), p)) cursor = kHandleCursors[i];
  }
  return cursor;
}

// ---------------------------------------------------------------- frame

void TPGSelectionFrame::SetColor1(const QColor& value) {
  if (FColor1 == value) return;
  FColor1 = value;
  FBrushesMade = false;
}

void TPGSelectionFrame::SetColor2(const QColor& value) {
  if (FColor2 == value) return;
  FColor2 = value;
  FBrushesMade = false;
}

void TPGSelectionFrame::Step() { FPhase = (FPhase < -1 || FPhase > 6) ? 0 : FPhase + 1; }

void TPGSelectionFrame::Paint(QPainter& painter, const QRect& r, bool handles) {
  if (!FBrushesMade) {
    for (int i = 0; i < 8; ++i) {
      QImage pattern(8, 8, QImage::Format_RGB32);
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
          pattern.setPixel(x, y, ((x + y - i + 8) % 8) > 3 ? FColor2.rgb() : FColor1.rgb());
      FBrushes[i] = QBrush(pattern);
    }
    FBrushesMade = true;
  }
  const int k = (((FPhase + r.left() + r.top()) % 8) + 8) % 8;
  const QBrush& brush = FBrushes[k];
  painter.setBrushOrigin(0, 0);
  // A one-pixel frame along the inside of each outline.
  ForEachOutline(r, handles, [&](int L, int T, int R, int B) {
    if (R <= L || B <= T) return;
    painter.fillRect(FromEdges(L, T, R, T + 1), brush);
    painter.fillRect(FromEdges(L, B - 1, R, B), brush);
    painter.fillRect(FromEdges(L, T, L + 1, B), brush);
    painter.fillRect(FromEdges(R - 1, T, R, B), brush);
  });
}
