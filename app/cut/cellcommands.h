#pragma once
// The cell commands: cells found by an image point, ranges of cells that
// hold whole merged cells, and the data after merging, unmerging, skipping.

#include <cstdint>
#include <optional>
#include <vector>

#include "app/cut/griddata.h"

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
// The smallest range that holds every one of `ranges`, when together they
// fill it (no cell of it left out); none otherwise or when there are none.
std::optional<TCellRange> FilledRange(const TCellData& cells, const std::vector<TCellRange>& ranges);
// Whether a line at `position` would lie inside merged cells along all its
// length (where no one sees it: merged cells are drawn whole).
bool LineInsideMerges(const TGridData& data, bool horizontal, std::int32_t position);
// The image rectangle of a range of the grid (Column and Row: its top-left).
TGridCell RectOf(const TSplitGrid& grid, const TCellRange& range);

// The data after each command, nothing else changed.
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

// Per-cell data of the cells a merged cell covers goes to its top-left
// cell, which names it, unless that has such data of its own; the rest is
// dropped, so nothing is kept that no slice shows.
void FoldIntoMerges(TGridData& data);
