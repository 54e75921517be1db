#include "pgraphic/core/rowbands.h"

#include <algorithm>

int RowsPerBand(std::int64_t bytesPerRow) {
  constexpr std::int64_t kRows = 64;
  constexpr std::int64_t kBytes = std::int64_t(1) << 20;
  if (bytesPerRow <= 0) return int(kRows);
  return int(std::clamp<std::int64_t>(kBytes / bytesPerRow, 1, kRows));
}
