#include "app/ui/placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStringList>
#include <QWidget>

#include <optional>

#include "app/settingsstore.h"

namespace {

// The show states as the store keeps them.
constexpr int kShowNormal = 1;
constexpr int kShowMaximized = 3;
constexpr int kSmallest = 100;
constexpr int kLargest = 32767;

std::string RectText(const QRect& r) {
  // Left, top, right and bottom, the last two exclusive.
  return QStringLiteral("%1,%2,%3,%4")
      .arg(r.left())
      .arg(r.top())
      .arg(r.left() + r.width())
      .arg(r.top() + r.height())
      .toStdString();
}

std::optional<QRect> RectFrom(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  const QStringList parts = QString::fromStdString(*text).split(QLatin1Char(','));
  if (parts.size() != 4) return std::nullopt;
  int v[4];
  for (int i = 0; i < 4; ++i) {
    bool ok = false;
    v[i] = parts[i].trimmed().toInt(&ok);
    if (!ok || v[i] < -kLargest || v[i] > kLargest) return std::nullopt;
  }
  const int width = v[2] - v[0], height = v[3] - v[1];
  if (width < kSmallest || height < kSmallest) return std::nullopt;
  return QRect(v[0], v[1], width, height);
}

// Whether some screen shows enough of the rectangle to take hold of it.
bool OnSomeScreen(const QRect& r) {
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect common = screen->availableGeometry().intersected(r);
    if (common.width() >= 50 && common.height() >= 20) return true;
  }
  return false;
}

}  // namespace

void SavePlacement(TSettingsStore& store, const std::string& section, const QWidget& window) {
  store.WriteString(section, "Flags", "0");
  store.WriteString(section, "ShowCmd",
                    std::to_string(window.isMaximized() ? kShowMaximized : kShowNormal));
  store.WriteString(section, "MinMaxPos", "-1,-1,-1,-1");
  store.WriteString(section, "NormPos", RectText(window.normalGeometry().isValid()
                                                     ? window.normalGeometry()
                                                     : window.geometry()));
  store.WriteString(section, "PixelsPerInch", std::to_string(window.logicalDpiY()));
}

void RestorePlacement(TSettingsStore& store, const std::string& section, QWidget& window) {
  if (const std::optional<QRect> normal = RectFrom(store.ReadString(section, "NormPos"))) {
    if (OnSomeScreen(*normal)) {
      window.setGeometry(*normal);
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      // The screen it was on has gone: keep the size, as far as this one allows.
      window.resize(normal->size().boundedTo(screen->availableGeometry().size()));
    }
  }
  const std::optional<std::string> show = store.ReadString(section, "ShowCmd");
  if (show == std::to_string(kShowMaximized))
    window.setWindowState(window.windowState() | Qt::WindowMaximized);
}
