#pragma once
// Scratch directories and file helpers shared by the workbench tests.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/peer.h"

namespace apptest {

// A fresh directory per test, named after it, so parallel runs never meet.
inline std::filesystem::path ScratchDir() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::filesystem::path dir = std::filesystem::path(TESSEL_TEST_TMP) / "app" /
                              (std::string(info->test_suite_name()) + "." + info->name());
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

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
