#pragma once
// What belongs to cells of the grid beyond their texts: cells merged into
// one slice, cells written without an image, slices written in a format
// of their own, and slices with a file name of their own. Kept beside the grid in the cells file
// (app/cut/cellsfile.h), edited by the cell commands
// (app/cut/cellcommands.h), turned into the page's table by the export
// (app/export/pagelayout.h).

#include <map>
#include <optional>
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
  // A slice's own file name without extension ("btn-shop": btn-shop.png,
  // btn-shop@2x.png) in place of BASE_COLUMN_ROW; SliceNameProblem says
  // which names are allowed.
  std::map<TCellKey, std::string> Names;

  bool Empty() const { return Merges.empty() && Skips.empty() && Formats.empty() && Names.empty(); }
  friend bool operator==(const TCellData&, const TCellData&) = default;
};

// Why name cannot be a slice's name, or empty: a name is 1 to 100 letters
// A-Z and a-z, digits, '-', '_' and '.', not starting with '.' or '-', so
// that it is a file name on every system and in every URL as it is.
std::string SliceNameProblem(const std::string& name);

// The first two cells whose names are the same file name on a disk that
// ignores case, if any.
std::optional<std::pair<TCellKey, TCellKey>> SameSliceNames(const std::map<TCellKey, std::string>& names);
