#pragma once
// The two rulers around the Source view: a pixel scale labelled every 50
// pixels, a red marker for each split line, and a click adds a line. The top
// ruler spans the left ruler's width too, so its pixel 25 lies above image
// column 0 of the unscrolled view.

#include <QWidget>

class TIntegerList;
class TPGImage;
class TSplitGrid;

class TRuler : public QWidget {
  Q_OBJECT

 public:
  enum TSide { rsTop, rsLeft };
  static constexpr int Thickness = 25;

  TRuler(TSide side, const TSplitGrid& grid, TPGImage& view, QWidget* parent = nullptr);
  TSide Side() const { return FSide; }
  // The image column (top) or row (left) under a ruler point; follows the
  // view's scroll position.
  int ImagePosition(QPoint rulerPoint) const;
  // The ruler point of an image column or row (the inverse).
  int RulerPosition(int imagePosition) const;

 signals:
  void StatusText(const QString& text);
  // A mouse button came up; `click` when it was a left click on this ruler.
  void Released(int imagePosition, bool click);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  int ScrollPosition() const;
  const TIntegerList& Markers() const;

  TSide FSide;
  const TSplitGrid& FGrid;
  TPGImage& FView;
};
