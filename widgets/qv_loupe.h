#pragma once
// A small screen magnifier: while Active it shows, ZoomLevel times enlarged,
// the screen area around the mouse pointer wherever the pointer is, so that
// lines can be placed to the pixel. Ticks come from a TQV_Timer; capture and
// drawing happen on the UI thread.

#include <QImage>
#include <QSize>
#include <QWidget>

#include <memory>

class TQV_Timer;

class TQV_Loupe : public QWidget {
  Q_OBJECT

 public:
  // How a bevel is cut, as on a panel.
  enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };

  explicit TQV_Loupe(QWidget* parent = nullptr);
  // Stops the timer first, so no tick reaches a half-destroyed magnifier.
  ~TQV_Loupe() override;
  TQV_Loupe(const TQV_Loupe&) = delete;
  TQV_Loupe& operator=(const TQV_Loupe&) = delete;

  // Values not greater than 0 are stored as 1.0.
  double ZoomLevel() const { return FZoomLevel; }
  void SetZoomLevel(double zoom);
  // Milliseconds between captures.
  int Interval() const { return FInterval; }
  void SetInterval(int milliseconds);
  // Whether it captures; switching off keeps the last picture.
  bool Active() const { return FActive; }
  void SetActive(bool active);

  TBevelCut BevelInner() const { return FBevelInner; }
  void SetBevelInner(TBevelCut cut);
  TBevelCut BevelOuter() const { return FBevelOuter; }
  void SetBevelOuter(TBevelCut cut);
  int Bevelwidth() const { return FBevelwidth; }
  void SetBevelwidth(int width);

  // The screen area read per capture: the control's size divided by
  // ZoomLevel, rounded half to even, at least one pixel.
  QSize CaptureSize() const;
  // The enlarged picture at the control's size, as last captured.
  const QImage& Picture() const { return FOutput; }

  // Reads the screen around the pointer now and shows it enlarged; the
  // timer calls this on every tick.
  void Capture();

 signals:
  // A mouse button was released over the magnifier (the window changes the
  // zoom on this).
  void MouseReleased(Qt::MouseButton button);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void ClearPicture();

  double FZoomLevel = 1.0;
  int FInterval = 100;
  bool FActive = false;
  TBevelCut FBevelInner = bvRaised;
  TBevelCut FBevelOuter = bvLowered;
  int FBevelwidth = 1;
  QImage FOutput;
  std::unique_ptr<TQV_Timer> FTimer;
};
