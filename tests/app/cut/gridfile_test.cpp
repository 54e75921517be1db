#include "app/cut/gridfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/app_test_util.h"
#include "app/common/convert.h"
#include "pgraphic/core/stream.h"

namespace {

using V = std::vector<std::int32_t>;
using apptest::ReadFile;
using apptest::WriteFile;

TSplitGrid GridOf(V horz, V vert) {
  TSplitGrid grid;
  for (auto y : horz) grid.HorzSplits.Add(y);
  for (auto x : vert) grid.VertSplits.Add(x);
  return grid;
}

// Loads text onto a 300 x 200 image, collecting the messages.
std::vector<std::string> LoadText(const std::string& text, TSplitGrid& grid) {
  std::vector<std::string> messages;
  LoadGridText(text, grid, 300, 200, [&](const std::string& m) { messages.push_back(m); });
  return messages;
}

TEST(StrToInt, AcceptsPlainDecimalWithBlanksAndSign) {
  EXPECT_EQ(StrToInt("0"), 0);
  EXPECT_EQ(StrToInt("-17"), -17);
  EXPECT_EQ(StrToInt("+17"), 17);
  EXPECT_EQ(StrToInt("  42"), 42);
  EXPECT_EQ(StrToInt("007"), 7);
  EXPECT_EQ(StrToInt("2147483647"), INT32_MAX);
  EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
}

TEST(StrToInt, RefusesOtherFormsWithThePlatformWording) {
  for (const char* bad : {"", " ", "-", "12 ", "1e3", "0x10", "$10", "2147483648", "-2147483649",
                          "99999999999999999999", "1-", "--1"}) {
    try {
      StrToInt(bad);
      ADD_FAILURE() << "accepted '" << bad << "'";
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), std::string("'") + bad + "' is not a valid integer value");
    }
  }
}

// Editors that save UTF-8 may put a byte-order mark first; a bad line is
// named with its file and number.
TEST(GridFile, ByteOrderMarkIsSkippedAndErrorsNameFileAndLine) {
  const auto dir = apptest::ScratchDir();
  const std::string path = (dir / "cut.grd").string();
  WriteFile(path, "\xEF\xBB\xBF" "0\r\n200\r\n-\r\n0\r\n120\r\n300\r\n");
  TSplitGrid grid;
  LoadGrid(path, grid, 300, 200, nullptr);
  EXPECT_EQ(grid.HorzSplits.Values(), (V{0, 200}));
  EXPECT_EQ(grid.VertSplits.Values(), (V{0, 120, 300}));
  WriteFile(path, "0\n200\r\n-\r10 px\n");
  try {
    LoadGrid(path, grid, 300, 200, nullptr);
    ADD_FAILURE() << "a bad line was taken";
  } catch (const EConvertError& e) {
    EXPECT_EQ(std::string(e.what()), path + ", line 4: '10 px' is not a valid integer value");
  }
  EXPECT_EQ(grid.VertSplits.Values(), (V{0, 120, 300}));
}

TEST(GridFile, LinesOfAFreshGrid) {
  TSplitGrid grid;
  grid.ResetToImage(300, 200);
  EXPECT_EQ(GridFileLines(grid), (std::vector<std::string>{"0", "200", "-", "0", "300"}));
}

TEST(GridFile, SaveWritesCrLfAndLoadsBackUnchanged) {
  const auto dir = apptest::ScratchDir();
  const std::string path = (dir / "g.grd").string();
  TSplitGrid grid = GridOf({0, 200, 100}, {0, 300, 7, 7});
  SaveGrid(path, grid);
  EXPECT_EQ(ReadFile(path), "0\r\n200\r\n100\r\n-\r\n0\r\n300\r\n7\r\n7\r\n");
  TSplitGrid loaded;
  LoadGrid(path, loaded, 300, 200, nullptr);
  EXPECT_EQ(loaded.HorzSplits.Values(), (V{0, 200, 100}));
  EXPECT_EQ(loaded.VertSplits.Values(), (V{0, 300, 7, 7}));
  EXPECT_EQ(apptest::DirEntries(dir), (std::vector<std::string>{"g.grd"}));
}

TEST(GridFile, SaveReplacesExistingFileAndKeepsItsMode) {
  const auto dir = apptest::ScratchDir();
  const std::string path = (dir / "g.grd").string();
  WriteFile(path, "old content that is longer than the new one\r\n");
  chmod(path.c_str(), 0640);
  SaveGrid(path, GridOf({}, {}));
  EXPECT_EQ(ReadFile(path), "-\r\n");
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(GridFile, FailedSaveLeavesNothingBehind) {
  const auto dir = apptest::ScratchDir();
  const auto missing = dir / "no-such-dir" / "g.grd";
  EXPECT_THROW(SaveGrid(missing.string(), GridOf({0}, {0})), EStreamError);
  // A directory in the way: the temporary must not survive the failed rename.
  std::filesystem::create_directory(dir / "taken.grd");
  EXPECT_THROW(SaveGrid((dir / "taken.grd").string(), GridOf({0}, {0})), EStreamError);
  EXPECT_EQ(apptest::DirEntries(dir), (std::vector<std::string>{"taken.grd"}));
}

TEST(GridFile, AnyLineEndIsAccepted) {
  for (const char* text : {"0\r50\r-\r0\r300", "0\n50\n-\n0\n300\n", "0\r\n50\n-\r0\r\n300\r\n"}) {
    TSplitGrid grid;
    EXPECT_TRUE(LoadText(text, grid).empty());
    EXPECT_EQ(grid.HorzSplits.Values(), (V{0, 50})) << text;
    EXPECT_EQ(grid.VertSplits.Values(), (V{0, 300})) << text;
  }
}

TEST(GridFile, SplitLinesKeepsEmptyLinesAndTheUnendedLast) {
  EXPECT_EQ(SplitLines("a\r\n\nb\r\rc"), (std::vector<std::string>{"a", "", "b", "", "c"}));
  EXPECT_EQ(SplitLines("x\r\n"), (std::vector<std::string>{"x"}));
  EXPECT_TRUE(SplitLines("").empty());
}

TEST(GridFile, OutOfBoundsValuesAreReportedAsReadAndClamped) {
  TSplitGrid grid;
  const auto messages = LoadText("0\r\n250\r\n-\r\n0\r\n300\r\n0301\r\n", grid);
  EXPECT_EQ(messages, (std::vector<std::string>{
                          "Grid larger than image, line 250 out of bounds!",
                          "Grid larger than image, line 0301 out of bounds!"}));
  EXPECT_EQ(grid.HorzSplits.Values(), (V{0, 200}));
  EXPECT_EQ(grid.VertSplits.Values(), (V{0, 300, 300}));
}

TEST(GridFile, NegativeValuesAreClampedWithoutMessage) {
  TSplitGrid grid;
  EXPECT_TRUE(LoadText("-5\r\n-\r\n-1\r\n", grid).empty());
  EXPECT_EQ(grid.HorzSplits.Values(), (V{0}));
  EXPECT_EQ(grid.VertSplits.Values(), (V{0}));
}

TEST(GridFile, OrderIsKeptAndSecondSeparatorChangesNothing) {
  TSplitGrid grid;
  LoadText("0\r\n200\r\n100\r\n-\r\n0\r\n-\r\n300\r\n", grid);
  EXPECT_EQ(grid.HorzSplits.Values(), (V{0, 200, 100}));
  EXPECT_EQ(grid.VertSplits.Values(), (V{0, 300}));
}

TEST(GridFile, OnlySeparatorOrNoSeparator) {
  TSplitGrid grid = GridOf({0, 200}, {0, 300});
  LoadText("-\r\n", grid);
  EXPECT_EQ(grid.HorzSplits.Count() + grid.VertSplits.Count(), 0);
  LoadText("10\r\n20\r\n", grid);
  EXPECT_EQ(grid.HorzSplits.Values(), (V{10, 20}));
  EXPECT_EQ(grid.VertSplits.Count(), 0);
}

TEST(GridFile, BadLineKeepsTheGridAndShowsNoBoundsMessage) {
  for (const char* text : {"0\r\n999\r\n-\r\n0\r\n\r\n300\r\n", "0\r\n999\r\nabc\r\n", "-\r\n 5x\r\n"}) {
    TSplitGrid grid = GridOf({0, 200, 50}, {0, 300});
    std::vector<std::string> messages;
    EXPECT_THROW(messages = LoadText(text, grid), EConvertError) << text;
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(grid.HorzSplits.Values(), (V{0, 200, 50}));
    EXPECT_EQ(grid.VertSplits.Values(), (V{0, 300}));
  }
}

TEST(GridFile, ConversionErrorQuotesTheLine) {
  TSplitGrid grid;
  try {
    LoadText("0\r\n12 px\r\n", grid);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'12 px' is not a valid integer value");
  }
}

TEST(GridFile, MissingFileKeepsTheGrid) {
  const auto dir = apptest::ScratchDir();
  TSplitGrid grid = GridOf({0, 200}, {0, 300});
  EXPECT_THROW(LoadGrid((dir / "none.grd").string(), grid, 300, 200, nullptr), EStreamError);
  EXPECT_EQ(grid.HorzSplits.Values(), (V{0, 200}));
  EXPECT_EQ(grid.VertSplits.Values(), (V{0, 300}));
}

}  // namespace
