#pragma once

#include <cstdint>

// How many rows go from one thread to another at once while an image loads:
// 64, or fewer when they pass a megabyte, never less than one. Handing them
// over row by row would wake the other thread for each (thousands of wakes
// for one photo); a band keeps both threads at work between wakes while its
// rows are still in the cache.
int RowsPerBand(std::int64_t bytesPerRow);
