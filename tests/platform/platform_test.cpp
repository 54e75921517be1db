// The platform stand-ins: posted messages and the images they carry, worker
// threads and the job protocol with its progress throttles, cursors, warning
// boxes, screen depth and metrics.
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
#include "platform/jobthread.h"
#include "platform/messages.h"
#include "platform/platform.h"
#include "platform/workerthread.h"

namespace {

struct TCountedImage : TPixelGraphic {
  static inline int Alive = 0;
  TCountedImage() { ++Alive; }
  ~TCountedImage() override { --Alive; }
};

// A job that posts a few progress reports and hands over an image of the
// given width, once told to go on.
class TPictureJob : public TPGJobThread {
 public:
  explicit TPictureJob(int width) : TPGJobThread(false, TPGProgressThrottle(1)), Width(width) {}
  const int Width;
  std::atomic<bool> Go{false};
  // The work on the calling thread, for a job started without one.
  void Run() { Execute(); }

 protected:
  void Execute() override {
    while (!Go && !Terminated()) QThread::msleep(1);
    RestartProgress();
    for (int percent = 25; percent <= 100; percent += 25) {
      QThread::msleep(3);  // another interval of the 1 ms throttle
      ReportProgress(Width, percent);
    }
    auto image = std::make_unique<TCountedImage>();
    image->SetSizeAndFormat(Width, 1, pgpf24Bit);
    Deliver(std::move(image));
  }
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
    QStringList got;
    std::unique_ptr<TPixelGraphic> kept;
    auto target = std::make_unique<TPGMessageTarget>([&](TPGMessage& m) {
      got << QString("%1 %2 %3 %4").arg(m.Kind).arg(m.Stage).arg(m.Percent).arg(m.Tag);
      QCOMPARE(QThread::currentThread(), qApp->thread());
      kept = std::move(m.Image);
    });
    std::shared_ptr<TPGMessagePort> port = target->Port();
    std::thread worker([port] {
      port->Post({TPGMessage::Progress, 7, 42, std::make_unique<TCountedImage>(), 9});
    });
    worker.join();
    QCOMPARE(TCountedImage::Alive, 1);
    QCoreApplication::processEvents();
    QCOMPARE(got, QStringList({"1 7 42 9"}));
    QVERIFY(kept);
    kept.reset();
    QCOMPARE(TCountedImage::Alive, 0);

    // Never delivered: the target goes first, the queued image is freed.
    port->Post({TPGMessage::Result, 0, 0, std::make_unique<TCountedImage>()});
    QCOMPARE(TCountedImage::Alive, 1);
    target.reset();
    QCOMPARE(TCountedImage::Alive, 0);
    // Posting afterwards reaches nothing and frees the image at once.
    QVERIFY(!port->Post({TPGMessage::Result, 0, 0, std::make_unique<TCountedImage>()}));
    QCOMPARE(TCountedImage::Alive, 0);
    QCoreApplication::processEvents();
    QCOMPARE(got.size(), 1);
  }

  void aSlotHandsOverOnlyWhatItsCurrentJobMade() {
    TPGJobSlot<TPictureJob> slot;
    std::vector<int> results;
    QStringList progress;
    slot.OnResult = [&](std::unique_ptr<TPixelGraphic> image) {
      // The job has ended by the time its result arrives.
      QVERIFY(!slot.Job()->isRunning());
      results.push_back(image->Width());
    };
    slot.OnProgress = [&](int stage, int percent) { progress << QString("%1:%2").arg(stage).arg(percent); };
    const auto finished = [](TPictureJob& job) {
      job.Go = true;
      job.WaitFor();  // its words are posted, not yet handled
    };

    // Out of date: the job finished, then another replaced it before its
    // words arrived. Nothing of it is handed over, and its image is freed.
    TPictureJob& first = slot.Start(PGMakeJob<TPictureJob>(1));
    finished(first);
    QVERIFY(first.Delivered());
    const std::uint64_t firstSerial = first.Serial();
    TPictureJob& second = slot.Start(PGMakeJob<TPictureJob>(2));  // frees the first
    QVERIFY(second.Serial() > firstSerial);
    QCOMPARE(TCountedImage::Alive, 1);
    QCoreApplication::processEvents();
    QCOMPARE(TCountedImage::Alive, 0);
    QVERIFY(results.empty() && progress.isEmpty());
    finished(second);
    QCoreApplication::processEvents();
    QCOMPARE(results, std::vector<int>({2}));
    QCOMPARE(progress, QStringList({"2:25", "2:50", "2:75", "2:100"}));

    // Dropped or cancelled after it finished: its words are thrown away too.
    for (bool cancel : {false, true}) {
      results.clear();
      finished(slot.Start(PGMakeJob<TPictureJob>(3)));
      if (cancel) slot.Cancel(); else slot.Drop();
      QVERIFY(!slot.Wanted());
      QCoreApplication::processEvents();
      QVERIFY(results.empty());
      QCOMPARE(TCountedImage::Alive, 0);
    }

    // Stopped after it handed its result over: the result still counts...
    finished(slot.Start(PGMakeJob<TPictureJob>(4)));
    slot.Stop();
    QVERIFY(slot.Wanted());
    QCoreApplication::processEvents();
    QCOMPARE(results, std::vector<int>({4}));
    // ...stopped before: it hands over nothing, and is no longer wanted.
    TPictureJob& stopped = slot.Start(PGMakeJob<TPictureJob>(5));
    slot.Stop();
    QVERIFY(!stopped.Delivered() && !slot.Wanted());
    stopped.Go = true;
    QCoreApplication::processEvents();
    QCOMPARE(results, std::vector<int>({4}));

    // Without a thread the result arrives before StartHere's caller goes on,
    // and no progress is reported.
    progress.clear();
    TPictureJob& here = slot.StartHere(PGMakeJob<TPictureJob>(6));
    QVERIFY(!here.isRunning());
    here.Go = true;
    here.Run();
    QCOMPARE(results, std::vector<int>({4, 6}));
    QVERIFY(progress.isEmpty());
  }

  void aSlotGoingAwayStopsItsJobAndFreesWhatItPosted() {
    auto slot = std::make_unique<TPGJobSlot<TPictureJob>>();
    int results = 0;
    slot->OnResult = [&](std::unique_ptr<TPixelGraphic>) { ++results; };
    TPictureJob& done = slot->Start(PGMakeJob<TPictureJob>(1));
    done.Go = true;
    done.WaitFor();
    QCOMPARE(TCountedImage::Alive, 1);
    slot.reset();
    QCOMPARE(TCountedImage::Alive, 0);
    QCoreApplication::processEvents();
    QCOMPARE(results, 0);

    // A job still waiting when its slot goes is told to stop and waited for.
    slot = std::make_unique<TPGJobSlot<TPictureJob>>();
    TPictureJob& waiting = slot->Start(PGMakeJob<TPictureJob>(1));
    QTRY_VERIFY(waiting.isRunning());
    slot.reset();
    QCOMPARE(TCountedImage::Alive, 0);
  }

  void progressThrottles_data() {
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("step");
    QTest::addColumn<QList<int>>("reports");  // percent, tick, percent, tick, ...
    QTest::addColumn<QList<int>>("passed");   // the percents let through
    // The view's copies: a change of percent, at most once per 50 ms
    // (counted in whole 50 ms from the start of the clock).
    QTest::newRow("50 ms") << 50 << 0
                           << QList<int>({1, 1010, 2, 1049, 3, 1050, 3, 1060, 4, 1080, 5, 1100, 6, 1149, 6, 1150, 6, 1200})
                           << QList<int>({3, 5, 6});
    // The open dialog's preview: a change of percent that begins another
    // 100 ms or another 16 %.
    QTest::newRow("100 ms or 16 %")
        << 100 << 16
        << QList<int>({5, 1001, 15, 1050, 16, 1060, 17, 1070, 31, 1099, 32, 1099, 33, 1100, 33, 1200, 99, 1201})
        << QList<int>({16, 32, 33, 99});
  }

  void progressThrottles() {
    QFETCH(int, interval);
    QFETCH(int, step);
    QFETCH(QList<int>, reports);
    QFETCH(QList<int>, passed);
    TPGProgressThrottle throttle(interval, step);
    throttle.Restart(1000);
    QList<int> through;
    for (int i = 0; i + 1 < reports.size(); i += 2)
      if (throttle.Pass(reports[i], reports[i + 1])) through << reports[i];
    QCOMPARE(through, passed);
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
    QCOMPARE(PGScrollBarExtent(&w), extent);
    QCOMPARE(PGScrollBarExtent(), extent);
  }
};

QTEST_MAIN(PlatformTest)
#include "platform_test.moc"
