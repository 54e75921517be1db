#include "app/cut/splitgrid.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace {

using V = std::vector<std::int32_t>;

TSplitGrid FreshGrid() {
  TSplitGrid grid;
  grid.ResetToImage(300, 200);
  return grid;
}

TEST(IntegerList, OperationsKeepInsertionOrderUntilSorted) {
  TIntegerList list;
  for (int v : {5, -3, 5, 0}) list.Add(v);
  EXPECT_EQ(list.Values(), (V{5, -3, 5, 0}));
  EXPECT_EQ(list.IndexOf(5), 0);
  EXPECT_EQ(list.IndexOf(7), -1);
  list.Delete(0);
  EXPECT_EQ(list.Values(), (V{-3, 5, 0}));
  EXPECT_EQ(list.IndexOf(5), 1);
  list.Sort();
  EXPECT_EQ(list.Values(), (V{-3, 0, 5}));
  EXPECT_EQ(list[2], 5);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

TEST(IntegerList, BadIndexRaises) {
  TIntegerList list;
  list.Add(1);
  EXPECT_THROW(list.Items(1), std::out_of_range);
  EXPECT_THROW(list.Items(-1), std::out_of_range);
  EXPECT_THROW(list.Delete(1), std::out_of_range);
}

TEST(SplitGrid, FreshGridIsOneWholeCell) {
  TSplitGrid grid = FreshGrid();
  EXPECT_EQ(grid.VertSplits.Values(), (V{0, 300}));
  EXPECT_EQ(grid.HorzSplits.Values(), (V{0, 200}));
  ASSERT_EQ(grid.ColumnCount(), 1);
  ASSERT_EQ(grid.RowCount(), 1);
  const TGridCell c = grid.Cell(1, 1);
  EXPECT_EQ(V({c.Column, c.Row, c.Left, c.Top, c.Width, c.Height}), (V{1, 1, 0, 0, 300, 200}));
}

TEST(SplitGrid, ResetReplacesEverything) {
  TSplitGrid grid = FreshGrid();
  grid.Cross(10, 20, 300, 200);
  grid.ResetToImage(40, 30);
  EXPECT_EQ(grid.VertSplits.Values(), (V{0, 40}));
  EXPECT_EQ(grid.HorzSplits.Values(), (V{0, 30}));
}

TEST(SplitGrid, EmptyOrSingleEntryListsGiveNoCells) {
  TSplitGrid grid;
  EXPECT_EQ(grid.RowCount(), 0);
  EXPECT_EQ(grid.ColumnCount(), 0);
  grid.HorzSplits.Add(0);
  EXPECT_EQ(grid.RowCount(), 0);
  EXPECT_THROW(grid.Cell(1, 1), std::out_of_range);
}

TEST(SplitGrid, SortedColumnsAfterAddingTwoLines) {
  TSplitGrid grid = FreshGrid();
  EXPECT_TRUE(grid.DropVert(100, 300));
  EXPECT_TRUE(grid.DropVert(50, 300));
  EXPECT_EQ(grid.VertSplits.Values(), (V{0, 300, 100, 50}));
  grid.SortBoth();
  EXPECT_EQ(grid.VertSplits.Values(), (V{0, 50, 100, 300}));
  ASSERT_EQ(grid.ColumnCount(), 3);
  EXPECT_EQ(grid.Cell(1, 1).Width, 50);
  EXPECT_EQ(grid.Cell(2, 1).Width, 50);
  EXPECT_EQ(grid.Cell(3, 1).Width, 200);
  EXPECT_EQ(grid.Cell(3, 1).Left, 100);
}

TEST(SplitGrid, DropRefusesPresentAndBeyondExtent) {
  TSplitGrid grid = FreshGrid();
  EXPECT_FALSE(grid.DropVert(300, 300));  // the right edge is present
  EXPECT_FALSE(grid.DropVert(301, 300));
  EXPECT_FALSE(grid.DropHorz(201, 200));
  EXPECT_TRUE(grid.DropHorz(199, 200));
  EXPECT_FALSE(grid.DropHorz(199, 200));
  EXPECT_EQ(grid.HorzSplits.Values(), (V{0, 200, 199}));
  EXPECT_EQ(grid.VertSplits.Values(), (V{0, 300}));
}

TEST(SplitGrid, DropBelowZeroClampsToTheEdge) {
  TSplitGrid grid;
  grid.HorzSplits.Add(200);
  EXPECT_TRUE(grid.DropHorz(-7, 200));
  EXPECT_EQ(grid.HorzSplits.Values(), (V{200, 0}));
  EXPECT_FALSE(grid.DropHorz(-1, 200));  // 0 is now present
}

TEST(SplitGrid, GrabAndReleaseOnEdgeRemovesLine) {
  TSplitGrid grid = FreshGrid();
  grid.DropVert(50, 300);
  EXPECT_TRUE(grid.GrabVert(50));
  EXPECT_FALSE(grid.DropVert(300, 300));
  EXPECT_EQ(grid.VertSplits.Values(), (V{0, 300}));
  EXPECT_FALSE(grid.GrabVert(50));
}

// The edge line itself taken away is free again: dropping it back on the
// edge restores it, once.
TEST(SplitGrid, EdgeLineGrabbedAwayCanBeDroppedBack) {
  TSplitGrid grid = FreshGrid();
  EXPECT_TRUE(grid.GrabVert(300));
  EXPECT_TRUE(grid.DropVert(300, 300));
  EXPECT_FALSE(grid.DropVert(300, 300));
  EXPECT_TRUE(grid.GrabHorz(200));
  EXPECT_TRUE(grid.DropHorz(200, 200));
  EXPECT_TRUE(grid.GrabHorz(0));
  EXPECT_TRUE(grid.DropHorz(0, 200));
  EXPECT_EQ(grid.VertSplits.Values(), (V{0, 300}));
  EXPECT_EQ(grid.HorzSplits.Values(), (V{200, 0}));
}

TEST(SplitGrid, GrabTakesFirstOfDuplicates) {
  TSplitGrid grid = FreshGrid();
  grid.Cross(100, 50, 300, 200);
  grid.Cross(100, 60, 300, 200);
  EXPECT_TRUE(grid.GrabVert(100));
  EXPECT_EQ(grid.VertSplits.Values(), (V{0, 300, 100}));
  EXPECT_TRUE(grid.GrabHorz(200));
  EXPECT_EQ(grid.HorzSplits.Values(), (V{0, 50, 60}));
}

TEST(SplitGrid, CrossAddsDuplicatesGivingEmptyCells) {
  TSplitGrid grid = FreshGrid();
  grid.Cross(300, 0, 300, 200);
  EXPECT_EQ(grid.VertSplits.Values(), (V{0, 300, 300}));
  EXPECT_EQ(grid.HorzSplits.Values(), (V{0, 200, 0}));
  grid.SortBoth();
  ASSERT_EQ(grid.ColumnCount(), 2);
  ASSERT_EQ(grid.RowCount(), 2);
  EXPECT_EQ(grid.Cell(2, 1).Width, 0);
  EXPECT_EQ(grid.Cell(1, 1).Height, 0);
  EXPECT_EQ(grid.Cell(1, 2).Height, 200);
}

TEST(SplitGrid, CrossOutsideTheImageIsClamped) {
  TSplitGrid grid = FreshGrid();
  grid.Cross(-40, 5000, 300, 200);
  grid.Cross(INT64_MAX, INT64_MIN, 300, 200);
  EXPECT_EQ(grid.VertSplits.Values(), (V{0, 300, 0, 300}));
  EXPECT_EQ(grid.HorzSplits.Values(), (V{0, 200, 200, 0}));
}

TEST(SplitGrid, RectangleAddsInItsOrder) {
  TSplitGrid grid;
  grid.Rectangle(10, 20, 30, 40, 300, 200);
  EXPECT_EQ(grid.VertSplits.Values(), (V{10, 40}));
  EXPECT_EQ(grid.HorzSplits.Values(), (V{20, 60}));
  grid.Rectangle(290, 190, 30, 40, 300, 200);
  EXPECT_EQ(grid.VertSplits.Values(), (V{10, 40, 290, 300}));
  EXPECT_EQ(grid.HorzSplits.Values(), (V{20, 60, 190, 200}));
}

TEST(SplitGrid, RulerRules) {
  TSplitGrid grid;
  EXPECT_FALSE(grid.TopRulerClick(25, 300));   // x = 0 is refused
  EXPECT_TRUE(grid.TopRulerClick(26, 300));    // x = 1
  EXPECT_TRUE(grid.TopRulerClick(325, 300));   // x = width
  EXPECT_FALSE(grid.TopRulerClick(326, 300));
  EXPECT_EQ(grid.VertSplits.Values(), (V{1, 300}));
  EXPECT_TRUE(grid.LeftRulerClick(0, 200));
  EXPECT_TRUE(grid.LeftRulerClick(200, 200));
  EXPECT_FALSE(grid.LeftRulerClick(201, 200));
  EXPECT_TRUE(grid.LeftRulerClick(-5, 200));   // no lower bound: clamped
  EXPECT_EQ(grid.HorzSplits.Values(), (V{0, 200, 0}));
}

TEST(SplitGrid, AddSplitlineAcceptsOnlyZeroToExtent) {
  TSplitGrid grid = FreshGrid();
  EXPECT_TRUE(grid.AddSplitlineHorz(0, 200));  // duplicate of the top edge
  EXPECT_FALSE(grid.AddSplitlineHorz(-1, 200));
  EXPECT_FALSE(grid.AddSplitlineHorz(201, 200));
  EXPECT_TRUE(grid.AddSplitlineVert(300, 300));
  EXPECT_FALSE(grid.AddSplitlineVert(301, 300));
  EXPECT_EQ(grid.HorzSplits.Values(), (V{0, 200, 0}));
  EXPECT_EQ(grid.VertSplits.Values(), (V{0, 300, 300}));
}

TEST(SplitGrid, HitTestingIsExact) {
  TSplitGrid grid = FreshGrid();
  grid.DropHorz(50, 200);
  EXPECT_TRUE(grid.ContainsHorz(50));
  EXPECT_FALSE(grid.ContainsHorz(49));
  EXPECT_FALSE(grid.ContainsVert(50));
}

TEST(SplitGrid, LineAddedAfterSortStaysAtTheEnd) {
  TSplitGrid grid = FreshGrid();
  grid.DropVert(200, 300);
  grid.SortBoth();
  grid.DropVert(100, 300);
  EXPECT_EQ(grid.VertSplits.Values(), (V{0, 200, 300, 100}));
}

TEST(SplitGrid, CellsOfTheWorkedGrid) {
  TSplitGrid grid = FreshGrid();
  grid.DropVert(100, 300);
  grid.DropHorz(50, 200);
  grid.SortBoth();
  std::vector<V> cells;
  for (int r = 1; r <= grid.RowCount(); ++r)
    for (int c = 1; c <= grid.ColumnCount(); ++c) {
      const TGridCell k = grid.Cell(c, r);
      cells.push_back({k.Column, k.Row, k.Left, k.Top, k.Width, k.Height});
    }
  EXPECT_EQ(cells, (std::vector<V>{{1, 1, 0, 0, 100, 50},
                                   {2, 1, 100, 0, 200, 50},
                                   {1, 2, 0, 50, 100, 150},
                                   {2, 2, 100, 50, 200, 150}}));
}

TEST(SplitGrid, CellOfExtremeRawEntriesDoesNotOverflow) {
  TSplitGrid grid;
  grid.VertSplits.Add(INT32_MIN);
  grid.VertSplits.Add(INT32_MAX);
  grid.HorzSplits.Add(INT32_MAX);
  grid.HorzSplits.Add(INT32_MIN);
  EXPECT_EQ(grid.Cell(1, 1).Width, INT32_MAX);
  EXPECT_EQ(grid.Cell(1, 1).Height, INT32_MIN);
}

}  // namespace
