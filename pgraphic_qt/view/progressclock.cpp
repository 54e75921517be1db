#include "pgraphic_qt/view/progressclock.h"

#include <QPainter>
#include <cmath>
#include <numbers>

namespace {
int RoundHalfEven(double v) { return int(std::nearbyint(v)); }
}  // namespace

void PGDrawProgressClock(QPainter& painter, QPoint origin, int step, int percent,
                         const QColor& lineColor, const QColor& faceColor) {
  const double pi = std::numbers::pi;
  const double minute = percent * pi * 0.02;
  const double hour = ((step - 1) * 2 * pi + minute) / 12;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QPen(lineColor, 1));
  painter.setBrush(faceColor);
  // A one-pixel pen around a 14 x 14 rectangle covers 15 x 15 pixels.
  painter.drawEllipse(QRect(origin, QSize(PGProgressClockSize - 1, PGProgressClockSize - 1)));
  const QPoint centre = origin + QPoint(7, 7);
  painter.drawLine(centre, centre + QPoint(RoundHalfEven(6 * std::sin(hour)),
                                           -RoundHalfEven(6 * std::cos(hour))));
  painter.drawLine(centre, centre + QPoint(RoundHalfEven(7 * std::sin(minute)),
                                           -RoundHalfEven(7 * std::cos(minute))));
  painter.restore();
}
