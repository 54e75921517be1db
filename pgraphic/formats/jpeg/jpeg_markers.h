#pragma once
// A walk over a JPEG file's markers ahead of the codec, for the facts that
// must be known before decoding starts.

#include <cstdint>

#include "pgraphic/core/stream.h"

// Scans (start-of-scan markers) from the stream's position on, met as the
// codec meets them: segments are skipped by their length, entropy-coded
// data up to its next marker, and the walk ends at the end of the image.
// Counting stops one past limit. The stream is left where it was.
std::uint64_t PGCountJpegScans(TStream& stream, std::uint64_t limit);
