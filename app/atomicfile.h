#pragma once
// Whole-file writes that never leave a partial file behind: the content goes
// to a temporary file beside the target, which replaces the target only once
// it is complete. On failure the target is untouched and no temporary remains.

#include <string>
#include <vector>

// Raises EStreamError (pgraphic/core/stream.h) when the file cannot be
// created, written or renamed into place.
void WriteFileAtomic(const std::string& path, const std::string& bytes);

// Each line followed by CR LF (the last one too), in the single-byte code page.
void WriteLinesAtomic(const std::string& path, const std::vector<std::string>& lines);

// UTF-8 text to the Western single-byte code page (Windows-1252); characters
// it cannot hold become '?'. Bytes that are not valid UTF-8 are taken as
// already single-byte and kept.
std::string ToSingleByte(const std::string& text);
