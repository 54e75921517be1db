// Mouse sequences on the picture box: creating, moving and resizing the
// selection, panning, the order of the events, auto-scroll and the cursors.
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QtTest>

#include "platform/cursors.h"
#include "platform/platform.h"
#include "view_test_util.h"

namespace {

void Press(TPGImage& v, QPoint p, Qt::MouseButton b = Qt::LeftButton) {
  QTest::mousePress(v.PicBox(), b, Qt::NoModifier, p);
}
void Move(TPGImage& v, QPoint p) { QTest::mouseMove(v.PicBox(), p); }
void Release(TPGImage& v, QPoint p, Qt::MouseButton b = Qt::LeftButton) {
  QTest::mouseRelease(v.PicBox(), b, Qt::NoModifier, p);
}
void Drag(TPGImage& v, QPoint from, QPoint to) {
  Press(v, from);
  Move(v, to);
  Release(v, to);
}
QRect Sel(const TPGImage& v) {
  return QRect(v.SelectionLeft(), v.SelectionTop(), v.SelectionWidth(), v.SelectionHeight());
}

// A 100 x 80 image shown 1:1 in a view of 200 x 200.
std::unique_ptr<TPGImage> SmallImageView(TActionMode mode) {
  auto view = ShownView(200, 200);
  view->SetPixelGraphic(SolidImage(100, 80, 0x808080));
  view->SetActionMode(mode);
  return view;
}

}  // namespace

class SelectionTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() { PGInstallPlatform(); }

  void clickAndDragCreate() {
    auto view = SmallImageView(amCreateSelection);
    int changes = 0, made = 0;
    view->OnSelectionChange = [&](void*) { ++changes; };
    view->OnSelectionMade = [&](void*) { ++made; };
    QTest::mouseClick(view->PicBox(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 20));
    QCOMPARE(Sel(*view), QRect(10, 20, 1, 1));
    QVERIFY(view->Selection());
    QCOMPARE(made, 1);
    QCOMPARE(changes, 2);  // Selection switched on, then the new rectangle
    QCOMPARE(view->DragState(), dsNone);

    // Both drag directions give the same rectangle, both ends included.
    Drag(*view, QPoint(30, 40), QPoint(10, 15));
    QCOMPARE(Sel(*view), QRect(10, 15, 21, 26));
    Drag(*view, QPoint(10, 15), QPoint(30, 40));
    QCOMPARE(Sel(*view), QRect(10, 15, 21, 26));
    // Past the picture box the rectangle leaves the image.
    Drag(*view, QPoint(5, 5), QPoint(-10, -6));
    QCOMPARE(Sel(*view), QRect(-10, -6, 16, 12));

    // Setting the current rectangle again changes nothing.
    changes = 0;
    view->SetSelectionRect(-10, -6, 16, 12);
    QCOMPARE(changes, 0);

    // At zoom 2 picture-box pixels map to image pixels by halving.
    view->SetStretch(sZoomKAR);
    view->SetZoomFactor(2.0L);
    Drag(*view, QPoint(21, 41), QPoint(40, 60));
    QCOMPARE(Sel(*view), QRect(10, 20, 11, 11));
  }

  void rightButtonAndEventOrder() {
    auto view = SmallImageView(amCreateSelection);
    QStringList log;
    view->SetPicBoxOnMouseDown([&](void* sender, Qt::MouseButton b, Qt::MouseButtons,
                                   Qt::KeyboardModifiers, int x, int y) {
      QCOMPARE(sender, static_cast<void*>(view->PicBox()));
      log << QString("down %1 %2,%3").arg(b == Qt::LeftButton ? "left" : "right").arg(x).arg(y);
    });
    view->SetPicBoxOnMouseUp([&](void*, Qt::MouseButton, Qt::MouseButtons, Qt::KeyboardModifiers,
                                 int, int) {
      // The drag is still in progress while the owner hears the release.
      log << QString("up dragging=%1").arg(view->DragState() == dsCreateSelection);
    });
    view->OnSelectionMade = [&](void*) { log << "made"; };
    Press(*view, QPoint(10, 10), Qt::RightButton);
    QCOMPARE(view->DragState(), dsNone);
    QVERIFY(!view->Selection());
    Release(*view, QPoint(10, 10), Qt::RightButton);
    Drag(*view, QPoint(3, 4), QPoint(6, 8));
    QCOMPARE(log, QStringList({"down right 10,10", "up dragging=0", "down left 3,4",
                               "up dragging=1", "made"}));
  }

  void theReleaseOfAnyButtonEndsADrag() {
    auto view = SmallImageView(amCreateSelection);
    int made = 0;
    view->OnSelectionMade = [&](void*) { ++made; };
    Press(*view, QPoint(10, 10));
    Move(*view, QPoint(20, 25));
    QTest::mousePress(view->PicBox(), Qt::RightButton, Qt::NoModifier, QPoint(20, 25));
    QCOMPARE(view->DragState(), dsCreateSelection);
    Release(*view, QPoint(20, 25), Qt::RightButton);
    QCOMPARE(view->DragState(), dsNone);
    QCOMPARE(made, 1);
    QCOMPARE(Sel(*view), QRect(10, 10, 11, 16));
    // The left button's release later has nothing left to end.
    Move(*view, QPoint(40, 40));
    Release(*view, QPoint(40, 40));
    QCOMPARE(made, 1);
    QCOMPARE(Sel(*view), QRect(10, 10, 11, 16));

    // Panning ends the same way.
    view->SetPixelGraphic(SolidImage(400, 400, 0));
    view->SetActionMode(amMoveImage);
    Press(*view, QPoint(100, 100));
    QTest::mousePress(view->PicBox(), Qt::MiddleButton, Qt::NoModifier, QPoint(100, 100));
    Release(*view, QPoint(100, 100), Qt::MiddleButton);
    QCOMPARE(view->DragState(), dsNone);
    Move(*view, QPoint(60, 70));
    QCOMPARE(QPoint(view->HorzScrollPosition(), view->VertScrollPosition()), QPoint(0, 0));
    Release(*view, QPoint(60, 70));
  }

  void moveKeepsAPixelOnTheImage() {
    auto view = SmallImageView(amMoveSelection);
    view->SetSelectionRect(10, 10, 20, 20);
    view->SetSelection(true);
    Press(*view, QPoint(15, 15));
    QCOMPARE(view->DragState(), dsMoveSelection);
    Move(*view, QPoint(-500, -500));
    QCOMPARE(Sel(*view), QRect(-19, -19, 20, 20));
    Move(*view, QPoint(500, 500));
    QCOMPARE(Sel(*view), QRect(99, 79, 20, 20));
    Move(*view, QPoint(20, 25));
    Release(*view, QPoint(20, 25));
    QCOMPARE(Sel(*view), QRect(15, 20, 20, 20));
    // Outside the selection nothing starts in this mode.
    Press(*view, QPoint(90, 5));
    QCOMPARE(view->DragState(), dsNone);
    Release(*view, QPoint(90, 5));
  }

  void handlesResizeDownToOnePixel() {
    auto view = SmallImageView(amMoveResizeCreateSelection);
    view->SetSelectionRect(20, 20, 30, 30);  // R = (20, 20, 50, 50), my = 35
    view->SetSelection(true);
    Press(*view, QPoint(55, 35));  // right handle
    QCOMPARE(view->DragState(), dsSizeRight);
    Move(*view, QPoint(30, 35));
    QCOMPARE(Sel(*view), QRect(20, 20, 5, 30));
    Move(*view, QPoint(-40, 35));
    QCOMPARE(Sel(*view), QRect(20, 20, 1, 30));
    Release(*view, QPoint(-40, 35));

    view->SetSelectionRect(20, 20, 30, 30);
    Press(*view, QPoint(13, 13));  // top-left handle
    QCOMPARE(view->DragState(), dsSizeTopLeft);
    Move(*view, QPoint(90, 90));
    QCOMPARE(Sel(*view), QRect(49, 49, 1, 1));  // right and bottom edges stay
    Move(*view, QPoint(3, 8));
    Release(*view, QPoint(3, 8));
    QCOMPARE(Sel(*view), QRect(10, 15, 40, 35));

    // Inside moves it, elsewhere a new one begins.
    Press(*view, QPoint(30, 30));
    QCOMPARE(view->DragState(), dsMoveSelection);
    Release(*view, QPoint(30, 30));
    Press(*view, QPoint(80, 70));
    QCOMPARE(view->DragState(), dsCreateSelection);
    Release(*view, QPoint(80, 70));
    QCOMPARE(Sel(*view), QRect(80, 70, 1, 1));
  }

  void panOnlyWhenTheImageIsLarger() {
    auto view = SmallImageView(amMoveImage);
    Press(*view, QPoint(50, 50));
    QCOMPARE(view->DragState(), dsNone);
    Release(*view, QPoint(50, 50));

    view->SetPixelGraphic(SolidImage(400, 400, 0));
    Press(*view, QPoint(100, 100));
    QCOMPARE(view->DragState(), dsMoveImage);
    QCOMPARE(view->PicBox()->cursor().shape(), Qt::BitmapCursor);
    QCOMPARE(view->PicBox()->cursor().hotSpot(), PGCursorHotSpot(TPGCursor::crPanning));
    Move(*view, QPoint(60, 70));
    QCOMPARE(QPoint(view->HorzScrollPosition(), view->VertScrollPosition()), QPoint(40, 30));
    // The box moved along: the same screen point is now (100, 100) again.
    Move(*view, QPoint(-1000, -1000));
    Release(*view, QPoint(0, 0));
    QCOMPARE(view->HorzScrollPosition(), view->horizontalScrollBar()->maximum());
    QCOMPARE(view->VertScrollPosition(), view->verticalScrollBar()->maximum());
  }

  void autoScrollWhileSelecting() {
    auto view = ShownView(200, 200);
    view->SetPixelGraphic(SolidImage(600, 600, 0));
    view->SetActionMode(amCreateSelection);
    Press(*view, QPoint(100, 100));
    Move(*view, QPoint(250, 100));  // right of the client area
    QTRY_VERIFY_WITH_TIMEOUT(view->HorzScrollPosition() >= 10, 5000);
    QCOMPARE(view->VertScrollPosition(), 0);
    Release(*view, QPoint(250, 100));
    const int stopped = view->HorzScrollPosition();
    QTest::qWait(150);
    QCOMPARE(view->HorzScrollPosition(), stopped);
  }

  void cursorsFollowTheMode() {
    auto view = SmallImageView(amNone);
    int asked = 0;
    view->PicBoxOnSetCursor = [&](void*, QCursor&) { ++asked; };
    Move(*view, QPoint(30, 30));
    QCOMPARE(view->PicBox()->cursor().shape(), Qt::ArrowCursor);  // the box's own
    view->SetActionMode(amMoveResizeCreateSelection);
    Move(*view, QPoint(31, 30));
    QCOMPARE(view->PicBox()->cursor().hotSpot(), PGCursorHotSpot(TPGCursor::crCreateSelection));
    view->SetSelectionRect(20, 20, 30, 30);
    view->SetSelection(true);
    Move(*view, QPoint(30, 30));
    QCOMPARE(view->PicBox()->cursor().hotSpot(), PGCursorHotSpot(TPGCursor::crMoveSelection));
    Move(*view, QPoint(35, 15));
    QCOMPARE(view->PicBox()->cursor().shape(), Qt::SizeVerCursor);
    Move(*view, QPoint(55, 55));
    QCOMPARE(view->PicBox()->cursor().shape(), Qt::SizeFDiagCursor);
    // The owner may replace the cursor.
    view->PicBoxOnSetCursor = [](void*, QCursor& c) { c = QCursor(Qt::PointingHandCursor); };
    Move(*view, QPoint(56, 55));
    QCOMPARE(view->PicBox()->cursor().shape(), Qt::PointingHandCursor);
    QVERIFY(asked >= 4);
    // An application-wide cursor wins and no event is asked.
    {
      TPGScreenCursorGuard busy(QCursor(Qt::WaitCursor));
      view->PicBoxOnSetCursor = [](void*, QCursor&) { QFAIL("asked under an override"); };
      Move(*view, QPoint(30, 30));
    }
  }

  void animatedStripedFrame() {
    auto view = SmallImageView(amNone);
    view->SetSelectionColor1(QColor(255, 255, 255));
    view->SetSelectionColor2(QColor(0, 0, 255));
    view->SetSelectionRect(10, 10, 20, 20);
    view->SetSelection(true);
    const auto frame = [&] {
      const QImage shot = Rendered(*view);
      QList<QRgb> ring;
      for (int i = 9; i <= 30; ++i) ring << shot.pixel(i, 9) << shot.pixel(i, 30) << shot.pixel(9, i);
      return ring;
    };
    const QList<QRgb> before = frame();
    for (QRgb c : before) QVERIFY(c == qRgb(255, 255, 255) || c == qRgb(0, 0, 255));
    QVERIFY(before.count(qRgb(0, 0, 255)) > 10 && before.count(qRgb(255, 255, 255)) > 10);
    QCOMPARE(Rendered(*view).pixel(10, 10), qRgb(128, 128, 128));  // inside untouched
    QTRY_VERIFY_WITH_TIMEOUT(frame() != before, 2000);  // the stripes move

    // Each tick draws only the frame: the picture under it and the owner's
    // paint handlers are left alone, and the screen shows what a full paint
    // of the same moment would.
    int ownerPaints = 0, boxPaints = 0;
    view->OnPaint = [&](void*, QPainter& painter) {
      ++ownerPaints;
      painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
      painter.setPen(QColor(255, 255, 255));
      painter.drawLine(0, 20, 199, 20);  // across the frame, as a split line
    };
    view->SetPicBoxOnPaint([&](void*, QPainter&) { ++boxPaints; });
    view->viewport()->update();
    QTRY_VERIFY(ownerPaints > 0 && boxPaints > 0);
    QScreen* screen = view->screen();
    const auto onScreen = [&] {
      const QPoint at = view->viewport()->mapToGlobal(QPoint(0, 0));
      return screen->grabWindow(0, at.x(), at.y(), 200, 200).toImage().convertToFormat(QImage::Format_RGB32);
    };
    QTest::qWait(60);
    ownerPaints = boxPaints = 0;
    const QImage first = onScreen();
    QTRY_VERIFY_WITH_TIMEOUT(onScreen() != first, 2000);
    QTest::qWait(200);  // a few more ticks
    QCOMPARE(ownerPaints, 0);
    QCOMPARE(boxPaints, 0);
    const QImage later = onScreen();
    const QImage full = Rendered(*view);
    QCOMPARE(later, full);
    QCOMPARE(later.pixel(50, 20), qRgb(0x7F, 0x7F, 0x7F));  // the line, untouched
    view->OnPaint = nullptr;
    view->SetPicBoxOnPaint(nullptr);

    // Another control lying on the view stays on top of the frame.
    QWidget cover(view->viewport());
    cover.setAutoFillBackground(true);
    QPalette pal;
    pal.setColor(QPalette::Window, Qt::green);
    cover.setBackgroundRole(QPalette::Window);
    cover.setPalette(pal);
    cover.setGeometry(0, 0, 20, 20);
    cover.show();
    QTest::qWait(120);
    QCOMPARE(Rendered(*view).pixel(12, 9), qRgb(0, 255, 0));
  }
};

QTEST_MAIN(SelectionTest)
#include "pgimage_mouse_test.moc"
