// The document behind the window: every kind of change one step of its undo
// stack, back and forth through the menu and the keys, with the Slices panel
// following; the clean state after opening, saving, loading and exporting;
// the lines another image takes over; texts of cells a loaded grid has not.
#include <QToolButton>

#include "pgraphic_qt/view/pgimage.h"
#include "ui_test_util.h"

namespace {

TPositions Horz(const TSplitGrid& grid) { return grid.HorzSplits.Values(); }
TPositions Vert(const TSplitGrid& grid) { return grid.VertSplits.Values(); }

}  // namespace

class TDocumentTest : public TWindowTest {
  Q_OBJECT

 private slots:
  void init() { StartWindowTest(); }

  // The clean state follows what a grid file holds: a new image, a save, a
  // load and an export that saves the grid are clean, the steps after them
  // are not, and undoing back to the saved state is clean again.
  void TheCleanStateSaysWhetherAGridFileHoldsTheCut() {
    TCutDocument doc;
    const std::string grid = QFile::encodeName(FDir.filePath(QStringLiteral("clean.grd"))).toStdString();
    const TTagMap texts{{{1, 1}, TCellTags{"a.html", "", "A"}}};
    struct TStep {
      const char* What;
      std::function<void()> Do;
      bool Modified;
      const char* UndoText;
    };
    const std::vector<TStep> steps = {
        {"a new image", [&] { doc.NewImage(QStringLiteral("a.png"), {}, 300, 200); }, false, ""},
        {"a line", [&] { QVERIFY(doc.AddLine(false, 100)); }, true, "Add Line"},
        {"the same line again", [&] { QVERIFY(!doc.AddLine(false, 100)); }, true, "Add Line"},
        {"a line below the image", [&] { QVERIFY(!doc.AddLine(true, 201)); }, true, "Add Line"},
        {"saved", [&] { doc.SaveGrid(grid); }, false, "Add Line"},
        {"undone", [&] { doc.Stack().undo(); }, true, ""},
        {"redone", [&] { doc.Stack().redo(); }, false, "Add Line"},
        {"cleared", [&] { doc.ClearSplits(); }, true, "Clear Splits"},
        {"loaded", [&] { QVERIFY(doc.LoadGrid(grid, {}).empty()); }, false, "Load Grid"},
        {"an export that changed nothing", [&] { doc.ExportEnded(doc.Data().Tags, doc.Data().Cells, false); },
         false, "Load Grid"},
        {"texts confirmed in an export", [&] { doc.ExportEnded(texts, doc.Data().Cells, false); }, true,
         "Slice Texts"},
        {"an export that saved the grid", [&] { doc.ExportEnded(texts, doc.Data().Cells, true); }, false,
         "Slice Texts"},
        {"another image", [&] { doc.NewImage(QStringLiteral("b.png"), {}, 40, 30); }, false, ""},
    };
    for (const TStep& step : steps) {
      step.Do();
      QVERIFY2(doc.Modified() == step.Modified, step.What);
      QCOMPARE(doc.Stack().undoText(), QLatin1String(step.UndoText));
    }
    QCOMPARE(doc.ImagePath(), QStringLiteral("b.png"));
    QCOMPARE(Vert(doc.Grid()), (TPositions{0, 40}));
  }

  void AnotherImageTakesOverTheLinesThatFitIt() {
    TCutDocument doc;
    doc.NewImage(QStringLiteral("a.png"), {}, 300, 200);
    QVERIFY(!doc.HasPlacedWork());
    doc.Apply(QStringLiteral("Texts"), TGridData{doc.Grid(), {{{1, 1}, TCellTags{"", "", "A"}}}, {}});
    QVERIFY(doc.HasPlacedWork());
    for (int x : {250, 100}) doc.AddLine(false, x);
    doc.AddLine(true, 50);
    const TGridData fitted = doc.FittedTo(200, 100);
    QCOMPARE(Vert(fitted.Grid), (TPositions{0, 200, 100}));
    QCOMPARE(Horz(fitted.Grid), (TPositions{0, 100, 50}));
    QCOMPARE(fitted.Tags.at({1, 1}).Alt, std::string("A"));
  }

  // Texts of cells the grid has not are left out and named.
  void ALoadedGridNamesTheTextsItLeavesOut() {
    TCutDocument doc;
    doc.NewImage(QStringLiteral("a.png"), {}, 300, 200);
    const QString grid = FDir.filePath(QStringLiteral("stray.grd"));
    WriteFile(grid, "0\r\n200\r\n-\r\n0\r\n300\r\n300\r\n100\r\n");
    WriteFile(FDir.filePath(QStringLiteral("stray.tags")), "2\t1\tb.html\r\n3\t1\tc.html\r\n1\t2\td.html\r\n");
    const auto strays = doc.LoadGrid(QFile::encodeName(grid).toStdString(), {});
    QCOMPARE(strays, (std::vector<std::pair<int, int>>{{1, 2}, {3, 1}}));
    QCOMPARE(Vert(doc.Grid()), (TPositions{0, 300, 100}));  // each line once
    QCOMPARE(doc.Data().Tags.at({2, 1}).Link, std::string("b.html"));
    QVERIFY(!doc.Modified());
  }

  void EveryKindOfChangeIsOneStepBackAndForth() {
    TShownWindow w(FImage);
    w.Action("SlicesPanelAction")->trigger();
    const QString grid = FDir.filePath(QStringLiteral("undo.grd"));
    WriteFile(grid, "0\r\n200\r\n30\r\n-\r\n0\r\n300\r\n");
    std::vector<TGridData> states{w.Data()};
    std::vector<QString> names;
    const auto step = [&](const QString& name, const std::function<void()>& action) {
      action();
      QVERIFY2(!(w.Data() == states.back()), qPrintable(name));
      states.push_back(w.Data());
      names.push_back(QStringLiteral("&Undo ") + name);
      QCOMPARE(w.Action("UndoAction")->text(), names.back());
    };
    step(QStringLiteral("Add Line"), [&] { w.Drag({40, 30}, {120, 30}); });
    step(QStringLiteral("Move Line"), [&] { w.Drag({120, 60}, {150, 60}); });
    step(QStringLiteral("Add Line"), [&] { QTest::mouseClick(w.Child<TRuler>("PaintBox1"), Qt::LeftButton, Qt::NoModifier, {12, 75}); });
    w.Dialogs.Positions = {QStringLiteral("260")};
    step(QStringLiteral("Add Line"), [&] { w.Action("AddVerticalAction")->trigger(); });
    step(QStringLiteral("Move Line"), [&] { QTest::keyClick(w.View(), Qt::Key_Right, Qt::ShiftModifier); });
    step(QStringLiteral("Remove Line"), [&] { QTest::keyClick(w.View(), Qt::Key_Delete); });
    step(QStringLiteral("Remove Line"), [&] { w.Drag({150, 100}, {330, 100}); });
    step(QStringLiteral("Edit Link of Slice 1, 2"), [&] { TypeIntoCell(*w.SlicesTable(), 1, TSlicesPanel::colLink, QStringLiteral("a.html")); });
    QTest::mouseClick(w.Child<QToolButton>("rect_speed"), Qt::LeftButton);
    step(QStringLiteral("Add Rectangle"), [&] { w.Drag({10, 20}, {59, 99}); });
    QTest::mouseClick(w.Child<QToolButton>("cross_speed"), Qt::LeftButton);
    step(QStringLiteral("Add Lines"), [&] { w.Drag({200, 150}, {200, 150}); });
    step(QStringLiteral("Load Grid"), [&] { w->LoadGrid(grid); });
    step(QStringLiteral("Clear Splits"), [&] { w.Action("ClearSplitsAction")->trigger(); });
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300}));

    // Back, by the menu and by the keys in turn; the panel follows.
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.Form.get()));
    for (std::size_t i = states.size() - 1; i > 0; --i) {
      QCOMPARE(w.Action("UndoAction")->text(), names[i - 1]);
      if (i % 2)
        w.Action("UndoAction")->trigger();
      else
        QTest::keyClick(w.Form.get(), Qt::Key_Z, Qt::ControlModifier);
      QVERIFY2(w.Data() == states[i - 1], qPrintable(names[i - 1]));
    }
    QVERIFY(!w.Action("UndoAction")->isEnabled());
    QCOMPARE(w.SlicesTable()->rowCount(), 1);
    for (std::size_t i = 1; i < states.size(); ++i) {
      if (i % 2)
        w.Action("RedoAction")->trigger();
      else
        QTest::keyClick(w.Form.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
      QVERIFY(w.Data() == states[i]);
    }
    // Back to before the link: the panel shows the slice without it.
    for (int i = 0; i < 5; ++i) w.Action("UndoAction")->trigger();
    QCOMPARE(w.SlicesTable()->item(1, TSlicesPanel::colLink)->text(), QString());
    // A new change drops what could be redone; a hidden panel catches up
    // with the changes made meanwhile when it shows again.
    const int rows = w.SlicesTable()->rowCount();
    w.Action("SlicesPanelAction")->trigger();
    QVERIFY(!w.Child<TSlicesPanel>("SlicesPanel")->isVisible());
    w.Drag({250, 150}, {250, 150});
    QVERIFY(!w.Action("RedoAction")->isEnabled());
    QCOMPARE(w.SlicesTable()->rowCount(), rows);
    w.Action("SlicesPanelAction")->trigger();
    QCOMPARE(w.SlicesTable()->rowCount(), int(PageLayoutOf(w.Data().Grid, w.Data().Cells).Cells.size()));
    QVERIFY(w.SlicesTable()->rowCount() > rows);
    QCOMPARE(w.Action("AddVerticalAction")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Y));
  }
};

TESSEL_UI_TEST_MAIN(TDocumentTest)
#include "document_test.moc"
