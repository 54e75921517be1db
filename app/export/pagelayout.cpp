#include "app/export/pagelayout.h"

#include <algorithm>
#include <map>
#include <optional>

#include "pgraphic/core/alpha.h"
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

// A sorted grid's filled columns and rows, and which merge holds each of
// their cells.
struct TFilled {
  explicit TFilled(const TSplitGrid& sorted)
      : Grid(sorted), Columns(sorted.FilledColumns()), Rows(sorted.FilledRows()),
        Owner(Columns.size() * Rows.size(), -1) {}
  int& OwnerOf(std::size_t column, std::size_t row) { return Owner[row * Columns.size() + column]; }

  const TSplitGrid& Grid;
  std::vector<int> Columns, Rows;
  std::vector<int> Owner;  // per filled cell, rows outer: its place in Merged, or -1
  std::vector<TPlaced> Merged;
};

// The merged cell as placed, unless it reaches beyond the grid or holds
// no pixels.
std::optional<TPlaced> PlacedMerge(const TFilled& filled, const TCellKey& corner, const TCellSpan& span) {
  const TSplitGrid& grid = filled.Grid;
  const std::int64_t right = std::int64_t(corner.first) + span.Columns;
  const std::int64_t bottom = std::int64_t(corner.second) + span.Rows;
  if (right - 1 > grid.ColumnCount() || bottom - 1 > grid.RowCount()) return std::nullopt;
  TPlaced m{{}, PlaceOf(filled.Columns, corner.first), PlaceOf(filled.Columns, right),
            PlaceOf(filled.Rows, corner.second), PlaceOf(filled.Rows, bottom)};
  if (m.Left == m.Right || m.Top == m.Bottom) return std::nullopt;
  TGridCell& cell = m.Page.Cell;
  cell.Column = corner.first;
  cell.Row = corner.second;
  cell.Left = grid.VertSplits[corner.first - 1];
  cell.Top = grid.HorzSplits[corner.second - 1];
  cell.Width = grid.VertSplits[int(right - 1)] - cell.Left;
  cell.Height = grid.HorzSplits[int(bottom - 1)] - cell.Top;
  return m;
}

// Each merge that fits takes its cells, unless an earlier one has any of them.
void PlaceMerges(TFilled& filled, const std::map<TCellKey, TCellSpan>& merges) {
  for (const auto& [corner, span] : merges) {
    const std::optional<TPlaced> m = PlacedMerge(filled, corner, span);
    if (!m) continue;
    bool free = true;
    for (std::size_t r = m->Top; r < m->Bottom && free; ++r)
      for (std::size_t c = m->Left; c < m->Right && free; ++c) free = filled.OwnerOf(c, r) < 0;
    if (!free) continue;
    for (std::size_t r = m->Top; r < m->Bottom; ++r)
      for (std::size_t c = m->Left; c < m->Right; ++c) filled.OwnerOf(c, r) = int(filled.Merged.size());
    filled.Merged.push_back(*m);
  }
}

// The cells of the page in cell order: each filled cell no merge holds,
// and each merged cell at its top-left cell.
std::vector<TPlaced> PlacedCells(TFilled& filled) {
  std::vector<TPlaced> placed;
  for (std::size_t r = 0; r < filled.Rows.size(); ++r)
    for (std::size_t c = 0; c < filled.Columns.size(); ++c) {
      const int m = filled.OwnerOf(c, r);
      if (m < 0)
        placed.push_back({{filled.Grid.Cell(filled.Columns[c], filled.Rows[r])}, c, c + 1, r, r + 1});
      else if (filled.Merged[std::size_t(m)].Left == c && filled.Merged[std::size_t(m)].Top == r)
        placed.push_back(filled.Merged[std::size_t(m)]);
    }
  return placed;
}

// The table's columns (rows): the places where a cell begins, or all of
// them when no cell does.
std::vector<std::size_t> TablePlaces(const std::vector<TPlaced>& placed, std::size_t TPlaced::*begin,
                                     std::size_t count) {
  std::vector<bool> begins(count, false);
  for (const TPlaced& p : placed) begins[p.*begin] = true;
  std::vector<std::size_t> places;
  for (std::size_t p = 0; p < count; ++p)
    if (begins[p]) places.push_back(p);
  if (places.empty())
    for (std::size_t p = 0; p < count; ++p) places.push_back(p);
  return places;
}

std::vector<std::int32_t> Edges(const std::vector<std::size_t>& places, const std::vector<int>& filled,
                                const TIntegerList& lines) {
  std::vector<std::int32_t> edges;
  for (const std::size_t p : places) edges.push_back(lines[filled[p] - 1]);
  if (!filled.empty()) edges.push_back(lines[filled.back()]);
  return edges;
}

// The place of a grid place among the table's.
int IndexOf(const std::vector<std::size_t>& places, std::size_t place) {
  return int(std::lower_bound(places.begin(), places.end(), place) - places.begin());
}

}  // namespace

TPageLayout PageLayoutOf(const TSplitGrid& grid, const TCellData& cells) {
  TSplitGrid sorted = grid;
  sorted.SortBoth();
  TFilled filled(sorted);
  PlaceMerges(filled, cells.Merges);
  const std::vector<TPlaced> placed = PlacedCells(filled);
  const std::vector<std::size_t> columns = TablePlaces(placed, &TPlaced::Left, filled.Columns.size());
  const std::vector<std::size_t> rows = TablePlaces(placed, &TPlaced::Top, filled.Rows.size());
  TPageLayout layout;
  layout.ColumnEdges = Edges(columns, filled.Columns, sorted.VertSplits);
  layout.RowEdges = Edges(rows, filled.Rows, sorted.HorzSplits);
  for (const TPlaced& p : placed) {
    TPageCell page = p.Page;
    page.Skip = cells.Skips.count({page.Cell.Column, page.Cell.Row}) > 0;
    page.Column = IndexOf(columns, p.Left);
    page.Row = IndexOf(rows, p.Top);
    page.ColumnSpan = IndexOf(columns, p.Right) - page.Column;
    page.RowSpan = IndexOf(rows, p.Bottom) - page.Row;
    layout.SpansColumns = layout.SpansColumns || page.ColumnSpan > 1;
    layout.SpansRows = layout.SpansRows || page.RowSpan > 1;
    layout.Cells.push_back(page);
  }
  return layout;
}

int SliceCountOf(const TPageLayout& page) {
  return int(std::count_if(page.Cells.begin(), page.Cells.end(), [](const TPageCell& cell) { return !cell.Skip; }));
}

TRGB AverageColor(TPixelGraphic& source, const TGridCell& cell, TRGB page) {
  std::uint64_t sum[3] = {0, 0, 0};
  std::uint64_t count = 0;
  const int right = std::min<std::int64_t>(std::int64_t(cell.Left) + cell.Width, source.Width());
  const int bottom = std::min<std::int64_t>(std::int64_t(cell.Top) + cell.Height, source.Height());
  const int left = std::max(cell.Left, 0);
  for (int y = std::max(cell.Top, 0); y < bottom; ++y) {
    const std::uint8_t* row = source.PixelFormat() == pgpf24Bit ? source.ScanLine(y) : nullptr;
    const std::uint8_t* alpha = source.AlphaLine(y);
    for (int x = left; x < right; ++x, ++count) {
      if (row && !alpha) {  // blue, green, red
        sum[2] += row[3 * x];
        sum[1] += row[3 * x + 1];
        sum[0] += row[3 * x + 2];
        continue;
      }
      TRGB c = row ? RGBColor(row[3 * x + 2], row[3 * x + 1], row[3 * x]) : source.GetPixelColor(x, y);
      if (alpha) c = PGLaidOn(c, alpha[x], page);
      sum[0] += GetRValue(c);
      sum[1] += GetGValue(c);
      sum[2] += GetBValue(c);
    }
  }
  if (count == 0) return 0;
  return RGBColor(unsigned((sum[0] + count / 2) / count), unsigned((sum[1] + count / 2) / count),
                  unsigned((sum[2] + count / 2) / count));
}

std::optional<TRGB> EdgeColor(TPixelGraphic& source, const TGridCell& area, TRGB page) {
  const int left = std::max(area.Left, 0), top = std::max(area.Top, 0);
  const int right = int(std::min<std::int64_t>(std::int64_t(area.Left) + area.Width, source.Width())) - 1;
  const int bottom = int(std::min<std::int64_t>(std::int64_t(area.Top) + area.Height, source.Height())) - 1;
  if (right < left || bottom < top) return std::nullopt;
  // A transparent edge's stored colour is not what the page shows.
  const auto shown = [&](int x, int y) {
    const TRGB c = source.GetPixelColor(x, y);
    const std::uint8_t* alpha = source.AlphaLine(y);
    return alpha ? PGLaidOn(c, alpha[x], page) : c;
  };
  const TRGB color = shown(left, top);
  for (int x = left; x <= right; ++x)
    if (shown(x, top) != color || shown(x, bottom) != color) return std::nullopt;
  for (int y = top; y <= bottom; ++y)
    if (shown(left, y) != color || shown(right, y) != color) return std::nullopt;
  return color;
}
