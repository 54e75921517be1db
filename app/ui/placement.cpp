#include "app/ui/placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStringList>
#include <QStyle>
#include <QWidget>

#include <algorithm>
#include <optional>

#include "app/common/settingsstore.h"

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

// The frame around a top-level window: as the window system reports it once
// the window is shown, else a title bar's height above it.
QMargins FrameOf(const QWidget& window) {
  const QRect frame = window.frameGeometry(), inner = window.geometry();
  if (frame != inner)
    return QMargins(inner.left() - frame.left(), inner.top() - frame.top(),
                    frame.right() - inner.right(), frame.bottom() - inner.bottom());
  return QMargins(0, window.style()->pixelMetric(QStyle::PM_TitleBarHeight), 0, 0);
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

std::optional<QRect> FitOntoScreen(const QRect& window, const QMargins& frame,
                                   const std::vector<QRect>& screens) {
  const QRect outer = window.marginsAdded(frame);
  const QRect* holder = nullptr;
  std::int64_t most = 0;
  for (const QRect& screen : screens) {
    const QRect common = screen.intersected(outer);
    // Enough to take hold of: a piece of the title bar's width and height.
    if (common.width() < 50 || common.height() < 20) continue;
    const std::int64_t area = std::int64_t(common.width()) * common.height();
    if (area > most) most = area, holder = &screen;
  }
  if (!holder) return std::nullopt;
  QRect room = holder->marginsRemoved(frame);
  if (room.width() < kSmallest || room.height() < kSmallest) room = *holder;
  QRect fitted(window.topLeft(), window.size().boundedTo(room.size()));
  fitted.moveLeft(std::clamp(fitted.left(), room.left(), room.left() + room.width() - fitted.width()));
  fitted.moveTop(std::clamp(fitted.top(), room.top(), room.top() + room.height() - fitted.height()));
  return fitted;
}

QRect FirstPlacement(const QRect& screen) {
  const QSize size(screen.width() * 3 / 4, screen.height() * 3 / 4);
  return QRect(screen.left() + (screen.width() - size.width()) / 2, screen.top() + (screen.height() - size.height()) / 2,
               size.width(), size.height());
}

void RestorePlacement(TSettingsStore& store, const std::string& section, QWidget& window) {
  const std::optional<QRect> normal = RectFrom(store.ReadString(section, "NormPos"));
  if (!normal) {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
      window.setGeometry(FirstPlacement(screen->availableGeometry()));
  } else {
    std::vector<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens()) screens.push_back(screen->availableGeometry());
    if (const std::optional<QRect> fitted = FitOntoScreen(*normal, FrameOf(window), screens)) {
      window.setGeometry(*fitted);
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      // The screen it was on has gone: keep the size, as far as this one allows.
      window.resize(normal->size().boundedTo(screen->availableGeometry().size()));
    }
  }
  const std::optional<std::string> show = store.ReadString(section, "ShowCmd");
  if (show == std::to_string(kShowMaximized))
    window.setWindowState(window.windowState() | Qt::WindowMaximized);
}
