#pragma once
// Scratch directories and file helpers shared by the workbench tests.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/file_contents.h"
#include "support/peer.h"
#include "support/scratch_dir.h"

namespace apptest {

// A fresh directory per test, named after it, so parallel runs never meet.
inline std::filesystem::path ScratchDir() { return support::ScratchDir("app"); }

inline std::string ReadFile(const std::filesystem::path& path) { return support::ReadText(path); }

using support::WriteFile;

// Names of the entries in dir, sorted.
inline std::vector<std::string> DirEntries(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// The w x h rectangle at (x0, y0) of a top-down RGB image.
inline peer::RgbImage Crop(const peer::RgbImage& img, int x0, int y0, int w, int h) {
  peer::RgbImage out{w, h, {}};
  for (int y = y0; y < y0 + h; ++y) {
    const auto row = img.Rgb.begin() + (std::ptrdiff_t(y) * img.Width + x0) * 3;
    out.Rgb.insert(out.Rgb.end(), row, row + std::ptrdiff_t(w) * 3);
  }
  return out;
}

}  // namespace apptest
