// Drawing surfaces: drawing into images of every depth and reading it back
// with GetPixel, the colour table in use, the held contexts, and the
// nearest-neighbour stretch behind Draw.
#include <QtTest>

#include "support/expected_image.h"

#include "pgraphic/core/canvas.h"
#include "platform/platform.h"
#include "platform/qtcanvas.h"

Q_DECLARE_METATYPE(TRect)

namespace {

TRGB PositionColor(int x, int y) { return RGBColor(10 + 40 * x, 10 + 60 * y, 99); }

std::unique_ptr<TPixelGraphic> Image(int w, int h, TPGPixelFormat format, TPaletteIdent palette) {
  auto g = std::make_unique<TPixelGraphic>();
  g->SetPixelFormat(format);
  if (format != pgpf24Bit) g->SetPaletteIdent(palette);
  g->SetSizeAndFormat(w, h, format);
  return g;
}

TQtCanvas& CanvasOf(TPixelGraphic& g) { return static_cast<TQtCanvas&>(*g.Canvas()); }

}  // namespace

class CanvasTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() { PGInstallPlatform(); }

  void drawingReadBackByGetPixel_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("palette");
    QTest::newRow("24 bit") << int(pgpf24Bit) << int(pTrueColor);
    QTest::newRow("8 bit") << int(pgpf8Bit) << int(pSpecial216);
    QTest::newRow("4 bit") << int(pgpf4Bit) << int(pSys16);
    QTest::newRow("1 bit") << int(pgpf1Bit) << int(pBlackWhite);
  }

  void drawingReadBackByGetPixel() {
    QFETCH(int, format);
    QFETCH(int, palette);
    auto g = Image(10, 8, TPGPixelFormat(format), TPaletteIdent(palette));
    const TRGB white = RGBColor(255, 255, 255);
    const std::uint32_t whiteValue = g->PixelFormat() == pgpf24Bit ? white : g->ColorToIndex(white);
    g->SetPixel(9, 7, whiteValue);  // written directly before drawing: must survive
    int changes = 0;
    g->OnImageChange = [&](void*) { ++changes; };
    TQtCanvas& canvas = CanvasOf(*g);
    canvas.Pen = QPen(QColor(255, 255, 255));
    canvas.MoveTo(1, 2);
    canvas.LineTo(8, 2);
    canvas.Brush = QBrush(QColor(255, 255, 255));
    canvas.FillRect(TRect{2, 4, 5, 6});
    QCOMPARE(changes, 2);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 10; ++x) {
        const bool drawn = (y == 2 && x >= 1 && x < 8) || (y >= 4 && y < 6 && x >= 2 && x < 5) ||
                           (x == 9 && y == 7);
        QCOMPARE(g->GetPixel(x, y), drawn ? whiteValue : 0u);
      }
    // Drawing after a direct read and write goes on from the current pixels.
    g->SetPixel(0, 0, whiteValue);
    canvas.FillRect(TRect{0, 7, 1, 8});
    QCOMPARE(g->GetPixel(0, 0), whiteValue);
    QCOMPARE(g->GetPixel(0, 7), whiteValue);
  }

  void paletteChangesReachTheNextDrawing() {
    auto g = Image(6, 4, pgpf8Bit, pGray16);
    const TRGB green = RGBColor(10, 200, 30);
    TQtCanvas& canvas = CanvasOf(*g);
    canvas.Brush = QBrush(QColor(10, 200, 30));
    canvas.FillRect(TRect{0, 0, 1, 1});
    const std::uint32_t nearest = g->GetPixel(0, 0);
    QCOMPARE(nearest, g->ColorToIndex(green));
    g->SetPaletteEntry(5, green);
    canvas.FillRect(TRect{1, 0, 2, 1});
    QCOMPARE(g->GetPixel(1, 0), 5u);
    QCOMPARE(g->GetPixel(0, 0), nearest);
    g->SetSizeAndFormat(30, 30, pgpf8Bit);
    canvas.Pen = QPen(QColor(255, 255, 255));
    canvas.TextOut(2, 2, "W");
    int lit = 0;
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 30; ++x) lit += g->GetPixel(x, y) != 0;
    QVERIFY(lit > 10);
  }

  void contextsAreHeldUntilReleased() {
    FreeCanvasHandles();
    QCOMPARE(PGCanvasPainterCount(), 0);
    FreeCanvasHandles();  // nothing listed: nothing happens
    auto a = Image(4, 4, pgpf24Bit, pTrueColor);
    auto b = Image(4, 4, pgpf4Bit, pSys16);
    CanvasOf(*a).FillRect(TRect{0, 0, 1, 1});
    CanvasOf(*b).FillRect(TRect{0, 0, 1, 1});
    QCOMPARE(PGCanvasPainterCount(), 2);
    FreeCanvasHandles();
    QCOMPARE(PGCanvasPainterCount(), 0);
    // Drawing again builds the context anew, also after a resize.
    a->SetSizeAndFormat(9, 3, pgpf24Bit);
    CanvasOf(*a).Brush = QBrush(QColor(0, 0, 255));
    CanvasOf(*a).FillRect(TRect{8, 2, 9, 3});
    QCOMPARE(PGCanvasPainterCount(), 1);
    QCOMPARE(a->GetPixel(8, 2), RGBColor(0, 0, 255));
    QCOMPARE(PGCanvasPainterCount(), 0);  // a direct read completes the drawing
    CanvasOf(*b).FillRect(TRect{0, 0, 1, 1});
    b->SetSizeAndFormat(20, 20, pgpf4Bit);  // releases the held context first
    QCOMPARE(PGCanvasPainterCount(), 0);
    CanvasOf(*b).FillRect(TRect{0, 0, 1, 1});
    b.reset();
    QCOMPARE(PGCanvasPainterCount(), 0);
  }

  void stretchPicksNearestPixels_data() {
    QTest::addColumn<TRect>("rect");
    QTest::addColumn<QRect>("limit");
    QTest::newRow("enlarged") << TRect{1, 1, 11, 7} << QRect();
    QTest::newRow("mirrored both") << TRect{10, 6, 0, 0} << QRect();
    QTest::newRow("shrunk") << TRect{2, 2, 5, 4} << QRect();
    QTest::newRow("limited") << TRect{1, 1, 11, 7} << QRect(3, 2, 4, 3);
    QTest::newRow("partly outside") << TRect{-20, -5, 10, 7} << QRect();
  }

  void stretchPicksNearestPixels() {
    QFETCH(TRect, rect);
    QFETCH(QRect, limit);
    // The same picture as 24 bits and as 4 bits with its own palette.
    auto rgb = Image(5, 3, pgpf24Bit, pTrueColor);
    auto pal = Image(5, 3, pgpf4Bit, pSys16);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) {
        rgb->SetPixel(x, y, PositionColor(x, y));
        pal->SetPaletteEntry(y * 5 + x, PositionColor(x, y));
        pal->SetPixel(x, y, std::uint32_t(y * 5 + x));
      }
    const int dw = rect.Right - rect.Left, dh = rect.Bottom - rect.Top;
    const QImage expected = Expected(QSize(13, 8), [&](int x, int y) {
      const int i = dw > 0 ? x - rect.Left : rect.Left - x;
      const int j = dh > 0 ? y - rect.Top : rect.Top - y;
      const bool inside = i >= 0 && i < std::abs(dw) && j >= 0 && j < std::abs(dh) &&
                          (!limit.isValid() || limit.contains(x, y));
      return inside ? ToQRgb(PositionColor(i * 5 / std::abs(dw), j * 3 / std::abs(dh))) : qRgb(0, 0, 0);
    });
    for (TPixelGraphic* g : {rgb.get(), pal.get()}) {
      QImage target(13, 8, QImage::Format_RGB32);
      target.fill(Qt::black);
      QPainter painter(&target);
      TQtPainterCanvas canvas(painter, limit);
      g->Draw(canvas, rect);
      painter.end();
      QCOMPARE(target, expected);
    }
  }

  // Transparent pixels show over a checkerboard of 8-pixel squares, white
  // and light grey, half-transparent ones half-way to it.
  void transparencyOverACheckerboard() {
    auto image = Image(16, 1, pgpf24Bit, pTrueColor);
    image->AddAlpha();
    for (int x = 0; x < 16; ++x) image->AlphaLine(0)[x] = x == 15 ? 128 : 0;
    QImage target(16, 1, QImage::Format_RGB32);
    QPainter painter(&target);
    TQtPainterCanvas canvas(painter, QRect());
    image->Draw(canvas, TRect{0, 0, 16, 1});
    painter.end();
    QCOMPARE(target.pixel(0, 0), qRgb(255, 255, 255));
    QCOMPARE(target.pixel(8, 0), qRgb(204, 204, 204));
    QCOMPARE(target.pixel(15, 0), qRgb(102, 102, 102));
  }

  void drawIntoAnotherImage() {
    auto source = Image(2, 2, pgpf24Bit, pTrueColor);
    for (int i = 0; i < 4; ++i) source->SetPixel(i % 2, i / 2, PositionColor(i % 2, i / 2));
    auto target = Image(4, 4, pgpf24Bit, pTrueColor);
    source->Draw(*target->Canvas(), TRect{0, 0, 4, 4});
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) QCOMPARE(target->GetPixel(x, y), PositionColor(x / 2, y / 2));
  }
};

QTEST_MAIN(CanvasTest)
#include "canvas_test.moc"
