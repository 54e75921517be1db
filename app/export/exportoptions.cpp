#include "app/export/exportoptions.h"

#include "app/common/text.h"

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
};

constexpr const char* StyleValue = "style_Text";
constexpr const char* BaseUrlValue = "baseurl_Text";
constexpr const char* PageColorValue = "pagecolor_Text";

}  // namespace

void LoadExportOptions(TSettingsStore& store, TExportOptions& options) {
  for (const TOptionField& f : OptionFields)
    options.*f.Field = store.ReadBool(ExportOptionsSection, f.Name, options.*f.Field);
  if (const auto style = store.ReadString(ExportOptionsSection, StyleValue))
    PageStyleNamed(*style, options.Style);
  if (const auto base = store.ReadString(ExportOptionsSection, BaseUrlValue)) options.BaseUrl = *base;
  if (const auto text = store.ReadString(ExportOptionsSection, PageColorValue))
    if (const auto color = ColorFromHex(*text)) options.PageColor = *color;
}

void SaveExportOptions(TSettingsStore& store, const TExportOptions& options) {
  for (const TOptionField& f : OptionFields)
    store.WriteBool(ExportOptionsSection, f.Name, options.*f.Field);
  store.WriteString(ExportOptionsSection, StyleValue, PageStyleName(options.Style));
  store.WriteString(ExportOptionsSection, BaseUrlValue, options.BaseUrl);
  // White, the default, leaves the store as older versions wrote it.
  if (options.PageColor == TExportOptions{}.PageColor)
    store.DeleteValue(ExportOptionsSection, PageColorValue);
  else
    store.WriteString(ExportOptionsSection, PageColorValue, HexColor(options.PageColor));
}
