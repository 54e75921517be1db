#include "platform/qtcanvas.h"

#include <algorithm>
#include <cstdint>

#include "pgraphic/core/alpha.h"

namespace {

// The colour table of a palette image as QRgb, from its information block
// (the table the platform draws with: unused slots repeat entry 0).
std::vector<QRgb> ColorTable(const TPixelGraphic& image) {
  const int tableSize = image.ColorTableSize();
  std::vector<QRgb> table(std::size_t(std::max(tableSize, 1)), qRgb(0, 0, 0));
  const std::vector<std::uint8_t>& info = image.BitmapInfo();
  for (int i = 0; i < tableSize && BitmapInfoHeaderSize + 4 * i + 3 <= int(info.size()); ++i) {
    const std::uint8_t* slot = info.data() + BitmapInfoHeaderSize + 4 * i;
    table[std::size_t(i)] = qRgb(slot[2], slot[1], slot[0]);
  }
  return table;
}

// One axis of a stretch: the target pixels [First, Last] that are drawn and,
// for each, the source position it shows.
struct TAxis {
  int First = 0, Last = -1;
  std::vector<int> Source;
};

TAxis MapAxis(int from, int to, int sourceSize, int visibleLo, int visibleHi) {
  TAxis axis;
  const std::int64_t size = std::int64_t(to) - from;
  if (size == 0 || sourceSize <= 0) return axis;
  // Covered pixels: from..to-1, or to+1..from when mirrored.
  std::int64_t lo = size > 0 ? from : std::int64_t(to) + 1;
  std::int64_t hi = size > 0 ? std::int64_t(to) - 1 : from;
  lo = std::max<std::int64_t>(lo, visibleLo);
  hi = std::min<std::int64_t>(hi, visibleHi);
  if (lo > hi) return axis;
  axis.First = int(lo);
  axis.Last = int(hi);
  const std::int64_t span = size > 0 ? size : -size;
  axis.Source.reserve(std::size_t(hi - lo + 1));
  for (std::int64_t p = lo; p <= hi; ++p) {
    const std::int64_t i = size > 0 ? p - from : from - p;
    axis.Source.push_back(int(i * sourceSize / span));
  }
  return axis;
}

void ConvertRow(const std::uint8_t* row, int bitCount, const std::vector<int>& columns,
                const std::vector<QRgb>& table, QRgb* out) {
  const std::size_t n = columns.size();
  switch (bitCount) {
    case 24:
      for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t* p = row + 3 * std::size_t(columns[i]);
        out[i] = 0xFF000000u | (QRgb(p[2]) << 16) | (QRgb(p[1]) << 8) | p[0];
      }
      break;
    case 8:
      for (std::size_t i = 0; i < n; ++i) out[i] = table[row[columns[i]]];
      break;
    case 4:
      for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t b = row[columns[i] >> 1];
        out[i] = table[(columns[i] & 1) ? (b & 0x0F) : (b >> 4)];
      }
      break;
    default:
      for (std::size_t i = 0; i < n; ++i)
        out[i] = table[(row[columns[i] >> 3] >> (7 - (columns[i] & 7))) & 1];
      break;
  }
}

// Transparent pixels are laid on a checkerboard of 8-pixel squares, fixed
// to the view's pixels, as image editors show what lets the page through.
void OverCheckerboard(const std::uint8_t* alpha, const TAxis& cols, int y, QRgb* out) {
  for (std::size_t i = 0; i < cols.Source.size(); ++i) {
    const unsigned a = alpha[cols.Source[i]];
    if (a == 255) continue;
    const int x = cols.First + int(i);
    const TRGB square = ((x >> 3) + (y >> 3)) % 2 ? RGBColor(204, 204, 204) : RGBColor(255, 255, 255);
    const TRGB c = PGLaidOn(RGBColor(qRed(out[i]), qGreen(out[i]), qBlue(out[i])), a, square);
    out[i] = qRgb(int(GetRValue(c)), int(GetGValue(c)), int(GetBValue(c)));
  }
}

}  // namespace

bool PGStretchDraw(QPainter& painter, TPixelGraphic& image, const TRect& rect,
                   const QRect& limit) {
  const int w = image.Width(), h = image.Height();
  if (w <= 0 || h <= 0 || image.Empty() || !painter.isActive() || !painter.device()) return true;
  // What can be seen, in the painter's logical coordinates.
  const QPaintDevice* device = painter.device();
  QRect visible = painter.worldTransform().inverted().mapRect(
      QRect(0, 0, device->width(), device->height()));
  if (painter.hasClipping()) visible &= painter.clipBoundingRect().toAlignedRect();
  if (limit.isValid()) visible &= limit;
  if (visible.isEmpty()) return true;
  const TAxis cols = MapAxis(rect.Left, rect.Right, w, visible.left(), visible.right());
  const TAxis rows = MapAxis(rect.Top, rect.Bottom, h, visible.top(), visible.bottom());
  if (cols.Source.empty() || rows.Source.empty()) return true;

  const std::vector<QRgb> table =
      image.PixelFormat() == pgpf24Bit ? std::vector<QRgb>() : ColorTable(image);
  const std::uint8_t* bits = image.Bits();
  const std::size_t stride = image.BytesPerRow();
  QImage part(int(cols.Source.size()), int(rows.Source.size()), QImage::Format_RGB32);
  if (part.isNull()) return false;
  for (int j = 0; j < part.height(); ++j) {
    const std::uint8_t* row = bits + std::size_t(h - 1 - rows.Source[std::size_t(j)]) * stride;
    ConvertRow(row, image.BitCount(), cols.Source, table,
               reinterpret_cast<QRgb*>(part.scanLine(j)));
    if (image.HasAlpha())
      OverCheckerboard(image.AlphaLine(rows.Source[std::size_t(j)]), cols, rows.First + j,
                       reinterpret_cast<QRgb*>(part.scanLine(j)));
  }
  painter.drawImage(QPoint(cols.First, rows.First), part);
  return true;
}

// ---------------------------------------------------------------- TQtCanvas

QPainter* TQtCanvas::Prepared() {
  QPainter* p = Painter();
  if (!p) return nullptr;
  p->setPen(Pen);
  p->setBrush(Brush);
  p->setFont(Font);
  return p;
}

void TQtCanvas::Changed() {
  if (OnChange) OnChange(this);
}

void TQtCanvas::StretchDraw(TPixelGraphic& image, const TRect& rect) {
  QPainter* p = Painter();
  if (!p) return;
  const QPainter::CompositionMode mode = p->compositionMode();
  p->setCompositionMode(CopyMode);
  const bool drawn = PGStretchDraw(*p, image, rect, FLimit);
  p->setCompositionMode(mode);
  if (!drawn) RaisePG<EPixelGraphic>(msgFailed, "StretchDIBits");
  Changed();
}

void TQtCanvas::MoveTo(int x, int y) { FPenPos = QPoint(x, y); }

void TQtCanvas::LineTo(int x, int y) {
  if (QPainter* p = Prepared()) {
    QPen pen = Pen;
    pen.setCapStyle(Qt::FlatCap);
    p->setPen(pen);
    p->drawLine(FPenPos, QPoint(x, y));
  }
  FPenPos = QPoint(x, y);
  Changed();
}

void TQtCanvas::FillRect(const TRect& r) {
  if (QPainter* p = Prepared())
    p->fillRect(QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top), Brush);
  Changed();
}

void TQtCanvas::Rectangle(const TRect& r) {
  if (QPainter* p = Prepared()) {
    if (r.Right - r.Left > 0 && r.Bottom - r.Top > 0)
      p->drawRect(QRect(r.Left, r.Top, r.Right - r.Left - 1, r.Bottom - r.Top - 1));
  }
  Changed();
}

void TQtCanvas::TextOut(int x, int y, const QString& text) {
  if (QPainter* p = Prepared()) {
    const QFontMetrics metrics(Font);
    p->drawText(QPoint(x, y + metrics.ascent()), text);
  }
  Changed();
}

// ---------------------------------------------------------------- TQtImageCanvas

TQtImageCanvas::TQtImageCanvas(TPixelGraphic& image) : FImage(image) {}

TQtImageCanvas::~TQtImageCanvas() { ReleasePainter(); }

QPainter* TQtImageCanvas::Painter() {
  if (!FPainter.isActive()) {
    if (FImage.Empty()) return nullptr;
    const int w = FImage.Width(), h = FImage.Height();
    const std::uint8_t* bits = FImage.Bits();
    const std::vector<QRgb> table =
        FImage.PixelFormat() == pgpf24Bit ? std::vector<QRgb>() : ColorTable(FImage);
    std::vector<int> columns(static_cast<std::size_t>(w));
    for (int x = 0; x < w; ++x) columns[std::size_t(x)] = x;
    FSurface = QImage(w, h, QImage::Format_RGB32);
    if (FSurface.isNull()) return nullptr;
    for (int y = 0; y < h; ++y)
      ConvertRow(bits + std::size_t(h - 1 - y) * FImage.BytesPerRow(), FImage.BitCount(), columns,
                 table, reinterpret_cast<QRgb*>(FSurface.scanLine(y)));
    FOriginal.assign(reinterpret_cast<const QRgb*>(FSurface.constBits()),
                     reinterpret_cast<const QRgb*>(FSurface.constBits()) + std::size_t(w) * h);
    if (!FPainter.begin(&FSurface)) {
      FSurface = QImage();
      return nullptr;
    }
    FPainter.setPen(Pen);
    FPainter.setBrush(Brush);
    FPainter.setFont(Font);
    PGCanvasHoldsPainter(this, true);
  }
  // Drawing is pending until the next direct pixel access flushes it.
  FImage.Canvas();
  return &FPainter;
}

void TQtImageCanvas::Flush() {
  if (!FWritingBack) ReleasePainter();
}

void TQtImageCanvas::ReleasePainter() {
  if (!FPainter.isActive()) return;
  FPainter.end();
  WriteBack();
  FSurface = QImage();
  FOriginal.clear();
  FOriginal.shrink_to_fit();
  PGCanvasHoldsPainter(this, false);
}

void TQtImageCanvas::WriteBack() {
  const int w = FSurface.width(), h = FSurface.height();
  if (w != FImage.Width() || h != FImage.Height() || FImage.Empty()) return;
  // Pixel writes flush the image, which lands here again: ignore that.
  FWritingBack = true;
  const bool trueColor = FImage.PixelFormat() == pgpf24Bit;
  for (int y = 0; y < h; ++y) {
    const QRgb* now = reinterpret_cast<const QRgb*>(FSurface.constScanLine(y));
    const QRgb* before = FOriginal.data() + std::size_t(y) * w;
    for (int x = 0; x < w; ++x) {
      if (now[x] == before[x]) continue;
      const TRGB c = RGBColor(qRed(now[x]), qGreen(now[x]), qBlue(now[x]));
      FImage.SetPixel(x, y, trueColor ? c : FImage.ColorToIndex(c));
    }
  }
  FWritingBack = false;
}

// ---------------------------------------------------------------- others

TQtPainterCanvas::TQtPainterCanvas(QPainter& painter, const QRect& limit) : FPainter(painter) {
  FLimit = limit;
}

std::unique_ptr<TPGCanvas> TQtCanvasFactory::CreateCanvas(TPixelGraphic& image) {
  std::unique_ptr<TQtImageCanvas> canvas(new TQtImageCanvas(image));
  canvas->OnChange = [&image](void*) { image.Changed(); };
  return canvas;
}
