// The main window's commands, its settings and what it does with files
// dropped on it.
#include <QActionGroup>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QShowEvent>
#include <QTabWidget>
#include <QUrl>

#include <algorithm>
#include <optional>
#include <thread>
#include <stdexcept>

#include "app/common/convert.h"
#include "app/export/exporter.h"
#include "app/export/pagelayout.h"
#include "app/cut/carrydata.h"
#include "app/cut/griddatafiles.h"
#include "app/cut/gridfile.h"
#include "app/ui/errorreport.h"
#include "app/ui/exportdialogs.h"
#include "app/ui/gridhistory.h"
#include "app/ui/jpegpage.h"
#include "app/ui/links.h"
#include "app/ui/mainwindow.h"
#include "app/ui/placement.h"
#include "app/ui/qsettingsstore.h"
#include "app/ui/slicespanel.h"
#include "app/ui/windowexport.h"
#include "pgraphic/core/settings.h"
#include "pgraphic/filters/filters.h"
#include "pgraphic_qt/view/pgimage.h"
#include "platform/cursors.h"

namespace {

// Where the window keeps its placement and recent lists.
constexpr const char* kWindowKeyPath = "Software\\Corvane Mill";
constexpr const char* kWindowSection = "Tessel";
constexpr const char* kOutputFormatValue = "OutputFormat";
constexpr const char* kJpegQualityValue = "JpegQuality";
constexpr const char* kJpegProgressiveValue = "JpegProgressive";
constexpr const char* kWebpQualityValue = "WebpQuality";
constexpr const char* kSlicesPanelValue = "SlicesPanel";

std::string FileNameOf(const QString& path) { return QFile::encodeName(path).toStdString(); }

// The first local file among dragged items, if any.
std::optional<QString> DroppedFile(const QMimeData* data) {
  if (!data || !data->hasUrls()) return std::nullopt;
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) return url.toLocalFile();
  return std::nullopt;
}

}  // namespace

TMainWindowDialogs& TForm1::Modal() {
  PGSetScreenCursor(TPGCursor::crDefault);
  return FDialogs;
}

void TForm1::OpenImage(const QString& path) {
  // Loaded apart from the view, so a file that fails leaves the image shown
  // (and whatever was done to it) in place.
  auto image = std::make_unique<TPixelGraphic>();
  {
    TPGScreenCursorGuard hourglass(PGCursor(TPGCursor::crHourGlass));
    image->ReadWarningAction = PGImage1->ReadWarningAction();
    image->SetBackGroundColor(PGImage1->BackGroundColor());
    image->LoadFromFile(FileNameOf(path));
  }
  FEditor->CancelDrag();
  const int oldWidth = PGImage1->PixelGraphicWidth(), oldHeight = PGImage1->PixelGraphicHeight();
  const int width = image->Width(), height = image->Height();
  TSplitGrid edges;
  edges.ResetToImage(oldWidth, oldHeight);
  TGridData next;
  next.Grid.ResetToImage(width, height);
  // A new version of a design is cut along the lines of the last one.
  const bool placed = ImageLoaded() && (!(FData.Grid == edges) || !FData.Tags.empty() || !FData.Cells.Empty());
  if (placed && Modal().AskYesNo(this, QStringLiteral("Keep the split lines that fit the new image?"),
                                 QStringLiteral("Tessel!")))
    next = WithLines(FData, LinesForNewImage(FData.Grid, oldWidth, oldHeight, width, height));
  FSourceFile = FileIdentityOf(FileNameOf(path));
  PGImage1->SetPixelGraphic(std::move(image));
  FEditor->Select(std::nullopt);
  FEditor->ImageChanged();
  FData = next;
  FHistory->Clear();
  const QString title = QStringLiteral("Tessel! - [") + path + QLatin1Char(']');
  setWindowTitle(title);
  SetApplicationTitle(title);
  MRUManager1.Add(path.toStdString());
  GridDataChanged();
}

void TForm1::OpenCommand() {
  QString path;
  if (Modal().ChooseImageFile(this, path)) OpenImage(path);
}

void TForm1::ReopenImage(const QString& path) {
  if (QFileInfo::exists(path))
    OpenImage(path);
  else
    Modal().ErrorBox(this, QStringLiteral("File ") + path + QStringLiteral(" not found."));
}

void TForm1::LoadGrid(const QString& path) {
  if (!ImageLoaded()) return;
  FEditor->CancelDrag();
  const std::string gridPath = FileNameOf(path);
  TGridData loaded = ReadGridData(gridPath, PGImage1->PixelGraphicWidth(), PGImage1->PixelGraphicHeight(),
                                  [this](const std::string& message) {
                                    Modal().ErrorBox(this, QString::fromStdString(message));
                                  });
  const std::vector<std::pair<int, int>> strays = CellsNotInGrid(loaded.Tags, loaded.Grid);
  if (!strays.empty()) {
    QStringList cells;
    for (const auto& [column, row] : strays) cells << QStringLiteral("%1, %2").arg(column).arg(row);
    Modal().ErrorBox(this, QStringLiteral("%1: the grid has no slice %2; those texts are left out.")
                               .arg(QFile::decodeName(CompanionPath(gridPath, TagsExtension).c_str()),
                                    cells.join(QStringLiteral("; "))));
  }
  // The window keeps every line once; the texts stay with their slices.
  TSplitGrid lines = loaded.Grid;
  lines.RemoveDuplicates();
  FHistory->Apply(QStringLiteral("Load Grid"), WithLines(loaded, lines));
  MRUManager2.Add(path.toStdString());
  GridDataChanged();
}

void TForm1::AddSplitline(bool horizontal) {
  if (!ImageLoaded()) return;
  const int bound = horizontal ? PGImage1->PixelGraphicHeight() : PGImage1->PixelGraphicWidth();
  inputdlg1->SetCaption(QStringLiteral("Enter position (0-%1)").arg(bound));
  // Repainted whatever the answer, also when it is no number.
  struct TRepaint {
    TSplitEditor& Editor;
    ~TRepaint() { Editor.Changed(); }
  } repaint{*FEditor};
  if (!Modal().AskPosition(*inputdlg1)) return;
  const std::int32_t value = StrToInt(inputdlg1->Text().toStdString());
  TSplitGrid lines = FData.Grid;
  // A line already there is not placed twice.
  if ((horizontal ? lines.ContainsHorz(value) : lines.ContainsVert(value)) ||
      !(horizontal ? lines.AddSplitlineHorz(value, bound) : lines.AddSplitlineVert(value, bound)))
    return;
  FHistory->Apply(QStringLiteral("Add Line"), WithLines(FData, lines));
  FEditor->Select(TLineRef{horizontal, value});
}

void TForm1::ClearSplits() {
  if (!ImageLoaded()) return;
  FEditor->CancelDrag();
  TGridData fresh;
  fresh.Grid.ResetToImage(PGImage1->PixelGraphicWidth(), PGImage1->PixelGraphicHeight());
  FHistory->Apply(QStringLiteral("Clear Splits"), fresh);
  FEditor->Changed();
}

void TForm1::ColorAdjustment(TColorFilterKind kind) {
  TPixelGraphic* image = ImageLoaded() ? PGImage1->PixelGraphic() : nullptr;
  if (!image) return;
  std::unique_ptr<TPGFilter> filter = Modal().RunColorFilter(this, kind, *image);
  if (!filter) return;
  // What the dialog covered is painted before the slower filtering starts.
  repaint();
  image = PGImage1->PixelGraphic();
  image->ApplyFilter(*filter, *image);
}

void TForm1::SetOutputFormat(const TOutputFormat& format) {
  const QString text = QString::fromStdString(format.MenuText);
  for (QAction* action : OutputFormatGroup->actions())
    if (action->text() == text) action->setChecked(true);
  FOutputFormat = &format;
  // The automatic choice starts from the JPEG quality, so it is set here too.
  const bool lossy = format.Writer == "jpg" || format.Writer == "webp" || format.Chosen();
  const int jpegPage = PageControl1->indexOf(TabSheet2);
  if (!lossy && PageControl1->currentIndex() == jpegPage) PageControl1->setCurrentWidget(TabSheet1);
  PageControl1->setTabVisible(jpegPage, lossy);
  const bool webp = format.Writer == "webp";
  PageControl1->setTabText(jpegPage, webp ? QStringLiteral("WebP Compression") : QStringLiteral("JPEG Compression"));
  TabSheet2->SetFormat(webp ? "webp" : "jpg");
}

// What the compression page weighs: the grid as an export would cut it now.
bool TForm1::PageToWeigh(TSplitGrid& grid, TPageWeighing& weighing) {
  if (!ImageLoaded() || CellsOf(FData.Grid).empty()) return false;
  grid = FData.Grid;
  weighing.Cells = FData.Cells;
  weighing.HtmlPath = "page.html";
  if (FExportUi->Attached()) weighing.Options = FExportUi->OptionsDialog()->Options();
  weighing.Format = FOutputFormat;
  weighing.Settings = PGSettings();
  // One core is left to the window.
  weighing.Threads = int(std::max(1u, std::thread::hardware_concurrency()) - 1);
  weighing.Threads = std::max(1, weighing.Threads);
  return true;
}

void TForm1::Usage() { Modal().ShellOpen(FindUserGuide()); }

void TForm1::AuthorsSite() { Modal().ShellOpen(QLatin1String(AuthorSiteUrl)); }

void TForm1::Donate() { Modal().ShellOpen(QLatin1String(DonatePageUrl)); }

void TForm1::About() { Modal().ShowAbout(this); }

TPixelGraphic& TForm1::SliceImage() { return FExporter->SliceImage; }

void TForm1::SetExportDialogs(Texportdialog& options, Taddtagsdialog& tags, Tdlg_code& code) {
  FExportUi->Attach(options, tags, code);
}

Texportdialog& TForm1::ExportOptionsDialog() {
  if (!FExportUi->Attached()) throw std::logic_error("The export dialogs were not made.");
  return *FExportUi->OptionsDialog();
}

void TForm1::ExportCommand() {
  TPixelGraphic* source = ImageLoaded() ? PGImage1->PixelGraphic() : nullptr;
  if (!source) return;
  const TExportOptions options = ExportOptionsDialog().Options();
  FEditor->CancelDrag();
  FExporter->Settings.SetOutputFormat(*FOutputFormat);
  FExporter->Settings.Options = options;
  FExporter->Settings.SourceFile = FSourceFile;
  // The per-slice dialogs' texts and formats go to a copy: the plan is
  // made, and the files saved with the grid get them.
  FExportCut = FData;
  struct TBusy {
    TForm1& Window;
    ~TBusy() {
      Window.FExportUi->EndExport();
      Window.FData.Grid = Window.FExportCut.Grid;
      Window.FEditor->Changed();  // the lists are sorted now, also after a failure
      // What the per-slice dialogs confirmed stays, even when the export did not.
      if (!(Window.FExportCut.Tags == Window.FData.Tags) || !(Window.FExportCut.Cells == Window.FData.Cells))
        RunReported([this] {
          TGridData after = Window.FData;
          after.Tags = Window.FExportCut.Tags;
          after.Cells = Window.FExportCut.Cells;
          Window.FHistory->Apply(QStringLiteral("Slice Texts"), after);
        });
    }
  } busy{*this};
  FExportUi->BeginExport(SliceCountOf(PageLayoutOf(FData.Grid, FData.Cells)), &FExportCut.Tags, &FExportCut.Cells);
  if (!FExporter->Export(*source)) return;
  const int slices = FExportUi->SlicesWritten();
  QString status = QStringLiteral("Exported %1 %2 and %3")
                       .arg(slices)
                       .arg(slices == 1 ? QStringLiteral("slice") : QStringLiteral("slices"))
                       .arg(QFile::decodeName(FExportUi->HtmlPath().c_str()));
  // Chosen formats are summed up; the code dialog has them slice by slice.
  if (FOutputFormat->Chosen()) status += QStringLiteral(" (%1)").arg(QString::fromStdString(SliceSummary(FExportUi->Slices())));
  StatusBar1->setText(status);
}

void TForm1::LoadGridCommand() {
  if (!ImageLoaded()) return;
  QString path;
  if (Modal().ChooseOpenFile(this, QLatin1String(GridFileFilter), QLatin1String(GridDefaultExtension), path))
    LoadGrid(path);
}

void TForm1::SaveGridCommand() {
  if (!ImageLoaded()) return;
  QString path;
  if (!Modal().ChooseSaveFile(this, QLatin1String(GridFileFilter), QLatin1String(GridDefaultExtension), path))
    return;
  SaveGridData(FileNameOf(path), FData);
  MRUManager2.Add(path.toStdString());
}

void TForm1::OptionsCommand() { Modal().RunModal(ExportOptionsDialog()); }

// ---------------------------------------------------------------- settings

void TForm1::ReadSettings() {
  TQSettingsStore store(kWindowKeyPath);
  RunReported([&] { store.CheckReadable(); });
  RunReported([&] {
    RestorePlacement(store, kWindowSection, *this);
    MRUManager1.LoadFrom(store, kWindowSection);
    MRUManager2.LoadFrom(store, kWindowSection);
    ReadWorkSettings(store);
  });
  FSettingsWritten = false;
}

void TForm1::WriteSettings() {
  FSettingsWritten = true;
  RunReported([&] {
    TQSettingsStore store(kWindowKeyPath);
    SavePlacement(store, kWindowSection, *this);
    MRUManager1.SaveTo(store, kWindowSection);
    MRUManager2.SaveTo(store, kWindowSection);
    WriteWorkSettings(store);
    store.Flush();
  });
}

// What the last run worked with: the output format, the JPEG quality and
// encoding, the WebP quality, and whether the Slices panel was shown. Values that do not read
// back sensibly are left at what they are.
void TForm1::ReadWorkSettings(TSettingsStore& store) {
  if (const auto name = store.ReadString(kWindowSection, kOutputFormatValue))
    if (const TOutputFormat* format = FindOutputFormat(*name)) SetOutputFormat(*format);
  const auto readQuality = [&](const char* key, std::uint8_t& quality) {
    if (const auto text = store.ReadString(kWindowSection, key)) {
      bool ok = false;
      const int stored = QString::fromStdString(*text).toInt(&ok);
      if (ok && stored >= 0 && stored <= 100) quality = static_cast<std::uint8_t>(stored);
    }
  };
  readQuality(kJpegQualityValue, PGSettings().JpegQuality);
  readQuality(kWebpQualityValue, PGSettings().WebpQuality);
  PGSettings().JpegProgressive =
      store.ReadBool(kWindowSection, kJpegProgressiveValue, PGSettings().JpegProgressive);
  // The page shows the quality of the format it is for.
  TabSheet2->ShowSettings(TabSheet2->Format() == "webp" ? PGSettings().WebpQuality : PGSettings().JpegQuality,
                          PGSettings().JpegProgressive);
  SlicesPanel->setVisible(store.ReadBool(kWindowSection, kSlicesPanelValue, !SlicesPanel->isHidden()));
}

void TForm1::WriteWorkSettings(TSettingsStore& store) {
  store.WriteString(kWindowSection, kOutputFormatValue, FOutputFormat->Name);
  // The page sets these as its slider moves; it shows only one of them.
  store.WriteString(kWindowSection, kJpegQualityValue, std::to_string(PGSettings().JpegQuality));
  store.WriteString(kWindowSection, kWebpQualityValue, std::to_string(PGSettings().WebpQuality));
  store.WriteBool(kWindowSection, kJpegProgressiveValue, TabSheet2->Progressive());
  store.WriteBool(kWindowSection, kSlicesPanelValue, !SlicesPanel->isHidden());
}

void TForm1::showEvent(QShowEvent* event) {
  // Read at every show the program makes, not when the desktop restores a
  // minimised window.
  if (!event->spontaneous()) ReadSettings();
  QMainWindow::showEvent(event);
}

void TForm1::closeEvent(QCloseEvent* event) {
  WriteSettings();
  QMainWindow::closeEvent(event);
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  if (DroppedFile(event->mimeData())) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
  const std::optional<QString> path = DroppedFile(event->mimeData());
  if (!path) return;
  event->acceptProposedAction();
  RunReported([&] { OpenImage(*path); });
}
