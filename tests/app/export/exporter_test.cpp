#include "app/export/exporter.h"

#include <gtest/gtest.h>

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>

#include "support/app_test_util.h"
#include "app/cut/gridfile.h"
#include "app/export/htmltable.h"
#include "pgraphic/core/stagedfile.h"
#include "support/failing_disk.h"
#include "support/peer.h"

namespace {

namespace fs = std::filesystem;
using S = std::vector<std::string>;

// Records what the window would have shown and answers as told.
class TFakeUi : public TExportUi {
 public:
  std::string Path;
  bool Choose = true;
  bool Overwrite = true;
  std::function<void(TExportOptions&)> OnOptions;
  std::function<std::string(TPixelGraphic&, const TGridCell&, const TSliceTag&)> OnTags;
  std::function<void(std::vector<std::string>&)> OnEditCode;
  bool Replace = true;
  bool ExportOddLines = false;
  S Calls;
  S Written;

  bool ChooseHtmlFile(std::string& path) override {
    Calls.push_back("choose");
    path = Path;
    return Choose;
  }
  bool ConfirmOverwrite(const std::string& text, const std::string& caption) override {
    Calls.push_back("confirm:" + caption + ":" + text);
    return Overwrite;
  }
  bool ConfirmReplace(const std::vector<std::string>& paths) override {
    std::string call = "replace";
    for (const std::string& path : paths) call += ":" + fs::path(path).filename().string();
    Calls.push_back(call);
    return Replace;
  }
  bool ConfirmOddRetinaLine(const std::string& line) override {
    Calls.push_back("odd:" + line);
    return ExportOddLines;
  }
  void ShowExportOptions(TExportOptions& options) override {
    Calls.push_back("options");
    if (OnOptions) OnOptions(options);
  }
  std::string EditSliceTags(TPixelGraphic& slice, const TGridCell& cell,
                            const TSliceTag& tag) override {
    Calls.push_back("tags");
    return OnTags ? OnTags(slice, cell, tag) : tag.PlainCode();
  }
  void EditCode(std::vector<std::string>& lines) override {
    Calls.push_back("code");
    if (OnEditCode) OnEditCode(lines);
  }
  void SliceWritten(const std::string& path) override { Written.push_back(fs::path(path).filename()); }
};

peer::RgbImage LoadRgb(const fs::path& path) {
  TPixelGraphic image;
  image.LoadFromFile(path.string());
  return peer::ToRgb(image);
}

class ExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = apptest::ScratchDir();
    Pixels = peer::Pattern(300, 200);
    peer::FromRgb(Source, Pixels);
    Grid.ResetToImage(300, 200);
    Ui.Path = (Dir / "index.html").string();
    Exporter.Settings.OutputExtension = ".bmp";
    Exporter.Settings.Options.ShowOptions = false;
  }
  // The worked grid, entered in an unsorted order.
  void WorkedGrid() {
    Grid.DropVert(100, 300);
    Grid.DropHorz(50, 200);
  }
  void ExpectSlice(const std::string& name, int x, int y, int w, int h) {
    EXPECT_EQ(LoadRgb(Dir / name), apptest::Crop(Pixels, x, y, w, h)) << name;
  }

  fs::path Dir;
  peer::RgbImage Pixels;
  TPixelGraphic Source;
  TGridData Cut;
  TSplitGrid& Grid = Cut.Grid;
  TFakeUi Ui;
  TSliceExporter Exporter{Cut, Ui};
};

const char* const WorkedHtml =
    "<table cellspacing = 0 cellpadding = 0 border = 0>\r\n"
    "<tr><td><img src='index_1_1.bmp' width=100 height=50></td><td><img src='index_2_1.bmp' "
    "width=200 height=50></td></tr>\r\n"
    "<tr><td><img src='index_1_2.bmp' width=100 height=150></td><td><img src='index_2_2.bmp' "
    "width=200 height=150></td></tr>\r\n"
    "</table>\r\n";

TEST(ExportNames, DirectoryAndBaseName) {
  const TExportNames a = ExportNamesOf("/srv/www/My.Page.html");
  EXPECT_EQ(a.Directory, "/srv/www");
  EXPECT_EQ(a.BaseName, "My");
  EXPECT_EQ(ExportNamesOf("index.html").Directory, "");
  EXPECT_EQ(ExportNamesOf("/x.htm").Directory, "/");
  EXPECT_EQ(ExportNamesOf("/w/.html").BaseName, "");
  EXPECT_EQ(ExportNamesOf("/w/index").BaseName, "index");
  EXPECT_EQ(ExportNamesOf("/w.d/page").BaseName, "page");
  EXPECT_EQ(SliceFileName("index", 2, 1, ".jpg"), "index_2_1.jpg");
  EXPECT_EQ(SliceFileName("", 10, 12, ".png"), "_10_12.png");
  EXPECT_EQ(PathInDirectory("", "a.bmp"), "a.bmp");
  EXPECT_EQ(PathInDirectory("/", "a.bmp"), "/a.bmp");
  EXPECT_EQ(PathInDirectory("/d", "a.bmp"), "/d/a.bmp");
}

TEST_F(ExportTest, FreshGridGivesOneWholeSlice) {
  ASSERT_TRUE(Exporter.Export(Source));
  EXPECT_EQ(Ui.Written, (S{"index_1_1.bmp"}));
  ExpectSlice("index_1_1.bmp", 0, 0, 300, 200);
  EXPECT_EQ(Ui.Calls, (S{"choose"}));
}

TEST_F(ExportTest, WorkedExampleOrderPixelsAndHtml) {
  WorkedGrid();
  ASSERT_TRUE(Exporter.Export(Source));
  EXPECT_EQ(Ui.Written, (S{"index_1_1.bmp", "index_2_1.bmp", "index_1_2.bmp", "index_2_2.bmp"}));
  ExpectSlice("index_1_1.bmp", 0, 0, 100, 50);
  ExpectSlice("index_2_1.bmp", 100, 0, 200, 50);
  ExpectSlice("index_1_2.bmp", 0, 50, 100, 150);
  ExpectSlice("index_2_2.bmp", 100, 50, 200, 150);
  EXPECT_EQ(apptest::ReadFile(Dir / "index.html"), WorkedHtml);
  // The lists stay sorted; the slice image keeps the last cell.
  EXPECT_EQ(Grid.VertSplits.Values(), (std::vector<std::int32_t>{0, 100, 300}));
  EXPECT_EQ(peer::ToRgb(Exporter.SliceImage), apptest::Crop(Pixels, 100, 50, 200, 150));
  EXPECT_EQ(Exporter.SliceImage.PixelFormat(), pgpf24Bit);
}

// The half size: each pixel the rounded mean of its 2 x 2 block.
peer::RgbImage Halved(const peer::RgbImage& img) {
  peer::RgbImage half{img.Width / 2, img.Height / 2, {}};
  const auto at = [&](int x, int y, int c) { return int(img.Rgb[(std::size_t(y) * std::size_t(img.Width) + std::size_t(x)) * 3 + std::size_t(c)]); };
  for (int y = 0; y < half.Height; ++y)
    for (int x = 0; x < half.Width; ++x)
      for (int c = 0; c < 3; ++c)
        half.Rgb.push_back(std::uint8_t(
            (at(2 * x, 2 * y, c) + at(2 * x + 1, 2 * y, c) + at(2 * x, 2 * y + 1, c) + at(2 * x + 1, 2 * y + 1, c) + 2) /
            4));
  return half;
}

// Each cell at full size as BASE_C_R@2x and halved as BASE_C_R, which the
// page shows at half size with both in its srcset.
TEST_F(ExportTest, RetinaWritesEachCellAtFullAndHalfSize) {
  WorkedGrid();
  Exporter.Settings.Options.Retina = true;
  ASSERT_TRUE(Exporter.Export(Source));
  EXPECT_EQ(Ui.Written, (S{"index_1_1.bmp", "index_1_1@2x.bmp", "index_2_1.bmp", "index_2_1@2x.bmp",
                           "index_1_2.bmp", "index_1_2@2x.bmp", "index_2_2.bmp", "index_2_2@2x.bmp"}));
  ExpectSlice("index_2_1@2x.bmp", 100, 0, 200, 50);
  EXPECT_EQ(LoadRgb(Dir / "index_2_1.bmp"), Halved(apptest::Crop(Pixels, 100, 0, 200, 50)));
  EXPECT_EQ(LoadRgb(Dir / "index_1_2.bmp"), Halved(apptest::Crop(Pixels, 0, 50, 100, 150)));
  EXPECT_NE(apptest::ReadFile(Dir / "index.html").find("srcset='index_2_1.bmp 1x, index_2_1@2x.bmp 2x' width=100 height=25>"),
            std::string::npos);
  EXPECT_EQ(Ui.Calls, (S{"choose"}));  // every line even: nothing to ask
  // The window shows the last cell at full size.
  EXPECT_EQ(peer::ToRgb(Exporter.SliceImage), apptest::Crop(Pixels, 100, 50, 200, 150));
}

// Halved, a transparent area stays transparent: the colours it hides lend
// nothing to its opaque neighbours either.
TEST_F(ExportTest, RetinaHalvesKeepTransparency) {
  Source.AddAlpha();
  for (int y = 0; y < 200; ++y) std::memset(Source.AlphaLine(y), y < 100 ? 0 : 255, 300);
  Exporter.Settings.OutputExtension = ".png";
  Exporter.Settings.Options.Retina = true;
  ASSERT_TRUE(Exporter.Export(Source));
  TPixelGraphic half;
  half.LoadFromFile((Dir / "index_1_1.png").string());
  ASSERT_TRUE(half.HasAlpha());
  EXPECT_EQ(half.AlphaLine(49)[0], 0);
  EXPECT_EQ(half.AlphaLine(50)[0], 255);
}

// A line at an odd position is asked about before anything is written;
// exported anyway, the half-size cells are rounded down to whole pixels
// and still meet: 0, 50, 150 across for lines at 0, 101, 300.
TEST_F(ExportTest, RetinaAsksAboutALineAtAnOddPosition) {
  Grid.DropVert(101, 300);
  Grid.DropHorz(60, 200);
  Exporter.Settings.Options.Retina = true;
  EXPECT_FALSE(Exporter.Export(Source));
  EXPECT_EQ(Ui.Calls, (S{"choose", "odd:the vertical line at 101"}));
  EXPECT_TRUE(apptest::DirEntries(Dir).empty());
  Ui.ExportOddLines = true;
  ASSERT_TRUE(Exporter.Export(Source));
  EXPECT_EQ(LoadRgb(Dir / "index_1_1.bmp").Width, 50);
  EXPECT_EQ(LoadRgb(Dir / "index_2_1.bmp").Width, 100);
  EXPECT_EQ(LoadRgb(Dir / "index_2_1@2x.bmp").Width, 199);
  const S lines = SplitLines(apptest::ReadFile(Dir / "index.html"));
  EXPECT_NE(lines[1].find("width=50 height=30></td>"), std::string::npos) << lines[1];
  EXPECT_NE(lines[1].find("width=100 height=30></td>"), std::string::npos) << lines[1];
}

// Email cells carry the mean colour of their slice, rounded; a palette
// source is read through its palette.
TEST_F(ExportTest, EmailCellsCarryTheirSlicesAverageColour) {
  WorkedGrid();
  Exporter.Settings.Options.Style = TPageStyle::Email;
  TPixelGraphic grey;
  peer::GreyCopy(Source, grey);
  const peer::RgbImage pixels = peer::ToRgb(grey);
  std::int64_t sum = 0;
  for (int y = 50; y < 200; ++y)
    for (int x = 100; x < 300; ++x) sum += pixels.Rgb[(std::size_t(y) * 300 + std::size_t(x)) * 3];
  char mean[8];
  std::snprintf(mean, sizeof mean, "#%02x%02x%02x", unsigned((sum + 15000) / 30000),
                unsigned((sum + 15000) / 30000), unsigned((sum + 15000) / 30000));
  ASSERT_TRUE(Exporter.Export(grey));
  const std::string html = apptest::ReadFile(Dir / "index.html");
  EXPECT_NE(html.find("<td width='200' bgcolor='" + std::string(mean) + "'"), std::string::npos) << html;
}

// A base URL the names cannot follow stops the export before anything is
// written (the window's road; the command line refuses it at once).
TEST_F(ExportTest, BaseUrlWithAQueryIsRefused) {
  Exporter.Settings.Options.BaseUrl = "https://cdn.example.com/a?b";
  EXPECT_THROW(Exporter.Export(Source), EExportError);
  EXPECT_TRUE(apptest::DirEntries(Dir).empty());
}

TEST_F(ExportTest, OptionsDialogDecidesTheMarkup) {
  WorkedGrid();
  Exporter.Settings.Options.ShowOptions = true;
  Ui.OnOptions = [](TExportOptions& o) {
    o.UpperCase = true;
    o.DoubleQuote = true;
  };
  ASSERT_TRUE(Exporter.Export(Source));
  EXPECT_EQ(Ui.Calls, (S{"choose", "options"}));
  const S lines = SplitLines(apptest::ReadFile(Dir / "index.html"));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "<TABLE CELLSPACING = 0 CELLPADDING = 0 BORDER = 0>");
  EXPECT_EQ(lines[1],
            "<TR><TD><IMG SRC=\"index_1_1.bmp\" WIDTH=100 HEIGHT=50></TD><TD><IMG "
            "SRC=\"index_2_1.bmp\" WIDTH=200 HEIGHT=50></TD></TR>");
  EXPECT_EQ(lines[3], "</TABLE>");
  EXPECT_TRUE(Exporter.Settings.Options.UpperCase);
}

TEST_F(ExportTest, BaseNameUpToFirstDotAndGridBeside) {
  TRecentFiles recent("MRUManager2");
  Exporter.Settings.RecentGrids = &recent;
  Exporter.Settings.Options.AlwaysGrid = true;
  Ui.Path = (Dir / "shop.final.htm").string();
  Grid.DropVert(120, 300);
  ASSERT_TRUE(Exporter.Export(Source));
  EXPECT_EQ(apptest::DirEntries(Dir), (S{"shop.final.htm", "shop.grd", "shop_1_1.bmp", "shop_2_1.bmp"}));
  EXPECT_EQ(apptest::ReadFile(Dir / "shop.grd"), "0\r\n200\r\n-\r\n0\r\n120\r\n300\r\n");
  EXPECT_EQ(recent.Paths(), (S{(Dir / "shop.grd").string()}));
}

TEST_F(ExportTest, EmptyBaseNameAndNameWithoutDot) {
  Ui.Path = (Dir / ".html").string();
  ASSERT_TRUE(Exporter.Export(Source));
  Ui.Path = (Dir / "page").string();
  ASSERT_TRUE(Exporter.Export(Source));
  EXPECT_EQ(apptest::DirEntries(Dir), (S{".html", "_1_1.bmp", "page", "page_1_1.bmp"}));
}

TEST_F(ExportTest, CancelInSaveDialogChangesNothing) {
  WorkedGrid();
  Ui.Choose = false;
  EXPECT_FALSE(Exporter.Export(Source));
  EXPECT_TRUE(apptest::DirEntries(Dir).empty());
  EXPECT_EQ(Grid.VertSplits.Values(), (std::vector<std::int32_t>{0, 300, 100}));
}

TEST_F(ExportTest, ExistingHtmlAsksAndCancelKeepsEverything) {
  apptest::WriteFile(Dir / "index.html", "old");
  apptest::WriteFile(Dir / "index_1_1.bmp", "old slice");
  Ui.Overwrite = false;
  EXPECT_FALSE(Exporter.Export(Source));
  EXPECT_EQ(Ui.Calls, (S{"choose", "confirm:File already exists!:Overwrite " + Ui.Path + "?"}));
  EXPECT_EQ(apptest::ReadFile(Dir / "index.html"), "old");
  EXPECT_EQ(apptest::ReadFile(Dir / "index_1_1.bmp"), "old slice");
}

TEST_F(ExportTest, ExistingHtmlOkOverwritesHtmlAndSlices) {
  apptest::WriteFile(Dir / "index.html", "old");
  apptest::WriteFile(Dir / "index_1_1.bmp", "old slice");
  ASSERT_TRUE(Exporter.Export(Source));
  EXPECT_EQ(Ui.Calls.size(), 3u);  // choose, the HTML question, the window's silent yes to the rest
  EXPECT_EQ(Ui.Calls.back(), "replace:index_1_1.bmp");
  ExpectSlice("index_1_1.bmp", 0, 0, 300, 200);
  EXPECT_NE(apptest::ReadFile(Dir / "index.html"), "old");
  EXPECT_EQ(apptest::DirEntries(Dir), (S{"index.html", "index_1_1.bmp"}));
}

TEST_F(ExportTest, SecondFormatAddsASecondSet) {
  ASSERT_TRUE(Exporter.Export(Source));
  Exporter.Settings.OutputExtension = ".png";
  ASSERT_TRUE(Exporter.Export(Source));
  EXPECT_EQ(apptest::DirEntries(Dir), (S{"index.html", "index_1_1.bmp", "index_1_1.png"}));
  ExpectSlice("index_1_1.png", 0, 0, 300, 200);
  EXPECT_NE(apptest::ReadFile(Dir / "index.html").find("index_1_1.png"), std::string::npos);
}

TEST_F(ExportTest, EmptyGridWritesOnlyTheTableLines) {
  LoadGridText("-\r\n", Grid, 300, 200, nullptr);
  ASSERT_TRUE(Exporter.Export(Source));
  EXPECT_EQ(apptest::DirEntries(Dir), (S{"index.html"}));
  EXPECT_EQ(apptest::ReadFile(Dir / "index.html"),
            "<table cellspacing = 0 cellpadding = 0 border = 0>\r\n</table>\r\n");
  // Columns without rows: no cell either, in any style.
  LoadGridText("-\r\n0\r\n300\r\n", Grid, 300, 200, nullptr);
  Exporter.Settings.Options.Style = TPageStyle::Fluid;
  ASSERT_TRUE(Exporter.Export(Source));
  EXPECT_EQ(apptest::DirEntries(Dir), (S{"index.html"}));
}

TEST_F(ExportTest, EmptyCellsWriteNothingAndKeepNumbers) {
  // Duplicates: a zero-width column 2 and a zero-height row 1.
  Grid.Cross(100, 0, 300, 200);
  Grid.AddSplitlineVert(100, 300);
  ASSERT_TRUE(Exporter.Export(Source));
  EXPECT_EQ(Ui.Written, (S{"index_1_2.bmp", "index_3_2.bmp"}));
  ExpectSlice("index_3_2.bmp", 100, 0, 200, 200);
  EXPECT_EQ(apptest::ReadFile(Dir / "index.html"),
            "<table cellspacing = 0 cellpadding = 0 border = 0>\r\n"
            "<tr><td><img src='index_1_2.bmp' width=100 height=200></td><td><img "
            "src='index_3_2.bmp' width=200 height=200></td></tr>\r\n"
            "</table>\r\n");
}

// Cells 1,1 and 1,2 alone, 2,1 merged over 2 x 2 cells, 1,3 over the
// bottom row, each of one colour; 1,2 without an image. Column 3 begins no
// cell, so the table has two columns; every style keeps the sizes.
TEST_F(ExportTest, MergedAndSkippedCellsInEveryStyle) {
  peer::RgbImage flat{300, 200, std::vector<std::uint8_t>(300 * 200 * 3)};
  const auto paint = [&](int x0, int y0, int w, int h, std::uint32_t rgb) {
    for (int y = y0; y < y0 + h; ++y)
      for (int x = x0; x < x0 + w; ++x)
        for (int c = 0; c < 3; ++c) flat.Rgb[(std::size_t(y) * 300 + std::size_t(x)) * 3 + std::size_t(c)] = std::uint8_t(rgb >> (16 - 8 * c));
  };
  paint(0, 0, 100, 50, 0x102030);
  paint(100, 0, 200, 150, 0x405060);
  paint(0, 50, 100, 100, 0x708090);
  paint(0, 150, 300, 50, 0xa0b0c0);
  peer::FromRgb(Source, flat);
  Grid.DropVert(100, 300);
  Grid.DropVert(200, 300);
  Grid.DropHorz(50, 200);
  Grid.DropHorz(150, 200);
  TCellData& cells = Cut.Cells;
  cells.Merges = {{{2, 1}, {2, 2}}, {{1, 3}, {3, 1}}};
  cells.Skips = {{1, 2}};
  Exporter.Settings.Options.AlwaysGrid = true;
  const std::pair<TPageStyle, std::string> pages[] = {
      {TPageStyle::Classic,
       "<table cellspacing = 0 cellpadding = 0 border = 0>\r\n"
       "<colgroup><col width=100><col width=200></colgroup>\r\n"
       "<tr height=50><td><img src='index_1_1.bmp' width=100 height=50></td><td rowspan=2><img "
       "src='index_2_1.bmp' width=200 height=150></td></tr>\r\n"
       "<tr height=100><td width=100 height=100 bgcolor=#708090></td></tr>\r\n"
       "<tr height=50><td colspan=2><img src='index_1_3.bmp' width=300 height=50></td></tr>\r\n"
       "</table>\r\n"},
      {TPageStyle::Html5,
       "<table role='presentation' style='border-collapse:collapse'>\r\n"
       "<colgroup><col style='width:100px'><col style='width:200px'></colgroup>\r\n"
       "<tr style='height:50px'><td style='padding:0'><img src='index_1_1.bmp' width='100' height='50' alt='' "
       "style='display:block'></td><td rowspan='2' style='padding:0'><img src='index_2_1.bmp' width='200' "
       "height='150' alt='' style='display:block'></td></tr>\r\n"
       "<tr style='height:100px'><td style='padding:0;width:100px;height:100px;background:#708090'></td></tr>\r\n"
       "<tr style='height:50px'><td colspan='2' style='padding:0'><img src='index_1_3.bmp' width='300' "
       "height='50' alt='' style='display:block'></td></tr>\r\n"
       "</table>\r\n"},
      {TPageStyle::Email,
       "<!--[if mso]><table role='presentation' width='300' border='0' cellpadding='0' cellspacing='0'><tr><td>"
       "<![endif]--><table role='presentation' width='100%' border='0' cellpadding='0' cellspacing='0' "
       "style='border-collapse:collapse;max-width:300px'>\r\n"
       "<colgroup><col width='100' style='width:33.3333%'><col width='200' style='width:66.6667%'></colgroup>\r\n"
       "<tr><td width='100' bgcolor='#102030' style='padding:0;width:33.3333%'><img src='index_1_1.bmp' "
       "width='100' alt='' border='0' style='display:block;width:100%;height:auto;aspect-ratio:100/50;"
       "overflow:hidden'></td><td rowspan='2' width='200' bgcolor='#405060' style='padding:0;width:66.6667%'>"
       "<img src='index_2_1.bmp' width='200' alt='' border='0' style='display:block;width:100%;height:auto;"
       "aspect-ratio:200/150;overflow:hidden'></td></tr>\r\n"
       "<tr><td width='100' bgcolor='#708090' style='padding:0;width:33.3333%'><!--[if mso]><table "
       "role='presentation' border='0' cellpadding='0' cellspacing='0'><tr><td height='100' "
       "style='font-size:0;line-height:0'>&nbsp;</td></tr></table><![endif]--><div style='padding-top:100%;"
       "font-size:0;line-height:0;mso-hide:all'>&nbsp;</div></td></tr>\r\n"
       "<tr><td colspan='2' width='300' bgcolor='#a0b0c0' style='padding:0;width:100%'><img src='index_1_3.bmp' "
       "width='300' alt='' border='0' style='display:block;width:100%;height:auto;aspect-ratio:300/50;"
       "overflow:hidden'></td></tr>\r\n"
       "</table><!--[if mso]></td></tr></table><![endif]-->\r\n"},
      {TPageStyle::Fluid,
       "<div style='max-width:300px'><canvas width='300' height='0' style='display:block;max-width:100%'>"
       "</canvas><div style='container-type:inline-size'><table role='presentation' "
       "style='border-collapse:collapse;table-layout:fixed;width:100%'>\r\n"
       "<colgroup><col style='width:33.3333%'><col style='width:66.6667%'></colgroup>\r\n"
       "<tr style='height:calc(100cqw*50/300)'><td style='padding:0;width:33.3333%'><img src='index_1_1.bmp' "
       "width='100' height='50' alt='' style='display:block;width:100%;height:auto;height:calc(100cqw*50/300)'>"
       "</td><td rowspan='2' style='padding:0;width:66.6667%'><img src='index_2_1.bmp' width='200' height='150' "
       "alt='' style='display:block;width:100%;height:auto;height:calc(100cqw*150/300)'></td></tr>\r\n"
       "<tr style='height:calc(100cqw*100/300)'><td "
       "style='padding:0;width:33.3333%;height:calc(100cqw*100/300);background:#708090'></td></tr>\r\n"
       "<tr style='height:calc(100cqw*50/300)'><td colspan='2' style='padding:0;width:100%'><img "
       "src='index_1_3.bmp' width='300' height='50' alt='' "
       "style='display:block;width:100%;height:auto;height:calc(100cqw*50/300)'></td></tr>\r\n"
       "</table></div></div>\r\n"},
  };
  for (const auto& [style, html] : pages) {
    Exporter.Settings.Options.Style = style;
    Ui.Written.clear();
    ASSERT_TRUE(Exporter.Export(Source));
    EXPECT_EQ(apptest::ReadFile(Dir / "index.html"), html);
    EXPECT_EQ(Ui.Written, (S{"index_1_1.bmp", "index_2_1.bmp", "index_1_3.bmp"}));
  }
  // A merged cell is one slice named after its top-left cell; a skipped one has none.
  EXPECT_EQ(apptest::DirEntries(Dir),
            (S{"index.cells", "index.grd", "index.html", "index_1_1.bmp", "index_1_3.bmp", "index_2_1.bmp"}));
  EXPECT_EQ(LoadRgb(Dir / "index_2_1.bmp"), apptest::Crop(flat, 100, 0, 200, 150));
  EXPECT_EQ(LoadRgb(Dir / "index_1_3.bmp"), apptest::Crop(flat, 0, 150, 300, 50));
  EXPECT_EQ(apptest::ReadFile(Dir / "index.cells"),
            "lines\thorizontal\t0,50,150,200\r\nlines\tvertical\t0,100,200,300\r\n"
            "merge\t2\t1\t2\t2\r\nmerge\t1\t3\t3\t1\r\nskip\t1\t2\r\n");
  // Cells the grid does not have stop the export before anything is written.
  cells.Merges[{3, 3}] = {1, 2};
  std::filesystem::remove_all(Dir);
  std::filesystem::create_directories(Dir);
  EXPECT_THROW(Exporter.Export(Source), EExportError);
  EXPECT_TRUE(apptest::DirEntries(Dir).empty());
}

TEST_F(ExportTest, PerSliceDialogSeesEachSliceJustWritten) {
  WorkedGrid();
  Exporter.Settings.Options.IncAltTags = true;
  std::vector<int> seen;
  Ui.OnTags = [&](TPixelGraphic& slice, const TGridCell& cell, const TSliceTag& tag) {
    // Cut, staged, but not yet in place: all slices take their places together.
    EXPECT_FALSE(fs::exists(Dir / SliceFileName("index", cell.Column, cell.Row, ".bmp")));
    EXPECT_EQ(peer::ToRgb(slice), apptest::Crop(Pixels, cell.Left, cell.Top, cell.Width, cell.Height));
    seen.push_back(cell.Column * 10 + cell.Row);
    return cell.Column == 1 && cell.Row == 1 ? tag.Code("page2.html", "main", "Logo")
                                             : tag.PlainCode();
  };
  ASSERT_TRUE(Exporter.Export(Source));
  EXPECT_EQ(seen, (std::vector<int>{11, 21, 12, 22}));
  const S lines = SplitLines(apptest::ReadFile(Dir / "index.html"));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1],
            "<tr><td><A HREF=\"page2.html\" TARGET=\"main\"><img src='index_1_1.bmp' width=100 "
            "height=50 ALT=\"Logo\" BORDER=0></A></td><td><img src='index_2_1.bmp' width=200 "
            "height=50></td></tr>");
}

TEST_F(ExportTest, EditedCodeIsWhatGetsSavedInAscii) {
  Exporter.Settings.Options.EditCode = true;
  Ui.OnEditCode = [](std::vector<std::string>& lines) {
    EXPECT_EQ(lines.size(), 3u);
    lines = {"<p>caf\xC3\xA9</p>", lines[1]};
  };
  ASSERT_TRUE(Exporter.Export(Source));
  EXPECT_EQ(apptest::ReadFile(Dir / "index.html"),
            "<p>caf&#233;</p>\r\n<tr><td><img src='index_1_1.bmp' width=300 height=200></td></tr>\r\n");
}

TEST_F(ExportTest, FailingSliceLeavesEveryFileAsItWas) {
  WorkedGrid();
  apptest::WriteFile(Dir / "index_1_1.bmp", "old slice");
  // A directory where the third slice should go makes its save fail.
  fs::create_directory(Dir / "index_1_2.bmp");
  EXPECT_ANY_THROW(Exporter.Export(Source));
  EXPECT_TRUE(Ui.Written.empty());
  EXPECT_EQ(apptest::ReadFile(Dir / "index_1_1.bmp"), "old slice");
  EXPECT_EQ(apptest::DirEntries(Dir), (S{"index_1_1.bmp", "index_1_2.bmp"}));
}

TEST_F(ExportTest, UnknownOutputExtensionFailsBeforeAnyHtml) {
  Exporter.Settings.OutputExtension = ".xyz";
  EXPECT_ANY_THROW(Exporter.Export(Source));
  EXPECT_TRUE(apptest::DirEntries(Dir).empty());
}

// ---- all or nothing, and never the wrong file

TEST_F(ExportTest, SecondExportOfThePageIsRefusedWhileTheFirstRuns) {
  WorkedGrid();
  Exporter.Settings.Options.EditCode = true;
  std::string second;
  Ui.OnEditCode = [&](std::vector<std::string>&) {
    TFakeUi other;
    other.Path = (Dir / "index.htm").string();  // same base name, same slices
    TSliceExporter rival(Cut, other);
    rival.Settings.Options.ShowOptions = false;
    try {
      rival.Export(Source);
    } catch (const EExportError& e) {
      second = e.what();
    }
    EXPECT_TRUE(other.Written.empty());
  };
  ASSERT_TRUE(Exporter.Export(Source));
  // The page named is the one being exported, not the one asked for.
  EXPECT_EQ(second, "Another export to \"" + (Dir / "index.html").string() +
                        "\" is running; nothing was written. Try again when it has finished.");
  EXPECT_EQ(apptest::ReadFile(Dir / "index.html"), WorkedHtml);
  // The lock goes with the export that held it.
  EXPECT_EQ(apptest::DirEntries(Dir),
            (S{"index.html", "index_1_1.bmp", "index_1_2.bmp", "index_2_1.bmp", "index_2_2.bmp"}));
}

// The source is found under any name: here a hard link named like a slice.
TEST_F(ExportTest, SourceFileIsNeverAnOutput) {
  Source.SaveToFile((Dir / "photo.bmp").string());
  const std::string photo = apptest::ReadFile(Dir / "photo.bmp");
  fs::create_hard_link(Dir / "photo.bmp", Dir / "index_1_1.bmp");
  Exporter.Settings.SourceFile = FileIdentityOf((Dir / "photo.bmp").string());
  try {
    Exporter.Export(Source);
    ADD_FAILURE() << "the source was exported over";
  } catch (const EExportError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot export: \"" + (Dir / "index_1_1.bmp").string() +
                                         "\" is the source image itself; nothing was written.");
  }
  EXPECT_EQ(apptest::ReadFile(Dir / "photo.bmp"), photo);
  EXPECT_EQ(apptest::DirEntries(Dir), (S{"index_1_1.bmp", "photo.bmp"}));
  // A symbolic link to it is the source too, at a slice's name as at the
  // HTML file's; the links stay.
  fs::remove(Dir / "index_1_1.bmp");
  for (const char* name : {"index_1_1.bmp", "index.html"}) {
    SCOPED_TRACE(name);
    fs::create_symlink("photo.bmp", Dir / name);
    try {
      Exporter.Export(Source);
      ADD_FAILURE() << "the source was exported over";
    } catch (const EExportError& e) {
      EXPECT_EQ(std::string(e.what()), "Cannot export: \"" + (Dir / name).string() +
                                           "\" is the source image itself; nothing was written.");
    }
    EXPECT_TRUE(fs::is_symlink(Dir / name));
    fs::remove(Dir / name);
  }
  EXPECT_EQ(apptest::ReadFile(Dir / "photo.bmp"), photo);
}

// A crash in the middle of the commit finds every new slice in place before
// the HTML that names them, and the grid last. (This program logs its
// renames: see exportcommit_test.cpp.)
TEST_F(ExportTest, FilesTakeTheirPlacesSlicesThenHtmlThenGrid) {
  WorkedGrid();
  Exporter.Settings.Options.AlwaysGrid = true;
  faildisk::TakeSyncLog();
  ASSERT_TRUE(Exporter.Export(Source));
  S placed;
  for (const std::string& entry : faildisk::TakeSyncLog())
    if (entry.rfind("rename ", 0) == 0) placed.push_back(fs::path(entry.substr(entry.rfind(' ') + 1)).filename());
  ASSERT_EQ(placed.size(), 6u);
  EXPECT_EQ(S(placed.begin() + 4, placed.end()), (S{"index.html", "index.grd"}));
  std::sort(placed.begin(), placed.begin() + 4);
  EXPECT_EQ(S(placed.begin(), placed.begin() + 4),
            (S{"index_1_1.bmp", "index_1_2.bmp", "index_2_1.bmp", "index_2_2.bmp"}));
}

TEST_F(ExportTest, CallerIsAskedAboutEveryOtherFileItWouldReplace) {
  WorkedGrid();
  Exporter.Settings.Options.AlwaysGrid = true;
  for (const char* name : {"index.html", "index_2_1.bmp", "index.grd", "index_9_9.bmp"})
    apptest::WriteFile(Dir / name, "old");
  Ui.Replace = false;
  EXPECT_FALSE(Exporter.Export(Source));
  EXPECT_EQ(Ui.Calls.back(), "replace:index_2_1.bmp:index.grd");
  for (const char* name : {"index.html", "index_2_1.bmp", "index.grd"})
    EXPECT_EQ(apptest::ReadFile(Dir / name), "old");
  EXPECT_EQ(apptest::DirEntries(Dir), (S{"index.grd", "index.html", "index_2_1.bmp", "index_9_9.bmp"}));
}

// A million lines on each axis, all but the edge repeated: one cell. Visiting
// every pair of lines would take hours.
TEST_F(ExportTest, RepeatedLinesCostTheirLengthNotTheirProduct) {
  std::string text;
  for (const char* edge : {"200\r\n-\r\n", "300\r\n"}) {
    for (int i = 0; i < 1000000; ++i) text += "0\r\n";
    text += edge;
  }
  LoadGridText(text, Grid, 300, 200, nullptr);
  ASSERT_TRUE(Exporter.Export(Source));
  EXPECT_EQ(Ui.Written, (S{"index_1000000_1000000.bmp"}));
  ExpectSlice("index_1000000_1000000.bmp", 0, 0, 300, 200);
}

TEST_F(ExportTest, StagingFilesOfAKilledRunAreRemovedByTheNextExport) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  const std::string left = StagingFileName(child, 0), live = StagingFileName(::getpid(), 99999);
  apptest::WriteFile(Dir / left, "half a slice");
  apptest::WriteFile(Dir / live, "being written");
  ASSERT_TRUE(Exporter.Export(Source));
  EXPECT_FALSE(fs::exists(Dir / left));
  EXPECT_TRUE(fs::exists(Dir / live));
}

// The sanitizers' shadow memory does not fit a limited address space.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// Address space of the process now, from /proc.
rlim_t AddressSpaceInUse() {
  std::ifstream statm("/proc/self/statm");
  rlim_t pages = 0;
  statm >> pages;
  return pages * rlim_t(::sysconf(_SC_PAGESIZE));
}

// The cell (36 MB of pixels) can never fit in 24 MB more address space,
// unless memory freed by earlier tests of this process holds it (then the
// test cannot tell). The export fails on memory, on one thread or several,
// and replaces nothing.
TEST_F(ExportTest, MemoryRunningOutFailsBeforeAnyFileIsReplaced) {
  constexpr std::size_t cell = 36u << 20;
  peer::FromRgb(Source, peer::Pattern(4000, 3000));
  Grid.ResetToImage(4000, 3000);
  apptest::WriteFile(Dir / "index_1_1.bmp", "old slice");
  for (int threads : {1, 2}) {
    Exporter.Settings.EncodeThreads = threads;
    const faildisk::TOutcome outcome = faildisk::WithFileSizeLimit(RLIM_INFINITY, [&] {
      ::malloc_trim(0);
      if (::mallinfo2().fordblks >= cell) throw std::runtime_error("free heap");
      const rlimit limit{AddressSpaceInUse() + (24 << 20), RLIM_INFINITY};
      ::setrlimit(RLIMIT_AS, &limit);
      Exporter.Export(Source);
    });
    if (outcome.Message == "free heap") GTEST_SKIP() << "earlier tests left the cell's memory free";
    EXPECT_EQ(outcome.Message.substr(0, 200), "Out of memory while writing \"" +
                                                  (Dir / "index_1_1.bmp").string() +
                                                  "\"; no file was replaced.")
        << threads;
    EXPECT_EQ(apptest::ReadFile(Dir / "index_1_1.bmp").substr(0, 20), "old slice");
    EXPECT_EQ(apptest::DirEntries(Dir), S{"index_1_1.bmp"});
  }
}
#endif

}  // namespace
