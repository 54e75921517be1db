#pragma once
// The export options: what the Export Options dialog holds and the command
// line sets, and where the window keeps them between runs.

#include "app/settingsstore.h"

// The states of the export options dialog's check boxes.
struct TExportOptions {
  bool IncAltTags = false;
  bool EditCode = false;
  bool AlwaysGrid = false;
  bool DoubleQuote = false;
  bool UpperCase = false;
  bool ShowOptions = true;
};

// Where the export options persist: key "Corvane Mill", section "Tessel",
// values "<checkbox>_Checked".
inline constexpr const char* ExportOptionsKeyPath = "Corvane Mill";
inline constexpr const char* ExportOptionsSection = "Tessel";
void LoadExportOptions(TSettingsStore& store, TExportOptions& options);
void SaveExportOptions(TSettingsStore& store, const TExportOptions& options);
