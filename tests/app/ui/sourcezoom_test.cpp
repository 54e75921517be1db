// Zoom and display scale, with the program at a display scale of 2: half
// pixels of the display count as the image pixel they lie in, the zoom
// keeps the point under the wheel, a round trip shows the lines as before,
// and lines, grabbing, placing, the rulers and their clicks work in image
// pixels at 200 %.
#include <QToolButton>
#include <QWheelEvent>

#include "app/ui/sourcezoom.h"
#include "pgraphic_qt/view/pgimage.h"
#include "platform/cursors.h"
#include "ui_test_util.h"

namespace {

void SendToPicture(TShownWindow& w, QEvent::Type type, QPointF at, Qt::MouseButton button) {
  QWidget* box = w.Picture();
  QMouseEvent event(type, at, box->mapToGlobal(at), button,
                    type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button),
                    Qt::AltModifier);
  QApplication::sendEvent(box, &event);
}

void CtrlWheel(QWidget* widget, QPointF at, int angle) {
  QWheelEvent wheel(at, widget->mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton,
                    Qt::ControlModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(widget, &wheel);
}

}  // namespace

class TSourceZoomTest : public TWindowTest {
  Q_OBJECT

 private slots:
  void init() { StartWindowTest(); }
  void initTestCase() { QCOMPARE(qApp->devicePixelRatio(), 2.0); }

  void HalfPixelsOfTheDisplayCountAsTheImagePixelTheyLieIn() {
    TShownWindow w(FImage);
    SendToPicture(w, QEvent::MouseMove, {150.5, 100.5}, Qt::NoButton);
    QCOMPARE(w.Status()->text(), QStringLiteral("X: 150 Y: 100"));
    SendToPicture(w, QEvent::MouseButtonPress, {100.5, 20.5}, Qt::LeftButton);
    SendToPicture(w, QEvent::MouseButtonRelease, {100.5, 20.5}, Qt::LeftButton);
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300, 100}));
    // A line fills both device columns of its view pixel.
    const QImage shown = Rendered(*w.View());
    const QPoint origin = w.View()->PicBox()->pos() * 2;
    QCOMPARE(shown.pixel(origin + QPoint(200, 2)), QRgb(TSplitEditor::SelectedTones[0]));
    QCOMPARE(shown.pixel(origin + QPoint(201, 2)), QRgb(TSplitEditor::SelectedTones[0]));
    QCOMPARE(shown.pixel(origin + QPoint(199, 2)), ToQRgb(PositionColor(99, 1)));
  }

  void AZoomRoundTripShowsTheLinesAsBefore() {
    TShownWindow w(FImage);
    w.Grid().VertSplits.Add(100);
    w.Grid().HorzSplits.Add(50);
    TPGImage& view = *w.View();
    // Large enough to show the whole picture at 100 % on any test screen.
    w->resize(600, 400);
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.Form.get()));
    const QImage before = Rendered(view);

    // Two wheel steps in, around the mouse: the pixel under it stays under it.
    const QPointF mouse(30.25, 20.75);
    const QPointF inViewport = mouse + QPointF(view.PicBox()->pos());
    CtrlWheel(w.Picture(), mouse, 240);
    QCOMPARE(double(view.ZoomFactor()), 2.0);
    QCOMPARE(w.Child<QLabel>("ZoomLabel")->text(), QStringLiteral("200 %"));
    SendToPicture(w, QEvent::MouseMove, inViewport - QPointF(view.PicBox()->pos()), Qt::NoButton);
    QCOMPARE(w.Status()->text(), QStringLiteral("X: 30 Y: 20"));

    // A wheel over the scroll area's own frame (not its viewport) zooms too,
    // around the same point; it used to end the program.
    CtrlWheel(&view, inViewport + QPointF(view.viewport()->pos()), 120);
    QCOMPARE(double(view.ZoomFactor()), 3.0);
    CtrlWheel(w.Picture(), mouse * 1.5, -120);
    QCOMPARE(double(view.ZoomFactor()), 2.0);

    QTest::keyClick(w.Form.get(), Qt::Key_Plus, Qt::ControlModifier);
    QCOMPARE(double(view.ZoomFactor()), 3.0);
    QTest::keyClick(w.Form.get(), Qt::Key_Minus, Qt::ControlModifier);
    QCOMPARE(double(view.ZoomFactor()), 2.0);
    QTest::keyClick(w.Form.get(), Qt::Key_0, Qt::ControlModifier);  // fitted: the whole image, no scrolling
    QVERIFY(view.PicBox()->width() <= view.viewport()->width() && view.PicBox()->height() <= view.viewport()->height());
    QVERIFY(view.PicBox()->width() == view.viewport()->width() || view.PicBox()->height() == view.viewport()->height());
    QVERIFY(!view.HorzScrollBarVisible() && !view.VertScrollBarVisible());
    QTest::keyClick(w.Form.get(), Qt::Key_1, Qt::ControlModifier);
    QCOMPARE(w.Child<QLabel>("ZoomLabel")->text(), QStringLiteral("100 %"));
    QCOMPARE(Rendered(view), before);
  }

  void At200PercentEverythingCountsInImagePixels() {
    TShownWindow w(FImage);
    w.Grid().VertSplits.Add(100);
    w.Grid().HorzSplits.Add(50);
    TPGImage& view = *w.View();
    w.Zoom().SetZoom(2.0L, {0, 0});
    const QPoint origin = view.PicBox()->pos();

    // The line at column 100 lies on view column 200, dashed from the picture's top.
    const QImage shown = Rendered(view);
    for (int y : {20, 23, 24, 30}) {
      const QPoint at = (origin + QPoint(200, y)) * 2;
      QCOMPARE(shown.pixel(at), Dash(TSplitEditor::LineTones, y));
      QCOMPARE(shown.pixel(at - QPoint(1, 0)), ToQRgb(PositionColor(99, y / 2)));
    }
    // Grabbed three view pixels off, not four; a press places at the pixel's own position.
    w.Move({40, 103});
    QCOMPARE(PGScreenCursorShape(), Qt::SizeVerCursor);
    w.Move({40, 104});
    QVERIFY(PGScreenCursorIsDefault());
    QTest::mouseClick(w.Child<QToolButton>("y_speed"), Qt::LeftButton);
    w.Drag({40, 161}, {40, 161});
    QCOMPARE(Horz(*w.Form), (TPositions{0, 200, 50, 80}));
    QCOMPARE(w.Status()->text(), QStringLiteral("X: 20 Y: 80"));

    // The top ruler: labels every 25 image pixels, ticks every 5, the marker and clicks in image pixels.
    const QImage top = w.Child<TRuler>("PaintBox2")->grab().toImage();
    const auto at = [&](int image, int y) { return top.pixel(QPoint(25 + origin.x() + 2 * image, y) * 2); };
    QCOMPARE(at(50, 3), qRgb(0, 0, 0));  // long tick
    QCOMPARE(at(55, 22), qRgb(0, 0, 0));
    QCOMPARE(at(55, 19), qRgb(255, 255, 255));  // short tick
    QCOMPARE(at(100, 15), qRgb(255, 0, 0));     // marker
    QTest::mouseClick(w.Child<TRuler>("PaintBox2"), Qt::LeftButton, Qt::NoModifier, {25 + origin.x() + 121, 12});
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300, 100, 60}));
    QTest::mouseMove(w.Child<TRuler>("PaintBox2"), {25 + origin.x() + 121, 12});
    QCOMPARE(w.Status()->text(), QStringLiteral("X: 60"));
  }
};

int main(int argc, char** argv) {
  qputenv("QT_SCALE_FACTOR", "2");
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
  QApplication app(argc, argv);
  PrepareTesselApplication();
  SetErrorSink([](const QString& m) { ReportedErrors().push_back(m); });
  TSourceZoomTest test;
  return QTest::qExec(&test, argc, argv);
}
#include "sourcezoom_test.moc"
