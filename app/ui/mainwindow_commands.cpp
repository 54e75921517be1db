// The main window's commands. What changes the cut goes through the
// document; the window asks the questions and shows the answers.
#include <QActionGroup>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTabWidget>
#include <QThread>

#include <algorithm>

#include "app/common/convert.h"
#include "app/cut/gridfile.h"
#include "app/export/pageweight.h"
#include "app/ui/browserpreview.h"
#include "app/ui/compressionpage.h"
#include "app/ui/document.h"
#include "app/ui/errorreport.h"
#include "app/ui/exportdialogs.h"
#include "app/ui/links.h"
#include "app/ui/lossyformat.h"
#include "app/ui/mainwindow.h"
#include "app/ui/slicespanel.h"
#include "app/ui/sourcepage.h"
#include "app/ui/windowexport.h"
#include "pgraphic/core/settings.h"
#include "pgraphic/filters/filters.h"
#include "pgraphic_qt/view/pgimage.h"
#include "platform/cursors.h"
#include "widgets/inputdlg.h"

namespace {

std::string FileNameOf(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace

TMainWindowDialogs& TForm1::Modal() {
  PGSetScreenCursor(TPGCursor::crDefault);
  return FDialogs;
}

bool TForm1::MaySetCutAside() {
  if (!FDocument->HasImage() || !FDocument->Modified()) return true;
  // A close request while the question is up (a window manager may send
  // one to a window behind a modal box) waits for that answer.
  if (FAskingSave) return false;
  FAskingSave = true;
  const TSaveAnswer answer = Modal().AskSave(this, QStringLiteral("Save the grid?"), QStringLiteral("Tessel!"));
  FAskingSave = false;
  switch (answer) {
    case TSaveAnswer::Save: return SaveGridCommand();
    case TSaveAnswer::DontSave: return true;
    case TSaveAnswer::Cancel: break;
  }
  return false;
}

void TForm1::OpenImage(const QString& path) {
  TPGImage& view = FSourcePage->View();
  // Loaded apart from the view, so a file that fails leaves the image shown
  // (and whatever was done to it) in place.
  auto image = std::make_unique<TPixelGraphic>();
  {
    TPGScreenCursorGuard hourglass(PGCursor(TPGCursor::crHourGlass));
    image->ReadWarningAction = view.ReadWarningAction();
    image->SetBackGroundColor(view.BackGroundColor());
    image->LoadFromFile(FileNameOf(path));
  }
  TSplitEditor& editor = FSourcePage->Editor();
  editor.CancelDrag();
  const int width = image->Width(), height = image->Height();
  // A new version of a design is cut along the lines of the last one.
  const bool keep = FDocument->HasPlacedWork() &&
                    Modal().AskYesNo(this, QStringLiteral("Keep the split lines that fit the new image?"),
                                     QStringLiteral("Tessel!"));
  TGridData cut;
  if (keep)
    cut = FDocument->FittedTo(width, height);
  else
    cut.Grid.ResetToImage(width, height);
  const TFileIdentity file = FileIdentityOf(FileNameOf(path));
  view.SetPixelGraphic(std::move(image));
  editor.Select(std::nullopt);
  editor.ImageChanged();
  FDocument->NewImage(path, file, width, height, std::move(cut));
  FSlicesPanel->ImageChanged();
  // Another design: its grid is saved where the user says.
  FGridPath.clear();
  const QString title = QStringLiteral("Tessel! - [") + path + QLatin1Char(']');
  setWindowTitle(title);
  SetApplicationTitle(title);
  FRecentImages.Add(path.toStdString());
}

void TForm1::OpenCommand() {
  if (!MaySetCutAside()) return;
  // In the folder of the image shown, or else of the last one opened.
  QString path = FDocument->ImagePath();
  if (path.isEmpty() && FRecentImages.Count() > 0) path = QString::fromStdString(FRecentImages.Items(0));
  if (Modal().ChooseImageFile(this, path)) OpenImage(path);
}

void TForm1::ReopenImage(const QString& path) {
  if (!QFileInfo::exists(path))
    Modal().ErrorBox(this, QStringLiteral("File ") + path + QStringLiteral(" not found."));
  else if (MaySetCutAside())
    OpenImage(path);
}

void TForm1::LoadGrid(const QString& path) {
  if (ImageLoaded() && MaySetCutAside()) ReadGrid(path);
}

void TForm1::ReadGrid(const QString& path) {
  FSourcePage->Editor().CancelDrag();
  const std::string gridPath = FileNameOf(path);
  // Lines beyond the image are left out and the rest is loaded: one
  // warning names them all, after the grid is in place.
  QStringList warnings;
  const std::vector<std::pair<int, int>> strays = FDocument->LoadGrid(
      gridPath, [&warnings](const std::string& message) { warnings << QString::fromStdString(message); });
  if (!warnings.isEmpty()) {
    QString text = warnings.join(QLatin1Char('\n'));
    if (text.contains(QStringLiteral("out of bounds")))
      text += QStringLiteral("\nThose lines are left out; the rest of the grid is loaded.");
    Modal().WarningBox(this, text);
  }
  if (!strays.empty()) {
    QStringList cells;
    for (const auto& [column, row] : strays) cells << QStringLiteral("%1, %2").arg(column).arg(row);
    Modal().ErrorBox(this, QStringLiteral("%1: the grid has no slice %2; those texts are left out.")
                               .arg(QFile::decodeName(CompanionPath(gridPath, TagsExtension).c_str()),
                                    cells.join(QStringLiteral("; "))));
  }
  FRecentGrids.Add(path.toStdString());
  FGridPath = path;
}

void TForm1::AddSplitline(bool horizontal) {
  if (!ImageLoaded()) return;
  const int bound = horizontal ? FDocument->ImageHeight() : FDocument->ImageWidth();
  FPositionDialog->SetCaption(QStringLiteral("Enter position (0-%1)").arg(bound));
  FPositionDialog->SetPrompt(horizontal ? QStringLiteral("Horizontal line, from the top (0-%1):").arg(bound)
                                        : QStringLiteral("Vertical line, from the left (0-%1):").arg(bound));
  TSplitEditor& editor = FSourcePage->Editor();
  // Repainted whatever the answer, also when it is no number.
  editor.Changed();
  if (!Modal().AskPosition(*FPositionDialog)) return;
  const std::int32_t position = StrToInt(FPositionDialog->Text().toStdString());
  if (const QString refused = LineRefusal(FDocument->Data(), horizontal, position, bound); !refused.isEmpty())
    FSourcePage->ShowStatus(refused);
  else if (FDocument->AddLine(horizontal, position))
    editor.Select(TLineRef{horizontal, position});
}

void TForm1::ClearSplits() {
  if (!ImageLoaded()) return;
  FSourcePage->Editor().CancelDrag();
  FDocument->ClearSplits();
  FSourcePage->Editor().Changed();
}

void TForm1::Undo() {
  FSourcePage->Editor().CancelDrag();
  FDocument->Stack().undo();
}

void TForm1::Redo() {
  FSourcePage->Editor().CancelDrag();
  FDocument->Stack().redo();
}

void TForm1::ColorAdjustment(TColorFilterKind kind) {
  TPGImage& view = FSourcePage->View();
  TPixelGraphic* image = ImageLoaded() ? view.PixelGraphic() : nullptr;
  if (!image) return;
  std::unique_ptr<TPGFilter> filter = Modal().RunColorFilter(this, kind, *image);
  if (!filter) return;
  // What the dialog covered is painted before the slower filtering starts.
  repaint();
  image = view.PixelGraphic();
  image->ApplyFilter(*filter, *image);
  FSlicesPanel->ImageChanged();
}

void TForm1::SetOutputFormat(const TOutputFormat& format) {
  const QString text = QString::fromStdString(format.MenuText);
  for (QAction* action : FMenus.OutputFormats->actions())
    if (action->text() == text) action->setChecked(true);
  FOutputFormat = &format;
  // The automatic choice starts from the JPEG quality, so it has the page too.
  const TOutputFormat* lossy = QualityFormatOf(format);
  const int page = FPages->indexOf(FCompressionPage);
  if (!lossy && FPages->currentIndex() == page) FPages->setCurrentWidget(FSourcePage);
  FPages->setTabVisible(page, lossy != nullptr);
  const bool webp = lossy == &WebpFormat();
  FPages->setTabText(page, webp ? QStringLiteral("WebP Compression") : QStringLiteral("JPEG Compression"));
  FCompressionPage->SetFormat(lossy ? *lossy : JpegFormat());
}

// What the compression page weighs: the cut as an export would make it now.
bool TForm1::PageToWeigh(TSplitGrid& grid, TPageWeighing& weighing) {
  const TGridData& cut = FDocument->Data();
  if (!ImageLoaded() || CellsOf(cut.Grid).empty()) return false;
  grid = cut.Grid;
  weighing.Cells = cut.Cells;
  weighing.HtmlPath = "page.html";
  weighing.Options = FExport->Options();
  weighing.Format = FOutputFormat;
  weighing.Settings = PGSettings();
  weighing.Settings.PageColor = weighing.Options.PageColor;
  // One core is left to the window.
  weighing.Threads = std::max(1, QThread::idealThreadCount() - 1);
  return true;
}

void TForm1::Usage() {
  const QString guide = FindUserGuide();
  if (Modal().ShellOpen(guide)) return;
  // No viewer on this desktop: the guide is plain text, shown here.
  QFile file(guide);
  if (!file.open(QIODevice::ReadOnly))
    Modal().ErrorBox(this, QStringLiteral("The user guide %1 was not found.").arg(guide));
  else
    Modal().ShowText(this, QStringLiteral("Tessel! - Usage"), QString::fromUtf8(file.readAll()));
}

void TForm1::AuthorsSite() { Modal().ShellOpen(QLatin1String(AuthorSiteUrl)); }

void TForm1::Donate() { Modal().ShellOpen(QLatin1String(DonatePageUrl)); }

void TForm1::About() { Modal().ShowAbout(this); }

void TForm1::ExportCommand() {
  TPixelGraphic* source = ImageLoaded() ? FSourcePage->View().PixelGraphic() : nullptr;
  if (!source) return;
  FSourcePage->Editor().CancelDrag();
  const QString status = FExport->Run(*source, *FOutputFormat);
  if (!FExport->SavedGrid().isEmpty()) FGridPath = FExport->SavedGrid();
  if (!status.isEmpty()) FSourcePage->ShowStatus(status);
}

// The export as the options stand, into a folder of the preview's own.
void TForm1::PreviewCommand() {
  TPixelGraphic* source = ImageLoaded() ? FSourcePage->View().PixelGraphic() : nullptr;
  if (!source) return;
  FSourcePage->Editor().CancelDrag();
  const QString name = QFileInfo(FDocument->ImagePath()).completeBaseName();
  const QString preview = FPreview->Run(*source, FDocument->Data(), *FOutputFormat, FExport->Options(),
                                        name.isEmpty() ? QStringLiteral("page") : name, FDocument->ImageFile());
  FSourcePage->ShowStatus(QStringLiteral("Preview of %1 opened in the browser").arg(QDir::toNativeSeparators(preview)));
}

void TForm1::LoadGridCommand() {
  if (!ImageLoaded() || !MaySetCutAside()) return;
  QString path;
  if (Modal().ChooseOpenFile(this, QLatin1String(GridFileFilter), QLatin1String(GridDefaultExtension), path))
    ReadGrid(path);
}

bool TForm1::SaveGridCommand() {
  if (!ImageLoaded()) return false;
  return FGridPath.isEmpty() ? SaveGridAsCommand() : SaveGridTo(FGridPath);
}

bool TForm1::SaveGridAsCommand() {
  if (!ImageLoaded()) return false;
  // Offered: the grid file it was, or one named after the image beside it.
  QString path = FGridPath;
  if (path.isEmpty()) {
    const QFileInfo image(FDocument->ImagePath());
    path = image.absolutePath() + QLatin1Char('/') + image.completeBaseName() + QStringLiteral(".grd");
  }
  if (!Modal().ChooseSaveFile(this, QLatin1String(GridFileFilter), QLatin1String(GridDefaultExtension), path))
    return false;
  // The grid's texts and cells lie beside it and go with it.
  if (QFileInfo::exists(path) &&
      !Modal().AskOkCancel(this, QString::fromStdString(OverwriteQuestion(FileNameOf(path))),
                           QLatin1String(OverwriteCaption)))
    return false;
  return SaveGridTo(path);
}

bool TForm1::SaveGridTo(const QString& path) {
  FDocument->SaveGrid(FileNameOf(path));
  FRecentGrids.Add(path.toStdString());
  FGridPath = path;
  FSourcePage->ShowStatus(QStringLiteral("Saved the grid to ") + path);
  return true;
}

void TForm1::OptionsCommand() { Modal().RunModal(FExport->OptionsDialog()); }
