#include "app/export/exporter.h"

#include <cctype>
#include <filesystem>
#include <map>
#include <optional>
#include <system_error>

#include "app/common/atomicfile.h"
#include "app/cut/cellsfile.h"
#include "app/export/cellcutter.h"
#include "app/export/csscolor.h"
#include "app/export/exportchecks.h"
#include "app/export/exportmanifest.h"
#include "app/export/htmlpage.h"
#include "app/export/slicesinks.h"

std::string OverwriteQuestion(const std::string& path) { return "Overwrite " + path + "?"; }

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

// An export the user has agreed to: its plan, and the lock that keeps a
// second export of the page out.
struct TSliceExporter::TAgreed {
  TExportPlan Plan;
  std::optional<TExportCommit> Commit;
};

namespace {

// An export that stops before its first cell still loads its source, so
// that a failing load is what is reported, as on the road that loads first.
bool LoadAnyway(const std::function<void()>* load) {
  if (load) (*load)();
  return false;
}

// The table's columns (or rows) as the page shows them.
std::vector<int> SizesOf(const std::vector<std::int32_t>& edges, bool retina) {
  std::vector<int> sizes;
  for (std::size_t i = 0; i + 1 < edges.size(); ++i) {
    TGridCell span;
    span.Left = edges[i];
    span.Width = edges[i + 1] - edges[i];
    sizes.push_back(retina ? HalfCell(span).Width : span.Width);
  }
  return sizes;
}

// The lines the page's cells begin and end at.
TSplitGrid EdgesOf(const TPageLayout& page) {
  TSplitGrid edges;
  for (const std::int32_t x : page.ColumnEdges) edges.VertSplits.Add(x);
  for (const std::int32_t y : page.RowEdges) edges.HorzSplits.Add(y);
  return edges;
}

}  // namespace

bool TSliceExporter::Export(TPixelGraphic& source) { return Run(source, nullptr); }

bool TSliceExporter::ExportWhileLoading(TPixelGraphic& source, const std::function<void()>& load) {
  return Run(source, &load);
}

bool TSliceExporter::Run(TPixelGraphic& source, const std::function<void()>* load) {
  std::unique_ptr<TAgreed> agreed;
  try {
    agreed = Agree(load != nullptr, load ? Settings.SourceFileHasAlpha && PGSettings().KeepAlpha : source.HasAlpha());
  } catch (const EExportCancelled&) {
    return LoadAnyway(load);
  } catch (...) {
    LoadAnyway(load);
    throw;
  }
  if (!agreed) return LoadAnyway(load);
  return Write(source, *agreed, load);
}

// Everything asked and checked before the first cell: the HTML path, the
// options, whether they can be met, the plan, the lock, the files to
// replace. Null when the user said no.
std::unique_ptr<TSliceExporter::TAgreed> TSliceExporter::Agree(bool loading, bool alpha, bool dryRun) {
  std::string htmlPath;
  if (!ChoosePath(htmlPath)) return nullptr;
  if (Settings.Options.ShowOptions) FUi.ShowExportOptions(Settings.Options);
  FCut.Grid.SortBoth();
  auto agreed = std::make_unique<TAgreed>();
  agreed->Plan = PlanExport(FCut, Settings, htmlPath, {loading, alpha}, PGSettings());
  FUi.Planned(agreed->Plan);
  if (!CheckOptions(agreed->Plan)) return nullptr;
  if (std::filesystem::path(htmlPath).filename().empty())
    throw EExportError("No HTML file name given; nothing was written.");
  if (const std::string problem = BaseNameProblem(agreed->Plan.Names.BaseName);
      !Settings.SliceBaseName.empty() && !problem.empty())
    throw EExportError("Cannot export: " + problem + "; nothing was written.");
  RefuseLongNames(agreed->Plan);
  // The dry run takes no lock: it finds out whether the folder would take
  // the files as the lock file would.
  if (dryRun)
    CheckFolderWritable(htmlPath, agreed->Plan.Names.Directory, Settings.MakeFolder);
  else
    agreed->Commit.emplace(agreed->Plan.Names, htmlPath, Settings.MakeFolder);
  if (!ConfirmOutputs(agreed->Plan)) return nullptr;
  return agreed;
}

bool TSliceExporter::DryRun(TExportPlan& plan) {
  // The road is all the source's alpha would change, and a dry run takes none.
  const std::unique_ptr<TAgreed> agreed = Agree(false, false, true);
  if (!agreed) return false;
  plan = agreed->Plan;
  return true;
}

bool TSliceExporter::ChoosePath(std::string& htmlPath) {
  if (!FUi.ChooseHtmlFile(htmlPath)) return false;
  // A link at the name counts as a file there, whether or not it leads anywhere.
  std::error_code ec;
  if (std::filesystem::exists(std::filesystem::symlink_status(htmlPath, ec)) &&
      !FUi.ConfirmOverwrite(OverwriteQuestion(htmlPath), OverwriteCaption))
    return false;
  return true;
}

// What the options ask for must be possible before anything is written.
bool TSliceExporter::CheckOptions(const TExportPlan& plan) {
  const TExportOptions& options = Settings.Options;
  std::string problem = BaseUrlProblem(options.BaseUrl);
  if (problem.empty()) problem = PageBackgroundProblem(options.PageBackground);
  if (problem.empty() && plan.FormatsChosen) problem = AutoFormatsProblem(plan.Rules);
  if (problem.empty()) problem = CellsProblem(FCut.Cells, FCut.Grid, "The cells");
  if (!problem.empty()) throw EExportError(problem);
  // One file for two outputs: the later would replace the earlier.
  if (const std::string shared = SharedOutputProblem(plan); !shared.empty()) throw EOutputRefused(shared);
  if (!options.Retina) return true;
  // Only the edges of the page's cells: a line inside merged cells alone cuts nothing.
  const std::string line = OddRetinaLine(EdgesOf(plan.Page));
  return line.empty() || FUi.ConfirmOddRetinaLine(line);
}

// Files another page of the folder wrote are never replaced, not even
// with consent: its page would show this one's slices.
bool TSliceExporter::ConfirmOutputs(const TExportPlan& plan) {
  std::vector<std::string> existing = ExistingOutputs(plan.Outputs, Settings.SourceFile);
  if (!existing.empty()) {
    const std::map<std::string, std::string> others = OtherPagesFiles(plan.Names.Directory, plan.HtmlPath);
    for (const std::string& path : existing)
      if (const auto owner = others.find(std::filesystem::path(path).filename().string()); owner != others.end())
        throw EOutputRefused("Cannot export: \"" + path + "\" belongs to the page \"" + owner->second +
                             "\"; give this page's slices a base name of their own. Nothing was written.");
  }
  std::erase(existing, plan.HtmlPath);
  return existing.empty() || FUi.ConfirmReplace(existing);
}

// The list of what this export writes, and the slices of the last export
// of the page that it no longer writes, to go once the rest is in place.
void TSliceExporter::StageManifest(TExportCommit& commit, const TExportPlan& plan,
                                   const std::vector<TSliceOutcome>& outcomes) {
  if (!Settings.KeepManifest) return;
  const auto name = [](const std::string& path) { return std::filesystem::path(path).filename().string(); };
  std::vector<TManifestEntry> entries{{"page", name(plan.HtmlPath)}};
  std::vector<std::string> slices;
  for (const TSliceOutcome& slice : outcomes) {
    entries.push_back({"slice", name(slice.Path)});
    slices.push_back(entries.back().Name);
  }
  const std::pair<const char*, const std::string*> companions[] = {
      {"grid", &plan.GridFiles.Grid}, {"tags", &plan.GridFiles.Tags}, {"cells", &plan.GridFiles.Cells}};
  // Only those written: a texts file is not made for a cut without texts.
  for (const auto& [kind, path] : companions)
    if (!path->empty() && commit.Stages(*path)) entries.push_back({kind, name(*path)});
  if (Settings.Prune)
    for (const std::string& path : SlicesToPrune(plan.HtmlPath, slices, Settings.SourceFile)) commit.Remove(path);
  commit.Stage(StagedText(ManifestPath(plan.HtmlPath), ManifestText(name(plan.HtmlPath), entries)));
}

// The slices, the HTML and the grid's files are staged, then take their
// places together.
bool TSliceExporter::Write(TPixelGraphic& source, TAgreed& agreed, const std::function<void()>* load) {
  const TExportPlan& plan = agreed.Plan;
  TExportCommit& commit = *agreed.Commit;
  const TExportOptions& options = Settings.Options;
  THtmlTable table({options.UpperCase, options.DoubleQuote, options.Style, options.BaseUrl, options.EmailFixedWidth,
                    options.Page},
                   SizesOf(plan.Page.ColumnEdges, options.Retina), plan.Page.SpansColumns,
                   plan.Page.SpansRows ? SizesOf(plan.Page.RowEdges, options.Retina) : std::vector<int>{});
  std::vector<std::string> lines{table.TableStartLine()};
  if (const std::string group = table.ColumnGroupLine(); !group.empty()) lines.push_back(group);
  TWritten written;
  try {
    commit.Stage(WriteSlices(source, plan, table, lines, load, written));
  } catch (const EExportCancelled&) {
    return false;
  }
  lines.push_back(table.TableEndLine());
  if (options.Page) lines = PageLines(source, plan, lines);
  FUi.SlicesEncoded(written.Outcomes);
  TPageFacts facts{std::filesystem::path(plan.HtmlPath).filename().string(), HtmlFileText(lines).size(), 0,
                   std::move(written.LinkedWithoutAlt)};
  // A reader loads one file of each cell: retina's larger where its screen is dense.
  for (std::size_t first = 0; first < written.Outcomes.size(); first += plan.FilesPerCell) {
    std::uint64_t largest = 0;
    for (std::size_t i = first; i < first + plan.FilesPerCell && i < written.Outcomes.size(); ++i)
      largest = std::max(largest, written.Outcomes[i].Bytes);
    facts.SliceBytes += largest;
  }
  std::vector<TExportWarning> warnings = ExportWarnings(options, facts);
  if (const std::string kept = ProfileNotKeptText(plan, source); !kept.empty())
    warnings.push_back({"profile-converted", kept});
  FUi.ExportWarned(warnings);
  // Cancelled over the code: the staged slices go with the commit, unplaced.
  try {
    if (options.EditCode) FUi.EditCode(lines);
  } catch (const EExportCancelled&) {
    return false;
  }
  commit.Stage(StagedText(plan.HtmlPath, HtmlFileText(lines)));
  if (!plan.GridFiles.Grid.empty()) commit.Stage(StageGridData(plan.GridFiles, FCut));
  StageManifest(commit, plan, written.Outcomes);
  FUi.BeforeCommit();
  std::size_t placed = 0;
  const std::string manifest = ManifestPath(plan.HtmlPath);
  commit.Commit(
      [&](const std::string& path, bool unchanged) {
        if (placed++ < plan.Slices.size()) FUi.SliceWritten(path);
        if (path != manifest || !Settings.KeepManifest) FUi.FilePlaced(path, unchanged);
      },
      [&](const std::string& path) { FUi.FileRemoved(path); });
  if (!plan.GridFiles.Grid.empty() && Settings.RecentGrids) Settings.RecentGrids->Add(plan.GridFiles.Grid);
  return true;
}

// On the road's threads when it has them; without threads to be had, on
// this one.
std::unique_ptr<TSliceSink> TSliceExporter::MakeSink(const TExportPlan& plan) {
  if (plan.Road.Threads > 1) {
    try {
      return MakeThreadedSink(plan, SliceImage);
    } catch (const std::system_error&) {
    }
  }
  return MakeDirectSink(plan, SliceImage);
}

// Cells cut while the source loads are staged already; the rest are cut
// here in cell order, and the table is written in that order.
std::vector<TStagedFile> TSliceExporter::WriteSlices(TPixelGraphic& source, const TExportPlan& plan,
                                                     THtmlTable& table, std::vector<std::string>& lines,
                                                     const std::function<void()>* load, TWritten& written) {
  TLoadingRows rows;
  const std::unique_ptr<TSliceSink> sink = MakeSink(plan);
  TCellCutter cutter(source, plan, *sink, rows);
  if (load && plan.Road.WhileLoading && sink->Concurrent())
    cutter.CutWhileLoading(*load);
  else if (load)
    (*load)();
  // The table names the file each slice became: where threads choose the
  // formats, every cell goes to them before the first name is asked for.
  if (sink->Concurrent() && plan.FormatsChosen)
    for (std::size_t index = 0; index < plan.Page.Cells.size(); ++index) cutter.Put(index);
  for (const std::vector<std::size_t>& row : plan.Starting) {
    table.BeginRow();
    for (const std::size_t index : row) {
      const TPageCell& page = plan.Page.Cells[index];
      cutter.Put(index);
      const THtmlSlice slice = HtmlSliceOf(source, plan, index, *sink);
      if (page.Skip) {
        table.AddEmptyCell(slice);
        continue;
      }
      table.AddCell(slice, CellCode(table, slice, page));
      // The texts as the per-slice dialog left them.
      const auto texts = FCut.Tags.find({page.Cell.Column, page.Cell.Row});
      if (texts != FCut.Tags.end() && !texts->second.Link.empty() && texts->second.Alt.empty())
        written.LinkedWithoutAlt.push_back(slice.Name);
    }
    lines.push_back(table.EndRow());
  }
  std::vector<TStagedFile> staged = sink->Finish();
  written.Outcomes = sink->Outcomes();
  return staged;
}

// The table in its whole page, on the background asked for, else on the
// colour of the design's edge when it has one, else on white.
std::vector<std::string> TSliceExporter::PageLines(TPixelGraphic& source, const TExportPlan& plan,
                                                   const std::vector<std::string>& table) const {
  const TExportOptions& options = Settings.Options;
  THtmlPage page;
  page.Title = options.PageTitle.empty() ? DefaultPageTitle(plan.HtmlPath) : options.PageTitle;
  if (!CssColorOf(options.PageBackground, page.Background) && !plan.Page.Cells.empty()) {
    const std::vector<std::int32_t>& xs = plan.Page.ColumnEdges;
    const std::vector<std::int32_t>& ys = plan.Page.RowEdges;
    TGridCell area;
    area.Left = xs.front();
    area.Top = ys.front();
    area.Width = xs.back() - xs.front();
    area.Height = ys.back() - ys.front();
    if (const std::optional<TRGB> edge = EdgeColor(source, area, plan.Rules.Settings.PageColor))
      page.Background = *edge;
  }
  page.Preheader = options.Preheader;
  return HtmlPageLines(table, options.Style, page);
}

// The code of a cell: the per-slice dialog's, or made from the cut's texts.
std::string TSliceExporter::CellCode(THtmlTable& table, const THtmlSlice& slice, const TPageCell& page) {
  const TSliceTag tag = table.Tag(slice);
  if (Settings.Options.IncAltTags) return FUi.EditSliceTags(SliceImage, page.Cell, tag);
  const auto texts = FCut.Tags.find({page.Cell.Column, page.Cell.Row});
  if (texts == FCut.Tags.end() || texts->second.Empty()) return tag.PlainCode();
  return tag.Code(texts->second.Link, texts->second.Target, texts->second.Alt);
}

// A cell as the page shows it.
THtmlSlice TSliceExporter::HtmlSliceOf(TPixelGraphic& source, const TExportPlan& plan, std::size_t index,
                                       TSliceSink& sink) const {
  const TPageCell& page = plan.Page.Cells[index];
  const TGridCell& cell = page.Cell;
  const std::size_t first = plan.FirstFile[index];
  const bool retina = Settings.Options.Retina;
  THtmlSlice slice;
  const TGridCell shown = retina ? HalfCell(cell) : cell;
  if (!page.Skip) {  // a skipped cell has no file
    slice.Name = std::filesystem::path(sink.SlicePath(first)).filename().string();
    if (retina) slice.Name2x = std::filesystem::path(sink.SlicePath(first + 1)).filename().string();
  }
  slice.Width = shown.Width;
  slice.Height = shown.Height;
  slice.Place = page.Column;
  slice.ColumnSpan = page.ColumnSpan;
  slice.RowSpan = page.RowSpan;
  if (plan.Rules.Email || plan.AltColours || page.Skip)
    slice.Average = AverageColor(source, cell, plan.Rules.Settings.PageColor);
  slice.AltStyle = plan.Rules.Email || plan.AltColours;
  return slice;
}
