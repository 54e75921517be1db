#pragma once
// What the grid's companion files (the texts' .tags, the cells' .cells)
// share: their lines, where they are read from, and the record of the
// lines of the grid they were written for.
//
// Lines end at LF (or CR LF); a CR anywhere else belongs to its line, so
// that a stray CR inside a text never moves the lines counted in messages.
// A file may start with a UTF-8 byte-order mark.
//
// The lines record says which grid the cell numbers of the file count in,
// one line per direction, the positions in ascending order:
//   lines<TAB>horizontal<TAB>0,120,200
//   lines<TAB>vertical<TAB>0,33,300
// A file without it (written by an older version, or by hand) counts in
// whatever grid it is used with.

#include <optional>
#include <string>
#include <vector>

#include "app/cut/splitgrid.h"

inline constexpr const char* LinesKeyword = "lines";

// The lines of a companion file's text.
std::vector<std::string> CompanionFileLines(const std::string& text);

// The text of an input file: the whole of a regular file, or standard input
// for "-" (read once, then the same text every time). Anything else (a folder, a pipe, a device) is refused with
// "Cannot open file "PATH". ..." (EStreamError), as is a file that cannot
// be read.
std::string ReadInputText(const std::string& path);

// The lines a companion file records. A direction it leaves out is not known.
struct TLinesRecord {
  std::optional<TIntegerList> Horz, Vert;
  bool Known() const { return Horz || Vert; }
};

// The record of grid's lines, one line per direction.
std::vector<std::string> LinesRecordLines(const TSplitGrid& grid);

// Whether line is a lines record; if so, it is taken into record. A record
// that is malformed raises std::runtime_error naming the source and line
// (EConvertError for a position that is no number).
bool TakeLinesRecord(const std::string& line, TLinesRecord& record, const std::string& sourceName, int lineNumber);

// The grid a record was written for: its directions, and grid's for those
// it leaves out.
TSplitGrid RecordedGrid(const TLinesRecord& record, const TSplitGrid& grid);
