#include "app/common/atomicfile.h"

#include <gtest/gtest.h>

#include "support/app_test_util.h"
#include "pgraphic/core/stream.h"

namespace {

TEST(AtomicFile, LinesEndWithCrLfIncludingTheLast) {
  const auto dir = apptest::ScratchDir();
  const auto path = dir / "t.html";
  WriteLinesAtomic(path.string(), {"a", "", "b"});
  EXPECT_EQ(apptest::ReadFile(path), "a\r\n\r\nb\r\n");
  WriteLinesAtomic(path.string(), {});
  EXPECT_EQ(apptest::ReadFile(path), "");
  EXPECT_EQ(apptest::DirEntries(dir), (std::vector<std::string>{"t.html"}));
}

TEST(AtomicFile, RelativeNameWritesIntoTheCurrentDirectory) {
  const auto dir = apptest::ScratchDir();
  const auto old = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  WriteFileAtomic("plain.txt", "x");
  std::filesystem::current_path(old);
  EXPECT_EQ(apptest::ReadFile(dir / "plain.txt"), "x");
  EXPECT_EQ(apptest::DirEntries(dir), (std::vector<std::string>{"plain.txt"}));
}

TEST(AtomicFile, FailureKeepsTheOldFile) {
  const auto dir = apptest::ScratchDir();
  std::filesystem::create_directory(dir / "sub");
  std::filesystem::create_directory(dir / "sub" / "busy");
  apptest::WriteFile(dir / "sub" / "busy" / "inner", "keep");
  EXPECT_THROW(WriteFileAtomic((dir / "sub" / "busy").string(), "new"), EStreamError);
  EXPECT_EQ(apptest::ReadFile(dir / "sub" / "busy" / "inner"), "keep");
  EXPECT_EQ(apptest::DirEntries(dir / "sub"), (std::vector<std::string>{"busy"}));
}

}  // namespace
