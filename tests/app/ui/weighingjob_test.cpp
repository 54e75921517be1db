// The page weighed on a worker through the window's job slot: what it hands
// over is what the weighing makes on this thread; a weighing abandoned
// before its end hands over nothing; a failing one says why.
#include "app/ui/lossyformat.h"
#include "app/ui/weighingjob.h"
#include "ui_test_util.h"

class TWeighingJobTest : public QObject {
  Q_OBJECT

 private slots:
  void AJobHandsOverThePagesWeightOrWhyItFailed() {
    const std::unique_ptr<TPixelGraphic> source = MakeImage(120, 90, PositionColor);
    TSplitGrid grid;
    grid.ResetToImage(120, 90);
    grid.VertSplits.Add(50);
    TPageWeighing weighing;
    weighing.HtmlPath = "page.html";
    weighing.Format = &JpegFormat();
    weighing.Settings = PGSettings();
    const std::vector<TSliceOutcome> here = WeighSlices(*source, grid, TPixelGraphic(), weighing);

    TPGJobSlot<TPageWeighingJob> slot;
    int results = 0;
    slot.OnResult = [&](std::unique_ptr<TPixelGraphic> image) {
      QVERIFY(!image);
      ++results;
    };
    slot.Start(PGMakeJob<TPageWeighingJob>(*source, grid, weighing));
    QTRY_COMPARE(results, 1);
    QCOMPARE(slot.Job()->Bytes(), TotalBytes(here));
    QCOMPARE(slot.Job()->Slices(), 2);
    QVERIFY(slot.Job()->Failure().isEmpty());

    slot.Start(PGMakeJob<TPageWeighingJob>(*source, grid, weighing)).Abandon();
    slot.Stop();
    QTest::qWait(50);
    QCOMPARE(results, 1);

    const TOutputFormat nowhere{"none", "none", "none", ".none"};
    weighing.Format = &nowhere;
    slot.Start(PGMakeJob<TPageWeighingJob>(*source, grid, weighing));
    QTRY_COMPARE(results, 2);
    QVERIFY(!slot.Job()->Failure().isEmpty());
    QCOMPARE(slot.Job()->Slices(), 0);
  }
};

TESSEL_UI_TEST_MAIN(TWeighingJobTest)
#include "weighingjob_test.moc"
