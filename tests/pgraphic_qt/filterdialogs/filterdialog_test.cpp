// The colour adjustment dialogs driven through their real windows: the form's
// layout and texts, values through the sliders, Cancel, the 100 ms rest
// before a filtering pass, the preview's pixels, and closing while the
// preview threads work.
#include "pgraphic_qt/filterdialogs/filterdialog.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>
#include <functional>

#include "pgraphic_qt/view/pgcontrols.h"
#include "pgraphic_qt/view/pgimage.h"
#include "platform/display.h"
#include "platform/platform.h"
#include "support/modal.h"

namespace {

std::unique_ptr<TPixelGraphic> Gradient(int w, int h) {
  auto g = std::make_unique<TPixelGraphic>();
  g->SetSizeAndFormat(w, h, pgpf24Bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      g->SetPixelColor(x, y, RGBColor(x * 255 / w, y * 255 / h, (x + y) & 255));
  return g;
}

bool Run(TFilterDialog& dialog, TPixelGraphic& image,
         const std::function<void(TFilterDialogForm&)>& steps) {
  return DriveModal<TFilterDialogForm>(
      "the filter dialog",
      [] { return qobject_cast<TFilterDialogForm*>(QApplication::activeModalWidget()); }, steps,
      [&] { return dialog.Execute(image); });
}

// A rectangle of the 100-per-inch design as the screen shows it.
QRect Scaled(int left, int top, int width, int height) {
  const int dpi = PGScreenPixelsPerInch();
  const int l = PGScaleRounded(left, dpi, 100), t = PGScaleRounded(top, dpi, 100);
  return QRect(l, t, PGScaleRounded(left + width, dpi, 100) - l,
               PGScaleRounded(top + height, dpi, 100) - t);
}

const TPGFilterTable& Table(TFilterDialog& dialog, int j) {
  return dynamic_cast<TXXXFilter&>(dialog.Filter()).Tables[j];
}

}  // namespace

class TFilterDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { PGInstallPlatform(); }

  void FormLayoutAndTexts() {
    // The scale rounds halves away from zero, as the form's layout does.
    QCOMPARE(QList<int>({PGScaleRounded(456, 96, 100), PGScaleRounded(-25, 1, 2),
                         PGScaleRounded(7, 3, 0)}),
             QList<int>({438, -13, -1}));
    THLSFilterDialog dialog;
    dialog.SetL(-40);
    auto image = Gradient(20, 10);
    Run(dialog, *image, [&](TFilterDialogForm& form) {
      QCOMPARE(form.windowTitle(), QStringLiteral("HLS Filter"));
      QCOMPARE(form.size(), Scaled(0, 0, 456, 206).size());
      QCOMPARE(form.font().pointSize(), 8);
      for (int k = 0; k < 3; ++k) {
        const TFilterChannelControls& c = form.Channel(k);
        const int t = 50 * k;
        QCOMPARE(c.Slider->geometry(), Scaled(24, 10 + t, 240, 32));
        const QList<QLabel*> labels{c.Caption, c.MinLabel, c.MiddleLabel, c.MaxLabel, c.ValueLabel};
        const QList<QRect> places{Scaled(10, 16 + t, 14, 13), Scaled(24, 42 + t, 80, 13),
                                  Scaled(104, 42 + t, 80, 13), Scaled(184, 42 + t, 80, 13),
                                  Scaled(264, 16 + t, 32, 13)};
        for (int i = 0; i < 5; ++i) QCOMPARE(labels[i]->geometry(), places[i]);
        QCOMPARE(c.MaxLabel->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
        QCOMPARE(QList<int>({c.Slider->minimum(), c.Slider->maximum(), c.Slider->tickInterval(),
                             c.Slider->NeutralMark(), c.Slider->value()}),
                 k == 0 ? QList<int>({-180, 180, 15, 0, 0})
                        : QList<int>({-100, 100, 10, 0, k == 1 ? -40 : 0}));
      }
      const auto texts = [&](int k) {
        const TFilterChannelControls& c = form.Channel(k);
        return QStringList{c.Caption->text(), c.MinLabel->text(), c.MiddleLabel->text(),
                           c.MaxLabel->text(), c.ValueLabel->text()};
      };
      QCOMPARE(texts(0), QStringList({"H", "-180°", "±0°", "+180°", "±0°"}));
      QCOMPARE(texts(1), QStringList({"L", "-100%", "±0%", "+100%", "-40%"}));
      QCOMPARE(form.Preview()->geometry(), Scaled(306, 12, 140, 140));
      QVERIFY(form.Preview()->DisplaySettings().KeepOldPaintPixelGraphic && form.Preview()->Center());
      QCOMPARE(form.Bevel()->geometry(), Scaled(5, 160, 446, 3));
      QCOMPARE(form.OKButton()->geometry(), Scaled(133, 172, 85, 24));
      QCOMPARE(form.CancelButton()->geometry(), Scaled(238, 172, 85, 24));
      QCOMPARE(form.OKButton()->text() + form.CancelButton()->text(), QStringLiteral("OKCancel"));
      QVERIFY(form.OKButton()->isDefault());
    });
  }

  void SlidersClampAndCancelRestores() {
    TCMYFilterDialog dialog;
    dialog.SetCyan(20);
    THLSFilterDialog hls;
    auto image = Gradient(30, 20);
    TCMYFilterDialog reference;
    reference.SetCyan(20);

    QVERIFY(!Run(dialog, *image, [&](TFilterDialogForm& form) {
      TPGMarkedSlider& cyan = *form.Channel(0).Slider;
      cyan.setFocus();
      QTest::keyClick(&cyan, Qt::Key_End);
      QTest::keyClick(&cyan, Qt::Key_Right);
      QCOMPARE(dialog.Cyan(), 100);
      QCOMPARE(form.Channel(0).ValueLabel->text(), QStringLiteral("+100%"));
      form.Channel(1).Slider->setValue(-500);
      QCOMPARE(dialog.Magenta(), -100);
      QCOMPARE(form.Channel(1).ValueLabel->text(), QStringLiteral("-100%"));
      QTest::keyClick(form.Channel(2).Slider, Qt::Key_Home);
      QCOMPARE(dialog.Yellow(), -100);
      // The tables follow the sliders at once.
      QCOMPARE(Table(dialog, 0)[0], std::uint8_t(255));
      QCOMPARE(Table(dialog, 1)[255], std::uint8_t(0));
      QTest::mouseClick(form.CancelButton(), Qt::LeftButton);
    }));
    QCOMPARE(QList<int>({dialog.Cyan(), dialog.Magenta(), dialog.Yellow()}),
             QList<int>({20, 0, 0}));
    for (int j = 0; j < 3; ++j) QCOMPARE(Table(dialog, j), Table(reference, j));

    // Escape cancels too; OK keeps what the sliders say, wrapping included.
    QVERIFY(!Run(hls, *image, [&](TFilterDialogForm& form) {
      form.Channel(0).Slider->setValue(90);
      QTest::keyClick(&form, Qt::Key_Escape);
    }));
    QCOMPARE(hls.H(), 0);
    QVERIFY(Run(hls, *image, [&](TFilterDialogForm& form) {
      QTest::keyClick(form.Channel(0).Slider, Qt::Key_PageUp);
      QCOMPARE(form.Channel(0).ValueLabel->text(), QStringLiteral("+15°"));
      QTest::mouseClick(form.OKButton(), Qt::LeftButton);
    }));
    QCOMPARE(hls.H(), 15);
  }

  void PassesStartAfterRestAndShowTheFilteredCopy() {
    TRGBFilterDialog dialog;
    auto image = Gradient(300, 200);
    QVERIFY(Run(dialog, *image, [&](TFilterDialogForm& form) {
      QSignalSpy started(&form, &TFilterDialogForm::PassStarted);
      QSignalSpy shown(&form, &TFilterDialogForm::PassShown);
      QTRY_VERIFY(form.SourceCopy());
      // The copy fills the preview's client area across, keeping 3:2.
      const int wc = form.Preview()->ClientWidth();
      QCOMPARE(form.SourceCopy()->Width(), wc);
      QCOMPARE(form.SourceCopy()->Height(), qRound(wc * 2 / 3.0));
      QTRY_COMPARE(shown.count(), 1);

      QElapsedTimer clock;
      clock.start();
      QList<qint64> moves, passes, shows;
      connect(&form, &TFilterDialogForm::PassStarted, &form, [&] { passes << clock.elapsed(); });
      connect(&form, &TFilterDialogForm::PassShown, &form, [&] { shows << clock.elapsed(); });
      TPGMarkedSlider& red = *form.Channel(0).Slider;
      TPGMarkedSlider& blue = *form.Channel(2).Slider;
      for (int i = 1; i <= 8; ++i) {
        red.setValue(5 * i);
        moves << clock.elapsed();
        if (i == 4) blue.setValue(-30), moves << clock.elapsed();
        QTest::qWait(20);
      }
      // Only the pass of the final values gets shown after it started.
      QTRY_VERIFY(!passes.isEmpty() && !shows.isEmpty() && shows.last() >= passes.last() &&
                  !form.RestTimer().isActive());
      for (qint64 at : passes) {
        qint64 lastMove = 0;
        for (qint64 m : moves)
          if (m <= at) lastMove = m;
        QVERIFY2(at - lastMove >= 100,
                 qPrintable(QString("pass %1 ms after a move").arg(at - lastMove)));
      }
      // The preview is the source copy through the filter of the values shown.
      TPixelGraphic& copy = const_cast<TPixelGraphic&>(*form.SourceCopy());
      TPixelGraphic expected;
      expected.ApplyFilter(*dialog.CreateCurrentFilter(), copy);
      TPixelGraphic& preview = *form.Preview()->PixelGraphic();
      QCOMPARE(preview.Width(), expected.Width());
      QCOMPARE(preview.Height(), expected.Height());
      QCOMPARE(std::memcmp(preview.Bits(), expected.Bits(), expected.ImageSize()), 0);
      QTest::mouseClick(form.OKButton(), Qt::LeftButton);
    }));
    QCOMPARE(dialog.Red(), 40);
    QCOMPARE(dialog.Blue(), -30);
  }

  void ClosingStopsThePreviewThreads() {
    TRGBFilterDialog dialog;
    // Closed while the source copy is being made, then while a pass runs;
    // the image goes right after, so a thread still reading it would fault.
    for (bool waitForPass : {false, true}) {
      auto image = Gradient(waitForPass ? 600 : 3000, waitForPass ? 400 : 2000);
      Run(dialog, *image, [&](TFilterDialogForm& form) {
        if (!waitForPass) return;
        QSignalSpy started(&form, &TFilterDialogForm::PassStarted);
        QTRY_COMPARE(started.count(), 1);
      });
      image.reset();
      QTest::qWait(50);
    }
    // An empty image gives an empty copy and an empty preview.
    TPixelGraphic empty;
    Run(dialog, empty, [&](TFilterDialogForm& form) {
      QSignalSpy started(&form, &TFilterDialogForm::PassStarted);
      QTRY_COMPARE(started.count(), 1);
      QCOMPARE(form.SourceCopy()->Width(), 0);
      QTest::qWait(50);
      QVERIFY(!form.Preview()->PixelGraphic() || form.Preview()->PixelGraphic()->Width() == 0);
    });
  }
};

QTEST_MAIN(TFilterDialogTest)
#include "filterdialog_test.moc"
