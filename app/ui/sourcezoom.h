#pragma once
// The Source view's zoom: steps in and out around a point of the view (the
// mouse for the wheel, the middle for the keys), the whole image fitted into
// the view, and 100 %. It goes through the view's own zoom factor; below
// 100 % the view shows a smoothed copy, from 100 % up the pixels themselves.

#include <QObject>
#include <QPointF>

class TPGImage;

class TSourceZoom : public QObject {
  Q_OBJECT

 public:
  explicit TSourceZoom(TPGImage& view, QObject* parent = nullptr);

  long double Zoom() const;
  // Sets the zoom, keeping the image point under `anchor` (a point of the
  // view's viewport) where it is.
  void SetZoom(long double zoom, QPointF anchor);
  void ZoomIn();
  void ZoomOut();
  // By wheel steps (positive: in) around the mouse.
  void ZoomBy(int steps, QPointF anchor);
  void Fit();
  void ActualSize();

 signals:
  void Zoomed();

 private:
  QPointF Middle() const;

  TPGImage& FView;
};
