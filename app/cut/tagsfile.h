#pragma once
// Per-slice tags for unattended export: one line per cell,
// column<TAB>row<TAB>link<TAB>target<TAB>alt, trailing fields optional.
// Beside a grid the file also records the lines it was written for
// (app/cut/companionfile.h).

#include <map>
#include <string>
#include <utility>
#include <vector>

struct TLinesRecord;
class TSplitGrid;

struct TCellTags {
  std::string Link, Target, Alt;
  bool Used = false;  // set when an exported slice took these tags

  bool Empty() const { return Link.empty() && Target.empty() && Alt.empty(); }
  // The texts alone.
  friend bool operator==(const TCellTags& a, const TCellTags& b) {
    return a.Link == b.Link && a.Target == b.Target && a.Alt == b.Alt;
  }
};

// Keyed by (column, row), both counted from 1 like the slice names.
using TTagMap = std::map<std::pair<int, int>, TCellTags>;

// Splits text at every separator: n separators give n + 1 parts.
std::vector<std::string> SplitOn(const std::string& text, char separator);

// Parses the text of a tags file; sourceName only labels error messages.
// Raises std::runtime_error for a line with too few or too many fields and
// EConvertError for a column or row that is not an integer, both naming
// the source and the line. Empty lines and a UTF-8 byte-order mark are
// skipped; a later line for the same cell replaces an earlier one. The
// lines record, if any, goes to lines when given.
TTagMap ParseTags(const std::string& text, const std::string& sourceName, TLinesRecord* lines = nullptr);

// Reads and parses the file ("-": standard input); EStreamError when it
// cannot be read.
TTagMap ReadTagsFile(const std::string& path, TLinesRecord* lines = nullptr);

// The lines of a tags file for the cells that have any text, row by row,
// after the record of writtenFor's lines when given. Trailing empty fields
// are left out; a tab or line break inside a text (which the format cannot
// hold) is written as a blank.
std::vector<std::string> TagsFileLines(const TTagMap& tags, const TSplitGrid* writtenFor = nullptr);
