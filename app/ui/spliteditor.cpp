#include "app/ui/spliteditor.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "app/ui/document.h"
#include "pgraphic_qt/view/pgimage.h"
#include "platform/cursors.h"

namespace {

// A dashed line of two tones that lie far apart (black and white; blue and
// yellow for the selected line), so it shows on any colour, mid-grey too.
QBrush DashBrush(const unsigned tones[2], bool horizontal) {
  const int period = 2 * TSplitEditor::DashLength;
  QImage pattern(horizontal ? period : 1, horizontal ? 1 : period, QImage::Format_RGB32);
  for (int i = 0; i < period; ++i) {
    const QRgb tone = tones[i < TSplitEditor::DashLength ? 0 : 1];
    pattern.setPixel(horizontal ? i : 0, horizontal ? 0 : i, tone);
  }
  return QBrush(pattern);
}

bool AddOnce(TIntegerList& list, std::int32_t position) {
  if (list.IndexOf(position) >= 0) return false;
  list.Add(position);
  return true;
}

TIntegerList& ListOf(TSplitGrid& grid, bool horizontal) {
  return horizontal ? grid.HorzSplits : grid.VertSplits;
}

}  // namespace

TSplitEditor::TSplitEditor(TCutDocument& document, TPGImage& view, QObject* parent)
    : QObject(parent), FDocument(document), FView(view) {}

TGridData& TSplitEditor::Data() { return FDocument.Data(); }
TSplitGrid& TSplitEditor::Grid() { return FDocument.Data().Grid; }
int TSplitEditor::ImageWidth() const { return FView.PixelGraphicWidth(); }
int TSplitEditor::ImageHeight() const { return FView.PixelGraphicHeight(); }

TViewAxis TSplitEditor::AxisX() const {
  return {FView.PicBox()->x(), FView.PixelGraphicWidth(), FView.PicBox()->width()};
}

TViewAxis TSplitEditor::AxisY() const {
  return {FView.PicBox()->y(), FView.PixelGraphicHeight(), FView.PicBox()->height()};
}

void TSplitEditor::SetMode(TSplitMode mode) {
  const bool selecting = mode == TSplitMode::Rectangle || mode == TSplitMode::Cross;
  FView.SetActionMode(selecting ? amCreateSelection : amNone);
  if (mode == FMode) return;
  FMode = mode;
  emit ModeChanged(mode);
}

// ---------------------------------------------------------------- mouse

std::optional<TLineRef> TSplitEditor::LineNear(QPointF at) const {
  const int mx = int(std::floor(at.x())), my = int(std::floor(at.y()));
  const TViewAxis ax = AxisX(), ay = AxisY();
  const TSplitGrid& grid = FDocument.Data().Grid;
  std::optional<TLineRef> nearest;
  int distance = GrabDistance + 1;
  // Horizontal lines first: they win over vertical ones as near.
  for (std::int32_t y : grid.HorzSplits.Values())
    if (const int d = std::abs(my - LineAt(ay, y)); d < distance) distance = d, nearest = TLineRef{true, y};
  for (std::int32_t x : grid.VertSplits.Values())
    if (const int d = std::abs(mx - LineAt(ax, x)); d < distance) distance = d, nearest = TLineRef{false, x};
  return nearest;
}

int TSplitEditor::Snapped(bool horizontal, int position, int across, Qt::KeyboardModifiers modifiers) {
  if (modifiers & Qt::AltModifier) return position;
  const TViewAxis axis = horizontal ? AxisY() : AxisX();
  const int tolerance = int(SnapDistance * double(axis.Image) / std::max(1, axis.Box));
  if (!FEdges) {
    TPixelGraphic* image = FView.PixelGraphic();
    FEdges = image ? TEdgeMap(*image) : TEdgeMap();
  }
  const std::optional<int> edge = FEdges->StrongEdgeNear(!horizontal, position, tolerance, across);
  // A grabbed line's own place holds it too, so a click leaves it there.
  std::vector<std::int32_t> lines = ListOf(Grid(), horizontal).Values();
  if (FGrabbedFrom) lines.push_back(*FGrabbedFrom);
  return SnapPosition(position, tolerance, horizontal ? ImageHeight() : ImageWidth(), lines, edge);
}

int TSplitEditor::Placed(bool horizontal, QPointF at, Qt::KeyboardModifiers modifiers) {
  const int x = PixelUnder(AxisX(), at.x()), y = PixelUnder(AxisY(), at.y());
  return horizontal ? Snapped(true, y + FGrabOffset, x, modifiers)
                    : Snapped(false, x + FGrabOffset, y, modifiers);
}

std::optional<TCellKey> TSplitEditor::CellUnder(QPointF at) const {
  const int x = ClampToExtent(PixelUnder(AxisX(), at.x()), ImageWidth());
  const int y = ClampToExtent(PixelUnder(AxisY(), at.y()), ImageHeight());
  return CellAt(FDocument.Data().Grid, x, y);
}

void TSplitEditor::MouseMove(QPointF at, Qt::KeyboardModifiers modifiers) {
  FLastMouse = at;
  FLastModifiers = modifiers;
  emit StatusText(QStringLiteral("X: %1 Y: %2")
                      .arg(PixelUnder(AxisX(), at.x()))
                      .arg(PixelUnder(AxisY(), at.y())));
  if (FChoosingFrom) {
    if (const std::optional<TCellKey> cell = CellUnder(at))
      ChooseCells(CellRangeOf(FDocument.Data().Cells, *FChoosingFrom, *cell));
    return;
  }
  if (!LineMode()) return;
  if (FDragging != TDrag::None) {
    MoveFeedback(Placed(DraggingHorz(), at, modifiers));
    return;
  }
  const std::optional<TLineRef> line = LineNear(at);
  PGSetScreenCursor(!line ? TPGCursor::crDefault
                    : line->Horizontal ? TPGCursor::crSizeNS
                                       : TPGCursor::crSizeWE);
}

void TSplitEditor::MouseDown(Qt::MouseButton button, QPointF at, Qt::KeyboardModifiers modifiers,
                             QPoint globalMouse) {
  // Shift or Ctrl in a line mode chooses cells as the cell mode does; Ctrl
  // adds to the choice.
  const bool adding = modifiers & Qt::ControlModifier;
  const bool choosing =
      FMode == TSplitMode::Cells || (LineMode() && (modifiers & (Qt::ShiftModifier | Qt::ControlModifier)));
  if (choosing && button == Qt::LeftButton && FDragging == TDrag::None) {
    FChoosingFrom = CellUnder(at);
    const std::optional<TCellRange> range =
        FChoosingFrom ? std::optional(CellRangeOf(Data().Cells, *FChoosingFrom, *FChoosingFrom)) : std::nullopt;
    if (!adding) {
      FKept.clear();
    } else if (range) {
      if (FChosen) FKept.push_back(*FChosen);
      FChosen.reset();
      // A chosen cell pressed again leaves the choice.
      const auto holds = [&](const TCellRange& r) {
        return r.Left <= range->Left && range->Right <= r.Right && r.Top <= range->Top && range->Bottom <= r.Bottom;
      };
      if (std::erase_if(FKept, holds) > 0) {
        FChoosingFrom.reset();
        FView.viewport()->update();
        emit CellsChosen();
        return;
      }
    }
    ChooseCells(range);
    return;
  }
  if (!LineMode()) return;
  if (button == Qt::RightButton) {
    SetMode(FMode == TSplitMode::Horizontal ? TSplitMode::Vertical : TSplitMode::Horizontal);
    return;
  }
  if (button != Qt::LeftButton || FDragging != TDrag::None) return;
  FLastMouse = at;
  FLastModifiers = modifiers;
  FDragStart = Data();
  if (const std::optional<TLineRef> line = LineNear(at)) {
    line->Horizontal ? Grid().GrabHorz(line->Position) : Grid().GrabVert(line->Position);
    FDragging = line->Horizontal ? TDrag::Horizontal : TDrag::Vertical;
    // The feedback takes the grabbed line's place until the mouse moves.
    FLastLine = line->Position;
    FGrabbedFrom = line->Position;
    // A line taken beside itself keeps its distance to the mouse.
    FGrabOffset = line->Position - (line->Horizontal ? PixelUnder(AxisY(), at.y()) : PixelUnder(AxisX(), at.x()));
    Changed();
  } else {
    FDragging = FMode == TSplitMode::Horizontal ? TDrag::Horizontal : TDrag::Vertical;
    FLastLine = -1;
    FGrabbedFrom.reset();
    FGrabOffset = 0;
  }
  PGSetScreenCursor(DraggingHorz() ? TPGCursor::crSizeNS : TPGCursor::crSizeWE);
  FView.BeginOwnerDragScroll(globalMouse);
}

void TSplitEditor::MouseUp(Qt::MouseButton, QPointF at, Qt::KeyboardModifiers modifiers) {
  if (FChoosingFrom) {
    FChoosingFrom.reset();
    return;
  }
  if (FMode == TSplitMode::Cross) {
    const TGridData before = Data();
    const int x = ClampToExtent(PixelUnder(AxisX(), at.x()), ImageWidth());
    const int y = ClampToExtent(PixelUnder(AxisY(), at.y()), ImageHeight());
    AddShown(before, true, Snapped(true, y, x, modifiers));
    AddShown(before, false, Snapped(false, x, y, modifiers));
    Record(QStringLiteral("Add Lines"), before);
    return;
  }
  if (!LineMode()) return;
  if (FDragging == TDrag::None) {
    PGSetScreenCursor(TPGCursor::crDefault);
    return;
  }
  const bool horizontal = DraggingHorz();
  const int position = Placed(horizontal, at, modifiers);
  const std::optional<int> grabbedFrom = FGrabbedFrom;
  EndDrag();
  PGSetScreenCursor(TPGCursor::crDefault);
  if (grabbedFrom == position) {
    // A click on a line: it stays as it was, selected.
    Data() = FDragStart;
    Select(TLineRef{horizontal, position});
    Changed();
    return;
  }
  const int extent = horizontal ? ImageHeight() : ImageWidth();
  // A grabbed line dropped off the image or onto another goes; one dropped
  // where merged cells hide it goes back.
  const QString refused =
      !grabbedFrom ? LineRefusal(FDragStart, horizontal, position, extent)
      : position > 0 && position < extent && LineInsideMerges(FDragStart, horizontal, position)
          ? LineRefusal(FDragStart, horizontal, position, extent)
          : QString();
  if (!refused.isEmpty()) {
    // Not silently: the status line says why nothing came.
    Data() = FDragStart;
    Changed();
    emit StatusText(refused);
    return;
  }
  const bool added = horizontal ? Grid().DropHorz(position, ImageHeight())
                                : Grid().DropVert(position, ImageWidth());
  if (added)
    Select(TLineRef{horizontal, position});
  else if (grabbedFrom)
    Select(std::nullopt);
  const QString text = !grabbedFrom ? QStringLiteral("Add Line")
                       : added      ? QStringLiteral("Move Line")
                                    : QStringLiteral("Remove Line");
  Record(text, FDragStart);
}

QString LineRefusal(const TGridData& data, bool horizontal, std::int64_t position, int extent) {
  if (position < 0 || position > extent) return QStringLiteral("No line added: %1 is outside the image").arg(position);
  if (horizontal ? data.Grid.ContainsHorz(std::int32_t(position)) : data.Grid.ContainsVert(std::int32_t(position)))
    return QStringLiteral("No line added: there is one at %1 already").arg(position);
  // Seen nowhere, such a line would still number the slices after it anew;
  // the merge is undone first where one is wanted there.
  if (LineInsideMerges(data, horizontal, std::int32_t(position)))
    return QStringLiteral("No line added at %1: merged cells lie all along it (unmerge them first)").arg(position);
  return QString();
}

void TSplitEditor::AddShown(const TGridData& before, bool horizontal, int position) {
  if (LineInsideMerges(before, horizontal, position))
    emit StatusText(LineRefusal(before, horizontal, position, horizontal ? ImageHeight() : ImageWidth()));
  else
    AddOnce(horizontal ? Grid().HorzSplits : Grid().VertSplits, position);
}

void TSplitEditor::SelectionMade(Qt::KeyboardModifiers modifiers) {
  if (FMode == TSplitMode::Rectangle) {
    const TGridData before = Data();
    const int width = ImageWidth(), height = ImageHeight();
    const std::int64_t left = FView.SelectionLeft(), top = FView.SelectionTop();
    const std::int64_t right = left + FView.SelectionWidth(), bottom = top + FView.SelectionHeight();
    const int middleX = int((left + right) / 2), middleY = int((top + bottom) / 2);
    // In the order left, top, right, bottom; a side on a line adds nothing.
    AddShown(before, false, Snapped(false, ClampToExtent(left, width), middleY, modifiers));
    AddShown(before, true, Snapped(true, ClampToExtent(top, height), middleX, modifiers));
    AddShown(before, false, Snapped(false, ClampToExtent(right, width), middleY, modifiers));
    AddShown(before, true, Snapped(true, ClampToExtent(bottom, height), middleX, modifiers));
    FView.SetSelection(false);
    Record(QStringLiteral("Add Rectangle"), before);
  } else if (FMode == TSplitMode::Cross) {
    FView.SetSelection(false);
    FView.viewport()->update();
  }
}

// ---------------------------------------------------------------- rulers

void TSplitEditor::TopRulerRelease(int column, bool click) {
  if (click) SetMode(TSplitMode::Horizontal);
  if (column < 1 || column > ImageWidth() || Grid().ContainsVert(column)) return;
  const TGridData before = Data();
  Grid().VertSplits.Add(column);
  Select(TLineRef{false, column});
  Record(QStringLiteral("Add Line"), before);
}

void TSplitEditor::LeftRulerRelease(int row, bool click) {
  if (click) SetMode(TSplitMode::Vertical);
  if (row > ImageHeight()) return;
  row = std::max(row, 0);
  if (Grid().ContainsHorz(row)) return;
  const TGridData before = Data();
  Grid().HorzSplits.Add(row);
  Select(TLineRef{true, row});
  Record(QStringLiteral("Add Line"), before);
}

// ---------------------------------------------------------------- selection and keys

void TSplitEditor::Select(std::optional<TLineRef> line) {
  if (line == FSelected) return;
  FSelected = line;
  ++FSelectionSerial;
  FView.viewport()->update();
  emit SelectionChanged();
}

bool TSplitEditor::MoveSelected(int position) {
  if (!FSelected || FDragging != TDrag::None) return false;
  const bool horizontal = FSelected->Horizontal;
  TIntegerList& list = ListOf(Grid(), horizontal);
  const int index = list.IndexOf(FSelected->Position);
  if (index < 0 || position < 0 || position > (horizontal ? ImageHeight() : ImageWidth())) return false;
  if (position == FSelected->Position) return true;
  if (list.IndexOf(position) >= 0) return false;
  const TGridData before = Data();
  list.Set(index, position);
  FSelected->Position = position;
  emit SelectionChanged();
  // Moves of one selection in a row are one step.
  Record(QStringLiteral("Move Line"), before, 1000 + FSelectionSerial % 1000000);
  return true;
}

bool TSplitEditor::RemoveSelected() {
  if (!FSelected || FDragging != TDrag::None) return false;
  TIntegerList& list = ListOf(Grid(), FSelected->Horizontal);
  const int index = list.IndexOf(FSelected->Position);
  if (index < 0) return false;
  const TGridData before = Data();
  list.Delete(index);
  Select(std::nullopt);
  Record(QStringLiteral("Remove Line"), before);
  return true;
}

bool TSplitEditor::KeyPress(int key, Qt::KeyboardModifiers modifiers) {
  if (key == Qt::Key_Escape) {
    if (HasChosenCells() && !FSelected && FDragging == TDrag::None) {
      FChoosingFrom.reset();
      FKept.clear();
      ChooseCells(std::nullopt);
      emit CellsChosen();
      return true;
    }
    if (FDragging != TDrag::None) {
      CancelDrag();
      PGSetScreenCursor(TPGCursor::crDefault);
      Changed();
      return true;
    }
    if (!FSelected) return false;
    Select(std::nullopt);
    return true;
  }
  if (!FSelected || FDragging != TDrag::None) return false;
  if (key == Qt::Key_Delete || key == Qt::Key_Backspace) return RemoveSelected();
  const int step = (modifiers & Qt::ShiftModifier) ? 10 : 1;
  int by = 0;
  if (FSelected->Horizontal && (key == Qt::Key_Up || key == Qt::Key_Down)) by = key == Qt::Key_Up ? -step : step;
  if (!FSelected->Horizontal && (key == Qt::Key_Left || key == Qt::Key_Right))
    by = key == Qt::Key_Left ? -step : step;
  if (by == 0) return false;
  const int extent = FSelected->Horizontal ? ImageHeight() : ImageWidth();
  MoveSelected(std::clamp(FSelected->Position + by, 0, extent));
  return true;
}

// ---------------------------------------------------------------- cells

void TSplitEditor::ChooseCells(std::optional<TCellRange> range) {
  if (range == FChosen) return;
  FChosen = range;
  FView.viewport()->update();
  emit CellsChosen();
}

bool TSplitEditor::ApplyToChosen(const QString& text, const TGridData& after) {
  if (after == Data()) return false;
  FDocument.Apply(text, after);
  Changed();
  return true;
}

std::vector<TCellRange> TSplitEditor::ChosenRanges() const {
  std::vector<TCellRange> ranges = FKept;
  if (FChosen) ranges.push_back(*FChosen);
  return ranges;
}

bool TSplitEditor::MergeChosen() {
  const std::optional<TCellRange> whole = FilledRange(Data().Cells, ChosenRanges());
  if (!whole || (whole->Left == whole->Right && whole->Top == whole->Bottom)) return false;
  if (!ApplyToChosen(QStringLiteral("Merge Cells"), MergedCells(Data(), *whole))) return false;
  // The merged cell is the choice now.
  FKept.clear();
  ChooseCells(CellRangeOf(Data().Cells, {whole->Left, whole->Top}, {whole->Left, whole->Top}));
  return true;
}

bool TSplitEditor::UnmergeChosen() {
  return ApplyToEachChosen(QStringLiteral("Unmerge Cells"),
                           [](const TGridData& data, const TCellRange& range) { return UnmergedCells(data, range); });
}

bool TSplitEditor::SkipChosen(bool skip) {
  return ApplyToEachChosen(skip ? QStringLiteral("No Image") : QStringLiteral("Image Again"),
                           [skip](const TGridData& data, const TCellRange& range) {
                             return SkippedCells(data, range, skip);
                           });
}

bool TSplitEditor::ApplyToEachChosen(const QString& text,
                                     const std::function<TGridData(const TGridData&, const TCellRange&)>& command) {
  TGridData after = Data();
  for (const TCellRange& range : ChosenRanges()) after = command(after, range);
  return HasChosenCells() && ApplyToChosen(text, after);
}

void TSplitEditor::SetHighlightedCell(std::optional<TGridCell> cell) {
  FHighlighted = cell;
  FView.viewport()->update();
}

// ---------------------------------------------------------------- state

void TSplitEditor::Record(const QString& text, const TGridData& before, int mergeKey) {
  FDocument.RecordLines(text, before, mergeKey);
  Changed();
}

void TSplitEditor::EndDrag() {
  if (FDragging == TDrag::None) return;
  if (FLastLine != -1) UpdateLine(DraggingHorz(), FLastLine);
  FDragging = TDrag::None;
  FLastLine = -1;
  FGrabbedFrom.reset();
  FGrabOffset = 0;
  FView.EndOwnerDragScroll();
}

void TSplitEditor::CancelDrag() {
  if (FGrabbedFrom) Data() = FDragStart;
  EndDrag();
}

void TSplitEditor::ViewScrolled() {
  if (FDragging != TDrag::None) MoveFeedback(Placed(DraggingHorz(), FLastMouse, FLastModifiers));
}

void TSplitEditor::ImageChanged() { FEdges.reset(); }

void TSplitEditor::Changed() {
  if (FDragging == TDrag::None) {
    if (FSelected && ListOf(Grid(), FSelected->Horizontal).IndexOf(FSelected->Position) < 0) {
      // Gone from its place: a line that came instead of it alone (an undone
      // or redone move) is the selected line still.
      const TIntegerList& now = ListOf(Grid(), FSelected->Horizontal);
      const TIntegerList& before = ListOf(FLinesSeen, FSelected->Horizontal);
      std::optional<TLineRef> moved;
      int arrived = 0;
      for (std::int32_t p : now.Values())
        if (before.IndexOf(p) < 0) ++arrived, moved = TLineRef{FSelected->Horizontal, p};
      Select(arrived == 1 ? moved : std::nullopt);
    }
    // Other lines make other cells: a choice of the old ones means nothing.
    if (HasChosenCells() && !(FLinesSeen == Grid())) {
      FKept.clear();
      ChooseCells(std::nullopt);
      emit CellsChosen();
    }
    FLinesSeen = Grid();
  }
  FView.viewport()->update();
  emit GridChanged();
}

// ---------------------------------------------------------------- drawing

void TSplitEditor::Paint(QPainter& painter) {
  static const unsigned* const lineTones = LineTones;
  static const QBrush lineAcross = DashBrush(lineTones, true), lineDown = DashBrush(lineTones, false);
  static const QBrush chosenAcross = DashBrush(SelectedTones, true), chosenDown = DashBrush(SelectedTones, false);
  const TViewAxis ax = AxisX(), ay = AxisY();
  painter.save();
  // The dashes keep their place on the picture when it scrolls.
  // Merged cells: no line is drawn through them (view pixels inside). A
  // grabbed line is out of the lists, which numbers the cells otherwise:
  // until it drops they are those of before.
  const TGridData& data = FGrabbedFrom ? FDragStart : FDocument.Data();
  std::vector<TGridCell> merged;
  for (const auto& [corner, span] : data.Cells.Merges)
    merged.push_back(RectOf(data.Grid, {corner.first, corner.second, corner.first + span.Columns - 1,
                                        corner.second + span.Rows - 1}));
  // Draws the line over the image (its frame included) but where a merged
  // cell lies across it.
  const auto segments = [&](bool horizontal, int position, const auto& draw) {
    const TViewAxis& along = horizontal ? ax : ay;
    const int start = ShownLineAt(along, 0), length = LineAt(along, along.Image) + 1;
    std::vector<std::pair<int, int>> gaps;
    for (const TGridCell& c : merged) {
      const std::int64_t from = horizontal ? c.Top : c.Left, to = from + (horizontal ? c.Height : c.Width);
      if (position <= from || position >= to) continue;
      const std::int64_t first = horizontal ? c.Left : c.Top, end = first + (horizontal ? c.Width : c.Height);
      gaps.push_back({LineAt(along, first) + 1, LineAt(along, end)});
    }
    std::sort(gaps.begin(), gaps.end());
    int at = start;
    for (const auto& [gapFrom, gapTo] : gaps) {
      if (gapFrom > at) draw(at, gapFrom - at);
      at = std::max(at, gapTo);
    }
    if (at < length) draw(at, length - at);
  };
  const auto across = [&](int y, const QBrush& brush) {
    painter.setBrushOrigin(ax.Origin, 0);
    segments(true, y, [&](int from, int size) { painter.fillRect(QRect(from, ShownLineAt(ay, y), size, 1), brush); });
  };
  const auto down = [&](int x, const QBrush& brush) {
    painter.setBrushOrigin(0, ay.Origin);
    segments(false, x, [&](int from, int size) { painter.fillRect(QRect(ShownLineAt(ax, x), from, 1, size), brush); });
  };
  if (FHighlighted) {
    const TGridCell& c = *FHighlighted;
    const int left = LineAt(ax, c.Left), top = LineAt(ay, c.Top);
    painter.fillRect(QRect(left, top, LineAt(ax, std::int64_t(c.Left) + c.Width) - left,
                           LineAt(ay, std::int64_t(c.Top) + c.Height) - top),
                     QColor(0, 80, 255, 60));
  }
  PaintCells(painter, data);
  const TSplitGrid& grid = FDocument.Data().Grid;
  for (std::int32_t y : grid.HorzSplits.Values()) across(y, lineAcross);
  for (std::int32_t x : grid.VertSplits.Values()) down(x, lineDown);
  if (FSelected && FDragging == TDrag::None)
    FSelected->Horizontal ? across(FSelected->Position, chosenAcross) : down(FSelected->Position, chosenDown);
  if (DraggingHorz() && FLastLine != -1) across(FLastLine, chosenAcross);
  if (DraggingVert() && FLastLine != -1) down(FLastLine, chosenDown);
  painter.restore();
}

// Cells without an image hatched, the chosen cells tinted.
void TSplitEditor::PaintCells(QPainter& painter, const TGridData& data) {
  const TViewAxis ax = AxisX(), ay = AxisY();
  const auto area = [&](const TGridCell& c) {
    const int left = LineAt(ax, c.Left), top = LineAt(ay, c.Top);
    return QRect(left, top, LineAt(ax, std::int64_t(c.Left) + c.Width) - left,
                 LineAt(ay, std::int64_t(c.Top) + c.Height) - top);
  };
  for (const TCellKey& cell : data.Cells.Skips) {
    const auto merge = data.Cells.Merges.find(cell);
    const TCellSpan span = merge != data.Cells.Merges.end() ? merge->second : TCellSpan{};
    const QRect rect = area(RectOf(data.Grid, {cell.first, cell.second, cell.first + span.Columns - 1,
                                               cell.second + span.Rows - 1}));
    painter.fillRect(rect, QColor(255, 255, 255, 110));
    painter.fillRect(rect, QBrush(QColor(200, 0, 0), Qt::BDiagPattern));
  }
  for (const TCellRange& range : ChosenRanges()) painter.fillRect(area(RectOf(data.Grid, range)), QColor(255, 160, 0, 70));
}

void TSplitEditor::MoveFeedback(int position) {
  if (position == FLastLine) return;
  if (FLastLine != -1) UpdateLine(DraggingHorz(), FLastLine);
  FLastLine = position;
  UpdateLine(DraggingHorz(), position);
}

void TSplitEditor::UpdateLine(bool horizontal, int position) {
  QWidget* viewport = FView.viewport();
  if (horizontal)
    viewport->update(QRect(0, ShownLineAt(AxisY(), position), viewport->width(), 1));
  else
    viewport->update(QRect(ShownLineAt(AxisX(), position), 0, 1, viewport->height()));
}
