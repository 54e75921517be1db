#pragma once
// The page's table: the cells of a grid as the export writes them, merged
// cells one, skipped cells without an image, each with its place and spans
// in the HTML table that puts the slices back together. Each cell's
// rectangle is all the export needs to know of the rows it waits for.

#include <cstdint>
#include <optional>
#include <vector>

#include "app/cut/celldata.h"
#include "app/cut/splitgrid.h"
#include "pgraphic/core/types.h"

class TPixelGraphic;

// The cells export writes when none are merged or skipped, in its order
// (row by row), with the numbers of their slice files. The grid need not be
// sorted.
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

// The mean colour of the cell's pixels, each channel rounded: the colour of
// a skipped cell, and of every cell of a page for mail. Transparent pixels
// count as laid on page, the colour they show on the page.
TRGB AverageColor(TPixelGraphic& source, const TGridCell& cell, TRGB page = RGBColor(255, 255, 255));
// The colour of every pixel of the rectangle's outer rows and columns, or
// none when they differ (or the rectangle is empty): a page's background
// that meets the design without an edge. Transparent pixels count as laid
// on page.
std::optional<TRGB> EdgeColor(TPixelGraphic& source, const TGridCell& area, TRGB page = RGBColor(255, 255, 255));
