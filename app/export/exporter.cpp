#include "app/export/exporter.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <filesystem>
#include <new>
#include <optional>
#include <system_error>

#include "app/common/atomicfile.h"
#include "app/cut/griddatafiles.h"
#include "app/export/pagelayout.h"
#include "app/cut/gridfile.h"
#include "app/export/htmltable.h"
#include "pgraphic/rows/loadwatch.h"
#include "app/export/slicesinks.h"
#include "pgraphic/rows/rowmemory.h"
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

TCellSliceFormat CellSliceFormat(const TSliceFormat& exportFormat, const TCellData& cells, const TGridCell& cell) {
  const auto own = cells.Formats.find({cell.Column, cell.Row});
  if (own == cells.Formats.end()) return {exportFormat, false};
  const TOutputFormat* format = FindOutputFormat(own->second.Format);
  // The cells file is checked when read: a name unknown here can only come
  // from a later version, whose slice keeps the export's format.
  if (!format) return {exportFormat, false};
  return {{format, own->second.Quality == TCellFormat::NoQuality ? -1 : own->second.Quality}, true};
}

std::vector<TCellFile> CellFiles(const TExportNames& names, const TGridCell& cell, bool retina,
                                 const TSliceFormat& exportFormat, const std::string& extension,
                                 const TCellData& cells) {
  const TCellSliceFormat format = CellSliceFormat(exportFormat, cells, cell);
  const std::string ending = !format.Format.Format ? extension
                             : format.Format.Format->Chosen() ? ""
                             : format.Own ? format.Format.Format->Extension
                                          : extension;
  const std::string name = SliceFileName(names.BaseName, cell.Column, cell.Row, ending);
  if (!retina) return {{PathInDirectory(names.Directory, name), format}};
  const TGridCell half = HalfCell(cell);
  return {{PathInDirectory(names.Directory, name), format, half.Width, half.Height},
          {PathInDirectory(names.Directory, Slice2xFileName(names.BaseName, cell.Column, cell.Row, ending)), format}};
}

void MarkOwnFormat(TSliceOutcome& outcome, const TCellSliceFormat& format, const TPGLibrarySettings& settings) {
  // A chosen format gives its own reason.
  if (!format.Own || !outcome.Reason.empty()) return;
  outcome.Reason = OwnFormatReason;
  if (outcome.Quality >= 0) return;
  if (outcome.Format == "jpg") outcome.Quality = settings.JpegQuality;
  if (outcome.Format == "webp" && !settings.WebpLossless) outcome.Quality = settings.WebpQuality;
}

// What one export will write: the cells of the page (a duplicate split
// line gives a column or row of size 0, which gets neither a file nor
// markup, the others keeping their numbers; merged cells are one) and
// every output, in the order they take their places.
struct TExportPlan {
  TExportNames Names;
  std::string HtmlPath;
  std::string GridPath;   // empty when no grid file is saved
  std::string TagsPath;   // the texts beside it; empty when none are saved
  std::string CellsPath;  // the merged and skipped cells beside it; empty when not saved
  TPageLayout Page;       // the cells in cell order, with the table's rows and columns
  // Per cell: its first slice file (a skipped cell has none).
  std::vector<std::size_t> FirstFile;
  // Per row of the table: the cells that begin in it, and those that end in it.
  std::vector<std::vector<std::size_t>> Starting;
  std::vector<std::vector<std::size_t>> Ending;
  // Per slice file, in cell order: the path the sink is given (a chosen
  // format adds its extension), and the format when any slice is made in
  // memory (empty otherwise).
  std::vector<std::string> Slices;
  std::vector<TSliceFormat> Formats;
  std::vector<TCellSliceFormat> FileFormats;  // per slice file, always
  // Every file the export may write: the slices in cell order (a slice
  // whose format is chosen with each it may get), the HTML, the grid, its
  // texts, its cells.
  std::vector<std::string> Outputs;
  std::size_t FilesPerCell = 1;      // retina: the half-size slice, then the full-size one
  std::size_t SliceCount = 0;
};

// One export between its first and its last slice: where the cutting stands.
// Cells are numbered in cell order (Plan.Page.Cells).
struct TSliceRun {
  TPixelGraphic& Source;
  const TExportPlan& Plan;
  TSliceSink& Sink;
  TPGFinalRows& Pending;  // the source's final rows while it loads
  std::vector<bool> Cut;  // per slice file: handed to the sink
  // While the source loads: the table rows not yet cut lie from RowFirst up
  // to RowEnd; the source's rows known final; whether a cell may go to a
  // writer once its first row is in.
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

bool TSliceExporter::SomeFormatChosen() const {
  if (FormatChosen()) return true;
  for (const auto& [cell, own] : CellsToCut().Formats)
    if (const TOutputFormat* format = FindOutputFormat(own.Format); format && format->Chosen()) return true;
  return false;
}

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
  // The table's columns and rows as the page shows them.
  const auto sizes = [this](const std::vector<std::int32_t>& edges) {
    std::vector<int> sizes;
    for (std::size_t i = 0; i + 1 < edges.size(); ++i) {
      TGridCell span;
      span.Left = edges[i];
      span.Width = edges[i + 1] - edges[i];
      sizes.push_back(Options.Retina ? HalfCell(span).Width : span.Width);
    }
    return sizes;
  };
  THtmlTable table({Options.UpperCase, Options.DoubleQuote, Options.Style, Options.BaseUrl},
                   sizes(plan.Page.ColumnEdges), plan.Page.SpansColumns,
                   plan.Page.SpansRows ? sizes(plan.Page.RowEdges) : std::vector<int>{});
  std::vector<std::string> lines{table.TableStartLine()};
  if (const std::string group = table.ColumnGroupLine(); !group.empty()) lines.push_back(group);
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
  if (!plan.CellsPath.empty()) commit->Stage(StagedText(plan.CellsPath, CrLfText(CellsFileLines(*Cells))));
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
  if (problem.empty() && SomeFormatChosen()) problem = AutoFormatsProblem(EncodeRules());
  if (!problem.empty()) {
    LoadAnyway(load);
    throw EExportError(problem);
  }
  if (const std::string problem = CellsProblem(CellsToCut(), FGrid, "The cells"); !problem.empty()) {
    LoadAnyway(load);
    throw EExportError(problem);
  }
  if (!Options.Retina) return true;
  // Only the edges of the page's cells: a line inside merged cells alone cuts nothing.
  const TPageLayout page = PageLayoutOf(FGrid, CellsToCut());
  TSplitGrid edges;
  for (const std::int32_t x : page.ColumnEdges) edges.VertSplits.Add(x);
  for (const std::int32_t y : page.RowEdges) edges.HorzSplits.Add(y);
  const std::string line = OddRetinaLine(edges);
  if (line.empty() || FUi.ConfirmOddRetinaLine(line)) return true;
  return LoadAnyway(load);
}

const TCellData& TSliceExporter::CellsToCut() const {
  static const TCellData none;
  return Cells ? *Cells : none;
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
  if (!plan.GridPath.empty() && Cells) {
    const std::string cellsPath = CompanionPath(plan.GridPath, CellsExtension);
    // The per-slice dialogs may give formats to a grid that has no cells file yet.
    if (Options.IncAltTags || CellsFileWanted(cellsPath, *Cells)) plan.CellsPath = cellsPath;
  }
  plan.Page = PageLayoutOf(FGrid, CellsToCut());
  plan.FilesPerCell = Options.Retina ? 2 : 1;
  const std::size_t rows = plan.Page.Cells.empty() ? 0 : plan.Page.RowEdges.size() - 1;
  plan.Starting.resize(rows);
  plan.Ending.resize(rows);
  // Without a format set, the slices go by OutputExtension and OutputWriter.
  const TSliceFormat format{OutputFormat, -1};
  const std::vector<std::string> extensions = AutoFormatExtensions(AutoFormatsFor(EncodeRules()));
  for (std::size_t index = 0; index < plan.Page.Cells.size(); ++index) {
    const TPageCell& page = plan.Page.Cells[index];
    plan.Starting[std::size_t(page.Row)].push_back(index);
    plan.Ending[std::size_t(page.Row + page.RowSpan - 1)].push_back(index);
    plan.FirstFile.push_back(plan.Slices.size());
    if (page.Skip) continue;
    for (const TCellFile& file :
         CellFiles(plan.Names, page.Cell, Options.Retina, format, OutputExtension, CellsToCut())) {
      plan.Slices.push_back(file.Path);
      plan.Formats.push_back(file.Format.Format);
      plan.FileFormats.push_back(file.Format);
      const bool chosen = file.Format.Format.Format && file.Format.Format.Format->Chosen();
      if (!chosen) plan.Outputs.push_back(file.Path);
      for (const std::string& each : chosen ? extensions : std::vector<std::string>{})
        plan.Outputs.push_back(file.Path + each);
    }
  }
  // Slices the writers write straight into their files, all in the
  // export's format, go as ever.
  if (std::none_of(plan.FileFormats.begin(), plan.FileFormats.end(), [](const TCellSliceFormat& f) {
        return f.Own || (f.Format.Format && f.Format.InMemory());
      }))
    plan.Formats.clear();
  plan.SliceCount = plan.Slices.size();
  plan.Outputs.push_back(htmlPath);
  if (!plan.GridPath.empty()) plan.Outputs.push_back(plan.GridPath);
  if (!plan.TagsPath.empty()) plan.Outputs.push_back(plan.TagsPath);
  if (!plan.CellsPath.empty()) plan.Outputs.push_back(plan.CellsPath);
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
    // Slices in formats of their own need their writers to take threads too.
    for (const auto& [cell, own] : CellsToCut().Formats)
      if (const TOutputFormat* format = FindOutputFormat(own.Format); format && !format->Chosen())
        if (!FindWriter(format->Writer).SafeOnThreads) return false;
    if (FormatChosen()) return true;  // its writers all are
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
  TPGFinalRows pending;  // these two outlive the sink's workers, who wait for rows and leave them
  std::optional<TPGRowMemory> memory;
  const std::unique_ptr<TSliceSink> sink = MakeSink(plan);
  TSliceRun run{source, plan, *sink, pending, std::vector<bool>(plan.SliceCount, false)};
  if (load && GivesRowsBack()) run.RowMemory = &memory;
  if (load && sink->Concurrent())
    LoadWhileCutting(run, *load);
  else if (load)
    (*load)();
  // The table names the file each slice became: where workers choose the
  // formats, every cell goes to them before the first name is asked for.
  if (sink->Concurrent() && SomeFormatChosen())
    for (std::size_t index = 0; index < plan.Page.Cells.size(); ++index) PutCell(run, index);
  for (const std::vector<std::size_t>& row : plan.Starting) {
    table.BeginRow();
    for (const std::size_t index : row) {
      const TPageCell& page = plan.Page.Cells[index];
      PutCell(run, index);  // the table names the file the slice became
      const THtmlSlice slice = HtmlSliceOf(source, plan, index, *sink);
      if (page.Skip) {
        table.AddEmptyCell(slice);
        continue;
      }
      const TSliceTag tag = table.Tag(slice);
      table.AddCell(slice, Options.IncAltTags ? FUi.EditSliceTags(SliceImage, page.Cell, tag)
                                              : StoredCellCode(tag, page.Cell));
    }
    lines.push_back(table.EndRow());
  }
  std::vector<TStagedFile> staged = sink->Finish();
  outcomes = sink->Outcomes();
  const TEncodeRules rules = EncodeRules();
  for (std::size_t file = 0; file < outcomes.size() && file < plan.FileFormats.size(); ++file)
    MarkOwnFormat(outcomes[file], plan.FileFormats[file], rules.Settings);
  return staged;
}

// A cell as the page shows it.
THtmlSlice TSliceExporter::HtmlSliceOf(TPixelGraphic& source, const TExportPlan& plan,
                                       std::size_t index, TSliceSink& sink) const {
  const TPageCell& page = plan.Page.Cells[index];
  const TGridCell& cell = page.Cell;
  const std::size_t first = plan.FirstFile[index];
  THtmlSlice slice;
  const TGridCell shown = Options.Retina ? HalfCell(cell) : cell;
  if (!page.Skip) {  // a skipped cell has no file
    slice.Name = std::filesystem::path(sink.SlicePath(first)).filename().string();
    if (Options.Retina) slice.Name2x = std::filesystem::path(sink.SlicePath(first + 1)).filename().string();
  }
  slice.Width = shown.Width;
  slice.Height = shown.Height;
  slice.Place = page.Column;
  slice.ColumnSpan = page.ColumnSpan;
  slice.RowSpan = page.RowSpan;
  if (Options.Style == TPageStyle::Email || page.Skip) slice.Average = AverageColor(source, cell);
  return slice;
}

// Slices cut during the load stay staged until it has succeeded. A cell
// that fails to be cut here stops the cutting; it is tried again after the
// load, where its failure comes in cell order.
void TSliceExporter::LoadWhileCutting(TSliceRun& run, const std::function<void()>& load) {
  run.RowEnd = run.Plan.Starting.size();
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
  // Mail pages' cell colours and skipped cells' backgrounds read the image
  // after the slices are written.
  return !KeepSourceRows && !KeepLastSlice && !Options.IncAltTags && Options.Style != TPageStyle::Email &&
         CellsToCut().Skips.empty();
}

// The rows of the source go back once every slice file that needs them is
// written: each file holds the rows of its cell (a cell's several files
// each hold them) until its writer has passed them or it is staged. Made at
// the first rows loaded, before any cell is cut.
TPGRowMemory* TSliceExporter::HoldRows(TSliceRun& run) const {
  TPGRowMemory& memory = run.RowMemory->emplace(run.Source);
  // Holders are numbered as the files: skipped cells have none.
  for (const TPageCell& page : run.Plan.Page.Cells)
    if (!page.Skip)
      for (std::size_t file = 0; file < run.Plan.FilesPerCell; ++file) memory.Hold(page.Cell.Top, page.Cell.Height);
  run.Sink.GiveRowsBack(&memory);
  return &memory;
}

// A writer that takes rows from the top down can start on a cell as soon
// as its first row is in, when the cell is written from a window (no copy
// of the last cell kept, no per-slice dialog). A retina cell's half-size
// slice needs all its rows: its grid row waits until they are in, rather
// than being passed over until the load ends.
bool TSliceExporter::WritersTakeRowsAsTheyCome() const {
  // A slice of a format of its own is made from its whole cell.
  if (KeepLastSlice || Options.IncAltTags || Options.Retina || !CellsToCut().Formats.empty()) return false;
  try {
    return FindWriter(WriterExtension()).TakesRowsTopDown;
  } catch (...) {
    return false;
  }
}

// Cuts the cells whose source rows are all final, walking the table's rows:
// from the top down while rows come from the top, the cells that end in a
// row once it is complete (or, for writers that take rows as they come, the
// cells that begin in it once its first row is in); from the bottom up
// while they come from the bottom, the cells that begin in a row once it is
// complete. A cell's rows are those of its rectangle: a merged cell waits
// for every grid row it spans. Cells that reach across the rows still
// missing wait for the end of the load.
void TSliceExporter::CutReadyRows(TSliceRun& run) {
  const std::vector<std::int32_t>& edges = run.Plan.Page.RowEdges;
  const std::int64_t height = run.Source.Height();
  const std::int64_t fromTop = run.Loaded->FinalFromTop();
  const std::int64_t fromBottom = run.Loaded->FinalFromBottom();
  const bool early = run.Early && run.Source.PixelFormat() == pgpf24Bit && fromBottom == 0;
  while (run.RowFirst < run.RowEnd) {
    const std::size_t row = run.RowFirst;
    const bool complete = edges[row + 1] <= fromTop;
    if (!complete && !(early && edges[row] < fromTop)) break;
    ++run.RowFirst;
    if (complete) PutCells(run, run.Plan.Ending[row]);
    if (early) PutCells(run, run.Plan.Starting[row], &run.Pending);
  }
  while (run.RowFirst < run.RowEnd) {
    if (edges[run.RowEnd - 1] < height - fromBottom) break;
    PutCells(run, run.Plan.Starting[--run.RowEnd]);
  }
}

// With pending, cells go as windows that wait for their rows; those that
// cannot are left for the cutting after the load.
void TSliceExporter::PutCells(TSliceRun& run, const std::vector<std::size_t>& cells, TPGFinalRows* pending) {
  for (const std::size_t index : cells)
    if (!pending || WindowFits(run.Source, run.Plan.Page.Cells[index].Cell)) PutCell(run, index, pending);
}

// A retina cell is written half size first, so that a kept slice image
// ends holding the cell at full size.
void TSliceExporter::PutCell(TSliceRun& run, std::size_t index, TPGFinalRows* pending) {
  const TPageCell& page = run.Plan.Page.Cells[index];
  if (page.Skip) return;
  const TGridCell& cell = page.Cell;
  const std::size_t first = run.Plan.FirstFile[index];
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
