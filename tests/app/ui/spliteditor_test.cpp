// Editing the grid on the Source view with real mouse and key events:
// grabbing, moving, removing and selecting lines, the right button between
// the line modes, lines from a cross and a rectangle, snapping, the view
// scrolling under a dragged line, and cells merged and left without an
// image, chosen in the cell mode, with Shift+drag or many with Ctrl+click,
// and the image's edges shown at every zoom.
#include <QToolButton>

#include "app/ui/sourcezoom.h"
#include "pgraphic_qt/view/pgimage.h"
#include "platform/cursors.h"
#include "ui_test_util.h"

namespace {

// Strong edges at x = 100 and y = 120 only.
TRGB TwoEdges(int x, int y) { return RGBColor(x < 100 ? 230 : 40, y < 120 ? 220 : 30, 128); }

}  // namespace

class TSplitEditorTest : public TWindowTest {
  Q_OBJECT

 private slots:
  void init() { StartWindowTest(); }

  void GrabWithinThreePixelsNearestFirstThenMoveRemoveOrSelect() {
    TShownWindow w(FImage);
    w.Grid().HorzSplits.Add(50);
    // Hit testing looks at the horizontal lines in vertical mode as well,
    // three view pixels to either side.
    w.Move({100, 46});
    QVERIFY(PGScreenCursorIsDefault());
    QCOMPARE(w.Status()->text(), QStringLiteral("X: 100 Y: 46"));
    for (int y : {47, 50, 53}) {
      w.Move({100, y});
      QCOMPARE(PGScreenCursorShape(), Qt::SizeVerCursor);
    }
    w.Move({100, 54});
    QVERIFY(PGScreenCursorIsDefault());
    w.Move({3, 120});
    QCOMPARE(PGScreenCursorShape(), Qt::SizeHorCursor);  // the left edge
    w.Move({4, 120});
    QVERIFY(PGScreenCursorIsDefault());

    // Grabbed two pixels beside it, the line leaves the list, shows as the
    // feedback and keeps its distance to the mouse.
    w.Move({100, 52});
    w.Press({100, 52});
    QCOMPARE(Horz(*w.Form), (TPositions{0, 200}));
    w.Move({100, 82});
    QVERIFY(w.Editor().DraggingHorz());
    QCOMPARE(w.Editor().LastHorzLine(), 80);
    QCOMPARE(Rendered(*w.View()), ExpectedViewport(w, PositionColor));
    w.Release({100, 82});
    QCOMPARE(Horz(*w.Form), (TPositions{0, 200, 80}));
    QVERIFY(PGScreenCursorIsDefault());
    QVERIFY(!w.Editor().DraggingHorz() && w.Editor().LastHorzLine() == -1);
    QCOMPARE(w.Editor().Selected(), std::optional(TLineRef{true, 80}));
    QCOMPARE(Rendered(*w.View()), ExpectedViewport(w, PositionColor));

    // Of two lines in reach the nearer is taken; a click selects it and
    // changes nothing, not even the order.
    w.Grid().HorzSplits.Add(85);
    const int steps = w.Document().Stack().count();
    w.Drag({100, 83}, {100, 83});
    QCOMPARE(Horz(*w.Form), (TPositions{0, 200, 80, 85}));
    QCOMPARE(w.Editor().Selected(), std::optional(TLineRef{true, 85}));
    QCOMPARE(w.Document().Stack().count(), steps);

    // Released below the bottom edge, or on a line already there, it is gone.
    w.Drag({100, 85}, {100, 260});
    QCOMPARE(Horz(*w.Form), (TPositions{0, 200, 80}));
    QVERIFY(!w.Editor().Selected());
    w.Drag({300, 20}, {0, 20});  // the right edge dropped on the left one
    QCOMPARE(Vert(*w.Form), (TPositions{0}));

    // Pressed beside any line: a new one is placed in the current mode.
    w.Drag({40, 30}, {120, 30});
    QCOMPARE(Vert(*w.Form), (TPositions{0, 120}));
    QTest::mouseClick(w.Child<QToolButton>("y_speed"), Qt::LeftButton);
    w.Drag({40, 30}, {40, 70});
    QCOMPARE(Horz(*w.Form), (TPositions{0, 200, 80, 70}));
  }

  void RightClicksSwitchTheLineModes() {
    TShownWindow w(FImage);
    QTest::mouseClick(w.Child<QToolButton>("y_speed"), Qt::LeftButton);
    w.Press({10, 10}, Qt::RightButton);
    w.Release({10, 10}, Qt::RightButton);
    QVERIFY(w.Child<QToolButton>("x_speed")->isChecked());
    w.Press({10, 10}, Qt::RightButton);
    QVERIFY(w.Child<QToolButton>("y_speed")->isChecked());
    QCOMPARE(w.View()->ActionMode(), amNone);
    QCOMPARE(Horz(*w.Form), (TPositions{0, 200}));
    // In the selection modes a right click switches nothing.
    QTest::mouseClick(w.Child<QToolButton>("rect_speed"), Qt::LeftButton);
    QCOMPARE(w.View()->ActionMode(), amCreateSelection);
    QTest::mouseClick(w.Picture(), Qt::RightButton, Qt::NoModifier, {10, 10});
    QVERIFY(w.Child<QToolButton>("rect_speed")->isChecked());
  }

  void CrossAndRectangleAddFromTheSelection() {
    TShownWindow w(FImage);
    QTest::mouseClick(w.Child<QToolButton>("cross_speed"), Qt::LeftButton);
    QCOMPARE(w.View()->ActionMode(), amCreateSelection);
    // A second click on the same place adds no line a second time.
    for (int i = 0; i < 2; ++i) w.Drag({100, 50}, {100, 50});
    QCOMPARE(Horz(*w.Form), (TPositions{0, 200, 50}));
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300, 100}));
    QVERIFY(!w.View()->Selection());

    w.Action("ClearSplitsAction")->trigger();
    QTest::mouseClick(w.Child<QToolButton>("rect_speed"), Qt::LeftButton);
    w.Drag({10, 20}, {59, 79});
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300, 10, 60}));
    QCOMPARE(Horz(*w.Form), (TPositions{0, 200, 20, 80}));
    QVERIFY(!w.View()->Selection());
  }

  void LinesSnapToColourEdgesLinesAndImageEdgesUnlessAltIsHeld() {
    TShownWindow w(WriteImage(FDir, QStringLiteral("edges.png"), 300, 200, TwoEdges));
    w.Keys = Qt::NoModifier;
    w.Drag({40, 30}, {104, 30});  // four pixels off the colour edge
    w.Drag({40, 30}, {96, 30});   // onto that line: nothing new
    w.Drag({40, 30}, {296, 30});  // onto the right edge: nothing new
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300, 100}));
    QTest::mouseClick(w.Child<QToolButton>("y_speed"), Qt::LeftButton);
    w.Drag({40, 60}, {40, 116});
    QCOMPARE(Horz(*w.Form), (TPositions{0, 200, 120}));
    // A cross near the top edge and nowhere else: one line, no duplicate.
    QTest::mouseClick(w.Child<QToolButton>("cross_speed"), Qt::LeftButton);
    w.Drag({160, 3}, {160, 3});
    QCOMPARE(Horz(*w.Form), (TPositions{0, 200, 120}));
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300, 100, 160}));
    // Alt held: exactly where the mouse is.
    w.Keys = Qt::AltModifier;
    QTest::mouseClick(w.Child<QToolButton>("x_speed"), Qt::LeftButton);
    w.Drag({40, 30}, {97, 30});
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300, 100, 160, 97}));
  }

  void TheViewScrollsUnderALineDraggedPastItsEdge() {
    TShownWindow w(WriteImage(FDir, QStringLiteral("tall.png"), 400, 900));
    TPGImage& view = *w.View();
    QTest::mouseClick(w.Child<QToolButton>("y_speed"), Qt::LeftButton);
    const int below = view.viewport()->height() + 15;
    w.Press({50, 100});
    w.Move({50, below});
    QTRY_VERIFY_WITH_TIMEOUT(view.VertScrollPosition() >= 40, 10000);
    // The mouse has not moved: the feedback follows the picture under it.
    const int scrolled = view.VertScrollPosition();
    QCOMPARE(w.Editor().LastHorzLine(), below + scrolled);
    w.Release({50, below + scrolled});
    QCOMPARE(Horz(*w.Form), (TPositions{0, 900, below + scrolled}));
    const int stopped = view.VertScrollPosition();
    QTest::qWait(200);
    QCOMPARE(view.VertScrollPosition(), stopped);
  }

  void CellsAreMergedAndSkippedStepByStep() {
    TShownWindow w(FImage);
    w.Action("SlicesPanelAction")->trigger();
    const QString grid = FDir.filePath(QStringLiteral("cells.grd"));
    WriteFile(grid, "0\r\n200\r\n50\r\n150\r\n-\r\n0\r\n300\r\n100\r\n200\r\n");  // 3 x 3 cells
    w->LoadGrid(grid);
    std::vector<TGridData> states{w.Data()};
    const QImage plain = Rendered(*w.View());
    QVERIFY(!w.Action("MergeCellsAction")->isEnabled());

    // The cell mode: a drag from cell 2,1 to cell 3,2, then Ctrl+M.
    w.Keys = Qt::NoModifier;
    QTest::mouseClick(w.Child<QToolButton>("cells_speed"), Qt::LeftButton);
    w.Drag({150, 20}, {250, 100});
    QCOMPARE(w.Editor().ChosenCells(), std::optional(TCellRange{2, 1, 3, 2}));
    QVERIFY(w.Action("MergeCellsAction")->isEnabled());
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.Form.get()));
    QTest::keyClick(w.Form.get(), Qt::Key_M, Qt::ControlModifier);
    QCOMPARE(w.Action("UndoAction")->text(), QStringLiteral("&Undo Merge Cells"));
    states.push_back(w.Data());
    // Shift+drag in a line mode chooses cells and adds no line.
    QTest::mouseClick(w.Child<QToolButton>("x_speed"), Qt::LeftButton);
    w.Keys = Qt::ShiftModifier;
    w.Drag({20, 160}, {280, 190});
    QCOMPARE(w.Editor().ChosenCells(), std::optional(TCellRange{1, 3, 3, 3}));
    w.Action("MergeCellsAction")->trigger();
    states.push_back(w.Data());
    // A click inside a merged cell chooses all of it.
    w.Drag({280, 120}, {280, 120});
    QCOMPARE(w.Editor().ChosenCells(), std::optional(TCellRange{2, 1, 3, 2}));
    w.Keys = Qt::NoModifier;
    QTest::keyClick(w.View(), Qt::Key_Escape);
    QCOMPARE(w.Editor().ChosenCells(), std::nullopt);
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300, 100, 200}));
    QCOMPARE(w.Data().Cells.Merges, (std::map<TCellKey, TCellSpan>{{{2, 1}, {2, 2}}, {{1, 3}, {3, 1}}}));

    // No line runs through a merged cell: the picture shows there.
    const QPoint origin = w.View()->PicBox()->pos();
    QImage expected = plain;
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 300; ++x) {
        const bool inside = (x > 100 && y < 150 && y > 0 && x < 300) || (y > 150 && y < 200 && x > 0 && x < 300);
        if (inside) expected.setPixel(origin + QPoint(x, y), ToQRgb(PositionColor(x, y)));
      }
    const QImage merged = Rendered(*w.View());
    QCOMPARE(merged, expected);

    // Cell 1,2 without an image: hatched, all of it and nothing else.
    QTest::mouseClick(w.Child<QToolButton>("cells_speed"), Qt::LeftButton);
    w.Drag({50, 100}, {50, 100});
    w.Action("NoImageAction")->trigger();
    QCOMPARE(w.Action("UndoAction")->text(), QStringLiteral("&Undo No Image"));
    states.push_back(w.Data());
    QTest::keyClick(w.View(), Qt::Key_Escape);
    const QImage skipped = Rendered(*w.View());
    for (int y = 0; y < merged.height(); ++y)
      for (int x = 0; x < merged.width(); ++x) {
        const QPoint p = QPoint(x, y) - origin;
        const bool inside = p.x() >= 0 && p.x() < 100 && p.y() > 50 && p.y() < 150;
        if ((skipped.pixel(x, y) != merged.pixel(x, y)) != inside) QFAIL(qPrintable(QStringLiteral("at %1, %2").arg(p.x()).arg(p.y())));
      }

    // The panel lists each merged cell once, at its size.
    const QTableWidget& table = *w.SlicesTable();
    QStringList rows;
    for (int r = 0; r < table.rowCount(); ++r)
      rows << table.item(r, TSlicesPanel::colSlice)->text() + QStringLiteral(": ") + table.item(r, TSlicesPanel::colSize)->text();
    QCOMPARE(rows, (QStringList{QStringLiteral("1, 1: 100 x 50"), QStringLiteral("2, 1: 200 x 150"),
                                QStringLiteral("1, 2: 100 x 100, no image"), QStringLiteral("1, 3: 300 x 50")}));

    // Unmerge and image again, then every step back and forth.
    w.Drag({150, 100}, {150, 100});
    w.Action("UnmergeCellsAction")->trigger();
    states.push_back(w.Data());
    w.Drag({50, 100}, {50, 100});
    w.Action("ImageAgainAction")->trigger();
    states.push_back(w.Data());
    QCOMPARE(w.Data().Cells, (TCellData{{{{1, 3}, {3, 1}}}, {}, {}}));
    for (std::size_t i = states.size() - 1; i > 0; --i) {
      w.Action("UndoAction")->trigger();
      QVERIFY(w.Data() == states[i - 1]);
    }
    QCOMPARE(table.rowCount(), 9);
    for (std::size_t i = 1; i < states.size(); ++i) {
      w.Action("RedoAction")->trigger();
      QVERIFY(w.Data() == states[i]);
    }
    // Other lines: the choice goes, the merge follows its cells.
    w.Drag({150, 100}, {150, 100});
    w.Editor().SetMode(TSplitMode::Horizontal);
    w.Keys = Qt::AltModifier;
    w.Drag({40, 100}, {40, 100});
    QCOMPARE(w.Editor().ChosenCells(), std::nullopt);
    QCOMPARE(w.Data().Cells.Merges, (std::map<TCellKey, TCellSpan>{{{1, 4}, {3, 1}}}));
  }

  // The image's edges are lines too, drawn beside it: at every zoom the
  // view shows its first and last rows and columns as they are, and no line
  // runs on beyond the image.
  void TheImagesEdgesShowAtEveryZoom() {
    TShownWindow w(FImage);
    w.Grid().HorzSplits.Add(120);
    for (const int z : {1, 2}) {
      w.Zoom().SetZoom(z, QPointF(0, 0));
      const QImage shown = Rendered(*w.View());
      const QPoint origin = w.View()->PicBox()->pos();
      int wrong = 0;
      for (int i = 0; i < 300 * 200; ++i) {
        const int x = i % 300, y = i / 300;
        const QPoint at = origin + QPoint(x, y) * z;
        if ((x == 0 || y == 0 || x == 299 || y == 199) && y != 120 && shown.rect().contains(at))
          wrong += shown.pixel(at) != ToQRgb(PositionColor(x, y));
      }
      QCOMPARE(wrong, 0);
      // The line at 120 stops at the image's frame.
      const int beyond = origin.x() + 300 * z + 1;
      if (beyond < shown.width()) QCOMPARE(shown.pixel(beyond, origin.y() + 120 * z), w.View()->Color().rgb());
    }
  }

  // Ctrl+click gathers cells that need not touch; No Image (Ctrl+I) acts
  // on all of them as one step, Merge only when they fill a rectangle; a
  // chosen cell clicked again with Ctrl leaves the choice.
  void CtrlClickChoosesManyCells() {
    TShownWindow w(FImage);
    const QString grid = FDir.filePath(QStringLiteral("many.grd"));
    WriteFile(grid, "0\r\n200\r\n50\r\n150\r\n-\r\n0\r\n300\r\n100\r\n200\r\n");  // 3 x 3 cells
    w->LoadGrid(grid);
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.Form.get()));
    QTest::mouseClick(w.Child<QToolButton>("cells_speed"), Qt::LeftButton);
    // Cells by column and row; the first of each list without Ctrl.
    const auto choose = [&](std::initializer_list<QPoint> cells) {
      w.Keys = Qt::NoModifier;
      for (const QPoint cell : cells) {
        const QPoint at(cell.x() * 100 - 50, cell.y() == 1 ? 20 : cell.y() == 2 ? 100 : 170);
        w.Drag(at, at);
        w.Keys = Qt::ControlModifier;
      }
    };
    choose({{1, 1}, {3, 1}, {2, 3}, {2, 2}, {2, 2}});
    QCOMPARE(w.Editor().ChosenRanges(), (std::vector<TCellRange>{{1, 1, 1, 1}, {3, 1, 3, 1}, {2, 3, 2, 3}}));
    QVERIFY(!w.Editor().MergeChosen());
    QTest::keyClick(w.Form.get(), Qt::Key_I, Qt::ControlModifier);
    QCOMPARE(w.Data().Cells.Skips, (std::set<TCellKey>{{1, 1}, {3, 1}, {2, 3}}));
    QCOMPARE(w.Action("UndoAction")->text(), QStringLiteral("&Undo No Image"));
    choose({{1, 2}, {2, 2}, {1, 3}, {2, 3}});
    w.Action("MergeCellsAction")->trigger();
    QCOMPARE(w.Data().Cells.Merges, (std::map<TCellKey, TCellSpan>{{{1, 2}, {2, 2}}}));
  }
};

TESSEL_UI_TEST_MAIN(TSplitEditorTest)
#include "spliteditor_test.moc"
