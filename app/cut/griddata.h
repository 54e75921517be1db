#pragma once
// What the window keeps about one cut: the split lines and what belongs to
// the cells they make: the texts of each slice (link, target frame, ALT
// text), and the cells merged, written without an image or in a format of
// their own (app/cut/celldata.h).
//
// Per-cell data is keyed by the column and row of the cell as export numbers
// its slice, and follows its cell when lines are added, moved or removed
// (app/cut/carrydata.h), whatever kind of data it is. The cell commands are
// app/cut/cellcommands.h; the grid file with its companions beside it is
// app/cut/griddatafiles.h.

#include "app/cut/celldata.h"
#include "app/cut/splitgrid.h"
#include "app/cut/tagsfile.h"

struct TGridData {
  TSplitGrid Grid;
  TTagMap Tags;
  TCellData Cells;

  friend bool operator==(const TGridData&, const TGridData&) = default;
};
