#include "platform/screengrab.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QScreen>

QImage GrabScreenArea(const QRect& area) {
  if (area.isEmpty()) return {};
  // Wayland compositors refuse screen reads to ordinary clients.
  if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) return {};

  QImage result(area.size(), QImage::Format_RGB32);
  result.fill(Qt::black);
  bool grabbed = false;
  QPainter painter(&result);
  // The area may straddle several screens; each is read separately, in
  // coordinates relative to that screen as grabWindow(0, ...) expects.
  for (QScreen* screen : QGuiApplication::screens()) {
    const QRect geometry = screen->geometry();
    const QRect part = area.intersected(geometry);
    if (part.isEmpty()) continue;
    const QRect local = part.translated(-geometry.topLeft());
    const QPixmap shot =
        screen->grabWindow(0, local.x(), local.y(), local.width(), local.height());
    if (shot.isNull()) continue;
    painter.drawPixmap(QRect(part.topLeft() - area.topLeft(), part.size()), shot);
    grabbed = true;
  }
  painter.end();
  if (!grabbed) return {};
  return result;
}
