#pragma once
// One export: cuts the source image along the sorted grid into slice files,
// writes the HTML table that reassembles them and, if wanted, the grid file.
// Whatever the window shows on the way goes through TExportUi.
//
// An export is all or nothing: every file is staged first and the slices,
// the HTML and the grid take their places together only when all of them
// are complete, under a lock that keeps a second export of the same page
// out (app/export/exportcommit.h). A failure anywhere before that leaves every
// file as it was.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/cut/cellsfile.h"
#include "app/export/exportcommit.h"
#include "app/export/formatchoice.h"
#include "app/common/outputformats.h"
#include "app/export/exportoptions.h"
#include "app/common/recentfiles.h"
#include "app/cut/splitgrid.h"
#include "app/cut/tagsfile.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/stagedfile.h"

class TPGFinalRows;
class TPGRowMemory;
class THtmlTable;
class TSliceSink;
struct TExportPlan;
struct TPageCell;
struct TPageLayout;
struct TSliceRun;

// Raised by a TExportUi while the export runs (the per-slice dialog's
// Cancel): the export stops and returns false, every file as it was.
class EExportCancelled : public std::exception {
 public:
  const char* what() const noexcept override { return "Export cancelled"; }
};

inline constexpr const char* OverwriteCaption = "File already exists!";
std::string OverwriteQuestion(const std::string& path);

// Retina slices need every split line at an even position: a line at an
// odd one falls in the middle of a pixel of the half-size page. The first
// such line of a sorted grid ("the vertical line at 101"), or empty.
std::string OddRetinaLine(const TSplitGrid& grid);
inline constexpr const char* OddRetinaLineCaption = "Retina slices";
std::string OddRetinaLineQuestion(const std::string& line);

class TExportUi {
 public:
  virtual ~TExportUi() = default;
  // The HTML save dialog; false when cancelled.
  virtual bool ChooseHtmlFile(std::string& path) = 0;
  // OK/Cancel question with a warning icon; false for Cancel.
  virtual bool ConfirmOverwrite(const std::string& text, const std::string& caption) = 0;
  // The export options dialog, shown modally; it may change the options.
  virtual void ShowExportOptions(TExportOptions& options) = 0;
  // Before anything is written: the files the export would replace besides
  // the HTML file, whose question came first. False stops the export. The
  // window replaces them without asking.
  virtual bool ConfirmReplace(const std::vector<std::string>& /*paths*/) { return true; }
  // With retina slices, before anything is written: a split line at an odd
  // position (OddRetinaLine). True exports anyway, the half-size cells
  // rounded down to whole pixels; false stops the export.
  virtual bool ConfirmOddRetinaLine(const std::string& /*line*/) { return false; }
  // The per-slice dialog for the slice just cut (cell tells which one; its
  // file takes its place with the others at the end); returns the cell code,
  // which tag builds from the texts. May raise EExportCancelled.
  virtual std::string EditSliceTags(TPixelGraphic& slice, const TGridCell& cell,
                                    const TSliceTag& tag) = 0;
  // Every slice made, before the code dialog: its file, format and size,
  // and why it has that format when it was chosen, in cell order.
  virtual void SlicesEncoded(const std::vector<TSliceOutcome>& /*slices*/) {}
  // The code dialog; replaces the lines by the edited ones.
  virtual void EditCode(std::vector<std::string>& lines) = 0;
  // Told, in cell order, about each slice file once it is in its place.
  virtual void SliceWritten(const std::string& /*path*/) {}
};

// The directory of the HTML path and its base name: the file name up to its
// first dot, or the whole file name when it has no dot at all.
struct TExportNames {
  std::string Directory;
  std::string BaseName;
};
TExportNames ExportNamesOf(const std::string& htmlPath);
// base + "_" + column + "_" + row + extension.
std::string SliceFileName(const std::string& baseName, int column, int row,
                          const std::string& extension);
// The same with "@2x" before the extension: the full-size retina slice.
std::string Slice2xFileName(const std::string& baseName, int column, int row,
                            const std::string& extension);
// A cell of the half-size page: its edges halved, rounded down (at least a
// pixel wide and high).
TGridCell HalfCell(const TGridCell& cell);
// The directory joined with a bare file name ("" means the current one).
std::string PathInDirectory(const std::string& directory, const std::string& name);

// A slice's format as the export makes it: the cell's own (its quality, or
// the export's quality for that format when it gives none), else the
// export's. Own tells whether the cell has one.
struct TCellSliceFormat {
  TSliceFormat Format;
  bool Own = false;
};
// exportFormat.Format may be null: an export that goes by its extension
// alone, which a cell without a format of its own keeps.
TCellSliceFormat CellSliceFormat(const TSliceFormat& exportFormat, const TCellData& cells, const TGridCell& cell);
// Why a slice of a fixed format of its own has it, in the per-slice lines.
inline constexpr const char* OwnFormatReason = "set for this slice";

// One slice file of a cell: its path (without extension when the format is
// chosen: the one chosen is added), its format, and the size it is scaled
// to (0: the cell's own).
struct TCellFile {
  std::string Path;
  TCellSliceFormat Format;
  int Width = 0, Height = 0;
};
// The files of a cell of the page, in the order they are written: with
// retina slices the half-size one, then the full-size one. extension is
// that of the export's slices when its format is fixed.
std::vector<TCellFile> CellFiles(const TExportNames& names, const TGridCell& cell, bool retina,
                                 const TSliceFormat& exportFormat, const std::string& extension,
                                 const TCellData& cells);
// The reason an outcome shows: a slice in a fixed format of its own says so,
// with the quality of a lossy file, which the writer that wrote it straight
// into its file took from settings (as the dry run, made in memory, says).
void MarkOwnFormat(TSliceOutcome& outcome, const TCellSliceFormat& format, const TPGLibrarySettings& settings);

class TSliceExporter {
 public:
  TSliceExporter(TSplitGrid& grid, TExportUi& ui) : FGrid(grid), FUi(ui) {}

  TPixelGraphic SliceImage;              // reused for every cell of every export
  std::string OutputExtension = ".jpg";  // of the slice files: ".jpg", ".png" ...
  // The writer of the slices by its registry extension ("png8" for PNG
  // slices of 256 colours); empty: the one of OutputExtension. Both are
  // set from one format of app/common/outputformats.h by SetOutputFormat, which
  // also keeps the format: "auto" has neither, each slice's format being
  // chosen for it (app/export/formatchoice.h).
  std::string OutputWriter;
  const TOutputFormat* OutputFormat = nullptr;
  void SetOutputFormat(const TOutputFormat& format);
  TExportOptions Options;
  TRecentFiles* RecentGrids = nullptr;  // gains the grid file when one is saved
  // The slices' texts kept with the grid (link, target, ALT text per cell):
  // written into their cells when no per-slice dialog asks for them, and
  // saved beside the grid file (BASE.tags) when the export saves one.
  const TTagMap* Tags = nullptr;
  // The cells merged into one slice, written without an image, or in a
  // format of their own (not yet heeded), numbered as the sorted grid's;
  // saved beside the grid file (BASE.cells) when the export saves one.
  // Null: every cell is a slice of its own.
  const TCellData* Cells = nullptr;
  // The file the source was loaded from (FileIdentityOf, taken when it was
  // opened): an export that would replace it under any name is refused.
  TFileIdentity SourceFile;
  // Threads that encode and write the slices when no per-slice dialog is
  // shown. Files, HTML and failures are those of the one-thread export: the
  // first failing cell in cell order is the failure reported. 1 keeps every
  // step on this thread.
  int EncodeThreads = 1;
  // Whether SliceImage ends holding the last cell, as the window shows it.
  // Without it (and without per-slice dialogs) cells of a 24-bit source are
  // written straight from the source's rows and never copied.
  bool KeepLastSlice = true;
  // Whether the source keeps its pixels after an export that loads it.
  // Without it (and without the last slice kept, per-slice dialogs or the
  // e-mail page's cell colours, which read the source after the cutting) a
  // band of the source's rows goes back to the system once every slice that
  // needs it is written, so that memory follows the work, not the picture;
  // the source's rows read as zeros afterwards.
  bool KeepSourceRows = true;

  // Runs one export of source. Returns false when the user cancelled (or
  // refused to replace files) before anything was written. Errors end the
  // export with every file as it was before.
  bool Export(TPixelGraphic& source);

  // Export of a source that load() has yet to fill. load() tells the
  // source's OnRowsDone which rows are final as it goes (the readers of the
  // registry that deliver rows do; rows may come from the top or from the
  // bottom). The dialogs come first; then every cell is cut as soon as all
  // the rows of its rectangle are in (a merged cell: of every grid row it
  // spans) and encoded on the threads while the rest loads. Nothing takes its place before load()
  // has returned, so files, HTML and failures are those of loading and then
  // calling Export, and a failing load leaves nothing behind. Without threads
  // to use it loads, then exports. Whatever stops the export before its
  // first cell still lets load() run, so that a load failure is reported as
  // on the road that loads first.
  bool ExportWhileLoading(TPixelGraphic& source, const std::function<void()>& load);

 private:
  bool Run(TPixelGraphic& source, const std::function<void()>* load);
  bool ChoosePath(std::string& htmlPath);
  bool CheckOptions(const std::function<void()>* load);
  const TCellData& CellsToCut() const;
  TExportPlan PlanFor(const std::string& htmlPath) const;
  std::string StoredCellCode(const TSliceTag& tag, const TGridCell& cell) const;
  bool ConfirmOutputs(const TExportCommit& commit, const TExportPlan& plan);
  const std::string& WriterExtension() const;
  bool ThreadsWanted() const;
  std::unique_ptr<TSliceSink> MakeSink(const TExportPlan& plan);
  bool FormatChosen() const;
  bool SomeFormatChosen() const;  // for the export or for a cell
  TEncodeRules EncodeRules() const;
  std::vector<TStagedFile> WriteSlices(TPixelGraphic& source, const TExportPlan& plan,
                                       THtmlTable& table, std::vector<std::string>& lines,
                                       const std::function<void()>* load,
                                       std::vector<TSliceOutcome>& outcomes);
  THtmlSlice HtmlSliceOf(TPixelGraphic& source, const TExportPlan& plan, std::size_t index, TSliceSink& sink) const;
  void LoadWhileCutting(TSliceRun& run, const std::function<void()>& load);
  bool WritersTakeRowsAsTheyCome() const;
  void CutReadyRows(TSliceRun& run);
  void PutCells(TSliceRun& run, const std::vector<std::size_t>& cells, TPGFinalRows* pending = nullptr);
  void PutCell(TSliceRun& run, std::size_t index, TPGFinalRows* pending = nullptr);
  bool GivesRowsBack() const;
  TPGRowMemory* HoldRows(TSliceRun& run) const;

  TSplitGrid& FGrid;
  TExportUi& FUi;
};
