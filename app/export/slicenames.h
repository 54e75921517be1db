#pragma once
// The names of an export's files: every one lies beside the HTML and
// starts with its base name.

#include <string>

#include "app/cut/splitgrid.h"

// The directory of the HTML path and its base name: the file name up to its
// first dot, or the whole file name when it has no dot at all.
struct TExportNames {
  std::string Directory;
  std::string BaseName;
};
// A base name given (baseName, not empty) replaces the one of the HTML
// file's name, so that two pages in one folder (mail.en.html,
// mail.de.html) need not share their slices' names.
TExportNames ExportNamesOf(const std::string& htmlPath, const std::string& baseName = "");
// Why a base name given cannot name slices (empty, ".", "..", or with a
// slash), or empty when it can.
std::string BaseNameProblem(const std::string& baseName);
// base + "_" + column + "_" + row + extension.
std::string SliceFileName(const std::string& baseName, int column, int row,
                          const std::string& extension);
// The same with "@2x" before the extension: the full-size retina slice.
std::string Slice2xFileName(const std::string& baseName, int column, int row,
                            const std::string& extension);
// A cell of the half-size page: its edges halved, rounded down (at least a
// pixel wide and high).
TGridCell HalfCell(const TGridCell& cell);
// The directory joined with a bare file name ("" means the current one).
std::string PathInDirectory(const std::string& directory, const std::string& name);
