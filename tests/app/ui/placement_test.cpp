// The window's place on the screens: a kept rectangle fitted onto the
// screen that holds it, and a maximised window that starts maximised.
#include "app/ui/placement.h"
#include "ui_test_util.h"

class TPlacementTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { StartWindowTest(); }

  void ARestoredWindowFitsOntoTheScreenThatHoldsIt_data() {
    QTest::addColumn<QRect>("kept");
    QTest::addColumn<QRect>("placed");  // empty: no screen holds it
    QTest::newRow("fits as it is") << QRect(100, 100, 800, 600) << QRect(100, 100, 800, 600);
    QTest::newRow("taller than its screen") << QRect(100, 50, 800, 1400) << QRect(100, 30, 800, 1046);
    QTest::newRow("title bar above the screen") << QRect(100, -20, 800, 600) << QRect(100, 30, 800, 600);
    QTest::newRow("wider than the second screen") << QRect(2000, 100, 1500, 700) << QRect(1924, 100, 1272, 700);
    QTest::newRow("mostly on the second screen") << QRect(1800, 100, 600, 500) << QRect(1924, 100, 600, 500);
    QTest::newRow("mostly on the first screen") << QRect(1500, 100, 600, 500) << QRect(1316, 100, 600, 500);
    QTest::newRow("off every screen") << QRect(5000, 5000, 400, 300) << QRect();
  }

  void ARestoredWindowFitsOntoTheScreenThatHoldsIt() {
    QFETCH(QRect, kept);
    QFETCH(QRect, placed);
    const std::vector<QRect> screens{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
    const std::optional<QRect> fitted = FitOntoScreen(kept, QMargins(4, 30, 4, 4), screens);
    QCOMPARE(fitted.value_or(QRect()), placed);
  }

  void AMaximisedWindowStartsMaximised() {
    {
      TShownWindow w;
      w->showMaximized();
      w->close();
    }
    TShownWindow again;
    QVERIFY(again->isMaximized());
  }
};

TESSEL_UI_TEST_MAIN(TPlacementTest)
#include "placement_test.moc"
