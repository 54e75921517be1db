// Image pixels and view pixels apart from any widget: a position falls in
// the image pixel that holds it at any zoom and display scale, and the
// pixel a line is drawn on holds the line's own pixel.
#include <QtTest>

#include "app/ui/viewmapping.h"

class TViewMappingTest : public QObject {
  Q_OBJECT

 private slots:
  void PositionsFallInThePixelThatHoldsThem_data() {
    QTest::addColumn<double>("device");  // a device pixel at display scale 2
    QTest::addColumn<int>("origin");
    QTest::addColumn<int>("box");        // the picture box for a 300 pixel image
    QTest::addColumn<int>("pixel");
    QTest::newRow("100 %, device 601 (the fault gave 301)") << 601.0 << 0 << 300 << 300;
    QTest::newRow("100 %, device 600") << 600.0 << 0 << 300 << 300;
    QTest::newRow("100 %, device 599") << 599.0 << 0 << 300 << 299;
    QTest::newRow("100 %, scrolled by 40") << 601.0 << -40 << 300 << 340;
    QTest::newRow("200 %, device 601") << 601.0 << 0 << 600 << 150;
    QTest::newRow("200 %, device 603") << 603.0 << 0 << 600 << 150;
    QTest::newRow("50 %, device 601") << 601.0 << 0 << 150 << 601;
    QTest::newRow("left of the picture") << -1.0 << 0 << 300 << -1;
  }

  void PositionsFallInThePixelThatHoldsThem() {
    QFETCH(double, device);
    QFETCH(int, origin);
    QFETCH(int, box);
    QFETCH(int, pixel);
    QCOMPARE(PixelUnder({origin, 300, box}, device / 2), pixel);
    // From 100 % up, the pixel a line is drawn on holds the line's own pixel.
    for (int zoomed : {300, 450, 600, 900, 9600})
      for (int p = 0; p <= 300; p += 7) QCOMPARE(PixelUnder({origin, 300, zoomed}, LineAt({origin, 300, zoomed}, p)), p);
  }
};

QTEST_APPLESS_MAIN(TViewMappingTest)
#include "viewmapping_test.moc"
