#include "widgets/autourllabel.h"

#include <QMouseEvent>

#include "platform/shellopen.h"

TAutoURLLabel::TAutoURLLabel(QWidget* parent) : QLabel(parent) {
  QFont linkFont = font();
  linkFont.setUnderline(true);
  setFont(linkFont);
  QPalette linkPalette = palette();
  linkPalette.setColor(QPalette::WindowText, Qt::blue);
  setPalette(linkPalette);
  resize(100, height());
}

TAutoURLLabel::TAutoURLLabel(const QString& caption, QWidget* parent) : TAutoURLLabel(parent) {
  SetCaption(caption);
}

void TAutoURLLabel::SetURL(const QString& url) {
  FURL = url;
  update();
}

void TAutoURLLabel::SetCaption(const QString& caption) {
  if (FURL.isEmpty() || FURL == FPreviousCaption) FURL = caption;
  FPreviousCaption = caption;
  QLabel::setText(caption);
  if (caption.isEmpty())
    unsetCursor();
  else
    setCursor(Qt::PointingHandCursor);
}

void TAutoURLLabel::mousePressEvent(QMouseEvent* event) {
  QLabel::mousePressEvent(event);
  if (!text().isEmpty()) ShellOpen(FURL);
}
