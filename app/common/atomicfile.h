#pragma once
// Whole-file writes that never leave a partial file behind: the content goes
// to a staged file beside the target (pgraphic/core/stagedfile.h), which
// replaces the target only once it is complete. On failure the target is
// untouched and no staging file remains.

#include <string>
#include <vector>

#include "pgraphic/core/stagedfile.h"

// Raises EStreamError (pgraphic/core/stream.h) when the file cannot be
// created, written or renamed into place.
void WriteFileAtomic(const std::string& path, const std::string& bytes);

// The bytes as a complete staged file, synced but not yet in its place
// (what goes with other files of an all-or-nothing write).
TStagedFile StagedText(const std::string& path, const std::string& bytes);

// Each line followed by CR LF, the last one too.
std::string CrLfText(const std::vector<std::string>& lines);

// The lines as CR LF text, written as WriteFileAtomic does.
void WriteLinesAtomic(const std::string& path, const std::vector<std::string>& lines);
