#pragma once
// TPicBox: the picture box of the image view, a transparent child of the
// view's viewport whose bounds are exactly the displayed image. It draws
// nothing of its own background; all mouse input on the image arrives here
// and is dispatched to the view's selection logic and to the owner.

#include <QColor>
#include <QCursor>
#include <QWidget>

#include <functional>

#include "pgraphic/core/types.h"

class QMenu;
class QPainter;

// Mouse events: Button is the button that changed (NoButton for moves),
// Buttons those held, X and Y in the sender's coordinates.
using TPGMouseEvent = std::function<void(void* Sender, Qt::MouseButton Button,
                                         Qt::MouseButtons Buttons, Qt::KeyboardModifiers Shift,
                                         int X, int Y)>;
// Paint events: Canvas is open on the sender's surface for the call.
using TPGPaintEvent = std::function<void(void* Sender, QPainter& Canvas)>;

class TPicBox : public QWidget {
  Q_OBJECT
 public:
  explicit TPicBox(QWidget* parent);

  // Filled by the owning view: called first on down, move and paint, last on up.
  TPGMouseEvent InternalMouseDown, InternalMouseMove, InternalMouseUp;
  // Paints the view's part of the box for the region given; false when
  // that was all the paint was for, so the owner's OnPaint is not called.
  std::function<bool(QPainter&, const QRegion&)> InternalPaint;
  // The owner's handlers.
  TPGMouseEvent OnMouseDown, OnMouseMove, OnMouseUp;
  TPGPaintEvent OnPaint;
  TNotifyEvent OnClick, OnDblClick;

  // Colour of the empty frame the view draws while no picture is ready.
  QColor Color;
  // The cursor of the box itself; the view derives the shown one from it.
  QCursor Cursor;
  QMenu* PopupMenu = nullptr;
  std::intptr_t Tag = 0;

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  void paintEvent(QPaintEvent* e) override;

 private:
  void Down(QMouseEvent* e);
  bool FLeftPressedInside = false;
};
