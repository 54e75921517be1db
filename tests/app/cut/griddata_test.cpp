// The grid with its slices' texts and cells: texts, merges and skips
// follow their cells when lines change, the cell commands, grid and
// companions saved together or not at all, and lines fitted to a larger
// image.

#include "app/cut/carrydata.h"
#include "app/cut/cellcommands.h"
#include "app/cut/griddatafiles.h"

#include <gtest/gtest.h>

#include "support/app_test_util.h"

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

// A name goes to one cell only: the one under the largest part of its
// cell, when that cell takes its data from it.
TEST(GridData, SliceNamesFollowTheirCellsToOneCellOnly) {
  const TSplitGrid start = Lines({0, 200}, {0, 300, 100});  // columns 0-100 "logo", 100-300 "shop"
  const std::map<TCellKey, std::string> names{{{1, 1}, "logo"}, {{2, 1}, "shop"}};
  using N = std::map<TCellKey, std::string>;
  struct TCase {
    const char* What;
    TSplitGrid Lines;
    N Names;
  };
  const TCase cases[] = {
      {"line moved", Lines({0, 200}, {0, 300, 120}), N{{{1, 1}, "logo"}, {{2, 1}, "shop"}}},
      {"cell split, larger half keeps it", Lines({0, 200}, {0, 300, 100, 250}), N{{{1, 1}, "logo"}, {{2, 1}, "shop"}}},
      {"cell split nearer its left", Lines({0, 200}, {0, 300, 100, 150}), N{{{1, 1}, "logo"}, {{3, 1}, "shop"}}},
      {"new row", Lines({0, 200, 150}, {0, 300, 100}), N{{{1, 1}, "logo"}, {{2, 1}, "shop"}}},
      {"line removed, largest part's name", Lines({0, 200}, {0, 300}), N{{{1, 1}, "shop"}}},
      {"cell split in halves, the first keeps it", Lines({0, 200}, {0, 300, 100, 50}),
       N{{{1, 1}, "logo"}, {{3, 1}, "shop"}}},
  };
  for (const TCase& c : cases) EXPECT_EQ(CarryNames(names, start, c.Lines), c.Names) << c.What;
  // The grid data carries them with the rest, and merging folds a name into the merged cell.
  TGridData data;
  data.Grid = start;
  data.Cells.Names = names;
  EXPECT_EQ(WithLines(data, Lines({0, 200}, {0, 300, 120})).Cells.Names, (N{{{1, 1}, "logo"}, {{2, 1}, "shop"}}));
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
  TGridData data{Lines({0, 200, 50}, {0, 300}), {}, {}};

  // Without texts and without a tags file, the grid alone, as SaveGrid writes it.
  SaveGridData(grid, data);
  EXPECT_EQ(apptest::ReadFile(grid), "0\r\n200\r\n50\r\n-\r\n0\r\n300\r\n");
  EXPECT_EQ(apptest::DirEntries(dir), (std::vector<std::string>{"cut.grd"}));

  data.Tags[{1, 2}] = {"x.html", "", "X"};
  SaveGridData(grid, data);
  EXPECT_EQ(apptest::ReadFile(tags), "lines\thorizontal\t0,50,200\r\nlines\tvertical\t0,300\r\n1\t2\tx.html\t\tX\r\n");
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

TEST(GridData, CellCommandsAndLinesKeepWhatBelongsToCells) {
  TGridData data{Lines({0, 200, 100}, {0, 300, 100, 200}), {}, {}};  // 3 x 2 cells
  data.Tags = {{{1, 1}, {"a", "", ""}}, {{3, 2}, {"c", "", ""}}};
  data.Cells.Formats[{3, 2}] = {"png", 7};
  const auto state = [](const TGridData& d) {
    std::string text;
    for (const std::string& line : CellsFileLines(d.Cells)) text += line + "|";
    for (const auto& [cell, link] : Links(d.Tags))
      text += "tag " + std::to_string(cell.first) + "," + std::to_string(cell.second) + "=" + link + "|";
    return text;
  };
  const TCellRange right{2, 1, 3, 2};

  // The merged cell takes the first texts and format of its cells.
  const TGridData merged = MergedCells(data, right);
  EXPECT_EQ(state(merged), "merge\t2\t1\t2\t2|format\t2\t1\tpng\t7|tag 1,1=a|tag 2,1=c|");
  // A selection that touches a merged cell takes all of it.
  EXPECT_EQ(CellRangeOf(merged.Cells, {1, 2}, {2, 2}), (TCellRange{1, 1, 3, 2}));
  // Apart again, every cell keeps what the merged cell had.
  EXPECT_EQ(state(UnmergedCells(SkippedCells(merged, {2, 1, 2, 1}, true), {3, 2, 3, 2})),
            "skip\t2\t1|skip\t3\t1|skip\t2\t2|skip\t3\t2|format\t2\t1\tpng\t7|format\t3\t1\tpng\t7|"
            "format\t2\t2\tpng\t7|format\t3\t2\tpng\t7|tag 1,1=a|tag 2,1=c|tag 2,2=c|tag 3,1=c|tag 3,2=c|");
  // Skipping inside a merged cell marks the merged cell.
  EXPECT_EQ(state(SkippedCells(merged, {3, 2, 3, 2}, true)), "merge\t2\t1\t2\t2|skip\t2\t1|format\t2\t1\tpng\t7|tag 1,1=a|tag 2,1=c|");
  EXPECT_EQ(SkippedCells(SkippedCells(data, {1, 1, 3, 2}, true), {1, 1, 3, 2}, false), data);

  // Lines: a removed line shrinks the merge; one that leaves it one cell drops it.
  EXPECT_EQ(state(WithLines(merged, Lines({0, 200, 100}, {0, 300, 100}))),
            "merge\t2\t1\t1\t2|format\t2\t1\tpng\t7|tag 1,1=a|tag 2,1=c|");
  EXPECT_EQ(state(WithLines(merged, Lines({0, 200}, {0, 300, 100}))), "format\t2\t1\tpng\t7|tag 1,1=a|tag 2,1=c|");
  // A new line through it makes it one cell larger, and the slices stay named.
  EXPECT_EQ(state(WithLines(merged, Lines({0, 200, 100, 150}, {0, 300, 100, 200}))),
            "merge\t2\t1\t2\t3|format\t2\t1\tpng\t7|tag 1,1=a|tag 2,1=c|");
}

TEST(GridData, CellsGoWithTheGridOrNotAtAll) {
  const auto dir = apptest::ScratchDir();
  const std::string grid = (dir / "cut.grd").string(), cells = (dir / "cut.cells").string();
  TGridData data{Lines({0, 200, 50}, {0, 300, 100}), {}, {}};
  data.Cells.Merges[{1, 1}] = {2, 1};
  data.Cells.Skips.insert({2, 2});
  data.Cells.Formats[{1, 2}] = {"webp", 80};
  SaveGridData(grid, data);
  EXPECT_EQ(apptest::ReadFile(grid), "0\r\n200\r\n50\r\n-\r\n0\r\n300\r\n100\r\n");
  EXPECT_EQ(apptest::ReadFile(cells),
            "lines\thorizontal\t0,50,200\r\nlines\tvertical\t0,100,300\r\n"
            "merge\t1\t1\t2\t1\r\nskip\t2\t2\r\nformat\t1\t2\twebp\t80\r\n");
  EXPECT_EQ(ReadGridData(grid, 300, 200, nullptr), data);
  // Cells the grid does not have fail the whole read.
  apptest::WriteFile(cells, "merge\t2\t1\t2\t1\n");
  EXPECT_THROW(ReadGridData(grid, 300, 200, nullptr), std::runtime_error);

  // No cell data left: the file beside the grid says so.
  data.Cells = {};
  SaveGridData(grid, data);
  EXPECT_EQ(apptest::ReadFile(cells), "");
  // A cells file that cannot be written keeps the grid as it was.
  std::filesystem::remove(cells);
  std::filesystem::create_directory(cells);
  data.Grid.VertSplits.Add(200);
  data.Cells.Skips.insert({1, 1});
  EXPECT_ANY_THROW(SaveGridData(grid, data));
  EXPECT_EQ(apptest::ReadFile(grid), "0\r\n200\r\n50\r\n-\r\n0\r\n300\r\n100\r\n");
}

TEST(GridData, TheOldEdgesDoNotStayInsideALargerImage) {
  const TSplitGrid old = Lines({0, 200, 150, 60}, {0, 300, 100, 290});
  const TSplitGrid wider = LinesForNewImage(old, 300, 200, 400, 300);
  EXPECT_EQ(wider.VertSplits.Values(), (V{0, 400, 100, 290}));
  EXPECT_EQ(wider.HorzSplits.Values(), (V{0, 300, 150, 60}));
}

}  // namespace
