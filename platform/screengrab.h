#pragma once
// Reads what the screens show in a rectangle of the virtual desktop.

#include <QImage>
#include <QRect>

// The pixels of area (global, device-independent coordinates) at area's size.
// Parts that lie on no screen are black. A null image means the platform
// does not let programs read the screen (Wayland, or nothing grabbable on
// the offscreen platform), so callers can show an empty picture instead.
QImage GrabScreenArea(const QRect& area);
