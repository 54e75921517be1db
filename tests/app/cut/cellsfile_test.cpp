// The cells file beside a grid: what it reads, what it writes, what it refuses.

#include "app/cut/cellsfile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/common/atomicfile.h"

namespace {

TEST(CellsFile, ReadsEveryRecordAndWritesItBackInOrder) {
  std::vector<std::string> warnings;
  const TCellData cells = ParseCells(
      "\xEF\xBB\xBF# made by hand\r\n"
      "format\t2\t1\twebp\t40\n"
      "skip\t3\t1\r\n"
      "\n"
      "merge\t1\t2\t3\t2\r\n"
      "hint\t1\t1\tfrom a later version\n"
      "format\t2\t1\tpng8\n"  // replaces the format above
      "merge\t3\t1\t1\t1\n"
      "skip\t3\t1\n"
      "merge\t4\t2\t1\t2",
      "cut.cells", [&](const std::string& message) { warnings.push_back(message); });
  const TCellData expected{{{{1, 2}, {3, 2}}, {{3, 1}, {1, 1}}, {{4, 2}, {1, 2}}},
                           {{3, 1}},
                           {{{2, 1}, {"png8", TCellFormat::NoQuality}}}};
  EXPECT_EQ(cells, expected);
  EXPECT_EQ(warnings, std::vector<std::string>{"cut.cells, line 6: unknown record \"hint\", passed over"});

  TCellData more = cells;
  more.Formats[{1, 3}] = {"jpg", 0};
  more.Names[{2, 1}] = "btn-shop";
  const std::string text = CrLfText(CellsFileLines(more));
  EXPECT_EQ(text,
            "merge\t3\t1\t1\t1\r\nmerge\t1\t2\t3\t2\r\nmerge\t4\t2\t1\t2\r\nskip\t3\t1\r\n"
            "format\t2\t1\tpng8\r\nformat\t1\t3\tjpg\t0\r\nname\t2\t1\tbtn-shop\r\n");
  EXPECT_EQ(ParseCells(text, "again", nullptr), more);
  EXPECT_TRUE(ParseCells("", "empty", nullptr).Empty());
}

TEST(CellsFile, RefusesMalformedRecordsNamingFileAndLine) {
  struct TCase {
    std::string Text, Error;
  };
  const std::string merge = ": expected merge, column, row, columns, rows separated by tabs";
  const std::string format = ": expected format, column, row, format and quality separated by tabs";
  const TCase cases[] = {
      {"merge\t1\t1\t2", "c, line 1" + merge},
      {"# x\nmerge\t1\t1\t2\t1\t", "c, line 2" + merge},
      {"skip\t1", "c, line 1: expected skip, column, row separated by tabs"},
      {"skip\t1\t1\t" + std::string(100000, '\t'), "c, line 1: expected skip, column, row separated by tabs"},
      {"format\t1\t1", "c, line 1" + format},
      {"format\t1\t1\tjpg\t5\t5", "c, line 1" + format},
      {"merge\tx\t1\t2\t1", "c, line 1: 'x' is not a valid integer value"},
      {"skip\t1\t99999999999", "c, line 1: '99999999999' is not a valid integer value"},
      {"merge\t0\t1\t2\t1", "c, line 1: column 0 is not from 1 to 2147483647"},
      {"skip\t1\t-3", "c, line 1: row -3 is not from 1 to 2147483647"},
      {"merge\t1\t1\t0\t1", "c, line 1: columns 0 is not from 1 to 2147483647"},
      {"merge\t2147483647\t1\t2\t1", "c, line 1: columns 2 is not from 1 to 1"},
      {"format\t1\t1\tjpg\t101", "c, line 1: quality 101 is not from 0 to 100"},
      {"format\t1\t1\tgif", "c, line 1: the format must be jpg, bmp, tif, png, webp, png8 or auto, not \"gif\""},
      {"Merge\t1\t1\t2\t1\nskip\t0\t0", "c, line 2: column 0 is not from 1 to 2147483647"},
      {"merge\t1\t1\t2\t2\nmerge\t5\t5\t1\t1\nmerge\t2\t2\t3\t1", "c, line 3: the merge overlaps the one of line 1"},
      {"merge\t3\t1\t1\t5\nmerge\t1\t3\t5\t1", "c, line 2: the merge overlaps the one of line 1"},
      {"merge\t1\t1\t1\t1\nmerge\t1\t1\t1\t1", "c, line 2: the merge overlaps the one of line 1"},
      {"name\t1\t1", "c, line 1: expected name, column, row and name separated by tabs"},
      {"name\t1\t1\t", "c, line 1: a slice name cannot be empty"},
      {"name\t1\t1\t../up", "c, line 1: the slice name \"../up\" may hold only letters A-Z, digits, '-', '_' and '.'"},
      {"name\t1\t1\tbtn shop", "c, line 1: the slice name \"btn shop\" may hold only letters A-Z, digits, '-', '_' and '.'"},
      {"name\t1\t1\t.hidden", "c, line 1: the slice name \".hidden\" cannot start with '.'"},
      {"name\t1\t1\t-rf", "c, line 1: the slice name \"-rf\" cannot start with '-'"},
      {"name\t1\t1\t" + std::string(101, 'a'),
       "c, line 1: the slice name \"" + std::string(40, 'a') + "...\" is longer than 100 characters"},
      {"name\t1\t1\tLogo\nname\t2\t1\tlogo", "c, line 2: the slice name \"logo\" is taken by another cell already"},
  };
  for (const TCase& c : cases) {
    std::string error = "(read)";
    try {
      ParseCells(c.Text, "c", nullptr);
    } catch (const std::exception& e) {
      error = e.what();
    }
    EXPECT_EQ(error, c.Error) << c.Text.substr(0, 60);
  }
  // Rectangles that touch share no cell.
  EXPECT_EQ(ParseCells("merge\t1\t1\t2\t2\nmerge\t3\t1\t1\t2\nmerge\t1\t3\t3\t1", "c", nullptr).Merges.size(), 3u);
}

TEST(CellsFile, ProblemsWithTheGridItGoesWith) {
  TSplitGrid grid;  // 3 columns, 2 rows, unsorted
  grid.ResetToImage(300, 200);
  grid.VertSplits.Add(200);
  grid.VertSplits.Add(100);
  grid.HorzSplits.Add(50);
  struct TCase {
    TCellData Cells;
    std::string Problem;
  };
  const TCase cases[] = {
      {{{{{2, 1}, {2, 2}}}, {{2, 1}}, {{{1, 2}, {"png", 9}}}}, ""},
      {{{{{2, 1}, {3, 1}}}, {}, {}}, "g.cells: the merged cell at 2, 1 (3 x 1 cells) reaches beyond the grid of 3 x 2 cells"},
      {{{}, {{1, 3}}, {}}, "g.cells: the grid of 3 x 2 cells has no cell 1, 3"},
      {{{}, {}, {{{4, 1}, {"png", 9}}}}, "g.cells: the grid of 3 x 2 cells has no cell 4, 1"},
      {{{{{2, 1}, {2, 2}}}, {}, {{{3, 2}, {"png", 9}}}},
       "g.cells: the cell 3, 2 lies inside the merged cell at 2, 1, which goes by that name"},
      {{{{{2, 1}, {2, 2}}}, {}, {}, {{{3, 1}, "hero"}}},
       "g.cells: the cell 3, 1 lies inside the merged cell at 2, 1, which goes by that name"},
      {{{}, {}, {}, {{{1, 1}, "a"}, {{1, 2}, "A"}}}, "g.cells: the cells 1, 1 and 1, 2 have the same name \"A\""},
      {{{}, {}, {}, {{{1, 1}, "a/b"}}},
       "g.cells: the slice name \"a/b\" may hold only letters A-Z, digits, '-', '_' and '.'"},
  };
  for (const TCase& c : cases) EXPECT_EQ(CellsProblem(c.Cells, grid, "g.cells"), c.Problem);
}

}  // namespace
