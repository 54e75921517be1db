#pragma once
// A window's placement in the settings store: its show state and its normal
// rectangle, with the screen resolution they were taken at. The text forms
// are this program's own; values that do not read back sensibly are ignored,
// so a damaged store never puts the window off every screen.

#include <string>

class QWidget;
class TSettingsStore;

void SavePlacement(TSettingsStore& store, const std::string& section, const QWidget& window);
void RestorePlacement(TSettingsStore& store, const std::string& section, QWidget& window);
