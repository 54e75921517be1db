// The document behind the window: every kind of change one step of its undo
// stack, back and forth through the menu and the keys, with the Slices panel
// following.
#include <QToolButton>

#include "pgraphic_qt/view/pgimage.h"
#include "ui_test_util.h"

class TDocumentTest : public TWindowTest {
  Q_OBJECT

 private slots:
  void init() { StartWindowTest(); }

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
