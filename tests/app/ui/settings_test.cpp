// What the window keeps between runs and how it ends: placement and recent
// lists read back after a restart, damaged or unreadable settings reported
// without losing anything, a window closed while its workers run, files
// dropped on the window, and the program's command line.
#include <QActionGroup>
#include <QCheckBox>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QProcess>
#include <QSlider>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>

#include <chrono>

#include "app/ui/aboutbox.h"
#include "app/ui/placement.h"
#include "app/ui/slicespanel.h"
#include "pgraphic/core/settings.h"
#include "pgraphic_qt/view/paintthread.h"
#include "pgraphic_qt/view/pgimage.h"
#include "platform/display.h"
#include "support/watchdog.h"
#include "ui_test_util.h"
#include "widgets/qv_loupe.h"

using namespace std::chrono_literals;

namespace {

std::vector<std::string> Paths(const TRecentFiles& list) { return list.Paths(); }

bool ContainsText(const std::vector<QString>& messages, const char* text) {
  return std::any_of(messages.begin(), messages.end(),
                     [text](const QString& m) { return m.contains(QLatin1String(text)); });
}

}  // namespace

class TSettingsTest : public QObject {
  Q_OBJECT

  QTemporaryDir FDir;
  QString FImage;

 private slots:
  void initTestCase() {
    FImage = WriteImage(FDir, QStringLiteral("picture.png"), 300, 200);
    QDir().mkpath(QFileInfo(SettingsFile()).path());
  }
  void init() {
    QDir(SettingsFile()).removeRecursively();
    QFile::remove(SettingsFile());
    ReportedErrors().clear();
  }

  void ARestartReadsBackPlacementAndRecentLists() {
    const QString second = WriteImage(FDir, QStringLiteral("second.bmp"), 30, 20);
    const QString grid = FDir.filePath(QStringLiteral("cut.grd"));
    WriteFile(grid, "0\r\n200\r\n-\r\n0\r\n150\r\n300\r\n");
    std::vector<std::string> images, grids;
    {
      TShownWindow w(FImage);
      w->setGeometry(QRect(30, 40, 640, 430));
      w->OpenImage(second);
      w->OpenImage(FImage);
      w->LoadGrid(grid);
      QCOMPARE(Vert(*w.Form), (TPositions{0, 150, 300}));
      images = Paths(w->MRUManager1());
      grids = Paths(w->MRUManager2());
      w->close();
    }
    QCOMPARE(images.size(), std::size_t(2));
    QSettings ini(SettingsFile(), QSettings::IniFormat);
    QCOMPARE(ini.value(QStringLiteral("Software/Corvane Mill/Tessel/TForm1.MRUManager1/Item_0")).toString(),
             FImage);
    QCOMPARE(ini.value(QStringLiteral("Software/Corvane Mill/Tessel/NormPos")).toString(),
             QStringLiteral("30,40,670,470"));

    TShownWindow again;
    QCOMPARE(again->geometry(), QRect(30, 40, 640, 430));
    QCOMPARE(Paths(again->MRUManager1()), images);
    QCOMPARE(Paths(again->MRUManager2()), grids);
    QCOMPARE(again.Child<QMenu>("ReopenImageMenu")->actions().size(), 2);
    QVERIFY(ReportedErrors().empty());
    // A recent grid needs an image to cut.
    QVERIFY(!again.Child<QMenu>("ReopenGridMenu")->isEnabled());
    again.Child<QMenu>("ReopenImageMenu")->actions()[0]->trigger();
    QVERIFY(again.Child<QMenu>("ReopenGridMenu")->isEnabled());
    again.Child<QMenu>("ReopenGridMenu")->actions()[0]->trigger();
    QCOMPARE(Vert(*again.Form), (TPositions{0, 150, 300}));
  }

  void TheWorkSettingsSurviveARestart() {
    {
      TShownWindow w(FImage);
      TCompressionWidgets page = w.Compression();
      QTest::keyClick(page.SpinEdit1, Qt::Key_A, Qt::ControlModifier);
      QTest::keyClicks(page.SpinEdit1, QStringLiteral("35"));
      QTest::mouseClick(page.CheckBox1, Qt::LeftButton, Qt::NoModifier, {8, page.CheckBox1->height() / 2});
      w.Child<QActionGroup>("OutputFormatGroup")->actions()[3]->trigger();  // .png
      w.Action("SlicesPanelAction")->trigger();
      w->close();
    }
    // Each run starts with the library's own JPEG settings.
    PGSettings().JpegQuality = 80;
    PGSettings().JpegProgressive = false;
    TShownWindow w;
    QCOMPARE(w->OutputExtension(), std::string(".png"));
    QCOMPARE(w.Child<QActionGroup>("OutputFormatGroup")->checkedAction()->text(), QStringLiteral(".png"));
    QVERIFY(!w.Child<QTabWidget>("PageControl1")->isTabVisible(1));
    QCOMPARE(w.Compression().TrackBar1->value(), 35);
    QCOMPARE(w.Compression().SpinEdit1->value(), 35);
    QVERIFY(w.Compression().CheckBox1->isChecked());
    QCOMPARE(PGSettings().JpegQuality, 35);
    QVERIFY(PGSettings().JpegProgressive);
    QVERIFY(w.Child<TSlicesPanel>("SlicesPanel")->isVisible());
    // WebP's quality is kept beside JPEG's; the page shows the one of its format.
    for (QAction* action : w.Child<QActionGroup>("OutputFormatGroup")->actions())
      if (action->text() == QStringLiteral("WebP")) action->trigger();
    QCOMPARE(w.Compression().TrackBar1->value(), 80);
    w.Compression().TrackBar1->setValue(55);
    w->close();
    PGSettings().JpegQuality = PGSettings().WebpQuality = 80;
    TShownWindow again;
    QCOMPARE(again.Compression().TrackBar1->value(), 55);
    QCOMPARE(PGSettings().WebpQuality, 55);
    QCOMPARE(PGSettings().JpegQuality, 35);
    PGSettings().JpegQuality = PGSettings().WebpQuality = 80;
    PGSettings().JpegProgressive = false;
  }

  void ARestoredWindowFitsOntoTheScreenThatHoldsIt_data() {
    QTest::addColumn<QRect>("kept");
    QTest::addColumn<QRect>("placed");  // empty: no screen holds it
    QTest::newRow("fits as it is") << QRect(100, 100, 800, 600) << QRect(100, 100, 800, 600);
    QTest::newRow("taller than its screen") << QRect(100, 50, 800, 1400) << QRect(100, 30, 800, 1046);
    QTest::newRow("title bar above the screen") << QRect(100, -20, 800, 600) << QRect(100, 30, 800, 600);
    QTest::newRow("wider than the second screen") << QRect(2000, 100, 1500, 700) << QRect(1924, 100, 1272, 700);
    QTest::newRow("mostly on the second screen") << QRect(1800, 100, 600, 500) << QRect(1924, 100, 600, 500);
    QTest::newRow("mostly on the first screen") << QRect(1500, 100, 600, 500) << QRect(1316, 100, 600, 500);
    QTest::newRow("off every screen") << QRect(5000, 5000, 400, 300) << QRect();
  }
  void ARestoredWindowFitsOntoTheScreenThatHoldsIt() {
    QFETCH(QRect, kept);
    QFETCH(QRect, placed);
    const std::vector<QRect> screens{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
    const std::optional<QRect> fitted = FitOntoScreen(kept, QMargins(4, 30, 4, 4), screens);
    QCOMPARE(fitted.value_or(QRect()), placed);
  }

  void AMaximisedWindowStartsMaximised() {
    {
      TShownWindow w;
      w->showMaximized();
      w->close();
    }
    TShownWindow again;
    QVERIFY(again->isMaximized());
  }

  void ADamagedFileIsKeptAsideAndTheProgramStartsWithDefaults() {
    QByteArray garbage;
    for (int i = 0; i < 4000; ++i) garbage.append(char((i * 7919) % 251));
    WriteFile(SettingsFile(), garbage);
    {
      TShownWindow w(FImage);
      QVERIFY(ContainsText(ReportedErrors(), "is damaged"));
      QCOMPARE(w->MRUManager1().Count(), 1);
      QCOMPARE(w->size(), QSize(600, 400));
      w->close();
    }
    QCOMPARE(FileBytes(SettingsFile() + QStringLiteral(".damaged")), garbage);
    ReportedErrors().clear();
    TShownWindow again;
    QVERIFY(ReportedErrors().empty());
    QCOMPARE(QString::fromStdString(again->MRUManager1().Items(0)), FImage);
  }

  void AnUnreadableFileIsReportedAndNothingIsLost() {
    QVERIFY(QDir().mkpath(SettingsFile()));  // a directory where the file belongs
    TShownWindow w(FImage);
    QVERIFY(ContainsText(ReportedErrors(), "cannot be read"));
    w.Grid().VertSplits.Add(100);
    w->close();
    QVERIFY(ContainsText(ReportedErrors(), "cannot be written"));
    QVERIFY(w->ImageLoaded());
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300, 100}));
  }

  void ClosingWhileWorkersRunNeitherCrashesNorHangs() {
    const QString big = WriteImage(FDir, QStringLiteral("big.bmp"), 2400, 1800);
    // On a 256-colour screen the view needs display copies from its thread.
    PGSetScreenDepthOverride(8);
    {
      TWatchdog watchdog("closing a busy window", 120s);
      auto w = std::make_unique<TShownWindow>(big);
      QVERIFY(QTest::qWaitForWindowExposed(w->Form.get()));
      w->View()->viewport()->repaint();
      QVERIFY(w->View()->PaintThread()->isRunning());
      w->Compression().TrackBar1->setValue(10);  // the preview timer runs
      QVERIFY(w->Compression().Timer1->isActive() && w->Child<TQV_Loupe>("QV_Loupe1")->Active());
      w->Form->close();
      w.reset();
    }
    PGSetScreenDepthOverride(0);
  }

  void ADroppedImageIsOpened() {
    TShownWindow w;
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(FImage)});
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.Form.get(), &enter);
    QVERIFY(enter.isAccepted());
    QApplication::sendEvent(w.Form.get(), &drop);
    QVERIFY(w->ImageLoaded());
    QCOMPARE(Horz(*w.Form), (TPositions{0, 200}));
  }

  void TheCommandLineAnswersWithoutADisplay() {
    QProcess tessel;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    tessel.setProcessEnvironment(env);
    tessel.start(QStringLiteral(TESSEL_GUI_PATH), {QStringLiteral("--help")});
    QVERIFY(tessel.waitForFinished(30000));
    QCOMPARE(tessel.exitCode(), 0);
    QVERIFY(tessel.readAllStandardOutput().startsWith("usage: tessel [IMAGE]"));
    tessel.start(QStringLiteral(TESSEL_GUI_PATH), {QStringLiteral("--version")});
    QVERIFY(tessel.waitForFinished(30000));
    // The about box's version, and the command line twin's.
    QCOMPARE(tessel.readAllStandardOutput(), QByteArray("tessel 1.51\n"));
    QCOMPARE(TAboutBox().Version->text(), QStringLiteral("Version 1.51"));
    QProcess cli;
    cli.start(QStringLiteral(TESSEL_CLI_PATH), {QStringLiteral("--version")});
    QVERIFY(cli.waitForFinished(30000));
    QCOMPARE(cli.readAllStandardOutput(), QByteArray("tessel-cli 1.51\n"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    tessel.setProcessEnvironment(env);
    tessel.start(QStringLiteral(TESSEL_GUI_PATH), {QStringLiteral("--frobnicate")});
    QVERIFY(tessel.waitForFinished(30000));
    QCOMPARE(tessel.exitCode(), 2);
  }
};

TESSEL_UI_TEST_MAIN(TSettingsTest)
#include "settings_test.moc"
