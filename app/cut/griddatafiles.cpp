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

TTagMap FittedTags(const std::string& path, const TSplitGrid& unrecorded, const TSplitGrid& grid,
                   std::string& moved, std::vector<std::pair<int, int>>* strays) {
  TLinesRecord record;
  TGridData texts{{}, ReadTagsFile(path, &record), {}};
  texts.Grid = RecordedGrid(record, unrecorded);
  if (strays) *strays = CellsNotInGrid(texts.Tags, texts.Grid);
  moved = FitToLines(texts, grid, path);
  if (!record.Known()) moved.clear();
  return std::move(texts.Tags);
}

TCellData FittedCells(const std::string& path, const TSplitGrid& unrecorded, const TSplitGrid& grid,
                      const TCellsWarningEvent& onWarning, std::string& moved) {
  TLinesRecord record;
  TCellsFileLines where;
  TGridData cells{{}, {}, ReadCellsFile(path, onWarning, &record, &where)};
  cells.Grid = RecordedGrid(record, unrecorded);
  if (const std::string problem = CellsProblem(cells.Cells, cells.Grid, path, &where); !problem.empty())
    throw std::runtime_error(problem);
  moved = FitToLines(cells, grid, path);
  if (!record.Known()) moved.clear();
  return std::move(cells.Cells);
}

TGridData ReadGridData(const TGridDataPaths& paths, int width, int height, TGridReading& reading) {
  TSplitGrid lines;
  LoadGrid(paths.Grid, lines, width, height, nullptr, &reading.Strays);
  const auto warn = [&reading](const std::string& message) { reading.Warnings.push_back(message); };
  // Each companion counts in the lines it records, or in the grid file's.
  TGridData data{FoldedLines({lines, {}, {}}).Grid, {}, {}};
  std::string tagsMoved, cellsMoved;
  if (!paths.Tags.empty() && Exists(paths.Tags))
    data.Tags = FittedTags(paths.Tags, lines, data.Grid, tagsMoved, &reading.StrayTexts);
  if (!paths.Cells.empty() && Exists(paths.Cells))
    data.Cells = FittedCells(paths.Cells, lines, data.Grid, warn, cellsMoved);
  for (const std::string& moved : {tagsMoved, cellsMoved})
    if (!moved.empty()) warn(moved);
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
