#include "app/export/exportoptions.h"

#include <charconv>
#include <stdexcept>

#include "app/export/csscolor.h"

namespace {

struct TOptionField {
  const char* Name;
  bool TExportOptions::*Field;
};

constexpr TOptionField OptionFields[] = {
    {"incalttags_Checked", &TExportOptions::IncAltTags},
    {"editcode_Checked", &TExportOptions::EditCode},
    {"alwaysgrid_Checked", &TExportOptions::AlwaysGrid},
    {"showoptions_Checked", &TExportOptions::ShowOptions},
    {"uppercase_Checked", &TExportOptions::UpperCase},
    {"doublequote_Checked", &TExportOptions::DoubleQuote},
    {"retina_Checked", &TExportOptions::Retina},
    {"page_Checked", &TExportOptions::Page},
    {"emailfixedwidth_Checked", &TExportOptions::EmailFixedWidth},
};

struct TTextField {
  const char* Name;
  std::string TExportOptions::*Field;
};

constexpr TTextField TextFields[] = {
    {"baseurl_Text", &TExportOptions::BaseUrl},
    {"title_Text", &TExportOptions::PageTitle},
    {"background_Text", &TExportOptions::PageBackground},
    {"preheader_Text", &TExportOptions::Preheader},
};

constexpr const char* StyleValue = "style_Text";
constexpr const char* PageColorValue = "pagecolor_Text";
constexpr const char* PageBudgetValue = "pagebudget_Text";

// A number of bytes; false, bytes as it was, for anything else.
bool BytesOf(const std::string& text, std::uint64_t& bytes) {
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return false;
  bytes = value;
  return true;
}

}  // namespace

void LoadExportOptions(TSettingsStore& store, TExportOptions& options) {
  for (const TOptionField& f : OptionFields)
    options.*f.Field = store.ReadBool(ExportOptionsSection, f.Name, options.*f.Field);
  if (const auto style = store.ReadString(ExportOptionsSection, StyleValue))
    PageStyleNamed(*style, options.Style);
  for (const TTextField& f : TextFields)
    if (const auto text = store.ReadString(ExportOptionsSection, f.Name)) options.*f.Field = *text;
  if (const auto budget = store.ReadString(ExportOptionsSection, PageBudgetValue)) BytesOf(*budget, options.PageBudget);
  if (const auto text = store.ReadString(ExportOptionsSection, PageColorValue)) {
    TRGB color;
    if (CssColorOf(*text, color)) options.PageColor = color;
  }
}

void SaveExportOptions(TSettingsStore& store, const TExportOptions& options) {
  for (const TOptionField& f : OptionFields)
    store.WriteBool(ExportOptionsSection, f.Name, options.*f.Field);
  store.WriteString(ExportOptionsSection, StyleValue, PageStyleName(options.Style));
  for (const TTextField& f : TextFields) store.WriteString(ExportOptionsSection, f.Name, options.*f.Field);
  store.WriteString(ExportOptionsSection, PageBudgetValue, std::to_string(options.PageBudget));
  // White, the default, leaves the store as older versions wrote it.
  if (options.PageColor == TExportOptions{}.PageColor)
    store.DeleteValue(ExportOptionsSection, PageColorValue);
  else
    store.WriteString(ExportOptionsSection, PageColorValue, CssColor(options.PageColor));
}

std::string PageBackgroundProblem(const std::string& background) {
  TRGB color;
  if (background.empty() || CssColorOf(background, color)) return "";
  return "The page background must be a colour #RRGGBB, got \"" + background + "\".";
}

bool SetExportSetting(TExportOptions& options, const std::string& name, const std::string& value) {
  if (name == "EmailFixedWidth") {
    if (value != "true" && value != "false" && value != "1" && value != "0")
      throw std::invalid_argument("bad value for " + name + ": " + value + " (true/false/1/0)");
    options.EmailFixedWidth = value == "true" || value == "1";
    return true;
  }
  if (name == "PageBudget") {
    if (!BytesOf(value, options.PageBudget)) throw std::invalid_argument("bad value for " + name + ": " + value + " (bytes)");
    return true;
  }
  return false;
}

std::vector<std::string> ExportSettingNames() { return {"EmailFixedWidth", "PageBudget"}; }
