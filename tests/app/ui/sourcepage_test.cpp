// The Source page around the view: the selected line moved by keys and by
// the status strip's number box, and the magnifier's zoom clicks.
#include <QSpinBox>

#include "pgraphic_qt/view/pgimage.h"
#include "ui_test_util.h"

class TSourcePageTest : public TWindowTest {
  Q_OBJECT

 private slots:
  void init() { StartWindowTest(); }

  void TheSelectedLineMovesByKeysAndInTheStatusBar() {
    TShownWindow w(FImage);
    w.Grid().VertSplits.Add(100);
    QVERIFY(w.Child<QSpinBox>("LinePosition")->isHidden());
    w.Drag({101, 20}, {101, 20});  // a click beside the line selects it
    QCOMPARE(w.Editor().Selected(), std::optional(TLineRef{false, 100}));
    QVERIFY(!w.Child<QSpinBox>("LinePosition")->isHidden());
    QCOMPARE(w.Child<QLabel>("LinePositionLabel")->text(), QStringLiteral("Vertical line at"));
    QCOMPARE(w.Child<QSpinBox>("LinePosition")->value(), 100);
    const QImage shown = Rendered(*w.View());
    const QPoint at = w.View()->PicBox()->pos() + QPoint(100, 0);
    QCOMPARE(shown.pixel(at + QPoint(0, 1)), QRgb(TSplitEditor::SelectedTones[0]));
    QCOMPARE(shown.pixel(at + QPoint(0, 5)), QRgb(TSplitEditor::SelectedTones[1]));

    const int steps = w.Document().Stack().count();
    for (auto [key, modifiers] : {std::pair{Qt::Key_Right, Qt::NoModifier}, {Qt::Key_Right, Qt::ShiftModifier},
                                  {Qt::Key_Left, Qt::NoModifier}, {Qt::Key_Up, Qt::NoModifier}})
      QTest::keyClick(w.View(), key, modifiers);
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300, 110}));  // in its place in the list
    QCOMPARE(w.Child<QSpinBox>("LinePosition")->value(), 110);
    // The nudges of one selection are one step.
    QCOMPARE(w.Document().Stack().count(), steps + 1);
    w.Action("UndoAction")->trigger();
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300, 100}));
    w.Action("RedoAction")->trigger();

    // Typed into the status bar; a place another line holds is refused.
    for (const char* typed : {"205", "300"}) {
      QTest::keyClick(w.Child<QSpinBox>("LinePosition"), Qt::Key_A, Qt::ControlModifier);
      QTest::keyClicks(w.Child<QSpinBox>("LinePosition"), QLatin1String(typed));
      QTest::keyClick(w.Child<QSpinBox>("LinePosition"), Qt::Key_Return);
    }
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300, 205}));
    QCOMPARE(w.Child<QSpinBox>("LinePosition")->value(), 205);
    // Shift+Right runs into the right edge: refused at 300, nothing moves.
    for (int i = 0; i < 10; ++i) QTest::keyClick(w.View(), Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300, 295}));

    QTest::keyClick(w.View(), Qt::Key_Escape);
    QVERIFY(!w.Editor().Selected() && w.Child<QSpinBox>("LinePosition")->isHidden());
    w.Drag({295, 50}, {295, 50});
    QTest::keyClick(w.View(), Qt::Key_Delete);
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300}));
    QVERIFY(!w.Editor().Selected());
  }

  void MagnifierClicksChangeItsZoom() {
    TShownWindow w;
    TQV_Loupe& loupe = *w.Child<TQV_Loupe>("QV_Loupe1");
    QVERIFY(loupe.Active());
    QCOMPARE(loupe.ZoomLevel(), 2.0);
    for (int i = 0; i < 2; ++i) QTest::mouseClick(&loupe, Qt::LeftButton);
    QCOMPARE(loupe.ZoomLevel(), 4.0);
    for (int i = 0; i < 4; ++i) QTest::mouseClick(&loupe, Qt::RightButton);
    QCOMPARE(loupe.ZoomLevel(), 1.0);
  }
};

TESSEL_UI_TEST_MAIN(TSourcePageTest)
#include "sourcepage_test.moc"
