#pragma once
// What the window keeps about one cut: the split lines and what belongs to
// the cells they make, today the texts of each slice (link, target frame,
// ALT text).
//
// The lines go to the .grd file exactly as ever. What belongs to cells goes
// to companion files beside it, named after the grid (cut.grd, cut.tags),
// so that the .grd stays readable by anything that reads it and each
// companion can be read on its own (the texts by `tessel-cli slice --tags`).
// Per-cell data is keyed by the column and row of the cell as export numbers
// its slice, and follows its cell when lines are added, moved or removed
// (CarryCellData), whatever kind of data it is.

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/gridfile.h"
#include "app/splitgrid.h"
#include "app/tagsfile.h"

struct TGridData {
  TSplitGrid Grid;
  TTagMap Tags;

  friend bool operator==(const TGridData&, const TGridData&) = default;
};

inline constexpr const char* TagsExtension = ".tags";

// The companion of a grid file: its name with the extension replaced
// (cut.grd -> cut.tags), or appended when it has none.
std::string CompanionPath(const std::string& gridPath, const std::string& extension);

// The cells export writes, in its order (row by row), with the numbers of
// their slice files. The grid need not be sorted.
std::vector<TGridCell> CellsOf(const TSplitGrid& grid);

// The column (or row) of `from` that each column (row) of `to` shares the
// most pixels with: the numbers of the spans of `to`'s sorted positions,
// mapped to those of `from` (0 where none overlaps). Filled spans only.
std::map<int, int> BestOverlaps(const TIntegerList& from, const TIntegerList& to);

// Per-cell data moved from the cells of `from` to those of `to`: each cell
// of `to` takes the data of the cell of `from` it shares the most pixels
// with (the first of equals), so a cell keeps its data when a line moves,
// both halves of a split cell keep it, and a cell made of several keeps
// that of its largest part. Data of cells `from` does not have is dropped.
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

// The cells of data the grid does not have, in the data's order.
std::vector<std::pair<int, int>> CellsNotInGrid(const TTagMap& data, const TSplitGrid& grid);

// Whether the texts go to a file beside the grid: when there are any, or
// when such a file exists already (so it never keeps texts the grid has
// lost).
bool TagsFileWanted(const std::string& tagsPath, const TTagMap& tags);

// Saves the grid and, beside it, its slices' texts: both complete or
// neither replaced. Raises EStreamError.
void SaveGridData(const std::string& gridPath, const TGridData& data);

// Reads the grid file for an image of width x height (as LoadGrid does) and
// the tags file beside it when there is one. Everything is read before
// anything is returned; errors name the file and line (EStreamError,
// EConvertError, std::runtime_error).
TGridData ReadGridData(const std::string& gridPath, int width, int height,
                       const TGridMessageEvent& onMessage);

// The lines of a grid made for an image of oldWidth x oldHeight, for a new
// image of width x height: the new image's edges, then the other lines
// that lie inside it, in their order.
TSplitGrid LinesForNewImage(const TSplitGrid& grid, int oldWidth, int oldHeight, int width,
                            int height);
