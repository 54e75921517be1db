#pragma once
// The export options: what the Export Options dialog holds and the command
// line sets, and where the window keeps them between runs.

#include <string>

#include "app/export/htmltable.h"
#include "app/common/settingsstore.h"

struct TExportOptions {
  // The dialog's check boxes of old.
  bool IncAltTags = false;
  bool EditCode = false;
  bool AlwaysGrid = false;
  bool DoubleQuote = false;
  bool UpperCase = false;
  bool ShowOptions = true;
  // How the table is written (app/export/htmltable.h).
  TPageStyle Style = TPageStyle::Classic;
  // Put before every slice name in the page; the slices still go beside it.
  std::string BaseUrl{};
  // Every slice twice: at full size as BASE_C_R@2x.EXT and at half size as
  // BASE_C_R.EXT, which the page shows; for a design drawn at twice its
  // size on the page.
  bool Retina = false;
  // What the slices' transparency is laid on where it cannot be kept: the
  // window sets PageColor by it (the command line by --set PageColor).
  TRGB PageColor = RGBColor(255, 255, 255);
};

// Where the export options persist: key "Corvane Mill", section "Tessel",
// values "<checkbox>_Checked", "style_Text" (the style's name),
// "baseurl_Text" and, unless white, "pagecolor_Text" ("#rrggbb"). A value missing or unreadable leaves its option as it
// was, so a settings file of an older version exports as it did.
inline constexpr const char* ExportOptionsKeyPath = "Corvane Mill";
inline constexpr const char* ExportOptionsSection = "Tessel";
void LoadExportOptions(TSettingsStore& store, TExportOptions& options);
void SaveExportOptions(TSettingsStore& store, const TExportOptions& options);
