#include "app/exporter.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <filesystem>
#include <new>
#include <optional>
#include <system_error>

#include "app/atomicfile.h"
#include "app/griddata.h"
#include "app/gridfile.h"
#include "app/htmltable.h"
#include "app/loadahead.h"
#include "app/slicesinks.h"
#include "pgraphic/core/rowmemory.h"
#include "pgraphic/formats/registry.h"

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

std::string Slice2xFileName(const std::string& baseName, int column, int row,
                            const std::string& extension) {
  return SliceFileName(baseName, column, row, "@2x" + extension);
}

TGridCell HalfCell(const TGridCell& cell) {
  TGridCell half = cell;
  half.Left = cell.Left / 2;
  half.Top = cell.Top / 2;
  half.Width = std::max(1, int((std::int64_t(cell.Left) + cell.Width) / 2) - half.Left);
  half.Height = std::max(1, int((std::int64_t(cell.Top) + cell.Height) / 2) - half.Top);
  return half;
}

std::string OddRetinaLine(const TSplitGrid& grid) {
  for (const std::int32_t x : grid.VertSplits.Values())
    if (x % 2 != 0) return "the vertical line at " + std::to_string(x);
  for (const std::int32_t y : grid.HorzSplits.Values())
    if (y % 2 != 0) return "the horizontal line at " + std::to_string(y);
  return "";
}

std::string OddRetinaLineQuestion(const std::string& line) {
  std::string text = line;
  if (!text.empty()) text[0] = char(std::toupper(static_cast<unsigned char>(text[0])));
  return text + " lies at an odd position, in the middle of a pixel of the half-size slices, "
                "which then do not meet exactly. Export anyway, with the half-size cells "
                "rounded down to whole pixels?";
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
  std::string TagsPath;  // the texts beside it; empty when none are saved
  std::vector<int> Columns;
  std::vector<int> Rows;
  std::vector<std::string> Outputs;  // the slices in cell order, the HTML, the grid, its texts
  std::size_t FilesPerCell = 1;      // retina: the half-size slice, then the full-size one
  std::size_t CellCount = 0;
  std::size_t SliceCount = 0;        // CellCount * FilesPerCell
};

// One export between its first and its last slice: where the cutting stands.
// Cells are numbered in cell order (rows outer, columns inner) over the
// places of Plan.Rows and Plan.Columns.
struct TSliceRun {
  TPixelGraphic& Source;
  const TExportPlan& Plan;
  TSliceSink& Sink;
  TPGFinalRows& Pending;  // the source's final rows while it loads
  std::vector<bool> Cut;  // per slice file: handed to the sink
  // While the source loads: the grid rows not yet cut lie from RowFirst up
  // to RowEnd (places in Plan.Rows); the source's rows known final; whether
  // a cell may go to a writer once its first row is in.
  std::size_t RowFirst = 0;
  std::size_t RowEnd = 0;
  const TLoadWatch* Loaded = nullptr;
  bool Early = false;
  // Where the rows going back are followed, when they do.
  std::optional<TPGRowMemory>* RowMemory = nullptr;
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

void TSliceExporter::SetOutputFormat(const TOutputFormat& format) {
  OutputExtension = format.Extension;
  OutputWriter = format.Writer;
}

const std::string& TSliceExporter::WriterExtension() const {
  return OutputWriter.empty() ? OutputExtension : OutputWriter;
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
  if (!CheckOptions(load)) return false;
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
  std::vector<int> columnWidths;
  for (const int column : plan.Columns) {  // also when there is no row
    TGridCell cell;
    cell.Left = FGrid.VertSplits[column - 1];
    cell.Width = FGrid.VertSplits[column] - cell.Left;
    columnWidths.push_back(Options.Retina ? HalfCell(cell).Width : cell.Width);
  }
  THtmlTable table({Options.UpperCase, Options.DoubleQuote, Options.Style, Options.BaseUrl},
                   std::move(columnWidths));
  std::vector<std::string> lines{table.TableStartLine()};
  try {
    commit->Stage(WriteSlices(source, plan, table, lines, load));
  } catch (const EExportCancelled&) {
    return false;
  }
  lines.push_back(table.TableEndLine());
  if (Options.EditCode) FUi.EditCode(lines);
  commit->Stage(StagedText(htmlPath, HtmlFileText(lines)));
  if (!plan.GridPath.empty()) commit->Stage(StagedText(plan.GridPath, CrLfText(GridFileLines(FGrid))));
  // Texts the per-slice dialogs changed are saved as they now stand.
  if (!plan.TagsPath.empty() && TagsFileWanted(plan.TagsPath, *Tags))
    commit->Stage(StagedText(plan.TagsPath, CrLfText(TagsFileLines(*Tags))));
  std::size_t placed = 0;
  commit->Commit([&](const std::string& path) {
    if (placed++ < plan.SliceCount) FUi.SliceWritten(path);
  });
  if (!plan.GridPath.empty() && RecentGrids) RecentGrids->Add(plan.GridPath);
  return true;
}

// What the options ask for must be possible before anything is written.
bool TSliceExporter::CheckOptions(const std::function<void()>* load) {
  if (const std::string problem = BaseUrlProblem(Options.BaseUrl); !problem.empty()) {
    LoadAnyway(load);
    throw EExportError(problem);
  }
  if (!Options.Retina) return true;
  const std::string line = OddRetinaLine(FGrid);
  if (line.empty() || FUi.ConfirmOddRetinaLine(line)) return true;
  return LoadAnyway(load);
}

// Work and memory follow the cells written: a grid of many repeated lines
// costs its length once, not the product of its lists.
TExportPlan TSliceExporter::PlanFor(const std::string& htmlPath) const {
  TExportPlan plan;
  plan.Names = ExportNamesOf(htmlPath);
  plan.HtmlPath = htmlPath;
  if (Options.AlwaysGrid) plan.GridPath = PathInDirectory(plan.Names.Directory, plan.Names.BaseName + ".grd");
  if (!plan.GridPath.empty() && Tags) {
    const std::string tagsPath = CompanionPath(plan.GridPath, TagsExtension);
    // The per-slice dialogs may give texts to a grid that has none yet.
    if (Options.IncAltTags || TagsFileWanted(tagsPath, *Tags)) plan.TagsPath = tagsPath;
  }
  plan.Columns = FGrid.FilledColumns();
  plan.Rows = FGrid.FilledRows();
  plan.FilesPerCell = Options.Retina ? 2 : 1;
  for (int row : plan.Rows)
    for (int column : plan.Columns) {
      const std::string& base = plan.Names.BaseName;
      plan.Outputs.push_back(PathInDirectory(plan.Names.Directory, SliceFileName(base, column, row, OutputExtension)));
      if (Options.Retina)
        plan.Outputs.push_back(
            PathInDirectory(plan.Names.Directory, Slice2xFileName(base, column, row, OutputExtension)));
    }
  plan.SliceCount = plan.Outputs.size();
  plan.CellCount = plan.SliceCount / plan.FilesPerCell;
  plan.Outputs.push_back(htmlPath);
  if (!plan.GridPath.empty()) plan.Outputs.push_back(plan.GridPath);
  if (!plan.TagsPath.empty()) plan.Outputs.push_back(plan.TagsPath);
  return plan;
}

std::string TSliceExporter::StoredCellCode(const TSliceTag& tag, const TGridCell& cell) const {
  if (Tags) {
    const auto it = Tags->find({cell.Column, cell.Row});
    if (it != Tags->end() && !it->second.Empty())
      return tag.Code(it->second.Link, it->second.Target, it->second.Alt);
  }
  return tag.PlainCode();
}

bool TSliceExporter::ConfirmOutputs(const TExportCommit& commit, const TExportPlan& plan) {
  std::vector<std::string> existing = commit.CheckOutputs(plan.Outputs, SourceFile);
  std::erase(existing, plan.HtmlPath);
  return existing.empty() || FUi.ConfirmReplace(existing);
}

// Threads only where no dialog shows a slice (the per-slice dialog needs each
// slice cut before it, in order) and for writers that take them.
bool TSliceExporter::ThreadsWanted() const {
  if (EncodeThreads <= 1 || Options.IncAltTags) return false;
  try {
    return FindWriter(WriterExtension()).SafeOnThreads;
  } catch (...) {
    return false;  // an unknown extension fails at the first slice, as on one thread
  }
}

// Copied cells waiting for a worker may take an eighth of the grid's area.
// Without threads to be had, one will do.
std::unique_ptr<TSliceSink> TSliceExporter::MakeSink(const TExportPlan& plan) {
  TSliceSinkPlan sinkPlan;
  sinkPlan.Cells = plan.SliceCount;  // files, in fact: a retina cell has two
  sinkPlan.Slice = &SliceImage;
  sinkPlan.KeepLastSlice = KeepLastSlice || Options.IncAltTags;
  sinkPlan.Writer = OutputWriter;
  if (ThreadsWanted() && FGrid.VertSplits.Count() > 0 && FGrid.HorzSplits.Count() > 0) {
    const std::int64_t width = FGrid.VertSplits[FGrid.VertSplits.Count() - 1];
    const std::int64_t height = FGrid.HorzSplits[FGrid.HorzSplits.Count() - 1];
    try {
      return MakeThreadedSink(EncodeThreads, BytesPerRowFor(24, width) * height / 8, sinkPlan);
    } catch (const std::system_error&) {
    }
  }
  return MakeDirectSink(sinkPlan);
}

// Cells cut while the source loads are staged already; the rest are cut
// here in cell order, and the table is written in that order.
std::vector<TStagedFile> TSliceExporter::WriteSlices(TPixelGraphic& source, const TExportPlan& plan,
                                                     THtmlTable& table, std::vector<std::string>& lines,
                                                     const std::function<void()>* load) {
  TPGFinalRows pending;  // these two outlive the sink's workers, who wait for rows and leave them
  std::optional<TPGRowMemory> memory;
  const std::unique_ptr<TSliceSink> sink = MakeSink(plan);
  TSliceRun run{source, plan, *sink, pending, std::vector<bool>(plan.SliceCount, false)};
  if (load && GivesRowsBack()) run.RowMemory = &memory;
  if (load && sink->Concurrent())
    LoadWhileCutting(run, *load);
  else if (load)
    (*load)();
  const std::size_t columns = plan.Columns.size();
  for (std::size_t index = 0; index < plan.CellCount; ++index) {
    if (index % columns == 0) table.BeginRow();
    PutCell(run, index);
    const TGridCell cell = FGrid.Cell(plan.Columns[index % columns], plan.Rows[index / columns]);
    const THtmlSlice slice = HtmlSliceOf(source, plan, cell, index % columns);
    const TSliceTag tag = table.Tag(slice);
    table.AddCell(slice, Options.IncAltTags ? FUi.EditSliceTags(SliceImage, cell, tag) : StoredCellCode(tag, cell));
    if (index % columns == columns - 1) lines.push_back(table.EndRow());
  }
  return sink->Finish();
}

// A cell as the page shows it.
THtmlSlice TSliceExporter::HtmlSliceOf(TPixelGraphic& source, const TExportPlan& plan,
                                       const TGridCell& cell, std::size_t place) const {
  const std::string& base = plan.Names.BaseName;
  THtmlSlice slice;
  slice.Name = SliceFileName(base, cell.Column, cell.Row, OutputExtension);
  const TGridCell shown = Options.Retina ? HalfCell(cell) : cell;
  if (Options.Retina) slice.Name2x = Slice2xFileName(base, cell.Column, cell.Row, OutputExtension);
  slice.Width = shown.Width;
  slice.Height = shown.Height;
  slice.Place = int(place);
  if (Options.Style == TPageStyle::Email) slice.Average = AverageColor(source, cell);
  return slice;
}

// Slices cut during the load stay staged until it has succeeded. A cell
// that fails to be cut here stops the cutting; it is tried again after the
// load, where its failure comes in cell order.
void TSliceExporter::LoadWhileCutting(TSliceRun& run, const std::function<void()>& load) {
  run.RowEnd = run.Plan.Columns.empty() ? 0 : run.Plan.Rows.size();
  bool stalled = false;
  std::function<TPGRowMemory*()> rowMemory;
  if (run.RowMemory) rowMemory = [&] { return HoldRows(run); };
  TLoadWatch watch(run.Source, run.Pending, [&] {
    if (stalled) return;
    try {
      CutReadyRows(run);
    } catch (...) {
      stalled = true;
    }
  }, rowMemory);
  run.Loaded = &watch;
  run.Early = WritersTakeRowsAsTheyCome();
  run.Sink.HoldFailures(true);
  try {
    load();
  } catch (...) {
    run.Pending.GiveUp();
    throw;
  }
  run.Pending.Reach(INT64_MAX);
  watch.End();
  run.Sink.HoldFailures(false);
}

bool TSliceExporter::GivesRowsBack() const {
  return !KeepSourceRows && !KeepLastSlice && !Options.IncAltTags && Options.Style != TPageStyle::Email;
}

// The rows of the source go back once every slice file that needs them is
// written: each file holds the rows of its cell (a cell's several files
// each hold them) until its writer has passed them or it is staged. Made at
// the first rows loaded, before any cell is cut.
TPGRowMemory* TSliceExporter::HoldRows(TSliceRun& run) const {
  TPGRowMemory& memory = run.RowMemory->emplace(run.Source);
  const std::size_t columns = run.Plan.Columns.size();
  for (std::size_t file = 0; file < run.Plan.SliceCount; ++file) {
    const std::size_t index = file / run.Plan.FilesPerCell;
    const TGridCell cell = FGrid.Cell(run.Plan.Columns[index % columns], run.Plan.Rows[index / columns]);
    memory.Hold(cell.Top, cell.Height);
  }
  run.Sink.GiveRowsBack(&memory);
  return &memory;
}

// A writer that takes rows from the top down can start on a cell as soon
// as its first row is in, when the cell is written from a window (no copy
// of the last cell kept, no per-slice dialog). A retina cell's half-size
// slice needs all its rows: its grid row waits until they are in, rather
// than being passed over until the load ends.
bool TSliceExporter::WritersTakeRowsAsTheyCome() const {
  if (KeepLastSlice || Options.IncAltTags || Options.Retina) return false;
  try {
    return FindWriter(WriterExtension()).TakesRowsTopDown;
  } catch (...) {
    return false;
  }
}

// Cuts the grid rows whose source rows are all final: from the top down
// while rows come from the top (or, for writers that take rows as they
// come, once their first row is in), from the bottom up while they come
// from the bottom.
void TSliceExporter::CutReadyRows(TSliceRun& run) {
  const std::vector<int>& rows = run.Plan.Rows;
  const int column = run.Plan.Columns.front();
  const std::int64_t height = run.Source.Height();
  const std::int64_t fromTop = run.Loaded->FinalFromTop();
  const std::int64_t fromBottom = run.Loaded->FinalFromBottom();
  const bool early = run.Early && run.Source.PixelFormat() == pgpf24Bit && fromBottom == 0;
  while (run.RowFirst < run.RowEnd) {
    const TGridCell cell = FGrid.Cell(column, rows[run.RowFirst]);
    const bool complete = std::int64_t(cell.Top) + cell.Height <= fromTop;
    if (!complete && !(early && cell.Top < fromTop)) break;
    CutRow(run, run.RowFirst++, complete);
  }
  while (run.RowFirst < run.RowEnd) {
    const TGridCell cell = FGrid.Cell(column, rows[run.RowEnd - 1]);
    if (cell.Top < height - fromBottom) break;
    CutRow(run, --run.RowEnd, true);
  }
}

// Cells of a grid row not yet complete go as windows that wait for their
// rows; those that cannot are left for the cutting after the load.
void TSliceExporter::CutRow(TSliceRun& run, std::size_t row, bool complete) {
  const std::size_t columns = run.Plan.Columns.size();
  for (std::size_t index = row * columns; index < (row + 1) * columns; ++index) {
    if (complete) {
      PutCell(run, index);
      continue;
    }
    const TGridCell cell = FGrid.Cell(run.Plan.Columns[index % columns], run.Plan.Rows[row]);
    // A half-size slice needs all the rows of its cell.
    if (WindowFits(run.Source, cell) && !Options.Retina) PutCell(run, index, &run.Pending);
  }
}

// A retina cell is written half size first, so that a kept slice image
// ends holding the cell at full size.
void TSliceExporter::PutCell(TSliceRun& run, std::size_t index, TPGFinalRows* pending) {
  const std::size_t columns = run.Plan.Columns.size();
  const TGridCell cell = FGrid.Cell(run.Plan.Columns[index % columns], run.Plan.Rows[index / columns]);
  const std::size_t first = index * run.Plan.FilesPerCell;
  for (std::size_t file = first; file < first + run.Plan.FilesPerCell; ++file) {
    if (run.Cut[file]) continue;
    const std::string& path = run.Plan.Outputs[file];
    try {
      if (run.Plan.FilesPerCell == 2 && file == first) {
        const TGridCell half = HalfCell(cell);
        run.Sink.PutScaled(file, run.Source, cell, half.Width, half.Height, path);
      } else {
        run.Sink.Put(file, run.Source, cell, path, pending);
      }
    } catch (const std::bad_alloc&) {
      RaiseOutOfMemory(path);
    }
    run.Cut[file] = true;
  }
}
