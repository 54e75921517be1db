#pragma once
// The image data of a PNG file (its IDAT chunks) compressed in parts that
// several threads work on at once. The rows are filtered as libpng filters
// them by default, cut into parts of a fixed number of rows, and every part
// is deflated on its own, primed with the 32 KB of data before it, so the
// file comes out the same on any number of threads and within a score of
// bytes per part of what one stream would be. The writer takes this road for
// any compression setting other than libpng's own defaults.

#include <cstddef>
#include <cstdint>
#include <functional>

#include "pgraphic/core/stream.h"

struct TPngPartsPlan {
  std::uint32_t Height = 0;
  std::size_t RowBytes = 0;   // packed samples of one row, without the filter byte
  int FilterStep = 3;         // bytes of one pixel, at least 1: the distance Sub and Paeth look back
  bool Filter = true;         // try every filter per row; false: none (palette and sub-byte depths)
  bool SwapRedBlue = false;   // rows come blue, green, red
  int Level = 6;              // zlib level and strategy
  int Strategy = 0;
};

// Writes the IDAT chunks of the rows and the IEND chunk at the stream's
// position. row(y) gives row y from the top (it may wait for it and may
// raise); progress(y) follows each row.
void WritePngParts(TStream& stream, const TPngPartsPlan& plan,
                   const std::function<const std::uint8_t*(std::uint32_t)>& row,
                   const std::function<void(std::uint32_t)>& progress);
