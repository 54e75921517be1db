#include "app/cut/carrydata.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <unordered_set>

#include "app/cut/cellcommands.h"

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

std::map<TCellKey, std::string> CarryNames(const std::map<TCellKey, std::string>& names, const TSplitGrid& from,
                                          const TSplitGrid& to) {
  // A name goes where its cell's largest part went, and only there: the
  // column (row) of `to` that shares the most pixels with the named one.
  const std::map<int, int> columns = BestOverlaps(to.VertSplits, from.VertSplits);
  const std::map<int, int> rows = BestOverlaps(to.HorzSplits, from.HorzSplits);
  const std::map<TCellKey, std::string> followers = CarryCellData(names, from, to);
  std::map<TCellKey, std::string> carried;
  for (const auto& [cell, name] : names) {
    const auto column = columns.find(cell.first), row = rows.find(cell.second);
    if (column == columns.end() || row == rows.end() || column->second == 0 || row->second == 0) continue;
    const TCellKey next{column->second, row->second};
    // Of two cells that become one, the name of its largest part stays.
    const auto follower = followers.find(next);
    if (follower != followers.end() && follower->second == name) carried[next] = name;
  }
  return carried;
}

TGridData WithLines(const TGridData& data, const TSplitGrid& lines) {
  TGridData next;
  next.Grid = lines;
  next.Tags = CarryCellData(data.Tags, data.Grid, lines);
  next.Cells.Merges = CarryMerges(data.Cells.Merges, data.Grid, lines);
  next.Cells.Skips = CarryCellData(data.Cells.Skips, data.Grid, lines);
  next.Cells.Formats = CarryCellData(data.Cells.Formats, data.Grid, lines);
  next.Cells.Names = CarryNames(data.Cells.Names, data.Grid, lines);
  FoldIntoMerges(next);
  return next;
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
