// The main window driven through its menus: the entries and their enabling
// rules, opening images (a failing one, one with a colour profile, another
// image after lines were placed, dropped files), the recent images, Add
// Splitline, grid files and unsaved work, colour adjustment, the output
// formats and their page, the Help commands, and a window closed while its
// workers run.
#include <QActionGroup>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <chrono>

#include "app/ui/windowexport.h"
#include "pgraphic_qt/view/paintthread.h"
#include "pgraphic_qt/view/pgimage.h"
#include "platform/cursors.h"
#include "platform/display.h"
#include "support/icc_profiles.h"
#include "support/watchdog.h"
#include "app/ui/placement.h"
#include "ui_test_util.h"

namespace {

using namespace std::chrono_literals;


}  // namespace

class TMainWindowTest : public TWindowTest {
  Q_OBJECT

 private slots:
  void init() { StartWindowTest(); }

  void StartsEmptyWithTheMenusOfAnImagelessWindow() {
    TShownWindow w;
    QCOMPARE(w->windowTitle(), QStringLiteral("Tessel!"));
    QCOMPARE(w->geometry(), FirstPlacement(QGuiApplication::primaryScreen()->availableGeometry()));
    const QFontInfo status(w.Status()->font());
    QVERIFY(status.bold());
    QCOMPARE(status.family(), QStringLiteral("Liberation Sans"));  // standing in for Arial
    QVERIFY(w.Child<QToolButton>("x_speed")->isChecked());
    QCOMPARE(w.View()->ActionMode(), amNone);
    QVERIFY(Horz(*w.Form).empty() && Vert(*w.Form).empty());
    QCOMPARE(w.Child<QActionGroup>("OutputFormatGroup")->checkedAction()->text(), QStringLiteral(".jpg"));
    for (const char* name : {"ExportAction", "LoadGridAction", "SaveGridAction", "ClearSplitsAction",
                             "AddHorizontalAction", "CMYAction", "RGBAction"})
      QVERIFY(!w.Action(QLatin1String(name))->isEnabled());
    QCOMPARE(w.Action("AddHorizontalAction")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_X));
    QCOMPARE(w.Action("OpenAction")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_L));

    w->OpenImage(FImage);
    QCOMPARE(w->windowTitle(), QStringLiteral("Tessel! - [") + FImage + QStringLiteral("]"));
    QCOMPARE(ApplicationTitle(), w->windowTitle());
    QCOMPARE(Horz(*w.Form), (TPositions{0, 200}));
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300}));
    for (const char* name : {"ExportAction", "LoadGridAction", "ClearSplitsAction", "AddVerticalAction", "HLSAction"})
      QVERIFY(w.Action(QLatin1String(name))->isEnabled());
    QVERIFY(!w.Action("RGBAction")->isEnabled());
    // The Tools menu, shortcuts included, belongs to the Source page.
    w.Pages()->setCurrentIndex(1);
    QVERIFY(!w.Child<QMenu>("ToolsMenu")->isEnabled() && !w.Action("AddHorizontalAction")->isEnabled());
    w.Pages()->setCurrentIndex(0);
    QVERIFY(w.Child<QMenu>("ToolsMenu")->isEnabled() && w.Action("AddHorizontalAction")->isEnabled());
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
    QCOMPARE(w.Dialogs.PositionPrompts.front(), QStringLiteral("Horizontal line, from the top (0-200):"));
    QCOMPARE(w.Dialogs.PositionPrompts.back(), QStringLiteral("Vertical line, from the left (0-300):"));
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

  void AnotherImageKeepsTheLinesThatFitWhenAsked() {
    TShownWindow w(FImage);
    w.Grid().VertSplits.Add(100);
    w.Grid().VertSplits.Add(290);
    w.Grid().HorzSplits.Add(150);
    w.Data().Tags[{2, 1}] = {"b.html", "", ""};
    const QString smaller = WriteImage(FDir, QStringLiteral("second.png"), 280, 160);
    w.Dialogs.YesNoAnswers = {true};
    w->OpenImage(smaller);
    QCOMPARE(w.Dialogs.Questions,
             std::vector<QString>{QStringLiteral("Tessel!: Keep the split lines that fit the new image?")});
    QCOMPARE(Vert(*w.Form), (TPositions{0, 280, 100}));
    QCOMPARE(Horz(*w.Form), (TPositions{0, 160, 150}));
    QCOMPARE(w.Data().Tags.at({2, 1}).Link, std::string("b.html"));
    QVERIFY(!w.Action("UndoAction")->isEnabled());  // a new image starts a new history
    // No: the new image's edges only; then nothing to ask about.
    w->OpenImage(FImage);
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300}));
    QVERIFY(w.Data().Tags.empty());
    w->OpenImage(smaller);
    QCOMPARE(w.Dialogs.Questions.size(), std::size_t(2));
  }

  void ADroppedImageIsOpened() {
    TShownWindow w;
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(FImage)});
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.Form.get(), &enter);
    QVERIFY(enter.isAccepted());
    QApplication::sendEvent(w.Form.get(), &drop);
    QVERIFY(w->ImageLoaded());
    QCOMPARE(Horz(*w.Form), (TPositions{0, 200}));
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

  void GridFilesRoundTripAndReportLinesOutOfBounds() {
    TShownWindow w(FImage);
    const QString grid = FDir.filePath(QStringLiteral("round.grd"));
    w.Grid().HorzSplits.Add(120);
    w.Grid().VertSplits.Add(30);
    w.Dialogs.SavePaths = {grid};
    w.Action("SaveGridAction")->trigger();
    QCOMPARE(w.Dialogs.FileFilters.back(), QStringLiteral("Grid Files (*.grd)|*.grd / grd"));
    QCOMPARE(FileDialogNameFilters(QLatin1String(GridFileFilter)), QStringList{QStringLiteral("Grid Files (*.grd)")});
    QCOMPARE(FileBytes(grid), QByteArray("0\r\n200\r\n120\r\n-\r\n0\r\n300\r\n30\r\n"));
    w.Action("ClearSplitsAction")->trigger();
    w.Dialogs.OpenPaths = {grid};
    w.Action("LoadGridAction")->trigger();
    QCOMPARE(Horz(*w.Form), (TPositions{0, 200, 120}));
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300, 30}));
    QCOMPARE(QString::fromStdString(w->MRUManager2().Items(0)), grid);

    const QString large = FDir.filePath(QStringLiteral("large.grd"));
    WriteFile(large, "0\r\n250\r\n80\r\n-\r\n0\r\n300\r\n400\r\n");
    w.Dialogs.OpenPaths = {large};
    w.Action("LoadGridAction")->trigger();
    // One warning names every line left out; the rest is loaded.
    QVERIFY(w.Dialogs.Errors.empty());
    QCOMPARE(w.Dialogs.Warnings,
             std::vector<QString>{QStringLiteral("Grid larger than image, line 250 out of bounds!\n"
                                                 "Grid larger than image, line 400 out of bounds!\n"
                                                 "Those lines are left out; the rest of the grid is loaded.")});
    QCOMPARE(Horz(*w.Form), (TPositions{0, 200, 80}));
    QCOMPARE(Vert(*w.Form), (TPositions{0, 300}));
    QCOMPARE(w->MRUManager2().Count(), 2);
  }

  void PngOutputHidesTheJpegPage() {
    TShownWindow w(FImage);
    w.Pages()->setCurrentIndex(1);
    w.Child<QActionGroup>("OutputFormatGroup")->actions()[3]->trigger();
    QCOMPARE(w->OutputExtension(), std::string(".png"));
    QVERIFY(!w.Pages()->isTabVisible(1));
    QCOMPARE(w.Pages()->currentIndex(), 0);
    w.Child<QActionGroup>("OutputFormatGroup")->actions()[0]->trigger();
    QVERIFY(w.Pages()->isTabVisible(1));
    QCOMPARE(w.Pages()->currentIndex(), 0);
  }

  void HelpCommandsOpenTheGuideAndPages() {
    TShownWindow w;
    for (QAction* a : {w.Action("UsageAction"), w.Action("AuthorsSiteAction"), w.Action("DonateAction")}) a->trigger();
    QCOMPARE(w.Dialogs.Opened.size(), std::size_t(3));
    QVERIFY(w.Dialogs.Opened[0].endsWith(QStringLiteral("readme.txt")));
    QVERIFY(w.Dialogs.Opened[1].startsWith(QStringLiteral("https://")));
    QVERIFY(w.Dialogs.Opened[2] != w.Dialogs.Opened[1]);
  }


  // A cut no file holds is asked about before it is set aside: Cancel
  // keeps it, Don't Save drops it, Save writes the grid first (a save
  // dialog cancelled keeps it too); then Save Grid (Ctrl+G) saves there
  // again without a dialog.
  void UnsavedWorkIsAskedAbout() {
    const QString other = WriteImage(FDir, QStringLiteral("other.png"), 50, 40);
    const QString saved = FDir.filePath(QStringLiteral("asked.grd"));
    const struct {
      const char* Action;
      TSaveAnswer Answer;
      bool SavePathGiven, LeftAside;  // the window closed or the other image came
    } cases[] = {
        {"ExitAction", TSaveAnswer::Cancel, false, false},   {"ExitAction", TSaveAnswer::DontSave, false, true},
        {"ExitAction", TSaveAnswer::Save, true, true},       {"ExitAction", TSaveAnswer::Save, false, false},
        {"OpenAction", TSaveAnswer::Cancel, false, false},   {"OpenAction", TSaveAnswer::DontSave, false, true},
        {"LoadGridAction", TSaveAnswer::Cancel, false, false},
    };
    for (const auto& c : cases) {
      QFile::remove(saved);
      TShownWindow w(FImage);
      w.Action("ExitAction")->trigger();  // nothing placed yet: nothing asked
      QVERIFY(w.Dialogs.Questions.empty() && !w->isVisible());
      w->show();
      w.Dialogs.Positions = {QStringLiteral("60")};
      w.Action("AddHorizontalAction")->trigger();
      w.Dialogs.SaveAnswers = {c.Answer};
      if (c.SavePathGiven) w.Dialogs.SavePaths = {saved};
      w.Dialogs.ImageToOpen = other;
      w.Action(QLatin1String(c.Action))->trigger();
      QCOMPARE(w.Dialogs.Questions.front(), QStringLiteral("Tessel!: Save the grid?"));
      QCOMPARE(QFile::exists(saved), c.SavePathGiven);
      QCOMPARE(!w->isVisible() || w.Document().ImageWidth() == 50, c.LeftAside);
      if (!c.LeftAside) QVERIFY(w.Document().Modified() && Horz(*w.Form).size() == 3);
      if (!c.SavePathGiven) continue;
      QCOMPARE(w->GridPath(), saved);
      w->show();
      QVERIFY(w.Document().AddLine(true, 90));
      w->activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(w.Form.get()));
      QTest::keyClick(w.Form.get(), Qt::Key_G, Qt::ControlModifier);
      QCOMPARE(w.Dialogs.FileFilters.size(), std::size_t(1));
      QCOMPARE(FileBytes(saved), QByteArray("0\r\n200\r\n60\r\n90\r\n-\r\n0\r\n300\r\n"));
      QCOMPARE(w.Status()->text(), QStringLiteral("Saved the grid to ") + saved);
    }
  }

  void ClosingWhileWorkersRunNeitherCrashesNorHangs() {
    const QString big = WriteImage(FDir, QStringLiteral("big.bmp"), 2400, 1800);
    // On a 256-colour screen the view needs display copies from its thread.
    PGSetScreenDepthOverride(8);
    {
      TWatchdog watchdog("closing a busy window", 120s);
      auto w = std::make_unique<TShownWindow>(big);
      QVERIFY(QTest::qWaitForWindowExposed(w->Form.get()));
      w->View()->viewport()->repaint();
      QVERIFY(w->View()->PaintThread()->isRunning());
      w->Compression().TrackBar1->setValue(10);  // the preview timer runs
      QVERIFY(w->Compression().Timer1->isActive() && w->Child<TQV_Loupe>("QV_Loupe1")->Active());
      w->Form->close();
      w.reset();
    }
    PGSetScreenDepthOverride(0);
  }
};

TESSEL_UI_TEST_MAIN(TMainWindowTest)
#include "mainwindow_test.moc"
