// Editing the grid in the window with real mouse and key events: every kind
// of change undone and redone step by step, the selected line moved by keys
// and by the status bar, snapping, the view scrolling under a dragged line,
// the lines kept for another image, and cells merged and left without an
// image, chosen in the cell mode or with Shift+drag.
#include <QLabel>
#include <QSpinBox>
#include <QToolButton>

#include "app/export/pagelayout.h"
#include "app/ui/slicespanel.h"
#include "pgraphic_qt/view/pgimage.h"
#include "ui_test_util.h"

namespace {

// Strong edges at x = 100 and y = 120 only.
TRGB TwoEdges(int x, int y) { return RGBColor(x < 100 ? 230 : 40, y < 120 ? 220 : 30, 128); }

}  // namespace

class TEditingTest : public QObject {
  Q_OBJECT

  QTemporaryDir FDir;
  QString FImage;  // 300 x 200

 private slots:
  void initTestCase() { FImage = WriteImage(FDir, QStringLiteral("picture.png"), 300, 200); }
  void init() {
    QFile::remove(SettingsFile());
    ReportedErrors().clear();
  }

  void EveryKindOfChangeIsOneStepBackAndForth() {
    TShownWindow w(FImage);
    w->SlicesPanelAction->trigger();
    const QString grid = FDir.filePath(QStringLiteral("undo.grd"));
    WriteFile(grid, "0\r\n200\r\n30\r\n-\r\n0\r\n300\r\n");
    std::vector<TGridData> states{w->Data()};
    std::vector<QString> names;
    const auto step = [&](const QString& name, const std::function<void()>& action) {
      action();
      QVERIFY2(!(w->Data() == states.back()), qPrintable(name));
      states.push_back(w->Data());
      names.push_back(QStringLiteral("&Undo ") + name);
      QCOMPARE(w->UndoAction->text(), names.back());
    };
    step(QStringLiteral("Add Line"), [&] { w.Drag({40, 30}, {120, 30}); });
    step(QStringLiteral("Move Line"), [&] { w.Drag({120, 60}, {150, 60}); });
    step(QStringLiteral("Add Line"), [&] { QTest::mouseClick(w->PaintBox1, Qt::LeftButton, Qt::NoModifier, {12, 75}); });
    w.Dialogs.Positions = {QStringLiteral("260")};
    step(QStringLiteral("Add Line"), [&] { w->AddVerticalAction->trigger(); });
    step(QStringLiteral("Move Line"), [&] { QTest::keyClick(w->PGImage1, Qt::Key_Right, Qt::ShiftModifier); });
    step(QStringLiteral("Remove Line"), [&] { QTest::keyClick(w->PGImage1, Qt::Key_Delete); });
    step(QStringLiteral("Remove Line"), [&] { w.Drag({150, 100}, {330, 100}); });
    step(QStringLiteral("Edit Link of Slice 1, 2"), [&] { TypeIntoCell(*w->SlicesPanel->Table, 1, TSlicesPanel::colLink, QStringLiteral("a.html")); });
    QTest::mouseClick(w->rect_speed, Qt::LeftButton);
    step(QStringLiteral("Add Rectangle"), [&] { w.Drag({10, 20}, {59, 99}); });
    QTest::mouseClick(w->cross_speed, Qt::LeftButton);
    step(QStringLiteral("Add Lines"), [&] { w.Drag({200, 150}, {200, 150}); });
    step(QStringLiteral("Load Grid"), [&] { w->LoadGrid(grid); });
    step(QStringLiteral("Clear Splits"), [&] { w->ClearSplitsAction->trigger(); });
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300}));

    // Back, by the menu and by the keys in turn; the panel follows.
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.Form.get()));
    for (std::size_t i = states.size() - 1; i > 0; --i) {
      QCOMPARE(w->UndoAction->text(), names[i - 1]);
      if (i % 2)
        w->UndoAction->trigger();
      else
        QTest::keyClick(w.Form.get(), Qt::Key_Z, Qt::ControlModifier);
      QVERIFY2(w->Data() == states[i - 1], qPrintable(names[i - 1]));
    }
    QVERIFY(!w->UndoAction->isEnabled());
    QCOMPARE(w->SlicesPanel->Table->rowCount(), 1);
    for (std::size_t i = 1; i < states.size(); ++i) {
      if (i % 2)
        w->RedoAction->trigger();
      else
        QTest::keyClick(w.Form.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
      QVERIFY(w->Data() == states[i]);
    }
    // Back to before the link: the panel shows the slice without it.
    for (int i = 0; i < 5; ++i) w->UndoAction->trigger();
    QCOMPARE(w->SlicesPanel->Table->item(1, TSlicesPanel::colLink)->text(), QString());
    // A new change drops what could be redone; a hidden panel catches up
    // with the changes made meanwhile when it shows again.
    const int rows = w->SlicesPanel->Table->rowCount();
    w->SlicesPanelAction->trigger();
    QVERIFY(!w->SlicesPanel->isVisible());
    w.Drag({250, 150}, {250, 150});
    QVERIFY(!w->RedoAction->isEnabled());
    QCOMPARE(w->SlicesPanel->Table->rowCount(), rows);
    w->SlicesPanelAction->trigger();
    QCOMPARE(w->SlicesPanel->Table->rowCount(), int(PageLayoutOf(w->Data().Grid, w->Data().Cells).Cells.size()));
    QVERIFY(w->SlicesPanel->Table->rowCount() > rows);
    QCOMPARE(w->AddVerticalAction->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Y));
  }

  void TheSelectedLineMovesByKeysAndInTheStatusBar() {
    TShownWindow w(FImage);
    w->Grid().VertSplits.Add(100);
    QVERIFY(w->LinePosition->isHidden());
    w.Drag({101, 20}, {101, 20});  // a click beside the line selects it
    QCOMPARE(w->Editor().Selected(), std::optional(TLineRef{false, 100}));
    QVERIFY(!w->LinePosition->isHidden());
    QCOMPARE(w->LinePositionLabel->text(), QStringLiteral("Vertical line at"));
    QCOMPARE(w->LinePosition->value(), 100);
    const QImage shown = Rendered(*w->PGImage1);
    const QPoint at = w->PGImage1->PicBox()->pos() + QPoint(100, 0);
    QCOMPARE(shown.pixel(at + QPoint(0, 1)), QRgb(TSplitEditor::SelectedTones[0]));
    QCOMPARE(shown.pixel(at + QPoint(0, 5)), QRgb(TSplitEditor::SelectedTones[1]));

    const int steps = w->History().Stack().count();
    for (auto [key, modifiers] : {std::pair{Qt::Key_Right, Qt::NoModifier}, {Qt::Key_Right, Qt::ShiftModifier},
                                  {Qt::Key_Left, Qt::NoModifier}, {Qt::Key_Up, Qt::NoModifier}})
      QTest::keyClick(w->PGImage1, key, modifiers);
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300, 110}));  // in its place in the list
    QCOMPARE(w->LinePosition->value(), 110);
    // The nudges of one selection are one step.
    QCOMPARE(w->History().Stack().count(), steps + 1);
    w->UndoAction->trigger();
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300, 100}));
    w->RedoAction->trigger();

    // Typed into the status bar; a place another line holds is refused.
    for (const char* typed : {"205", "300"}) {
      QTest::keyClick(w->LinePosition, Qt::Key_A, Qt::ControlModifier);
      QTest::keyClicks(w->LinePosition, QLatin1String(typed));
      QTest::keyClick(w->LinePosition, Qt::Key_Return);
    }
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300, 205}));
    QCOMPARE(w->LinePosition->value(), 205);
    // Shift+Right runs into the right edge: refused at 300, nothing moves.
    for (int i = 0; i < 10; ++i) QTest::keyClick(w->PGImage1, Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300, 295}));

    QTest::keyClick(w->PGImage1, Qt::Key_Escape);
    QVERIFY(!w->Editor().Selected() && w->LinePosition->isHidden());
    w.Drag({295, 50}, {295, 50});
    QTest::keyClick(w->PGImage1, Qt::Key_Delete);
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300}));
    QVERIFY(!w->Editor().Selected());
  }

  void LinesSnapToColourEdgesLinesAndImageEdgesUnlessAltIsHeld() {
    TShownWindow w(WriteImage(FDir, QStringLiteral("edges.png"), 300, 200, TwoEdges));
    w.Keys = Qt::NoModifier;
    w.Drag({40, 30}, {104, 30});  // four pixels off the colour edge
    w.Drag({40, 30}, {96, 30});   // onto that line: nothing new
    w.Drag({40, 30}, {296, 30});  // onto the right edge: nothing new
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300, 100}));
    QTest::mouseClick(w->y_speed, Qt::LeftButton);
    w.Drag({40, 60}, {40, 116});
    QCOMPARE(Horz(*w.Form), (TPositions{0, 200, 120}));
    // A cross near the top edge and nowhere else: one line, no duplicate.
    QTest::mouseClick(w->cross_speed, Qt::LeftButton);
    w.Drag({160, 3}, {160, 3});
    QCOMPARE(Horz(*w.Form), (TPositions{0, 200, 120}));
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300, 100, 160}));
    // Alt held: exactly where the mouse is.
    w.Keys = Qt::AltModifier;
    QTest::mouseClick(w->x_speed, Qt::LeftButton);
    w.Drag({40, 30}, {97, 30});
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300, 100, 160, 97}));
  }

  void TheViewScrollsUnderALineDraggedPastItsEdge() {
    TShownWindow w(WriteImage(FDir, QStringLiteral("tall.png"), 400, 900));
    TPGImage& view = *w->PGImage1;
    QTest::mouseClick(w->y_speed, Qt::LeftButton);
    const int below = view.viewport()->height() + 15;
    w.Press({50, 100});
    w.Move({50, below});
    QTRY_VERIFY_WITH_TIMEOUT(view.VertScrollPosition() >= 40, 10000);
    // The mouse has not moved: the feedback follows the picture under it.
    const int scrolled = view.VertScrollPosition();
    QCOMPARE(w->Editor().LastHorzLine(), below + scrolled);
    w.Release({50, below + scrolled});
    QCOMPARE(Horz(*w.Form), (TPositions{0, 900, below + scrolled}));
    const int stopped = view.VertScrollPosition();
    QTest::qWait(200);
    QCOMPARE(view.VertScrollPosition(), stopped);
  }

  void CellsAreMergedAndSkippedStepByStep() {
    TShownWindow w(FImage);
    w->SlicesPanelAction->trigger();
    const QString grid = FDir.filePath(QStringLiteral("cells.grd"));
    WriteFile(grid, "0\r\n200\r\n50\r\n150\r\n-\r\n0\r\n300\r\n100\r\n200\r\n");  // 3 x 3 cells
    w->LoadGrid(grid);
    std::vector<TGridData> states{w->Data()};
    const QImage plain = Rendered(*w->PGImage1);
    QVERIFY(!w->MergeCellsAction->isEnabled());

    // The cell mode: a drag from cell 2,1 to cell 3,2, then Ctrl+M.
    w.Keys = Qt::NoModifier;
    QTest::mouseClick(w->cells_speed, Qt::LeftButton);
    w.Drag({150, 20}, {250, 100});
    QCOMPARE(w->Editor().ChosenCells(), std::optional(TCellRange{2, 1, 3, 2}));
    QVERIFY(w->MergeCellsAction->isEnabled());
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.Form.get()));
    QTest::keyClick(w.Form.get(), Qt::Key_M, Qt::ControlModifier);
    QCOMPARE(w->UndoAction->text(), QStringLiteral("&Undo Merge Cells"));
    states.push_back(w->Data());
    // Shift+drag in a line mode chooses cells and adds no line.
    QTest::mouseClick(w->x_speed, Qt::LeftButton);
    w.Keys = Qt::ShiftModifier;
    w.Drag({20, 160}, {280, 190});
    QCOMPARE(w->Editor().ChosenCells(), std::optional(TCellRange{1, 3, 3, 3}));
    w->MergeCellsAction->trigger();
    states.push_back(w->Data());
    // A click inside a merged cell chooses all of it.
    w.Drag({280, 120}, {280, 120});
    QCOMPARE(w->Editor().ChosenCells(), std::optional(TCellRange{2, 1, 3, 2}));
    w.Keys = Qt::NoModifier;
    QTest::keyClick(w->PGImage1, Qt::Key_Escape);
    QCOMPARE(w->Editor().ChosenCells(), std::nullopt);
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300, 100, 200}));
    QCOMPARE(w->Data().Cells.Merges, (std::map<TCellKey, TCellSpan>{{{2, 1}, {2, 2}}, {{1, 3}, {3, 1}}}));

    // No line runs through a merged cell: the picture shows there.
    const QPoint origin = w->PGImage1->PicBox()->pos();
    QImage expected = plain;
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 300; ++x) {
        const bool inside = (x > 100 && y < 150 && y > 0 && x < 300) || (y > 150 && y < 200 && x > 0 && x < 300);
        if (inside) expected.setPixel(origin + QPoint(x, y), ToQRgb(PositionColor(x, y)));
      }
    const QImage merged = Rendered(*w->PGImage1);
    QCOMPARE(merged, expected);

    // Cell 1,2 without an image: hatched, all of it and nothing else.
    QTest::mouseClick(w->cells_speed, Qt::LeftButton);
    w.Drag({50, 100}, {50, 100});
    w->NoImageAction->trigger();
    QCOMPARE(w->UndoAction->text(), QStringLiteral("&Undo No Image"));
    states.push_back(w->Data());
    QTest::keyClick(w->PGImage1, Qt::Key_Escape);
    const QImage skipped = Rendered(*w->PGImage1);
    for (int y = 0; y < merged.height(); ++y)
      for (int x = 0; x < merged.width(); ++x) {
        const QPoint p = QPoint(x, y) - origin;
        const bool inside = p.x() > 0 && p.x() < 100 && p.y() > 50 && p.y() < 150;
        if ((skipped.pixel(x, y) != merged.pixel(x, y)) != inside) QFAIL(qPrintable(QStringLiteral("at %1, %2").arg(p.x()).arg(p.y())));
      }

    // The panel lists each merged cell once, at its size.
    const QTableWidget& table = *w->SlicesPanel->Table;
    QStringList rows;
    for (int r = 0; r < table.rowCount(); ++r)
      rows << table.item(r, TSlicesPanel::colSlice)->text() + QStringLiteral(": ") + table.item(r, TSlicesPanel::colSize)->text();
    QCOMPARE(rows, (QStringList{QStringLiteral("1, 1: 100 x 50"), QStringLiteral("2, 1: 200 x 150"),
                                QStringLiteral("1, 2: 100 x 100, no image"), QStringLiteral("1, 3: 300 x 50")}));

    // Unmerge and image again, then every step back and forth.
    w.Drag({150, 100}, {150, 100});
    w->UnmergeCellsAction->trigger();
    states.push_back(w->Data());
    w.Drag({50, 100}, {50, 100});
    w->ImageAgainAction->trigger();
    states.push_back(w->Data());
    QCOMPARE(w->Data().Cells, (TCellData{{{{1, 3}, {3, 1}}}, {}, {}}));
    for (std::size_t i = states.size() - 1; i > 0; --i) {
      w->UndoAction->trigger();
      QVERIFY(w->Data() == states[i - 1]);
    }
    QCOMPARE(table.rowCount(), 9);
    for (std::size_t i = 1; i < states.size(); ++i) {
      w->RedoAction->trigger();
      QVERIFY(w->Data() == states[i]);
    }
    // Other lines: the choice goes, the merge follows its cells.
    w.Drag({150, 100}, {150, 100});
    w->Editor().SetMode(TSplitMode::Horizontal);
    w.Keys = Qt::AltModifier;
    w.Drag({40, 100}, {40, 100});
    QCOMPARE(w->Editor().ChosenCells(), std::nullopt);
    QCOMPARE(w->Data().Cells.Merges, (std::map<TCellKey, TCellSpan>{{{1, 4}, {3, 1}}}));
  }

  void AnotherImageKeepsTheLinesThatFitWhenAsked() {
    TShownWindow w(FImage);
    w->Grid().VertSplits.Add(100);
    w->Grid().VertSplits.Add(290);
    w->Grid().HorzSplits.Add(150);
    w->Data().Tags[{2, 1}] = {"b.html", "", ""};
    const QString smaller = WriteImage(FDir, QStringLiteral("second.png"), 280, 160);
    w.Dialogs.YesNoAnswers = {true};
    w->OpenImage(smaller);
    QCOMPARE(w.Dialogs.Questions,
             std::vector<QString>{QStringLiteral("Tessel!: Keep the split lines that fit the new image?")});
    QCOMPARE(Vert(*w.Form), (TPositions{0, 280, 100}));
    QCOMPARE(Horz(*w.Form), (TPositions{0, 160, 150}));
    QCOMPARE(w->Data().Tags.at({2, 1}).Link, std::string("b.html"));
    QVERIFY(!w->UndoAction->isEnabled());  // a new image starts a new history
    // No: the new image's edges only; then nothing to ask about.
    w->OpenImage(FImage);
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300}));
    QVERIFY(w->Data().Tags.empty());
    w->OpenImage(smaller);
    QCOMPARE(w.Dialogs.Questions.size(), std::size_t(2));
  }
};

TESSEL_UI_TEST_MAIN(TEditingTest)
#include "editing_test.moc"
