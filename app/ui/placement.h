#pragma once
// A window's placement in the settings store: its show state and its normal
// rectangle, with the screen resolution they were taken at. The text forms
// are this program's own; values that do not read back sensibly are ignored,
// so a damaged store never puts the window off every screen.

#include <QMargins>
#include <QRect>

#include <optional>
#include <string>
#include <vector>

class QWidget;
class TSettingsStore;

void SavePlacement(TSettingsStore& store, const std::string& section, const QWidget& window);
void RestorePlacement(TSettingsStore& store, const std::string& section, QWidget& window);

// Where a window kept at `window` (its normal geometry, without the frame
// the window system adds around it) goes among the screens' available
// areas: onto the screen that holds most of it, frame included, no larger
// than that screen and moved wholly onto it. Nothing when no screen shows
// enough of it to take hold of.
std::optional<QRect> FitOntoScreen(const QRect& window, const QMargins& frame,
                                   const std::vector<QRect>& screens);

// Where a window goes the first time, with nothing kept: three quarters of
// the screen's available area each way, in its middle.
QRect FirstPlacement(const QRect& screen);
