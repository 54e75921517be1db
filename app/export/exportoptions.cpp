#include "app/export/exportoptions.h"

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

}  // namespace

void LoadExportOptions(TSettingsStore& store, TExportOptions& options) {
  for (const TOptionField& f : OptionFields)
    options.*f.Field = store.ReadBool(ExportOptionsSection, f.Name, options.*f.Field);
  if (const auto style = store.ReadString(ExportOptionsSection, StyleValue))
    PageStyleNamed(*style, options.Style);
  if (const auto base = store.ReadString(ExportOptionsSection, BaseUrlValue)) options.BaseUrl = *base;
}

void SaveExportOptions(TSettingsStore& store, const TExportOptions& options) {
  for (const TOptionField& f : OptionFields)
    store.WriteBool(ExportOptionsSection, f.Name, options.*f.Field);
  store.WriteString(ExportOptionsSection, StyleValue, PageStyleName(options.Style));
  store.WriteString(ExportOptionsSection, BaseUrlValue, options.BaseUrl);
}
