#pragma once
// Facts about the display: colour depth and the system metrics the views use.

#include <QObject>

class QWidget;

// Bits per pixel of the screen (times its planes, always 1 here). Read from
// the primary screen unless overridden: by PGSetScreenDepthOverride, or else
// by the environment variable TESSEL_SCREEN_DEPTH. The override lets the
// palette-screen branches of the views run on today's true-colour screens.
int PGScreenDepth();
// 0 removes the override. Emits TPGDisplay::DisplayChanged when it changes.
void PGSetScreenDepthOverride(int depth);

// Logical pixels per inch of the primary screen, the base of layouts that
// grow with the user's font scaling (96 without one).
int PGScreenPixelsPerInch();

// number * numerator / denominator rounded to the nearest integer, halves
// away from zero, as dialog units and form scaling round; -1 for a zero
// denominator.
int PGScaleRounded(int number, int numerator, int denominator);

// Moves a top-level window (before or as it is first shown) so that it is
// centred across its screen and (screen height - its height) / downDivisor
// from the top: 2 centres it, 3 puts it a third of the way down.
void PGPlaceOnScreen(QWidget& window, int downDivisor);

// The thickness of a scroll bar (the width of a vertical one, the height of
// a horizontal one), from the widget's style (the application style without
// a widget).
int PGScrollBarExtent(const QWidget* widget = nullptr);

// Tells windows that the display changed (depth, screen), the stand-in for
// the broadcast WM_DISPLAYCHANGE. Needs a QGuiApplication.
class TPGDisplay : public QObject {
  Q_OBJECT
 public:
  static TPGDisplay* Instance();

 signals:
  void DisplayChanged();

 private:
  TPGDisplay();
};
