#pragma once
// What an export checks of its files before the first is written, and the
// dry run checks the same way: names the file system cannot hold, a folder that cannot take them,
// outputs that are the source or a folder, those that exist, and those
// another page of the folder wrote.

#include <string>
#include <vector>

#include "app/export/exporterror.h"
#include "app/export/exportplan.h"
#include "pgraphic/core/stagedfile.h"

// A file name longer than its folder takes: refused before anything is
// written, as the write would fail ("Cannot create file ... File name too
// long", EStreamWriteError).
void RefuseLongNames(const TExportPlan& plan);

// Whether the HTML's folder can take the files: it exists and may be
// written to, or, with makeFolder, the nearest folder above it that exists
// may. Raises what the export would (EStreamWriteError). The export itself
// finds out by making its lock file.
void CheckFolderWritable(const std::string& htmlPath, const std::string& folder, bool makeFolder);

// Refuses outputs that are the source file under any name (links followed)
// and those that are folders; returns those that exist already, a link of
// any kind included.
std::vector<std::string> ExistingOutputs(const std::vector<std::string>& outputs, const TFileIdentity& source);
