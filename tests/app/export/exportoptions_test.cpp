#include "app/export/exportoptions.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

TEST(ExportOptionsStore, RoundTripUnderItsOwnKey) {
  auto data = std::make_shared<TSettingsData>();
  TMemorySettingsStore store(ExportOptionsKeyPath, data);
  TExportOptions options;
  LoadExportOptions(store, options);
  EXPECT_TRUE(options.ShowOptions);
  EXPECT_FALSE(options.IncAltTags || options.EditCode || options.AlwaysGrid || options.UpperCase ||
               options.DoubleQuote || options.Retina);
  EXPECT_EQ(options.Style, TPageStyle::Classic);
  EXPECT_EQ(options.BaseUrl, "");
  options = {.IncAltTags = true, .AlwaysGrid = true, .UpperCase = true, .ShowOptions = false,
             .Style = TPageStyle::Fluid, .BaseUrl = "https://cdn.example.com/mail", .Retina = true};
  SaveExportOptions(store, options);
  const auto& group = data->at("Corvane Mill\\Tessel");
  EXPECT_EQ(group.size(), 15u);
  EXPECT_EQ(group.at("incalttags_Checked"), "1");
  EXPECT_EQ(group.at("showoptions_Checked"), "0");
  EXPECT_EQ(group.at("style_Text"), "fluid");
  EXPECT_EQ(group.at("baseurl_Text"), "https://cdn.example.com/mail");
  EXPECT_EQ(group.at("retina_Checked"), "1");
  TExportOptions again;
  LoadExportOptions(store, again);
  EXPECT_TRUE(again.IncAltTags && again.AlwaysGrid && again.UpperCase && again.Retina);
  EXPECT_FALSE(again.EditCode || again.DoubleQuote || again.ShowOptions);
  EXPECT_EQ(again.Style, TPageStyle::Fluid);
  EXPECT_EQ(again.BaseUrl, "https://cdn.example.com/mail");
}

// The page colour is kept unless white, the default, and goes when set back.
TEST(ExportOptionsStore, PageColourKeptUnlessWhite) {
  auto data = std::make_shared<TSettingsData>();
  TMemorySettingsStore store(ExportOptionsKeyPath, data);
  TExportOptions options;
  options.PageColor = RGBColor(0x20, 0xC0, 0x40);
  SaveExportOptions(store, options);
  EXPECT_EQ(data->at("Corvane Mill\\Tessel").at("pagecolor_Text"), "#20c040");
  TExportOptions again;
  LoadExportOptions(store, again);
  EXPECT_EQ(again.PageColor, RGBColor(0x20, 0xC0, 0x40));
  SaveExportOptions(store, TExportOptions{});
  EXPECT_EQ(data->at("Corvane Mill\\Tessel").count("pagecolor_Text"), 0u);
}

// A settings file of an older version holds the six check boxes only: it
// reads as it did, the new options at their defaults. A style this version
// does not know leaves the one the dialog holds.
TEST(ExportOptionsStore, AnOlderFileExportsAsBefore) {
  auto data = std::make_shared<TSettingsData>();
  (*data)["Corvane Mill\\Tessel"] = {{"uppercase_Checked", "1"}, {"showoptions_Checked", "0"}};
  TMemorySettingsStore store(ExportOptionsKeyPath, data);
  TExportOptions options;
  LoadExportOptions(store, options);
  EXPECT_TRUE(options.UpperCase);
  EXPECT_FALSE(options.ShowOptions);
  EXPECT_EQ(options.Style, TPageStyle::Classic);
  EXPECT_FALSE(options.Retina);
  EXPECT_EQ(options.BaseUrl, "");

  (*data)["Corvane Mill\\Tessel"]["style_Text"] = "amp";
  options.Style = TPageStyle::Email;
  LoadExportOptions(store, options);
  EXPECT_EQ(options.Style, TPageStyle::Email);
}

}  // namespace
