// What the mouse does on the view's picture: the selection's drags (their
// rules are selection.h's), panning, auto-scroll, the animated frame and the
// cursor.
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include "pgraphic_qt/view/pgimage.h"
#include "platform/cursors.h"

namespace {

bool IsSelectionDrag(TPGDragState s) { return s != dsNone && s != dsMoveImage; }

}  // namespace

// ---------------------------------------------------------------- selection

QRect TPGImage::SelectionPicBoxRect() const {
  const TPGSelectionRect& s = FSelectionRect;
  const int left = ImageXToPicBoxX(s.Left), top = ImageYToPicBoxY(s.Top);
  return QRect(left, top, ImageXToPicBoxX(s.Left + s.Width) - left,
               ImageYToPicBoxY(s.Top + s.Height) - top);
}

bool TPGImage::HandlesShown() const { return FActionMode == amMoveResizeCreateSelection; }

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
  const TPGSelectionRect next{left, top, width, height};
  if (next == FSelectionRect) return;
  QRegion dirty;
  if (FSelection) dirty += PGSelectionStrips(SelectionPicBoxRect().translated(FPicBox->pos()), HandlesShown());
  FSelectionRect = next;
  if (FSelection) dirty += PGSelectionStrips(SelectionPicBoxRect().translated(FPicBox->pos()), HandlesShown());
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

// ---------------------------------------------------------------- frame

void TPGImage::PaintSelectionFrame(QPainter& painter) {
  if (FSelection) FFrame.Paint(painter, SelectionPicBoxRect(), HandlesShown());
}

QRegion TPGImage::SelectionFramePixels() const {
  if (!FSelection) return {};
  return PGSelectionFramePixels(SelectionPicBoxRect(), HandlesShown()) & FPicBox->rect();
}

bool TPGImage::OnlySelectionFrame(const QRegion& region) const {
  if (!FSelection || region.isEmpty()) return false;
  return (region - SelectionFramePixels()).isEmpty();
}

void TPGImage::AnimationStep() {
  FFrame.Step();
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
  FDragState = PGDragOnPress(FActionMode, FSelection, SelectionPicBoxRect(), p, CanScroll());
  FMouseStart = p;
  FGrab = PGDragGrab(FDragState, FSelectionRect, q);
  if (FDragState == dsMoveImage && PGScreenCursorIsDefault()) {
    QCursor cursor = PGCursor(TPGCursor::crPanning);
    if (PicBoxOnSetCursor) PicBoxOnSetCursor(this, cursor);
    FPicBox->setCursor(cursor);
  }
  if (FDragState == dsCreateSelection) {
    SetSelection(true);
    FAnchor = q;
    PicBoxMouseMove(x, y, FPicBox->mapToGlobal(p));
  }
  // Qt holds the mouse for the pressed widget until release (the capture).
  if (IsSelectionDrag(FDragState)) StartAutoScroll(FPicBox->mapToGlobal(p));
}

void TPGImage::PicBoxMouseMove(int x, int y, const QPoint& global) {
  const QPoint p(x, y);
  FLastGlobalMouse = global;
  switch (FDragState) {
    case dsNone:
      UpdateCursor(FPicBox, p);
      return;
    case dsMoveImage: {
      const int h0 = HorzScrollPosition(), v0 = VertScrollPosition();
      SetHorzScrollPosition(h0 + FMouseStart.x() - x);
      SetVertScrollPosition(v0 + FMouseStart.y() - y);
      FMouseStart = p + QPoint(HorzScrollPosition() - h0, VertScrollPosition() - v0);
      return;
    }
    default: {
      const TPGSelectionRect s =
          PGDragSelection(FDragState, FSelectionRect, PicBoxToImagePoint(p), FGrab, FAnchor,
                          QSize(FPixelGraphicWidth, FPixelGraphicHeight));
      SetSelectionRect(s.Left, s.Top, s.Width, s.Height);
    }
  }
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

void TPGImage::StartAutoScroll(QPoint globalMouse) {
  if (FAutoScrollTimer) return;
  FLastGlobalMouse = globalMouse;
  FAutoScrollTimer = new QTimer(this);
  FAutoScrollTimer->setInterval(50);
  connect(FAutoScrollTimer, &QTimer::timeout, this, [this] { AutoScrollStep(); });
  FAutoScrollTimer->start();
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

void TPGImage::BeginOwnerDragScroll(QPoint globalMouse) { StartAutoScroll(globalMouse); }

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
    // Beside the picture the view shows the arrow, unless its owner says otherwise.
    QCursor cursor(Qt::ArrowCursor);
    if (OnSetCursor) OnSetCursor(this, cursor);
    viewport()->setCursor(cursor);
    return;
  }
  const std::optional<TPGCursor> shape = PGSelectionCursor(
      FActionMode, FSelection, SelectionPicBoxRect(), pos, CanScroll(), FDragState == dsMoveImage);
  QCursor cursor = shape ? PGCursor(*shape) : FPicBox->Cursor;
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
