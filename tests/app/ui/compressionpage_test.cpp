// The JPEG Compression page: previews follow a change of quality within a
// second, once for a series of changes; the progressive flag previews at
// once; the size label, the zoom buttons, the WebP page and the page's
// weight, the temporary file in a folder of the window's own, and a failing
// temporary folder.
#include <QActionGroup>
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>

#include "pgraphic/core/settings.h"
#include "pgraphic_qt/view/pgimage.h"
#include "ui_test_util.h"

class TCompressionPageTest : public QObject {
  Q_OBJECT

  QTemporaryDir FDir;
  QString FImage;

 private slots:
  void initTestCase() { FImage = WriteImage(FDir, QStringLiteral("picture.png"), 120, 90); }
  void init() { StartWindowTest(); }

  void WithoutAnImageThePageStaysEmpty() {
    TShownWindow w;
    TCompressionWidgets page = w.Compression();
    w.Pages()->setCurrentWidget(&page.Page);
    QCOMPARE(page.Label1->text(), QStringLiteral("-"));
    QVERIFY(!page.PGImage2->PixelGraphic() && !page.PGImage3->PixelGraphic());
    QVERIFY(!page.Timer1->isActive());
    QCOMPARE(page.TrackBar1->value(), 80);
    // A move without an image leaves the timer ticking for one to arrive.
    page.TrackBar1->setValue(50);
    QVERIFY(page.Timer1->isActive());
    QCOMPARE(page.SpinEdit1->value(), 50);
  }

  void ASeriesOfMovesGivesOnePreviewAtTheLastQuality() {
    TShownWindow w(FImage);
    TCompressionWidgets page = w.Compression();
    QSignalSpy previews(&page.Page, &TCompressionPage::Previewed);
    w.Pages()->setCurrentWidget(&page.Page);
    QCOMPARE(page.SpinEdit1->value(), 80);
    QVERIFY(previews.wait(10000));
    QCOMPARE(PGSettings().JpegQuality, 80);

    page.TrackBar1->setValue(20);
    QTest::qWait(100);
    // A running timer is not restarted by the next move: 100 ms of its
    // interval are gone (a restarted one would have all 1000 left; the
    // margin is the 5 % a coarse timer may move).
    const bool firedMeanwhile = previews.count() > 1 || !page.Timer1->isActive();
    page.TrackBar1->setValue(30);
    if (!firedMeanwhile) QVERIFY(page.Timer1->remainingTime() < page.Timer1->interval() - 50);
    QVERIFY(previews.wait(10000));
    QTest::qWait(1500);
    QCOMPARE(previews.count(), firedMeanwhile ? 3 : 2);
    QVERIFY(!page.Timer1->isActive());
    QCOMPARE(PGSettings().JpegQuality, 30);
    QCOMPARE(page.SpinEdit1->value(), 30);

    const QFileInfo file(page.Page.TempFile());
    QCOMPARE(file.fileName(), QStringLiteral("~tessel.jpg"));
    QCOMPARE(previews.last().at(0).toLongLong(), file.size());
    QCOMPARE(page.Label1->text(), QStringLiteral("Compressed file size : %1 bytes").arg(file.size()));
    QCOMPARE(page.PGImage3->PixelGraphicWidth(), 120);
    QCOMPARE(page.PGImage2->width(), page.Page.width() / 2);
  }

  void TheNumberBoxDrivesTheSliderThePreviewAndTheExport() {
    TShownWindow w(FImage);
    TCompressionWidgets page = w.Compression();
    QCOMPARE(page.SpinEdit1->value(), 80);  // from the start, not only after a move
    QSignalSpy previews(&page.Page, &TCompressionPage::Previewed);
    w.Pages()->setCurrentWidget(&page.Page);
    QVERIFY(previews.wait(10000));
    QTest::keyClick(page.SpinEdit1, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(page.SpinEdit1, QStringLiteral("35"));
    QCOMPARE(page.TrackBar1->value(), 35);
    // An export now, before the preview, is at the quality shown.
    QCOMPARE(PGSettings().JpegQuality, 35);
    QVERIFY(page.Timer1->isActive());
    QVERIFY(previews.wait(10000));
    QTest::keyClick(page.SpinEdit1, Qt::Key_Up);
    QCOMPARE(page.TrackBar1->value(), 36);
    QCOMPARE(PGSettings().JpegQuality, 36);
    page.TrackBar1->setValue(50);
    QCOMPARE(page.SpinEdit1->value(), 50);
  }

  void ProgressiveEncodingPreviewsAtOnce() {
    TShownWindow w(FImage);
    TCompressionWidgets page = w.Compression();
    w.Pages()->setCurrentWidget(&page.Page);
    QSignalSpy previews(&page.Page, &TCompressionPage::Previewed);
    QTest::mouseClick(page.CheckBox1, Qt::LeftButton);
    QCOMPARE(previews.count(), 1);
    QVERIFY(PGSettings().JpegProgressive);
    // The start of frame of a progressive JPEG.
    QVERIFY(FileBytes(page.Page.TempFile()).contains(QByteArray("\xFF\xC2", 2)));
  }

  void ZoomButtonsChangeBothViews() {
    TShownWindow w(FImage);
    TCompressionWidgets page = w.Compression();
    w.Pages()->setCurrentWidget(&page.Page);
    for (QPushButton* b : {page.ZoomInButton, page.ZoomInButton, page.ZoomOutButton})
      QTest::mouseClick(b, Qt::LeftButton);
    QCOMPARE(double(page.PGImage2->ZoomFactor()), 2.0);
    QCOMPARE(double(page.PGImage3->ZoomFactor()), 2.0);
    QTest::mouseClick(page.ActualSizeButton, Qt::LeftButton);
    QCOMPARE(double(page.PGImage3->ZoomFactor()), 1.0);
  }

  // For WebP slices the page shows WebP at WebP's quality, and weighs the
  // page off the window's thread as tessel-cli's dry run does; a weighing
  // overtaken by the next is never shown.
  void TheWebpPageWeighsThePageAsTheDryRunDoes() {
    TShownWindow w(FImage);
    TCompressionWidgets page = w.Compression();
    w.Grid().VertSplits.Add(50);
    w.Grid().HorzSplits.Add(40);
    for (QAction* action : w.Child<QActionGroup>("OutputFormatGroup")->actions())
      if (action->text() == QStringLiteral("WebP")) action->trigger();
    QCOMPARE(w.Pages()->tabText(1), QStringLiteral("WebP Compression"));
    QVERIFY(!page.CheckBox1->isVisibleTo(&page.Page));
    QSignalSpy weighed(&page.Page, &TCompressionPage::PageWeighed);
    QSignalSpy previews(&page.Page, &TCompressionPage::Previewed);
    w.Pages()->setCurrentWidget(&page.Page);
    page.TrackBar1->setValue(35);
    QCOMPARE(PGSettings().WebpQuality, 35);
    QCOMPARE(PGSettings().JpegQuality, 80);
    QVERIFY(previews.wait(10000));
    QCOMPARE(QFileInfo(page.Page.TempFile()).fileName(), QStringLiteral("~tessel.webp"));
    QVERIFY(FileBytes(page.Page.TempFile()).startsWith("RIFF"));
    QTRY_COMPARE_WITH_TIMEOUT(weighed.count(), 1, 10000);
    page.Page.WeighPage();
    page.Page.WeighPage();
    QTRY_COMPARE_WITH_TIMEOUT(weighed.count(), 2, 10000);
    QTest::qWait(300);
    QCOMPARE(weighed.count(), 2);
    const qint64 bytes = weighed.last().at(0).toLongLong();
    QCOMPARE(weighed.last().at(1).toInt(), 4);
    QCOMPARE(page.PageWeightLabel->text(), QStringLiteral("Page: %1 bytes in 4 slices").arg(bytes));
    QProcess cli;
    cli.start(QStringLiteral(TESSEL_CLI_PATH),
              {QStringLiteral("slice"), FImage, FDir.filePath(QStringLiteral("dry.html")), QStringLiteral("--vert"),
               QStringLiteral("50"), QStringLiteral("--horz"), QStringLiteral("40"), QStringLiteral("--format"),
               QStringLiteral("webp"), QStringLiteral("--set"), QStringLiteral("WebpQuality=35"),
               QStringLiteral("--dry-run")});
    QVERIFY(cli.waitForFinished(60000));
    QVERIFY(cli.readAllStandardOutput().contains(
        QStringLiteral("total: 4 slices, %1 bytes (dry run: nothing written)").arg(bytes).toUtf8()));
    // Back to JPEG: its own quality again.
    for (QAction* action : w.Child<QActionGroup>("OutputFormatGroup")->actions())
      if (action->text() == QStringLiteral(".jpg")) action->trigger();
    QCOMPARE(page.TrackBar1->value(), 80);
    QCOMPARE(w.Pages()->tabText(1), QStringLiteral("JPEG Compression"));
  }

  void APreviewFileOfItsOwnThatGoesWithTheWindow() {
    // What others left in the shared temporary folder: another user's
    // "~tessel.jpg" that cannot be replaced, the folder of a run that was
    // killed, and one of a run still going.
    QTemporaryDir temp;
    const QDir shared(temp.path());
    QVERIFY(shared.mkdir(QStringLiteral("~tessel.jpg")));
    QProcess ended;
    ended.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("echo $$")});
    QVERIFY(ended.waitForFinished());
    const QString killed =
        QStringLiteral("tessel-%1-aB3dE9").arg(QString::fromLatin1(ended.readAll()).trimmed());
    QVERIFY(shared.mkpath(killed + QStringLiteral("/sub")));
    WriteFile(shared.filePath(killed + QStringLiteral("/~tessel.jpg")), "left");
    const QString running = QStringLiteral("tessel-1-xY7zQ2");  // pid 1 never ends
    QVERIFY(shared.mkdir(running));

    const QByteArray oldTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(temp.path()));
    auto first = std::make_unique<TShownWindow>(FImage);
    auto second = std::make_unique<TShownWindow>(FImage);
    qputenv("TMPDIR", oldTemp);
    QStringList files;
    for (TShownWindow* w : {first.get(), second.get()}) {
      TCompressionWidgets page = w->Compression();
      QSignalSpy previews(&page.Page, &TCompressionPage::Previewed);
      w->Pages()->setCurrentWidget(&page.Page);
      QVERIFY(previews.wait(10000));
      const QFileInfo file(page.Page.TempFile());
      QCOMPARE(file.fileName(), QStringLiteral("~tessel.jpg"));
      QCOMPARE(file.size(), previews.last().at(0).toLongLong());
      // In a folder of its own in the temporary folder that only this user
      // may enter.
      const QFileInfo folder(file.path());
      QCOMPARE(folder.dir().canonicalPath(), shared.canonicalPath());
      QVERIFY(folder.fileName().startsWith(
          QStringLiteral("tessel-%1-").arg(QCoreApplication::applicationPid())));
      QCOMPARE(folder.permissions(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                         QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
      files << file.filePath();
    }
    QVERIFY(ReportedErrors().empty());
    QVERIFY(files[0] != files[1]);
    QVERIFY(!shared.exists(killed));
    QVERIFY(shared.exists(running));
    QVERIFY(QFileInfo(shared.filePath(QStringLiteral("~tessel.jpg"))).isDir());
    // Closing a window removes its file and folder; the other keeps its own.
    first.reset();
    QVERIFY(!QFileInfo::exists(QFileInfo(files[0]).path()));
    QVERIFY(QFileInfo::exists(files[1]));
    second.reset();
    QVERIFY(!QFileInfo::exists(QFileInfo(files[1]).path()));
  }

  void AFailingTemporaryFileIsReportedAndStopsTheTimer() {
    // A temporary folder that is a file: nothing can be made in it.
    QTemporaryDir temp;
    const QString notAFolder = temp.filePath(QStringLiteral("file"));
    WriteFile(notAFolder, "x");
    const QByteArray oldTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(notAFolder));
    TShownWindow w(FImage);
    qputenv("TMPDIR", oldTemp);
    TCompressionWidgets page = w.Compression();
    w.Pages()->setCurrentWidget(&page.Page);
    QTRY_VERIFY_WITH_TIMEOUT(!ReportedErrors().empty(), 10000);
    QCOMPARE(page.Label1->text(), QStringLiteral("-"));
    QVERIFY(!page.Timer1->isActive());
    QVERIFY(w->ImageLoaded());
  }
};

TESSEL_UI_TEST_MAIN(TCompressionPageTest)
#include "compressionpage_test.moc"
