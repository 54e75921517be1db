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

#include "app/cut/griddata.h"
#include "app/export/exportcommit.h"
#include "app/export/exportoptions.h"
#include "app/export/exportplan.h"
#include "app/export/exportsettings.h"
#include "app/export/exportwarnings.h"
#include "app/export/htmltable.h"
#include "app/export/sliceoutcome.h"
#include "app/export/slicenames.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/stagedfile.h"

class TSliceSink;

// Raised by a TExportUi while the export runs (Cancel in the options, the
// per-slice or the code dialog): the export stops and returns false, every
// file as it was.
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
  // May raise EExportCancelled.
  virtual void ShowExportOptions(TExportOptions& options) = 0;
  // The export's plan, once made (also for a dry run): every file, format
  // and cell it will write.
  virtual void Planned(const TExportPlan& /*plan*/) {}
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
  // and why it has that format when it was chosen for it or set for its
  // cell, in cell order.
  virtual void SlicesEncoded(const std::vector<TSliceOutcome>& /*slices*/) {}
  // What mail readers and browsers will make of the page (exportwarnings.h),
  // before the code dialog; the export goes on.
  virtual void ExportWarned(const std::vector<TExportWarning>& /*warnings*/) {}
  // The code dialog; replaces the lines by the edited ones. May raise
  // EExportCancelled.
  virtual void EditCode(std::vector<std::string>& lines) = 0;
  // Told, in cell order, about each slice file once it is in its place.
  virtual void SliceWritten(const std::string& /*path*/) {}
  // Every file is staged and none has taken its place yet: the last word
  // before they do. May raise, and then nothing is written.
  virtual void BeforeCommit() {}
  // Told about every file of the export once it is in its place (slices,
  // HTML, grid files, in that order); unchanged: the file there had the
  // same bytes and was left as it is.
  virtual void FilePlaced(const std::string& /*path*/, bool /*unchanged*/) {}
  // Told about each slice of the page's last export removed (Prune).
  virtual void FileRemoved(const std::string& /*path*/) {}
};

class TSliceExporter {
 public:
  // cut: the grid, which the export sorts (and the window then shows so),
  // with the slices' texts and cells, all numbered as the sorted grid's.
  // The texts are written into their cells when no per-slice dialog asks
  // for them; the texts and the cells are saved beside the grid file
  // (BASE.tags, BASE.cells) when the export saves one, as the per-slice
  // dialogs leave them. Formats the dialogs give cells are for the next
  // export: this one's slices were planned before.
  TSliceExporter(TGridData& cut, TExportUi& ui) : FCut(cut), FUi(ui) {}

  TExportSettings Settings;
  TPixelGraphic SliceImage;  // reused for every cell of every export

  // Runs one export of source. Returns false when the user cancelled (or
  // refused to replace files) before anything was written. Errors end the
  // export with every file as it was before.
  bool Export(TPixelGraphic& source);

  // Export of a source that load() has yet to fill. load() tells the
  // source's OnRowsDone which rows are final as it goes (the readers of the
  // registry that deliver rows do; rows may come from the top or from the
  // bottom). The dialogs come first; then, where the plan's road says so,
  // every cell is cut as soon as all the rows of its rectangle are in (a
  // merged cell: of every grid row it spans) and encoded on the threads
  // while the rest loads; otherwise it loads, then cuts. Nothing takes its
  // place before load() has returned, so files, HTML and failures are those
  // of loading and then calling Export, and a failing load leaves nothing
  // behind. Whatever stops the export before its first cell still lets
  // load() run, so that a load failure is reported as on the road that
  // loads first.
  bool ExportWhileLoading(TPixelGraphic& source, const std::function<void()>& load);

  // Everything an export asks and checks before its first file, nothing
  // written (no lock either): the plan of the export, or false where it
  // would stop before writing. Raises where the export would fail before
  // writing.
  bool DryRun(TExportPlan& plan);

 private:
  struct TAgreed;
  bool Run(TPixelGraphic& source, const std::function<void()>* load);
  std::unique_ptr<TAgreed> Agree(bool loading, bool alpha, bool dryRun = false);
  bool ChoosePath(std::string& htmlPath);
  bool CheckOptions(const TExportPlan& plan);
  bool ConfirmOutputs(const TExportPlan& plan);
  void StageManifest(TExportCommit& commit, const TExportPlan& plan, const std::vector<TSliceOutcome>& outcomes);
  bool Write(TPixelGraphic& source, TAgreed& agreed, const std::function<void()>* load);
  std::unique_ptr<TSliceSink> MakeSink(const TExportPlan& plan);
  // What WriteSlices learns of the page on the way.
  struct TWritten {
    std::vector<TSliceOutcome> Outcomes;
    std::vector<std::string> LinkedWithoutAlt;
  };
  std::vector<TStagedFile> WriteSlices(TPixelGraphic& source, const TExportPlan& plan, THtmlTable& table,
                                       std::vector<std::string>& lines, const std::function<void()>* load,
                                       TWritten& written);
  std::vector<std::string> PageLines(TPixelGraphic& source, const TExportPlan& plan,
                                     const std::vector<std::string>& table) const;
  THtmlSlice HtmlSliceOf(TPixelGraphic& source, const TExportPlan& plan, std::size_t index, TSliceSink& sink) const;
  std::string CellCode(THtmlTable& table, const THtmlSlice& slice, const TPageCell& page);

  TGridData& FCut;
  TExportUi& FUi;
};
