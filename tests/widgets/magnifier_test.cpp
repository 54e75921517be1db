// The thread-driven timer and the magnifier on the offscreen platform, whose
// screen grab composes the visible windows over black.

#include <QCursor>
#include <QPainter>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QWidget>

#include <chrono>
#include <memory>

#include "support/watchdog.h"
#include "widgets/qv_loupe.h"
#include "widgets/qv_timer.h"

using namespace std::chrono_literals;

namespace {

// A frameless window showing a picture in which every pixel differs.
class TPatternWindow : public QWidget {
 public:
  explicit TPatternWindow(const QSize& size) : Pattern(size, QImage::Format_RGB32) {
    for (int y = 0; y < Pattern.height(); ++y)
      for (int x = 0; x < Pattern.width(); ++x) Pattern.setPixel(x, y, qRgb(x, y, (x * 7 + y) & 255));
  }
  QImage Pattern;

 protected:
  void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(0, 0, Pattern); }
};

// Shows window without a frame at geometry (global coordinates).
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
    QCOMPARE(loupe.size(), QSize(100, 100));
    QCOMPARE(loupe.ZoomLevel(), 1.0);
    loupe.SetZoomLevel(2.0);
    loupe.resize(100, 31);  // 15.5 goes up to 16
    QCOMPARE(loupe.CaptureSize(), QSize(50, 16));
    loupe.resize(100, 33);  // 16.5 goes down to 16
    QCOMPARE(loupe.CaptureSize(), QSize(50, 16));
    loupe.resize(100, 35);
    QCOMPARE(loupe.CaptureSize(), QSize(50, 18));

    for (double bad : {0.0, -3.0}) {
      loupe.SetZoomLevel(2.0);
      loupe.SetZoomLevel(bad);
      QCOMPARE(loupe.ZoomLevel(), 1.0);
      QCOMPARE(loupe.CaptureSize(), QSize(100, 35));
    }
    loupe.SetZoomLevel(1000.0);
    QCOMPARE(loupe.CaptureSize(), QSize(1, 1));
  }

  void CaptureShowsTheAreaAroundThePointerEnlarged() {
    TPatternWindow picture(QSize(200, 200));
    QVERIFY(ShowAt(picture, QRect(300, 300, 200, 200)));
    QWidget holder;
    auto* loupe = new TQV_Loupe(&holder);
    loupe->SetZoomLevel(2.0);
    QVERIFY(ShowAt(holder, QRect(0, 0, 100, 100)));

    // 50 x 50 screen pixels centred on (400, 400): picture pixels 75..124.
    QCursor::setPos(400, 400);
    loupe->Capture();
    const QImage expected = picture.Pattern.copy(75, 75, 50, 50).scaled(100, 100);
    QCOMPARE(Rgb32(loupe->Picture()), expected);

    // Bevels over the picture's edge: outer lowered, inner raised, one pixel each.
    const QImage shown = Rgb32(loupe->grab().toImage());
    const QPalette& palette = loupe->palette();
    const QRgb dark = palette.color(QPalette::Dark).rgb(), light = palette.color(QPalette::Light).rgb();
    QCOMPARE(shown.pixel(0, 0), dark);
    QCOMPARE(shown.pixel(99, 99), light);
    QCOMPARE(shown.pixel(1, 1), light);
    QCOMPARE(shown.pixel(98, 98), dark);
    QCOMPARE(shown.copy(2, 2, 96, 96), expected.copy(2, 2, 96, 96));

    // Nothing readable around the pointer: an empty face inside the bevels.
    QCursor::setPos(-5000, -5000);
    loupe->Capture();
    QImage empty(100, 100, QImage::Format_RGB32);
    empty.fill(palette.color(QPalette::Window));
    QCOMPARE(Rgb32(loupe->Picture()), empty);
  }

  void ActiveDrivesTheCapturesAndOffKeepsTheLastPicture() {
    TPatternWindow picture(QSize(200, 200));
    QVERIFY(ShowAt(picture, QRect(300, 300, 200, 200)));
    TQV_Loupe loupe;
    QVERIFY(ShowAt(loupe, QRect(0, 0, 100, 100)));
    const QImage empty = loupe.Picture();
    QCursor::setPos(400, 400);

    // A new interval does not wake an inactive magnifier.
    loupe.SetInterval(5);
    QTest::qWait(200);
    QCOMPARE(loupe.Picture(), empty);

    loupe.SetActive(true);
    const QImage expected = picture.Pattern.copy(50, 50, 100, 100);
    QTRY_COMPARE(Rgb32(loupe.Picture()), expected);

    loupe.SetActive(false);
    QCursor::setPos(350, 350);
    QTest::qWait(200);
    QCOMPARE(Rgb32(loupe.Picture()), expected);
  }

  void MouseReleaseIsReportedWithItsButton() {
    TQV_Loupe loupe;
    loupe.show();
    QVERIFY(QTest::qWaitForWindowExposed(&loupe));
    QSignalSpy released(&loupe, &TQV_Loupe::MouseReleased);
    QTest::mouseClick(&loupe, Qt::LeftButton);
    QTest::mouseClick(&loupe, Qt::RightButton);
    QCOMPARE(released.count(), 2);
    QCOMPARE(released.at(0).at(0).value<Qt::MouseButton>(), Qt::LeftButton);
    QCOMPARE(released.at(1).at(0).value<Qt::MouseButton>(), Qt::RightButton);
  }

  void TimerTicksOnlyWithIntervalEnabledAndHandler() {
    TQV_Timer timer;
    QCOMPARE(timer.Interval(), 1000);
    QVERIFY(timer.Enabled());
    timer.SetInterval(5);
    QVERIFY(!timer.ThreadRunning());  // no handler yet

    int ticks = 0;
    timer.SetOnTimer([&] { ++ticks; });
    QVERIFY(timer.ThreadRunning());
    timer.SetInterval(0);
    QVERIFY(!timer.ThreadRunning());
    QTest::qWait(200);
    QCOMPARE(ticks, 0);

    timer.SetInterval(5);
    timer.SetEnabled(false);
    QVERIFY(!timer.ThreadRunning());
    QTest::qWait(100);
    QCOMPARE(ticks, 0);

    timer.SetEnabled(true);
    QTRY_VERIFY(ticks >= 3);
    timer.SetOnTimer(nullptr);
    QVERIFY(!timer.ThreadRunning());
    QTest::qWait(50);
    const int settled = ticks;
    QTest::qWait(100);
    QCOMPARE(ticks, settled);
  }

  void TicksRunOnTheUiThreadOneAtATime() {
    TQV_Timer timer;
    timer.SetInterval(1);
    int ticks = 0, depth = 0, deepest = 0;
    bool onUiThread = true;
    timer.SetOnTimer([&] {
      ++ticks;
      deepest = std::max(deepest, ++depth);
      onUiThread = onUiThread && QThread::currentThread() == qApp->thread();
      // Events are processed here, so an overlapping tick would nest.
      QTest::qWait(20);
      --depth;
    });
    QTRY_VERIFY(ticks >= 5);
    timer.SetEnabled(false);
    QCOMPARE(deepest, 1);
    QVERIFY(onUiThread);
  }

  void ClosingAWindowWithAnActiveMagnifierDoesNotHang() {
    TWatchdog watchdog("closing a window with an active magnifier", 60s);
    auto window = std::make_unique<QWidget>();
    auto* loupe = new TQV_Loupe(window.get());
    loupe->SetZoomLevel(2.0);
    loupe->SetInterval(1);
    loupe->SetActive(true);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QTest::qWait(30);
    // The UI thread stays busy long enough for the timer thread to hand over
    // a tick and wait for it. Then, as at the end of a run, the last window
    // closes and is destroyed without the event loop turning again.
    QThread::msleep(50);
    window->close();
    window.reset();
    // The tick handed over before must not reach the destroyed magnifier.
    QCoreApplication::processEvents();
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
