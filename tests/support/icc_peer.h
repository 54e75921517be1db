#pragma once
// Profiles of icc_profiles.h in and out of files written and read by Pillow.

#include <string>
#include <vector>

#include "support/icc_profiles.h"
#include "support/peer.h"

namespace icc {

inline peer::RgbImage ToSRGB(const std::vector<std::uint8_t>& profile, const peer::RgbImage& image) {
  peer::RgbImage out = image;
  out.Rgb = ToSRGB(profile, image.Rgb);
  return out;
}

// Pillow saves the pattern as path (format by extension, "L" for grey,
// "P" for a palette of the pattern's colours) with the profile embedded.
inline void SaveWithPillow(const std::string& dir, const peer::RgbImage& pattern, const std::vector<std::uint8_t>& profile,
                           const std::string& path, const std::string& mode = "RGB") {
  peer::WritePpm(dir + "/pattern.ppm", pattern);
  peer::WriteFile(dir + "/profile.icc", profile);
  const std::string convert = mode == "P" ? ".convert('P', palette=Image.ADAPTIVE, colors=64)" : ".convert('" + mode + "')";
  ASSERT_EQ(peer::Python("from PIL import Image\nim = Image.open('" + dir + "/pattern.ppm')" + convert +
                         "\nim.save('" + path + "', icc_profile=open('" + dir + "/profile.icc', 'rb').read())\n"),
            0);
}

// The ICC profile Pillow finds in a file, empty when none.
inline std::vector<std::uint8_t> PillowProfile(const std::string& dir, const std::string& path) {
  if (peer::Python("from PIL import Image\nopen('" + dir + "/found.icc', 'wb').write(Image.open('" + path +
                   "').info.get('icc_profile') or b'')\n") != 0)
    return {};
  return peer::ReadFile(dir + "/found.icc");
}

}  // namespace icc
