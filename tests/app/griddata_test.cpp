// The grid with its slices' texts: texts follow their cells when lines
// change, grid and texts are saved together or not at all, and lines are
// fitted to a larger image.

#include "app/griddata.h"

#include <gtest/gtest.h>

#include "app_test_util.h"

namespace {

using V = std::vector<std::int32_t>;

TSplitGrid Lines(const V& horizontal, const V& vertical) {
  TSplitGrid grid;
  for (int y : horizontal) grid.HorzSplits.Add(y);
  for (int x : vertical) grid.VertSplits.Add(x);
  return grid;
}

// Cell -> link, for comparing whole maps at a glance.
std::map<std::pair<int, int>, std::string> Links(const TTagMap& tags) {
  std::map<std::pair<int, int>, std::string> links;
  for (const auto& [cell, texts] : tags) links[cell] = texts.Link;
  return links;
}

TEST(GridData, TextsFollowTheirCellsWhenLinesChange) {
  // Columns 0-100 ("a") and 100-300 ("b"); the lists need not be sorted.
  const TSplitGrid start = Lines({0, 200}, {0, 300, 100});
  const TTagMap tags{{{1, 1}, {"a", "", ""}}, {{2, 1}, {"b", "main", "B"}}, {{5, 1}, {"stray", "", ""}}};
  using L = std::map<std::pair<int, int>, std::string>;

  // A moved line keeps each cell's texts; a cell the grid lacks loses its.
  EXPECT_EQ(Links(CarryCellData(tags, start, Lines({0, 200}, {0, 300, 120}))), (L{{{1, 1}, "a"}, {{2, 1}, "b"}}));
  // Both halves of a split cell keep its texts, target and ALT text too.
  const TTagMap split = CarryCellData(tags, start, Lines({0, 200}, {0, 300, 100, 200}));
  EXPECT_EQ(Links(split), (L{{{1, 1}, "a"}, {{2, 1}, "b"}, {{3, 1}, "b"}}));
  EXPECT_EQ(split.at({3, 1}), (TCellTags{"b", "main", "B"}));
  // Cells made one keep the texts of their largest part.
  EXPECT_EQ(Links(CarryCellData(tags, start, Lines({0, 200}, {0, 300}))), (L{{{1, 1}, "b"}}));
  // A new row splits every cell of the row it cuts.
  EXPECT_EQ(Links(CarryCellData(tags, start, Lines({0, 200, 50}, {0, 100, 300}))),
            (L{{{1, 1}, "a"}, {{2, 1}, "b"}, {{1, 2}, "a"}, {{2, 2}, "b"}}));
  EXPECT_EQ(CellsNotInGrid(tags, start), (std::vector<std::pair<int, int>>{{5, 1}}));
}

TEST(GridData, CompanionFilesAreNamedAfterTheGrid) {
  EXPECT_EQ(CompanionPath("dir/cut.grd", ".tags"), "dir/cut.tags");
  EXPECT_EQ(CompanionPath("dir.v2/cut.final.grd", ".tags"), "dir.v2/cut.final.tags");
  EXPECT_EQ(CompanionPath("dir.v2/cut", ".tags"), "dir.v2/cut.tags");
  EXPECT_EQ(CompanionPath(".grd", ".tags"), ".grd.tags");
}

TEST(GridData, GridAndTextsAreSavedTogetherOrNotAtAll) {
  const auto dir = apptest::ScratchDir();
  const std::string grid = (dir / "cut.grd").string(), tags = (dir / "cut.tags").string();
  TGridData data{Lines({0, 200, 50}, {0, 300}), {}};

  // Without texts and without a tags file, the grid alone, as SaveGrid writes it.
  SaveGridData(grid, data);
  EXPECT_EQ(apptest::ReadFile(grid), "0\r\n200\r\n50\r\n-\r\n0\r\n300\r\n");
  EXPECT_EQ(apptest::DirEntries(dir), (std::vector<std::string>{"cut.grd"}));

  data.Tags[{1, 2}] = {"x.html", "", "X"};
  SaveGridData(grid, data);
  EXPECT_EQ(apptest::ReadFile(tags), "1\t2\tx.html\t\tX\r\n");
  const TGridData back = ReadGridData(grid, 300, 200, nullptr);
  EXPECT_EQ(back, data);

  // Texts all gone: the file beside the grid says so instead of keeping old ones.
  data.Tags.clear();
  SaveGridData(grid, data);
  EXPECT_EQ(apptest::ReadFile(tags), "");

  // A tags file that cannot be written keeps the grid file as it was.
  std::filesystem::remove(tags);
  std::filesystem::create_directory(tags);
  data.Grid.VertSplits.Add(100);
  data.Tags[{1, 1}] = {"y.html", "", ""};
  EXPECT_ANY_THROW(SaveGridData(grid, data));
  EXPECT_EQ(apptest::ReadFile(grid), "0\r\n200\r\n50\r\n-\r\n0\r\n300\r\n");
  EXPECT_EQ(apptest::DirEntries(dir), (std::vector<std::string>{"cut.grd", "cut.tags"}));

  // A tags file that does not parse fails the whole read.
  std::filesystem::remove(tags);
  apptest::WriteFile(tags, "1\t1\tok\n2\n");
  EXPECT_THROW(ReadGridData(grid, 300, 200, nullptr), std::runtime_error);
}

TEST(GridData, TheOldEdgesDoNotStayInsideALargerImage) {
  const TSplitGrid old = Lines({0, 200, 150, 60}, {0, 300, 100, 290});
  const TSplitGrid wider = LinesForNewImage(old, 300, 200, 400, 300);
  EXPECT_EQ(wider.VertSplits.Values(), (V{0, 400, 100, 290}));
  EXPECT_EQ(wider.HorzSplits.Values(), (V{0, 300, 150, 60}));
}

}  // namespace
