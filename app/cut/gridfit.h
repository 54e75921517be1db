#pragma once
// A cut made to fit its image and its files, the same in the window and on
// the command line: lines given twice are one line, a line is added where
// none lies yet, and data that a companion file recorded for other lines
// follows its cells to the lines the grid has now, with word of what moved.

#include <cstdint>
#include <optional>
#include <string>

#include "app/cut/griddata.h"

// Every line once (a position given twice, an edge given again, a position
// clamped onto an edge), the first of each kept in its place; what belongs
// to cells follows the lines left (WithLines), so that no slice is
// renumbered by a column or row of no size.
TGridData FoldedLines(const TGridData& data);

// The cut with one more line, what belongs to cells following it; nothing
// where a line lies already or the position is outside 0..extent.
std::optional<TGridData> WithLineAdded(const TGridData& data, bool horizontal, std::int64_t position, int extent);

// Whether two grids have the same lines, whatever their order and repeats.
bool SameLines(const TSplitGrid& a, const TSplitGrid& b);

// Data a companion file holds, counted in the lines it recorded, brought to
// grid's lines: kept where a cell's rectangle is unchanged, carried to the
// cells it overlaps most elsewhere (WithLines). Empty when the lines are the
// same; otherwise what sourceName is told: which lines came and went, and
// which cells took data from a cell of another place.
std::string FitToLines(TGridData& data, const TSplitGrid& grid, const std::string& sourceName);
