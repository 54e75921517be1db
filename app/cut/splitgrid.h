#pragma once
// The split grid: horizontal and vertical split positions in image pixels,
// and the cells they cut the image into. No screen coordinates here.

#include <cstdint>
#include <vector>

// A growable list of signed 32-bit integers in insertion order; duplicates
// allowed, no ordering unless Sort is called.
class TIntegerList {
 public:
  void Add(std::int32_t value) { FItems.push_back(value); }
  std::int32_t Items(int index) const;
  std::int32_t operator[](int index) const { return Items(index); }
  int Count() const { return static_cast<int>(FItems.size()); }
  // Index of the first entry equal to value, or -1.
  int IndexOf(std::int32_t value) const;
  void Delete(int index);
  // Replaces the entry at index, keeping its place in the order.
  void Set(int index, std::int32_t value);
  void Clear() { FItems.clear(); }
  void Sort();
  const std::vector<std::int32_t>& Values() const { return FItems; }
  friend bool operator==(const TIntegerList&, const TIntegerList&) = default;

 private:
  std::vector<std::int32_t> FItems;
};

// One cell of a sorted grid. Column and Row count from 1.
struct TGridCell {
  int Column = 0;
  int Row = 0;
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
};

// Every adding operation takes the image extent of its axis. Positions that
// would fall below 0 or beyond the extent are clamped into 0..extent, so the
// lists never hold a position outside the image (export relies on that).
class TSplitGrid {
 public:
  TIntegerList HorzSplits;  // Y positions
  TIntegerList VertSplits;  // X positions

  void ResetToImage(int width, int height);

  // A dragged or new line released: added only when the position is free and
  // not beyond the extent. Returns whether it was added.
  bool DropHorz(std::int64_t y, int height);
  bool DropVert(std::int64_t x, int width);
  // Cross mode: both positions added unconditionally.
  void Cross(std::int64_t x, std::int64_t y, int width, int height);
  // Rectangle mode: left, top, left + width, top + height, in that order.
  void Rectangle(std::int64_t left, std::int64_t top, std::int64_t rectWidth,
                 std::int64_t rectHeight, int width, int height);
  // Ruler clicks in ruler coordinates; the top ruler starts 25 pixels left
  // of the image (it spans the left ruler's width too).
  bool TopRulerClick(std::int64_t rulerX, int width);
  bool LeftRulerClick(std::int64_t rulerY, int height);
  // The Add Splitline dialog: accepted only within 0..extent.
  bool AddSplitlineHorz(std::int64_t value, int height);
  bool AddSplitlineVert(std::int64_t value, int width);

  bool ContainsHorz(std::int32_t y) const { return HorzSplits.IndexOf(y) >= 0; }
  bool ContainsVert(std::int32_t x) const { return VertSplits.IndexOf(x) >= 0; }
  // Takes the first line at the position out of its list; false if none.
  bool GrabHorz(std::int32_t y);
  bool GrabVert(std::int32_t x);

  void SortBoth();
  // Drops every later entry equal to an earlier one of its list.
  void RemoveDuplicates();

  friend bool operator==(const TSplitGrid&, const TSplitGrid&) = default;

  // Valid after SortBoth. A list with fewer than two entries gives no cells.
  int RowCount() const { return HorzSplits.Count() < 2 ? 0 : HorzSplits.Count() - 1; }
  int ColumnCount() const { return VertSplits.Count() < 2 ? 0 : VertSplits.Count() - 1; }
  TGridCell Cell(int column, int row) const;
  // The columns and rows of non-zero width and height, ascending: the only
  // ones whose cells hold pixels. Valid after SortBoth.
  std::vector<int> FilledColumns() const;
  std::vector<int> FilledRows() const;
};

// Clamps a position into 0..extent.
std::int32_t ClampToExtent(std::int64_t position, int extent);
