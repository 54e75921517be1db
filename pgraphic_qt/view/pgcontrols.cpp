#include "pgraphic_qt/view/pgcontrols.h"

#include <QPainter>
#include <QPaintEvent>

void PGInvalidateOnParent(QWidget& control, const QRect& area, bool& busy) {
  if (busy || control.isWindow()) return;
  QWidget* parent = control.parentWidget();
  if (!parent) return;
  auto* seeThroughParent = dynamic_cast<TPGSeeThroughControl*>(parent);
  if (seeThroughParent && seeThroughParent->CountsAsTransparent()) {
    // What shows through the parent is drawn by its own parent, so the
    // whole parent has to be repainted from there.
    struct TClear {
      bool& Flag;
      ~TClear() { Flag = false; }
    } clear{busy};
    busy = true;
    seeThroughParent->Invalidate();
    return;
  }
  parent->update(area);
}

namespace {

// A one-pixel outline inside r.
void FrameRect(QPainter& painter, const QRect& r, const QColor& colour) {
  painter.fillRect(r.left(), r.top(), r.width(), 1, colour);
  painter.fillRect(r.left(), r.bottom(), r.width(), 1, colour);
  painter.fillRect(r.left(), r.top(), 1, r.height(), colour);
  painter.fillRect(r.right(), r.top(), 1, r.height(), colour);
}

}  // namespace

void TPGGroupBox::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  if (!Transparent()) painter.fillRect(rect(), palette().color(backgroundRole()));
  if (isCheckable()) {
    // The check indicator is the style's; only the background is ours.
    painter.end();
    QGroupBox::paintEvent(event);
    return;
  }
  const QFontMetrics metrics(font());
  const int textHeight = metrics.height();
  if (!title().isEmpty()) {
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextShowMnemonic;
    const QSize textSize = metrics.size(flags, title());
    const QRect caption(8, 0, textSize.width(), textHeight);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(caption, flags, title());
    // The frame line stops a pixel short of the caption on either side.
    painter.setClipRegion(QRegion(rect()).subtracted(caption.adjusted(-1, 0, 1, 0)));
  }
  const QRect frame(0, textHeight / 2, width(), height() - textHeight / 2);
  if (isFlat()) {
    FrameRect(painter, frame, palette().color(QPalette::Shadow));
  } else {
    FrameRect(painter, frame.translated(1, 1), palette().color(QPalette::Light));
    FrameRect(painter, frame, palette().color(QPalette::Dark));
  }
}

TPGPanel::TPGPanel(QWidget* parent) : TPGSeeThrough(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  setLineWidth(1);
}

void TPGPanel::SetCaption(const QString& caption) {
  if (caption == FCaption) return;
  FCaption = caption;
  Invalidate();
}

void TPGPanel::SetAlignment(Qt::Alignment alignment) {
  alignment &= Qt::AlignHorizontal_Mask;
  if (alignment == FAlignment) return;
  FAlignment = alignment;
  Invalidate();
}

void TPGPanel::paintEvent(QPaintEvent* event) {
  if (!FCaption.isEmpty()) {
    QPainter painter(this);
    const QRect inside = contentsRect();
    const int band = QFontMetrics(font()).height();
    const QRect line(inside.left(), inside.top() + (inside.height() - band) / 2, inside.width(),
                     band);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(line, FAlignment | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextExpandTabs,
                     FCaption);
  }
  // The frame is the bevel; with Transparent nothing fills the inside.
  QFrame::paintEvent(event);
}

TPGBevel::TPGBevel(QWidget* parent) : TPGSeeThrough(parent) {
  setFrameStyle(QFrame::Box | QFrame::Sunken);
}
