#include "widgets/qv_loupe.h"

#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <qdrawutil.h>

#include <algorithm>
#include <cmath>

#include "platform/screengrab.h"
#include "widgets/qv_timer.h"

namespace {

// Nearest integer, a half going to the even neighbour (15.5 -> 16, 16.5 -> 16).
int RoundHalfEven(double value) {
  const double lower = std::floor(value);
  const double fraction = value - lower;
  if (fraction > 0.5) return static_cast<int>(lower) + 1;
  if (fraction < 0.5) return static_cast<int>(lower);
  return std::fmod(lower, 2.0) == 0.0 ? static_cast<int>(lower) : static_cast<int>(lower) + 1;
}

int CaptureExtent(int extent, double zoom) {
  if (extent <= 0) return 0;
  const double scaled = extent / zoom;
  // A huge zoom still reads one pixel rather than nothing.
  if (!(scaled < extent)) return extent;
  return std::max(1, RoundHalfEven(scaled));
}

void DrawBevel(QPainter& painter, QRect& rect, TQV_Loupe::TBevelCut cut, int width,
               const QPalette& palette) {
  if (cut == TQV_Loupe::bvNone || width <= 0) return;
  if (cut == TQV_Loupe::bvSpace)
    qDrawPlainRect(&painter, rect, palette.color(QPalette::Window), width);
  else
    qDrawShadePanel(&painter, rect, palette, cut == TQV_Loupe::bvLowered, width);
  rect.adjust(width, width, -width, -width);
}

}  // namespace

TQV_Loupe::TQV_Loupe(QWidget* parent) : QWidget(parent), FTimer(std::make_unique<TQV_Timer>()) {
  // The picture covers every pixel, so nothing behind needs painting first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  FTimer->SetEnabled(false);
  FTimer->SetInterval(FInterval);
  FTimer->SetOnTimer([this] { Capture(); });
  resize(100, 100);
  ClearPicture();
}

TQV_Loupe::~TQV_Loupe() { FTimer.reset(); }

void TQV_Loupe::SetZoomLevel(double zoom) {
  if (!(zoom > 0.0)) zoom = 1.0;
  if (zoom == FZoomLevel) return;
  FZoomLevel = zoom;
}

void TQV_Loupe::SetInterval(int milliseconds) {
  milliseconds = std::max(milliseconds, 0);
  FTimer->SetEnabled(false);
  FInterval = milliseconds;
  FTimer->SetInterval(milliseconds);
  // Restarting an inactive magnifier would make it capture while it says it
  // does not; the new interval waits for Active.
  FTimer->SetEnabled(FActive);
}

void TQV_Loupe::SetActive(bool active) {
  FActive = active;
  FTimer->SetEnabled(active);
}

void TQV_Loupe::SetBevelInner(TBevelCut cut) {
  if (cut == FBevelInner) return;
  FBevelInner = cut;
  update();
}

void TQV_Loupe::SetBevelOuter(TBevelCut cut) {
  if (cut == FBevelOuter) return;
  FBevelOuter = cut;
  update();
}

void TQV_Loupe::SetBevelwidth(int width) {
  width = std::max(width, 0);
  if (width == FBevelwidth) return;
  FBevelwidth = width;
  update();
}

QSize TQV_Loupe::CaptureSize() const {
  return QSize(CaptureExtent(width(), FZoomLevel), CaptureExtent(height(), FZoomLevel));
}

void TQV_Loupe::ClearPicture() {
  FOutput = QImage(size(), QImage::Format_RGB32);
  FOutput.fill(palette().color(QPalette::Window));
}

void TQV_Loupe::Capture() {
  const QSize capture = CaptureSize();
  if (!isVisible() || capture.isEmpty()) return;
  if (FOutput.size() != size()) ClearPicture();
  const QPoint pointer = QCursor::pos();
  const QRect area(QPoint(pointer.x() - capture.width() / 2, pointer.y() - capture.height() / 2),
                   capture);
  const QImage shot = GrabScreenArea(area);
  if (shot.isNull()) {
    // Where the platform forbids reading the screen the face stays empty.
    FOutput.fill(palette().color(QPalette::Window));
  } else {
    QPainter painter(&FOutput);
    painter.drawImage(FOutput.rect(), shot);
  }
  update();
}

void TQV_Loupe::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.drawImage(event->rect(), FOutput, event->rect());
  // The bevels frame the picture on top of its edge, so the picture keeps
  // its centre and scale.
  QRect frame = rect();
  DrawBevel(painter, frame, FBevelOuter, FBevelwidth, palette());
  DrawBevel(painter, frame, FBevelInner, FBevelwidth, palette());
}

void TQV_Loupe::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (FOutput.size() != size()) ClearPicture();
}

void TQV_Loupe::mouseReleaseEvent(QMouseEvent* event) {
  event->accept();
  emit MouseReleased(event->button());
}
