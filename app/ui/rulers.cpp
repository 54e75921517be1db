#include "app/ui/rulers.h"

#include <QMouseEvent>
#include <QPainter>

#include "app/splitgrid.h"
#include "pgraphic/view/pgimage.h"
#include "platform/cursors.h"

namespace {

constexpr int kTick = 5;
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

int TRuler::ScrollPosition() const {
  return FSide == rsTop ? FView.HorzScrollPosition() : FView.VertScrollPosition();
}

const TIntegerList& TRuler::Markers() const {
  return FSide == rsTop ? FGrid.VertSplits : FGrid.HorzSplits;
}

int TRuler::ImagePosition(QPoint p) const {
  return FSide == rsTop ? p.x() - Thickness + ScrollPosition() : p.y() + ScrollPosition();
}

int TRuler::RulerPosition(int position) const {
  return FSide == rsTop ? position + Thickness - ScrollPosition() : position - ScrollPosition();
}

void TRuler::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  const bool top = FSide == rsTop;
  if (top) painter.fillRect(0, 0, Thickness, Thickness, palette().color(QPalette::Button));
  const QColor black(Qt::black);
  painter.setPen(black);
  // Ticks run as far as the window reaches; one in ten is long and labelled.
  const int end = top ? window()->width() : window()->height();
  const int scroll = ScrollPosition();
  int counter = 49;
  for (int p = top ? Thickness : 0; p < end; p += kTick) {
    ++counter;
    const bool labelled = counter % 10 == 0;
    const int from = labelled ? 0 : Thickness - kShortTick;
    if (top) {
      Column(painter, p, from, Thickness, black);
    } else {
      Row(painter, p, from, Thickness, black);
    }
    if (!labelled) continue;
    const QString label = QString::number((top ? p - Thickness : p) + scroll);
    const QRect box = top ? QRect(p + 2, 1, 200, Thickness) : QRect(1, p + 2, 200, Thickness);
    painter.drawText(box, Qt::AlignLeft | Qt::AlignTop, label);
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
  const int position = ImagePosition(event->position().toPoint());
  emit StatusText((FSide == rsTop ? QStringLiteral("X: ") : QStringLiteral("Y: ")) +
                  QString::number(position));
}

void TRuler::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  const bool click = event->button() == Qt::LeftButton && rect().contains(p);
  emit Released(ImagePosition(p), click);
}
