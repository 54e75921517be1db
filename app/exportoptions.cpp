#include "app/exportoptions.h"

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
};

}  // namespace

void LoadExportOptions(TSettingsStore& store, TExportOptions& options) {
  for (const TOptionField& f : OptionFields)
    options.*f.Field = store.ReadBool(ExportOptionsSection, f.Name, options.*f.Field);
}

void SaveExportOptions(TSettingsStore& store, const TExportOptions& options) {
  for (const TOptionField& f : OptionFields)
    store.WriteBool(ExportOptionsSection, f.Name, options.*f.Field);
}
