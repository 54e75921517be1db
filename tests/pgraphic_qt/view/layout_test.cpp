// The view's geometry: sizing rules, centring, auto-size, the mappings, and
// what image changes and property changes do to the layout.
#include <QScrollBar>
#include <QtTest>

#include <climits>
#include <cstdio>
#include <fstream>

#include "pgraphic/core/errors.h"
#include "pgraphic_qt/view/layout.h"
#include "platform/cursors.h"
#include "platform/display.h"
#include "platform/platform.h"
#include "view_test_util.h"

class LayoutTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() { PGInstallPlatform(); }

  void stretchRules_data() {
    QTest::addColumn<int>("stretch");
    QTest::addColumn<int>("imageW");
    QTest::addColumn<int>("imageH");
    QTest::addColumn<int>("boxW");
    QTest::addColumn<int>("boxH");
    QTest::addColumn<double>("zoom");
    // Area 400 x 400, scroll bars 16 thick, ZoomFactor 0.5 for sZoomKAR.
    QTest::newRow("never") << int(sNeverKAR) << 1000 << 500 << 1000 << 500 << 1.0;
    QTest::newRow("always") << int(sAlways) << 1000 << 500 << 400 << 400 << -1.0;
    QTest::newRow("alwaysKAR wide") << int(sAlwaysKAR) << 1000 << 500 << 400 << 200 << 0.4;
    QTest::newRow("alwaysKAR tall") << int(sAlwaysKAR) << 500 << 1000 << 200 << 400 << 0.4;
    QTest::newRow("alwaysKAR small") << int(sAlwaysKAR) << 100 << 50 << 400 << 200 << 4.0;
    QTest::newRow("shrink one axis") << int(sShrink) << 1000 << 300 << 400 << 300 << -1.0;
    QTest::newRow("shrink fits") << int(sShrink) << 300 << 200 << 300 << 200 << 1.0;
    QTest::newRow("shrinkKAR fits") << int(sShrinkKAR) << 300 << 200 << 300 << 200 << 1.0;
    QTest::newRow("shrinkKAR large") << int(sShrinkKAR) << 1000 << 500 << 400 << 200 << 0.4;
    QTest::newRow("enlarge") << int(sEnlarge) << 100 << 50 << 400 << 400 << -1.0;
    QTest::newRow("enlarge wide") << int(sEnlarge) << 1000 << 50 << 1000 << 384 << -1.0;
    QTest::newRow("enlargeKAR") << int(sEnlargeKAR) << 100 << 50 << 400 << 200 << 4.0;
    QTest::newRow("enlargeKAR wide") << int(sEnlargeKAR) << 500 << 50 << 500 << 50 << 1.0;
    QTest::newRow("longerEdge wide") << int(sAlwaysLongerEdgeKAR) << 1000 << 500 << 768 << 384 << 0.768;
    QTest::newRow("longerEdge tall") << int(sAlwaysLongerEdgeKAR) << 500 << 1000 << 384 << 768 << 0.768;
    QTest::newRow("longerEdge square") << int(sAlwaysLongerEdgeKAR) << 100 << 100 << 400 << 400 << 4.0;
    QTest::newRow("shrinkLonger fits") << int(sShrinkLongerEdgeKAR) << 390 << 390 << 390 << 390 << 1.0;
    QTest::newRow("shrinkLonger bar") << int(sShrinkLongerEdgeKAR) << 395 << 500 << 384 << 486 << 384.0 / 395;
    QTest::newRow("shrinkLonger large") << int(sShrinkLongerEdgeKAR) << 1000 << 500 << 768 << 384 << 0.768;
    QTest::newRow("enlargeShrink small") << int(sEnlargeShrinkLongerEdgeKAR) << 300 << 200 << 400 << 266 << 4.0 / 3;
    QTest::newRow("enlargeShrink large") << int(sEnlargeShrinkLongerEdgeKAR) << 1000 << 500 << 768 << 384 << 0.768;
    QTest::newRow("enlargeLonger") << int(sEnlargeLongerEdgeKAR) << 100 << 50 << 768 << 384 << 7.68;
    QTest::newRow("enlargeLonger large") << int(sEnlargeLongerEdgeKAR) << 1000 << 500 << 1000 << 500 << 1.0;
    QTest::newRow("zoom half to even") << int(sZoomKAR) << 301 << 201 << 150 << 100 << 0.5;
    // 200 x 400 / 301 is 265.78: the fitted side is truncated.
    QTest::newRow("alwaysKAR truncates") << int(sAlwaysKAR) << 200 << 301 << 265 << 400 << 400.0 / 301;
  }

  void stretchRules() {
    QFETCH(int, stretch);
    QFETCH(int, imageW);
    QFETCH(int, imageH);
    QFETCH(int, boxW);
    QFETCH(int, boxH);
    QFETCH(double, zoom);
    const TPGLayoutSize s = PGStretchLayout(TStretch(stretch), imageW, imageH, 400, 400, 16, 16, 0.5L);
    QCOMPARE(s.Width, boxW);
    QCOMPARE(s.Height, boxH);
    QVERIFY(std::abs(double(s.Zoom) - zoom) < 1e-12);
  }

  void degenerateSizesAndZoomFactors() {
    // No area or no image: the rules are skipped.
    const TPGLayoutSize none = PGStretchLayout(sAlways, 300, 200, 0, 400, 16, 16, 1.0L);
    QCOMPARE(none.Width, 300);
    QCOMPARE(double(none.Zoom), 1.0);
    // A zoom factor of 0 or below shows the image 1:1; 1.5 rounds halves to even.
    for (long double z : {0.0L, -2.0L}) {
      const TPGLayoutSize s = PGStretchLayout(sZoomKAR, 301, 201, 400, 400, 16, 16, z);
      QCOMPARE(s.Width, 301);
      QCOMPARE(double(s.Zoom), 1.0);
    }
    const TPGLayoutSize s = PGStretchLayout(sZoomKAR, 3, 5, 400, 400, 16, 16, 1.5L);
    QCOMPARE(s.Width, 4);
    QCOMPARE(s.Height, 8);
    // A zoom that would overflow 32 bits is clamped, not undefined.
    QCOMPARE(PGStretchLayout(sZoomKAR, 16000, 10, 400, 400, 16, 16, 1e9L).Width, INT_MAX);
  }

  void centringAutoSizeAndMappings() {
    TPGCenterOffset c = PGCenterOffset(300, 200, 400, 400, 16, 16);
    QCOMPARE(QPoint(c.Left, c.Top), QPoint(50, 100));
    QVERIFY(!c.HorzBar && !c.VertBar);
    // A wide picture takes a horizontal bar, which then forces the vertical one.
    c = PGCenterOffset(500, 390, 400, 400, 16, 16);
    QCOMPARE(QPoint(c.Left, c.Top), QPoint(0, 0));
    QVERIFY(c.HorzBar && c.VertBar);
    c = PGCenterOffset(500, 100, 400, 400, 16, 16);
    QCOMPARE(QPoint(c.Left, c.Top), QPoint(0, 142));
    // An odd gap leaves its odd pixel on the far side.
    c = PGCenterOffset(301, 199, 400, 400, 16, 16);
    QCOMPARE(QPoint(c.Left, c.Top), QPoint(49, 100));

    TPGAutoSize a = PGAutoSize(300, 200, 2, 0, INT_MAX, 0, INT_MAX, 16, 16);
    QCOMPARE(QSize(a.Width, a.Height), QSize(304, 204));
    a = PGAutoSize(300, 200, 2, 0, 250, 0, INT_MAX, 16, 16);
    QCOMPARE(QSize(a.Width, a.Height), QSize(250, 220));
    a = PGAutoSize(300, 200, 2, 500, 250, 0, INT_MAX, 16, 16);  // the minimum wins
    QCOMPARE(a.Width, 500);

    // Multiply, then divide truncating toward zero, in 64 bits.
    QCOMPARE(PGScaleTruncated(5, 10, 20), 2);
    QCOMPARE(PGScaleTruncated(2, 20, 10), 4);
    QCOMPARE(PGScaleTruncated(-5, 10, 20), -2);
    QCOMPARE(PGScaleTruncated(7, 10, 0), 0);
    QCOMPARE(PGScaleTruncated(1000000000, 16000, 20000), 800000000);
    QCOMPARE(PGScaleTruncated(INT_MAX, 20000, 16000), INT_MAX);
  }

  void viewLaysOutAndReportsZoom() {
    auto view = ShownView(400, 400);
    int zoomEvents = 0;
    view->OnZoomFactorChange = [&](void* sender) {
      QCOMPARE(sender, static_cast<void*>(view.get()));
      ++zoomEvents;
    };
    view->SetPixelGraphic(SolidImage(1000, 500, 0x123456));
    view->SetStretch(sAlwaysKAR);
    QCOMPARE(view->PicBox()->size(), QSize(400, 200));
    QCOMPARE(double(view->ActualZoomFactor()), 0.4);
    QCOMPARE(zoomEvents, 1);
    // 2:1 enlargement: picture-box x 5 is image column 2, which maps back to 4.
    view->SetStretch(sZoomKAR);
    view->SetZoomFactor(2.0L);
    QCOMPARE(view->PicBox()->size(), QSize(2000, 1000));
    QCOMPARE(view->PicBoxXToImageX(5), 2);
    QCOMPARE(view->ImageXToPicBoxX(2), 4);
    QCOMPARE(view->PicBoxToImagePoint(QPoint(-5, 9)), QPoint(-2, 4));
    QCOMPARE(zoomEvents, 3);  // 0.4 -> 1.0 -> 2.0
    view->SetZoomFactor(2.0L);  // same value: nothing
    QCOMPARE(zoomEvents, 3);
    // The scroll bars and client area follow the picture box.
    QVERIFY(view->HorzScrollBarVisible() && view->VertScrollBarVisible());
    QCOMPARE(view->viewport()->width(), view->ClientWidth());
    QCOMPARE(view->viewport()->height(), view->ClientHeight());
    QCOMPARE(view->horizontalScrollBar()->maximum(), 2000 - view->ClientWidth());
    // Without an image every mapping gives 0.
    view->SetPixelGraphic(nullptr);
    QCOMPARE(view->PicBox()->size(), QSize(0, 0));
    QCOMPARE(view->ImageXToPicBoxX(7) + view->PicBoxXToImageX(7) + view->PicBoxYToImageY(7), 0);
  }

  void centreAndScrollPositions() {
    auto view = ShownView(200, 200);
    view->SetCenter(true);
    QCOMPARE(view->PicBox()->geometry(), QRect(100, 100, 0, 0));  // empty, at the centre
    view->SetPixelGraphic(SolidImage(100, 60, 0));
    QCOMPARE(view->PicBox()->pos(), QPoint(50, 70));
    view->SetPixelGraphic(SolidImage(600, 500, 0));
    const int bar = PGScrollBarExtent(view.get());
    QCOMPARE(view->HorzScrollPosition(), (600 - (200 - bar)) / 2);
    QCOMPARE(view->VertScrollPosition(), (500 - (200 - bar)) / 2);
    // The box moves with the content, so its coordinates stay image-relative.
    QCOMPARE(view->PicBox()->pos(), QPoint(-view->HorzScrollPosition(), -view->VertScrollPosition()));

    // A change in place that keeps the size keeps the scroll positions...
    view->SetCenter(false);
    view->SetHorzScrollPosition(50);
    view->SetVertScrollPosition(60);
    TPixelGraphic* image = view->PixelGraphic();
    image->BeginUpdate();
    image->SetPixel(0, 0, 0xFFFFFF);
    image->EndUpdate();
    QCOMPARE(QPoint(view->HorzScrollPosition(), view->VertScrollPosition()), QPoint(50, 60));
    // ...unless RearrangeAlways is on.
    view->SetRearrangeAlways(true);
    image->BeginUpdate();
    image->EndUpdate();
    QCOMPARE(QPoint(view->HorzScrollPosition(), view->VertScrollPosition()), QPoint(0, 0));
  }

  void anyMoveOrResizeLaysTheViewOut() {
    QWidget parent;
    parent.resize(400, 400);
    auto* view = new TPGImage(&parent);
    view->SetBorderStyle(bsNone);
    view->setGeometry(0, 0, 200, 200);
    view->SetCenter(true);
    view->SetPixelGraphic(SolidImage(600, 500, 0));
    parent.show();
    const QPoint centred(view->HorzScrollPosition(), view->VertScrollPosition());
    QVERIFY(centred.x() > 0 && centred.y() > 0);
    for (const QRect& bounds : {QRect(30, 40, 200, 200), QRect(30, 40, 210, 200)}) {
      view->SetHorzScrollPosition(0);
      view->SetVertScrollPosition(0);
      view->setGeometry(bounds);  // a move alone, then a resize alone
      const int bar = PGScrollBarExtent(view);
      QCOMPARE(view->HorzScrollPosition(), (600 - (bounds.width() - bar)) / 2);
      QCOMPARE(view->VertScrollPosition(), (500 - (bounds.height() - bar)) / 2);
    }
  }

  void autoSizeFollowsTheImage() {
    auto view = std::make_unique<TPGImage>();  // single 3D border: 2 pixels
    QList<QSize> proposed;
    view->OnNewAutoSize = [&](void*, int w, int h) { proposed << QSize(w, h); };
    view->SetPixelGraphic(SolidImage(120, 80, 0));
    QCOMPARE(proposed.last(), QSize(124, 84));
    QCOMPARE(view->size(), QSize(100, 100));  // AutoSize is off
    view->SetAutoSize(true);
    QCOMPARE(view->size(), QSize(124, 84));
    QCOMPARE(view->PicBox()->size(), QSize(120, 80));
    view->SetAutoSizeMaxWidth(100);
    QCOMPARE(view->size(), QSize(100, 84 + PGScrollBarExtent(view.get())));
    view->SetAutoSizeMinWidth(150);
    QCOMPARE(view->width(), 150);
  }

  void loadingAndSaving() {
    const QString dir = QDir::tempPath() + "/tessel_layout_test";
    QDir().mkpath(dir);
    const std::string file = (dir + "/small.bmp").toStdString();
    SolidImage(7, 5, 0x00FF00)->SaveToFile(file);

    auto view = ShownView(100, 100);
    int changes = 0;
    bool hourglassWhileLoading = false;
    view->OnPixelGraphicChange = [&](void*) { ++changes; };
    view->OnPixelGraphicProgressEnd = [&](void*) {
      hourglassWhileLoading = !PGScreenCursorIsDefault();
    };
    view->LoadFromFile(file);
    QCOMPARE(QSize(view->PixelGraphicWidth(), view->PixelGraphicHeight()), QSize(7, 5));
    QCOMPARE(view->FileName(), file);
    QVERIFY(hourglassWhileLoading);
    QVERIFY(PGScreenCursorIsDefault());

    // A missing file: the view ends empty, the error reaches the caller.
    changes = 0;
    QVERIFY_THROWS_EXCEPTION(std::exception, view->LoadFromFile((dir + "/missing.bmp").toStdString()));
    QVERIFY(!view->PixelGraphic());
    QVERIFY(view->FileName().empty());
    QCOMPARE(changes, 1);
    QVERIFY(PGScreenCursorIsDefault());
    // A name that ends in a separator reads nothing.
    view->LoadFromFile((dir + "/").toStdString());
    QVERIFY(!view->PixelGraphic());

    try {
      view->SaveToFile(file);
      QFAIL("saving an empty view succeeded");
    } catch (const EPGEmpty& e) {
      QCOMPARE(std::string(e.what()), std::string("PixelGraphic is empty"));
    }
    view->AssignPixelGraphic(SolidImage(3, 2, 0xFF0000).get());
    view->SaveToFile(dir.toStdString() + "/saved.bmp");
    QCOMPARE(view->FileName(), dir.toStdString() + "/saved.bmp");
    TPixelGraphic back;
    back.LoadFromFile(view->FileName());
    QCOMPARE(back.GetPixel(2, 1), 0xFF0000u);
  }
};

QTEST_MAIN(LayoutTest)
#include "layout_test.moc"
