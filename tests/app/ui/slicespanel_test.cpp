// The Slices panel with real clicks and keys: a slice's own format and
// quality set in the list go into the very next export, each row shows a
// picture of its cell, cells without an image can be hidden, and the
// panel's widths come back after a restart.
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QFile>
#include <QIcon>
#include <QProcess>

#include "export_test_util.h"

namespace {

// Opens the format list of a row as a user does (a click, F2), picks the
// entry `name` with the arrow keys and confirms with Enter.
void ChooseFormat(QTableWidget& table, int row, const QString& name) {
  QTest::mouseClick(table.viewport(), Qt::LeftButton, Qt::NoModifier,
                    table.visualItemRect(table.item(row, TSlicesPanel::colFormat)).center());
  QTest::keyClick(&table, Qt::Key_F2);
  // Lists closed before wait for their deletion, hidden.
  QComboBox* list = nullptr;
  for (QComboBox* open : table.viewport()->findChildren<QComboBox*>(QStringLiteral("FormatList")))
    if (open->isVisible()) list = open;
  QVERIFY(list);
  QTest::keyClick(list, Qt::Key_Home);
  for (int i = 0; i < list->count() && list->currentText() != name; ++i) QTest::keyClick(list, Qt::Key_Down);
  QCOMPARE(list->currentText(), name);
  QTest::keyClick(list, Qt::Key_Return);
  QCoreApplication::processEvents();
}

}  // namespace

class TSlicesPanelTest : public TWindowTest {
  Q_OBJECT

 private slots:
  void init() { StartWindowTest(); }

  void AFormatSetInTheListGoesIntoTheNextExport() {
    const QString dir = MakeDir(FDir, QStringLiteral("formats"));
    TShownWindow w(FImage);
    w.Action("SlicesPanelAction")->trigger();
    QVERIFY(w.Document().AddLine(false, 100));
    QTableWidget& table = *w.SlicesTable();
    const struct {
      int Row;
      const char *Format, *Quality;  // chosen, typed (or none)
      TCellFormat Kept;
    } edits[] = {
        {0, "webp", "35", {"webp", 35}},  {0, "webp", "250", {"webp", 35}},  // 250: not a quality
        {1, "png8", nullptr, {"png8"}},   {1, "jpg", "60", {"jpg", 60}},
        {1, TSlicesPanel::ExportsFormat, nullptr, {}}, {1, "png", nullptr, {"png"}},
    };
    for (const auto& e : edits) {
      ChooseFormat(table, e.Row, QLatin1String(e.Format));
      if (e.Quality) TypeIntoCell(table, e.Row, TSlicesPanel::colQuality, QLatin1String(e.Quality));
      const auto kept = w.Data().Cells.Formats.find({e.Row + 1, 1});
      QCOMPARE(kept == w.Data().Cells.Formats.end() ? TCellFormat{} : kept->second, e.Kept);
      // A quality is for lossy formats only.
      QCOMPARE(bool(table.item(e.Row, TSlicesPanel::colQuality)->flags() & Qt::ItemIsEditable),
               e.Kept.Quality != TCellFormat::NoQuality);
    }
    w.Dialogs.OnModal = SetOptions({});
    w.Dialogs.SavePaths = {dir + QStringLiteral("/index.html")};
    w.Action("ExportAction")->trigger();
    const auto files = DirectoryFiles(dir);
    QVERIFY(files.count(QStringLiteral("index_1_1.webp")) && files.count(QStringLiteral("index_2_1.png")));
  }

  // A name typed in the list names the slice's files; the name follows its
  // cell when a line comes before it, an unsafe or taken name is refused in
  // the status line, and the files are those the command line writes.
  void ANameTypedInTheListNamesTheSliceFiles() {
    const QString dir = MakeDir(FDir, QStringLiteral("names"));
    TShownWindow w(FImage);
    w.Action("SlicesPanelAction")->trigger();
    QVERIFY(w.Document().AddLine(false, 100));
    QTableWidget& table = *w.SlicesTable();
    TypeIntoCell(table, 1, TSlicesPanel::colName, QStringLiteral("btn-shop"));
    for (const char* refused : {"../up", "BTN-SHOP"}) {
      TypeIntoCell(table, 0, TSlicesPanel::colName, QLatin1String(refused));
      QVERIFY(w.Status()->text().contains(QStringLiteral("slice name")));
      QCOMPARE(table.item(0, TSlicesPanel::colName)->text(), QString());
    }
    QVERIFY(w.Document().AddLine(false, 50));
    QCOMPARE(w.Data().Cells.Names, (std::map<TCellKey, std::string>{{{3, 1}, "btn-shop"}}));
    w.Dialogs.OnModal = SetOptions({});
    w.Dialogs.SavePaths = {dir + QStringLiteral("/index.html")};
    w.Action("ExportAction")->trigger();
    const auto files = DirectoryFiles(dir);
    QVERIFY(files.count(QStringLiteral("btn-shop.jpg")) && files.count(QStringLiteral("index_1_1.jpg")));
    const QString cli = MakeDir(FDir, QStringLiteral("names-cli"));
    QFile cells(cli + QStringLiteral("/cut.cells"));
    QVERIFY(cells.open(QIODevice::WriteOnly) && cells.write("name\t3\t1\tbtn-shop\n") > 0);
    cells.close();
    QProcess run;
    run.start(QStringLiteral(TESSEL_CLI_PATH), {QStringLiteral("slice"), FImage, cli + QStringLiteral("/index.html"),
                                               QStringLiteral("--vert"), QStringLiteral("50,100"),
                                               QStringLiteral("--cells"), cells.fileName()});
    QVERIFY(run.waitForFinished(60000) && run.exitCode() == 0);
    QCOMPARE(DirectoryFiles(cli).at(QStringLiteral("btn-shop.jpg")), files.at(QStringLiteral("btn-shop.jpg")));
  }

  // Each row shows its cell; cells without image can be hidden; the widths
  // come back after a restart.
  void RowsShowTheirCellsAndTheListIsKept() {
    std::vector<int> widths;
    {
      TShownWindow w(FImage);
      w.Action("SlicesPanelAction")->trigger();
      QVERIFY(w.Document().AddLine(true, 100));
      QTableWidget& table = *w.SlicesTable();
      const QImage picture = table.item(1, TSlicesPanel::colSlice)->icon().pixmap(48, 24).toImage();
      QCOMPARE(picture.size(), QSize(48, 16));  // 300 x 100
      QCOMPARE(picture.pixel(0, 0), ToQRgb(PositionColor(0, 100)));
      w.Editor().ChooseCells(TCellRange{1, 2, 1, 2});
      QVERIFY(w.Editor().SkipChosen(true));
      QCheckBox* hide = w.Child<QCheckBox>(QStringLiteral("HideEmptyCells"));
      QTest::mouseClick(hide, Qt::LeftButton, Qt::NoModifier, {8, hide->height() / 2});
      QVERIFY(table.isRowHidden(1) && !table.isRowHidden(0));
      w.Action("UndoAction")->trigger();  // an image again: shown again
      QVERIFY(!table.isRowHidden(1));
      table.horizontalHeader()->resizeSection(TSlicesPanel::colLink, 210);
      widths = w.Child<TSlicesPanel>(QStringLiteral("SlicesPanel"))->Widths();
      w->close();
    }
    TShownWindow w(FImage);
    QCoreApplication::processEvents();
    QCOMPARE(w.Child<TSlicesPanel>(QStringLiteral("SlicesPanel"))->Widths(), widths);
    QCOMPARE(widths[1 + TSlicesPanel::colLink], 210);
    QVERIFY(w.Child<QCheckBox>(QStringLiteral("HideEmptyCells"))->isChecked());
  }
};

TESSEL_UI_TEST_MAIN(TSlicesPanelTest)
#include "slicespanel_test.moc"
