#pragma once
// The grid's files: the lines go to the .grd file exactly as ever, what
// belongs to cells to companion files beside it, named after the grid
// (cut.grd, cut.tags, cut.cells), so that the .grd stays readable by
// anything that reads it and each companion can be read on its own (the
// texts by `tessel-cli slice --tags`, the cells by `--cells`).

#include <string>
#include <utility>
#include <vector>

#include "app/cut/cellsfile.h"
#include "app/cut/griddata.h"
#include "app/cut/gridfile.h"
#include "pgraphic/core/stagedfile.h"

inline constexpr const char* TagsExtension = ".tags";

// The companion of a grid file: its name with the extension replaced
// (cut.grd -> cut.tags), or appended when it has none.
std::string CompanionPath(const std::string& gridPath, const std::string& extension);

// The cells of data the grid does not have, in the data's order.
std::vector<std::pair<int, int>> CellsNotInGrid(const TTagMap& data, const TSplitGrid& grid);

// Whether the texts go to a file beside the grid: when there are any, or
// when such a file exists already (so it never keeps texts the grid has
// lost).
bool TagsFileWanted(const std::string& tagsPath, const TTagMap& tags);
// The same for the cells file.
bool CellsFileWanted(const std::string& cellsPath, const TCellData& cells);

// Where a grid and its companions are written; an empty path: not written.
struct TGridDataPaths {
  std::string Grid;
  std::string Tags;
  std::string Cells;
};
// The grid file and the companions wanted beside it (TagsFileWanted,
// CellsFileWanted). With editable, both companions: data still to be
// edited (the export's per-slice dialogs) may give texts and formats to a
// grid that has none yet.
TGridDataPaths GridDataPathsFor(const std::string& gridPath, const TGridData& data, bool editable = false);

// The files of paths, staged in the order they are to take their places:
// the grid, its texts, its cells. The texts only while some are wanted as
// the data now stands (the per-slice dialogs may have taken the last one).
// Each companion that has data records the grid's lines. Raises EStreamError.
std::vector<TStagedFile> StageGridData(const TGridDataPaths& paths, const TGridData& data);

// Saves the grid and, beside it, its slices' texts and its cells: all
// complete or none replaced. Raises EStreamError.
void SaveGridData(const std::string& gridPath, const TGridData& data);

// What reading a grid with its companions found to tell.
struct TGridReading {
  std::vector<TGridStray> Strays;  // positions outside the image
  // The companions': records passed over, data written for other lines.
  std::vector<std::string> Warnings;
  // Cells whose texts the grid has no slice for, which were left out.
  std::vector<std::pair<int, int>> StrayTexts;
};

// A companion file's data as it falls on grid: counted in the lines the
// file records, or in unrecorded's where it records none, then moved onto
// grid's lines (FitToLines). moved: what moved, to be said where the file
// records its lines, else empty. The cells are checked (CellsProblem) and
// their file's warnings go to onWarning; strays: the cells whose texts the
// lines they count in have no slice for.
TTagMap FittedTags(const std::string& path, const TSplitGrid& unrecorded, const TSplitGrid& grid,
                   std::string& moved, std::vector<std::pair<int, int>>* strays = nullptr);
TCellData FittedCells(const std::string& path, const TSplitGrid& unrecorded, const TSplitGrid& grid,
                      const TCellsWarningEvent& onWarning, std::string& moved);

// Reads the grid file for an image of width x height (as LoadGrid does) and
// the tags and cells files beside it when there are and paths names them
// (CompanionPath; empty: not read). The lines come once each
// (FoldedLines), and texts and cells follow them from the lines they
// count in: those their file records (FitToLines), else those of the grid
// file. Everything is read before anything is returned; errors name the
// file and line (EStreamError, EConvertError, std::runtime_error).
TGridData ReadGridData(const TGridDataPaths& paths, int width, int height, TGridReading& reading);

// What reading found, told to onMessage as the window tells it:
// OutOfBoundsMessage for each position beyond the image, then the
// companions' warnings.
void TellGridReading(const TGridReading& reading, const TGridMessageEvent& onMessage);

// ReadGridData with both companions beside the grid, told to onMessage.
TGridData ReadGridData(const std::string& gridPath, int width, int height,
                       const TGridMessageEvent& onMessage);
