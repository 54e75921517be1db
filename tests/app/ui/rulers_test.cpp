// The two rulers beside the Source view: ticks, labels and red markers as
// they are painted, clicks that add lines and change the mode, and both
// following the scrolled view.
#include <QPainter>
#include <QToolButton>

#include "pgraphic_qt/view/pgimage.h"
#include "platform/cursors.h"
#include "ui_test_util.h"

class TRulersTest : public TWindowTest {
  Q_OBJECT

 private slots:
  void init() { StartWindowTest(); }

  void RulersShowMarkersAndAddLinesOnClicks() {
    TShownWindow w(FImage);
    const QImage top = w.Child<TRuler>("PaintBox2")->grab().toImage();
    const QImage left = w.Child<TRuler>("PaintBox1")->grab().toImage();
    // The first entry (the 0 edge) has no marker; the far edge has.
    const auto redColumns = [&top] {
      std::vector<int> found;
      for (int x = 0; x < top.width(); ++x)
        if (top.pixel(x, 15) == qRgb(255, 0, 0)) found.push_back(x);
      return found;
    };
    QCOMPARE(redColumns(), std::vector<int>{325});
    QCOMPARE(left.pixel(15, 200), qRgb(255, 0, 0));
    QVERIFY(left.pixel(15, 0) != qRgb(255, 0, 0));
    QCOMPARE(top.pixel(25, 3), qRgb(0, 0, 0));   // labelled tick "0"
    QCOMPARE(top.pixel(45, 3), qRgb(255, 255, 255));
    QCOMPARE(top.pixel(30, 19), qRgb(255, 255, 255));
    QCOMPARE(top.pixel(30, 20), qRgb(0, 0, 0));  // short tick
    // The left ruler counts from its own top edge: long ticks at 0, 50, ...
    // across it, short ones at the inner edge between.
    for (int y : {0, 50, 100}) {
      QCOMPARE(left.pixel(0, y), qRgb(0, 0, 0));
      QCOMPARE(left.pixel(19, y + 5), qRgb(255, 255, 255));
      QCOMPARE(left.pixel(20, y + 5), qRgb(0, 0, 0));
    }
    QCOMPARE(left.pixel(0, 45), qRgb(255, 255, 255));
    // Labels: the positions, drawn below or beside their long ticks.
    const auto label = [&](const QString& text, QRect box) {
      QImage alone(400, 400, QImage::Format_RGB32);
      alone.fill(Qt::white);
      QPainter painter(&alone);
      painter.setFont(w.Child<TRuler>("PaintBox1")->font());
      painter.setPen(Qt::black);
      painter.drawText(box, Qt::AlignLeft | Qt::AlignTop, text);
      return alone;
    };
    const auto same = [](const QImage& a, const QImage& b, QRect area) {
      return a.convertToFormat(QImage::Format_RGB32).copy(area) == b.copy(area);
    };
    for (int y : {50, 100}) {
      const QRect area(0, y + 1, 20, 24);  // between the long tick and the short ones
      QVERIFY(same(left, label(QString::number(y), QRect(1, y + 2, 200, 25)), area));
      QVERIFY(!same(left, label(QString::number(y + 1), QRect(1, y + 2, 200, 25)), area));
    }
    QVERIFY(same(top, label(QStringLiteral("50"), QRect(77, 1, 200, 25)), QRect(76, 0, 24, 20)));

    QTest::mouseClick(w.Child<TRuler>("PaintBox2"), Qt::LeftButton, Qt::NoModifier, {25, 12});
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300}));
    QVERIFY(w.Child<QToolButton>("y_speed")->isChecked());
    // The same point twice adds its line once.
    QTest::mouseClick(w.Child<TRuler>("PaintBox2"), Qt::LeftButton, Qt::NoModifier, {26, 12});
    QTest::mouseClick(w.Child<TRuler>("PaintBox2"), Qt::LeftButton, Qt::NoModifier, {26, 12});
    QTest::mouseClick(w.Child<TRuler>("PaintBox2"), Qt::LeftButton, Qt::NoModifier, {326, 12});
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300, 1}));
    QTest::mouseClick(w.Child<TRuler>("PaintBox1"), Qt::LeftButton, Qt::NoModifier, {12, 150});
    QTest::mouseClick(w.Child<TRuler>("PaintBox1"), Qt::LeftButton, Qt::NoModifier, {12, 201});
    QCOMPARE(Horz(*w.Form), (TPositions{0, 200, 150}));
    QVERIFY(w.Child<QToolButton>("x_speed")->isChecked());
    // Another button adds without changing the mode.
    QTest::mouseClick(w.Child<TRuler>("PaintBox2"), Qt::RightButton, Qt::NoModifier, {125, 12});
    QCOMPARE(Vert(*w.Form).back(), 100);
    QVERIFY(w.Child<QToolButton>("x_speed")->isChecked());
    QTest::mouseMove(w.Child<TRuler>("PaintBox2"), {75, 12});
    QCOMPARE(w.Status()->text(), QStringLiteral("X: 50"));
  }

  void LinesMarkersAndRulerClicksFollowTheScrolledView() {
    TShownWindow w(WriteImage(FDir, QStringLiteral("large.png"), 900, 700));
    TPGImage& view = *w.View();
    QVERIFY(view.HorzScrollBarVisible() && view.VertScrollBarVisible());
    view.SetHorzScrollPosition(40);
    view.SetVertScrollPosition(100);
    QTest::mouseClick(w.Child<TRuler>("PaintBox1"), Qt::LeftButton, Qt::NoModifier, {12, 10});
    QTest::mouseClick(w.Child<TRuler>("PaintBox2"), Qt::LeftButton, Qt::NoModifier, {30, 12});
    QCOMPARE(Horz(*w.Form), (TPositions{0, 700, 110}));
    QCOMPARE(Vert(*w.Form), (TPositions{0, 900, 45}));
    QCOMPARE(Rendered(view), ExpectedViewport(w, PositionColor));
    QCOMPARE(w.Child<TRuler>("PaintBox1")->grab().toImage().pixel(15, 10), qRgb(255, 0, 0));
    QCOMPARE(w.Child<TRuler>("PaintBox2")->grab().toImage().pixel(30, 15), qRgb(255, 0, 0));
    // The picture box reports image pixels wherever the view stands.
    w.Move({45, 300});
    QCOMPARE(PGScreenCursorShape(), Qt::SizeHorCursor);
  }
};

TESSEL_UI_TEST_MAIN(TRulersTest)
#include "rulers_test.moc"
