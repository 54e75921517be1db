#include "app/cut/cellcommands.h"

#include <algorithm>
#include <tuple>
#include <vector>

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
  Fold(data.Cells.Names, data.Cells.Merges);
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

