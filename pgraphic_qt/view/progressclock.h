#pragma once
// The small clock that shows how far a threaded image job has come: a 15 x 15
// face whose hour hand counts the job's stages and whose minute hand goes
// round once per stage.

#include <QColor>
#include <QPoint>

class QPainter;

// Side of the clock in pixels.
constexpr int PGProgressClockSize = 15;

// Draws the clock with its top-left corner at origin: face in faceColor,
// outline and hands in lineColor. step counts the stages from 1; percent is
// the progress within the current one.
void PGDrawProgressClock(QPainter& painter, QPoint origin, int step, int percent,
                         const QColor& lineColor, const QColor& faceColor);
