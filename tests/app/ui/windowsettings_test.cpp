// What the window keeps between runs: placement and recent lists, and the
// work settings (output format, qualities, progressive flag, Slices panel),
// read back after a restart; stored values that make no sense are passed
// over one by one.
#include <QSettings>

#include "app/common/settingsstore.h"
#include "app/ui/windowsettings.h"
#include "ui_test_util.h"

namespace {

std::vector<std::string> Paths(const TRecentFiles& list) { return list.Paths(); }

}  // namespace

class TWindowSettingsTest : public TWindowTest {
  Q_OBJECT

 private slots:
  void init() { StartWindowTest(); }

  void StoredWorkSettingsThatMakeNoSenseLeaveWhatWasThere() {
    const TWorkSettings before{FindOutputFormat("png"), 40, 60, true, true, {}, false};
    const auto same = [](const TWorkSettings& a, const TWorkSettings& b) {
      return a.Format == b.Format && a.JpegQuality == b.JpegQuality && a.WebpQuality == b.WebpQuality &&
             a.JpegProgressive == b.JpegProgressive && a.SlicesPanel == b.SlicesPanel &&
             a.SlicesWidths == b.SlicesWidths && a.SlicesHideEmpty == b.SlicesHideEmpty;
    };
    struct TRow {
      const char* Name;
      const char* Stored;
      std::function<void(TWorkSettings&)> Change;  // what reading it changes
    };
    const std::vector<TRow> rows = {
        {"OutputFormat", "webp", [](TWorkSettings& w) { w.Format = FindOutputFormat("webp"); }},
        {"OutputFormat", "gif", nullptr},
        {"OutputFormat", ".png", nullptr},
        {"JpegQuality", "0", [](TWorkSettings& w) { w.JpegQuality = 0; }},
        {"JpegQuality", "100", [](TWorkSettings& w) { w.JpegQuality = 100; }},
        {"JpegQuality", "101", nullptr},
        {"JpegQuality", "-1", nullptr},
        {"JpegQuality", "35%", nullptr},
        {"WebpQuality", "55", [](TWorkSettings& w) { w.WebpQuality = 55; }},
        {"WebpQuality", "", nullptr},
        {"JpegProgressive", "0", [](TWorkSettings& w) { w.JpegProgressive = false; }},
        {"JpegProgressive", "yes", nullptr},
        {"SlicesPanel", "0", [](TWorkSettings& w) { w.SlicesPanel = false; }},
        {"SlicesPanelWidths", "300,40,60,70,50,80,60,90",
         [](TWorkSettings& w) { w.SlicesWidths = {300, 40, 60, 70, 50, 80, 60, 90}; }},
        {"SlicesPanelWidths", "300,0,x", nullptr},
        {"SlicesPanelHidesEmpty", "1", [](TWorkSettings& w) { w.SlicesHideEmpty = true; }},
    };
    for (const TRow& row : rows) {
      TMemorySettingsStore store("Software\\Corvane Mill", std::make_shared<TSettingsData>());
      store.WriteString("Tessel", row.Name, row.Stored);
      TWorkSettings read = before, expected = before;
      ReadWorkSettings(store, read);
      if (row.Change) row.Change(expected);
      QVERIFY2(same(read, expected), qPrintable(QStringLiteral("%1 = %2").arg(row.Name, row.Stored)));
    }
    // What is written reads back as it was.
    TMemorySettingsStore store("Software\\Corvane Mill", std::make_shared<TSettingsData>());
    WriteWorkSettings(store, before);
    TWorkSettings read;
    ReadWorkSettings(store, read);
    QVERIFY(same(read, before));
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
    QVERIFY(!w.Pages()->isTabVisible(1));
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
};

TESSEL_UI_TEST_MAIN(TWindowSettingsTest)
#include "windowsettings_test.moc"
