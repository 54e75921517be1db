// What the view paints: the picture drawn directly, tiled and mirrored, the
// display copies made on the painting thread for quality scaling and for
// palette screens (and the images they replace), copies that must never be
// shown, the empty frame with its progress clocks, and an owner's paint
// handler that fails.
#include <QtTest>

#include "support/expected_image.h"

#include <mutex>
#include <stdexcept>

#include "pgraphic/core/canvas.h"
#include "pgraphic/core/optpalette.h"
#include "pgraphic/core/settings.h"
#include "pgraphic_qt/view/paintthread.h"
#include "platform/display.h"
#include "platform/platform.h"
#include "platform/qtcanvas.h"
#include "view_test_util.h"

namespace {

// Floor division, for tile indices left of or above the picture box.
int FloorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// A 64 x 48 image with a gradient the copies have to resample.
std::unique_ptr<TPixelGraphic> Gradient() {
  return MakeImage(64, 48, [](int x, int y) { return RGBColor(x * 4, y * 5, (x * y) & 0xFF); });
}

// As the program's application object does: an error that escapes an event
// handler is reported (here: noted) and the program runs on.
class TReportingApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
      Reported << QString::fromStdString(error.what());
      return false;
    }
  }
  static inline QStringList Reported;
};

// Image surfaces that only note on which thread batched drawing was completed.
class TFlushRecorder : public TPGCanvasFactory {
 public:
  std::unique_ptr<TPGCanvas> CreateCanvas(TPixelGraphic&) override {
    return std::make_unique<TCanvas>(*this);
  }
  QList<QThread*> Threads() {
    std::lock_guard<std::mutex> lock(FLock);
    return FThreads;
  }

 private:
  struct TCanvas : TPGCanvas {
    explicit TCanvas(TFlushRecorder& owner) : Owner(owner) {}
    void Flush() override {
      std::lock_guard<std::mutex> lock(Owner.FLock);
      Owner.FThreads << QThread::currentThread();
    }
    void ReleasePainter() override {}
    void StretchDraw(TPixelGraphic&, const TRect&) override {}
    TFlushRecorder& Owner;
  };
  std::mutex FLock;
  QList<QThread*> FThreads;
};

}  // namespace

class PaintTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() { PGInstallPlatform(); }
  void cleanup() { PGSetScreenDepthOverride(0); }

  void drawsDirectlyWithBackground() {
    auto view = ShownView(50, 40);
    view->SetColor(QColor(1, 2, 3));
    view->SetPixelGraphic(MakeImage(8, 6, PositionColor));
    view->SetStretch(sZoomKAR);
    view->SetZoomFactor(3.0L);  // smFast: the picture is stretched while drawing
    const QImage shot = Rendered(*view);
    QCOMPARE(shot, Expected(shot.size(), [](int x, int y) {
               return x < 24 && y < 18 ? ToQRgb(PositionColor(x / 3, y / 3)) : qRgb(1, 2, 3);
             }));
    QVERIFY(!view->PaintPixelGraphic());
  }

  void tilingAndMirroring_data() {
    QTest::addColumn<int>("tiling");
    QTest::addColumn<bool>("flipH");
    QTest::addColumn<int>("client");
    QTest::newRow("mirror, few tiles") << int(tMirror) << false << 10;
    QTest::newRow("mirror, mirrored copies") << int(tMirror) << false << 31;
    QTest::newRow("repeat, flipped") << int(tRepeat) << true << 13;
    QTest::newRow("mirror rows, flipped") << int(tMirrorVertical) << true << 17;
    QTest::newRow("no tiling, flipped") << int(tNone) << true << 10;
  }

  void tilingAndMirroring() {
    QFETCH(int, tiling);
    QFETCH(bool, flipH);
    QFETCH(int, client);
    auto view = ShownView(client, client);
    view->SetColor(QColor(0, 0, 0));
    view->SetPixelGraphic(MakeImage(4, 3, PositionColor));
    view->SetCenter(true);
    view->SetTiling(TTiling(tiling));
    view->SetFlipHorizontal(flipH);
    const QPoint origin = view->PicBox()->pos();
    QCOMPARE(origin, QPoint((client - 4) / 2, (client - 3) / 2));
    const bool mirrorCols = tiling == tMirrorHorizontal || tiling == tMirror;
    const bool mirrorRows = tiling == tMirrorVertical || tiling == tMirror;
    const QImage shot = Rendered(*view);
    QCOMPARE(shot, Expected(shot.size(), [&](int x, int y) {
               const int c = FloorDiv(x - origin.x(), 4), r = FloorDiv(y - origin.y(), 3);
               if (tiling == tNone && (c != 0 || r != 0)) return qRgb(0, 0, 0);
               const int lx = x - origin.x() - 4 * c, ly = y - origin.y() - 3 * r;
               const bool h = flipH != (mirrorCols && c % 2 != 0);
               const bool v = mirrorRows && r % 2 != 0;
               return ToQRgb(PositionColor(h ? 3 - lx : lx, v ? 2 - ly : ly));
             }));
  }

  void displayCopyOnThePaintingThread_data() {
    QTest::addColumn<int>("depth");
    QTest::newRow("true colour") << 32;
    QTest::newRow("8-bit screen") << 8;
    QTest::newRow("4-bit screen") << 4;
  }

  void displayCopyOnThePaintingThread() {
    QFETCH(int, depth);
    PGSetScreenDepthOverride(depth);
    auto view = ShownView(100, 100);
    const QColor frame(0, 0, 200), line(200, 0, 0);
    view->SetPicBoxFrameColor(frame);
    view->SetProgressClockLineColor(line);
    view->SetPixelGraphic(Gradient());
    view->SetStretch(sZoomKAR);
    view->SetZoomFactor(0.5L);
    view->SetStretchMode(smPrecise);
    // The first paint only starts the copy: an empty frame with a clock shows.
    QImage shot = Rendered(*view);
    QCOMPARE(shot.pixelColor(0, 0), frame);
    QCOMPARE(shot.pixelColor(31, 23), frame);
    QCOMPARE(shot.pixelColor(16, 5), line);  // top of the centre clock at (9, 5)
    QTRY_VERIFY(view->PaintPixelGraphic());

    // The copy equals the library's own resampling and reduction.
    TPixelGraphic expected;
    std::unique_ptr<TPixelGraphic> source = Gradient();
    if (depth == 4) {
      expected.SetPixelFormat(pgpf4Bit);
      expected.SetPaletteIdent(pSys16);
    } else if (depth == 8) {
      expected.SetPixelFormat(pgpf8Bit);
      BuildOptimizedPalette(expected, *source, 252, true);
    }
    expected.SetSizeAndFormat(32, 24, expected.PixelFormat());
    expected.StretchMode = smPrecise;
    expected.CopyFrom(*source);
    TPixelGraphic& copy = *view->PaintPixelGraphic();
    QCOMPARE(copy.PixelFormat(), expected.PixelFormat());
    QCOMPARE(copy.PaletteEntries(), expected.PaletteEntries());
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(copy.Bits()), int(copy.ImageSize())),
             QByteArray(reinterpret_cast<const char*>(expected.Bits()), int(expected.ImageSize())));
    shot = Rendered(*view);
    QCOMPARE(shot.copy(0, 0, 32, 24), Expected(QSize(32, 24), [&](int x, int y) {
               return ToQRgb(copy.GetPixelColor(x, y));
             }));
  }

  void paletteImageNeedsNoCopyWhenItsPaletteFits() {
    PGSetScreenDepthOverride(8);
    auto view = ShownView(40, 40);
    auto grey = std::make_unique<TPixelGraphic>();
    grey->SetSizeAndFormat(10, 10, pgpf8Bit);
    grey->SetPaletteIdent(pGray256);
    view->SetPixelGraphic(std::move(grey));
    view->SetPalette8BitSys8BitGraphic(pGray256);
    QVERIFY(!view->NeedsPaintPixelGraphic());
    view->SetPalette8BitSys8BitGraphic(pSpecial216);
    QVERIFY(view->NeedsPaintPixelGraphic());
    QTRY_VERIFY(view->PaintPixelGraphic());
    QCOMPARE(view->PaintPixelGraphic()->PaletteIdent(), pSpecial216);
  }

  void aCopyForAChangedImageIsNeverShown() {
    auto view = ShownView(100, 100);
    view->SetStretch(sZoomKAR);
    view->SetZoomFactor(0.5L);
    view->SetStretchMode(smPrecise);
    view->SetReduceOnLoad(true);  // a stale copy would even replace the image
    const TRGB red = RGBColor(255, 0, 0), blue = RGBColor(0, 0, 255);

    // Finished and posted: reading the image meanwhile does not lose it...
    view->SetPixelGraphic(SolidImage(64, 64, red));
    Rendered(*view);
    view->PaintThread()->WaitFor();
    QCOMPARE(view->PixelGraphic()->Width(), 64);
    QCoreApplication::processEvents();
    QCOMPARE(view->PixelGraphic()->Width(), 32);
    // ...but an image change before the message arrives does.
    view->SetPixelGraphic(SolidImage(64, 64, red));
    Rendered(*view);
    view->PaintThread()->WaitFor();
    view->SetPixelGraphic(SolidImage(64, 64, blue));
    QCoreApplication::processEvents();
    QCOMPARE(view->PixelGraphic()->GetPixel(0, 0), blue);

    // Still working when the image changes: stopped, its copy freed.
    view->SetPixelGraphic(SolidImage(1600, 1600, red));
    Rendered(*view);
    TCreatePaintPGThread* busy = view->PaintThread();
    view->SetPixelGraphic(SolidImage(64, 64, blue));
    QVERIFY(busy->Terminated() && busy->isFinished());
    Rendered(*view);
    // (Reading PixelGraphic stops the thread, so wait on the thread itself.)
    QTRY_VERIFY(view->PaintThread()->isFinished());
    QCoreApplication::processEvents();
    QCOMPARE(view->PixelGraphic()->Width(), 32);  // its copy replaced it
    QCOMPARE(view->PixelGraphic()->GetPixel(0, 0), blue);
  }

  void aReducedImageIsShownOnceItReplacedTheImage() {
    auto view = ShownView(100, 100);
    view->SetStretch(sZoomKAR);
    view->SetZoomFactor(0.5L);
    view->SetStretchMode(smPrecise);
    view->SetReduceOnLoad(true);
    view->SetPixelGraphic(MakeImage(64, 64, [](int x, int y) { return RGBColor(x * 4, y * 4, 99); }));
    Rendered(*view);  // starts the copy
    QTRY_COMPARE(view->PixelGraphicWidth(), 32);
    QCOMPARE(view->PixelGraphicHeight(), 32);
    QCOMPARE(view->PicBox()->size(), QSize(32, 32));
    // The view maps and draws by the reduced image's size: shown 1:1, with
    // no copy of it asked for.
    QCOMPARE(view->PicBoxXToImageX(31), 31);
    TPixelGraphic expected;
    expected.SetSizeAndFormat(32, 32, pgpf24Bit);
    expected.StretchMode = smPrecise;
    expected.CopyFrom(*MakeImage(64, 64, [](int x, int y) { return RGBColor(x * 4, y * 4, 99); }));
    for (int round = 0; round < 2; ++round) {
      const QImage shot = Rendered(*view);
      QCOMPARE(shot.copy(0, 0, 32, 32), Expected(QSize(32, 32), [&](int x, int y) {
                 return ToQRgb(expected.GetPixelColor(x, y));
               }));
      QVERIFY(!view->PaintPixelGraphic());
      QCoreApplication::processEvents();
    }
  }

  void drawingIsCompletedOnTheUserInterfaceThreadBeforeACopyStarts() {
    TFlushRecorder recorder;
    TPGCanvasFactory* const installed = GetPGCanvasFactory();
    SetPGCanvasFactory(&recorder);
    std::unique_ptr<TPixelGraphic> image = Gradient();
    image->Canvas();  // drawn on: batched drawing is pending
    SetPGCanvasFactory(installed);
    auto view = ShownView(100, 100);
    view->SetStretch(sZoomKAR);
    view->SetZoomFactor(0.5L);
    view->SetStretchMode(smPrecise);
    view->SetPixelGraphic(std::move(image));
    Rendered(*view);
    QTRY_VERIFY(view->PaintPixelGraphic());
    // Once, before the painting thread read the image, and never by it.
    QCOMPARE(recorder.Threads(), QList<QThread*>({qApp->thread()}));
  }

  void progressReachesTheWindowsThrottled() {
    // The rules themselves are the platform's; these are the settings.
    QCOMPARE(TCreatePaintPGThread().Throttle().Interval(), 50);
    QCOMPARE(TCreatePaintPGThread().Throttle().Step(), 0);
    const TCreateOpenSaveDialogPaintPGThread preview(false, {});
    QCOMPARE(preview.Throttle().Interval(), 100);
    QCOMPARE(preview.Throttle().Step(), 16);
  }

  void aFailingPaintHandlerIsReportedAndTheNextPaintRuns() {
    auto view = ShownView(30, 30);
    view->SetPixelGraphic(SolidImage(30, 30, RGBColor(0x10, 0x20, 0x30)));
    int calls = 0;
    view->OnPaint = [&](void*, QPainter& painter) {
      if (++calls == 1) throw std::runtime_error("the handler failed");
      painter.fillRect(0, 0, 5, 5, QColor(255, 0, 0));
    };
    // Called directly, the handler's error reaches the caller, after the
    // picture was drawn; the canvas is gone with the paint.
    QImage surface(30, 30, QImage::Format_RGB32);
    surface.fill(Qt::black);
    {
      QPainter painter(&surface);
      QVERIFY_THROWS_EXCEPTION(std::runtime_error, view->Paint(painter, surface.rect()));
    }
    QVERIFY(!view->Canvas());
    QCOMPARE(surface.pixel(10, 10), qRgb(0x10, 0x20, 0x30));

    // On screen the application's report hears of it, and painting goes on.
    QVERIFY(QTest::qWaitForWindowExposed(view.get()));
    QCoreApplication::processEvents();
    calls = 0;
    TReportingApplication::Reported.clear();
    view->viewport()->repaint();
    QCOMPARE(calls, 1);
    QTRY_COMPARE(TReportingApplication::Reported, QStringList({"the handler failed"}));
    const QImage shot = Rendered(*view);
    QCOMPARE(calls, 2);
    QCOMPARE(shot.pixel(2, 2), qRgb(255, 0, 0));
    QCOMPARE(shot.pixel(10, 10), qRgb(0x10, 0x20, 0x30));
  }

  void withoutThreadTheCopyIsMadeInThePaint() {
    auto view = ShownView(100, 100);
    view->SetUseThread(false);
    view->SetPixelGraphic(Gradient());
    view->SetStretch(sAlwaysKAR);  // 100 x 75
    view->SetStretchMode(smMedium);
    const QImage shot = Rendered(*view);
    QVERIFY(view->PaintPixelGraphic());
    QCOMPARE(view->PaintPixelGraphic()->Width(), 100);
    QCOMPARE(ToTRGB(shot.pixel(99, 74)), view->PaintPixelGraphic()->GetPixel(99, 74));
  }

  void emptyFrameAndClocks_data() {
    QTest::addColumn<QSize>("box");
    QTest::addColumn<bool>("centre");
    QTest::addColumn<bool>("corners");
    QTest::newRow("20 x 100") << QSize(20, 100) << false << false;
    QTest::newRow("50 x 50") << QSize(50, 50) << true << false;
    QTest::newRow("101 x 101") << QSize(101, 101) << true << true;
  }

  void emptyFrameAndClocks() {
    QFETCH(QSize, box);
    QFETCH(bool, centre);
    QFETCH(bool, corners);
    // An image whose pixel memory could not be had shows the empty frame.
    const std::uint64_t limit = PGSettings().MaxImagePixels;
    PGSettings().MaxImagePixels = 100;
    auto failed = std::make_unique<TPixelGraphic>();
    QVERIFY_THROWS_EXCEPTION(EPixelGraphic, failed->SetSizeAndFormat(box.width(), box.height(), pgpf24Bit));
    PGSettings().MaxImagePixels = limit;

    auto view = ShownView(box.width(), box.height());
    view->SetPicBoxColor(QColor(255, 255, 255));
    view->SetPicBoxFrameColor(QColor(0, 0, 200));
    view->SetProgressClockLineColor(QColor(200, 0, 0));
    view->SetPixelGraphic(std::move(failed));
    const QImage shot = Rendered(*view);
    QCOMPARE(shot.pixelColor(0, 0), QColor(0, 0, 200));
    QCOMPARE(shot.pixelColor(box.width() - 1, box.height() - 1), QColor(0, 0, 200));
    const QPoint top(box.width() / 2, box.height() / 2 - 7);
    QCOMPARE(shot.pixelColor(top), centre ? QColor(200, 0, 0) : QColor(255, 255, 255));
    QCOMPARE(shot.pixelColor(12, 5), corners ? QColor(200, 0, 0) : QColor(255, 255, 255));
    QCOMPARE(shot.pixelColor(box.width() - 13, box.height() - 20),
             corners ? QColor(200, 0, 0) : QColor(255, 255, 255));
  }

  void ownerPaintsLastOnTheViewport() {
    auto view = ShownView(30, 30);
    view->SetPixelGraphic(SolidImage(30, 30, RGBColor(0x10, 0x20, 0x30)));
    QStringList log;
    view->OnPainting = [&](void*) { log << "painting"; };
    view->OnPaint = [&](void* sender, QPainter& painter) {
      QCOMPARE(sender, static_cast<void*>(view.get()));
      QVERIFY(view->Canvas());
      log << "paint";
      // The main window's inverting pen.
      painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
      painter.setPen(QColor(255, 255, 255));
      painter.drawLine(0, 10, 29, 10);
    };
    const QImage shot = Rendered(*view);
    QCOMPARE(log, QStringList({"painting", "paint"}));
    QVERIFY(!view->Canvas());
    QCOMPARE(shot.pixel(5, 10), qRgb(0xEF, 0xDF, 0xCF));
    QCOMPARE(shot.pixel(5, 11), qRgb(0x10, 0x20, 0x30));
  }
};

int main(int argc, char** argv) {
  TReportingApplication app(argc, argv);
  app.setAttribute(Qt::AA_Use96Dpi, true);
  PaintTest test;
  return QTest::qExec(&test, argc, argv);
}
#include "pgimage_paint_test.moc"
