#pragma once
// Scratch directories of the tests.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace support {

// Where the running test's scratch directory of area lies: a folder named
// after the test, since ctest runs every test as a process of its own, side
// by side, and the tests of one fixture must never remove each other's
// files (outside a test, area itself). A parameterised test's name holds
// '/'s: they become '-'s, so that its folder is one.
inline std::filesystem::path ScratchPath(const std::string& area) {
  std::filesystem::path dir = std::filesystem::path(TESSEL_TEST_TMP) / area;
  if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info()) {
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name)
      if (c == '/') c = '-';
    dir /= name;
  }
  return dir;
}

// The running test's scratch directory of area, made empty.
inline std::filesystem::path ScratchDir(const std::string& area) {
  const std::filesystem::path dir = ScratchPath(area);
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

}  // namespace support
