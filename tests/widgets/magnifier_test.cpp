// The thread-driven timer and the magnifier on the offscreen platform, whose
// screen grab composes the visible windows over black.

#include <QCursor>
#include <QPainter>
#include <QTest>
#include <QThread>

#include <chrono>
#include <memory>

#include "support/watchdog.h"
#include "widgets/qv_loupe.h"
#include "widgets/qv_timer.h"

using namespace std::chrono_literals;

namespace {

// A frameless window at (300, 300) showing 200 x 200 pixels that all differ.
class TPatternWindow : public QWidget {
 public:
  TPatternWindow() : Pattern(200, 200, QImage::Format_RGB32) {
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 200; ++x) Pattern.setPixel(x, y, qRgb(x, y, (x * 7 + y) & 255));
  }
  QImage Pattern;

 protected:
  void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(0, 0, Pattern); }
};

bool ShowAt(QWidget& window, const QRect& geometry) {
  window.setWindowFlag(Qt::FramelessWindowHint);
  window.setGeometry(geometry);
  window.show();
  return QTest::qWaitForWindowExposed(&window);
}

QImage Rgb32(const QImage& image) { return image.convertToFormat(QImage::Format_RGB32); }

}  // namespace

class TMagnifierTest : public QObject {
  Q_OBJECT

 private slots:
  void CaptureSizeFollowsZoomRoundingHalfToEven() {
    TQV_Loupe loupe;
    loupe.SetZoomLevel(2.0);
    loupe.resize(100, 31);  // 15.5 goes up to 16
    QCOMPARE(loupe.CaptureSize(), QSize(50, 16));
    loupe.resize(100, 33);  // 16.5 goes down to 16
    QCOMPARE(loupe.CaptureSize(), QSize(50, 16));
    for (double bad : {0.0, -3.0}) {
      loupe.SetZoomLevel(2.0);
      loupe.SetZoomLevel(bad);
      QCOMPARE(loupe.ZoomLevel(), 1.0);
      QCOMPARE(loupe.CaptureSize(), QSize(100, 33));
    }
    loupe.SetZoomLevel(1000.0);
    QCOMPARE(loupe.CaptureSize(), QSize(1, 1));
  }

  void CapturesEnlargeTheAreaAroundThePointerInsideTheBevels() {
    TPatternWindow picture;
    QVERIFY(ShowAt(picture, QRect(0, 0, 200, 200)));
    QWidget holder;
    auto* loupe = new TQV_Loupe(&holder);
    loupe->SetZoomLevel(2.0);
    QVERIFY(ShowAt(holder, QRect(400, 0, 100, 100)));
    const auto capture = [loupe] {
      loupe->Capture();
      return Rgb32(loupe->Picture());
    };

    // 50 x 50 screen pixels centred on (100, 100): picture pixels 75..124.
    // (A real display may show the window a moment after it is exposed.)
    QCursor::setPos(100, 100);
    const QImage expected = picture.Pattern.copy(75, 75, 50, 50).scaled(100, 100);
    QTRY_COMPARE(capture(), expected);
    // Outer bevel lowered, inner raised, one pixel each, over the edge.
    const QImage shown = Rgb32(loupe->grab().toImage());
    const QRgb dark = loupe->palette().color(QPalette::Dark).rgb();
    const QRgb light = loupe->palette().color(QPalette::Light).rgb();
    QCOMPARE(QList<QRgb>({shown.pixel(0, 0), shown.pixel(1, 1), shown.pixel(98, 98),
                          shown.pixel(99, 99)}),
             QList<QRgb>({dark, light, dark, light}));
    QCOMPARE(shown.copy(2, 2, 96, 96), expected.copy(2, 2, 96, 96));

    // Far off the screens. Where the pointer may go there (the offscreen
    // platform), nothing around it is readable: an empty face. A display
    // server keeps the pointer on its screen, at the corner: what lies off
    // the screen shows black beside the corner of the picture.
    QCursor::setPos(-5000, -5000);
    const QPoint at = QCursor::pos();
    QImage edge(100, 100, QImage::Format_RGB32);
    if (at == QPoint(-5000, -5000)) {
      edge.fill(loupe->palette().color(QPalette::Window));
    } else {
      QCOMPARE(at, QPoint(0, 0));
      QImage area(50, 50, QImage::Format_RGB32);
      area.fill(Qt::black);
      QPainter(&area).drawImage(25, 25, picture.Pattern.copy(0, 0, 25, 25));
      edge = area.scaled(100, 100);
    }
    QCOMPARE(capture(), edge);

    // A new interval does not wake an inactive magnifier; Active does, and
    // switching it off keeps the last picture.
    QCursor::setPos(100, 100);
    loupe->SetInterval(5);
    QTest::qWait(200);
    QCOMPARE(Rgb32(loupe->Picture()), edge);
    loupe->SetActive(true);
    QTRY_COMPARE(Rgb32(loupe->Picture()), expected);
    loupe->SetActive(false);
    QCursor::setPos(50, 50);
    QTest::qWait(200);
    QCOMPARE(Rgb32(loupe->Picture()), expected);
  }

  void TimerTicksOneAtATimeOnlyWithIntervalEnabledAndHandler() {
    TQV_Timer timer;
    timer.SetInterval(1);
    QVERIFY(!timer.ThreadRunning());  // no handler yet
    int ticks = 0, depth = 0, deepest = 0;
    bool onUiThread = true;
    timer.SetOnTimer([&] {
      ++ticks;
      deepest = std::max(deepest, ++depth);
      onUiThread = onUiThread && QThread::currentThread() == qApp->thread();
      QTest::qWait(20);  // an overlapping tick would nest in here
      --depth;
    });
    QVERIFY(timer.ThreadRunning());
    QTRY_VERIFY(ticks >= 5);
    QCOMPARE(deepest, 1);
    QVERIFY(onUiThread);

    for (bool zeroInterval : {true, false}) {
      if (zeroInterval)
        timer.SetInterval(0);
      else
        timer.SetEnabled(false);
      QVERIFY(!timer.ThreadRunning());
      const int before = ticks;
      QTest::qWait(200);
      QCOMPARE(ticks, before);
      timer.SetInterval(1);
      timer.SetEnabled(true);
    }
  }

  void ClosingAWindowWithAnActiveMagnifierDoesNotHang() {
    TWatchdog watchdog("closing a window with an active magnifier", 60s);
    auto window = std::make_unique<QWidget>();
    auto* loupe = new TQV_Loupe(window.get());
    loupe->SetInterval(1);
    loupe->SetActive(true);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    // The UI thread stays busy long enough for the timer thread to hand over
    // a tick and wait for it. Then, as at the end of a run, the last window
    // closes and is destroyed without the event loop turning again.
    QThread::msleep(50);
    window->close();
    window.reset();
    QCoreApplication::processEvents();  // the stale tick reaches nothing
  }

  void TimerMayBeDestroyedByItsOwnTick() {
    TWatchdog watchdog("destroying a timer from its tick", 60s);
    QPointer<TQV_Timer> timer = new TQV_Timer;
    timer->SetInterval(1);
    timer->SetOnTimer([&timer] { delete timer.data(); });
    QTRY_VERIFY(timer.isNull());
  }
};

QTEST_MAIN(TMagnifierTest)
#include "magnifier_test.moc"
