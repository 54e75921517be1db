#pragma once
// The cells file: what belongs to cells of the grid beyond their texts
// (app/cut/celldata.h), kept beside the grid file as BASE.cells
// (cut.grd -> cut.cells).
//
// The file is UTF-8 text, one record per line, fields between tabs, the
// first field a keyword; empty lines and lines starting with '#' are
// skipped; CR LF or LF line ends (app/cut/companionfile.h):
//   lines  horizontal|vertical P,P,...  the grid the cells count in
//   merge  COLUMN ROW COLUMNS ROWS   the cell spans COLUMNS x ROWS grid cells
//   skip   COLUMN ROW                an empty table cell of the slice's mean colour
//   format COLUMN ROW FORMAT [QUALITY]
//   name   COLUMN ROW NAME          the slice's file is NAME.EXT, not BASE_COLUMN_ROW.EXT
// COLUMN and ROW count from 1 as in the slice names; a merged cell goes by
// its top-left cell. A keyword this program does not know is reported and
// passed over, so that files of later versions still read; whatever else
// belongs to a cell comes as a record of its own of this kind,
// KEYWORD COLUMN ROW VALUE..., and follows its cell when lines change as
// these do (app/cut/carrydata.h). The lines record comes first in files
// this program writes; files without it (of older versions) count in the
// grid they are used with.

#include <functional>
#include <string>
#include <vector>

#include "app/cut/celldata.h"
#include "app/cut/companionfile.h"
#include "app/cut/splitgrid.h"

inline constexpr const char* CellsExtension = ".cells";

// Receives the warning about each line of a keyword not known here.
using TCellsWarningEvent = std::function<void(const std::string& message)>;

// Where each record of a cells file stood, so that a record that does not
// fit the grid is named by its line.
struct TCellsFileLines {
  std::map<TCellKey, int> Merges, Skips, Formats, Names;
};

// Parses the text of a cells file; sourceName labels the messages
// ("cut.cells, line 3: ..."). A known record that is malformed (fields
// missing or too many, a number that is none or out of range, an unknown
// format, a merge overlapping an earlier one, a name that is not a safe
// file name or is another cell's too) raises std::runtime_error
// (EConvertError for a number that is none), and nothing is returned. A
// later format record for the same cell replaces an earlier one. The lines
// record goes to lines, and where each record stood to where, when given.
TCellData ParseCells(const std::string& text, const std::string& sourceName,
                     const TCellsWarningEvent& onWarning, TLinesRecord* lines = nullptr,
                     TCellsFileLines* where = nullptr);

// Reads and parses the file ("-": standard input); EStreamError when it
// cannot be read.
TCellData ReadCellsFile(const std::string& path, const TCellsWarningEvent& onWarning,
                        TLinesRecord* lines = nullptr, TCellsFileLines* where = nullptr);

// The lines of a cells file: the record of writtenFor's lines when given
// and there are cells, then merges, skips, formats and names, each row by row.
std::vector<std::string> CellsFileLines(const TCellData& cells, const TSplitGrid* writtenFor = nullptr);

// Why the data cannot go with the grid (it need not be sorted), named after
// sourceName (and the record's line, when where has it): a merge beyond the
// grid's last column or row, a cell the grid lacks, a skip, format or name
// inside a merged cell but not at its top-left, a name not allowed or two
// cells of the same name. Empty when it fits.
std::string CellsProblem(const TCellData& cells, const TSplitGrid& grid, const std::string& sourceName,
                         const TCellsFileLines* where = nullptr);
