#include "app/ui/windowexport.h"

#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>

#include <algorithm>
#include <stdexcept>

#include "app/ui/dialogs.h"
#include "pgraphic/core/settings.h"
#include "app/ui/document.h"
#include "app/ui/exportdialogs.h"
#include "platform/cursors.h"

void TWindowExportUi::Attach(Texportdialog& options, Taddtagsdialog& tags, Tdlg_code& code) {
  FOptions = &options;
  FTags = &tags;
  FCode = &code;
}

void TWindowExportUi::BeginExport(int slices, TTagMap* texts, TCellData* cells) {
  FSlices = 0;
  FSliceCount = slices;
  FSliceNumber = 0;
  FTexts = texts;
  FCells = cells;
  FHtmlPath.clear();
  FOutcomes.clear();
  FWarnings.clear();
  FBusy = true;
}

void TWindowExportUi::EndExport() {
  FBusy = false;
  FTexts = nullptr;
  FCells = nullptr;
  PGSetScreenCursor(TPGCursor::crDefault);
}

// The hourglass shows while slices are cut and written, never over a dialog.
void TWindowExportUi::BeforeDialog() { PGSetScreenCursor(TPGCursor::crDefault); }

void TWindowExportUi::AfterDialog() {
  if (FBusy) PGSetScreenCursor(TPGCursor::crHourGlass);
}

void TWindowExportUi::SuggestNameFor(const QString& imagePath) {
  const QFileInfo image(imagePath);
  const QString folder = FLastFolder.isEmpty() ? image.absolutePath() : FLastFolder;
  FSuggested = folder + QLatin1Char('/') + image.completeBaseName() + QStringLiteral(".html");
}

bool TWindowExportUi::ChooseHtmlFile(std::string& path) {
  BeforeDialog();
  QString chosen = FSuggested;
  bool ok = false;
  // A folder that is not there is said at once, and the dialog comes again,
  // before the options are asked for.
  while ((ok = FDialogs.ChooseSaveFile(&FWindow, QLatin1String(HtmlFileFilter), QLatin1String(HtmlDefaultExtension),
                                       chosen)) &&
         !QFileInfo(QFileInfo(chosen).absolutePath()).isDir())
    FDialogs.ErrorBox(&FWindow, QStringLiteral("The folder %1 does not exist.").arg(QFileInfo(chosen).absolutePath()));
  if (ok) {
    path = FHtmlPath = QFile::encodeName(chosen).toStdString();
    FLastFolder = QFileInfo(chosen).absolutePath();
  }
  AfterDialog();
  return ok;
}

bool TWindowExportUi::ConfirmOverwrite(const std::string& text, const std::string& caption) {
  return Ask(text, caption);
}

bool TWindowExportUi::Ask(const std::string& text, const std::string& caption) {
  BeforeDialog();
  const bool ok = FDialogs.AskOkCancel(&FWindow, QString::fromStdString(text),
                                       QString::fromStdString(caption));
  AfterDialog();
  return ok;
}

void TWindowExportUi::ShowExportOptions(TExportOptions& options) {
  BeforeDialog();
  FOptions->SetOptions(options);
  FDialogs.RunModal(*FOptions);
  AfterDialog();
  if (FOptions->result() != QDialog::Accepted) throw EExportCancelled();
  options = FOptions->Options();
  TakeFromDialog(options);
}

void TWindowExportUi::TakeFromDialog(const TExportOptions& options) {
  PGSettings().PageColor = options.PageColor;
  if (FSettings) FSettings->SliceBaseName = FOptions->slicenames->text().toStdString();
}

bool TWindowExportUi::ConfirmOddRetinaLine(const std::string& line) {
  return Ask(OddRetinaLineQuestion(line), OddRetinaLineCaption);
}

std::string TWindowExportUi::EditSliceTags(TPixelGraphic& slice, const TGridCell& cell,
                                           const TSliceTag& tag) {
  BeforeDialog();
  const std::pair<int, int> key{cell.Column, cell.Row};
  const TCellTags* stored = nullptr;
  if (FTexts)
    if (const auto it = FTexts->find(key); it != FTexts->end() && !it->second.Empty()) stored = &it->second;
  const TCellFormat* format = nullptr;
  if (FCells)
    if (const auto it = FCells->Formats.find(key); it != FCells->Formats.end()) format = &it->second;
  ++FSliceNumber;
  FTags->BeginSlice(slice, tag, stored, FSliceNumber, std::max(FSliceCount, FSliceNumber), format);
  FDialogs.RunModal(*FTags);
  AfterDialog();
  if (FTags->result() != QDialog::Accepted) throw EExportCancelled();
  if (FTexts) {
    const TCellTags texts = FTags->Texts();
    if (texts.Empty())
      FTexts->erase(key);
    else
      (*FTexts)[key] = texts;
  }
  if (FCells) {
    const TCellFormat own = FTags->Format();
    if (own.Format.empty())
      FCells->Formats.erase(key);
    else
      FCells->Formats[key] = own;
  }
  return FTags->ResultingCode();
}

void TWindowExportUi::EditCode(std::vector<std::string>& lines) {
  BeforeDialog();
  FCode->SetLines(lines);
  FCode->SetSlices(FOutcomes);
  FCode->SetWarnings(FWarnings);
  FDialogs.RunModal(*FCode);
  AfterDialog();
  if (FCode->result() != QDialog::Accepted) throw EExportCancelled();
  lines = FCode->Lines();
}

void TWindowExportUi::SliceWritten(const std::string&) { ++FSlices; }

TWindowExport::TWindowExport(QWidget& window, TMainWindowDialogs& dialogs, TCutDocument& document,
                             TRecentFiles& recentGrids)
    : FDocument(document), FUi(window, dialogs),
      FExporter(std::make_unique<TSliceExporter>(FCut, FUi)) {
  FUi.Serve(FExporter->Settings);
  FExporter->Settings.RecentGrids = &recentGrids;
  // As the command line does: the next export of the page, here or there,
  // knows which slices are this page's and which another's.
  FExporter->Settings.KeepManifest = true;
}

TWindowExport::~TWindowExport() = default;

Texportdialog& TWindowExport::OptionsDialog() const {
  if (!FUi.Attached()) throw std::logic_error("The export dialogs were not made.");
  return *FUi.OptionsDialog();
}

TExportOptions TWindowExport::Options() const {
  return FUi.Attached() ? FUi.OptionsDialog()->KeptOptions() : TExportOptions();
}

TPixelGraphic& TWindowExport::SliceImage() { return FExporter->SliceImage; }

QString TWindowExport::Run(TPixelGraphic& source, const TOutputFormat& format) {
  OptionsDialog();  // raises before anything when the dialogs were not made
  // The per-slice dialogs change a copy of the texts and formats: the export
  // is planned with the cut as it began, and saves the copy with the grid.
  FCut = FDocument.Data();
  FUi.BeginExport(SliceCountOf(PageLayoutOf(FCut.Grid, FCut.Cells)), &FCut.Tags, &FCut.Cells);
  FUi.SuggestNameFor(FDocument.ImagePath());
  FSavedGrid.clear();
  TOutcome outcome;
  try {
    outcome = Export(source, format);
  } catch (...) {
    End(false);
    throw;
  }
  if (outcome.GridSaved) FSavedGrid = QString::fromStdString(FUi.PlannedGrid());
  End(outcome.Done);
  if (!outcome.Done) return QString();
  const int slices = FUi.SlicesWritten();
  QString status = QStringLiteral("Exported %1 %2 and %3")
                       .arg(slices)
                       .arg(slices == 1 ? QStringLiteral("slice") : QStringLiteral("slices"))
                       .arg(QFile::decodeName(FUi.HtmlPath().c_str()));
  // Chosen formats are summed up; the code dialog has them slice by slice.
  if (format.Chosen()) status += QStringLiteral(" (%1)").arg(QString::fromStdString(SliceSummary(FUi.Slices())));
  for (const TExportWarning& warning : FUi.Warnings())
    status += QStringLiteral("; warning: ") + QString::fromStdString(warning.Text);
  return status;
}

TWindowExport::TOutcome TWindowExport::Export(TPixelGraphic& source, const TOutputFormat& format) {
  TExportSettings& settings = FExporter->Settings;
  settings.SetOutputFormat(format);
  settings.Options = OptionsDialog().Options();
  FUi.TakeFromDialog(settings.Options);  // and again as the dialog closes, where it shows
  settings.SourceFile = FDocument.ImageFile();
  const bool done = FExporter->Export(source);
  return {done, done && settings.Options.AlwaysGrid};
}

// Also after a failure: the cursor comes back, the lines are sorted, and
// what the per-slice dialogs confirmed stays.
void TWindowExport::End(bool written) {
  FUi.EndExport();
  FDocument.Grid() = FCut.Grid;
  FDocument.ExportEnded(FCut.Tags, FCut.Cells, written);
}
