#pragma once
// Editing the split grid with the mouse on the Source view: the four modes,
// grabbing, dragging, dropping and removing lines, lines from a rectangle or
// a cross, and the inverted drawing of the lines and of the drag feedback.
//
// Every position here is in image pixels; the picture box's own coordinates
// are image pixels since the view shows the image unscaled. Drawing maps them
// to the view through the picture box's place, so lines stay on their image
// pixels when the view scrolls.

#include <QObject>
#include <QString>

class QPainter;
class TPGImage;
class TSplitGrid;

enum class TSplitMode { Vertical, Horizontal, Rectangle, Cross };

class TSplitEditor : public QObject {
  Q_OBJECT

 public:
  TSplitEditor(TSplitGrid& grid, TPGImage& view, QObject* parent = nullptr);

  TSplitMode Mode() const { return FMode; }
  // The mode buttons' action: also sets the view's action mode.
  void SetMode(TSplitMode mode);
  bool LineMode() const { return FMode == TSplitMode::Vertical || FMode == TSplitMode::Horizontal; }

  // The mouse over the picture (and over the view beside it).
  void MouseMove(int x, int y);
  void MouseDown(Qt::MouseButton button, int x, int y);
  void MouseUp(Qt::MouseButton button, int x, int y);
  // The view finished a selection rectangle.
  void SelectionMade();

  // Releases on the rulers, at an image column (top ruler) or row (left
  // ruler); `click` when it was a left click on the ruler.
  void TopRulerRelease(int column, bool click);
  void LeftRulerRelease(int row, bool click);

  // Draws every line, then the drag feedback, inverting what lies below.
  void Paint(QPainter& painter);

  bool DraggingHorz() const { return FDraggingHorz; }
  bool DraggingVert() const { return FDraggingVert; }
  int LastHorzLine() const { return FLastHorzLine; }
  int LastVertLine() const { return FLastVertLine; }

  // Ends a drag without dropping anything (a new image, a cleared grid).
  void CancelDrag();
  // The lines changed: repaints the view and tells the rulers.
  void Changed();

 signals:
  void StatusText(const QString& text);
  void ModeChanged(TSplitMode mode);
  void GridChanged();

 private:
  void MoveFeedback(int& last, int position, bool horizontal);
  void UpdateViewRow(int y);
  void UpdateViewColumn(int x);

  TSplitGrid& FGrid;
  TPGImage& FView;
  TSplitMode FMode = TSplitMode::Vertical;
  bool FDraggingHorz = false;
  bool FDraggingVert = false;
  int FLastHorzLine = -1;
  int FLastVertLine = -1;
};
