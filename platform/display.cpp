#include "platform/display.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QPointer>
#include <QWidget>

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

void PGSetScreenDepthOverride(int depth) {
  const int before = PGScreenDepth();
  g_depthOverride = depth > 0 ? depth : 0;
  if (PGScreenDepth() != before && QCoreApplication::instance())
    emit TPGDisplay::Instance()->DisplayChanged();
}

int PGSystemMetric(TPGSystemMetric metric, const QWidget* widget) {
  const QStyle* style = widget ? widget->style() : QApplication::style();
  switch (metric) {
    case TPGSystemMetric::SM_CXVSCROLL:
    case TPGSystemMetric::SM_CYHSCROLL:
      return style ? style->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, widget) : 16;
  }
  return 0;
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
