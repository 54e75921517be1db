#include "app/cut/splitgrid.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <unordered_set>

namespace {

[[noreturn]] void RaiseIndex(int index) {
  throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
}

// b - a without overflow, for lists filled directly rather than by the rules.
int Difference(std::int32_t b, std::int32_t a) {
  const std::int64_t d = std::int64_t{b} - a;
  return static_cast<int>(std::clamp<std::int64_t>(d, INT32_MIN, INT32_MAX));
}

}  // namespace

std::int32_t TIntegerList::Items(int index) const {
  if (index < 0 || index >= Count()) RaiseIndex(index);
  return FItems[static_cast<std::size_t>(index)];
}

int TIntegerList::IndexOf(std::int32_t value) const {
  auto it = std::find(FItems.begin(), FItems.end(), value);
  return it == FItems.end() ? -1 : static_cast<int>(it - FItems.begin());
}

void TIntegerList::Delete(int index) {
  if (index < 0 || index >= Count()) RaiseIndex(index);
  FItems.erase(FItems.begin() + index);
}

void TIntegerList::Set(int index, std::int32_t value) {
  if (index < 0 || index >= Count()) RaiseIndex(index);
  FItems[static_cast<std::size_t>(index)] = value;
}

void TIntegerList::Sort() { std::sort(FItems.begin(), FItems.end()); }

std::int32_t ClampToExtent(std::int64_t position, int extent) {
  const std::int64_t upper = std::max(extent, 0);
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(position, 0, upper));
}

void TSplitGrid::ResetToImage(int width, int height) {
  HorzSplits.Clear();
  VertSplits.Clear();
  HorzSplits.Add(0);
  HorzSplits.Add(ClampToExtent(height, height));
  VertSplits.Add(0);
  VertSplits.Add(ClampToExtent(width, width));
}

namespace {

// The drop rule: refused beyond the extent and where a line already lies.
bool DropInto(TIntegerList& list, std::int64_t position, int extent) {
  if (position > extent) return false;
  const std::int32_t p = ClampToExtent(position, extent);
  if (list.IndexOf(p) >= 0) return false;
  list.Add(p);
  return true;
}

// Accepts only positions within lower..extent (no clamping needed then).
bool AddWithin(TIntegerList& list, std::int64_t position, std::int64_t lower, int extent) {
  if (position < lower || position > extent) return false;
  list.Add(static_cast<std::int32_t>(position));
  return true;
}

}  // namespace

bool TSplitGrid::DropHorz(std::int64_t y, int height) { return DropInto(HorzSplits, y, height); }

bool TSplitGrid::DropVert(std::int64_t x, int width) { return DropInto(VertSplits, x, width); }

void TSplitGrid::Cross(std::int64_t x, std::int64_t y, int width, int height) {
  HorzSplits.Add(ClampToExtent(y, height));
  VertSplits.Add(ClampToExtent(x, width));
}

void TSplitGrid::Rectangle(std::int64_t left, std::int64_t top, std::int64_t rectWidth,
                           std::int64_t rectHeight, int width, int height) {
  VertSplits.Add(ClampToExtent(left, width));
  HorzSplits.Add(ClampToExtent(top, height));
  VertSplits.Add(ClampToExtent(left + rectWidth, width));
  HorzSplits.Add(ClampToExtent(top + rectHeight, height));
}

bool TSplitGrid::TopRulerClick(std::int64_t rulerX, int width) {
  return AddWithin(VertSplits, rulerX - 25, 1, width);
}

bool TSplitGrid::LeftRulerClick(std::int64_t rulerY, int height) {
  if (rulerY > height) return false;
  HorzSplits.Add(ClampToExtent(rulerY, height));
  return true;
}

bool TSplitGrid::AddSplitlineHorz(std::int64_t value, int height) {
  return AddWithin(HorzSplits, value, 0, height);
}

bool TSplitGrid::AddSplitlineVert(std::int64_t value, int width) {
  return AddWithin(VertSplits, value, 0, width);
}

namespace {

bool GrabFrom(TIntegerList& list, std::int32_t position) {
  const int index = list.IndexOf(position);
  if (index < 0) return false;
  list.Delete(index);
  return true;
}

}  // namespace

bool TSplitGrid::GrabHorz(std::int32_t y) { return GrabFrom(HorzSplits, y); }

bool TSplitGrid::GrabVert(std::int32_t x) { return GrabFrom(VertSplits, x); }

void TSplitGrid::SortBoth() {
  VertSplits.Sort();
  HorzSplits.Sort();
}

namespace {

void KeepFirstOfEach(TIntegerList& list) {
  std::unordered_set<std::int32_t> seen;
  TIntegerList kept;
  for (std::int32_t value : list.Values())
    if (seen.insert(value).second) kept.Add(value);
  list = kept;
}

}  // namespace

void TSplitGrid::RemoveDuplicates() {
  KeepFirstOfEach(HorzSplits);
  KeepFirstOfEach(VertSplits);
}

TGridCell TSplitGrid::Cell(int column, int row) const {
  if (column < 1 || column > ColumnCount()) RaiseIndex(column);
  if (row < 1 || row > RowCount()) RaiseIndex(row);
  TGridCell cell;
  cell.Column = column;
  cell.Row = row;
  cell.Left = VertSplits[column - 1];
  cell.Top = HorzSplits[row - 1];
  // An unsorted grid gives a negative size, which callers treat as empty.
  cell.Width = Difference(VertSplits[column], cell.Left);
  cell.Height = Difference(HorzSplits[row], cell.Top);
  return cell;
}

namespace {

std::vector<int> FilledSpans(const TIntegerList& list) {
  std::vector<int> filled;
  for (int i = 1; i < list.Count(); ++i)
    if (list[i] > list[i - 1]) filled.push_back(i);
  return filled;
}

}  // namespace

std::vector<int> TSplitGrid::FilledColumns() const { return FilledSpans(VertSplits); }

std::vector<int> TSplitGrid::FilledRows() const { return FilledSpans(HorzSplits); }
