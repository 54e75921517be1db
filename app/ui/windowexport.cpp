#include "app/ui/windowexport.h"

#include <QFile>

#include "app/ui/dialogs.h"
#include "app/ui/exportdialogs.h"
#include "platform/cursors.h"

void TWindowExportUi::Attach(Texportdialog& options, Taddtagsdialog& tags, Tdlg_code& code) {
  FOptions = &options;
  FTags = &tags;
  FCode = &code;
}

void TWindowExportUi::BeginExport() {
  FSlices = 0;
  FHtmlPath.clear();
  FBusy = true;
}

void TWindowExportUi::EndExport() {
  FBusy = false;
  PGSetScreenCursor(TPGCursor::crDefault);
}

// The hourglass shows while slices are cut and written, never over a dialog.
void TWindowExportUi::BeforeDialog() { PGSetScreenCursor(TPGCursor::crDefault); }

void TWindowExportUi::AfterDialog() {
  if (FBusy) PGSetScreenCursor(TPGCursor::crHourGlass);
}

bool TWindowExportUi::ChooseHtmlFile(std::string& path) {
  BeforeDialog();
  QString chosen;
  const bool ok = FDialogs.ChooseSaveFile(&FWindow, QLatin1String(HtmlFileFilter),
                                          QLatin1String(HtmlDefaultExtension), chosen);
  if (ok) path = FHtmlPath = QFile::encodeName(chosen).toStdString();
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
  options = FOptions->Options();
  AfterDialog();
}

bool TWindowExportUi::ConfirmOddRetinaLine(const std::string& line) {
  return Ask(OddRetinaLineQuestion(line), OddRetinaLineCaption);
}

std::string TWindowExportUi::EditSliceTags(TPixelGraphic& slice, const TGridCell&,
                                           const TSliceTag& tag) {
  BeforeDialog();
  FTags->BeginSlice(slice, tag);
  FDialogs.RunModal(*FTags);
  AfterDialog();
  return FTags->ResultingCode();
}

void TWindowExportUi::EditCode(std::vector<std::string>& lines) {
  BeforeDialog();
  FCode->SetLines(lines);
  FDialogs.RunModal(*FCode);
  lines = FCode->Lines();
  AfterDialog();
}

void TWindowExportUi::SliceWritten(const std::string&) { ++FSlices; }
