#include "app/ui/rulers.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

#include "app/cut/splitgrid.h"
#include "pgraphic_qt/view/pgimage.h"
#include "platform/cursors.h"

namespace {

constexpr int kShortTick = 5;
constexpr int kMarkerStart = 10;

// Lines of one pixel, start included and end excluded.
void Column(QPainter& p, int x, int y0, int y1, const QColor& c) { p.fillRect(x, y0, 1, y1 - y0, c); }
void Row(QPainter& p, int y, int x0, int x1, const QColor& c) { p.fillRect(x0, y, x1 - x0, 1, c); }

}  // namespace

TRuler::TRuler(TSide side, const TSplitGrid& grid, TPGImage& view, QWidget* parent)
    : QWidget(parent), FSide(side), FGrid(grid), FView(view) {
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  QFont arial(QStringLiteral("Arial"));
  arial.setPixelSize(9);
  setFont(arial);
  if (side == rsTop)
    setFixedHeight(Thickness);
  else
    setFixedWidth(Thickness);
}

TViewAxis TRuler::Axis() const {
  const QWidget* box = FView.PicBox();
  const bool top = FSide == rsTop;
  const int image = top ? FView.PixelGraphicWidth() : FView.PixelGraphicHeight();
  const int origin = top ? box->x() : box->y();
  if (image <= 0) return {origin, 1, 1};
  return {origin, image, top ? box->width() : box->height()};
}

const TIntegerList& TRuler::Markers() const {
  return FSide == rsTop ? FGrid.VertSplits : FGrid.HorzSplits;
}

int TRuler::ImagePosition(QPointF p) const {
  return FSide == rsTop ? PixelUnder(Axis(), p.x() - Thickness) : PixelUnder(Axis(), p.y());
}

int TRuler::RulerPosition(int position) const {
  return LineAt(Axis(), position) + (FSide == rsTop ? Thickness : 0);
}

void TRuler::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  const bool top = FSide == rsTop;
  if (top) painter.fillRect(0, 0, Thickness, Thickness, palette().color(QPalette::Button));
  const QColor black(Qt::black);
  painter.setPen(black);
  const TViewAxis axis = Axis();
  const TRulerScale scale = RulerScaleFor(double(axis.Box) / axis.Image);
  const int start = top ? Thickness : 0, end = top ? width() : height();
  // From the first tick at or before the ruler's start (never before 0).
  int first = PixelUnder(axis, start - (top ? Thickness : 0));
  first = std::max(0, first - ((first % scale.Minor) + scale.Minor) % scale.Minor);
  // Ticks and numbers only where the image is: beyond it they would measure nothing.
  const int extent = top ? FView.PixelGraphicWidth() : FView.PixelGraphicHeight();
  for (std::int64_t t = first; t <= extent; t += scale.Minor) {
    const int p = RulerPosition(int(t));
    if (p >= end) break;
    if (p < start) continue;
    const bool labelled = t % scale.Major == 0;
    const int from = labelled ? 0 : Thickness - kShortTick;
    if (top)
      Column(painter, p, from, Thickness, black);
    else
      Row(painter, p, from, Thickness, black);
    if (!labelled) continue;
    const QRect box = top ? QRect(p + 2, 1, 200, Thickness) : QRect(1, p + 2, 200, Thickness);
    painter.drawText(box, Qt::AlignLeft | Qt::AlignTop, QString::number(t));
  }
  // The first entry is left out: on a fresh grid it is the 0 edge.
  const QColor red(255, 0, 0);
  const std::vector<std::int32_t>& markers = Markers().Values();
  for (std::size_t i = 1; i < markers.size(); ++i) {
    const int at = RulerPosition(markers[i]);
    if (top)
      Column(painter, at, kMarkerStart, Thickness, red);
    else
      Row(painter, at, kMarkerStart, Thickness, red);
  }
}

void TRuler::mouseMoveEvent(QMouseEvent* event) {
  if (!PGScreenCursorIsDefault()) PGSetScreenCursor(TPGCursor::crDefault);
  const int position = ImagePosition(event->position());
  emit StatusText((FSide == rsTop ? QStringLiteral("X: ") : QStringLiteral("Y: ")) +
                  QString::number(position));
}

void TRuler::mouseReleaseEvent(QMouseEvent* event) {
  const QPointF p = event->position();
  const bool click = event->button() == Qt::LeftButton && rect().contains(p.toPoint());
  emit Released(ImagePosition(p), click);
}
