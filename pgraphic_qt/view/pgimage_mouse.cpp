// The view's selection rectangle and what the mouse does on the picture.
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include "pgraphic_qt/view/pgimage.h"
#include "platform/cursors.h"

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

bool IsSelectionDrag(TPGDragState s) { return s != dsNone && s != dsMoveImage; }
bool DragsLeft(TPGDragState s) { return s == dsSizeTopLeft || s == dsSizeLeft || s == dsSizeBottomLeft; }
bool DragsRight(TPGDragState s) { return s == dsSizeTopRight || s == dsSizeRight || s == dsSizeBottomRight; }
bool DragsTop(TPGDragState s) { return s == dsSizeTopLeft || s == dsSizeTop || s == dsSizeTopRight; }
bool DragsBottom(TPGDragState s) {
  return s == dsSizeBottomLeft || s == dsSizeBottom || s == dsSizeBottomRight;
}

// The handles in their testing order, with the drag each starts.
constexpr TPGDragState kHandleStates[8] = {dsSizeTopLeft,    dsSizeTop,    dsSizeTopRight,
                                           dsSizeLeft,       dsSizeRight,  dsSizeBottomLeft,
                                           dsSizeBottom,     dsSizeBottomRight};

TPGCursor HandleCursor(int index) {
  static constexpr TPGCursor cursors[8] = {
      TPGCursor::crSizeNWSE, TPGCursor::crSizeNS, TPGCursor::crSizeNESW, TPGCursor::crSizeWE,
      TPGCursor::crSizeWE,   TPGCursor::crSizeNESW, TPGCursor::crSizeNS, TPGCursor::crSizeNWSE};
  return cursors[index];
}

}  // namespace

// ---------------------------------------------------------------- selection

QRect TPGImage::SelectionPicBoxRect() const {
  return FromEdges(ImageXToPicBoxX(FSelectionLeft), ImageYToPicBoxY(FSelectionTop),
                   ImageXToPicBoxX(FSelectionLeft + FSelectionWidth),
                   ImageYToPicBoxY(FSelectionTop + FSelectionHeight));
}

QRect TPGImage::HandleRect(int index) const {
  const QRect r = SelectionPicBoxRect();
  const int L = r.left(), T = r.top(), R = r.left() + r.width(), B = r.top() + r.height();
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

QRegion TPGImage::SelectionStrips(const QRect& r) const {
  // The frame, and with handles the band they lie in.
  const int m = FActionMode == amMoveResizeCreateSelection ? 8 : 1;
  const int L = r.left(), T = r.top(), R = r.left() + r.width(), B = r.top() + r.height();
  QRegion strips;
  strips += FromEdges(L - m, T - m, L, B + m);
  strips += FromEdges(L - m, T - m, R + m, T);
  strips += FromEdges(R, T - m, R + m, B + m);
  strips += FromEdges(L - m, B, R + m, B + m);
  return strips;
}

void TPGImage::SetSelection(bool value) {
  if (FSelection == value) return;
  FSelection = value;
  if (value && !FAnimationTimer) {
    FAnimationTimer = new QTimer(this);
    FAnimationTimer->setInterval(50);
    connect(FAnimationTimer, &QTimer::timeout, this, [this] { AnimationStep(); });
    FAnimationTimer->start();
  } else if (!value) {
    delete FAnimationTimer;
    FAnimationTimer = nullptr;
  }
  FPicBox->update();
  if (OnSelectionChange) OnSelectionChange(this);
  RefreshCursor();
}

void TPGImage::SetSelectionRect(int left, int top, int width, int height) {
  if (left == FSelectionLeft && top == FSelectionTop && width == FSelectionWidth &&
      height == FSelectionHeight)
    return;
  QRegion dirty;
  if (FSelection) dirty += SelectionStrips(SelectionPicBoxRect().translated(FPicBox->pos()));
  FSelectionLeft = left;
  FSelectionTop = top;
  FSelectionWidth = width;
  FSelectionHeight = height;
  if (FSelection) dirty += SelectionStrips(SelectionPicBoxRect().translated(FPicBox->pos()));
  if (OnSelectionChange) OnSelectionChange(this);
  if (FSelection) {
    if (FInPaint || !isVisible())
      viewport()->update(dirty);
    else
      viewport()->repaint(dirty);
  }
}

void TPGImage::SetActionMode(TActionMode value) {
  if (FActionMode == value) return;
  FActionMode = value;
  viewport()->update();
  RefreshCursor();
}

void TPGImage::SetSelectionColor1(const QColor& value) {
  if (FSelectionColor1 == value) return;
  FSelectionColor1 = value;
  FPatternsMade = false;
}

void TPGImage::SetSelectionColor2(const QColor& value) {
  if (FSelectionColor2 == value) return;
  FSelectionColor2 = value;
  FPatternsMade = false;
}

// ---------------------------------------------------------------- frame

void TPGImage::PaintSelectionFrame(QPainter& painter) {
  if (!FSelection) return;
  if (!FPatternsMade) {
    for (int i = 0; i < 8; ++i) {
      QImage pattern(8, 8, QImage::Format_RGB32);
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
          pattern.setPixel(x, y, ((x + y - i + 8) % 8) > 3 ? FSelectionColor2.rgb()
                                                         : FSelectionColor1.rgb());
      FPatternBrushes[i] = QBrush(pattern);
    }
    FPatternsMade = true;
  }
  const QRect r = SelectionPicBoxRect();
  const int k = (((FPhase + r.left() + r.top()) % 8) + 8) % 8;
  const QBrush& brush = FPatternBrushes[k];
  painter.setBrushOrigin(0, 0);
  // A one-pixel frame along the inside of a rectangle.
  const auto frame = [&](int L, int T, int R, int B) {
    if (R <= L || B <= T) return;
    painter.fillRect(FromEdges(L, T, R, T + 1), brush);
    painter.fillRect(FromEdges(L, B - 1, R, B), brush);
    painter.fillRect(FromEdges(L, T, L + 1, B), brush);
    painter.fillRect(FromEdges(R - 1, T, R, B), brush);
  };
  frame(r.left() - 1, r.top() - 1, r.left() + r.width() + 1, r.top() + r.height() + 1);
  if (FActionMode == amMoveResizeCreateSelection)
    for (int i = 0; i < 8; ++i) {
      const QRect h = HandleRect(i);
      frame(h.left(), h.top(), h.left() + h.width(), h.top() + h.height());
    }
}

QRegion TPGImage::SelectionFramePixels() const {
  if (!FSelection) return {};
  QRegion pixels;
  // A one-pixel outline along the inside of a rectangle, as the frame draws it.
  const auto outline = [&pixels](int L, int T, int R, int B) {
    if (R <= L || B <= T) return;
    pixels += QRegion(FromEdges(L, T, R, B)) - QRegion(FromEdges(L + 1, T + 1, R - 1, B - 1));
  };
  const QRect r = SelectionPicBoxRect();
  outline(r.left() - 1, r.top() - 1, r.left() + r.width() + 1, r.top() + r.height() + 1);
  if (FActionMode == amMoveResizeCreateSelection)
    for (int i = 0; i < 8; ++i) {
      const QRect h = HandleRect(i);
      outline(h.left(), h.top(), h.left() + h.width(), h.top() + h.height());
    }
  return pixels & FPicBox->rect();
}

bool TPGImage::OnlySelectionFrame(const QRegion& region) const {
  if (!FSelection || region.isEmpty()) return false;
  return (region - SelectionFramePixels()).isEmpty();
}

void TPGImage::AnimationStep() {
  FPhase = (FPhase < -1 || FPhase > 6) ? 0 : FPhase + 1;
  if (!FSelection) return;
  // Only the frame's own pixels change, and the frame covers each of them:
  // it is drawn anew over what is on screen, without painting the picture
  // (or running the owner's paint handlers) under it.
  FPicBox->update(SelectionFramePixels());
}

// ---------------------------------------------------------------- mouse

void TPGImage::PicBoxMouseDown(Qt::MouseButton button, int x, int y) {
  if (button != Qt::LeftButton) return;
  const QPoint p(x, y);
  const QPoint q = PicBoxToImagePoint(p);
  const QRect r = SelectionPicBoxRect();
  const TActionMode am = FActionMode;
  const bool insideSelection = FSelection && Inside(r, p);
  if ((am == amMoveResizeCreateSelection || am == amMoveSelection ||
       am == amMoveSelectionMoveImage) &&
      insideSelection) {
    FDragState = dsMoveSelection;
    FMouseStart = p;
    FGrab = QPoint(q.x() - FSelectionLeft, q.y() - FSelectionTop);
  } else if ((am == amMoveImage || am == amMoveSelectionMoveImage) && CanScroll()) {
    FDragState = dsMoveImage;
    if (PGScreenCursorIsDefault()) {
      QCursor cursor = PGCursor(TPGCursor::crPanning);
      if (PicBoxOnSetCursor) PicBoxOnSetCursor(this, cursor);
      FPicBox->setCursor(cursor);
    }
    FMouseStart = p;
  } else {
    if (am == amMoveResizeCreateSelection && FSelection) {
      for (int i = 0; i < 8; ++i) {
        if (!Inside(HandleRect(i), p)) continue;
        const TPGDragState s = kHandleStates[i];
        FDragState = s;
        FMouseStart = p;
        const int gx = DragsLeft(s) ? PicBoxXToImageX(x) - FSelectionLeft
                       : DragsRight(s) ? PicBoxXToImageX(x) - FSelectionWidth
                                       : 0;
        const int gy = DragsTop(s) ? PicBoxYToImageY(y) - FSelectionTop
                       : DragsBottom(s) ? PicBoxYToImageY(y) - FSelectionHeight
                                        : 0;
        FGrab = QPoint(gx, gy);
        break;
      }
    }
    if (FDragState == dsNone && (am == amMoveResizeCreateSelection || am == amCreateSelection)) {
      FDragState = dsCreateSelection;
      SetSelection(true);
      FAnchor = q;
      PicBoxMouseMove(x, y, FPicBox->mapToGlobal(p));
    }
  }
  // Qt holds the mouse for the pressed widget until release (the capture).
  if (IsSelectionDrag(FDragState) && !FAutoScrollTimer) {
    FLastGlobalMouse = FPicBox->mapToGlobal(p);
    FAutoScrollTimer = new QTimer(this);
    FAutoScrollTimer->setInterval(50);
    connect(FAutoScrollTimer, &QTimer::timeout, this, [this] { AutoScrollStep(); });
    FAutoScrollTimer->start();
  }
}

void TPGImage::PicBoxMouseMove(int x, int y, const QPoint& global) {
  const QPoint p(x, y);
  FLastGlobalMouse = global;
  const TPGDragState s = FDragState;
  if (s == dsNone) {
    UpdateCursor(FPicBox, p);
    return;
  }
  int left = FSelectionLeft, top = FSelectionTop, width = FSelectionWidth, height = FSelectionHeight;
  switch (s) {
    case dsCreateSelection: {
      const QPoint c(PicBoxXToImageX(x), PicBoxYToImageY(y));
      left = std::min(c.x(), FAnchor.x());
      top = std::min(c.y(), FAnchor.y());
      width = std::max(c.x(), FAnchor.x()) - left + 1;
      height = std::max(c.y(), FAnchor.y()) - top + 1;
      break;
    }
    case dsMoveImage: {
      const int h0 = HorzScrollPosition(), v0 = VertScrollPosition();
      SetHorzScrollPosition(h0 + FMouseStart.x() - x);
      SetVertScrollPosition(v0 + FMouseStart.y() - y);
      FMouseStart = p + QPoint(HorzScrollPosition() - h0, VertScrollPosition() - v0);
      return;
    }
    case dsMoveSelection:
      top = std::min(std::max(PicBoxYToImageY(y) - FGrab.y(), 1 - FSelectionHeight),
                     FPixelGraphicHeight - 1);
      left = std::min(std::max(PicBoxXToImageX(x) - FGrab.x(), 1 - FSelectionWidth),
                      FPixelGraphicWidth - 1);
      break;
    default:
      if (DragsLeft(s)) {
        left = std::min(PicBoxXToImageX(x) - FGrab.x(), FSelectionLeft + FSelectionWidth - 1);
        width = FSelectionWidth + FSelectionLeft - left;
      }
      if (DragsTop(s)) {
        top = std::min(PicBoxYToImageY(y) - FGrab.y(), FSelectionTop + FSelectionHeight - 1);
        height = FSelectionHeight + FSelectionTop - top;
      }
      if (DragsRight(s)) width = std::max(PicBoxXToImageX(x) - FGrab.x(), 1);
      if (DragsBottom(s)) height = std::max(PicBoxYToImageY(y) - FGrab.y(), 1);
      break;
  }
  SetSelectionRect(left, top, width, height);
}

void TPGImage::PicBoxMouseUp(Qt::MouseButton) {
  // The release of any button ends a drag, as a release ends the capture.
  if (FDragState == dsNone) return;
  if (IsSelectionDrag(FDragState)) {
    SetSelection(true);
    if (OnSelectionMade) OnSelectionMade(this);
  }
  delete FAutoScrollTimer;
  FAutoScrollTimer = nullptr;
  FDragState = dsNone;
  RefreshCursor();
}

void TPGImage::AutoScrollStep() {
  const QPoint p = viewport()->mapFromGlobal(FLastGlobalMouse);
  QScrollBar* hb = horizontalScrollBar();
  QScrollBar* vb = verticalScrollBar();
  if (p.x() < 0 && hb->value() > 0) hb->setValue(hb->value() - 5);
  if (p.y() < 0 && vb->value() > 0) vb->setValue(vb->value() - 5);
  if (p.x() >= ClientWidth() && hb->value() < hb->maximum()) hb->setValue(hb->value() + 5);
  if (p.y() >= ClientHeight() && vb->value() < vb->maximum()) vb->setValue(vb->value() + 5);
}

void TPGImage::BeginOwnerDragScroll(QPoint globalMouse) {
  if (FAutoScrollTimer) return;
  FLastGlobalMouse = globalMouse;
  FAutoScrollTimer = new QTimer(this);
  FAutoScrollTimer->setInterval(50);
  connect(FAutoScrollTimer, &QTimer::timeout, this, [this] { AutoScrollStep(); });
  FAutoScrollTimer->start();
}

void TPGImage::EndOwnerDragScroll() {
  if (FDragState != dsNone) return;  // the view's own drag still needs it
  delete FAutoScrollTimer;
  FAutoScrollTimer = nullptr;
}

// ---------------------------------------------------------------- cursor

void TPGImage::UpdateCursor(QWidget* over, QPoint pos) {
  // An application-wide override wins anyway; no event fires then.
  if (!PGScreenCursorIsDefault()) return;
  if (over != FPicBox) {
    QCursor cursor = FViewCursor;
    if (OnSetCursor) OnSetCursor(this, cursor);
    viewport()->setCursor(cursor);
    return;
  }
  QCursor cursor = FPicBox->Cursor;
  const TActionMode am = FActionMode;
  if ((am == amMoveImage || am == amMoveSelectionMoveImage) && CanScroll())
    cursor = PGCursor(FDragState == dsMoveImage ? TPGCursor::crPanning : TPGCursor::crPan);
  if (am == amMoveResizeCreateSelection || am == amCreateSelection)
    cursor = PGCursor(TPGCursor::crCreateSelection);
  if ((am == amMoveResizeCreateSelection || am == amMoveSelection ||
       am == amMoveSelectionMoveImage) &&
      FSelection && Inside(SelectionPicBoxRect(), pos))
    cursor = PGCursor(TPGCursor::crMoveSelection);
  if (am == amMoveResizeCreateSelection && FSelection) {
    // Top and bottom, left and right, top-left and bottom-right, then
    // top-right and bottom-left; a later match wins.
    static constexpr int order[8] = {1, 6, 3, 4, 0, 7, 2, 5};
    for (int i : order)
      if (Inside(HandleRect(i), pos)) cursor = PGCursor(HandleCursor(i));
  }
  if (PicBoxOnSetCursor) PicBoxOnSetCursor(this, cursor);
  FPicBox->setCursor(cursor);
}

void TPGImage::RefreshCursor() {
  if (FDragState != dsNone) return;
  const QPoint global = QCursor::pos();
  const QPoint inBox = FPicBox->mapFromGlobal(global);
  if (FPicBox->rect().contains(inBox))
    UpdateCursor(FPicBox, inBox);
}
