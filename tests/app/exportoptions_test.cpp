#include "app/exportoptions.h"

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
               options.DoubleQuote);
  options = {true, false, true, false, true, false};
  SaveExportOptions(store, options);
  const auto& group = data->at("Corvane Mill\\Tessel");
  EXPECT_EQ(group.size(), 6u);
  EXPECT_EQ(group.at("incalttags_Checked"), "1");
  EXPECT_EQ(group.at("showoptions_Checked"), "0");
  TExportOptions again;
  LoadExportOptions(store, again);
  EXPECT_TRUE(again.IncAltTags && again.AlwaysGrid && again.UpperCase);
  EXPECT_FALSE(again.EditCode || again.DoubleQuote || again.ShowOptions);
}

}  // namespace
