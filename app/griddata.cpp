#include "app/griddata.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <unordered_set>

#include "app/atomicfile.h"
#include "pgraphic/core/stagedfile.h"

std::string CompanionPath(const std::string& gridPath, const std::string& extension) {
  std::filesystem::path path(gridPath);
  // A leading dot makes no extension: ".grd" alone is a name.
  if (path.has_stem() && path.has_extension()) path.replace_extension();
  return path.string() + extension;
}

std::vector<TGridCell> CellsOf(const TSplitGrid& grid) {
  TSplitGrid sorted = grid;
  sorted.SortBoth();
  std::vector<TGridCell> cells;
  for (int row : sorted.FilledRows())
    for (int column : sorted.FilledColumns()) cells.push_back(sorted.Cell(column, row));
  return cells;
}

namespace {

struct TSpan {
  int Number;
  std::int64_t From, To;
};

std::vector<TSpan> FilledSpans(const TIntegerList& list) {
  std::vector<std::int32_t> v = list.Values();
  std::sort(v.begin(), v.end());
  std::vector<TSpan> spans;
  for (std::size_t i = 1; i < v.size(); ++i)
    if (v[i] > v[i - 1]) spans.push_back({int(i), v[i - 1], v[i]});
  return spans;
}

}  // namespace

std::map<int, int> BestOverlaps(const TIntegerList& from, const TIntegerList& to) {
  const std::vector<TSpan> before = FilledSpans(from), after = FilledSpans(to);
  std::map<int, int> best;
  // Both lists of spans ascend without overlapping, so one sweep will do.
  std::size_t first = 0;
  for (const TSpan& span : after) {
    while (first < before.size() && before[first].To <= span.From) ++first;
    std::int64_t most = 0;
    int number = 0;
    for (std::size_t i = first; i < before.size() && before[i].From < span.To; ++i) {
      const std::int64_t shared = std::min(span.To, before[i].To) - std::max(span.From, before[i].From);
      if (shared > most) most = shared, number = before[i].Number;
    }
    best[span.Number] = number;
  }
  return best;
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

bool TagsFileWanted(const std::string& tagsPath, const TTagMap& tags) {
  for (const auto& [cell, texts] : tags)
    if (!texts.Empty()) return true;
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(tagsPath, ec));
}

namespace {

TStagedFile StagedLines(const std::string& path, const std::vector<std::string>& lines) {
  const std::string text = CrLfText(lines);
  TStagedFile file(path);
  file.Stream().WriteBuffer(text.data(), std::int64_t(text.size()));
  file.Finish();
  return file;
}

}  // namespace

void SaveGridData(const std::string& gridPath, const TGridData& data) {
  std::vector<TStagedFile> files;
  files.push_back(StagedLines(gridPath, GridFileLines(data.Grid)));
  const std::string tagsPath = CompanionPath(gridPath, TagsExtension);
  if (TagsFileWanted(tagsPath, data.Tags)) files.push_back(StagedLines(tagsPath, TagsFileLines(data.Tags)));
  CommitStagedFiles(files);
}

TGridData ReadGridData(const std::string& gridPath, int width, int height,
                       const TGridMessageEvent& onMessage) {
  TGridData data;
  LoadGrid(gridPath, data.Grid, width, height, onMessage);
  const std::string tagsPath = CompanionPath(gridPath, TagsExtension);
  std::error_code ec;
  if (std::filesystem::exists(std::filesystem::symlink_status(tagsPath, ec)))
    data.Tags = ReadTagsFile(tagsPath);
  return data;
}

namespace {

void AddInside(const TIntegerList& from, TIntegerList& to, int oldExtent, int extent) {
  std::unordered_set<std::int32_t> placed(to.Values().begin(), to.Values().end());
  for (std::int32_t p : from.Values())
    if (p > 0 && p < extent && p != oldExtent && placed.insert(p).second) to.Add(p);
}

}  // namespace

TSplitGrid LinesForNewImage(const TSplitGrid& grid, int oldWidth, int oldHeight, int width,
                            int height) {
  TSplitGrid fitted;
  fitted.ResetToImage(width, height);
  AddInside(grid.HorzSplits, fitted.HorzSplits, oldHeight, height);
  AddInside(grid.VertSplits, fitted.VertSplits, oldWidth, width);
  return fitted;
}
