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
  // Per slice file, in cell order: the path the sink is given (a chosen
  // format adds its extension), and the format when any slice is made in
  // memory (empty otherwise).
  std::vector<std::string> Slices;
  std::vector<TSliceFormat> Formats;
  // Every file the export may write: the slices in cell order (a slice
  // whose format is chosen with each it may get), the HTML, the grid, its
  // texts.
  std::vector<std::string> Outputs;
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
  // to RowEnd (places in Plan.Rows); the source's rows known final, from
  // the top and from the bottom; whether a cell may go to a writer once
  // its first row is in.
  std::size_t RowFirst = 0;
  std::size_t RowEnd = 0;
  std::int64_t FinalFromTop = 0;
  std::int64_t FinalFromBottom = 0;
  bool Early = false;
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
  OutputFormat = &format;
}

bool TSliceExporter::FormatChosen() const { return OutputFormat && OutputFormat->Chosen(); }

// Every slice of an export is made by the settings as it starts.
TEncodeRules TSliceExporter::EncodeRules() const { return {PGSettings(), Options.Style == TPageStyle::Email}; }

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
  std::vector<TSliceOutcome> outcomes;
  try {
    commit->Stage(WriteSlices(source, plan, table, lines, load, outcomes));
  } catch (const EExportCancelled&) {
    return false;
  }
  lines.push_back(table.TableEndLine());
  FUi.SlicesEncoded(outcomes);
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
  std::string problem = BaseUrlProblem(Options.BaseUrl);
  if (problem.empty() && FormatChosen()) problem = AutoFormatsProblem(EncodeRules());
  if (!problem.empty()) {
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
  // Without a format set, the slices go by OutputExtension and OutputWriter:
  // any fixed format stands for them here.
  const TSliceFormat format{OutputFormat ? OutputFormat : &OutputFormats().front(), -1};
  const std::vector<std::string> extensions = AutoFormatExtensions(AutoFormatsFor(EncodeRules()));
  for (int row : plan.Rows)
    for (int column : plan.Columns) {
      const std::string& base = plan.Names.BaseName;
      const std::string extension = format.Format->Chosen() ? "" : OutputExtension;
      plan.Slices.push_back(PathInDirectory(plan.Names.Directory, SliceFileName(base, column, row, extension)));
      if (Options.Retina)
        plan.Slices.push_back(
            PathInDirectory(plan.Names.Directory, Slice2xFileName(base, column, row, extension)));
      for (std::size_t file = plan.Slices.size() - plan.FilesPerCell; file < plan.Slices.size(); ++file) {
        plan.Formats.push_back(format);
        if (!format.Format->Chosen()) plan.Outputs.push_back(plan.Slices[file]);
        for (const std::string& each : format.Format->Chosen() ? extensions : std::vector<std::string>{})
          plan.Outputs.push_back(plan.Slices[file] + each);
      }
    }
  // Slices the writers write straight into their files go as ever.
  if (std::none_of(plan.Formats.begin(), plan.Formats.end(), [](const TSliceFormat& f) { return f.InMemory(); }))
    plan.Formats.clear();
  plan.SliceCount = plan.Slices.size();
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
  if (FormatChosen()) return true;  // its writers all are
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
  sinkPlan.Formats = plan.Formats;
  sinkPlan.Rules = EncodeRules();
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
                                                     const std::function<void()>* load,
                                                     std::vector<TSliceOutcome>& outcomes) {
  TPGFinalRows pending;  // outlives the sink's workers, who may wait for its rows
  const std::unique_ptr<TSliceSink> sink = MakeSink(plan);
  TSliceRun run{source, plan, *sink, pending, std::vector<bool>(plan.SliceCount, false)};
  if (load && sink->Concurrent())
    LoadWhileCutting(run, *load);
  else if (load)
    (*load)();
  // The table names the file each slice became: where workers choose the
  // formats, every cell goes to them before the first name is asked for.
  if (sink->Concurrent() && FormatChosen())
    for (std::size_t index = 0; index < plan.CellCount; ++index) PutCell(run, index);
  const std::size_t columns = plan.Columns.size();
  for (std::size_t index = 0; index < plan.CellCount; ++index) {
    if (index % columns == 0) table.BeginRow();
    PutCell(run, index);
    const TGridCell cell = FGrid.Cell(plan.Columns[index % columns], plan.Rows[index / columns]);
    const THtmlSlice slice = HtmlSliceOf(source, plan, cell, index, *sink);
    const TSliceTag tag = table.Tag(slice);
    table.AddCell(slice, Options.IncAltTags ? FUi.EditSliceTags(SliceImage, cell, tag) : StoredCellCode(tag, cell));
    if (index % columns == columns - 1) lines.push_back(table.EndRow());
  }
  std::vector<TStagedFile> staged = sink->Finish();
  outcomes = sink->Outcomes();
  return staged;
}

// A cell as the page shows it.
THtmlSlice TSliceExporter::HtmlSliceOf(TPixelGraphic& source, const TExportPlan& plan,
                                       const TGridCell& cell, std::size_t index, TSliceSink& sink) const {
  const std::size_t first = index * plan.FilesPerCell;
  THtmlSlice slice;
  slice.Name = std::filesystem::path(sink.SlicePath(first)).filename().string();
  const TGridCell shown = Options.Retina ? HalfCell(cell) : cell;
  if (Options.Retina) slice.Name2x = std::filesystem::path(sink.SlicePath(first + 1)).filename().string();
  slice.Width = shown.Width;
  slice.Height = shown.Height;
  slice.Place = int(index % plan.Columns.size());
  if (Options.Style == TPageStyle::Email) slice.Average = AverageColor(source, cell);
  return slice;
}

// Slices cut during the load stay staged until it has succeeded. A cell
// that fails to be cut here stops the cutting; it is tried again after the
// load, where its failure comes in cell order.
void TSliceExporter::LoadWhileCutting(TSliceRun& run, const std::function<void()>& load) {
  TProgressGuard guard(run.Source);
  TPageMapper mapper;
  run.RowEnd = run.Plan.Columns.empty() ? 0 : run.Plan.Rows.size();
  run.Source.OnProgressStart = [&](void* sender) {
    if (guard.PreviousStart) guard.PreviousStart(sender);
    mapper.Start(run.Source.Bits(), run.Source.ImageSize());
  };
  bool stalled = false;
  run.Source.OnRowsDone = [&](void* sender, int top, int count) {
    if (guard.PreviousRows) guard.PreviousRows(sender, top, count);
    const std::int64_t height = run.Source.Height();
    if (top <= run.FinalFromTop) {
      run.FinalFromTop = std::max<std::int64_t>(run.FinalFromTop, top + count);
      run.Pending.Reach(run.FinalFromTop);
    }
    if (std::int64_t(top) + count >= height - run.FinalFromBottom)
      run.FinalFromBottom = std::max<std::int64_t>(run.FinalFromBottom, height - top);
    if (stalled) return;
    try {
      CutReadyRows(run);
    } catch (...) {
      stalled = true;
    }
  };
  run.Early = WritersTakeRowsAsTheyCome();
  run.Sink.HoldFailures(true);
  try {
    load();
  } catch (...) {
    run.Pending.GiveUp();
    throw;
  }
  run.Pending.Reach(INT64_MAX);
  mapper.Stop();
  run.Sink.HoldFailures(false);
}

// A writer that takes rows from the top down can start on a cell as soon
// as its first row is in, when the cell is written from a window (no copy
// of the last cell kept, no per-slice dialog).
bool TSliceExporter::WritersTakeRowsAsTheyCome() const {
  if (KeepLastSlice || Options.IncAltTags) return false;
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
  const bool early = run.Early && run.Source.PixelFormat() == pgpf24Bit && run.FinalFromBottom == 0;
  while (run.RowFirst < run.RowEnd) {
    const TGridCell cell = FGrid.Cell(column, rows[run.RowFirst]);
    const bool complete = std::int64_t(cell.Top) + cell.Height <= run.FinalFromTop;
    if (!complete && !(early && cell.Top < run.FinalFromTop)) break;
    CutRow(run, run.RowFirst++, complete);
  }
  while (run.RowFirst < run.RowEnd) {
    const TGridCell cell = FGrid.Cell(column, rows[run.RowEnd - 1]);
    if (cell.Top < height - run.FinalFromBottom) break;
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
    const std::string& path = run.Plan.Slices[file];
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
