#pragma once
// The window's export: the one of app/export/exporter.h (the same as the
// command line tool's), run over the cut the window shows, with the HTML
// save dialog, the overwrite question and the three export dialogs, all
// shown through TMainWindowDialogs.

#include <QString>

#include <memory>
#include <string>
#include <vector>

#include "app/cut/griddata.h"
#include "app/export/exporter.h"

class QWidget;
class TCutDocument;
class TMainWindowDialogs;
class Taddtagsdialog;
class Tdlg_code;
class Texportdialog;

// The file types of the two save dialogs and their default extensions.
inline constexpr const char* HtmlFileFilter = "HTML Table|*.htm;*.html";
inline constexpr const char* HtmlDefaultExtension = "html";
inline constexpr const char* GridFileFilter = "Grid Files (*.grd)|*.grd";
inline constexpr const char* GridDefaultExtension = "grd";

class TWindowExportUi : public TExportUi {
 public:
  TWindowExportUi(QWidget& window, TMainWindowDialogs& dialogs) : FWindow(window), FDialogs(dialogs) {}

  // The dialogs made at program start; an export needs them.
  void Attach(Texportdialog& options, Taddtagsdialog& tags, Tdlg_code& code);
  bool Attached() const { return FOptions != nullptr; }
  Texportdialog* OptionsDialog() const { return FOptions; }

  // One export of `slices` slices: clears the count of slices written and
  // shows the busy cursor between the dialogs until EndExport. texts: the
  // slices' kept texts, which the per-slice dialog starts from and gives
  // back what it confirms to (may be null); cells: the same for the
  // slices' own formats.
  void BeginExport(int slices = 0, TTagMap* texts = nullptr, TCellData* cells = nullptr);
  // The name the save dialog offers: the image's base name, in the folder
  // of the last export or else the image's.
  void SuggestNameFor(const QString& imagePath);
  void EndExport();
  // The settings of the export this serves: what the options dialog holds
  // beside the options (the slices' base name, the page colour the library
  // lays transparency on) goes there as the dialog closes.
  void Serve(TExportSettings& settings) { FSettings = &settings; }
  void TakeFromDialog(const TExportOptions& options);
  int SlicesWritten() const { return FSlices; }
  const std::string& HtmlPath() const { return FHtmlPath; }

  bool ChooseHtmlFile(std::string& path) override;
  bool ConfirmOverwrite(const std::string& text, const std::string& caption) override;
  void ShowExportOptions(TExportOptions& options) override;
  bool ConfirmOddRetinaLine(const std::string& line) override;
  std::string EditSliceTags(TPixelGraphic& slice, const TGridCell& cell,
                            const TSliceTag& tag) override;
  void Planned(const TExportPlan& plan) override { FPlannedGrid = plan.GridFiles.Grid; }
  // The grid file the last export planned to write beside its page, if any.
  const std::string& PlannedGrid() const { return FPlannedGrid; }
  void SlicesEncoded(const std::vector<TSliceOutcome>& slices) override { FOutcomes = slices; }
  void ExportWarned(const std::vector<TExportWarning>& warnings) override { FWarnings = warnings; }
  const std::vector<TExportWarning>& Warnings() const { return FWarnings; }
  void EditCode(std::vector<std::string>& lines) override;
  // What became of each slice of the last export, in cell order.
  const std::vector<TSliceOutcome>& Slices() const { return FOutcomes; }
  void SliceWritten(const std::string& path) override;

 private:
  void BeforeDialog();
  void AfterDialog();
  // An OK/Cancel question with a warning icon; true for OK.
  bool Ask(const std::string& text, const std::string& caption);

  QWidget& FWindow;
  TMainWindowDialogs& FDialogs;
  Texportdialog* FOptions = nullptr;
  Taddtagsdialog* FTags = nullptr;
  Tdlg_code* FCode = nullptr;
  TExportSettings* FSettings = nullptr;
  std::string FPlannedGrid;
  bool FBusy = false;
  int FSlices = 0;
  int FSliceCount = 0;
  int FSliceNumber = 0;
  TTagMap* FTexts = nullptr;
  TCellData* FCells = nullptr;
  std::string FHtmlPath;
  QString FSuggested;
  QString FLastFolder;
  std::vector<TSliceOutcome> FOutcomes;
  std::vector<TExportWarning> FWarnings;
};

// One export after another, each over the cut as it then stands.
class TWindowExport {
 public:
  TWindowExport(QWidget& window, TMainWindowDialogs& dialogs, TCutDocument& document,
                TRecentFiles& recentGrids);
  ~TWindowExport();

  void Attach(Texportdialog& options, Taddtagsdialog& tags, Tdlg_code& code) { FUi.Attach(options, tags, code); }
  // The options dialog; raises when the dialogs were not made.
  Texportdialog& OptionsDialog() const;
  // The options the next export starts from (the defaults before the
  // dialog is made).
  TExportOptions Options() const;
  // Reused for every cell of every export; keeps the last cell.
  TPixelGraphic& SliceImage();

  // One export of source, cut as the document stands, its slices in
  // format. What the per-slice dialogs confirmed goes back to the document
  // whether the export finished, failed or was cancelled. Returns the
  // status line of a finished export with its warnings, empty when it was
  // cancelled; errors raise with every file as it was.
  QString Run(TPixelGraphic& source, const TOutputFormat& format);
  // The grid file the last export saved beside its page; empty when none.
  const QString& SavedGrid() const { return FSavedGrid; }

 private:
  struct TOutcome {
    bool Done = false;
    bool GridSaved = false;
  };
  // The exporter at work: the one place that speaks to it.
  TOutcome Export(TPixelGraphic& source, const TOutputFormat& format);
  void End(bool written);

  TCutDocument& FDocument;
  TWindowExportUi FUi;
  // The cut an export works on: a copy of the document's whose texts and
  // formats the per-slice dialogs change and whose lines the export sorts.
  TGridData FCut;
  std::unique_ptr<TSliceExporter> FExporter;
  QString FSavedGrid;
};
