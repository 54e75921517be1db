// On a real X server (Xvfb): the window opens an image, lines are added with
// clicks on the rulers, and the screen itself shows the lines dashed in two
// tones (the one added last, selected, in its own) and every other pixel of
// the picture as it is.
#include <QScreen>

#include "ui_test_util.h"

class TScreenshotTest : public QObject {
  Q_OBJECT

 private slots:
  void LinesShowDashedOnTheScreen() {
    QTemporaryDir dir;
    TShownWindow w(WriteImage(dir, QStringLiteral("picture.png"), 200, 150));
    QVERIFY(QTest::qWaitForWindowExposed(w.Form.get()));
    QTest::mouseClick(w.Child<TRuler>("PaintBox2"), Qt::LeftButton, Qt::NoModifier, {25 + 60, 12});
    QTest::mouseClick(w.Child<TRuler>("PaintBox1"), Qt::LeftButton, Qt::NoModifier, {12, 40});
    QCOMPARE(Vert(*w.Form), (TPositions{0, 200, 60}));
    QCOMPARE(Horz(*w.Form), (TPositions{0, 150, 40}));

    QWidget* picture = w.Picture();
    const QRect area(picture->mapToGlobal(QPoint(0, 0)), QSize(200, 150));
    const auto dash = [](const unsigned tones[2], int d) { return QRgb(tones[d % 8 < 4 ? 0 : 1]); };
    const QImage expected = Expected(area.size(), [&](int x, int y) {
      if (y == 40) return dash(TSplitEditor::SelectedTones, x);
      // The image's edges are drawn just outside it, beyond this area.
      if (x == 60) return dash(TSplitEditor::LineTones, y);
      return ToQRgb(PositionColor(x, y));
    });
    // The server shows the window once it has painted; give it a moment.
    QImage shown;
    for (int attempt = 0; attempt < 50 && shown != expected; ++attempt) {
      QTest::qWait(100);
      shown = w->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                  .toImage()
                  .convertToFormat(QImage::Format_RGB32);
    }
    QCOMPARE(shown, expected);
  }

  // The picture of the software centres' metadata: the sample with a few
  // lines, as the screen shows the whole window. Made only when
  // TESSEL_SCREENSHOT names the file to write (see the README).
  void ScreenshotOfTheWindow() {
    const QString target = qEnvironmentVariable("TESSEL_SCREENSHOT");
    if (target.isEmpty()) QSKIP("TESSEL_SCREENSHOT not set");
    TShownWindow w(QStringLiteral(TESSEL_SOURCE_DIR "/data/sample.png"));
    w->resize(760, 520);
    QVERIFY(QTest::qWaitForWindowExposed(w.Form.get()));
    for (int x : {120, 280}) QTest::mouseClick(w.Child<TRuler>("PaintBox2"), Qt::LeftButton, Qt::NoModifier, {25 + x, 12});
    for (int y : {60, 180}) QTest::mouseClick(w.Child<TRuler>("PaintBox1"), Qt::LeftButton, Qt::NoModifier, {12, y});
    QCOMPARE(Vert(*w.Form), (TPositions{0, 400, 120, 280}));
    QTest::qWait(500);
    const QRect frame = w->frameGeometry();
    const QImage shot = w->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height()).toImage();
    QVERIFY(shot.save(target, "PNG"));
    QCOMPARE(QImage(target).size(), frame.size());
  }
};

TESSEL_UI_TEST_MAIN(TScreenshotTest)
#include "screenshot_xvfb.moc"
