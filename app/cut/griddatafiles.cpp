#include "app/cut/griddatafiles.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "app/common/atomicfile.h"

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
    files.push_back(StagedText(paths.Tags, CrLfText(TagsFileLines(data.Tags))));
  if (!paths.Cells.empty()) files.push_back(StagedText(paths.Cells, CrLfText(CellsFileLines(data.Cells))));
  return files;
}

void SaveGridData(const std::string& gridPath, const TGridData& data) {
  std::vector<TStagedFile> files = StageGridData(GridDataPathsFor(gridPath, data), data);
  CommitStagedFiles(files);
}

TGridData ReadGridData(const std::string& gridPath, int width, int height,
                       const TGridMessageEvent& onMessage) {
  TGridData data;
  LoadGrid(gridPath, data.Grid, width, height, onMessage);
  const std::string tagsPath = CompanionPath(gridPath, TagsExtension);
  if (Exists(tagsPath)) data.Tags = ReadTagsFile(tagsPath);
  const std::string cellsPath = CompanionPath(gridPath, CellsExtension);
  if (Exists(cellsPath)) {
    data.Cells = ReadCellsFile(cellsPath, onMessage);
    if (const std::string problem = CellsProblem(data.Cells, data.Grid, cellsPath); !problem.empty())
      throw std::runtime_error(problem);
  }
  return data;
}

