// The main window driven through its widgets: split editing with real mouse
// events on the picture box, the rulers, the menus and their enabling rules,
// the recent images, the magnifier's zoom clicks, and the inverted lines as
// the view paints them.
#include <QActionGroup>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QTabWidget>
#include <QToolButton>

#include "app/ui/rulers.h"
#include "platform/cursors.h"
#include "support/icc_profiles.h"
#include "ui_test_util.h"
#include "widgets/qv_loupe.h"

namespace {

// The tone of a dashed line at distance d from the picture's edge.
QRgb Dash(const unsigned tones[2], int d) { return tones[((d % 8) + 8) % 8 < 4 ? 0 : 1]; }

// The viewport at 100 % as it must look: the image at the picture box's
// place on the view's colour, each line dashed across it (horizontal lines
// first, then vertical ones), the selected or dragged line last in its own
// tones.
QImage ExpectedViewport(TShownWindow& window, const std::function<TRGB(int, int)>& image) {
  TPGImage& view = *window.View();
  const QPoint origin = view.PicBox()->pos();
  const int w = view.PixelGraphicWidth(), h = view.PixelGraphicHeight();
  const QRgb background = view.Color().rgb();
  const TSplitEditor& editor = window.Editor();
  std::optional<TLineRef> chosen = editor.Selected();
  if (editor.DraggingHorz() && editor.LastHorzLine() != -1) chosen = TLineRef{true, editor.LastHorzLine()};
  if (editor.DraggingVert() && editor.LastVertLine() != -1) chosen = TLineRef{false, editor.LastVertLine()};
  const TPositions rows = Horz(*window.Form), columns = Vert(*window.Form);
  return Expected(view.viewport()->size(), [&](int vx, int vy) {
    const int x = vx - origin.x(), y = vy - origin.y();
    QRgb c = (x >= 0 && y >= 0 && x < w && y < h) ? ToQRgb(image(x, y)) : background;
    if (std::count(rows.begin(), rows.end(), y)) c = Dash(TSplitEditor::LineTones, x);
    if (std::count(columns.begin(), columns.end(), x)) c = Dash(TSplitEditor::LineTones, y);
    if (chosen && (chosen->Horizontal ? y : x) == chosen->Position)
      c = Dash(TSplitEditor::SelectedTones, chosen->Horizontal ? x : y);
    return c;
  });
}

}  // namespace

class TMainWindowTest : public QObject {
  Q_OBJECT

  QTemporaryDir FDir;
  QString FImage;  // 300 x 200

 private slots:
  void initTestCase() { FImage = WriteImage(FDir, QStringLiteral("picture.png"), 300, 200); }
  void init() {
    QFile::remove(SettingsFile());
    ReportedErrors().clear();
  }

  void StartsEmptyWithTheMenusOfAnImagelessWindow() {
    TShownWindow w;
    QCOMPARE(w->windowTitle(), QStringLiteral("Tessel!"));
    QCOMPARE(w->size(), QSize(600, 400));
    const QFontInfo status(w.Child<QLabel>("StatusBar")->font());
    QVERIFY(status.bold());
    QCOMPARE(status.family(), QStringLiteral("Liberation Sans"));  // standing in for Arial
    QVERIFY(w.Child<QToolButton>("x_speed")->isChecked());
    QCOMPARE(w.View()->ActionMode(), amNone);
    QVERIFY(Horz(*w.Form).empty() && Vert(*w.Form).empty());
    QCOMPARE(w.Child<QActionGroup>("OutputFormatGroup")->checkedAction()->text(), QStringLiteral(".jpg"));
    for (QAction* a : {w.Action("ExportAction"), w.Action("LoadGridAction"), w.Action("SaveGridAction"), w.Action("ClearSplitsAction"),
                       w.Action("AddHorizontalAction"), w.Action("CMYAction"), w.Action("RGBAction")})
      QVERIFY(!a->isEnabled());
    QCOMPARE(w.Action("AddHorizontalAction")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_X));
    QCOMPARE(w.Action("OpenAction")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_L));

    w->OpenImage(FImage);
    QCOMPARE(w->windowTitle(), QStringLiteral("Tessel! - [") + FImage + QStringLiteral("]"));
    QCOMPARE(ApplicationTitle(), w->windowTitle());
    QCOMPARE(Horz(*w.Form), (TPositions{0, 200}));
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300}));
    for (QAction* a : {w.Action("ExportAction"), w.Action("LoadGridAction"), w.Action("ClearSplitsAction"), w.Action("AddVerticalAction"), w.Action("HLSAction")})
      QVERIFY(a->isEnabled());
    QVERIFY(!w.Action("RGBAction")->isEnabled());
    // The Tools menu, shortcuts included, belongs to the Source page.
    w.Child<QTabWidget>("PageControl1")->setCurrentIndex(1);
    QVERIFY(!w.Child<QMenu>("ToolsMenu")->isEnabled() && !w.Action("AddHorizontalAction")->isEnabled());
    w.Child<QTabWidget>("PageControl1")->setCurrentIndex(0);
    QVERIFY(w.Child<QMenu>("ToolsMenu")->isEnabled() && w.Action("AddHorizontalAction")->isEnabled());
  }

  void GrabWithinThreePixelsNearestFirstThenMoveRemoveOrSelect() {
    TShownWindow w(FImage);
    w.Grid().HorzSplits.Add(50);
    // Hit testing looks at the horizontal lines in vertical mode as well,
    // three view pixels to either side.
    w.Move({100, 46});
    QVERIFY(PGScreenCursorIsDefault());
    QCOMPARE(w.Child<QLabel>("StatusBar")->text(), QStringLiteral("X: 100 Y: 46"));
    for (int y : {47, 50, 53}) {
      w.Move({100, y});
      QCOMPARE(PGScreenCursorShape(), Qt::SizeVerCursor);
    }
    w.Move({100, 54});
    QVERIFY(PGScreenCursorIsDefault());
    w.Move({3, 120});
    QCOMPARE(PGScreenCursorShape(), Qt::SizeHorCursor);  // the left edge
    w.Move({4, 120});
    QVERIFY(PGScreenCursorIsDefault());

    // Grabbed two pixels beside it, the line leaves the list, shows as the
    // feedback and keeps its distance to the mouse.
    w.Move({100, 52});
    w.Press({100, 52});
    QCOMPARE(Horz(*w.Form), (TPositions{0, 200}));
    w.Move({100, 82});
    QVERIFY(w.Editor().DraggingHorz());
    QCOMPARE(w.Editor().LastHorzLine(), 80);
    QCOMPARE(Rendered(*w.View()), ExpectedViewport(w, PositionColor));
    w.Release({100, 82});
    QCOMPARE(Horz(*w.Form), (TPositions{0, 200, 80}));
    QVERIFY(PGScreenCursorIsDefault());
    QVERIFY(!w.Editor().DraggingHorz() && w.Editor().LastHorzLine() == -1);
    QCOMPARE(w.Editor().Selected(), std::optional(TLineRef{true, 80}));
    QCOMPARE(Rendered(*w.View()), ExpectedViewport(w, PositionColor));

    // Of two lines in reach the nearer is taken; a click selects it and
    // changes nothing, not even the order.
    w.Grid().HorzSplits.Add(85);
    const int steps = w.Document().Stack().count();
    w.Drag({100, 83}, {100, 83});
    QCOMPARE(Horz(*w.Form), (TPositions{0, 200, 80, 85}));
    QCOMPARE(w.Editor().Selected(), std::optional(TLineRef{true, 85}));
    QCOMPARE(w.Document().Stack().count(), steps);

    // Released below the bottom edge, or on a line already there, it is gone.
    w.Drag({100, 85}, {100, 260});
    QCOMPARE(Horz(*w.Form), (TPositions{0, 200, 80}));
    QVERIFY(!w.Editor().Selected());
    w.Drag({300, 20}, {0, 20});  // the right edge dropped on the left one
    QCOMPARE(Vert(*w.Form), (TPositions{0}));

    // Pressed beside any line: a new one is placed in the current mode.
    w.Drag({40, 30}, {120, 30});
    QCOMPARE(Vert(*w.Form), (TPositions{0, 120}));
    QTest::mouseClick(w.Child<QToolButton>("y_speed"), Qt::LeftButton);
    w.Drag({40, 30}, {40, 70});
    QCOMPARE(Horz(*w.Form), (TPositions{0, 200, 80, 70}));
  }

  void RightClicksSwitchTheLineModes() {
    TShownWindow w(FImage);
    QTest::mouseClick(w.Child<QToolButton>("y_speed"), Qt::LeftButton);
    w.Press({10, 10}, Qt::RightButton);
    w.Release({10, 10}, Qt::RightButton);
    QVERIFY(w.Child<QToolButton>("x_speed")->isChecked());
    w.Press({10, 10}, Qt::RightButton);
    QVERIFY(w.Child<QToolButton>("y_speed")->isChecked());
    QCOMPARE(w.View()->ActionMode(), amNone);
    QCOMPARE(Horz(*w.Form), (TPositions{0, 200}));
    // In the selection modes a right click switches nothing.
    QTest::mouseClick(w.Child<QToolButton>("rect_speed"), Qt::LeftButton);
    QCOMPARE(w.View()->ActionMode(), amCreateSelection);
    QTest::mouseClick(w.Picture(), Qt::RightButton, Qt::NoModifier, {10, 10});
    QVERIFY(w.Child<QToolButton>("rect_speed")->isChecked());
  }

  void CrossAndRectangleAddFromTheSelection() {
    TShownWindow w(FImage);
    QTest::mouseClick(w.Child<QToolButton>("cross_speed"), Qt::LeftButton);
    QCOMPARE(w.View()->ActionMode(), amCreateSelection);
    // A second click on the same place adds no line a second time.
    for (int i = 0; i < 2; ++i) w.Drag({100, 50}, {100, 50});
    QCOMPARE(Horz(*w.Form), (TPositions{0, 200, 50}));
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300, 100}));
    QVERIFY(!w.View()->Selection());

    w.Action("ClearSplitsAction")->trigger();
    QTest::mouseClick(w.Child<QToolButton>("rect_speed"), Qt::LeftButton);
    w.Drag({10, 20}, {59, 79});
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300, 10, 60}));
    QCOMPARE(Horz(*w.Form), (TPositions{0, 200, 20, 80}));
    QVERIFY(!w.View()->Selection());
  }

  void RulersShowMarkersAndAddLinesOnClicks() {
    TShownWindow w(FImage);
    const QImage top = w.Child<TRuler>("PaintBox2")->grab().toImage();
    const QImage left = w.Child<TRuler>("PaintBox1")->grab().toImage();
    // The first entry (the 0 edge) has no marker; the far edge has.
    const auto redColumns = [&top] {
      std::vector<int> found;
      for (int x = 0; x < top.width(); ++x)
        if (top.pixel(x, 15) == qRgb(255, 0, 0)) found.push_back(x);
      return found;
    };
    QCOMPARE(redColumns(), std::vector<int>{325});
    QCOMPARE(left.pixel(15, 200), qRgb(255, 0, 0));
    QVERIFY(left.pixel(15, 0) != qRgb(255, 0, 0));
    QCOMPARE(top.pixel(25, 3), qRgb(0, 0, 0));   // labelled tick "0"
    QCOMPARE(top.pixel(45, 3), qRgb(255, 255, 255));
    QCOMPARE(top.pixel(30, 19), qRgb(255, 255, 255));
    QCOMPARE(top.pixel(30, 20), qRgb(0, 0, 0));  // short tick
    // The left ruler counts from its own top edge: long ticks at 0, 50, ...
    // across it, short ones at the inner edge between.
    for (int y : {0, 50, 100}) {
      QCOMPARE(left.pixel(0, y), qRgb(0, 0, 0));
      QCOMPARE(left.pixel(19, y + 5), qRgb(255, 255, 255));
      QCOMPARE(left.pixel(20, y + 5), qRgb(0, 0, 0));
    }
    QCOMPARE(left.pixel(0, 45), qRgb(255, 255, 255));
    // Labels: the positions, drawn below or beside their long ticks.
    const auto label = [&](const QString& text, QRect box) {
      QImage alone(400, 400, QImage::Format_RGB32);
      alone.fill(Qt::white);
      QPainter painter(&alone);
      painter.setFont(w.Child<TRuler>("PaintBox1")->font());
      painter.setPen(Qt::black);
      painter.drawText(box, Qt::AlignLeft | Qt::AlignTop, text);
      return alone;
    };
    const auto same = [](const QImage& a, const QImage& b, QRect area) {
      return a.convertToFormat(QImage::Format_RGB32).copy(area) == b.copy(area);
    };
    for (int y : {50, 100}) {
      const QRect area(0, y + 1, 20, 24);  // between the long tick and the short ones
      QVERIFY(same(left, label(QString::number(y), QRect(1, y + 2, 200, 25)), area));
      QVERIFY(!same(left, label(QString::number(y + 1), QRect(1, y + 2, 200, 25)), area));
    }
    QVERIFY(same(top, label(QStringLiteral("50"), QRect(77, 1, 200, 25)), QRect(76, 0, 24, 20)));

    QTest::mouseClick(w.Child<TRuler>("PaintBox2"), Qt::LeftButton, Qt::NoModifier, {25, 12});
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300}));
    QVERIFY(w.Child<QToolButton>("y_speed")->isChecked());
    // The same point twice adds its line once.
    QTest::mouseClick(w.Child<TRuler>("PaintBox2"), Qt::LeftButton, Qt::NoModifier, {26, 12});
    QTest::mouseClick(w.Child<TRuler>("PaintBox2"), Qt::LeftButton, Qt::NoModifier, {26, 12});
    QTest::mouseClick(w.Child<TRuler>("PaintBox2"), Qt::LeftButton, Qt::NoModifier, {326, 12});
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300, 1}));
    QTest::mouseClick(w.Child<TRuler>("PaintBox1"), Qt::LeftButton, Qt::NoModifier, {12, 150});
    QTest::mouseClick(w.Child<TRuler>("PaintBox1"), Qt::LeftButton, Qt::NoModifier, {12, 201});
    QCOMPARE(Horz(*w.Form), (TPositions{0, 200, 150}));
    QVERIFY(w.Child<QToolButton>("x_speed")->isChecked());
    // Another button adds without changing the mode.
    QTest::mouseClick(w.Child<TRuler>("PaintBox2"), Qt::RightButton, Qt::NoModifier, {125, 12});
    QCOMPARE(Vert(*w.Form).back(), 100);
    QVERIFY(w.Child<QToolButton>("x_speed")->isChecked());
    QTest::mouseMove(w.Child<TRuler>("PaintBox2"), {75, 12});
    QCOMPARE(w.Child<QLabel>("StatusBar")->text(), QStringLiteral("X: 50"));
  }

  void LinesMarkersAndRulerClicksFollowTheScrolledView() {
    TShownWindow w(WriteImage(FDir, QStringLiteral("large.png"), 900, 700));
    TPGImage& view = *w.View();
    QVERIFY(view.HorzScrollBarVisible() && view.VertScrollBarVisible());
    view.SetHorzScrollPosition(40);
    view.SetVertScrollPosition(100);
    QTest::mouseClick(w.Child<TRuler>("PaintBox1"), Qt::LeftButton, Qt::NoModifier, {12, 10});
    QTest::mouseClick(w.Child<TRuler>("PaintBox2"), Qt::LeftButton, Qt::NoModifier, {30, 12});
    QCOMPARE(Horz(*w.Form), (TPositions{0, 700, 110}));
    QCOMPARE(Vert(*w.Form), (TPositions{0, 900, 45}));
    QCOMPARE(Rendered(view), ExpectedViewport(w, PositionColor));
    QCOMPARE(w.Child<TRuler>("PaintBox1")->grab().toImage().pixel(15, 10), qRgb(255, 0, 0));
    QCOMPARE(w.Child<TRuler>("PaintBox2")->grab().toImage().pixel(30, 15), qRgb(255, 0, 0));
    // The picture box reports image pixels wherever the view stands.
    w.Move({45, 300});
    QCOMPARE(PGScreenCursorShape(), Qt::SizeHorCursor);
  }

  void AddSplitlineTakesValuesWithinTheImage() {
    TShownWindow w(FImage);
    w.Dialogs.Positions = {QStringLiteral("0"), QStringLiteral("201"), QStringLiteral("abc")};
    for (int i = 0; i < 3; ++i) w.Action("AddHorizontalAction")->trigger();
    QCOMPARE(w.Dialogs.PositionCaptions.front(), QStringLiteral("Enter position (0-200)"));
    // 0 is the top edge already: no second line there.
    QCOMPARE(Horz(*w.Form), (TPositions{0, 200}));
    QCOMPARE(ReportedErrors(), std::vector<QString>{QStringLiteral("'abc' is not a valid integer value")});
    w.Dialogs.Positions = {QStringLiteral("300"), QStringLiteral("150")};
    for (int i = 0; i < 3; ++i) w.Action("AddVerticalAction")->trigger();  // the last one cancelled
    QCOMPARE(w.Dialogs.PositionCaptions.back(), QStringLiteral("Enter position (0-300)"));
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300, 150}));
    QCOMPARE(w.Editor().Selected(), std::optional(TLineRef{false, 150}));
    QCOMPARE(Rendered(*w.View()), ExpectedViewport(w, PositionColor));
    w.Action("ClearSplitsAction")->trigger();
    QCOMPARE(Horz(*w.Form), (TPositions{0, 200}));
  }

  void ColourAdjustmentChangesTheSourceInPlace() {
    TShownWindow w(FImage);
    w.Action("CMYAction")->trigger();  // cancelled: nothing changes
    QCOMPARE(w.View()->PixelGraphic()->GetPixel(5, 5), PositionColor(5, 5));
    w.Dialogs.FilterAccepted = true;
    w.Action("HLSAction")->trigger();
    const TRGB c = PositionColor(5, 5);
    QCOMPARE(w.View()->PixelGraphic()->GetPixel(5, 5),
             RGBColor(255 - GetRValue(c), GetGValue(c), GetBValue(c)));
  }

  // A wide-gamut picture is shown converted to sRGB, as it is exported.
  void AProfiledImageIsShownAsItIsExported() {
    const std::vector<std::uint8_t> profile = icc::AdobeRgb();
    const std::unique_ptr<TPixelGraphic> source = MakeImage(40, 30, PositionColor);
    auto attached = std::make_shared<TPGColorProfile>();
    attached->Icc = profile;
    source->ColorProfile = attached;
    const QString path = FDir.filePath(QStringLiteral("wide.png"));
    source->SaveToFile(QFile::encodeName(path).toStdString());
    std::vector<std::uint8_t> rgb;
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40; ++x) {
        const TRGB c = PositionColor(x, y);
        rgb.insert(rgb.end(), {std::uint8_t(GetRValue(c)), std::uint8_t(GetGValue(c)), std::uint8_t(GetBValue(c))});
      }
    const std::vector<std::uint8_t> converted = icc::ToSRGB(profile, rgb);
    const auto convertedAt = [&](int x, int y) {
      const std::size_t i = (std::size_t(y) * 40 + std::size_t(x)) * 3;
      return RGBColor(converted[i], converted[i + 1], converted[i + 2]);
    };
    TShownWindow w(path);
    TPixelGraphic& shown = *w.View()->PixelGraphic();
    QVERIFY(!shown.ColorProfile);
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40; ++x) QCOMPARE(shown.GetPixel(x, y), convertedAt(x, y));
    QVERIFY(shown.GetPixel(39, 29) != PositionColor(39, 29));
    QCOMPARE(Rendered(*w.View()), ExpectedViewport(w, convertedAt));
  }

  void AFailedOpenKeepsTheImageGridAndTitle() {
    TShownWindow w(FImage);
    w.Grid().VertSplits.Add(120);
    QFile bad(FDir.filePath(QStringLiteral("broken.png")));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("\x89PNG\r\n\x1a\n not really");
    bad.close();
    w.Dialogs.ImageToOpen = bad.fileName();
    w.Action("OpenAction")->trigger();
    QCOMPARE(ReportedErrors().size(), std::size_t(1));
    QVERIFY(w->ImageLoaded());
    QCOMPARE(w.View()->PixelGraphic()->GetPixel(7, 3), PositionColor(7, 3));
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300, 120}));
    QCOMPARE(w->windowTitle(), QStringLiteral("Tessel! - [") + FImage + QStringLiteral("]"));
    QCOMPARE(w->MRUManager1().Count(), 1);
  }

  void RecentImagesKeepTenAndReportMissingFiles() {
    TShownWindow w;
    QStringList paths;
    for (int i = 0; i < 11; ++i) {
      paths << WriteImage(FDir, QStringLiteral("r%1.bmp").arg(i), 4, 4);
      w->OpenImage(paths.back());
    }
    QCOMPARE(w->MRUManager1().Count(), 10);
    QCOMPARE(QString::fromStdString(w->MRUManager1().Items(0)), paths[10]);
    QCOMPARE(QString::fromStdString(w->MRUManager1().Items(9)), paths[1]);
    const QList<QAction*> entries = w.Child<QMenu>("ReopenImageMenu")->actions();
    QCOMPARE(entries.size(), 10);
    QCOMPARE(entries[9]->text(), QStringLiteral("&A\t") + paths[1]);

    QVERIFY(QFile::remove(paths[3]));
    entries[7]->trigger();
    QCOMPARE(w.Dialogs.Errors, std::vector<QString>{QStringLiteral("File ") + paths[3] +
                                                    QStringLiteral(" not found.")});
    QCOMPARE(w->MRUManager1().Count(), 10);
    entries[9]->trigger();  // reopened: moves to the top
    QCOMPARE(QString::fromStdString(w->MRUManager1().Items(0)), paths[1]);
  }

  void PngOutputHidesTheJpegPage() {
    TShownWindow w(FImage);
    w.Child<QTabWidget>("PageControl1")->setCurrentIndex(1);
    w.Child<QActionGroup>("OutputFormatGroup")->actions()[3]->trigger();
    QCOMPARE(w->OutputExtension(), std::string(".png"));
    QVERIFY(!w.Child<QTabWidget>("PageControl1")->isTabVisible(1));
    QCOMPARE(w.Child<QTabWidget>("PageControl1")->currentIndex(), 0);
    w.Child<QActionGroup>("OutputFormatGroup")->actions()[0]->trigger();
    QVERIFY(w.Child<QTabWidget>("PageControl1")->isTabVisible(1));
    QCOMPARE(w.Child<QTabWidget>("PageControl1")->currentIndex(), 0);
  }

  void MagnifierClicksChangeItsZoom() {
    TShownWindow w;
    TQV_Loupe& loupe = *w.Child<TQV_Loupe>("QV_Loupe1");
    QVERIFY(loupe.Active());
    QCOMPARE(loupe.ZoomLevel(), 2.0);
    for (int i = 0; i < 2; ++i) QTest::mouseClick(&loupe, Qt::LeftButton);
    QCOMPARE(loupe.ZoomLevel(), 4.0);
    for (int i = 0; i < 4; ++i) QTest::mouseClick(&loupe, Qt::RightButton);
    QCOMPARE(loupe.ZoomLevel(), 1.0);
  }

  void HelpCommandsOpenTheGuideAndPages() {
    TShownWindow w;
    for (QAction* a : {w.Action("UsageAction"), w.Action("AuthorsSiteAction"), w.Action("DonateAction")}) a->trigger();
    QCOMPARE(w.Dialogs.Opened.size(), std::size_t(3));
    QVERIFY(w.Dialogs.Opened[0].endsWith(QStringLiteral("readme.txt")));
    QVERIFY(w.Dialogs.Opened[1].startsWith(QStringLiteral("https://")));
    QVERIFY(w.Dialogs.Opened[2] != w.Dialogs.Opened[1]);
  }
};

TESSEL_UI_TEST_MAIN(TMainWindowTest)
#include "mainwindow_test.moc"
