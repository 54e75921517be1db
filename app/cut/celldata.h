#pragma once
// What belongs to cells of the grid beyond their texts: cells merged into
// one slice, cells written without an image, and slices written in a
// format of their own. Kept beside the grid in the cells file
// (app/cut/cellsfile.h), edited by the cell commands
// (app/cut/cellcommands.h), turned into the page's table by the export
// (app/export/pagelayout.h).

#include <map>
#include <set>
#include <string>
#include <utility>

// (column, row), both counted from 1 as in the slice names.
using TCellKey = std::pair<int, int>;

struct TCellSpan {
  int Columns = 1;
  int Rows = 1;
  friend bool operator==(const TCellSpan&, const TCellSpan&) = default;
};

// A slice's own format: a --format name of app/common/outputformats.h, and a
// quality from 0 to 100 or NoQuality when none is given.
struct TCellFormat {
  static constexpr int NoQuality = -1;
  std::string Format;
  int Quality = NoQuality;
  friend bool operator==(const TCellFormat&, const TCellFormat&) = default;
};

struct TCellData {
  std::map<TCellKey, TCellSpan> Merges;  // by the top-left cell; never overlapping
  std::set<TCellKey> Skips;
  std::map<TCellKey, TCellFormat> Formats;

  bool Empty() const { return Merges.empty() && Skips.empty() && Formats.empty(); }
  friend bool operator==(const TCellData&, const TCellData&) = default;
};
