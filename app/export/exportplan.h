#pragma once
// What one export will write, and how: decided once, before the first
// slice, from the cut (grid, texts, cells), the caller's settings, the HTML
// path and what is known of the source. The export, the page's weight
// (app/export/pageweight.h) and the command line's dry run all go by it, so
// they name the same files in the same formats.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/cut/griddata.h"
#include "app/cut/griddatafiles.h"
#include "app/export/exportroad.h"
#include "app/export/exportsettings.h"
#include "app/export/formatchoice.h"
#include "app/export/pagelayout.h"
#include "app/export/slicenames.h"
#include "pgraphic/core/settings.h"

// A slice's format as the export makes it: the cell's own (its quality, or
// the export's quality for that format when it gives none), else the
// export's. Own tells whether the cell has one.
struct TCellSliceFormat {
  TSliceFormat Format;
  bool Own = false;
};
// exportFormat.Format may be null: an export that goes by its extension
// alone, which a cell without a format of its own keeps.
TCellSliceFormat CellSliceFormat(const TSliceFormat& exportFormat, const TCellData& cells, const TGridCell& cell);

// One slice file.
struct TPlannedSlice {
  std::size_t Cell = 0;  // its cell: a place in TPageLayout::Cells
  // Where it goes; a chosen format adds the extension of the one chosen.
  std::string Path;
  TCellSliceFormat Format;
  // The writer it is written by (its registry extension), straight into its
  // file or, for a format of a quality of its own, in memory; empty where
  // the format is chosen for it.
  std::string Writer;
  int Width = 0, Height = 0;  // the size it is scaled to (retina's half size); 0: its cell's

  // Made in memory by EncodeSlice rather than by its writer into its file.
  bool InMemory() const { return Format.Format.Format && Format.Format.InMemory(); }
  bool Chosen() const { return Format.Format.Format && Format.Format.Format->Chosen(); }
};

// What is known of the source before the export starts.
struct TSourceFacts {
  bool Loading = false;  // its rows come while the export runs (ExportWhileLoading)
  bool Alpha = false;    // it has an alpha plane, or will once loaded
};

struct TExportPlan {
  TExportNames Names;
  std::string HtmlPath;
  // The grid saved with the page and its companions; Grid is empty when
  // none is saved.
  TGridDataPaths GridFiles;
  // The cells of the page (a duplicate split line gives a column or row of
  // size 0, which gets neither a file nor markup, the others keeping their
  // numbers; merged cells are one) with the table's rows and columns.
  TPageLayout Page;
  // Per cell: its first slice file (a skipped cell has none).
  std::vector<std::size_t> FirstFile;
  // Per row of the table: the cells that begin in it, and those that end in it.
  std::vector<std::vector<std::size_t>> Starting;
  std::vector<std::vector<std::size_t>> Ending;
  std::vector<TPlannedSlice> Slices;  // in cell order
  std::size_t FilesPerCell = 1;       // retina: the half-size slice, then the full-size one
  // Every file the export may write, in the order they take their places:
  // the slices (a slice whose format is chosen with each it may get), the
  // HTML, the grid, its texts, its cells.
  std::vector<std::string> Outputs;
  // What every slice is made by: the settings as the export starts.
  TEncodeRules Rules;
  // The export's format or a cell's own is chosen for each slice (AutoFormatsProblem).
  bool FormatsChosen = false;
  // Colours the page takes from the source besides those of mail and of
  // skipped cells: each cell's, behind the ALT texts a style but classic
  // may have (the export's texts have one, or the per-slice dialogs may
  // give one), and the page's background from the design's edge.
  bool AltColours = false;
  bool EdgeBackground = false;
  TExportRoad Road;
  // The pixels of cut copies waiting for a writer thread stay within this
  // many bytes: an eighth of the page at 24 bits.
  std::int64_t CopyBudget = 0;
};

// Why the plan cannot be written: two of its files are the same file on
// a disk that ignores case (a slice named as another slice, or as the
// page), or empty.
std::string SharedOutputProblem(const TExportPlan& plan);

// Under ColorProfile keep, with a source that has a colour profile: which
// slices' formats cannot carry it (their slices are converted to sRGB
// instead), said once for the export; empty when all can.
std::string ProfileNotKeptText(const TExportPlan& plan, const TPixelGraphic& source);

// The plan of an export of cut by settings into htmlPath, its slices made
// by the library's settings given (taken as the export starts). Work and
// memory follow the cells written: a grid of many repeated lines costs its
// length once, not the product of its lists.
TExportPlan PlanExport(const TGridData& cut, const TExportSettings& settings, const std::string& htmlPath,
                       const TSourceFacts& source, const TPGLibrarySettings& library);
