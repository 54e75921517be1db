#include "app/ui/spliteditor.h"

#include <QPainter>

#include <cstdint>

#include "app/splitgrid.h"
#include "pgraphic/view/pgimage.h"
#include "platform/cursors.h"

namespace {

// Filling with white under the XOR raster operation inverts every colour
// channel, so a line shows on any picture and a second one at the same place
// takes it away again.
void InvertRect(QPainter& painter, const QRect& r) { painter.fillRect(r, QColor(255, 255, 255)); }

}  // namespace

TSplitEditor::TSplitEditor(TSplitGrid& grid, TPGImage& view, QObject* parent)
    : QObject(parent), FGrid(grid), FView(view) {}

void TSplitEditor::SetMode(TSplitMode mode) {
  const bool selecting = mode == TSplitMode::Rectangle || mode == TSplitMode::Cross;
  FView.SetActionMode(selecting ? amCreateSelection : amNone);
  if (mode == FMode) return;
  FMode = mode;
  emit ModeChanged(mode);
}

void TSplitEditor::MouseMove(int x, int y) {
  emit StatusText(QStringLiteral("X: %1 Y: %2").arg(x).arg(y));
  if (!LineMode()) return;
  if (FDraggingHorz) {
    MoveFeedback(FLastHorzLine, y, true);
  } else if (FDraggingVert) {
    MoveFeedback(FLastVertLine, x, false);
  } else if (FGrid.ContainsHorz(y)) {
    PGSetScreenCursor(TPGCursor::crSizeNS);
  } else if (FGrid.ContainsVert(x)) {
    PGSetScreenCursor(TPGCursor::crSizeWE);
  } else {
    PGSetScreenCursor(TPGCursor::crDefault);
  }
}

void TSplitEditor::MouseDown(Qt::MouseButton button, int x, int y) {
  if (!LineMode()) return;
  if (button == Qt::RightButton) {
    SetMode(FMode == TSplitMode::Horizontal ? TSplitMode::Vertical : TSplitMode::Horizontal);
    return;
  }
  if (button != Qt::LeftButton) return;
  // The screen cursor tells what the last move found under the mouse.
  const Qt::CursorShape hover = PGScreenCursorShape();
  if (hover == Qt::SizeVerCursor) {
    FGrid.GrabHorz(y);
    FDraggingHorz = true;
    // The feedback takes the grabbed line's place until the mouse moves.
    FLastHorzLine = y;
    Changed();
  } else if (hover == Qt::SizeHorCursor) {
    FGrid.GrabVert(x);
    FDraggingVert = true;
    FLastVertLine = x;
    Changed();
  } else if (FMode == TSplitMode::Horizontal) {
    FDraggingHorz = true;
    PGSetScreenCursor(TPGCursor::crSizeNS);
  } else {
    FDraggingVert = true;
    PGSetScreenCursor(TPGCursor::crSizeWE);
  }
}

void TSplitEditor::MouseUp(Qt::MouseButton, int x, int y) {
  const int width = FView.PixelGraphicWidth(), height = FView.PixelGraphicHeight();
  if (FMode == TSplitMode::Cross) {
    FGrid.Cross(x, y, width, height);
    Changed();
    return;
  }
  if (!LineMode()) return;
  if (FDraggingHorz) {
    FGrid.DropHorz(y, height);
  } else if (FDraggingVert) {
    FGrid.DropVert(x, width);
  }
  CancelDrag();
  Changed();
  PGSetScreenCursor(TPGCursor::crDefault);
}

void TSplitEditor::SelectionMade() {
  if (FMode == TSplitMode::Rectangle) {
    FGrid.Rectangle(FView.SelectionLeft(), FView.SelectionTop(), FView.SelectionWidth(),
                    FView.SelectionHeight(), FView.PixelGraphicWidth(), FView.PixelGraphicHeight());
    FView.SetSelection(false);
    Changed();
  } else if (FMode == TSplitMode::Cross) {
    FView.SetSelection(false);
    FView.viewport()->update();
  }
}

void TSplitEditor::TopRulerRelease(int column, bool click) {
  if (click) SetMode(TSplitMode::Horizontal);
  // The grid's rule counts in top-ruler pixels, which start 25 left of column 0.
  if (FGrid.TopRulerClick(std::int64_t{column} + 25, FView.PixelGraphicWidth())) Changed();
}

void TSplitEditor::LeftRulerRelease(int row, bool click) {
  if (click) SetMode(TSplitMode::Vertical);
  if (FGrid.LeftRulerClick(row, FView.PixelGraphicHeight())) Changed();
}

void TSplitEditor::CancelDrag() {
  FDraggingHorz = FDraggingVert = false;
  FLastHorzLine = FLastVertLine = -1;
}

void TSplitEditor::Changed() {
  FView.viewport()->update();
  emit GridChanged();
}

void TSplitEditor::Paint(QPainter& painter) {
  const QPoint origin = FView.PicBox()->pos();
  const int width = FView.viewport()->width(), height = FView.viewport()->height();
  painter.save();
  painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  for (int y : FGrid.HorzSplits.Values()) InvertRect(painter, QRect(0, origin.y() + y, width, 1));
  for (int x : FGrid.VertSplits.Values()) InvertRect(painter, QRect(origin.x() + x, 0, 1, height));
  if (FDraggingHorz && FLastHorzLine != -1)
    InvertRect(painter, QRect(0, origin.y() + FLastHorzLine, width, 1));
  if (FDraggingVert && FLastVertLine != -1)
    InvertRect(painter, QRect(origin.x() + FLastVertLine, 0, 1, height));
  painter.restore();
}

void TSplitEditor::MoveFeedback(int& last, int position, bool horizontal) {
  if (last != -1) horizontal ? UpdateViewRow(last) : UpdateViewColumn(last);
  last = position;
  horizontal ? UpdateViewRow(last) : UpdateViewColumn(last);
}

void TSplitEditor::UpdateViewRow(int y) {
  FView.viewport()->update(QRect(0, FView.PicBox()->y() + y, FView.viewport()->width(), 1));
}

void TSplitEditor::UpdateViewColumn(int x) {
  FView.viewport()->update(QRect(FView.PicBox()->x() + x, 0, 1, FView.viewport()->height()));
}
