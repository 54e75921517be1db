#include "app/export/pagelayout.h"

#include <algorithm>

#include "pgraphic/core/pixelgraphic.h"

std::vector<TGridCell> CellsOf(const TSplitGrid& grid) {
  TSplitGrid sorted = grid;
  sorted.SortBoth();
  std::vector<TGridCell> cells;
  for (int row : sorted.FilledRows())
    for (int column : sorted.FilledColumns()) cells.push_back(sorted.Cell(column, row));
  return cells;
}

namespace {

// The place of a grid column (row) among the filled ones: of the first
// filled one at or after it.
std::size_t PlaceOf(const std::vector<int>& filled, std::int64_t number) {
  return std::size_t(std::lower_bound(filled.begin(), filled.end(), number) - filled.begin());
}

struct TPlaced {
  TPageCell Page;
  std::size_t Left, Right, Top, Bottom;  // places of filled columns and rows, right and bottom excluded
};

// The table's columns (rows): the places where a cell begins, or all of
// them when no cell does.
std::vector<std::size_t> TablePlaces(const std::vector<bool>& begins) {
  std::vector<std::size_t> places;
  for (std::size_t p = 0; p < begins.size(); ++p)
    if (begins[p]) places.push_back(p);
  if (places.empty())
    for (std::size_t p = 0; p < begins.size(); ++p) places.push_back(p);
  return places;
}

std::vector<std::int32_t> Edges(const std::vector<std::size_t>& places, const std::vector<int>& filled,
                                const TIntegerList& lines) {
  std::vector<std::int32_t> edges;
  for (const std::size_t p : places) edges.push_back(lines[filled[p] - 1]);
  if (!filled.empty()) edges.push_back(lines[filled.back()]);
  return edges;
}

}  // namespace

TPageLayout PageLayoutOf(const TSplitGrid& grid, const TCellData& cells) {
  TSplitGrid sorted = grid;
  sorted.SortBoth();
  const std::vector<int> columns = sorted.FilledColumns(), rows = sorted.FilledRows();
  const std::size_t width = columns.size(), height = rows.size();
  // Which merge, if any, holds each filled cell.
  std::vector<int> owner(width * height, -1);
  std::vector<TPlaced> merged;
  for (const auto& [corner, span] : cells.Merges) {
    const std::int64_t right = std::int64_t(corner.first) + span.Columns, bottom = std::int64_t(corner.second) + span.Rows;
    if (right - 1 > sorted.ColumnCount() || bottom - 1 > sorted.RowCount()) continue;
    TPlaced m{{}, PlaceOf(columns, corner.first), PlaceOf(columns, right), PlaceOf(rows, corner.second),
              PlaceOf(rows, bottom)};
    if (m.Left == m.Right || m.Top == m.Bottom) continue;  // no pixels
    bool free = true;
    for (std::size_t r = m.Top; r < m.Bottom && free; ++r)
      for (std::size_t c = m.Left; c < m.Right && free; ++c) free = owner[r * width + c] < 0;
    if (!free) continue;
    for (std::size_t r = m.Top; r < m.Bottom; ++r)
      for (std::size_t c = m.Left; c < m.Right; ++c) owner[r * width + c] = int(merged.size());
    TGridCell& cell = m.Page.Cell;
    cell.Column = corner.first;
    cell.Row = corner.second;
    cell.Left = sorted.VertSplits[corner.first - 1];
    cell.Top = sorted.HorzSplits[corner.second - 1];
    cell.Width = sorted.VertSplits[int(right - 1)] - cell.Left;
    cell.Height = sorted.HorzSplits[int(bottom - 1)] - cell.Top;
    merged.push_back(m);
  }
  std::vector<TPlaced> placed;
  std::vector<bool> columnBegins(width, false), rowBegins(height, false);
  for (std::size_t r = 0; r < height; ++r)
    for (std::size_t c = 0; c < width; ++c) {
      const int m = owner[r * width + c];
      if (m < 0) {
        placed.push_back({{sorted.Cell(columns[c], rows[r])}, c, c + 1, r, r + 1});
      } else if (merged[std::size_t(m)].Left == c && merged[std::size_t(m)].Top == r) {
        placed.push_back(merged[std::size_t(m)]);
      } else {
        continue;
      }
      columnBegins[c] = rowBegins[r] = true;
    }
  const std::vector<std::size_t> tableColumns = TablePlaces(columnBegins), tableRows = TablePlaces(rowBegins);
  TPageLayout layout;
  layout.ColumnEdges = Edges(tableColumns, columns, sorted.VertSplits);
  layout.RowEdges = Edges(tableRows, rows, sorted.HorzSplits);
  const auto index = [](const std::vector<std::size_t>& places, std::size_t place) {
    return int(std::lower_bound(places.begin(), places.end(), place) - places.begin());
  };
  for (TPlaced& p : placed) {
    TPageCell& page = p.Page;
    page.Skip = cells.Skips.count({page.Cell.Column, page.Cell.Row}) > 0;
    page.Column = index(tableColumns, p.Left);
    page.Row = index(tableRows, p.Top);
    page.ColumnSpan = index(tableColumns, p.Right) - page.Column;
    page.RowSpan = index(tableRows, p.Bottom) - page.Row;
    layout.SpansColumns = layout.SpansColumns || page.ColumnSpan > 1;
    layout.SpansRows = layout.SpansRows || page.RowSpan > 1;
    layout.Cells.push_back(page);
  }
  return layout;
}

int SliceCountOf(const TPageLayout& page) {
  return int(std::count_if(page.Cells.begin(), page.Cells.end(), [](const TPageCell& cell) { return !cell.Skip; }));
}

TRGB AverageColor(TPixelGraphic& source, const TGridCell& cell) {
  std::uint64_t sum[3] = {0, 0, 0};
  std::uint64_t count = 0;
  const int right = std::min<std::int64_t>(std::int64_t(cell.Left) + cell.Width, source.Width());
  const int bottom = std::min<std::int64_t>(std::int64_t(cell.Top) + cell.Height, source.Height());
  const int left = std::max(cell.Left, 0);
  for (int y = std::max(cell.Top, 0); y < bottom; ++y) {
    const std::uint8_t* row = source.PixelFormat() == pgpf24Bit ? source.ScanLine(y) : nullptr;
    for (int x = left; x < right; ++x, ++count) {
      if (row) {  // blue, green, red
        sum[2] += row[3 * x];
        sum[1] += row[3 * x + 1];
        sum[0] += row[3 * x + 2];
        continue;
      }
      const TRGB c = source.GetPixelColor(x, y);
      sum[0] += GetRValue(c);
      sum[1] += GetGValue(c);
      sum[2] += GetBValue(c);
    }
  }
  if (count == 0) return 0;
  return RGBColor(unsigned((sum[0] + count / 2) / count), unsigned((sum[1] + count / 2) / count),
                  unsigned((sum[2] + count / 2) / count));
}
