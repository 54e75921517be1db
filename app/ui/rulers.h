#pragma once
// The two rulers around the Source view: a scale in image pixels labelled
// at round numbers (every 50 pixels at 100 %), a red marker for each split
// line, and a click adds a line. The top ruler spans the left ruler's width
// too, so its pixel 25 lies above the view's first column. Ticks, markers
// and clicks follow the view's zoom and scroll position.

#include <QWidget>

#include "app/ui/viewmapping.h"

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
  // The image column (top) or row (left) under a ruler point.
  int ImagePosition(QPointF rulerPoint) const;
  // Where the ruler shows a line at an image position.
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
  // The view's axis along this ruler (one image pixel per view pixel while
  // there is no image).
  TViewAxis Axis() const;
  const TIntegerList& Markers() const;

  TSide FSide;
  const TSplitGrid& FGrid;
  TPGImage& FView;
};
