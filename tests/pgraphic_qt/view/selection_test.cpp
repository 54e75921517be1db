// The selection's rules as tables: what a press starts, what a drag makes of
// the rectangle, which cursor shows, and which pixels the frame covers.
#include <QtTest>

#include "pgraphic_qt/view/selection.h"

Q_DECLARE_METATYPE(TActionMode)
Q_DECLARE_METATYPE(TPGDragState)
Q_DECLARE_METATYPE(TPGSelectionRect)
Q_DECLARE_METATYPE(std::optional<TPGCursor>)

namespace {

// The selection's picture-box rectangle in every case: 40 x 30 at (20, 20).
const QRect kBox(20, 20, 40, 30);

}  // namespace

class SelectionRulesTest : public QObject {
  Q_OBJECT
 private slots:
  void pressStarts_data() {
    QTest::addColumn<TActionMode>("mode");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QPoint>("p");
    QTest::addColumn<bool>("canScroll");
    QTest::addColumn<TPGDragState>("drag");
    QTest::newRow("inside moves") << amMoveSelection << true << QPoint(20, 20) << false << dsMoveSelection;
    QTest::newRow("right edge is outside") << amMoveSelection << true << QPoint(60, 30) << false << dsNone;
    QTest::newRow("hidden is not moved") << amMoveSelectionMoveImage << false << QPoint(30, 30) << true << dsMoveImage;
    QTest::newRow("inside wins over panning") << amMoveSelectionMoveImage << true << QPoint(30, 30) << true << dsMoveSelection;
    QTest::newRow("no panning when it fits") << amMoveImage << false << QPoint(30, 30) << false << dsNone;
    QTest::newRow("top-left handle") << amMoveResizeCreateSelection << true << QPoint(12, 12) << false << dsSizeTopLeft;
    QTest::newRow("bottom handle") << amMoveResizeCreateSelection << true << QPoint(42, 57) << false << dsSizeBottom;
    QTest::newRow("handles only in their mode") << amCreateSelection << true << QPoint(12, 12) << false << dsCreateSelection;
    QTest::newRow("beside a handle creates") << amMoveResizeCreateSelection << true << QPoint(17, 12) << false << dsCreateSelection;
    QTest::newRow("create inside the old one") << amCreateSelection << true << QPoint(30, 30) << true << dsCreateSelection;
    QTest::newRow("nothing") << amNone << true << QPoint(30, 30) << true << dsNone;
  }
  void pressStarts() {
    QFETCH(TActionMode, mode);
    QFETCH(bool, shown);
    QFETCH(QPoint, p);
    QFETCH(bool, canScroll);
    QFETCH(TPGDragState, drag);
    QCOMPARE(PGDragOnPress(mode, shown, kBox, p, canScroll), drag);
  }

  // The selection is 10 x 8 at (5, 4) of a 100 x 80 image; the drag starts
  // at image point (7, 6) (the anchor of a new one) and ends at c.
  void dragMakes_data() {
    QTest::addColumn<TPGDragState>("drag");
    QTest::addColumn<QPoint>("c");
    QTest::addColumn<TPGSelectionRect>("result");
    QTest::newRow("create backwards, both ends in") << dsCreateSelection << QPoint(2, 1) << TPGSelectionRect{2, 1, 6, 6};
    QTest::newRow("create past the image") << dsCreateSelection << QPoint(-3, 90) << TPGSelectionRect{-3, 6, 11, 85};
    QTest::newRow("move") << dsMoveSelection << QPoint(12, 16) << TPGSelectionRect{10, 14, 10, 8};
    QTest::newRow("move keeps a column and row on") << dsMoveSelection << QPoint(-50, 500) << TPGSelectionRect{-9, 79, 10, 8};
    QTest::newRow("left edge") << dsSizeLeft << QPoint(4, 0) << TPGSelectionRect{2, 4, 13, 8};
    QTest::newRow("left edge stops a pixel short") << dsSizeTopLeft << QPoint(90, 90) << TPGSelectionRect{14, 11, 1, 1};
    QTest::newRow("bottom-right") << dsSizeBottomRight << QPoint(20, 30) << TPGSelectionRect{5, 4, 23, 32};
    QTest::newRow("right edge stops at one") << dsSizeRight << QPoint(-20, 3) << TPGSelectionRect{5, 4, 1, 8};
    QTest::newRow("panning leaves it") << dsMoveImage << QPoint(0, 0) << TPGSelectionRect{5, 4, 10, 8};
  }
  void dragMakes() {
    QFETCH(TPGDragState, drag);
    QFETCH(QPoint, c);
    QFETCH(TPGSelectionRect, result);
    const TPGSelectionRect s{5, 4, 10, 8};
    const QPoint start(7, 6);
    const QPoint grab = PGDragGrab(drag, s, start);
    const TPGSelectionRect got = PGDragSelection(drag, s, c, grab, start, QSize(100, 80));
    QCOMPARE(QRect(got.Left, got.Top, got.Width, got.Height),
             QRect(result.Left, result.Top, result.Width, result.Height));
  }

  void cursor_data() {
    QTest::addColumn<TActionMode>("mode");
    QTest::addColumn<QPoint>("p");
    QTest::addColumn<bool>("panning");
    QTest::addColumn<std::optional<TPGCursor>>("cursor");
    QTest::newRow("the box's own") << amMoveSelection << QPoint(5, 5) << false << std::optional<TPGCursor>();
    QTest::newRow("pan") << amMoveImage << QPoint(30, 30) << false << std::optional(TPGCursor::crPan);
    QTest::newRow("panning") << amMoveSelectionMoveImage << QPoint(5, 5) << true << std::optional(TPGCursor::crPanning);
    QTest::newRow("move over panning") << amMoveSelectionMoveImage << QPoint(30, 30) << false << std::optional(TPGCursor::crMoveSelection);
    QTest::newRow("create") << amCreateSelection << QPoint(30, 30) << false << std::optional(TPGCursor::crCreateSelection);
    QTest::newRow("top-right handle") << amMoveResizeCreateSelection << QPoint(64, 13) << false << std::optional(TPGCursor::crSizeNESW);
    QTest::newRow("left handle") << amMoveResizeCreateSelection << QPoint(12, 35) << false << std::optional(TPGCursor::crSizeWE);
  }
  void cursor() {
    QFETCH(TActionMode, mode);
    QFETCH(QPoint, p);
    QFETCH(bool, panning);
    QFETCH(std::optional<TPGCursor>, cursor);
    QVERIFY(PGSelectionCursor(mode, true, kBox, p, true, panning) == cursor);
  }

  void frameCoversItsOutlines() {
    // A ring of 7 x 7 around 5 x 5 pixels, and with handles eight rings of 5 x 5.
    const QRect r(10, 10, 5, 5);
    const auto area = [](const QRegion& region) {
      int n = 0;
      for (const QRect& rect : region) n += rect.width() * rect.height();
      return n;
    };
    QCOMPARE(area(PGSelectionFramePixels(r, false)), 24);
    QCOMPARE(area(PGSelectionFramePixels(r, true)), 24 + 8 * 16);
    // A change repaints every pixel the frame may have covered.
    QVERIFY((PGSelectionFramePixels(r, true) - PGSelectionStrips(r, true)).isEmpty());
    QVERIFY((PGSelectionFramePixels(r, false) - PGSelectionStrips(r, false)).isEmpty());
  }
};

QTEST_MAIN(SelectionRulesTest)
#include "selection_test.moc"
