#pragma once
// Editing the split grid with the mouse and keys on the Source view: the
// five modes, grabbing, dragging, dropping and removing lines, lines from a
// rectangle or a cross, the selected line and its keys, snapping, choosing
// cells to merge or leave without an image (the cell mode, or Shift+drag),
// and the drawing of the lines, the cells and the drag feedback.
//
// Every position kept here is in image pixels. Mouse positions come in the
// coordinates of the view's viewport (with the fractions of scaled
// displays) and are mapped through the picture box's place and size, so
// lines, feedback and hit testing hold at any zoom and scroll position.
// Whatever changes the lines is recorded as one step of the document (document.h).

#include <QObject>
#include <QPointF>
#include <QString>

#include <functional>
#include <optional>

#include "app/cut/cellcommands.h"
#include "app/cut/snapping.h"
#include "app/ui/viewmapping.h"

class QPainter;
class TCutDocument;
class TPGImage;

enum class TSplitMode { Vertical, Horizontal, Rectangle, Cross, Cells };

// One split line: its direction and position.
struct TLineRef {
  bool Horizontal = false;
  int Position = 0;
  friend bool operator==(const TLineRef&, const TLineRef&) = default;
};

// Why a new line at `position` (extent: the image's size across it) is
// not placed: outside the image, on a line, or inside merged cells all
// along it; empty when it may be.
QString LineRefusal(const TGridData& data, bool horizontal, std::int64_t position, int extent);

class TSplitEditor : public QObject {
  Q_OBJECT

 public:
  // A press this near a line (in view pixels) grabs it.
  static constexpr int GrabDistance = 3;
  // A line being placed this near (in view pixels) a place it snaps to goes there.
  static constexpr int SnapDistance = 5;
  // Lines are dashed in two tones far apart, DashLength view pixels each,
  // the first tone from the picture's left (top) edge on: the lines, and
  // the selected or dragged line.
  static constexpr int DashLength = 4;
  static constexpr unsigned LineTones[2] = {0xFF000000u, 0xFFFFFFFFu};
  static constexpr unsigned SelectedTones[2] = {0xFF0050FFu, 0xFFFFD000u};

  TSplitEditor(TCutDocument& document, TPGImage& view, QObject* parent = nullptr);

  TSplitMode Mode() const { return FMode; }
  // The mode buttons' action: also sets the view's action mode.
  void SetMode(TSplitMode mode);
  bool LineMode() const { return FMode == TSplitMode::Vertical || FMode == TSplitMode::Horizontal; }

  // The mouse over the view, at a point of its viewport; Alt held turns
  // snapping off. globalMouse is the same point on the screen.
  void MouseMove(QPointF at, Qt::KeyboardModifiers modifiers);
  void MouseDown(Qt::MouseButton button, QPointF at, Qt::KeyboardModifiers modifiers,
                 QPoint globalMouse);
  void MouseUp(Qt::MouseButton button, QPointF at, Qt::KeyboardModifiers modifiers);
  // The view finished a selection rectangle.
  void SelectionMade(Qt::KeyboardModifiers modifiers);
  // Keys on the view: Escape drops a drag or the selection, Delete removes
  // the selected line, the arrow keys move it (Shift: ten pixels). False
  // for keys it leaves to the view.
  bool KeyPress(int key, Qt::KeyboardModifiers modifiers);

  // Releases on the rulers, at an image column (top ruler) or row (left
  // ruler); `click` when it was a left click on the ruler.
  void TopRulerRelease(int column, bool click);
  void LeftRulerRelease(int row, bool click);

  // Draws every line, then the selected line and the drag feedback.
  void Paint(QPainter& painter);

  bool DraggingHorz() const { return FDragging == TDrag::Horizontal; }
  bool DraggingVert() const { return FDragging == TDrag::Vertical; }
  int LastHorzLine() const { return DraggingHorz() ? FLastLine : -1; }
  int LastVertLine() const { return DraggingVert() ? FLastLine : -1; }

  // The selected line: drawn highlighted; keys and the status bar move it.
  std::optional<TLineRef> Selected() const { return FSelected; }
  void Select(std::optional<TLineRef> line);
  // Moves the selected line to a position within the image that no other
  // line of its direction holds; false (and nothing changes) otherwise.
  bool MoveSelected(int position);
  bool RemoveSelected();

  // The cells being chosen: a rectangle of the grid that takes in every
  // merged cell it touches; drawn tinted. Ctrl with the press that chooses
  // keeps the rectangles chosen before (a press on one of them drops it).
  std::optional<TCellRange> ChosenCells() const { return FChosen; }
  void ChooseCells(std::optional<TCellRange> range);
  // Every chosen rectangle, the ones kept with Ctrl first.
  std::vector<TCellRange> ChosenRanges() const;
  bool HasChosenCells() const { return FChosen || !FKept.empty(); }
  // The cell commands on all chosen cells, each one step of the document;
  // false when nothing changed. Merge takes the rectangle that holds every
  // chosen cell, and only when they fill it.
  bool MergeChosen();
  bool UnmergeChosen();
  bool SkipChosen(bool skip);

  // The cell shown tinted (a row picked in the Slices panel), if any.
  void SetHighlightedCell(std::optional<TGridCell> cell);

  // Ends a drag without dropping anything: a grabbed line goes back.
  void CancelDrag();
  // The view scrolled under a mouse that may not have moved.
  void ViewScrolled();
  // The image changed (new image, colours adjusted): its colour edges are
  // found anew when next needed.
  void ImageChanged();
  // The lines changed: repaints the view, drops a selection that is gone
  // and tells the rulers.
  void Changed();

  // The view's two axes as they stand.
  TViewAxis AxisX() const;
  TViewAxis AxisY() const;

 signals:
  void StatusText(const QString& text);
  void ModeChanged(TSplitMode mode);
  void GridChanged();
  void SelectionChanged();
  void CellsChosen();

 private:
  enum class TDrag { None, Horizontal, Vertical };

  TGridData& Data();
  TSplitGrid& Grid();
  int ImageWidth() const;
  int ImageHeight() const;
  // The line whose drawing lies nearest the point, within GrabDistance.
  std::optional<TLineRef> LineNear(QPointF at) const;
  // Where the line being placed or dragged comes to rest with the mouse at `at`.
  int Placed(bool horizontal, QPointF at, Qt::KeyboardModifiers modifiers);
  int Snapped(bool horizontal, int position, int across, Qt::KeyboardModifiers modifiers);
  void EndDrag();
  void MoveFeedback(int position);
  void UpdateLine(bool horizontal, int position);
  void Record(const QString& text, const TGridData& before, int mergeKey = -1);
  std::optional<TCellKey> CellUnder(QPointF at) const;
  bool ApplyToChosen(const QString& text, const TGridData& after);
  // Adds a line of a cross or a rectangle unless merged cells hide it all
  // along (the status line then says so); `before`: the cut it is seen in.
  void AddShown(const TGridData& before, bool horizontal, int position);
  // A cell command on every chosen rectangle in turn, as one step.
  bool ApplyToEachChosen(const QString& text,
                         const std::function<TGridData(const TGridData&, const TCellRange&)>& command);
  void PaintCells(QPainter& painter, const TGridData& data);

  TCutDocument& FDocument;
  TPGImage& FView;
  TSplitMode FMode = TSplitMode::Vertical;
  TDrag FDragging = TDrag::None;
  int FLastLine = -1;                // where the feedback shows, -1 while none
  std::optional<int> FGrabbedFrom;  // the grabbed line's place
  int FGrabOffset = 0;               // from the pixel under the mouse to the grabbed line
  TGridData FDragStart;
  QPointF FLastMouse;
  Qt::KeyboardModifiers FLastModifiers;
  std::optional<TLineRef> FSelected;
  TSplitGrid FLinesSeen;  // the lines when last changed, to follow a moved selection
  int FSelectionSerial = 0;  // nudges of one selection merge into one step
  std::optional<TGridCell> FHighlighted;
  std::optional<TCellRange> FChosen;
  std::vector<TCellRange> FKept;           // chosen before, kept with Ctrl
  std::optional<TCellKey> FChoosingFrom;  // the cell a cell drag began on
  std::optional<TEdgeMap> FEdges;
};
