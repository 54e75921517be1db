#pragma once
// The view's selection: a rectangle in image pixels, shown as an animated
// frame of diagonal stripes just outside the selected pixels, with eight
// handles around it in one action mode; and the rules by which a left-button
// drag creates, moves or resizes it. The rules are free of widgets: the view
// hands in picture-box rectangles, picture-box points and image points, and
// applies what comes back.

#include <QBrush>
#include <QColor>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QSize>

#include <cstdint>
#include <optional>

#include "platform/cursors.h"

class QPainter;

enum TActionMode : std::uint8_t {
  amMoveImage,
  amMoveResizeCreateSelection,
  amMoveSelection,
  amMoveSelectionMoveImage,
  amCreateSelection,
  amNone,
};

enum TPGDragState : std::uint8_t {
  dsNone,
  dsMoveImage,
  dsMoveSelection,
  dsCreateSelection,
  dsSizeTopLeft,
  dsSizeTop,
  dsSizeTopRight,
  dsSizeLeft,
  dsSizeRight,
  dsSizeBottomLeft,
  dsSizeBottom,
  dsSizeBottomRight,
};

// In image pixels, not limited to the image.
struct TPGSelectionRect {
  int Left = 0;
  int Top = 0;
  int Width = 1;
  int Height = 1;
  bool operator==(const TPGSelectionRect&) const = default;
};

// The geometry below takes the selection's picture-box rectangle r, whose
// right and bottom edges are exclusive.

// The handle squares, five pixels each, three to eight pixels outside r, in
// their testing order: top-left, top, top-right, left, right, bottom-left,
// bottom, bottom-right.
QRect PGSelectionHandle(const QRect& r, int index);
// What a change of the frame around r repaints: the frame's band, wide
// enough for the handles when they are drawn.
QRegion PGSelectionStrips(const QRect& r, bool handles);
// The pixels the frame (and the handles' outlines) cover.
QRegion PGSelectionFramePixels(const QRect& r, bool handles);

// What a left press at picture-box point p starts; canScroll: the image is
// larger than the client area on a side with a scroll bar.
TPGDragState PGDragOnPress(TActionMode mode, bool shown, const QRect& r, QPoint p, bool canScroll);
// The distance, in image pixels, between image point q where a drag starts
// and the edges it moves.
QPoint PGDragGrab(TPGDragState drag, const TPGSelectionRect& selection, QPoint q);
// The selection a drag makes of `selection` with the mouse at image point c:
// a new one spans the anchor and c, both included; a moved one keeps at
// least one row and column on the image; a resized one keeps its opposite
// edges and at least one pixel.
TPGSelectionRect PGDragSelection(TPGDragState drag, const TPGSelectionRect& selection, QPoint c,
                                 QPoint grab, QPoint anchor, QSize image);
// The cursor over picture-box point p, none where the picture box's own
// shows. panning: the image is being dragged.
std::optional<TPGCursor> PGSelectionCursor(TActionMode mode, bool shown, const QRect& r, QPoint p,
                                           bool canScroll, bool panning);

// The animated frame: diagonal stripes four pixels wide in two colours,
// moving one pixel a tick.
class TPGSelectionFrame {
 public:
  void SetColor1(const QColor& value);
  void SetColor2(const QColor& value);
  // Draws a one-pixel frame just outside r and, with handles, their outlines.
  void Paint(QPainter& painter, const QRect& r, bool handles);
  // The next phase of the animation (0 to 7, then 0 again).
  void Step();

 private:
  QColor FColor1{255, 255, 255};
  QColor FColor2{255, 0, 0};
  QBrush FBrushes[8];
  bool FBrushesMade = false;
  int FPhase = 0;
};
