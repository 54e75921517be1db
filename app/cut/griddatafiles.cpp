#include "app/cut/griddatafiles.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "app/common/atomicfile.h"
#include "app/cut/cellcommands.h"
#include "app/cut/gridfit.h"

std::string CompanionPath(const std::string& gridPath, const std::string& extension) {
  std::filesystem::path path(gridPath);
  // A leading dot makes no extension: ".grd" alone is a name.
  if (path.has_stem() && path.has_extension()) path.replace_extension();
  return path.string() + extension;
}

std::vector<std::pair<int, int>> CellsNotInGrid(const TTagMap& data, const TSplitGrid& grid) {
  TSplitGrid sorted = grid;
  sorted.SortBoth();
  const std::vector<int> columns = sorted.FilledColumns(), rows = sorted.FilledRows();
  std::vector<std::pair<int, int>> missing;
  for (const auto& [cell, texts] : data)
    if (!std::binary_search(columns.begin(), columns.end(), cell.first) ||
        !std::binary_search(rows.begin(), rows.end(), cell.second))
      missing.push_back(cell);
  return missing;
}

namespace {

bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

}  // namespace

bool TagsFileWanted(const std::string& tagsPath, const TTagMap& tags) {
  for (const auto& [cell, texts] : tags)
    if (!texts.Empty()) return true;
  return Exists(tagsPath);
}

bool CellsFileWanted(const std::string& cellsPath, const TCellData& cells) {
  return !cells.Empty() || Exists(cellsPath);
}

TGridDataPaths GridDataPathsFor(const std::string& gridPath, const TGridData& data, bool editable) {
  TGridDataPaths paths{gridPath, CompanionPath(gridPath, TagsExtension), CompanionPath(gridPath, CellsExtension)};
  if (!editable && !TagsFileWanted(paths.Tags, data.Tags)) paths.Tags.clear();
  if (!editable && !CellsFileWanted(paths.Cells, data.Cells)) paths.Cells.clear();
  return paths;
}

std::vector<TStagedFile> StageGridData(const TGridDataPaths& paths, const TGridData& data) {
  std::vector<TStagedFile> files;
  files.push_back(StagedText(paths.Grid, CrLfText(GridFileLines(data.Grid))));
  if (!paths.Tags.empty() && TagsFileWanted(paths.Tags, data.Tags))
    files.push_back(StagedText(paths.Tags, CrLfText(TagsFileLines(data.Tags, &data.Grid))));
  if (!paths.Cells.empty())
    files.push_back(StagedText(paths.Cells, CrLfText(CellsFileLines(data.Cells, &data.Grid))));
  return files;
}

void SaveGridData(const std::string& gridPath, const TGridData& data) {
  std::vector<TStagedFile> files = StageGridData(GridDataPathsFor(gridPath, data), data);
  CommitStagedFiles(files);
}

TGridData ReadGridData(const TGridDataPaths& paths, int width, int height, TGridReading& reading) {
  TSplitGrid lines;
  LoadGrid(paths.Grid, lines, width, height, nullptr, &reading.Strays);
  const auto warn = [&reading](const std::string& message) { reading.Warnings.push_back(message); };
  // Each companion counts in the lines it records, or in the grid file's.
  TLinesRecord tagsLines, cellsLines;
  TGridData texts{lines, {}, {}}, cells{lines, {}, {}};
  if (!paths.Tags.empty() && Exists(paths.Tags)) {
    texts.Tags = ReadTagsFile(paths.Tags, &tagsLines);
    texts.Grid = RecordedGrid(tagsLines, lines);
    reading.StrayTexts = CellsNotInGrid(texts.Tags, texts.Grid);
  }
  if (!paths.Cells.empty() && Exists(paths.Cells)) {
    TCellsFileLines where;
    cells.Cells = ReadCellsFile(paths.Cells, warn, &cellsLines, &where);
    cells.Grid = RecordedGrid(cellsLines, lines);
    if (const std::string problem = CellsProblem(cells.Cells, cells.Grid, paths.Cells, &where); !problem.empty())
      throw std::runtime_error(problem);
  }
  const TSplitGrid folded = FoldedLines({lines, {}, {}}).Grid;
  if (const std::string moved = FitToLines(texts, folded, paths.Tags); !moved.empty() && tagsLines.Known())
    warn(moved);
  if (const std::string moved = FitToLines(cells, folded, paths.Cells); !moved.empty() && cellsLines.Known())
    warn(moved);
  TGridData data{folded, std::move(texts.Tags), std::move(cells.Cells)};
  FoldIntoMerges(data);
  return data;
}

TGridData ReadGridData(const std::string& gridPath, int width, int height,
                       const TGridMessageEvent& onMessage) {
  TGridReading reading;
  const TGridData data = ReadGridData(GridDataPathsFor(gridPath, {}, true), width, height, reading);
  TellGridReading(reading, onMessage);
  return data;
}

void TellGridReading(const TGridReading& reading, const TGridMessageEvent& onMessage) {
  if (!onMessage) return;
  for (const TGridStray& stray : reading.Strays)
    if (stray.Beyond()) onMessage(OutOfBoundsMessage(stray.Text));
  for (const std::string& warning : reading.Warnings) onMessage(warning);
}
