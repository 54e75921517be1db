#include "app/cut/gridfit.h"

#include <algorithm>
#include <set>
#include <vector>

#include "app/cut/carrydata.h"
#include "app/cut/cellcommands.h"

TGridData FoldedLines(const TGridData& data) {
  TSplitGrid lines = data.Grid;
  lines.RemoveDuplicates();
  if (lines == data.Grid) return data;
  return WithLines(data, lines);
}

std::optional<TGridData> WithLineAdded(const TGridData& data, bool horizontal, std::int64_t position, int extent) {
  TSplitGrid lines = data.Grid;
  if (horizontal ? lines.ContainsHorz(ClampToExtent(position, extent)) : lines.ContainsVert(ClampToExtent(position, extent)))
    return std::nullopt;
  if (!(horizontal ? lines.AddSplitlineHorz(position, extent) : lines.AddSplitlineVert(position, extent)))
    return std::nullopt;
  return WithLines(data, lines);
}

namespace {

std::set<std::int32_t> Positions(const TIntegerList& list) { return {list.Values().begin(), list.Values().end()}; }

// "horizontal line 60 added", "vertical lines 120, 300 gone".
void SayChange(std::vector<std::string>& said, const char* direction, const std::set<std::int32_t>& positions,
               const char* what) {
  if (positions.empty()) return;
  std::string text = std::string(direction) + (positions.size() == 1 ? " line " : " lines ");
  std::size_t n = 0;
  for (const std::int32_t p : positions) {
    if (n++ == 8) {
      text += ", ...";
      break;
    }
    text += (n > 1 ? ", " : "") + std::to_string(p);
  }
  said.push_back(text + " " + what);
}

std::vector<std::string> LinesChanged(const TSplitGrid& from, const TSplitGrid& to) {
  std::vector<std::string> said;
  for (const bool horizontal : {true, false}) {
    const auto before = Positions(horizontal ? from.HorzSplits : from.VertSplits);
    const auto after = Positions(horizontal ? to.HorzSplits : to.VertSplits);
    std::set<std::int32_t> added, gone;
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::inserter(added, added.end()));
    std::set_difference(before.begin(), before.end(), after.begin(), after.end(), std::inserter(gone, gone.end()));
    const char* direction = horizontal ? "horizontal" : "vertical";
    SayChange(said, direction, added, "added");
    SayChange(said, direction, gone, "gone");
  }
  return said;
}

// The spans of a list, by their numbers once sorted: number n runs from
// the (n-1)th position to the nth.
std::vector<std::int32_t> Sorted(const TIntegerList& list) {
  std::vector<std::int32_t> v = list.Values();
  std::sort(v.begin(), v.end());
  return v;
}

bool SameSpan(const std::vector<std::int32_t>& from, int was, const std::vector<std::int32_t>& to, int is) {
  return was >= 1 && std::size_t(was) < from.size() && is >= 1 && std::size_t(is) < to.size() &&
         from[std::size_t(was) - 1] == to[std::size_t(is) - 1] && from[std::size_t(was)] == to[std::size_t(is)];
}

// The cells of to that hold data and whose rectangle from has not.
std::vector<TCellKey> CellsOfNewPlaces(const TGridData& carried, const TSplitGrid& from, const TSplitGrid& to) {
  const std::map<int, int> columns = BestOverlaps(from.VertSplits, to.VertSplits);
  const std::map<int, int> rows = BestOverlaps(from.HorzSplits, to.HorzSplits);
  const auto v0 = Sorted(from.VertSplits), v1 = Sorted(to.VertSplits);
  const auto h0 = Sorted(from.HorzSplits), h1 = Sorted(to.HorzSplits);
  std::set<TCellKey> cells;
  for (const auto& [cell, texts] : carried.Tags) cells.insert(cell);
  for (const auto& [cell, span] : carried.Cells.Merges) cells.insert(cell);
  for (const TCellKey& cell : carried.Cells.Skips) cells.insert(cell);
  for (const auto& [cell, format] : carried.Cells.Formats) cells.insert(cell);
  for (const auto& [cell, name] : carried.Cells.Names) cells.insert(cell);
  std::vector<TCellKey> moved;
  for (const TCellKey& cell : cells) {
    const auto column = columns.find(cell.first);
    const auto row = rows.find(cell.second);
    const bool same = column != columns.end() && row != rows.end() &&
                      SameSpan(v0, column->second, v1, cell.first) && SameSpan(h0, row->second, h1, cell.second);
    if (!same) moved.push_back(cell);
  }
  return moved;
}

}  // namespace

bool SameLines(const TSplitGrid& a, const TSplitGrid& b) {
  return Positions(a.HorzSplits) == Positions(b.HorzSplits) && Positions(a.VertSplits) == Positions(b.VertSplits);
}

std::string FitToLines(TGridData& data, const TSplitGrid& grid, const std::string& sourceName) {
  if (SameLines(data.Grid, grid)) {
    if (!(data.Grid == grid)) data = WithLines(data, grid);
    return "";
  }
  const TSplitGrid recorded = data.Grid;
  data = WithLines(data, grid);
  std::string text = sourceName + " was written for other lines (";
  const std::vector<std::string> changes = LinesChanged(recorded, grid);
  for (std::size_t i = 0; i < changes.size(); ++i) text += (i ? "; " : "") + changes[i];
  text += "); what belongs to cells stays where a cell's place is unchanged";
  const std::vector<TCellKey> moved = CellsOfNewPlaces(data, recorded, grid);
  if (moved.empty()) return text;
  text += ", and cells ";
  for (std::size_t i = 0; i < moved.size() && i < 8; ++i)
    text += (i ? "; " : "") + std::to_string(moved[i].first) + "," + std::to_string(moved[i].second);
  return text + (moved.size() > 8 ? "; ..." : "") + " took theirs from the cell they overlap most";
}
