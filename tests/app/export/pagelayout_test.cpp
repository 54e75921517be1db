// The table a grid with merged and skipped cells makes.

#include "app/export/pagelayout.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "pgraphic/core/pixelgraphic.h"

namespace {

// A grid of the lines given, in the order given.
TSplitGrid Lines(const std::vector<std::int32_t>& horizontal, const std::vector<std::int32_t>& vertical) {
  TSplitGrid grid;
  for (const std::int32_t y : horizontal) grid.HorzSplits.Add(y);
  for (const std::int32_t x : vertical) grid.VertSplits.Add(x);
  return grid;
}

// One line per cell of the page: names, rectangle, place and spans.
std::string Describe(const TPageLayout& page) {
  std::string text;
  for (const TPageCell& c : page.Cells)
    text += std::to_string(c.Cell.Column) + "," + std::to_string(c.Cell.Row) + " " + std::to_string(c.Cell.Left) +
            "," + std::to_string(c.Cell.Top) + " " + std::to_string(c.Cell.Width) + "x" +
            std::to_string(c.Cell.Height) + " at " + std::to_string(c.Column) + "," + std::to_string(c.Row) +
            " spans " + std::to_string(c.ColumnSpan) + "x" + std::to_string(c.RowSpan) + (c.Skip ? " skip" : "") +
            "\n";
  const auto edges = [&](const char* name, const std::vector<std::int32_t>& list) {
    text += name;
    for (const std::int32_t e : list) text += " " + std::to_string(e);
    text += "\n";
  };
  edges("columns", page.ColumnEdges);
  edges("rows", page.RowEdges);
  return text;
}

TEST(PageLayout, MergedCellsMakeATableThatAddsUp) {
  // Columns 0-100, 100-100 (none), 100-200, 200-300; rows 0-50, 50-150, 150-200.
  const TSplitGrid grid = Lines({0, 200, 150, 50}, {0, 300, 100, 100, 200});
  TCellData cells;
  cells.Merges = {{{3, 1}, {2, 2}}, {{1, 3}, {4, 1}}};
  cells.Skips = {{1, 2}, {3, 1}};
  // Column 4 begins no cell: the table has two columns, the merged cell
  // one of them; the bottom row spans the table, not the grid.
  EXPECT_EQ(Describe(PageLayoutOf(grid, cells)),
            "1,1 0,0 100x50 at 0,0 spans 1x1\n"
            "3,1 100,0 200x150 at 1,0 spans 1x2 skip\n"
            "1,2 0,50 100x100 at 0,1 spans 1x1 skip\n"
            "1,3 0,150 300x50 at 0,2 spans 2x1\n"
            "columns 0 100 300\nrows 0 50 150 200\n");
  const TPageLayout page = PageLayoutOf(grid, cells);
  EXPECT_TRUE(page.SpansColumns && page.SpansRows);
  // Without cell data, every filled cell on its own, as ever.
  EXPECT_EQ(Describe(PageLayoutOf(Lines({0, 20}, {0, 10, 10, 30}), {})),
            "1,1 0,0 10x20 at 0,0 spans 1x1\n3,1 10,0 20x20 at 1,0 spans 1x1\ncolumns 0 10 30\nrows 0 20\n");
}

// The page's background from the design's edge counts transparent pixels
// as the page shows them, laid on the page colour, not as their stored
// colour: a transparent design's edge is the page colour, a half clear one
// a mix, and an edge of differing alphas no colour at all.
TEST(PageLayout, EdgeColourOfATransparentDesignIsWhatThePageShows) {
  const TRGB red = RGBColor(255, 0, 0), page = RGBColor(0, 0, 255);
  const struct {
    const char* Name;
    int EdgeAlpha, CornerAlpha;  // -1: no plane
    std::optional<TRGB> Expected;
  } kCases[] = {
      {"opaque, no plane", -1, -1, red},
      {"clear edge", 0, 0, page},
      {"half clear edge", 128, 128, RGBColor(128, 0, 127)},
      {"one corner clearer", 255, 0, std::nullopt},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.Name);
    TPixelGraphic image;
    image.SetSizeAndFormat(6, 5, pgpf24Bit);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 6; ++x) image.SetPixelColor(x, y, red);
    if (c.EdgeAlpha >= 0) {
      image.AddAlpha();
      for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) image.AlphaLine(y)[x] = std::uint8_t(c.EdgeAlpha);
      image.AlphaLine(4)[5] = std::uint8_t(c.CornerAlpha);
    }
    TGridCell all;
    all.Width = 6;
    all.Height = 5;
    EXPECT_EQ(EdgeColor(image, all, page), c.Expected);
  }
}

}  // namespace
