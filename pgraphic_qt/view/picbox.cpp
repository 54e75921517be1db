#include "pgraphic_qt/view/picbox.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace {
void Fire(const TPGMouseEvent& handler, void* sender, const QMouseEvent* e, Qt::MouseButton button) {
  if (!handler) return;
  const QPoint p = e->position().toPoint();
  handler(sender, button, e->buttons(), e->modifiers(), p.x(), p.y());
}
}  // namespace

TPicBox::TPicBox(QWidget* parent) : QWidget(parent), Cursor(Qt::ArrowCursor) {
  setMouseTracking(true);
  setAutoFillBackground(false);
  setFocusPolicy(Qt::NoFocus);
}

void TPicBox::Down(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) FLeftPressedInside = true;
  Fire(InternalMouseDown, this, e, e->button());
  Fire(OnMouseDown, this, e, e->button());
}

void TPicBox::mousePressEvent(QMouseEvent* e) { Down(e); }

void TPicBox::mouseDoubleClickEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton && OnDblClick) OnDblClick(this);
  Down(e);
}

void TPicBox::mouseMoveEvent(QMouseEvent* e) {
  Fire(InternalMouseMove, this, e, Qt::NoButton);
  Fire(OnMouseMove, this, e, Qt::NoButton);
}

void TPicBox::mouseReleaseEvent(QMouseEvent* e) {
  // The owner sees the release while the view's drag is still in progress.
  Fire(OnMouseUp, this, e, e->button());
  Fire(InternalMouseUp, this, e, e->button());
  if (e->button() == Qt::LeftButton && FLeftPressedInside) {
    FLeftPressedInside = false;
    if (rect().contains(e->position().toPoint()) && OnClick) OnClick(this);
  }
}

void TPicBox::contextMenuEvent(QContextMenuEvent* e) {
  if (PopupMenu)
    PopupMenu->popup(e->globalPos());
  else
    e->ignore();
}

void TPicBox::paintEvent(QPaintEvent* e) {
  QPainter painter(this);
  const bool ownerToo = !InternalPaint || InternalPaint(painter, e->region());
  if (ownerToo && OnPaint) OnPaint(this, painter);
}
