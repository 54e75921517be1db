#pragma once
// What belongs to cells follows them to other lines: a cell keeps its data
// when a line moves, both halves of a split cell keep it, and a cell made
// of several keeps that of its largest part.

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/cut/griddata.h"

// The column (or row) of `from` that each column (row) of `to` shares the
// most pixels with: the numbers of the spans of `to`'s sorted positions,
// mapped to those of `from` (0 where none overlaps). Filled spans only.
std::map<int, int> BestOverlaps(const TIntegerList& from, const TIntegerList& to);

// Per-cell data moved from the cells of `from` to those of `to`: each cell
// of `to` takes the data of the cell of `from` it shares the most pixels
// with (the first of equals). Data of cells `from` does not have is
// dropped.
template <class T>
std::map<std::pair<int, int>, T> CarryCellData(const std::map<std::pair<int, int>, T>& data,
                                               const TSplitGrid& from, const TSplitGrid& to) {
  std::map<std::pair<int, int>, T> carried;
  if (data.empty()) return carried;
  std::map<int, std::vector<int>> columnsOf, rowsOf;
  for (const auto& [next, previous] : BestOverlaps(from.VertSplits, to.VertSplits))
    columnsOf[previous].push_back(next);
  for (const auto& [next, previous] : BestOverlaps(from.HorzSplits, to.HorzSplits))
    rowsOf[previous].push_back(next);
  for (const auto& [cell, value] : data) {
    const auto columns = columnsOf.find(cell.first);
    const auto rows = rowsOf.find(cell.second);
    if (cell.first < 1 || cell.second < 1 || columns == columnsOf.end() || rows == rowsOf.end())
      continue;
    for (int column : columns->second)
      for (int row : rows->second) carried[{column, row}] = value;
  }
  return carried;
}

// The same for a set of cells: each cell of `to` is in it when the cell of
// `from` it shares the most pixels with is.
std::set<TCellKey> CarryCellData(const std::set<TCellKey>& data, const TSplitGrid& from, const TSplitGrid& to);

// Slice names moved from the cells of `from` to those of `to`: a name goes
// to the one cell of `to` that holds the largest part of its cell (a split
// cell's name stays with its larger half), where that cell takes its data
// from the named one (of cells that become one, the largest part's name
// stays). A name thus never goes to two cells.
std::map<TCellKey, std::string> CarryNames(const std::map<TCellKey, std::string>& names, const TSplitGrid& from,
                                          const TSplitGrid& to);

// Merges moved from the cells of `from` to those of `to`: a merge takes the
// cells of `to` whose texts would come from its cells. One that comes to
// cover a single cell, or none, is dropped.
std::map<TCellKey, TCellSpan> CarryMerges(const std::map<TCellKey, TCellSpan>& merges, const TSplitGrid& from,
                                          const TSplitGrid& to);

// The data with other lines: texts, skips, formats, names and merges follow their
// cells; what then lies inside a merged cell but not at its top-left goes
// to the top-left cell when that has none of its kind (FoldIntoMerges).
TGridData WithLines(const TGridData& data, const TSplitGrid& lines);

// The lines of a grid made for an image of oldWidth x oldHeight, for a new
// image of width x height: the new image's edges, then the other lines
// that lie inside it, in their order.
TSplitGrid LinesForNewImage(const TSplitGrid& grid, int oldWidth, int oldHeight, int width,
                            int height);
