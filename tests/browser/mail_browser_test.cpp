// Pages for mail and for narrow screens in a real browser. tessel-cli cuts
// a newsletter with merged and skipped cells; headless Chromium renders the
// email and fluid pages in the four places such a table is put (the body,
// a <div>, the centred cell of a table 100 % wide, a box of at most 600
// pixels) at the widths of desktop mail down to the smallest phones: no
// page wider than its window, the whole picture shown in its shape, no
// background between the slices, at full width the design itself. Then the
// ALT texts with images blocked, each inside its cell and readable on it,
// and the whole pages: valid for a validator, centred on their colour.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/export/csscolor.h"
#include "support/browser.h"
#include "support/peer.h"
#include "support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;
using browser::IsBackground;
using browser::Slice;
using browser::TMode;

const std::vector<int> Widths = {640, 600, 480, 414, 375, 320};

enum class TWrapper { Body, Div, TableCell, Box600 };
constexpr TWrapper Wrappers[] = {TWrapper::Body, TWrapper::Div, TWrapper::TableCell, TWrapper::Box600};
const char* const WrapperNames[] = {"body", "div", "table cell", "600 px box"};

// The fragment in its wrapper, in a standards-mode page on the background,
// written beside the fragment; a square at the bottom left of the window
// turns red where the page is wider than the window (and so scrolls).
fs::path WrapperPage(const fs::path& html, TWrapper wrapper) {
  static const char* const before[] = {
      "", "<div>",
      "<table role=\"presentation\" width=\"100%\" cellpadding=\"0\" cellspacing=\"0\" border=\"0\"><tr>"
      "<td align=\"center\">",
      "<div style=\"max-width:600px;margin:0 auto\">"};
  static const char* const after[] = {"", "</div>", "</td></tr></table>", "</div>"};
  const int i = int(wrapper);
  const fs::path page = html.parent_path() / (html.stem().string() + "-in-" + std::to_string(i) + ".htm");
  std::ofstream(page, std::ios::binary) << browser::PageText(
      before[i] + browser::ReadText(html) + after[i] +
          "\n<script>addEventListener('load', function () { var d = document.documentElement,"
          " m = document.createElement('div'); m.style.cssText = 'position:fixed;left:0;bottom:0;width:8px;"
          "height:8px;background:' + (d.scrollWidth > d.clientWidth ? '#ff0000' : '#00ff00');"
          " document.body.appendChild(m); });</script>\n",
      TMode::Standards);
  return page;
}

// What a frame shows: whether the page scrolls sideways, the rectangle of
// the picture (all that is not background above the marker's rows) and
// the background pixels inside it.
struct TShown {
  bool Scrolls = true;
  int Left = 0, Top = 0, Width = 0, Height = 0;
  int Holes = 0;
};

TShown Measure(const peer::RgbImage& shot) {
  TShown shown;
  if (shot.Width == 0) return shown;
  const std::uint8_t* marker = &shot.Rgb[(std::size_t(shot.Height - 2) * std::size_t(shot.Width) + 2) * 3];
  shown.Scrolls = !(marker[0] == 0 && marker[1] == 255 && marker[2] == 0);
  int left = shot.Width, top = shot.Height, right = -1, bottom = -1;
  for (int y = 0; y < shot.Height - 12; ++y)
    for (int x = 0; x < shot.Width; ++x)
      if (!IsBackground(shot, x, y)) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
  if (right < 0) return shown;
  shown = {shown.Scrolls, left, top, right - left + 1, bottom - top + 1, 0};
  for (int y = top; y <= bottom; ++y)
    for (int x = left; x <= right; ++x) shown.Holes += IsBackground(shot, x, y);
  return shown;
}

// The newsletter: 640 x 480, smooth, cut into 4 columns and 8 rows. A
// skipped band across the page, a merged hero, cells merged over two rows
// beside each other so that one row of the table begins no cell of its
// own height, a skipped pair; every slice linked, with an ALT text.
constexpr int Width = 640, Height = 480;
const std::vector<int> Xs = {0, 97, 311, 500, 640}, Ys = {0, 40, 80, 92, 200, 280, 340, 400, 480};
const char* const Cells =
    "merge\t1\t3\t4\t1\nskip\t1\t3\nmerge\t1\t4\t4\t1\nmerge\t1\t5\t1\t2\nmerge\t3\t5\t2\t2\n"
    "merge\t2\t6\t1\t2\nmerge\t3\t7\t2\t1\nskip\t3\t7\n";

class MailInBrowser : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!browser::Available()) GTEST_SKIP() << "skipped: " << browser::kChromium << " not found";
    Dir = support::ScratchDir("mail-browser");
    Source = browser::WritePng(Dir / "news.png", browser::Smooth(Width, Height));
    std::ofstream(Dir / "news.cells", std::ios::binary) << Cells;
    std::ofstream tags(Dir / "news.tags", std::ios::binary);
    for (int row = 1; row <= 8; ++row)
      for (int column = 1; column <= 4; ++column)
        tags << column << "\t" << row << "\thttps://example.com/" << column << "/" << row << "\t\tPart " << column
             << "," << row << "\n";
  }

  // The newsletter exported in style with more arguments into name.html;
  // retina: from the newsletter drawn at twice its size.
  fs::path Export(const std::string& name, const std::string& style, std::vector<std::string> more,
                  bool retina = false) {
    const int scale = retina ? 2 : 1;
    std::string vert, horz;
    for (std::size_t i = 1; i + 1 < Xs.size(); ++i) vert += (i > 1 ? "," : "") + std::to_string(Xs[i] * scale);
    for (std::size_t i = 1; i + 1 < Ys.size(); ++i) horz += (i > 1 ? "," : "") + std::to_string(Ys[i] * scale);
    std::vector<std::string> args = {"--vert", vert, "--horz", horz, "--cells", (Dir / "news.cells").string(),
                                     "--style", style};
    if (retina) args.push_back("--retina");
    args.insert(args.end(), more.begin(), more.end());
    EXPECT_EQ(Slice(retina ? Twice() : Source, Dir / (name + ".html"), args), 0);
    return Dir / (name + ".html");
  }

  // The newsletter drawn at twice the page's size, for retina slices.
  fs::path Twice() {
    const fs::path twice = Dir / "twice.png";
    if (!fs::exists(twice)) {
      EXPECT_EQ(peer::Python("from PIL import Image\nImage.open('" + Source.string() + "').resize((" +
                             std::to_string(2 * Width) + ", " + std::to_string(2 * Height) +
                             "), Image.BICUBIC).save('" + twice.string() + "')\n"),
                0);
    }
    return twice;
  }

  // The design as the page shows it: skipped cells in their mean colour.
  fs::path Design() {
    peer::RgbImage design = peer::DecodeWithMagick(Source.string());
    const auto fill = [&](int x0, int y0, int x1, int y1) { browser::FillMean(design, x0, y0, x1, y1); };
    fill(0, 80, 640, 92);
    fill(311, 340, 640, 400);
    return browser::WritePng(Dir / "design.png", design);
  }

  fs::path Dir, Source;
};

// The picture's width in a window `width` wide: the design's at most, the
// 600 px box's at most in that wrapper.
int ShownWidth(TWrapper wrapper, int width) { return std::min(width, wrapper == TWrapper::Box600 ? 600 : Width); }

// The largest difference between the page's picture and the design as the
// browser scales it, away from the slices' edges (within two pixels of
// them the two are scaled from different pixels).
int DifferenceInside(const peer::RgbImage& page, const TShown& shown, const peer::RgbImage& design) {
  const auto nearEdge = [&](int at, const std::vector<int>& edges) {
    for (const int edge : edges)
      if (std::abs(at - edge * shown.Width / Width) <= 2) return true;
    return false;
  };
  int most = 0;
  for (int y = 0; y < std::min(shown.Height, design.Height); ++y)
    for (int x = 0; x < shown.Width; ++x) {
      if (nearEdge(x, Xs) || nearEdge(y, Ys)) continue;
      for (int k = 0; k < 3; ++k) {
        const int a = page.Rgb[(std::size_t(shown.Top + y) * std::size_t(page.Width) + std::size_t(shown.Left + x)) * 3 + std::size_t(k)];
        const int b = design.Rgb[(std::size_t(y) * std::size_t(design.Width) + std::size_t(x)) * 3 + std::size_t(k)];
        most = std::max(most, std::abs(a - b));
      }
    }
  return most;
}

// Each page in each wrapper at each width: its checks, and how many
// frames passed them all, printed per wrapper. With design, the pictures'
// content is compared as well: exact at full width in the body, within
// what scaling changes elsewhere.
void ExpectScalesEverywhere(const std::string& label, const fs::path& html, const fs::path& design = {}) {
  std::vector<browser::TFrame> frames;
  for (const int width : Widths)
    for (const TWrapper wrapper : Wrappers) frames.push_back({WrapperPage(html, wrapper), {width, Height + 24}});
  if (!design.empty())
    for (const int width : Widths)
      frames.push_back({browser::ImagePage(design, width, Height * width / Width), {width, Height + 24}});
  const std::vector<peer::RgbImage> shots = browser::RenderFrames(frames, 1, {}, 4);
  std::map<int, int> passed;
  for (std::size_t w = 0; w < Widths.size(); ++w)
    for (std::size_t i = 0; i < std::size(Wrappers); ++i) {
      const int width = Widths[w];
      const TWrapper wrapper = Wrappers[i];
      SCOPED_TRACE(label + " in the " + WrapperNames[i] + " at " + std::to_string(width) + " px");
      const peer::RgbImage& shot = shots[w * std::size(Wrappers) + i];
      const TShown shown = Measure(shot);
      if (wrapper == TWrapper::TableCell && (width == Width || width == 375) && label.find(' ') == std::string::npos)
        browser::SaveForDocs(shot, "mail-" + label + "-" + std::to_string(width) + ".png");
      bool ok = true;
      const auto check = [&](bool holds, const std::string& what) {
        if (!holds) ADD_FAILURE() << what;
        ok = ok && holds;
      };
      check(!shown.Scrolls, "the page scrolls sideways");
      check(shown.Width == ShownWidth(wrapper, width),
            "picture " + std::to_string(shown.Width) + " px wide at x " + std::to_string(shown.Left));
      check(shown.Left + shown.Width <= width, "picture cut off at the right");
      check(std::abs(shown.Height - double(shown.Width) * Height / Width) <= 1.0,
            "picture " + std::to_string(shown.Width) + " x " + std::to_string(shown.Height) + " out of shape");
      check(shown.Holes == 0, std::to_string(shown.Holes) + " background pixels between the slices");
      if (!design.empty()) {
        const std::size_t at = frames.size() - Widths.size() +
                               std::size_t(std::find(Widths.begin(), Widths.end(), shown.Width) - Widths.begin());
        if (at < frames.size()) {
          if (width == Width && wrapper == TWrapper::Body) {
            const int max = browser::Compare(browser::Crop(shot, 0, 0, Width, Height),
                                             browser::Crop(shots[at], 0, 0, Width, Height)).Max;
            check(max == 0, "at full width the page differs from the design by " + std::to_string(max));
          } else {
            const int difference = DifferenceInside(shot, shown, shots[at]);
            check(difference <= 8, "the picture differs from the scaled design by " + std::to_string(difference));
          }
        }
      }
      if (ok) ++passed[int(i)];
    }
  for (std::size_t i = 0; i < std::size(Wrappers); ++i)
    std::printf("%s in the %s: %d of %zu widths pass\n", label.c_str(), WrapperNames[i], passed[int(i)], Widths.size());
}

TEST_F(MailInBrowser, EmailScalesInEveryWrapperAndWidth) {
  ExpectScalesEverywhere("email", Export("mail", "email", {"--format", "png", "--tags", (Dir / "news.tags").string()}),
                         Design());
}

TEST_F(MailInBrowser, FluidScalesInEveryWrapperAndWidth) {
  ExpectScalesEverywhere("fluid", Export("fluid", "fluid", {"--format", "png"}), Design());
}

// Retina slices (the 1x file is the src) and the automatic format, whose
// slices are lossy: their shape and seams, not their pixels.
TEST_F(MailInBrowser, EmailOfRetinaAndAutomaticSlicesScalesToo) {
  ExpectScalesEverywhere("email retina", Export("retina", "email", {"--format", "png"}, true));
  ExpectScalesEverywhere("email auto", Export("auto", "email", {"--format", "auto"}));
}

// ---------------------------------------------------------------- images off

// Flat cells in colours that are hard to write on: dark ones, the greys
// where black and white stand out nearly alike, saturated ones, and a
// band 24 pixels high whose texts must be set small.
struct TAltCell {
  std::uint8_t R, G, B;
  const char* Alt;
};
constexpr int AltWidth = 640, AltHeight = 240;
const std::vector<int> AltXs = {0, 160, 320, 480, 640}, AltYs = {0, 120, 144, 240};
const TAltCell AltCells[3][4] = {
    {{16, 24, 64, "Spring news"}, {119, 119, 119, "Grey"}, {236, 236, 228, "Light"}, {204, 32, 32, "Sale"}},
    {{118, 118, 118, "Shop all"}, {255, 136, 0, "Orange"}, {51, 102, 204, "Blue"}, {0, 0, 0, "Unsubscribe"}},
    {{32, 140, 64, "Green"}, {250, 220, 40, "A longer text over several lines of its cell"}, {255, 255, 255, "White"},
     {96, 32, 128, "Purple"}}};

double Luminance(const std::uint8_t* p) {
  double sum = 0;
  const double weights[3] = {0.2126, 0.7152, 0.0722};
  for (int k = 0; k < 3; ++k) {
    const double c = p[k] / 255.0;
    sum += weights[k] * (c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
  }
  return sum;
}

double Contrast(const std::uint8_t* a, const std::uint8_t* b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// One cell of a frame with images blocked: its colour (the one most of its
// pixels have), how many pixels stand out from it at all, and the contrast
// of the one that stands out most, the text's colour. The broken-image
// sign at the cell's top left is left out.
struct TAltShown {
  std::uint8_t Colour[3] = {0, 0, 0};
  int Marks = 0;
  double Contrast = 1;
};

TAltShown MeasureCell(const peer::RgbImage& shot, int left, int top, int right, int bottom) {
  std::map<std::uint32_t, int> counts;
  const auto at = [&](int x, int y) { return &shot.Rgb[(std::size_t(y) * std::size_t(shot.Width) + std::size_t(x)) * 3]; };
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x) ++counts[std::uint32_t(at(x, y)[0]) << 16 | at(x, y)[1] << 8 | at(x, y)[2]];
  TAltShown shown;
  if (counts.empty()) return shown;
  const std::uint32_t most =
      std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) { return a.second < b.second; })->first;
  shown.Colour[0] = std::uint8_t(most >> 16), shown.Colour[1] = std::uint8_t(most >> 8), shown.Colour[2] = std::uint8_t(most);
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x) {
      if (x < left + 18 && y < top + 18) continue;
      const double contrast = Contrast(at(x, y), shown.Colour);
      shown.Marks += contrast >= 1.5;
      shown.Contrast = std::max(shown.Contrast, contrast);
    }
  return shown;
}

// The flat design exported in style, pages in every wrapper at widths,
// rendered with images blocked: outside the picture only the background,
// and in every cell its own colour with its ALT text on it at 4.5 : 1 or
// more. A style that does not shrink keeps the design's width in every wrapper.
void ExpectAltTextsReadable(const fs::path& dir, const std::string& style, const std::vector<int>& widths,
                            bool shrinks = true) {
  peer::RgbImage design{AltWidth, AltHeight, {}};
  for (int y = 0; y < AltHeight; ++y)
    for (int x = 0; x < AltWidth; ++x) {
      const int row = int(std::upper_bound(AltYs.begin(), AltYs.end(), y) - AltYs.begin()) - 1;
      const int column = int(std::upper_bound(AltXs.begin(), AltXs.end(), x) - AltXs.begin()) - 1;
      const TAltCell& cell = AltCells[row][column];
      design.Rgb.insert(design.Rgb.end(), {cell.R, cell.G, cell.B});
    }
  const fs::path source = browser::WritePng(dir / "flat.png", design);
  std::ofstream tags(dir / "flat.tags", std::ios::binary);
  for (int row = 0; row < 3; ++row)
    for (int column = 0; column < 4; ++column)
      tags << column + 1 << "\t" << row + 1 << "\t\t\t" << AltCells[row][column].Alt << "\n";
  tags.close();
  const fs::path html = dir / ("flat-" + style + ".html");
  ASSERT_EQ(Slice(source, html, {"--vert", "160,320,480", "--horz", "120,144", "--style", style, "--format", "png",
                                  "--tags", (dir / "flat.tags").string()}),
            0);
  std::vector<browser::TFrame> frames;
  for (const int width : widths)
    for (const TWrapper wrapper : Wrappers) frames.push_back({WrapperPage(html, wrapper), {width, AltHeight + 24}});
  const std::vector<peer::RgbImage> shots =
      browser::RenderFrames(frames, 1, {"--blink-settings=imagesEnabled=false"}, 4);
  for (std::size_t f = 0; f < frames.size(); ++f) {
    const int width = frames[f].View.Width;
    const std::size_t wrapper = f % std::size(Wrappers);
    SCOPED_TRACE(style + " with images off in the " + WrapperNames[wrapper] + " at " + std::to_string(width) + " px");
    const TShown shown = Measure(shots[f]);
    if (Wrappers[wrapper] == TWrapper::TableCell && width == 375 && style == "email")
      browser::SaveForDocs(shots[f], "mail-" + style + "-images-off-375.png");
    ASSERT_EQ(shown.Width, shrinks ? ShownWidth(Wrappers[wrapper], width) : AltWidth);
    EXPECT_LE(std::abs(shown.Height - double(shown.Width) * AltHeight / AltWidth), 1.0) << shown.Height;
    EXPECT_EQ(shown.Holes, 0);
    const auto scaled = [&](int at, int length) { return at * length / AltWidth; };
    for (int row = 0; row < 3; ++row)
      for (int column = 0; column < 4; ++column) {
        const TAltCell& cell = AltCells[row][column];
        // A pixel in from the edges, where the browser may share a pixel between two cells.
        const TAltShown alt = MeasureCell(shots[f], shown.Left + scaled(AltXs[column], shown.Width) + 1,
                                          shown.Top + scaled(AltYs[row], shown.Width) + 1,
                                          shown.Left + scaled(AltXs[column + 1], shown.Width) - 1,
                                          shown.Top + scaled(AltYs[row + 1], shown.Width) - 1);
        SCOPED_TRACE(std::string("the cell of \"") + cell.Alt + "\"");
        EXPECT_LE(std::abs(alt.Colour[0] - cell.R) + std::abs(alt.Colour[1] - cell.G) + std::abs(alt.Colour[2] - cell.B), 3);
        EXPECT_GE(alt.Marks, 8) << "no ALT text shown";
        EXPECT_GE(alt.Contrast, 4.5);
      }
  }
}

TEST_F(MailInBrowser, AltTextsAreReadableOnTheirCellsWithImagesOff) {
  ExpectAltTextsReadable(Dir, "email", Widths);
  ExpectAltTextsReadable(Dir, "fluid", Widths);
  // html5 keeps the design's width: in a window a little wider only.
  ExpectAltTextsReadable(Dir, "html5", {AltWidth + 40}, false);
}

}  // namespace
