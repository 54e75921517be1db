#pragma once
// The export options: what the Export Options dialog holds and the command
// line sets, and where the window keeps them between runs.

#include <cstdint>
#include <string>
#include <vector>

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
  // A whole page instead of the table alone (app/export/htmlpage.h), with
  // its title (empty: the HTML file's name without its extension), its
  // background ("#rrggbb"; empty: the colour of the design's outer edge
  // when it is one colour, else white) and, for mail, the line mail
  // readers show beside the subject.
  bool Page = false;
  std::string PageTitle{};
  std::string PageBackground{};
  std::string Preheader{};
  // email: the table of the design's width on every screen, as of old.
  bool EmailFixedWidth = false;
  // The slices together should weigh no more bytes; beyond, the export warns.
  std::uint64_t PageBudget = DefaultPageBudget;
  static constexpr std::uint64_t DefaultPageBudget = 1024 * 1024;
};

// Where the export options persist: key "Corvane Mill", section "Tessel",
// values "<checkbox>_Checked", "style_Text" (the style's name),
// "baseurl_Text", "title_Text", "background_Text", "preheader_Text",
// "pagebudget_Text" and, unless white, "pagecolor_Text" ("#rrggbb"). A
// value missing or unreadable leaves its option as it
// was, so a settings file of an older version exports as it did.
inline constexpr const char* ExportOptionsKeyPath = "Corvane Mill";
inline constexpr const char* ExportOptionsSection = "Tessel";
void LoadExportOptions(TSettingsStore& store, TExportOptions& options);
void SaveExportOptions(TSettingsStore& store, const TExportOptions& options);

// Why a page background is unusable ("#rrggbb" or empty), or empty when it is not.
std::string PageBackgroundProblem(const std::string& background);

// The export options the command line sets by name, as it sets the
// library's settings (--set NAME=VALUE): EmailFixedWidth (true/false/1/0)
// and PageBudget (bytes). False when name is none of them;
// std::invalid_argument for a value that is not one.
bool SetExportSetting(TExportOptions& options, const std::string& name, const std::string& value);
std::vector<std::string> ExportSettingNames();
