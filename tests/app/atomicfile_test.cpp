#include "app/atomicfile.h"

#include <gtest/gtest.h>

#include "app/app_test_util.h"
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

TEST(SingleByte, Utf8BecomesWindows1252) {
  EXPECT_EQ(ToSingleByte("plain <ascii>"), "plain <ascii>");
  EXPECT_EQ(ToSingleByte("caf\xC3\xA9 \xC3\xBF"), "caf\xE9 \xFF");
  EXPECT_EQ(ToSingleByte("\xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D \xC5\xB8"), "\x80 \x93q\x94 \x9F");
}

TEST(SingleByte, UnmappableBecomesQuestionMark) {
  EXPECT_EQ(ToSingleByte("\xE4\xB8\xAD|\xF0\x9F\x98\x80|\xCE\xA9"), "?|?|?");
}

TEST(SingleByte, InvalidUtf8BytesAreKept) {
  // Latin-1 text, a truncated sequence, an overlong form and a surrogate.
  EXPECT_EQ(ToSingleByte("\xE9t\xE9"), "\xE9t\xE9");
  EXPECT_EQ(ToSingleByte("a\xC3"), "a\xC3");
  EXPECT_EQ(ToSingleByte("\xC0\xAF"), "\xC0\xAF");
  EXPECT_EQ(ToSingleByte("\xED\xA0\x80"), "\xED\xA0\x80");
}

}  // namespace
