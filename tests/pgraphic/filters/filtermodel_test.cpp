#include "pgraphic/filters/filtermodel.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

const TPGFilterTable& Table(TFilterDialog& dialog, int j) {
  return dynamic_cast<TXXXFilter&>(dialog.Filter()).Tables[j];
}

TPGFilterTable Shifted(int by) {
  TPGFilterTable t;
  for (int i = 0; i < 256; ++i) t[i] = static_cast<std::uint8_t>(std::clamp(i + by, 0, 255));
  return t;
}

TPGFilterTable Rotated(int by) {
  TPGFilterTable t;
  for (int i = 0; i < 256; ++i) t[i] = static_cast<std::uint8_t>((i + by + 256) % 256);
  return t;
}

}  // namespace

TEST(FilterDialogValues, PercentChannelsClampToTheirRange) {
  TRGBFilterDialog rgb;
  rgb.SetRed(150);
  rgb.SetGreen(-101);
  rgb.SetBlue(INT_MIN);
  EXPECT_EQ(rgb.Red(), 100);
  EXPECT_EQ(rgb.Green(), -100);
  EXPECT_EQ(rgb.Blue(), -100);
  THLSFilterDialog hls;
  hls.SetL(300);
  hls.SetS(-7);
  EXPECT_EQ(hls.L(), 100);
  EXPECT_EQ(hls.S(), -7);
}

TEST(FilterDialogValues, HueWrapsByWholeTurns) {
  THLSFilterDialog hls;
  const std::pair<int, int> cases[] = {{270, -90}, {-540, -180}, {540, 180}, {180, 180},
                                       {-180, -180}, {181, -179}, {-181, 179}, {1000, -80}};
  for (auto [in, out] : cases) {
    hls.SetH(in);
    EXPECT_EQ(hls.H(), out) << in;
  }
  for (int extreme : {INT_MAX, INT_MIN}) {
    const int h = WrapDegrees(extreme);
    EXPECT_GE(h, -180);
    EXPECT_LE(h, 180);
    EXPECT_EQ((static_cast<long long>(extreme) - h) % 360, 0);
  }
}

TEST(FilterDialogTables, PercentValuesShiftTablesBy255Hundredths) {
  TRGBFilterDialog rgb;
  EXPECT_EQ(Table(rgb, 0), Shifted(0));
  rgb.SetRed(10);
  EXPECT_EQ(Table(rgb, 0), Shifted(25));
  EXPECT_EQ(Table(rgb, 1), Shifted(0));
  rgb.SetRed(-1);  // -255 div 100 truncates to -2
  EXPECT_EQ(Table(rgb, 0), Shifted(-2));
  TCMYFilterDialog cmy;
  cmy.SetYellow(-100);
  EXPECT_EQ(Table(cmy, 2), Shifted(-255));
  EXPECT_EQ(cmy.Filter().FilterColor(RGBColor(255, 0, 0)), RGBColor(255, 0, 255));
}

TEST(FilterDialogTables, RgbRedTenAddsTwentyFiveToRed) {
  TRGBFilterDialog rgb;
  rgb.SetRed(10);
  EXPECT_EQ(rgb.Filter().FilterColor(RGBColor(100, 100, 100)), RGBColor(125, 100, 100));
  EXPECT_EQ(rgb.Filter().FilterColor(RGBColor(240, 1, 2)), RGBColor(255, 1, 2));
}

TEST(FilterDialogTables, CyanValueDarkensRed) {
  TCMYFilterDialog cmy;
  cmy.SetCyan(10);
  EXPECT_EQ(cmy.Filter().FilterColor(RGBColor(255, 0, 0)), RGBColor(230, 0, 0));
  EXPECT_EQ(cmy.Filter().FilterColor(RGBColor(20, 9, 9)), RGBColor(0, 9, 9));
}

TEST(FilterDialogTables, HueRotatesTheCircularTable) {
  THLSFilterDialog hls;
  hls.SetH(120);
  EXPECT_EQ(Table(hls, 0), Rotated(85));
  EXPECT_EQ(hls.Filter().FilterColor(RGBColor(255, 0, 0)), RGBColor(2, 255, 0));
  hls.SetH(-120);  // -85.33 steps truncate to -85
  EXPECT_EQ(Table(hls, 0), Rotated(-85));
  hls.SetH(180);
  EXPECT_EQ(Table(hls, 0), Rotated(128));
  hls.SetL(-40);
  EXPECT_EQ(Table(hls, 1), Shifted(-102));
  EXPECT_EQ(Table(hls, 2), Shifted(0));
}

TEST(FilterDialogTexts, ValueLabels) {
  TRGBFilterDialog rgb;
  rgb.SetRed(25);
  rgb.SetBlue(-40);
  EXPECT_EQ(rgb.FormatValue1(), "+25%");
  EXPECT_EQ(rgb.FormatValue2(), "\u00B10%");
  EXPECT_EQ(rgb.FormatValue3(), "-40%");
  THLSFilterDialog hls;
  hls.SetH(-45);
  hls.SetL(7);
  EXPECT_EQ(hls.ValueLabel(0), "-45\u00B0");
  EXPECT_EQ(hls.ValueLabel(1), "+7%");
  hls.SetH(0);
  EXPECT_EQ(hls.ValueLabel(0), "\u00B10\u00B0");
  hls.SetH(180);
  EXPECT_EQ(hls.ValueLabel(0), "+180\u00B0");
}

TEST(FilterDialogTexts, CaptionsAndScales) {
  TRGBFilterDialog rgb;
  TCMYFilterDialog cmy;
  THLSFilterDialog hls;
  EXPECT_EQ(rgb.Caption(), "RGB Filter");
  EXPECT_EQ(cmy.Caption(), "CMY Filter");
  EXPECT_EQ(hls.Caption(), "HLS Filter");
  EXPECT_EQ(rgb.Channel(0).Caption + rgb.Channel(1).Caption + rgb.Channel(2).Caption, "RGB");
  EXPECT_EQ(cmy.Channel(0).Caption + cmy.Channel(1).Caption + cmy.Channel(2).Caption, "CMY");
  EXPECT_EQ(hls.Channel(0).Caption + hls.Channel(1).Caption + hls.Channel(2).Caption, "HLS");
  const TFilterChannel& red = rgb.Channel(0);
  EXPECT_EQ(red.MinLabel + "|" + red.MiddleLabel + "|" + red.MaxLabel, "-100%|\u00B10%|+100%");
  EXPECT_EQ(red.Frequency, 10);
  const TFilterChannel& h = hls.Channel(0);
  EXPECT_EQ(h.MinLabel + "|" + h.MiddleLabel + "|" + h.MaxLabel,
            "-180\u00B0|\u00B10\u00B0|+180\u00B0");
  EXPECT_EQ(h.Minimum, -180);
  EXPECT_EQ(h.Maximum, 180);
  EXPECT_EQ(h.Frequency, 15);
  EXPECT_EQ(hls.Channel(2).MaxLabel, "+100%");
  EXPECT_EQ(hls.Channel(2).Frequency, 10);
}

TEST(FilterDialogRun, CancelRestoresValuesAndTables) {
  TRGBFilterDialog rgb;
  rgb.SetGreen(20);
  int changes = 0;
  rgb.OnChange = [&] { ++changes; };
  rgb.BeginRun();
  rgb.SlidersChanged({30, -50, 4});
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(rgb.Red(), 30);
  EXPECT_EQ(Table(rgb, 1), Shifted(-127));
  rgb.EndRun(false);
  EXPECT_EQ(rgb.Red(), 0);
  EXPECT_EQ(rgb.Green(), 20);
  EXPECT_EQ(rgb.Blue(), 0);
  EXPECT_EQ(Table(rgb, 0), Shifted(0));
  EXPECT_EQ(Table(rgb, 1), Shifted(51));
}

TEST(FilterDialogRun, OkKeepsTheNewValues) {
  THLSFilterDialog hls;
  hls.BeginRun();
  hls.SlidersChanged({120, 0, 0});
  hls.EndRun(true);
  EXPECT_EQ(hls.H(), 120);
  EXPECT_EQ(Table(hls, 0), Rotated(85));
  // The next run starts from the accepted values.
  hls.BeginRun();
  hls.SlidersChanged({0, 10, 10});
  hls.EndRun(false);
  EXPECT_EQ(hls.H(), 120);
  EXPECT_EQ(hls.L(), 0);
}

TEST(FilterDialogRun, PreviewPassesGetTheirOwnFilter) {
  TCMYFilterDialog cmy;
  cmy.SetMagenta(50);
  std::unique_ptr<TPGFilter> pass = cmy.CreateCurrentFilter();
  ASSERT_NE(pass.get(), &cmy.Filter());
  EXPECT_EQ(dynamic_cast<TCMYFilter&>(*pass).Tables, dynamic_cast<TCMYFilter&>(cmy.Filter()).Tables);
  cmy.SetMagenta(0);
  EXPECT_EQ(dynamic_cast<TCMYFilter&>(*pass).Tables[1], Shifted(127));
}

TEST(PreviewSize, ShrinksToFitKeepingTheAspect) {
  auto size = [](int wc, int hc, int w, int h) {
    const TPreviewSize s = PreviewSourceSize(wc, hc, w, h);
    return std::make_pair(s.Width, s.Height);
  };
  EXPECT_EQ(size(136, 136, 1000, 500), std::make_pair(136, 68));
  EXPECT_EQ(size(136, 136, 500, 1000), std::make_pair(68, 136));
  EXPECT_EQ(size(136, 136, 100, 50), std::make_pair(100, 50));
  EXPECT_EQ(size(136, 136, 0, 0), std::make_pair(0, 0));
  EXPECT_EQ(size(136, 136, 500, 0), std::make_pair(0, 0));
  EXPECT_EQ(size(100, 100, 200, 101), std::make_pair(100, 50));  // 50.5 -> even
  EXPECT_EQ(size(100, 100, 200, 103), std::make_pair(100, 52));  // 51.5 -> even
  EXPECT_EQ(size(100, 100, 300, 300), std::make_pair(100, 100));
  EXPECT_EQ(size(0, 0, 30, 20), std::make_pair(0, 0));
}
