#pragma once
// The colour profile an image's pixels are meant in, as a file carried it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct TPGColorProfile {
  // The ICC profile's bytes; empty for a file that only says "sRGB" (PNG's
  // sRGB chunk), whose rendering intent SRGBIntent then holds.
  std::vector<std::uint8_t> Icc;
  bool SRGB = false;
  int SRGBIntent = 0;
  // The profile's name where the file gives one (PNG iCCP), else empty.
  std::string Name;
};

using TPGColorProfileRef = std::shared_ptr<const TPGColorProfile>;
