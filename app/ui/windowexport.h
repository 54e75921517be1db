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
  void EndExport();
  int SlicesWritten() const { return FSlices; }
  const std::string& HtmlPath() const { return FHtmlPath; }

  bool ChooseHtmlFile(std::string& path) override;
  bool ConfirmOverwrite(const std::string& text, const std::string& caption) override;
  void ShowExportOptions(TExportOptions& options) override;
  bool ConfirmOddRetinaLine(const std::string& line) override;
  std::string EditSliceTags(TPixelGraphic& slice, const TGridCell& cell,
                            const TSliceTag& tag) override;
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
  bool FBusy = false;
  int FSlices = 0;
  int FSliceCount = 0;
  int FSliceNumber = 0;
  TTagMap* FTexts = nullptr;
  TCellData* FCells = nullptr;
  std::string FHtmlPath;
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
  // What the options dialog holds (the defaults before it is made).
  TExportOptions Options() const;
  // Reused for every cell of every export; keeps the last cell.
  TPixelGraphic& SliceImage();

  // One export of source, cut as the document stands, its slices in
  // format. What the per-slice dialogs confirmed goes back to the document
  // whether the export finished, failed or was cancelled. Returns the
  // status line of a finished export with its warnings, empty when it was
  // cancelled; errors raise with every file as it was.
  QString Run(TPixelGraphic& source, const TOutputFormat& format);

 private:
  struct TOutcome {
    bool Done = false;
    bool GridSaved = false;
  };
  // The exporter at work: the one place that speaks to it.
  TOutcome Export(TPixelGraphic& source, const TOutputFormat& format);
  void End(bool gridSaved);

  TCutDocument& FDocument;
  TWindowExportUi FUi;
  // The cut an export works on: a copy of the document's whose texts and
  // formats the per-slice dialogs change and whose lines the export sorts.
  TGridData FCut;
  std::unique_ptr<TSliceExporter> FExporter;
};
