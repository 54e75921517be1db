#include "app/exporter.h"

#include <climits>
#include <filesystem>
#include <new>
#include <optional>
#include <system_error>

#include "app/atomicfile.h"
#include "app/gridfile.h"
#include "app/htmltable.h"
#include "app/loadahead.h"
#include "app/slicesinks.h"

namespace {

struct TOptionField {
  const char* Name;
  bool TExportOptions::*Field;
};

constexpr TOptionField OptionFields[] = {
    {"incalttags_Checked", &TExportOptions::IncAltTags},
    {"editcode_Checked", &TExportOptions::EditCode},
    {"alwaysgrid_Checked", &TExportOptions::AlwaysGrid},
    {"showoptions_Checked", &TExportOptions::ShowOptions},
    {"uppercase_Checked", &TExportOptions::UpperCase},
    {"doublequote_Checked", &TExportOptions::DoubleQuote},
};

}  // namespace

void LoadExportOptions(TSettingsStore& store, TExportOptions& options) {
  for (const TOptionField& f : OptionFields)
    options.*f.Field = store.ReadBool(ExportOptionsSection, f.Name, options.*f.Field);
}

void SaveExportOptions(TSettingsStore& store, const TExportOptions& options) {
  for (const TOptionField& f : OptionFields)
    store.WriteBool(ExportOptionsSection, f.Name, options.*f.Field);
}

std::string OverwriteQuestion(const std::string& path) { return "Overwrite " + path + "?"; }

TExportNames ExportNamesOf(const std::string& htmlPath) {
  const std::filesystem::path path(htmlPath);
  const std::string fileName = path.filename().string();
  const std::size_t dot = fileName.find('.');
  return {path.parent_path().string(),
          dot == std::string::npos ? fileName : fileName.substr(0, dot)};
}

std::string SliceFileName(const std::string& baseName, int column, int row,
                          const std::string& extension) {
  return baseName + "_" + std::to_string(column) + "_" + std::to_string(row) + extension;
}

std::string PathInDirectory(const std::string& directory, const std::string& name) {
  return directory.empty() ? name : (std::filesystem::path(directory) / name).string();
}

// What one export will write: the cells that hold pixels (a duplicate split
// line gives a column or row of size 0, which gets neither a file nor
// markup, the others keeping their numbers) and every output, in the order
// they take their places.
struct TExportPlan {
  TExportNames Names;
  std::string HtmlPath;
  std::string GridPath;  // empty when no grid file is saved
  std::vector<int> Columns;
  std::vector<int> Rows;
  std::vector<std::string> Outputs;  // the slices in cell order, the HTML, the grid
  std::size_t SliceCount = 0;
};

// One export between its first and its last slice: where the cutting stands.
struct TSliceRun {
  TPixelGraphic& Source;
  const TExportPlan& Plan;
  THtmlTable& Table;
  std::vector<std::string>& Lines;
  TSliceSink& Sink;
  std::size_t RowAt = 0;  // the next cell to cut, as places in Plan.Rows and Plan.Columns
  std::size_t ColumnAt = 0;
};

namespace {

bool LoadAnyway(const std::function<void()>* load) {
  if (load) (*load)();
  return false;
}

TStagedFile StagedText(const std::string& path, const std::string& text) {
  TStagedFile file(path);
  file.Stream().WriteBuffer(text.data(), std::int64_t(text.size()));
  file.Finish();
  return file;
}

}  // namespace

bool TSliceExporter::ChoosePath(std::string& htmlPath) {
  if (!FUi.ChooseHtmlFile(htmlPath)) return false;
  std::error_code ec;
  if (std::filesystem::exists(htmlPath, ec) &&
      !FUi.ConfirmOverwrite(OverwriteQuestion(htmlPath), OverwriteCaption))
    return false;
  return true;
}

bool TSliceExporter::Export(TPixelGraphic& source) { return Run(source, nullptr); }

bool TSliceExporter::ExportWhileLoading(TPixelGraphic& source, const std::function<void()>& load) {
  if (ThreadsWanted()) return Run(source, &load);
  load();
  return Export(source);
}

bool TSliceExporter::Run(TPixelGraphic& source, const std::function<void()>* load) {
  std::string htmlPath;
  if (!ChoosePath(htmlPath)) return LoadAnyway(load);
  if (Options.ShowOptions) FUi.ShowExportOptions(Options);
  FGrid.SortBoth();
  const TExportPlan plan = PlanFor(htmlPath);
  std::optional<TExportCommit> commit;
  bool confirmed = false;
  try {
    if (std::filesystem::path(htmlPath).filename().empty())
      throw EExportError("No HTML file name given; nothing was written.");
    commit.emplace(plan.Names.Directory, plan.Names.BaseName, htmlPath);
    confirmed = ConfirmOutputs(*commit, plan);
  } catch (...) {
    LoadAnyway(load);
    throw;
  }
  if (!confirmed) return LoadAnyway(load);
  THtmlTable table({Options.UpperCase, Options.DoubleQuote});
  std::vector<std::string> lines{table.TableStartLine()};
  commit->Stage(WriteSlices(source, plan, table, lines, load));
  lines.push_back(table.TableEndLine());
  if (Options.EditCode) FUi.EditCode(lines);
  commit->Stage(StagedText(htmlPath, HtmlFileText(lines)));
  if (!plan.GridPath.empty()) commit->Stage(StagedText(plan.GridPath, CrLfText(GridFileLines(FGrid))));
  std::size_t placed = 0;
  commit->Commit([&](const std::string& path) {
    if (placed++ < plan.SliceCount) FUi.SliceWritten(path);
  });
  if (!plan.GridPath.empty() && RecentGrids) RecentGrids->Add(plan.GridPath);
  return true;
}

// Work and memory follow the cells written: a grid of many repeated lines
// costs its length once, not the product of its lists.
TExportPlan TSliceExporter::PlanFor(const std::string& htmlPath) const {
  TExportPlan plan;
  plan.Names = ExportNamesOf(htmlPath);
  plan.HtmlPath = htmlPath;
  if (Options.AlwaysGrid) plan.GridPath = PathInDirectory(plan.Names.Directory, plan.Names.BaseName + ".grd");
  plan.Columns = FGrid.FilledColumns();
  plan.Rows = FGrid.FilledRows();
  for (int row : plan.Rows)
    for (int column : plan.Columns)
      plan.Outputs.push_back(PathInDirectory(
          plan.Names.Directory, SliceFileName(plan.Names.BaseName, column, row, OutputExtension)));
  plan.SliceCount = plan.Outputs.size();
  plan.Outputs.push_back(htmlPath);
  if (!plan.GridPath.empty()) plan.Outputs.push_back(plan.GridPath);
  return plan;
}

bool TSliceExporter::ConfirmOutputs(const TExportCommit& commit, const TExportPlan& plan) {
  std::vector<std::string> existing = commit.CheckOutputs(plan.Outputs, SourceFile);
  std::erase(existing, plan.HtmlPath);
  return existing.empty() || FUi.ConfirmReplace(existing);
}

namespace {

// Writers that keep nothing of one file in the shared writer object, so that
// several threads may use them at once. The TIFF writer keeps the file's
// layout between its calls.
bool WriterTakesThreads(const std::string& extension) {
  return extension == ".jpg" || extension == ".png" || extension == ".bmp";
}

}  // namespace

// Threads only where no dialog shows a slice (the per-slice dialog needs each
// slice cut before it, in order) and for writers that take them.
bool TSliceExporter::ThreadsWanted() const {
  return EncodeThreads > 1 && !Options.IncAltTags && WriterTakesThreads(OutputExtension);
}

// Pixels waiting for a worker may take an eighth of the grid's area. Without
// threads to be had, one will do.
std::unique_ptr<TSliceSink> TSliceExporter::MakeSink() {
  if (ThreadsWanted() && FGrid.VertSplits.Count() > 0 && FGrid.HorzSplits.Count() > 0) {
    const std::int64_t width = FGrid.VertSplits[FGrid.VertSplits.Count() - 1];
    const std::int64_t height = FGrid.HorzSplits[FGrid.HorzSplits.Count() - 1];
    try {
      return MakeThreadedSink(EncodeThreads, BytesPerRowFor(24, width) * height / 8, SliceImage);
    } catch (const std::system_error&) {
    }
  }
  return MakeDirectSink(SliceImage);
}

std::vector<TStagedFile> TSliceExporter::WriteSlices(TPixelGraphic& source, const TExportPlan& plan,
                                                     THtmlTable& table, std::vector<std::string>& lines,
                                                     const std::function<void()>* load) {
  const std::unique_ptr<TSliceSink> sink = MakeSink();
  TSliceRun run{source, plan, table, lines, *sink};
  if (load && sink->Concurrent())
    LoadWhileCutting(run, *load);
  else if (load)
    (*load)();
  WriteCellsUpTo(run, INT64_MAX);
  return sink->Finish();
}

// Slices cut during the load stay staged until it has succeeded. A cell
// that fails to be cut here stops the cutting; it is tried again after the
// load, where its failure comes in cell order.
void TSliceExporter::LoadWhileCutting(TSliceRun& run, const std::function<void()>& load) {
  TProgressGuard guard(run.Source);
  TPageMapper mapper;
  run.Source.OnProgressStart = [&](void* sender) {
    if (guard.PreviousStart) guard.PreviousStart(sender);
    mapper.Start(run.Source.Bits(), run.Source.ImageSize());
  };
  bool stalled = false;
  run.Source.OnProgress = [&](void* sender, int step, int max, bool& abort) {
    if (guard.Previous) guard.Previous(sender, step, max, abort);
    if (stalled || max != run.Source.Height()) return;
    try {
      WriteCellsUpTo(run, step);
    } catch (...) {
      stalled = true;
    }
  };
  run.Sink.HoldFailures(true);
  load();
  mapper.Stop();
  run.Sink.HoldFailures(false);
}

// Cuts the cells of every grid row whose bottom line is within the first
// rowsReady rows, rows outer, columns inner, going on from where it stands.
void TSliceExporter::WriteCellsUpTo(TSliceRun& run, std::int64_t rowsReady) {
  const std::vector<int>& columns = run.Plan.Columns;
  const std::vector<int>& rows = run.Plan.Rows;
  if (columns.empty()) return;
  while (run.RowAt < rows.size()) {
    const TGridCell first = FGrid.Cell(columns.front(), rows[run.RowAt]);
    if (std::int64_t(first.Top) + first.Height > rowsReady) return;
    if (run.ColumnAt == 0) run.Table.BeginRow();
    WriteCell(run, FGrid.Cell(columns[run.ColumnAt], rows[run.RowAt]));
    if (++run.ColumnAt < columns.size()) continue;
    run.Lines.push_back(run.Table.EndRow());
    run.ColumnAt = 0;
    ++run.RowAt;
  }
}

void TSliceExporter::WriteCell(TSliceRun& run, const TGridCell& cell) {
  const std::string name =
      SliceFileName(run.Plan.Names.BaseName, cell.Column, cell.Row, OutputExtension);
  const std::string path = PathInDirectory(run.Plan.Names.Directory, name);
  const std::string prefix = run.Table.ImgTagPrefix(name, cell.Width, cell.Height);
  try {
    run.Sink.Put(run.Source, cell, path);
  } catch (const std::bad_alloc&) {
    RaiseOutOfMemory(path);
  }
  run.Table.AddCell(Options.IncAltTags ? FUi.EditSliceTags(SliceImage, cell, prefix)
                                       : run.Table.PlainCellCode(prefix));
}
