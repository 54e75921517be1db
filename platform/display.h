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

enum class TPGSystemMetric { SM_CXVSCROLL, SM_CYHSCROLL };
// From the widget's style (the application style without a widget).
int PGSystemMetric(TPGSystemMetric metric, const QWidget* widget = nullptr);

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
