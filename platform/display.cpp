#include "platform/display.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {
int g_depthOverride = 0;

int EnvironmentDepth() {
  bool ok = false;
  const int depth = qEnvironmentVariableIntValue("TESSEL_SCREEN_DEPTH", &ok);
  return ok && depth > 0 ? depth : 0;
}
}  // namespace

int PGScreenDepth() {
  if (g_depthOverride > 0) return g_depthOverride;
  if (const int env = EnvironmentDepth()) return env;
  if (const QScreen* screen = QGuiApplication::primaryScreen()) return screen->depth();
  return 32;
}

int PGScreenPixelsPerInch() {
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    return std::max(1, qRound(screen->logicalDotsPerInch()));
  return 96;
}

int PGScaleRounded(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  const std::int64_t product = std::int64_t(number) * numerator;
  const std::int64_t magnitude = std::llabs(product), divisor = std::llabs(denominator);
  const std::int64_t quotient = (magnitude + divisor / 2) / divisor;
  return int((product < 0) != (denominator < 0) ? -quotient : quotient);
}

void PGPlaceOnScreen(QWidget& window, int downDivisor) {
  const QWidget* parent = window.parentWidget();
  const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
  if (!screen || downDivisor <= 0) return;
  const QRect area = screen->geometry();
  const QSize size = window.frameGeometry().size();
  window.move(area.left() + (area.width() - size.width()) / 2,
              area.top() + (area.height() - size.height()) / downDivisor);
}

void PGSetScreenDepthOverride(int depth) {
  const int before = PGScreenDepth();
  g_depthOverride = depth > 0 ? depth : 0;
  if (PGScreenDepth() != before && QCoreApplication::instance())
    emit TPGDisplay::Instance()->DisplayChanged();
}

int PGScrollBarExtent(const QWidget* widget) {
  const QStyle* style = widget ? widget->style() : QApplication::style();
  return style ? style->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, widget) : 16;
}

TPGDisplay::TPGDisplay() : QObject(QCoreApplication::instance()) {
  if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    connect(app, &QGuiApplication::primaryScreenChanged, this, &TPGDisplay::DisplayChanged);
}

TPGDisplay* TPGDisplay::Instance() {
  // Parented to the application, so it goes with it.
  static QPointer<TPGDisplay> instance;
  if (!instance) instance = new TPGDisplay();
  return instance;
}
