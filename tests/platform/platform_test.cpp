// The platform stand-ins: posted messages and the images they carry, worker
// threads, cursors, warning boxes, screen depth and metrics.
#include <QAbstractButton>
#include <QMessageBox>
#include <QSignalSpy>
#include <QStyle>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "pgraphic/core/uihooks.h"
#include "platform/cursors.h"
#include "platform/display.h"
#include "platform/messages.h"
#include "platform/platform.h"
#include "platform/workerthread.h"

namespace {

struct TCountedImage : TPixelGraphic {
  static inline int Alive = 0;
  TCountedImage() { ++Alive; }
  ~TCountedImage() override { --Alive; }
};

class TReceiver : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() != PGMessageEventType(WM_USER + 1)) return QObject::event(e);
    auto& m = static_cast<TPGMessageEvent&>(*e);
    Got << QString("%1 %2 %3 %4").arg(m.Message - WM_USER).arg(m.WParam).arg(m.LParam).arg(m.Tag);
    Kept = std::move(m.Image);
    return true;
  }
  QStringList Got;
  std::unique_ptr<TPixelGraphic> Kept;
};

class TLoop : public TPGThread {
 public:
  ~TLoop() override { StopAndWait(); }
  std::atomic<int> Rounds{0};
  bool Throw = false;

 protected:
  void Execute() override {
    if (Throw) throw std::runtime_error("worker failed");
    while (!Terminated()) {
      ++Rounds;
      QThread::msleep(1);
    }
  }
};

// Answers the next message box that comes up with `button`, remembering it.
void AnswerNextBox(QMessageBox::StandardButton button, QString* title, QMessageBox::Icon* icon,
                   int* buttons) {
  QTimer::singleShot(0, [=] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    QVERIFY(box);
    *title = box->windowTitle();
    *icon = box->icon();
    *buttons = box->buttons().size();
    box->button(button)->click();
  });
}

}  // namespace

class PlatformTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() { PGInstallPlatform(); }

  void messagesCarryAndFreeImages() {
    auto receiver = std::make_unique<TReceiver>();
    auto target = std::make_unique<TPGMessageTarget>(receiver.get());
    std::shared_ptr<TPGMessagePort> port = target->Port();
    std::thread worker([port] {
      port->Post(WM_USER + 1, 7, 42, std::make_unique<TCountedImage>(), 9);
    });
    worker.join();
    QCOMPARE(TCountedImage::Alive, 1);
    QCoreApplication::processEvents();
    QCOMPARE(receiver->Got, QStringList({"1 7 42 9"}));
    QVERIFY(receiver->Kept);
    receiver->Kept.reset();
    QCOMPARE(TCountedImage::Alive, 0);

    // Never delivered: the receiver goes first, the queued image is freed.
    port->Post(WM_USER + 1, 0, 0, std::make_unique<TCountedImage>());
    QCOMPARE(TCountedImage::Alive, 1);
    target.reset();
    receiver.reset();
    QCOMPARE(TCountedImage::Alive, 0);
    // Posting afterwards reaches nothing and frees the image at once.
    QVERIFY(!port->Post(WM_USER + 1, 0, 0, std::make_unique<TCountedImage>()));
    QCOMPARE(TCountedImage::Alive, 0);
  }

  void workerThreadsStopCooperatively() {
    {
      TLoop loop;
      QTest::qWait(30);
      QVERIFY(!loop.isRunning());  // created suspended
      QCOMPARE(loop.Rounds.load(), 0);
      loop.WaitFor();  // a thread never started needs no waiting
      loop.Resume();
      QTRY_VERIFY(loop.Rounds.load() > 2);
      loop.Terminate();
      loop.WaitFor();
      QVERIFY(loop.isFinished() && loop.Terminated());
    }
    {
      TLoop running;
      running.Resume();
      QTRY_VERIFY(running.Rounds.load() > 0);
    }  // the destructor stops and waits
    TLoop failing;
    failing.Throw = true;
    failing.Resume();
    failing.WaitFor();
    QVERIFY(failing.Failed());
  }

  void cursors() {
    const TPGCursor own[] = {TPGCursor::crPan, TPGCursor::crPanning, TPGCursor::crCreateSelection,
                             TPGCursor::crMoveSelection};
    const QPoint hot[] = {{16, 12}, {16, 12}, {15, 15}, {16, 15}};
    for (int i = 0; i < 4; ++i) {
      const QCursor c = PGCursor(own[i]);
      QCOMPARE(c.shape(), Qt::BitmapCursor);
      QCOMPARE(c.bitmap().size(), QSize(32, 32));
      QCOMPARE(c.mask().size(), QSize(32, 32));
      QCOMPARE(c.hotSpot(), hot[i]);
      // The hot spot lies on the drawn shape, not on a transparent pixel.
      QVERIFY(c.mask().toImage().pixelIndex(hot[i]) != 0);
    }
    QVERIFY(PGCursor(TPGCursor::crPan).bitmap().toImage() !=
            PGCursor(TPGCursor::crPanning).bitmap().toImage());
    QCOMPARE(PGCursor(TPGCursor::crSizeNWSE).shape(), Qt::SizeFDiagCursor);
    QCOMPARE(PGCursor(TPGCursor::crHourGlass).shape(), Qt::WaitCursor);

    QVERIFY(PGScreenCursorIsDefault());
    {
      TPGScreenCursorGuard outer(PGCursor(TPGCursor::crHourGlass));
      {
        TPGScreenCursorGuard inner(PGCursor(TPGCursor::crCross));
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::CrossCursor);
      }
      QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    QVERIFY(PGScreenCursorIsDefault());
  }

  void warningBoxes() {
    QString title;
    QMessageBox::Icon icon{};
    int buttons = 0;
    AnswerNextBox(QMessageBox::Cancel, &title, &icon, &buttons);
    QCOMPARE(PGWarningBox("Overwrite?", TPGMsgButtons::mbOKCancel, "TIFF-Warning"),
             TPGMsgResult::mrCancel);
    QCOMPARE(title, QString("TIFF-Warning"));
    QCOMPARE(icon, QMessageBox::Warning);
    QCOMPARE(buttons, 2);
    AnswerNextBox(QMessageBox::Ok, &title, &icon, &buttons);
    QCOMPARE(PGWarningBox("Note", TPGMsgButtons::mbOK), TPGMsgResult::mrOK);
    QCOMPARE(title, QString("Warning"));
    QCOMPARE(buttons, 1);
  }

  void screenDepthAndMetrics() {
    QSignalSpy changed(TPGDisplay::Instance(), &TPGDisplay::DisplayChanged);
    const int real = PGScreenDepth();
    QVERIFY(real >= 24);
    PGSetScreenDepthOverride(8);
    QCOMPARE(PGScreenDepth(), 8);
    PGSetScreenDepthOverride(8);  // unchanged: no signal
    qputenv("TESSEL_SCREEN_DEPTH", "4");
    QCOMPARE(PGScreenDepth(), 8);  // the setter wins over the environment
    PGSetScreenDepthOverride(0);
    QCOMPARE(PGScreenDepth(), 4);
    qunsetenv("TESSEL_SCREEN_DEPTH");
    QCOMPARE(PGScreenDepth(), real);
    QCOMPARE(changed.count(), 2);

    QWidget w;
    const int extent = w.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &w);
    QCOMPARE(PGSystemMetric(TPGSystemMetric::SM_CXVSCROLL, &w), extent);
    QCOMPARE(PGSystemMetric(TPGSystemMetric::SM_CYHSCROLL), extent);
  }
};

QTEST_MAIN(PlatformTest)
#include "platform_test.moc"
