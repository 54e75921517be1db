#pragma once
// Cursors: the standard shapes and the view's four 32 x 32 monochrome cursors,
// plus the application-wide override cursor that stands in for the screen
// cursor. Needs a QGuiApplication.

#include <QCursor>
#include <QPoint>

enum class TPGCursor {
  crDefault,
  crArrow,
  crHourGlass,
  crCross,
  crSizeNWSE,
  crSizeNESW,
  crSizeNS,
  crSizeWE,
  // The view's own: pan, pan in progress, create selection, move selection.
  crPan,
  crPanning,
  crCreateSelection,
  crMoveSelection,
};

QCursor PGCursor(TPGCursor cursor);
// Hot spot of one of the view's own cursors (they are bitmaps of 32 x 32).
QPoint PGCursorHotSpot(TPGCursor cursor);

// The screen cursor: the application-wide override, or none (the default).
bool PGScreenCursorIsDefault();
// The shape of the screen cursor (Qt::ArrowCursor when it is the default).
Qt::CursorShape PGScreenCursorShape();
// Makes `cursor` the screen cursor; crDefault removes every override, so the
// widgets' own cursors show again.
void PGSetScreenCursor(TPGCursor cursor);

// Sets the screen cursor for its lifetime and restores the previous one on
// every exit path (nesting keeps order).
class TPGScreenCursorGuard {
 public:
  explicit TPGScreenCursorGuard(const QCursor& cursor);
  ~TPGScreenCursorGuard();
  TPGScreenCursorGuard(const TPGScreenCursorGuard&) = delete;
  TPGScreenCursorGuard& operator=(const TPGScreenCursorGuard&) = delete;
};
