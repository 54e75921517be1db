#pragma once
// What the window keeps about one cut: the split lines and what belongs to
// the cells they make: the texts of each slice (link, target frame, ALT
// text), and the cells merged, written without an image or in a format of
// their own (app/cut/cellsfile.h).
//
// The lines go to the .grd file exactly as ever. What belongs to cells goes
// to companion files beside it, named after the grid (cut.grd, cut.tags,
// cut.cells), so that the .grd stays readable by anything that reads it and
// each companion can be read on its own (the texts by `tessel-cli slice
// --tags`, the cells by `--cells`).
// Per-cell data is keyed by the column and row of the cell as export numbers
// its slice, and follows its cell when lines are added, moved or removed
// (CarryCellData), whatever kind of data it is.

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/cut/cellsfile.h"
#include "app/cut/gridfile.h"
#include "app/cut/splitgrid.h"
#include "app/cut/tagsfile.h"

struct TGridData {
  TSplitGrid Grid;
  TTagMap Tags;
  TCellData Cells;

  friend bool operator==(const TGridData&, const TGridData&) = default;
};

inline constexpr const char* TagsExtension = ".tags";

// The companion of a grid file: its name with the extension replaced
// (cut.grd -> cut.tags), or appended when it has none.
std::string CompanionPath(const std::string& gridPath, const std::string& extension);

// The cells export writes, in its order (row by row), with the numbers of
// their slice files. The grid need not be sorted.
std::vector<TGridCell> CellsOf(const TSplitGrid& grid);

// One cell of the page: a grid cell, or grid cells merged into one.
struct TPageCell {
  // The numbers of its top-left cell (which names the slice) and the
  // rectangle of the whole: the image rows and columns it needs.
  TGridCell Cell;
  bool Skip = false;  // an empty table cell, no image
  // Its place in the table, from 0, and the table's columns and rows it spans.
  int Column = 0;
  int Row = 0;
  int ColumnSpan = 1;
  int RowSpan = 1;
};

// The table that puts the slices back together. Its columns (rows) are
// the grid's in which some cell begins: a column every cell of which is
// part of a cell merged from its left is no column of the table (HTML
// tables would collapse it), its width going to the one before.
struct TPageLayout {
  std::vector<TPageCell> Cells;  // by their top-left cells, rows outer, columns inner
  // The table's columns lie between neighbouring column edges, its rows
  // between row edges (image pixels).
  std::vector<std::int32_t> ColumnEdges;
  std::vector<std::int32_t> RowEdges;
  bool SpansColumns = false;  // some cell spans more than one column of the table
  bool SpansRows = false;
};

// The page of a grid (it need not be sorted) with its cells merged and
// skipped. Cells of width or height 0 are left out, the others keeping
// their numbers; a merge that would take a cell another merge has, or that
// reaches beyond the grid (CellsProblem), is passed over.
TPageLayout PageLayoutOf(const TSplitGrid& grid, const TCellData& cells);
// The cells of the page that are written as images.
int SliceCountOf(const TPageLayout& page);

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

// A rectangle of grid cells, numbered as the slices are: its first and
// last column and row.
struct TCellRange {
  int Left = 1, Top = 1, Right = 1, Bottom = 1;
  friend bool operator==(const TCellRange&, const TCellRange&) = default;
};

// The grid cell that holds the image point (the grid need not be sorted; a
// point on a line belongs to the cell right of or below it, the image's
// right and bottom edges to the last cell), or none outside the lines.
std::optional<TCellKey> CellAt(const TSplitGrid& grid, std::int64_t x, std::int64_t y);
// The smallest range that holds both cells and every merged cell it touches.
TCellRange CellRangeOf(const TCellData& cells, TCellKey from, TCellKey to);
// The image rectangle of a range of the grid (Column and Row: its top-left).
TGridCell RectOf(const TSplitGrid& grid, const TCellRange& range);

// The cell commands: the data after each, nothing else changed.
// Merge: the range becomes one merged cell (merges inside it go), named by
// its top-left cell, whose texts and format it keeps, or else takes those
// of the first cell that has any; it is without an image only when that
// cell was.
TGridData MergedCells(const TGridData& data, const TCellRange& range);
// Unmerge: every merged cell the range touches comes apart, each of its
// cells taking its texts, format and image state.
TGridData UnmergedCells(const TGridData& data, const TCellRange& range);
// No image (skip) or an image again for every cell of the range.
TGridData SkippedCells(const TGridData& data, const TCellRange& range, bool skip);

// The same for a set of cells: each cell of `to` is in it when the cell of
// `from` it shares the most pixels with is.
std::set<TCellKey> CarryCellData(const std::set<TCellKey>& data, const TSplitGrid& from, const TSplitGrid& to);

// Merges moved from the cells of `from` to those of `to`: a merge takes the
// cells of `to` whose texts would come from its cells. One that comes to
// cover a single cell, or none, is dropped.
std::map<TCellKey, TCellSpan> CarryMerges(const std::map<TCellKey, TCellSpan>& merges, const TSplitGrid& from,
                                          const TSplitGrid& to);

// The data with other lines: texts, skips, formats and merges follow their
// cells; what then lies inside a merged cell but not at its top-left goes
// to the top-left cell when that has none of its kind (FoldIntoMerges).
TGridData WithLines(const TGridData& data, const TSplitGrid& lines);

// Per-cell data of the cells a merged cell covers goes to its top-left
// cell, which names it, unless that has such data of its own; the rest is
// dropped, so nothing is kept that no slice shows.
void FoldIntoMerges(TGridData& data);

// The cells of data the grid does not have, in the data's order.
std::vector<std::pair<int, int>> CellsNotInGrid(const TTagMap& data, const TSplitGrid& grid);

// Whether the texts go to a file beside the grid: when there are any, or
// when such a file exists already (so it never keeps texts the grid has
// lost).
bool TagsFileWanted(const std::string& tagsPath, const TTagMap& tags);
// The same for the cells file.
bool CellsFileWanted(const std::string& cellsPath, const TCellData& cells);

// Saves the grid and, beside it, its slices' texts and its cells: all
// complete or none replaced. Raises EStreamError.
void SaveGridData(const std::string& gridPath, const TGridData& data);

// Reads the grid file for an image of width x height (as LoadGrid does) and
// the tags and cells files beside it when there are. Everything is read
// before anything is returned; errors name the file and line (EStreamError,
// EConvertError, std::runtime_error), as do the cells file's warnings,
// which go to onMessage.
TGridData ReadGridData(const std::string& gridPath, int width, int height,
                       const TGridMessageEvent& onMessage);

// The lines of a grid made for an image of oldWidth x oldHeight, for a new
// image of width x height: the new image's edges, then the other lines
// that lie inside it, in their order.
TSplitGrid LinesForNewImage(const TSplitGrid& grid, int oldWidth, int oldHeight, int width,
                            int height);
