#include "app/cut/griddata.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <tuple>
#include <unordered_set>

#include "app/common/atomicfile.h"
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

// The place of a grid column (row) among the filled ones: of the first
// filled one at or after it.
std::size_t PlaceOf(const std::vector<int>& filled, std::int64_t number) {
  return std::size_t(std::lower_bound(filled.begin(), filled.end(), number) - filled.begin());
}

struct TPlaced {
  TPageCell Page;
  std::size_t Left, Right, Top, Bottom;  // places of filled columns and rows, right and bottom excluded
};

// The table's columns (rows): the places where a cell begins, or all of
// them when no cell does.
std::vector<std::size_t> TablePlaces(const std::vector<bool>& begins) {
  std::vector<std::size_t> places;
  for (std::size_t p = 0; p < begins.size(); ++p)
    if (begins[p]) places.push_back(p);
  if (places.empty())
    for (std::size_t p = 0; p < begins.size(); ++p) places.push_back(p);
  return places;
}

std::vector<std::int32_t> Edges(const std::vector<std::size_t>& places, const std::vector<int>& filled,
                                const TIntegerList& lines) {
  std::vector<std::int32_t> edges;
  for (const std::size_t p : places) edges.push_back(lines[filled[p] - 1]);
  if (!filled.empty()) edges.push_back(lines[filled.back()]);
  return edges;
}

}  // namespace

TPageLayout PageLayoutOf(const TSplitGrid& grid, const TCellData& cells) {
  TSplitGrid sorted = grid;
  sorted.SortBoth();
  const std::vector<int> columns = sorted.FilledColumns(), rows = sorted.FilledRows();
  const std::size_t width = columns.size(), height = rows.size();
  // Which merge, if any, holds each filled cell.
  std::vector<int> owner(width * height, -1);
  std::vector<TPlaced> merged;
  for (const auto& [corner, span] : cells.Merges) {
    const std::int64_t right = std::int64_t(corner.first) + span.Columns, bottom = std::int64_t(corner.second) + span.Rows;
    if (right - 1 > sorted.ColumnCount() || bottom - 1 > sorted.RowCount()) continue;
    TPlaced m{{}, PlaceOf(columns, corner.first), PlaceOf(columns, right), PlaceOf(rows, corner.second),
              PlaceOf(rows, bottom)};
    if (m.Left == m.Right || m.Top == m.Bottom) continue;  // no pixels
    bool free = true;
    for (std::size_t r = m.Top; r < m.Bottom && free; ++r)
      for (std::size_t c = m.Left; c < m.Right && free; ++c) free = owner[r * width + c] < 0;
    if (!free) continue;
    for (std::size_t r = m.Top; r < m.Bottom; ++r)
      for (std::size_t c = m.Left; c < m.Right; ++c) owner[r * width + c] = int(merged.size());
    TGridCell& cell = m.Page.Cell;
    cell.Column = corner.first;
    cell.Row = corner.second;
    cell.Left = sorted.VertSplits[corner.first - 1];
    cell.Top = sorted.HorzSplits[corner.second - 1];
    cell.Width = sorted.VertSplits[int(right - 1)] - cell.Left;
    cell.Height = sorted.HorzSplits[int(bottom - 1)] - cell.Top;
    merged.push_back(m);
  }
  std::vector<TPlaced> placed;
  std::vector<bool> columnBegins(width, false), rowBegins(height, false);
  for (std::size_t r = 0; r < height; ++r)
    for (std::size_t c = 0; c < width; ++c) {
      const int m = owner[r * width + c];
      if (m < 0) {
        placed.push_back({{sorted.Cell(columns[c], rows[r])}, c, c + 1, r, r + 1});
      } else if (merged[std::size_t(m)].Left == c && merged[std::size_t(m)].Top == r) {
        placed.push_back(merged[std::size_t(m)]);
      } else {
        continue;
      }
      columnBegins[c] = rowBegins[r] = true;
    }
  const std::vector<std::size_t> tableColumns = TablePlaces(columnBegins), tableRows = TablePlaces(rowBegins);
  TPageLayout layout;
  layout.ColumnEdges = Edges(tableColumns, columns, sorted.VertSplits);
  layout.RowEdges = Edges(tableRows, rows, sorted.HorzSplits);
  const auto index = [](const std::vector<std::size_t>& places, std::size_t place) {
    return int(std::lower_bound(places.begin(), places.end(), place) - places.begin());
  };
  for (TPlaced& p : placed) {
    TPageCell& page = p.Page;
    page.Skip = cells.Skips.count({page.Cell.Column, page.Cell.Row}) > 0;
    page.Column = index(tableColumns, p.Left);
    page.Row = index(tableRows, p.Top);
    page.ColumnSpan = index(tableColumns, p.Right) - page.Column;
    page.RowSpan = index(tableRows, p.Bottom) - page.Row;
    layout.SpansColumns = layout.SpansColumns || page.ColumnSpan > 1;
    layout.SpansRows = layout.SpansRows || page.RowSpan > 1;
    layout.Cells.push_back(page);
  }
  return layout;
}

int SliceCountOf(const TPageLayout& page) {
  return int(std::count_if(page.Cells.begin(), page.Cells.end(), [](const TPageCell& cell) { return !cell.Skip; }));
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

std::set<TCellKey> CarryCellData(const std::set<TCellKey>& data, const TSplitGrid& from, const TSplitGrid& to) {
  std::map<TCellKey, bool> marked;
  for (const TCellKey& cell : data) marked[cell] = true;
  std::set<TCellKey> carried;
  for (const auto& [cell, yes] : CarryCellData(marked, from, to)) carried.insert(cell);
  return carried;
}

namespace {

// The numbers of `to`'s spans that map into first..last of `from`'s: they
// follow each other, as the spans of both lists ascend.
std::optional<std::pair<int, int>> SpansFrom(const std::map<int, int>& overlaps, std::int64_t first,
                                             std::int64_t last) {
  std::optional<std::pair<int, int>> range;
  for (const auto& [next, previous] : overlaps)
    if (previous >= first && previous <= last) {
      if (!range) range = std::pair{next, next};
      range->second = next;
    }
  return range;
}

}  // namespace

std::map<TCellKey, TCellSpan> CarryMerges(const std::map<TCellKey, TCellSpan>& merges, const TSplitGrid& from,
                                          const TSplitGrid& to) {
  std::map<TCellKey, TCellSpan> carried;
  if (merges.empty()) return carried;
  const std::map<int, int> columns = BestOverlaps(from.VertSplits, to.VertSplits);
  const std::map<int, int> rows = BestOverlaps(from.HorzSplits, to.HorzSplits);
  for (const auto& [cell, span] : merges) {
    const auto across = SpansFrom(columns, cell.first, std::int64_t(cell.first) + span.Columns - 1);
    const auto down = SpansFrom(rows, cell.second, std::int64_t(cell.second) + span.Rows - 1);
    if (!across || !down) continue;
    const TCellSpan next{across->second - across->first + 1, down->second - down->first + 1};
    if (next.Columns > 1 || next.Rows > 1) carried[{across->first, down->first}] = next;
  }
  return carried;
}

namespace {

// The top-left cell of the merged cell that holds cell, or cell itself.
TCellKey NameOf(const std::map<TCellKey, TCellSpan>& merges, const TCellKey& cell) {
  for (auto it = merges.begin(); it != merges.end() && it->first.first <= cell.first; ++it) {
    const auto& [corner, span] = *it;
    if (corner.second <= cell.second && std::int64_t(corner.first) + span.Columns > cell.first &&
        std::int64_t(corner.second) + span.Rows > cell.second)
      return corner;
  }
  return cell;
}

const TCellKey& KeyOf(const TCellKey& key) { return key; }
template <class T>
const TCellKey& KeyOf(const std::pair<const TCellKey, T>& entry) {
  return entry.first;
}
void Rename(std::set<TCellKey>::node_type& node, const TCellKey& name) { node.value() = name; }
template <class Node>
void Rename(Node& node, const TCellKey& name) {
  node.key() = name;
}

// Row by row: the top-left cell's own data stays, else the first covered
// cell's data goes to it.
template <class Container>
void Fold(Container& data, const std::map<TCellKey, TCellSpan>& merges) {
  std::vector<TCellKey> keys;
  for (const auto& entry : data) keys.push_back(KeyOf(entry));
  std::sort(keys.begin(), keys.end(),
            [](const TCellKey& a, const TCellKey& b) { return std::tie(a.second, a.first) < std::tie(b.second, b.first); });
  for (const TCellKey& key : keys) {
    const TCellKey name = NameOf(merges, key);
    if (name == key) continue;
    auto node = data.extract(key);
    if (data.count(name)) continue;
    Rename(node, name);
    data.insert(std::move(node));
  }
}

}  // namespace

void FoldIntoMerges(TGridData& data) {
  if (data.Cells.Merges.empty()) return;
  Fold(data.Tags, data.Cells.Merges);
  Fold(data.Cells.Skips, data.Cells.Merges);
  Fold(data.Cells.Formats, data.Cells.Merges);
}

TGridData WithLines(const TGridData& data, const TSplitGrid& lines) {
  TGridData next;
  next.Grid = lines;
  next.Tags = CarryCellData(data.Tags, data.Grid, lines);
  next.Cells.Merges = CarryMerges(data.Cells.Merges, data.Grid, lines);
  next.Cells.Skips = CarryCellData(data.Cells.Skips, data.Grid, lines);
  next.Cells.Formats = CarryCellData(data.Cells.Formats, data.Grid, lines);
  FoldIntoMerges(next);
  return next;
}

std::optional<TCellKey> CellAt(const TSplitGrid& grid, std::int64_t x, std::int64_t y) {
  TSplitGrid sorted = grid;
  sorted.SortBoth();
  const auto find = [](const TIntegerList& lines, const std::vector<int>& filled, std::int64_t p) -> int {
    for (const int number : filled)
      if (p >= lines[number - 1] && (p < lines[number] || (p == lines[number] && number == filled.back())))
        return number;
    return 0;
  };
  const int column = find(sorted.VertSplits, sorted.FilledColumns(), x);
  const int row = find(sorted.HorzSplits, sorted.FilledRows(), y);
  if (column == 0 || row == 0) return std::nullopt;
  return TCellKey{column, row};
}

TCellRange CellRangeOf(const TCellData& cells, TCellKey from, TCellKey to) {
  TCellRange range{std::min(from.first, to.first), std::min(from.second, to.second),
                   std::max(from.first, to.first), std::max(from.second, to.second)};
  // A merged cell taken in may reach out and touch another.
  for (bool grew = true; grew;) {
    grew = false;
    for (const auto& [corner, span] : cells.Merges) {
      const int right = corner.first + span.Columns - 1, bottom = corner.second + span.Rows - 1;
      if (corner.first > range.Right || right < range.Left || corner.second > range.Bottom || bottom < range.Top)
        continue;
      const TCellRange wider{std::min(range.Left, corner.first), std::min(range.Top, corner.second),
                             std::max(range.Right, right), std::max(range.Bottom, bottom)};
      grew = grew || !(wider == range);
      range = wider;
    }
  }
  return range;
}

TGridCell RectOf(const TSplitGrid& grid, const TCellRange& range) {
  TSplitGrid sorted = grid;
  sorted.SortBoth();
  TGridCell rect;
  rect.Column = range.Left;
  rect.Row = range.Top;
  if (range.Left < 1 || range.Top < 1 || range.Right >= sorted.VertSplits.Count() ||
      range.Bottom >= sorted.HorzSplits.Count())
    return rect;
  rect.Left = sorted.VertSplits[range.Left - 1];
  rect.Top = sorted.HorzSplits[range.Top - 1];
  rect.Width = sorted.VertSplits[range.Right] - rect.Left;
  rect.Height = sorted.HorzSplits[range.Bottom] - rect.Top;
  return rect;
}

namespace {

bool Inside(const TCellRange& range, const TCellKey& cell) {
  return cell.first >= range.Left && cell.first <= range.Right && cell.second >= range.Top &&
         cell.second <= range.Bottom;
}

bool Touches(const TCellRange& range, const TCellKey& corner, const TCellSpan& span) {
  return corner.first <= range.Right && corner.first + span.Columns - 1 >= range.Left &&
         corner.second <= range.Bottom && corner.second + span.Rows - 1 >= range.Top;
}

}  // namespace

TGridData MergedCells(const TGridData& data, const TCellRange& range) {
  TGridData after = data;
  const TCellKey corner{range.Left, range.Top};
  std::erase_if(after.Cells.Merges, [&](const auto& merge) { return Inside(range, merge.first); });
  std::erase_if(after.Cells.Skips, [&](const TCellKey& cell) { return Inside(range, cell) && cell != corner; });
  if (range.Right > range.Left || range.Bottom > range.Top)
    after.Cells.Merges[corner] = {range.Right - range.Left + 1, range.Bottom - range.Top + 1};
  FoldIntoMerges(after);
  return after;
}

TGridData UnmergedCells(const TGridData& data, const TCellRange& range) {
  TGridData after = data;
  for (const auto& [corner, span] : data.Cells.Merges) {
    if (!Touches(range, corner, span)) continue;
    after.Cells.Merges.erase(corner);
    const auto tags = data.Tags.find(corner);
    const auto format = data.Cells.Formats.find(corner);
    for (int row = corner.second; row < corner.second + span.Rows; ++row)
      for (int column = corner.first; column < corner.first + span.Columns; ++column) {
        const TCellKey cell{column, row};
        if (tags != data.Tags.end()) after.Tags[cell] = tags->second;
        if (format != data.Cells.Formats.end()) after.Cells.Formats[cell] = format->second;
        if (data.Cells.Skips.count(corner)) after.Cells.Skips.insert(cell);
      }
  }
  return after;
}

TGridData SkippedCells(const TGridData& data, const TCellRange& range, bool skip) {
  TGridData after = data;
  for (int row = range.Top; row <= range.Bottom; ++row)
    for (int column = range.Left; column <= range.Right; ++column)
      if (skip)
        after.Cells.Skips.insert({column, row});
      else
        after.Cells.Skips.erase({column, row});
  FoldIntoMerges(after);
  return after;
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
  const std::string cellsPath = CompanionPath(gridPath, CellsExtension);
  if (CellsFileWanted(cellsPath, data.Cells)) files.push_back(StagedLines(cellsPath, CellsFileLines(data.Cells)));
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
