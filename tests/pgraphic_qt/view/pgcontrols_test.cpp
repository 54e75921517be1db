// See-through controls over a parent that draws a picture and records which
// parts of itself it was asked to repaint.

#include <QPainter>
#include <QPaintEvent>
#include <QTest>

#include "pgraphic_qt/view/pgcontrols.h"

namespace {

const QColor PictureColour(200, 30, 30);

class TPicture : public QWidget {
 public:
  TPicture() { resize(300, 200); }
  QRegion Painted;

 protected:
  void paintEvent(QPaintEvent* event) override {
    Painted += event->region();
    QPainter(this).fillRect(rect(), PictureColour);
  }
};

bool Covers(const QRegion& region, const QRect& rect) {
  return QRegion(rect).subtracted(region).isEmpty();
}

// Shows picture and forgets the paints of showing it.
bool ShowSettled(TPicture& picture) {
  picture.show();
  if (!QTest::qWaitForWindowExposed(&picture)) return false;
  QTest::qWait(50);
  picture.Painted = QRegion();
  return true;
}

// The colour at p of parent as drawn with its children over it.
QRgb ShownAt(QWidget& parent, const QPoint& p) { return parent.grab().toImage().pixel(p); }

}  // namespace

class TPGControlsTest : public QObject {
  Q_OBJECT

 private slots:
  void MovedCheckBoxRepaintsTheStripItLeft() {
    TPicture picture;
    auto* check = new TPGCheckBox(QStringLiteral("Box"), &picture);
    check->setGeometry(10, 10, 120, 24);
    QVERIFY(check->Transparent());
    QVERIFY(ShowSettled(picture));
    // The picture shows through the empty part of the box.
    QCOMPARE(ShownAt(picture, QPoint(125, 20)), PictureColour.rgb());

    picture.Painted = QRegion();  // grabbing paints it all
    check->move(40, 10);
    QTRY_VERIFY(Covers(picture.Painted, QRect(10, 10, 30, 24)));
    QVERIFY(!picture.Painted.contains(QPoint(250, 150)));
    check->SetTransparent(false);
    QCOMPARE(ShownAt(picture, QPoint(155, 20)), check->palette().color(QPalette::Window).rgb());
  }

  void GroupBoxAndPanelPaintThroughUntilTheGroupTurnsOpaque() {
    TPicture picture;
    auto* group = new TPGGroupBox(QStringLiteral("Group"), &picture);
    group->setGeometry(20, 20, 200, 120);
    auto* panel = new TPGPanel(group);
    panel->SetCaption(QStringLiteral("Panel"));
    panel->setGeometry(10, 30, 100, 40);
    QVERIFY(group->Transparent() && panel->Transparent());
    QVERIFY(ShowSettled(picture));
    const QPalette& palette = group->palette();
    // Only the etched frame is drawn: shadow line, highlight just inside it,
    // the top line stopping short of the caption.
    const int top = 20 + group->fontMetrics().height() / 2;
    const QList<QPoint> probes{{20, 80}, {21, 80}, {100, top}, {27, top}, {120, 110}, {35, 55}};
    auto shown = [&] {
      const QImage image = picture.grab().toImage();
      QList<QRgb> colours;
      for (const QPoint& p : probes) colours << image.pixel(p);
      return colours;
    };
    const QRgb dark = palette.color(QPalette::Dark).rgb(), light = palette.color(QPalette::Light).rgb();
    const QRgb back = PictureColour.rgb(), fill = palette.color(QPalette::Window).rgb();
    QCOMPARE(shown(), QList<QRgb>({dark, light, dark, back, back, back}));

    // Behind a transparent group box the picture redraws the whole box.
    picture.Painted = QRegion();
    panel->Invalidate();
    QTRY_VERIFY(Covers(picture.Painted, group->geometry()));

    group->SetTransparent(false);
    QTest::qWait(50);
    QCOMPARE(shown(), QList<QRgb>({dark, light, dark, fill, fill, fill}));
    // Now the group box draws what is behind the panel itself.
    picture.Painted = QRegion();
    panel->Invalidate();
    QTRY_VERIFY(Covers(picture.Painted, panel->geometry().translated(group->pos())));
    QVERIFY(!Covers(picture.Painted, group->geometry()));
  }
};

QTEST_MAIN(TPGControlsTest)
#include "pgcontrols_test.moc"
