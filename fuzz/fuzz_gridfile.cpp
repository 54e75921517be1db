// The grid-file parser on arbitrary text, against a 300 x 200 image: it
// either refuses the text (conversion error) and leaves the grid alone, or
// yields positions inside the image.

#include <cstdint>
#include <string>

#include "app/common/convert.h"
#include "app/cut/gridfile.h"
#include "fuzz/fuzz_support.h"

namespace {

constexpr int kWidth = 300, kHeight = 200;

void CheckInside(const TIntegerList& list, int extent) {
  for (std::int32_t v : list.Values())
    if (v < 0 || v > extent) fuzz::Finding("grid position outside the image");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  TSplitGrid grid;
  grid.ResetToImage(kWidth, kHeight);
  const std::vector<std::int32_t> before = grid.HorzSplits.Values();
  std::size_t messages = 0;
  try {
    LoadGridText(text, grid, kWidth, kHeight, [&](const std::string&) { ++messages; });
  } catch (const EConvertError&) {
    if (grid.HorzSplits.Values() != before) fuzz::Finding("a refused grid file changed the grid");
    return 0;
  }
  CheckInside(grid.HorzSplits, kHeight);
  CheckInside(grid.VertSplits, kWidth);
  if (messages > std::size_t(grid.HorzSplits.Count() + grid.VertSplits.Count()))
    fuzz::Finding("more out-of-bounds messages than values");
  return 0;
}
