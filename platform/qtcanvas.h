#pragma once
// Drawing surfaces on QPainter: one that draws straight into an image's own
// pixel memory, one over a painter that is already open (a window during its
// paint), and the nearest-neighbour stretch that Draw uses on both.

#include <QFont>
#include <QPainter>
#include <QPen>
#include <QBrush>
#include <QImage>

#include <vector>

#include "pgraphic/core/canvas.h"

// Paints the whole image scaled into `rect` (Right < Left or Bottom < Top
// mirror that axis), picking the nearest source pixel like a colour-on-colour
// stretch. Only the target pixels inside the device, the painter's clip and
// `limit` (when valid) are converted, so the cost follows the visible area,
// not the image. False when the conversion memory could not be had.
bool PGStretchDraw(QPainter& painter, TPixelGraphic& image, const TRect& rect,
                   const QRect& limit = QRect());

class TQtCanvas : public TPGCanvas {
 public:
  // Kept by the canvas and applied to every painter it opens, so that pen,
  // brush and font outlast each painter.
  QPen Pen{QColor(Qt::black)};
  QBrush Brush{QColor(Qt::white)};
  QFont Font;
  // Raster operation of StretchDraw (the framework canvas's copy mode).
  QPainter::CompositionMode CopyMode = QPainter::CompositionMode_SourceOver;
  // Fired after each drawing call of this class.
  TNotifyEvent OnChange;

  // The painter, opened on demand; null when there is
  // nothing to draw on. Whoever draws through it directly calls Changed after.
  // An image's painter ends when the image's pixels are next accessed
  // directly (that completes the drawing): ask for it again after that.
  virtual QPainter* Painter() = 0;

  void StretchDraw(TPixelGraphic& image, const TRect& rect) override;
  // The framework canvas's common calls, in its conventions: lines leave out
  // their last pixel, rectangles cover Left..Right-1 and Top..Bottom-1.
  void MoveTo(int x, int y);
  void LineTo(int x, int y);
  void FillRect(const TRect& r);
  void Rectangle(const TRect& r);
  // Text with its top-left corner at (x, y), on a transparent ground.
  void TextOut(int x, int y, const QString& text);
  void Changed();

 protected:
  // Extra limit of StretchDraw (for example the region being painted).
  QRect FLimit;

 private:
  QPainter* Prepared();
  QPoint FPenPos;
};

// Draws into an image's pixels. QPainter paints on a top-down true-colour
// copy of the image (it can neither paint on indexed images nor keep its
// pixel rules on bottom-up rows seen through a flip: lines would land a row
// off); on flush every pixel that drawing changed is written back, exactly
// for 24 bits and as the nearest palette entry for palette images, and the
// copy is dropped, so that direct pixel writes in between are seen by the
// next drawing.
// Made only by TQtCanvasFactory for TPixelGraphic::Canvas, which it reports to.
class TQtImageCanvas : public TQtCanvas {
 public:
  ~TQtImageCanvas() override;
  QPainter* Painter() override;
  void Flush() override;
  void ReleasePainter() override;
  bool HoldsPainter() const { return FPainter.isActive(); }

 private:
  friend class TQtCanvasFactory;
  explicit TQtImageCanvas(TPixelGraphic& image);
  void WriteBack();
  TPixelGraphic& FImage;
  QImage FSurface;
  std::vector<QRgb> FOriginal;
  QPainter FPainter;
  bool FWritingBack = false;
};

// A surface over a painter that someone else opened and closes (a widget's
// paintEvent). It holds no context of its own.
class TQtPainterCanvas : public TQtCanvas {
 public:
  explicit TQtPainterCanvas(QPainter& painter, const QRect& limit = QRect());
  QPainter* Painter() override { return FPainter.isActive() ? &FPainter : nullptr; }
  void Flush() override {}
  void ReleasePainter() override {}

 private:
  QPainter& FPainter;
};

class TQtCanvasFactory : public TPGCanvasFactory {
 public:
  std::unique_ptr<TPGCanvas> CreateCanvas(TPixelGraphic& image) override;
};
