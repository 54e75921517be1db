// The window's export: the files equal the command line tool's on the same
// grid (merged cells, the newer formats and the automatic choice included),
// the JPEG quality follows the compression page, a refused or failing export
// leaves every file, the grid and the image as they were, and what the
// per-slice dialogs confirm comes back to the cut as one step.
#include <QActionGroup>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QToolButton>

#include <tuple>

#include "pgraphic_qt/view/pgimage.h"
#include "platform/cursors.h"
#include "export_test_util.h"

class TWindowExportTest : public TWindowTest {
  Q_OBJECT

 private slots:
  void init() { StartWindowTest(); }

  void TheWindowWritesWhatTheCommandLineToolWrites() {
    const QString mine = MakeDir(FDir, QStringLiteral("e2e/window"));
    const QString cli = MakeDir(FDir, QStringLiteral("e2e/cli"));
    TShownWindow w(FImage);
    // Lines from the mouse, a ruler and the keyboard; an export sorts them.
    w.Drag({40, 30}, {120, 30});
    QTest::mouseClick(w.Child<TRuler>("PaintBox1"), Qt::LeftButton, Qt::NoModifier, {12, 75});
    w.Dialogs.Positions = {QStringLiteral("260")};
    w.Action("AddVerticalAction")->trigger();
    const QString grid = FDir.filePath(QStringLiteral("e2e/cut.grd"));
    w.Dialogs.SavePaths = {grid};
    w.Action("SaveGridAction")->trigger();

    w.Dialogs.SavePaths = {mine + QStringLiteral("/index.html")};
    w.Dialogs.OnModal = SetOptions({.DoubleQuote = true, .UpperCase = true});
    w.Action("ExportAction")->trigger();
    QVERIFY(ReportedErrors().empty());
    QCOMPARE(w.Dialogs.FileFilters.back(), QStringLiteral("HTML Table|*.htm;*.html / html"));
    QCOMPARE(w.Dialogs.ModalTitles, std::vector<QString>{QStringLiteral("Export Options")});
    QVERIFY(w.Dialogs.Questions.empty());
    QCOMPARE(Vert(*w.Form), (TPositions{0, 120, 260, 300}));
    QCOMPARE(Horz(*w.Form), (TPositions{0, 75, 200}));
    QCOMPARE(w.Status()->text(),
             QStringLiteral("Exported 6 slices and ") + mine + QStringLiteral("/index.html"));
    // The slice image keeps the last cell.
    QCOMPARE(w->SliceImage().Width(), 40);
    QCOMPARE(w->SliceImage().Height(), 125);

    QCOMPARE(CliSlice(FImage, cli + QStringLiteral("/index.html"),
                      {QStringLiteral("--grid"), grid, QStringLiteral("--uppercase"),
                       QStringLiteral("--double-quote")}),
             0);
    const auto written = DirectoryFiles(mine);
    QCOMPARE(written.size(), std::size_t(8));
    QVERIFY(written == DirectoryFiles(cli));
    QVERIFY(written.at(QStringLiteral("index.html"))
                .startsWith("<TABLE CELLSPACING = 0 CELLPADDING = 0 BORDER = 0>\r\n<TR><TD><IMG "
                            "SRC=\"index_1_1.jpg\" WIDTH=120 HEIGHT=75>"));
  }

  // Merged and skipped cells chosen with the mouse, saved with the grid: the
  // command line tool reads them beside the grid and writes the same files.
  void MergedCellsWriteWhatTheCommandLineToolWrites() {
    const QString mine = MakeDir(FDir, QStringLiteral("cells/window"));
    const QString cli = MakeDir(FDir, QStringLiteral("cells/cli"));
    TShownWindow w(FImage);
    const QString grid = FDir.filePath(QStringLiteral("cells/cut.grd"));
    WriteFile(grid, "0\r\n200\r\n50\r\n-\r\n0\r\n300\r\n100\r\n200\r\n");
    w->LoadGrid(grid);
    w.Keys = Qt::NoModifier;
    QTest::mouseClick(w.Child<QToolButton>("cells_speed"), Qt::LeftButton);
    w.Drag({150, 20}, {250, 120});
    w.Action("MergeCellsAction")->trigger();
    w.Drag({50, 120}, {50, 120});
    w.Action("NoImageAction")->trigger();
    w.Dialogs.SavePaths = {grid};
    w.Action("SaveGridAction")->trigger();
    QCOMPARE(FileBytes(FDir.filePath(QStringLiteral("cells/cut.cells"))),
             QByteArray("lines\thorizontal\t0,50,200\r\nlines\tvertical\t0,100,200,300\r\n"
                        "merge\t2\t1\t2\t2\r\nskip\t1\t2\r\n"));

    w.Dialogs.SavePaths = {mine + QStringLiteral("/index.html")};
    w.Dialogs.OnModal = SetOptions({.Style = TPageStyle::Html5});
    w.Action("ExportAction")->trigger();
    QVERIFY(ReportedErrors().empty());
    QCOMPARE(w.Status()->text(), QStringLiteral("Exported 2 slices and ") + mine + QStringLiteral("/index.html"));
    QCOMPARE(CliSlice(FImage, cli + QStringLiteral("/index.html"),
                      {QStringLiteral("--grid"), grid, QStringLiteral("--style"), QStringLiteral("html5")}),
             0);
    const auto written = DirectoryFiles(mine);
    QCOMPARE(written.size(), std::size_t(4));
    QVERIFY(written.count(QStringLiteral("index_2_1.jpg")));
    QVERIFY(written == DirectoryFiles(cli));
    QVERIFY(written.at(QStringLiteral("index.html")).contains("<td rowspan='2' style='padding:0'><img src='index_2_1.jpg'"));

    // Loaded again, with the grid.
    w.Action("ClearSplitsAction")->trigger();
    QVERIFY(w.Data().Cells.Empty());
    w->LoadGrid(grid);
    QCOMPARE(w.Data().Cells, (TCellData{{{{2, 1}, {2, 2}}}, {{1, 2}}, {}}));
  }

  // The menu's entries for the newer formats: WebP slices are .webp files,
  // 256-colour PNG slices .png files, as tessel-cli writes them.
  void WebpAndPng256EntriesWriteWhatTheCommandLineToolWrites() {
    for (const auto& [text, name, extension] :
         {std::tuple{"WebP", "webp", ".webp"}, {"PNG 256 colours", "png8", ".png"}}) {
      const QString mine = MakeDir(FDir, QStringLiteral("formats/window_") + QLatin1String(name));
      const QString cli = MakeDir(FDir, QStringLiteral("formats/cli_") + QLatin1String(name));
      TShownWindow w(FImage);
      w.Grid().VertSplits.Add(100);
      QAction* entry = nullptr;
      for (QAction* action : w.Child<QActionGroup>("OutputFormatGroup")->actions())
        if (action->text() == QLatin1String(text)) entry = action;
      QVERIFY(entry);
      entry->trigger();
      QCOMPARE(w->OutputExtension(), std::string(extension));
      QCOMPARE(w.Pages()->isTabVisible(1), std::string(name) == "webp");  // WebP's quality
      w.Dialogs.SavePaths = {mine + QStringLiteral("/index.html")};
      w.Dialogs.OnModal = SetOptions({});
      w.Action("ExportAction")->trigger();
      QVERIFY(ReportedErrors().empty());
      QCOMPARE(CliSlice(FImage, cli + QStringLiteral("/index.html"),
                        {QStringLiteral("--vert"), QStringLiteral("100"), QStringLiteral("--format"),
                         QLatin1String(name)}),
               0);
      const auto written = DirectoryFiles(mine);
      QCOMPARE(written.size(), std::size_t(4));
      QVERIFY(written.count(QStringLiteral("index_2_1") + QLatin1String(extension)));
      QVERIFY(written == DirectoryFiles(cli));
    }
  }

  // "Automatic": the files of tessel-cli --format auto, each slice in the
  // code dialog's table with its bytes and why, the sum in the status line.
  void AutomaticFormatWritesWhatTheCommandLineToolWritesAndSaysWhy() {
    const QString mine = MakeDir(FDir, QStringLiteral("auto/window"));
    const QString cli = MakeDir(FDir, QStringLiteral("auto/cli"));
    TShownWindow w(FImage);
    w.Grid().VertSplits.Add(1);
    w.Grid().VertSplits.Add(100);
    for (QAction* action : w.Child<QActionGroup>("OutputFormatGroup")->actions())
      if (action->text() == QStringLiteral("Automatic")) action->trigger();
    QVERIFY(w.Pages()->isTabVisible(1));
    QStringList rows;
    w.Dialogs.OnModal = [&](QDialog& dialog) {
      if (auto* options = qobject_cast<Texportdialog*>(&dialog)) return options->editcode->setChecked(true);
      QTableWidget& table = *w.CodeDialog->SliceTable;
      QVERIFY(table.isVisibleTo(&dialog));
      for (int row = 0; row < table.rowCount(); ++row)
        rows << table.item(row, 0)->text() + "|" + table.item(row, 1)->text() + "|" + table.item(row, 2)->text() +
                    "|" + table.item(row, 3)->text();
    };
    w.Dialogs.SavePaths = {mine + QStringLiteral("/index.html")};
    w.Action("ExportAction")->trigger();
    QVERIFY(ReportedErrors().empty());
    QCOMPARE(CliSlice(FImage, cli + QStringLiteral("/index.html"),
                      {QStringLiteral("--vert"), QStringLiteral("1,100"), QStringLiteral("--format"),
                       QStringLiteral("auto")}),
             0);
    const auto written = DirectoryFiles(mine);
    QVERIFY(written == DirectoryFiles(cli));
    QCOMPARE(written.size(), std::size_t(5));
    QCOMPARE(rows.size(), 3);
    qint64 total = 0;
    for (const QString& row : rows) {
      const QStringList fields = row.split(QLatin1Char('|'));
      QCOMPARE(fields.size(), 4);
      QVERIFY2(written.count(fields[0]), qPrintable(row));
      QVERIFY2(fields[0].endsWith(QLatin1Char('.') + fields[1].section(QLatin1Char(' '), 0, 0).remove('8')),
               qPrintable(row));
      QCOMPARE(fields[2].toLongLong(), qint64(written.at(fields[0]).size()));
      QVERIFY2(fields[3].startsWith(QStringLiteral("more than 256")) || fields[3].startsWith(QStringLiteral("256")),
               qPrintable(row));
      total += fields[2].toLongLong();
    }
    QVERIFY2(rows[0].contains(QStringLiteral("kept exact")), qPrintable(rows[0]));
    QVERIFY(w.Status()->text().startsWith(QStringLiteral("Exported 3 slices and ") + mine +
                                             QStringLiteral("/index.html (%1 bytes: ").arg(total)));
  }

  void JpegSlicesTakeTheQualityOfTheLastPreview() {
    const QString at80 = MakeDir(FDir, QStringLiteral("q/80")), at30 = MakeDir(FDir, QStringLiteral("q/30"));
    const QString cli30 = MakeDir(FDir, QStringLiteral("q/cli30"));
    {
      TShownWindow w(FImage);
      w.Dialogs.SavePaths = {at80 + QStringLiteral("/a.html")};
      w.Action("ExportAction")->trigger();
    }
    TShownWindow w(FImage);
    TCompressionWidgets page = w.Compression();
    w.Pages()->setCurrentWidget(&page.Page);
    page.TrackBar1->setValue(30);
    QTRY_VERIFY_WITH_TIMEOUT(PGSettings().JpegQuality == 30 && !page.Timer1->isActive(), 10000);
    w.Dialogs.SavePaths = {at30 + QStringLiteral("/a.html")};
    w.Action("ExportAction")->trigger();
    QVERIFY(ReportedErrors().empty());

    QCOMPARE(CliSlice(FImage, cli30 + QStringLiteral("/a.html"), {QStringLiteral("--set"), QStringLiteral("JpegQuality=30")}), 0);
    const QByteArray slice30 = FileBytes(at30 + QStringLiteral("/a_1_1.jpg"));
    QCOMPARE(slice30, FileBytes(cli30 + QStringLiteral("/a_1_1.jpg")));
    QVERIFY(slice30.size() < FileBytes(at80 + QStringLiteral("/a_1_1.jpg")).size());
    QCOMPARE(CliSlice(FImage, cli30 + QStringLiteral("/b.html"), {}), 0);
    QCOMPARE(FileBytes(at80 + QStringLiteral("/a_1_1.jpg")), FileBytes(cli30 + QStringLiteral("/b_1_1.jpg")));
  }

  void CancelOnTheOverwriteQuestionLeavesEveryFile() {
    const QString dir = MakeDir(FDir, QStringLiteral("overwrite"));
    const QString html = dir + QStringLiteral("/index.html");
    WriteFile(html, "old page");
    WriteFile(dir + QStringLiteral("/index_1_1.jpg"), "old slice");
    const auto before = DirectoryFiles(dir);
    TShownWindow w(FImage);
    w.Grid().VertSplits.Add(100);
    w.Dialogs.SavePaths = {html};
    w.Action("ExportAction")->trigger();
    QCOMPARE(w.Dialogs.Questions,
             std::vector<QString>{QStringLiteral("File already exists!: Overwrite ") + html + QStringLiteral("?")});
    QVERIFY(w.Dialogs.ModalTitles.empty());
    QVERIFY(DirectoryFiles(dir) == before);
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300, 100}));  // nothing at all happened

    // OK replaces the page and its slices without another question.
    w.Dialogs.SavePaths = {html};
    w.Dialogs.OkCancelAnswers = {true};
    w.Action("ExportAction")->trigger();
    QCOMPARE(w.Dialogs.Questions.size(), std::size_t(2));
    QVERIFY(ReportedErrors().empty());
    QVERIFY(FileBytes(html).startsWith("<table"));
    QVERIFY(FileBytes(dir + QStringLiteral("/index_1_1.jpg")).startsWith("\xFF\xD8"));
  }

  void AnExportNeverReplacesItsSource() {
    const QString dir = MakeDir(FDir, QStringLiteral("source"));
    const QString source = dir + QStringLiteral("/page_1_1.png");
    QVERIFY(QFile::copy(FImage, source));
    TShownWindow w(source);
    w.Child<QActionGroup>("OutputFormatGroup")->actions()[3]->trigger();  // .png
    w.Dialogs.SavePaths = {dir + QStringLiteral("/page.html")};
    w.Action("ExportAction")->trigger();
    QCOMPARE(ReportedErrors().size(), std::size_t(1));
    QCOMPARE(FileBytes(source), FileBytes(FImage));
    QCOMPARE(DirectoryFiles(dir).size(), std::size_t(1));
  }

  // Two pages in one folder: the second may not take the first's slices,
  // and gets names of its own from the options' field.
  void TwoPagesInOneFolderKeepTheirOwnSlices() {
    const QString dir = MakeDir(FDir, QStringLiteral("languages"));
    TShownWindow w(FImage);
    w.Drag({100, 10}, {100, 10});
    w.Dialogs.SavePaths = {dir + QStringLiteral("/mail.en.html")};
    w.Action("ExportAction")->trigger();
    QVERIFY(ReportedErrors().empty());
    const QByteArray english = FileBytes(dir + QStringLiteral("/mail_1_1.jpg"));
    w.Dialogs.SavePaths = {dir + QStringLiteral("/mail.de.html")};
    w.Dialogs.OkCancelAnswers = {true};
    w.Action("ExportAction")->trigger();
    QCOMPARE(ReportedErrors().size(), std::size_t(1));
    QVERIFY(!QFile::exists(dir + QStringLiteral("/mail.de.html")));
    w.ExportDialog->slicenames->setText(QStringLiteral("mail-de"));
    w.Dialogs.SavePaths = {dir + QStringLiteral("/mail.de.html")};
    w.Action("ExportAction")->trigger();
    QCOMPARE(ReportedErrors().size(), std::size_t(1));
    QVERIFY(FileBytes(dir + QStringLiteral("/mail.de.html")).contains("src='mail-de_1_1.jpg'"));
    QCOMPARE(FileBytes(dir + QStringLiteral("/mail_1_1.jpg")), english);
  }

  void AFailingExportKeepsOldFilesGridAndImage() {
    const QString dir = MakeDir(FDir, QStringLiteral("failing"));
    const QString html = dir + QStringLiteral("/index.html");
    WriteFile(html, "old page");
    QVERIFY(QDir(dir).mkdir(QStringLiteral("index_2_1.jpg")));  // where a slice belongs
    TShownWindow w(FImage);
    w.Grid().VertSplits.Add(100);
    w.Dialogs.SavePaths = {html};
    w.Dialogs.OkCancelAnswers = {true};
    w.Dialogs.OnModal = SetOptions({.AlwaysGrid = true});
    w.Action("ExportAction")->trigger();
    QCOMPARE(ReportedErrors().size(), std::size_t(1));
    QVERIFY(ReportedErrors().front().contains(QStringLiteral("index_2_1.jpg")));
    QCOMPARE(FileBytes(html), QByteArray("old page"));
    QCOMPARE(QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             (QStringList{QStringLiteral("index.html"), QStringLiteral("index_2_1.jpg")}));
    QCOMPARE(w->MRUManager2().Count(), 0);
    QCOMPARE(Vert(*w.Form), (TPositions{0, 100, 300}));
    QVERIFY(w->ImageLoaded());
    QCOMPARE(w.View()->PixelGraphic()->GetPixel(150, 20), PositionColor(150, 20));
    QVERIFY(PGScreenCursorIsDefault());
  }

  // Retina slices with a line at an odd position: a question first; Cancel
  // writes nothing, OK exports with the half-size cells rounded down.
  void RetinaAsksAboutALineAtAnOddPosition() {
    const QString dir = MakeDir(FDir, QStringLiteral("odd"));
    TShownWindow w(FImage);
    w.Grid().VertSplits.Add(151);
    w.Dialogs.OnModal = SetOptions({.Retina = true});
    w.Dialogs.SavePaths = {dir + QStringLiteral("/index.html"), dir + QStringLiteral("/index.html")};
    w.Action("ExportAction")->trigger();
    QCOMPARE(w.Dialogs.Questions,
             std::vector<QString>{QStringLiteral("Retina slices: The vertical line at 151 lies at an odd position, in "
                                                 "the middle of a pixel of the half-size slices, which then do not "
                                                 "meet exactly. Export anyway, with the half-size cells rounded "
                                                 "down to whole pixels?")});
    QVERIFY(DirectoryFiles(dir).empty());
    QVERIFY(PGScreenCursorIsDefault());
    w.Dialogs.OkCancelAnswers = {true};
    w.Action("ExportAction")->trigger();
    QVERIFY(ReportedErrors().empty());
    QCOMPARE(DirectoryFiles(dir).size(), std::size_t(6));
    QVERIFY(FileBytes(dir + QStringLiteral("/index.html")).contains("width=75 height=100"));
  }

  void SliceTextsFromThePanelGoIntoThePageAndBesideTheGrid() {
    const QString mine = MakeDir(FDir, QStringLiteral("texts/window"));
    const QString cli = MakeDir(FDir, QStringLiteral("texts/cli"));
    const QString grid = FDir.filePath(QStringLiteral("texts/cut.grd"));
    QByteArray page;
    {
      TShownWindow w(FImage);
      w.Action("SlicesPanelAction")->trigger();
      w.Drag({40, 30}, {120, 30});
      QTableWidget& table = *w.SlicesTable();
      QCOMPARE(table.rowCount(), 2);
      QCOMPARE(table.item(1, TSlicesPanel::colSize)->text(), QStringLiteral("180 x 200"));
      TypeIntoCell(table, 0, TSlicesPanel::colLink, QStringLiteral("page2.html"));
      TypeIntoCell(table, 0, TSlicesPanel::colTarget, QStringLiteral("main"));
      TypeIntoCell(table, 1, TSlicesPanel::colAlt, QStringLiteral("Sky "), QStringLiteral("\u00e9"));
      w.Dialogs.SavePaths = {grid, mine + QStringLiteral("/index.html")};
      w.Action("SaveGridAction")->trigger();
      QCOMPARE(FileBytes(FDir.filePath(QStringLiteral("texts/cut.tags"))),
               QByteArray("lines\thorizontal\t0,200\r\nlines\tvertical\t0,120,300\r\n"
                          "1\t1\tpage2.html\tmain\r\n2\t1\t\t\tSky \xC3\xA9\r\n"));
      w.Action("ExportAction")->trigger();  // no per-slice dialog: the kept texts go in
      QVERIFY(ReportedErrors().empty());
      page = FileBytes(mine + QStringLiteral("/index.html"));
      QVERIFY(page.contains("<A HREF=\"page2.html\" TARGET=\"main\"><img src='index_1_1.jpg' width=120 "
                            "height=200 BORDER=0></A>"));
      QVERIFY(page.contains("ALT=\"Sky &#233;\""));
    }
    QCOMPARE(CliSlice(FImage, cli + QStringLiteral("/index.html"),
                      {QStringLiteral("--grid"), grid, QStringLiteral("--tags"), FDir.filePath(QStringLiteral("texts/cut.tags"))}),
             0);
    QVERIFY(DirectoryFiles(mine) == DirectoryFiles(cli));

    // Loaded with the grid into another window, they give the same page again.
    TShownWindow again(FImage);
    again.Dialogs.SavePaths = {mine + QStringLiteral("/again.html")};
    again->LoadGrid(grid);
    QCOMPARE(again.Data().Tags.at({1, 1}).Target, std::string("main"));
    again.Action("ExportAction")->trigger();
    QCOMPARE(FileBytes(mine + QStringLiteral("/again.html")), QByteArray(page).replace("index_", "again_"));
  }

  void ThePerSliceDialogStartsFromTheKeptTextsAndCancelWritesNothing() {
    const QString dir = MakeDir(FDir, QStringLiteral("cancel"));
    TShownWindow w(FImage);
    w.Grid().VertSplits.Add(100);
    w.Data().Tags[{2, 1}] = {"b.html", "top", "B"};
    Taddtagsdialog& tags = *w.TagsDialog;
    int slice = 0;
    w.Dialogs.OnModal = [&](QDialog& dialog) {
      if (auto* options = qobject_cast<Texportdialog*>(&dialog)) {
        options->incalttags->setChecked(true);
        options->alwaysgrid->setChecked(true);
        return;
      }
      ++slice;
      QCOMPARE(tags.SliceCounter->text(), QStringLiteral("Slice %1 of 2").arg((slice - 1) % 2 + 1));
      if (slice == 1) {
        QTest::keyClicks(tags.edit_alt, QStringLiteral("A"));
        QTest::mouseClick(tags.OKButton, Qt::LeftButton);
      } else if (slice == 2) {
        QCOMPARE(tags.edit_href->text(), QStringLiteral("b.html"));
        QCOMPARE(tags.edit_target->text(), QStringLiteral("top"));
        QCOMPARE(tags.Memo1->toPlainText(), QStringLiteral("<A HREF=\"b.html\" TARGET=\"top\"><img src='index_2_1.jpg' "
                                                           "width=200 height=200 ALT=\"B\" BORDER=0></A>"));
        QTest::mouseClick(tags.CancelButton, Qt::LeftButton);
      } else {
        QTest::mouseClick(tags.OKButton, Qt::LeftButton);
      }
    };
    w.Dialogs.SavePaths = {dir + QStringLiteral("/index.html")};
    w.Action("ExportAction")->trigger();
    QCOMPARE(slice, 2);
    QVERIFY(ReportedErrors().empty());
    QVERIFY(DirectoryFiles(dir).empty());
    // What was confirmed before the Cancel is kept, as one step.
    QCOMPARE(w.Data().Tags.at({1, 1}).Alt, std::string("A"));
    QCOMPARE(w.Action("UndoAction")->text(), QStringLiteral("&Undo Slice Texts"));
    QVERIFY(w.Document().Modified());

    // Through to the end: the texts go beside the grid as well, which then
    // holds the whole cut.
    w.Dialogs.SavePaths = {dir + QStringLiteral("/index.html")};
    w.Action("ExportAction")->trigger();
    QCOMPARE(slice, 4);
    QCOMPARE(FileBytes(dir + QStringLiteral("/index.tags")), QByteArray("lines\thorizontal\t0,200\r\nlines\tvertical\t0,100,300\r\n"
                                                                  "1\t1\t\t\tA\r\n2\t1\tb.html\ttop\tB\r\n"));
    QVERIFY(QFile::exists(dir + QStringLiteral("/index.grd")));
    QVERIFY(!w.Document().Modified());
  }

  // The per-slice dialog sets a slice's own format and quality with the
  // keyboard and the mouse: one undoable step, saved with the grid, shown
  // in the Slices panel, and the next export (and tessel-cli with the
  // saved grid) writes the slice so.
  void ThePerSliceDialogSetsASlicesOwnFormat() {
    const QString mine = MakeDir(FDir, QStringLiteral("own/window"));
    const QString cli = MakeDir(FDir, QStringLiteral("own/cli"));
    TShownWindow w(FImage);
    w.Grid().VertSplits.Add(100);
    w.Grid().HorzSplits.Add(120);
    Taddtagsdialog& tags = *w.TagsDialog;
    int slice = 0;
    bool ask = true;
    w.Dialogs.OnModal = [&](QDialog& dialog) {
      if (auto* options = qobject_cast<Texportdialog*>(&dialog)) {
        options->incalttags->setChecked(ask);
        options->alwaysgrid->setChecked(true);
        return;
      }
      ++slice;
      QCOMPARE(tags.SliceFormat->currentIndex(), 0);  // the export's, until set
      QVERIFY(!tags.SliceQuality->isEnabled());
      if (slice == 2) {  // 2, 1: WebP at 35, chosen by keys
        tags.SliceFormat->setFocus();
        while (tags.SliceFormat->currentText() != QStringLiteral("WebP")) QTest::keyClick(tags.SliceFormat, Qt::Key_Down);
        QVERIFY(tags.SliceQuality->isEnabled());
        QCOMPARE(tags.SliceQuality->text(), QStringLiteral("as the export"));
        tags.SliceQuality->selectAll();
        QTest::keyClicks(tags.SliceQuality, QStringLiteral("35"));
      } else if (slice == 3) {  // 1, 2: PNG, whose quality means nothing
        tags.SliceQuality->setValue(50);
        tags.SliceFormat->setCurrentIndex(tags.SliceFormat->findText(QStringLiteral(".png")));
        QVERIFY(!tags.SliceQuality->isEnabled());
      }
      QTest::mouseClick(tags.OKButton, Qt::LeftButton);
    };
    w.Dialogs.SavePaths = {mine + QStringLiteral("/first.html")};
    w.Action("ExportAction")->trigger();
    QVERIFY(ReportedErrors().empty());
    QCOMPARE(slice, 4);
    // The slices shown were written already: this export is all JPEG.
    QVERIFY(QFile::exists(mine + QStringLiteral("/first_2_1.jpg")));
    QCOMPARE(w.Data().Cells.Formats, (std::map<TCellKey, TCellFormat>{{{2, 1}, {"webp", 35}}, {{1, 2}, {"png"}}}));
    QCOMPARE(FileBytes(mine + QStringLiteral("/first.cells")), QByteArray("lines\thorizontal\t0,120,200\r\nlines\tvertical\t0,100,300\r\n"
                                                                         "format\t2\t1\twebp\t35\r\nformat\t1\t2\tpng\r\n"));
    w.Action("SlicesPanelAction")->trigger();
    QCOMPARE(w.SlicesTable()->item(1, TSlicesPanel::colSize)->text(), QStringLiteral("200 x 120, webp q35"));
    QCOMPARE(w.Action("UndoAction")->text(), QStringLiteral("&Undo Slice Texts"));

    // The next one starts from the kept formats and writes them.
    slice = 0;
    w.Dialogs.OnModal = [&](QDialog& dialog) {
      if (qobject_cast<Texportdialog*>(&dialog)) return;
      ++slice;
      if (slice == 2) {
        QCOMPARE(tags.SliceFormat->currentText(), QStringLiteral("WebP"));
        QCOMPARE(tags.SliceQuality->value(), 35);
      }
      QTest::mouseClick(tags.OKButton, Qt::LeftButton);
    };
    for (const QString& f : QDir(mine).entryList(QDir::Files | QDir::Hidden)) QFile::remove(mine + QLatin1Char('/') + f);
    w.Dialogs.SavePaths = {mine + QStringLiteral("/index.html")};
    w.Action("ExportAction")->trigger();
    QVERIFY(ReportedErrors().empty());
    const auto written = DirectoryFiles(mine);
    QVERIFY(written.count(QStringLiteral("index_2_1.webp")) && written.count(QStringLiteral("index_1_2.png")));
    QVERIFY(written.at(QStringLiteral("index.html")).contains("<img src='index_2_1.webp' width=200 height=120>"));
    QCOMPARE(CliSlice(FImage, cli + QStringLiteral("/index.html"),
                      {QStringLiteral("--grid"), mine + QStringLiteral("/index.grd"), QStringLiteral("--save-grid")}),
             0);
    QVERIFY(written == DirectoryFiles(cli));

    w.Action("UndoAction")->trigger();  // the first export's step: the formats go
    QVERIFY(w.Data().Cells.Formats.empty());
  }
};

TESSEL_UI_TEST_MAIN(TWindowExportTest)
#include "windowexport_test.moc"
