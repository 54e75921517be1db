#include "app/export/exportplan.h"

#include <algorithm>
#include <set>

#include "app/common/text.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/formats/registry.h"

TCellSliceFormat CellSliceFormat(const TSliceFormat& exportFormat, const TCellData& cells, const TGridCell& cell) {
  const auto own = cells.Formats.find({cell.Column, cell.Row});
  if (own == cells.Formats.end()) return {exportFormat, false};
  const TOutputFormat* format = FindOutputFormat(own->second.Format);
  // The cells file is checked when read: a name unknown here can only come
  // from a later version, whose slice keeps the export's format.
  if (!format) return {exportFormat, false};
  return {{format, own->second.Quality == TCellFormat::NoQuality ? -1 : own->second.Quality}, true};
}

namespace {

// The extension of a cell's slice files: none where the format is chosen
// (the one chosen is added), else that of the cell's own format, else the
// export's.
std::string EndingOf(const TCellSliceFormat& format, const std::string& extension) {
  if (!format.Format.Format) return extension;
  if (format.Format.Format->Chosen()) return "";
  return format.Own ? format.Format.Format->Extension : extension;
}

// The writer of a slice of a fixed format: its format's, else the export's,
// else the one its file's extension names.
std::string WriterOf(const TCellSliceFormat& format, const TExportSettings& settings, const std::string& path) {
  if (format.Format.Format) return format.Format.Format->Writer;
  return settings.OutputWriter.empty() ? FileExtensionOf(path) : settings.OutputWriter;
}

// The files of a cell, in the order they are written: with retina slices
// the half-size one, then the full-size one.
std::vector<TPlannedSlice> CellSlices(const TExportPlan& plan, std::size_t index, const TCellData& cells,
                                      const TExportSettings& settings) {
  const TGridCell& cell = plan.Page.Cells[index].Cell;
  const TCellSliceFormat format = CellSliceFormat({settings.OutputFormat, -1}, cells, cell);
  const std::string ending = EndingOf(format, settings.OutputExtension);
  const TExportNames& names = plan.Names;
  const auto file = [&](const std::string& name) {
    TPlannedSlice slice;
    slice.Cell = index;
    slice.Path = PathInDirectory(names.Directory, name);
    slice.Format = format;
    if (!slice.Chosen()) slice.Writer = WriterOf(format, settings, slice.Path);
    return slice;
  };
  // A slice of a name of its own keeps it whatever the page is called.
  const auto own = cells.Names.find({cell.Column, cell.Row});
  const bool named = own != cells.Names.end();
  std::vector<TPlannedSlice> files{
      file(named ? own->second + ending : SliceFileName(names.BaseName, cell.Column, cell.Row, ending))};
  if (settings.Options.Retina) {
    const TGridCell half = HalfCell(cell);
    files[0].Width = half.Width;
    files[0].Height = half.Height;
    files.push_back(
        file(named ? own->second + "@2x" + ending : Slice2xFileName(names.BaseName, cell.Column, cell.Row, ending)));
  }
  return files;
}

// Every cell's slices, with the rows of the table each cell begins and ends in.
void PlanCells(TExportPlan& plan, const TCellData& cells, const TExportSettings& settings) {
  const std::size_t rows = plan.Page.Cells.empty() ? 0 : plan.Page.RowEdges.size() - 1;
  plan.Starting.resize(rows);
  plan.Ending.resize(rows);
  const std::vector<std::string> chosen = AutoFormatExtensions(AutoFormatsFor(plan.Rules));
  for (std::size_t index = 0; index < plan.Page.Cells.size(); ++index) {
    const TPageCell& page = plan.Page.Cells[index];
    plan.Starting[std::size_t(page.Row)].push_back(index);
    plan.Ending[std::size_t(page.Row + page.RowSpan - 1)].push_back(index);
    plan.FirstFile.push_back(plan.Slices.size());
    if (page.Skip) continue;
    for (TPlannedSlice& file : CellSlices(plan, index, cells, settings)) {
      if (!file.Chosen()) plan.Outputs.push_back(file.Path);
      for (const std::string& extension : file.Chosen() ? chosen : std::vector<std::string>{})
        plan.Outputs.push_back(file.Path + extension);
      plan.Slices.push_back(std::move(file));
    }
  }
}

bool FormatsChosen(const TExportSettings& settings, const TCellData& cells) {
  if (settings.OutputFormat && settings.OutputFormat->Chosen()) return true;
  return std::any_of(cells.Formats.begin(), cells.Formats.end(), [](const auto& own) {
    const TOutputFormat* format = FindOutputFormat(own.second.Format);
    return format && format->Chosen();
  });
}

// What the writers of the slices can do. Each is looked up once: a grid of
// a million cells has a handful of writers. The writers a chosen format may
// take are all safe on threads.
void AddWriterFacts(const TExportPlan& plan, TRoadFacts& facts) {
  std::set<std::string> writers;
  bool inMemory = false;
  for (const TPlannedSlice& slice : plan.Slices) {
    if (!slice.Chosen()) writers.insert(slice.Writer);
    inMemory = inMemory || slice.InMemory();
    facts.OwnFormats = facts.OwnFormats || slice.Format.Own;
  }
  facts.WritersSafeOnThreads = true;
  facts.WritersTakeRowsTopDown = !inMemory;
  for (const std::string& name : writers) {
    try {
      const TFileFormatWriter& writer = FindWriter(name);
      facts.WritersSafeOnThreads = facts.WritersSafeOnThreads && writer.SafeOnThreads;
      facts.WritersTakeRowsTopDown = facts.WritersTakeRowsTopDown && writer.TakesRowsTopDown;
    } catch (...) {
      // An unknown writer fails at its first slice, as on one thread.
      facts.WritersSafeOnThreads = facts.WritersTakeRowsTopDown = false;
    }
  }
}

TRoadFacts FactsOf(const TExportPlan& plan, const TExportSettings& settings, const TSourceFacts& source) {
  TRoadFacts facts;
  facts.SourceLoading = source.Loading;
  facts.SourceAlpha = source.Alpha;
  facts.EncodeThreads = settings.EncodeThreads;
  facts.PerSliceDialog = settings.Options.IncAltTags;
  facts.KeepLastSlice = settings.KeepLastSlice;
  facts.KeepSourceRows = settings.KeepSourceRows;
  facts.PageReadsSource = plan.Rules.Email || plan.AltColours || plan.EdgeBackground ||
                          std::any_of(plan.Page.Cells.begin(), plan.Page.Cells.end(),
                                      [](const TPageCell& cell) { return cell.Skip; });
  facts.Retina = settings.Options.Retina;
  AddWriterFacts(plan, facts);
  return facts;
}

}  // namespace

std::string ProfileNotKeptText(const TExportPlan& plan, const TPixelGraphic& source) {
  if (!source.ColorProfile || plan.Rules.Settings.ColorProfile != TColorProfileMode::cpmKeep) return "";
  std::set<std::string> converted;
  for (const TPlannedSlice& slice : plan.Slices) {
    // A chosen format may take WebP, the one of them that cannot carry it.
    if (slice.Chosen()) {
      if (AutoFormatsFor(plan.Rules) & afWebp) converted.insert("webp");
      continue;
    }
    try {
      if (!FindWriter(slice.Writer).EmbedsProfile) converted.insert(slice.Writer);
    } catch (...) {
      // An unknown writer fails at its slice.
    }
  }
  if (converted.empty()) return "";
  std::string names;
  for (const std::string& name : converted) names += (names.empty() ? "" : ", ") + name;
  return "ColorProfile=keep: " + names + " slices cannot carry the image's colour profile; they are written "
         "converted to sRGB";
}

std::string SharedOutputProblem(const TExportPlan& plan) {
  std::set<std::string> seen;
  for (const std::string& path : plan.Outputs)
    if (!seen.insert(LowerAscii(path)).second)
      return "Two files of the export would be \"" + path + "\" (slice names must differ from each other and " +
             "from the page's other files); nothing was written.";
  return "";
}

TExportPlan PlanExport(const TGridData& cut, const TExportSettings& settings, const std::string& htmlPath,
                       const TSourceFacts& source, const TPGLibrarySettings& library) {
  const TExportOptions& options = settings.Options;
  TExportPlan plan;
  plan.Names = ExportNamesOf(htmlPath, settings.SliceBaseName);
  plan.HtmlPath = htmlPath;
  plan.Rules = {library, options.Style == TPageStyle::Email};
  plan.FormatsChosen = FormatsChosen(settings, cut.Cells);
  plan.AltColours = options.Style != TPageStyle::Classic &&
                    (options.IncAltTags || std::any_of(cut.Tags.begin(), cut.Tags.end(),
                                                       [](const auto& texts) { return !texts.second.Alt.empty(); }));
  plan.EdgeBackground = options.Page && options.PageBackground.empty();
  if (options.AlwaysGrid) {
    // The per-slice dialogs may give texts and formats to a grid that has none yet.
    plan.GridFiles = GridDataPathsFor(PathInDirectory(plan.Names.Directory, plan.Names.BaseName + ".grd"), cut,
                                      options.IncAltTags);
  }
  plan.Page = PageLayoutOf(cut.Grid, cut.Cells);
  plan.FilesPerCell = options.Retina ? 2 : 1;
  PlanCells(plan, cut.Cells, settings);
  plan.Outputs.push_back(htmlPath);
  for (const std::string* path : {&plan.GridFiles.Grid, &plan.GridFiles.Tags, &plan.GridFiles.Cells})
    if (!path->empty()) plan.Outputs.push_back(*path);
  plan.Road = RoadOf(FactsOf(plan, settings, source));
  if (!plan.Page.Cells.empty())
    plan.CopyBudget = BytesPerRowFor(24, plan.Page.ColumnEdges.back()) * plan.Page.RowEdges.back() / 8;
  return plan;
}
