// Exported pages in a real browser: tessel-cli slices a picture, headless
// Chromium renders the page, and the screenshot is compared with the same
// browser's rendering of the source. Each page style in a page without a
// doctype (quirks mode) and one with <!DOCTYPE html> (standards mode),
// with and without links and with a page name beyond ASCII; lossless and
// JPEG slices; WebP, 256-colour PNG and automatic pages; a design with
// transparency on the page; the fluid style at
// three widths; retina slices on screens of one and two device pixels per
// CSS pixel; the colours of an untagged and of a wide-gamut source; merged
// cells and cells without an image. Every export runs with the default
// settings.
//
// With TESSEL_SCREENSHOTS set to a directory, the tests leave there the
// screenshot of each style that docs/page-styles.md shows.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/browser.h"
#include "support/icc_peer.h"
#include "support/peer.h"
#include "support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;
using browser::TMode;

using browser::IsBackground;
using browser::SaveForDocs;
using browser::Slice;
using browser::Smooth;
using browser::WritePng;

// The tags of every cell of a columns x rows grid: a link, a target and a
// non-ASCII ALT text.
fs::path LinkEverySlice(const fs::path& dir, int columns, int rows) {
  const fs::path path = dir / "tags.txt";
  std::ofstream out(path, std::ios::binary);
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= columns; ++c)
      out << c << "\t" << r << "\thttps://example.com/p?c=" << c << "&r=" << r
          << "\t_blank\t\xC3\x84rger \xE2\x80\x9E" << c << "," << r << "\xE2\x80\x9C\n";
  return path;
}

// Pixels of the background inside the width x height rectangle at the top left.
int BackgroundInside(const peer::RgbImage& shot, int width, int height) {
  int count = 0;
  for (int y = 0; y < std::min(height, shot.Height); ++y)
    for (int x = 0; x < std::min(width, shot.Width); ++x) count += IsBackground(shot, x, y);
  return count;
}

// The strips of rows all background between the top and the last row with
// a picture in it: how many, and how many rows they have together.
struct TGaps {
  int Strips = 0;
  int Rows = 0;
};
TGaps GapsBetweenRows(const peer::RgbImage& shot, int width) {
  int last = -1;
  std::vector<bool> empty(std::size_t(shot.Height), true);
  for (int y = 0; y < shot.Height; ++y)
    for (int x = 0; x < width; ++x)
      if (!IsBackground(shot, x, y)) {
        empty[std::size_t(y)] = false;
        last = y;
        break;
      }
  TGaps gaps;
  for (int y = 0; y < last; ++y) {
    gaps.Rows += empty[std::size_t(y)];
    gaps.Strips += empty[std::size_t(y)] && (y == 0 || !empty[std::size_t(y - 1)]);
  }
  return gaps;
}

// The program's sample picture: a web page design, 400 x 240, no magenta.
const fs::path Sample = fs::path(TESSEL_DATA_DIR) / "sample.png";
constexpr int SampleWidth = 400, SampleHeight = 240;
// Four columns and rows, lines where the design has edges and where it has none.
const std::vector<std::string> SampleGrid = {"--vert", "56,196,280", "--horz", "50,62,140"};

class PageInBrowser : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!browser::Available()) GTEST_SKIP() << "skipped: " << browser::kChromium << " not found";
    Dir = support::ScratchDir("browser");
  }
  fs::path Dir;
};

// ---------------------------------------------------------------- styles

class StyleInBrowser : public PageInBrowser, public ::testing::WithParamInterface<const char*> {};

// The page is exact wherever the style belongs: all but classic in both
// modes. Classic is exact in quirks mode only; in standards mode every
// image sits on a text baseline and the background shows under every row:
// what html5 is for.
TEST_P(StyleInBrowser, PutsThePictureBackTogether) {
  const std::string style = GetParam();
  const fs::path plain = Dir / "index.html";
  const fs::path linked = Dir / "Gr\xC3\xB6\xC3\x9F" "e & Co.page.html";  // slices "Größe & Co_1_1.png"...
  std::vector<std::string> args = SampleGrid;
  args.insert(args.end(), {"--format", "png", "--style", style});
  ASSERT_EQ(Slice(Sample, plain, args), 0);
  args.insert(args.end(), {"--tags", LinkEverySlice(Dir, 4, 4).string()});
  ASSERT_EQ(Slice(Sample, linked, args), 0);
  ASSERT_TRUE(fs::exists(Dir / "Gr\xC3\xB6\xC3\x9F" "e & Co_4_4.png"));

  const browser::TView view = browser::ViewAround(SampleWidth, SampleHeight);
  std::vector<browser::TFrame> frames{{browser::ImagePage(Sample, SampleWidth, SampleHeight), view}};
  for (const TMode mode : {TMode::Quirks, TMode::Standards})
    for (const fs::path& html : {plain, linked}) frames.push_back({browser::FragmentPage(html, mode), view});
  const std::vector<peer::RgbImage> shots = browser::RenderFrames(frames);
  const peer::RgbImage& source = shots[0];
  ASSERT_EQ(source.Width, view.Width);
  ASSERT_EQ(BackgroundInside(source, SampleWidth, SampleHeight), 0);
  for (std::size_t i = 1; i < shots.size(); ++i) {
    const bool standards = i > 2;
    SCOPED_TRACE(frames[i].Page.filename().string());
    const browser::TDifference d = browser::Compare(shots[i], source);
    if (style == "classic" && standards) {
      // 4 rows of background under each row of images on a text baseline
      // (more under a row lower than a line of text).
      const TGaps gaps = GapsBetweenRows(shots[i], SampleWidth);
      EXPECT_EQ(gaps.Strips, 3) << "between the 4 rows";
      EXPECT_GE(gaps.Rows, 12);
      EXPECT_GT(d.Max, 0);
      std::printf("classic in standards mode: %d rows of background between 4 rows of slices\n", gaps.Rows);
    } else {
      EXPECT_EQ(d.Max, 0) << d.Describe();
    }
  }
  // Email and fluid show best without images and at half width (below).
  if (style == "classic" || style == "html5") SaveForDocs(shots[3], "style-" + style + ".png");
}

INSTANTIATE_TEST_SUITE_P(EachStyle, StyleInBrowser, ::testing::Values("classic", "html5", "email", "fluid"),
                         [](const auto& info) { return std::string(info.param); });

// With images blocked, as many mail readers start, each cell of an email
// page shows its slice's average colour.
TEST_F(PageInBrowser, EmailCellsShowTheirAverageColourWithoutImages) {
  const fs::path html = Dir / "mail.html";
  std::vector<std::string> args = SampleGrid;
  args.insert(args.end(), {"--format", "png", "--style", "email"});
  ASSERT_EQ(Slice(Sample, html, args), 0);
  const peer::RgbImage shot = browser::RenderFrames(
      {{browser::FragmentPage(html, TMode::Standards), browser::ViewAround(SampleWidth, SampleHeight)}}, 1,
      {"--blink-settings=imagesEnabled=false"})[0];
  ASSERT_EQ(shot.Width, SampleWidth + 24);
  SaveForDocs(shot, "style-email.png");
  const peer::RgbImage pixels = peer::DecodeWithMagick(Sample.string());
  const std::vector<int> xs = {0, 56, 196, 280, 400}, ys = {0, 50, 62, 140, 240};
  for (std::size_t r = 0; r + 1 < ys.size(); ++r)
    for (std::size_t c = 0; c + 1 < xs.size(); ++c) {
      std::int64_t sum[3] = {0, 0, 0};
      const std::int64_t count = std::int64_t(xs[c + 1] - xs[c]) * (ys[r + 1] - ys[r]);
      for (int y = ys[r]; y < ys[r + 1]; ++y)
        for (int x = xs[c]; x < xs[c + 1]; ++x)
          for (int k = 0; k < 3; ++k) sum[k] += pixels.Rgb[(std::size_t(y) * SampleWidth + std::size_t(x)) * 3 + std::size_t(k)];
      // The browser draws a frame and an icon where each image would be:
      // the colour shows in the lower right of the cell.
      for (int y = (ys[r] + ys[r + 1]) / 2; y < ys[r + 1] - 2; ++y)
        for (int x = (xs[c] + xs[c + 1]) / 2; x < xs[c + 1] - 2; ++x)
          for (int k = 0; k < 3; ++k) {
            const int expected = int((sum[k] + count / 2) / count);
            const int got = shot.Rgb[(std::size_t(y) * std::size_t(shot.Width) + std::size_t(x)) * 3 + std::size_t(k)];
            ASSERT_EQ(got, expected) << "cell " << c + 1 << "," << r + 1 << " at " << x << "," << y;
          }
    }
}

// ---------------------------------------------------------------- cells

class CellsInBrowser : public PageInBrowser, public ::testing::WithParamInterface<const char*> {};

// Merged cells over rows and columns, a grid column and a grid row that
// begin no cell (the table has neither), and two cells without an image,
// one of them merged: the page is the design with those two filled with
// their mean colour, exactly, in every mode the style is meant for.
TEST_P(CellsInBrowser, MergedAndSkippedCellsKeepThePicture) {
  const std::string style = GetParam();
  const fs::path cells = Dir / "cut.cells";
  std::ofstream(cells, std::ios::binary) << "merge\t3\t1\t2\t1\nmerge\t2\t2\t3\t2\nmerge\t1\t2\t1\t2\n"
                                            "merge\t1\t4\t4\t1\nskip\t2\t1\nskip\t1\t2\n";
  std::vector<std::string> args = SampleGrid;
  args.insert(args.end(), {"--format", "png", "--style", style, "--cells", cells.string()});
  ASSERT_EQ(Slice(Sample, Dir / "cells.html", args), 0);
  ASSERT_TRUE(fs::exists(Dir / "cells_2_2.png"));
  ASSERT_FALSE(fs::exists(Dir / "cells_2_1.png"));

  // The design with each skipped rectangle in its mean colour, rounded.
  peer::RgbImage expected = peer::DecodeWithMagick(Sample.string());
  const auto fill = [&](int x0, int y0, int x1, int y1) { browser::FillMean(expected, x0, y0, x1, y1); };
  fill(56, 0, 196, 50);
  fill(0, 50, 56, 140);
  const fs::path design = WritePng(Dir / "expected.png", expected);

  const browser::TView view = browser::ViewAround(SampleWidth, SampleHeight);
  std::vector<browser::TFrame> frames{{browser::ImagePage(design, SampleWidth, SampleHeight), view}};
  std::vector<TMode> modes{TMode::Quirks};
  // Classic images sit on a text baseline in standards mode (above).
  if (style != "classic") modes.push_back(TMode::Standards);
  for (const TMode mode : modes) frames.push_back({browser::FragmentPage(Dir / "cells.html", mode), view});
  const std::vector<peer::RgbImage> shots = browser::RenderFrames(frames);
  for (std::size_t i = 1; i < shots.size(); ++i) {
    SCOPED_TRACE(browser::ModeName(modes[i - 1]));
    const browser::TDifference d = browser::Compare(shots[i], shots[0]);
    EXPECT_EQ(d.Max, 0) << d.Describe();
  }
}

INSTANTIATE_TEST_SUITE_P(EachStyle, CellsInBrowser, ::testing::Values("classic", "html5", "email", "fluid"),
                         [](const auto& info) { return std::string(info.param); });

// ---------------------------------------------------------------- formats

// The slices BASE_C_R.EXT of a cut at xs and ys (edges included) put
// back together as a peer (ImageMagick) decodes them; first names the
// base and the extension.
peer::RgbImage Assembled(const fs::path& first, const std::vector<int>& xs, const std::vector<int>& ys) {
  peer::RgbImage whole{xs.back(), ys.back(), std::vector<std::uint8_t>(std::size_t(xs.back()) * std::size_t(ys.back()) * 3)};
  for (std::size_t r = 0; r + 1 < ys.size(); ++r)
    for (std::size_t c = 0; c + 1 < xs.size(); ++c) {
      const fs::path path = first.parent_path() / (first.stem().string() + "_" + std::to_string(c + 1) + "_" +
                                                   std::to_string(r + 1) + first.extension().string());
      const peer::RgbImage slice = peer::DecodeWithMagick(path.string());
      if (slice.Width != xs[c + 1] - xs[c] || slice.Height != ys[r + 1] - ys[r]) {
        ADD_FAILURE() << path << " is " << slice.Width << " x " << slice.Height;
        return {};
      }
      for (int y = 0; y < slice.Height; ++y)
        std::copy_n(&slice.Rgb[std::size_t(y) * std::size_t(slice.Width) * 3], std::size_t(slice.Width) * 3,
                    &whole.Rgb[(std::size_t(ys[r] + y) * std::size_t(whole.Width) + std::size_t(xs[c])) * 3]);
    }
  return whole;
}

// BMP slices are exact; JPEG slices differ from the source by what the
// JPEG coding itself loses, as a peer decoder shows it, and no more.
TEST_F(PageInBrowser, LosslessSlicesExactJpegWithinItsCodingError) {
  std::vector<std::string> args = SampleGrid;
  args.insert(args.end(), {"--style", "html5"});
  std::vector<std::string> bmp = args, jpeg = args;
  bmp.insert(bmp.end(), {"--format", "bmp"});
  jpeg.insert(jpeg.end(), {"--format", "jpg", "--set", "JpegQuality=90"});
  ASSERT_EQ(Slice(Sample, Dir / "bmp.html", bmp), 0);
  ASSERT_EQ(Slice(Sample, Dir / "jpeg.html", jpeg), 0);

  const browser::TView view = browser::ViewAround(SampleWidth, SampleHeight);
  const std::vector<peer::RgbImage> shots =
      browser::RenderFrames({{browser::ImagePage(Sample, SampleWidth, SampleHeight), view},
                             {browser::FragmentPage(Dir / "bmp.html", TMode::Standards), view},
                             {browser::FragmentPage(Dir / "jpeg.html", TMode::Standards), view}});
  const browser::TDifference lossless = browser::Compare(shots[1], shots[0]);
  EXPECT_EQ(lossless.Max, 0) << lossless.Describe();

  // The coding error: the peer-decoded slices against the source's pixels.
  const int coding = browser::Compare(Assembled(Dir / "jpeg.jpg", {0, 56, 196, 280, 400}, {0, 50, 62, 140, 240}),
                                      peer::DecodeWithMagick(Sample.string()))
                         .Max;
  EXPECT_GT(coding, 0);
  const browser::TDifference lossy = browser::Compare(shots[2], shots[0]);
  // Decoders round their inverse transforms a little differently.
  EXPECT_LE(lossy.Max, coding + 4) << lossy.Describe();
  EXPECT_GT(lossy.Max, 0);
}

// ---------------------------------------------------------------- transparency

// A design with transparency (soft edges, a hole, a few alphas so that a
// 256-colour palette holds it) on the magenta page: PNG, lossless WebP and
// 256-colour PNG slices let the page through as the source does: PNG
// exactly, WebP within the level Chromium's premultiplied decoding of WebP
// rounds by; BMP slices, laid on PageColor set to the page's colour, look
// the same within the rounding of the blend.
TEST_F(PageInBrowser, TransparentDesignsShowThePageThrough) {
  const int width = 120, height = 90;
  const fs::path source = Dir / "design.png";
  ASSERT_EQ(peer::Python("from PIL import Image\n"
                         "im = Image.new('RGBA', (120, 90), (0, 0, 0, 0))\n"
                         "for y in range(90):\n"
                         "    for x in range(120):\n"
                         "        d = abs(x - 60) + abs(y - 45)\n"
                         "        a = 255 if d < 30 else (0 if d > 45 or d < 8 else 255 - (d - 30) * 16)\n"
                         "        if d < 8: a = 0\n"
                         "        im.putpixel((x, y), ((x // 30) * 80, 40 + (y // 30) * 70, 200, max(0, a)))\n"
                         "im.save('" + source.string() + "')\n"),
            0);
  const std::vector<std::string> grid = {"--vert", "40,75", "--horz", "30", "--style", "html5"};
  const char* const formats[][3] = {{"png", "png", ""}, {"webp", "webp", "WebpLossless=true"},
                                    {"png8", "png8", ""}, {"bmp", "bmp", "PageColor=#FF00FF"}};
  std::vector<browser::TFrame> frames = {{browser::ImagePage(source, width, height), browser::ViewAround(width, height)}};
  for (const auto& [name, format, setting] : formats) {
    std::vector<std::string> args = grid;
    args.insert(args.end(), {"--format", format});
    if (*setting) args.insert(args.end(), {"--set", setting});
    ASSERT_EQ(Slice(source, Dir / (std::string(name) + ".html"), args), 0) << name;
    frames.push_back({browser::FragmentPage(Dir / (std::string(name) + ".html"), TMode::Standards),
                      browser::ViewAround(width, height)});
  }
  const std::vector<peer::RgbImage> shots = browser::RenderFrames(frames);
  ASSERT_EQ(shots.size(), frames.size());
  EXPECT_GT(BackgroundInside(shots[0], width, height), 1000);  // the source lets the page through
  for (std::size_t i = 0; i < std::size(formats); ++i) {
    const browser::TDifference d = browser::Compare(shots[i + 1], shots[0]);
    const std::string name = formats[i][0];
    EXPECT_LE(d.Max, name == "bmp" || name == "webp" ? 1 : 0) << name << ": " << d.Describe();
  }
}

// ---------------------------------------------------------------- colours

// Every value of red and of green, blue between them; smooth, so that JPEG
// slices stay near it; never magenta.
peer::RgbImage Ramps() {
  peer::RgbImage img{256, 256, {}};
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x)
      for (const int v : {x, y, (255 - x + y) / 2}) img.Rgb.push_back(std::uint8_t(v));
  return img;
}

// Chromium manages the colours of images: it shows a source with a
// profile converted to the screen's sRGB, and so must the page show the
// slices, whether converted by us (the defaults) or carrying the profile
// for the browser to convert (ColorProfile=keep). The PNG slices of an
// untagged source carry gAMA 1/2.2 alone, which Chromium takes for sRGB
// as it takes no chunk at all: exact down to the darkest values, where a
// pure 2.2 curve (as Chromium applies with cHRM beside gAMA) would differ
// by up to 9 levels. JPEG slices differ by their coding error, as a peer
// decodes them and the profile, if kept, converts it, and a little more.
TEST_F(PageInBrowser, SlicesShowTheColoursOfTheirSource) {
  const std::vector<int> xs = {0, 100, 181, 256}, ys = {0, 77, 200, 256};
  const browser::TView view = browser::ViewAround(256, 256);
  for (const bool tagged : {false, true}) {
    SCOPED_TRACE(tagged ? "Adobe RGB source" : "untagged source");
    const fs::path dir = Dir / (tagged ? "tagged" : "untagged"), source = dir / "source.png";
    fs::create_directories(dir);
    const std::vector<std::uint8_t> profile = tagged ? icc::AdobeRgb() : std::vector<std::uint8_t>{};
    if (tagged)
      icc::SaveWithPillow(dir.string(), Ramps(), profile, source.string());
    else
      WritePng(source, Ramps());
    std::vector<browser::TFrame> frames{{browser::ImagePage(source, 256, 256), view}};
    // An untagged source has no profile to keep.
    const std::vector<std::string> modes = tagged ? std::vector<std::string>{"convert", "keep"}
                                                  : std::vector<std::string>{"convert"};
    for (const std::string& mode : modes) {
      for (const char* format : {"png", "jpg"}) {
        const fs::path html = dir / (mode + format + ".html");
        ASSERT_EQ(Slice(source, html,
                        {"--vert", "100,181", "--horz", "77,200", "--style", "html5", "--format", format, "--set",
                         "JpegQuality=90", "--set", "ColorProfile=" + mode}),
                  0);
        frames.push_back({browser::FragmentPage(html, TMode::Standards), view});
      }
    }
    const std::vector<peer::RgbImage> shots = browser::RenderFrames(frames);
    for (std::size_t i = 1; i < frames.size(); i += 2) {
      const bool kept = i > 1;
      SCOPED_TRACE(kept ? "profile kept" : "converted");
      const browser::TDifference png = browser::Compare(shots[i], shots[0]);
      EXPECT_LE(png.Max, tagged && !kept ? 3 : 0) << png.Describe();
      auto shown = [&](const peer::RgbImage& pixels) { return kept ? icc::ToSRGB(profile, pixels) : pixels; };
      const std::string slices = (dir / modes[i / 2]).string();
      const int coding = browser::Compare(shown(Assembled(slices + "jpg.jpg", xs, ys)),
                                          shown(Assembled(slices + "png.png", xs, ys)))
                             .Max;
      const browser::TDifference jpeg = browser::Compare(shots[i + 1], shots[0]);
      EXPECT_LE(jpeg.Max, coding + 4) << jpeg.Describe() << ", coding error " << coding;
      std::printf("%s, %s: PNG slices %d, JPEG slices %d (coding error %d)\n", tagged ? "Adobe RGB" : "untagged",
                  kept ? "kept" : "converted", png.Max, jpeg.Max, coding);
    }
  }
}

// PNG files that state a gamma (gAMA) and nothing more, in every bit depth
// and colour type, as a conformance suite has them: the browser takes a
// gamma within 5 % of 1/2.2 for sRGB and maps any other to linear light
// and on by sRGB's curve. PNG slices (grey ones of a grey source) show as
// the source does, within the browser's own rounding.
TEST_F(PageInBrowser, StatedGammaShowsAsTheBrowserShowsTheSource) {
  const std::string make = R"(import struct, sys, zlib
def chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff)
def png(path, gama, depth, kind):
    size, samples = 32, {0: 1, 2: 3, 3: 1}[kind]
    top = (1 << depth) - 1
    rows = b''
    for y in range(size):
        values = [((x * 7 + y * 3) * (c + 1) + (x * y) % 5) % (top + 1) if depth < 8 or kind == 3 else
                  ((x + size * y) * top // (size * size - 1) + c * top // 5) % (top + 1)
                  for x in range(size) for c in range(samples)]
        if depth == 16:
            line = b''.join(struct.pack('>H', v) for v in values)
        elif depth == 8:
            line = bytes(values)
        else:
            bits = ''.join(format(v, '0%db' % depth) for v in values)
            bits += '0' * (-len(bits) % 8)
            line = bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))
        rows += b'\0' + line
    data = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, depth, kind, 0, 0, 0))
    data += chunk(b'gAMA', struct.pack('>I', round(gama * 100000)))
    if kind == 3:
        data += chunk(b'PLTE', bytes((i * 37 + c * 90) % 256 for i in range(1 << depth) for c in range(3)))
    open(path, 'wb').write(data + chunk(b'IDAT', zlib.compress(rows)) + chunk(b'IEND', b''))
for name in sys.argv[2:]:
    gama, depth, kind = name.split('_')
    png(sys.argv[1] + '/' + name + '.png', float(gama), int(depth), int(kind))
)";
  // Gamma, bit depth, colour type (0 grey, 2 RGB, 3 palette).
  std::vector<std::string> names;
  for (const char* gama : {"0.35", "0.45", "0.55", "0.7", "1.0", "2.5"})
    for (const char* form : {"16_0", "8_2", "4_3"}) names.push_back(std::string(gama) + "_" + form);
  for (const char* form : {"1_0", "2_0", "4_0", "8_0", "16_2", "1_3", "2_3", "8_3"}) names.push_back(std::string("1.0_") + form);
  std::string args;
  for (const std::string& name : names) args += " " + name;
  const std::string script = (Dir / "make.py").string();
  std::ofstream(script) << make;
  ASSERT_EQ(peer::Run(std::string(peer::kPython) + " '" + script + "' '" + Dir.string() + "'" + args), 0);
  const browser::TView view = browser::ViewAround(32, 32);
  std::vector<browser::TFrame> frames;
  for (const std::string& name : names) {
    std::string page = name;  // slices are named after the page up to its first dot
    std::replace(page.begin(), page.end(), '.', 'p');
    const fs::path source = Dir / (name + ".png"), html = Dir / (page + ".html");
    ASSERT_EQ(Slice(source, html, {"--vert", "13", "--horz", "20", "--style", "html5", "--format", "png"}), 0) << name;
    frames.push_back({browser::ImagePage(source, 32, 32), view});
    frames.push_back({browser::FragmentPage(html, TMode::Standards), view});
  }
  const std::vector<peer::RgbImage> shots = browser::RenderFrames(frames);
  for (std::size_t i = 0; i < names.size(); ++i) {
    const browser::TDifference d = browser::Compare(shots[2 * i + 1], shots[2 * i]);
    EXPECT_LE(d.Max, 1) << names[i] << ": " << d.Describe();
  }
}

// The newer formats as the browser shows them, each page against its own
// slices decoded by a peer and put together (shown by the same browser as
// one picture): lossless WebP and 256-colour PNG pages exact, lossy WebP
// and automatic pages within what two decoders differ by. Lossless WebP
// equals the source itself.
TEST_F(PageInBrowser, WebpPng8AndAutomaticPagesShowTheirSlicesAsDecoded) {
  const std::vector<int> xs = {0, 56, 196, 280, 400}, ys = {0, 50, 62, 140, 240};
  const std::vector<std::vector<std::string>> formats = {
      {"webp", "--set", "WebpLossless=true"}, {"png8"}, {"webp"}, {"auto"}};
  const browser::TView view = browser::ViewAround(SampleWidth, SampleHeight);
  std::vector<browser::TFrame> frames{{browser::ImagePage(Sample, SampleWidth, SampleHeight), view}};
  for (std::size_t f = 0; f < formats.size(); ++f) {
    const std::string base = "p" + std::to_string(f);
    std::vector<std::string> args = SampleGrid;
    args.insert(args.end(), {"--style", "html5", "--format"});
    args.insert(args.end(), formats[f].begin(), formats[f].end());
    ASSERT_EQ(Slice(Sample, Dir / (base + ".html"), args), 0);
    peer::RgbImage whole{SampleWidth, SampleHeight, std::vector<std::uint8_t>(SampleWidth * SampleHeight * 3)};
    for (std::size_t r = 0; r + 1 < ys.size(); ++r)
      for (std::size_t c = 0; c + 1 < xs.size(); ++c) {
        const std::string stem = base + "_" + std::to_string(c + 1) + "_" + std::to_string(r + 1);
        fs::path file;
        for (const char* ext : {".png", ".webp", ".jpg"})
          if (fs::exists(Dir / (stem + ext))) file = Dir / (stem + ext);
        ASSERT_FALSE(file.empty()) << stem;
        const peer::RgbImage slice = peer::DecodeWithMagick(file.string());
        ASSERT_EQ(slice.Width, xs[c + 1] - xs[c]) << file;
        for (int y = 0; y < slice.Height; ++y)
          std::copy_n(&slice.Rgb[std::size_t(y) * std::size_t(slice.Width) * 3], std::size_t(slice.Width) * 3,
                      &whole.Rgb[(std::size_t(ys[r] + y) * SampleWidth + std::size_t(xs[c])) * 3]);
      }
    const fs::path decoded = WritePng(Dir / (base + "_decoded.png"), whole);
    frames.push_back({browser::FragmentPage(Dir / (base + ".html"), TMode::Standards), view});
    frames.push_back({browser::ImagePage(decoded, SampleWidth, SampleHeight), view});
  }
  const std::vector<peer::RgbImage> shots = browser::RenderFrames(frames);
  const int most[] = {0, 0, 4, 4};
  for (std::size_t f = 0; f < formats.size(); ++f) {
    const browser::TDifference d = browser::Compare(shots[1 + 2 * f], shots[2 + 2 * f]);
    EXPECT_LE(d.Max, most[f]) << formats[f][0] << ": " << d.Describe();
  }
  const browser::TDifference lossless = browser::Compare(shots[1], shots[0]);
  EXPECT_EQ(lossless.Max, 0) << lossless.Describe();
  EXPECT_GT(browser::Compare(shots[5], shots[0]).Max, 0);  // lossy WebP is lossy
}

// ---------------------------------------------------------------- fluid

// The fluid table at 100 %, 75 % and 50 % of the picture's width, cut at
// lines that give the columns shares of many decimals: no background
// between the slices, none of the picture missing, and the picture as the
// browser scales the source, within what scaling a slice alone changes at
// its edges.
TEST_F(PageInBrowser, FluidScalesDownWithoutGaps) {
  const int width = 640, height = 480;
  const fs::path source = WritePng(Dir / "smooth.png", Smooth(width, height));
  ASSERT_EQ(Slice(source, Dir / "fluid.html",
                  {"--vert", "97,311,500", "--horz", "61,250,371", "--format", "png", "--style", "fluid"}),
            0);
  // The sample design too, at half its width, for the docs.
  std::vector<std::string> args = SampleGrid;
  args.insert(args.end(), {"--format", "png", "--style", "fluid"});
  ASSERT_EQ(Slice(Sample, Dir / "sample.html", args), 0);
  const browser::TView view = browser::ViewAround(width, height);
  const std::vector<int> widths = {640, 480, 320};
  std::vector<browser::TFrame> frames;
  for (const int shown : widths) {
    frames.push_back({browser::FragmentPage(Dir / "fluid.html", TMode::Standards, shown), view});
    frames.push_back({browser::ImagePage(source, shown, height * shown / width), view});
  }
  frames.push_back({browser::FragmentPage(Dir / "sample.html", TMode::Standards, SampleWidth / 2),
                    browser::ViewAround(SampleWidth / 2, SampleHeight / 2)});
  const std::vector<peer::RgbImage> shots = browser::RenderFrames(frames);
  EXPECT_EQ(BackgroundInside(shots.back(), SampleWidth / 2, SampleHeight / 2), 0);
  EXPECT_TRUE(IsBackground(shots.back(), SampleWidth / 2, SampleHeight / 4));
  EXPECT_TRUE(IsBackground(shots.back(), SampleWidth / 4, SampleHeight / 2));
  SaveForDocs(shots.back(), "style-fluid.png");
  for (std::size_t i = 0; i < widths.size(); ++i) {
    const int shown = widths[i], shownHeight = height * shown / width;
    SCOPED_TRACE("at " + std::to_string(shown) + " pixels");
    const peer::RgbImage& shot = shots[2 * i];
    ASSERT_EQ(shot.Width, view.Width);
    EXPECT_EQ(BackgroundInside(shot, shown, shownHeight), 0);
    // Nothing beyond: the row under the picture and the column right of it are background.
    EXPECT_TRUE(IsBackground(shot, shown, shownHeight / 2));
    EXPECT_TRUE(IsBackground(shot, shown / 2, shownHeight));
    const browser::TDifference d = browser::Compare(shot, shots[2 * i + 1]);
    EXPECT_LE(d.Max, shown == width ? 0 : 8) << d.Describe();
  }
}

// ---------------------------------------------------------------- retina

// A design at twice the page's size: on a screen of two device pixels per
// CSS pixel the page shows the full-size slices pixel for pixel, on one of
// one the half-size slices, which are the design scaled down by 2 x 2
// means (a peer's box filter; ours truncates where it rounds).
TEST_F(PageInBrowser, RetinaSlicesAtOneAndTwoDevicePixelsPerPixel) {
  const int width = 800, height = 480;
  const fs::path twice = Dir / "twice.png";
  ASSERT_EQ(peer::Python("from PIL import Image\nImage.open('" + Sample.string() + "').resize((" +
                         std::to_string(width) + ", " + std::to_string(height) +
                         "), Image.BICUBIC).save('" + twice.string() + "')\n"),
            0);
  const fs::path half = Dir / "half.png";
  ASSERT_EQ(peer::Python("from PIL import Image\nImage.open('" + twice.string() + "').reduce(2).save('" +
                         half.string() + "')\n"),
            0);
  ASSERT_EQ(Slice(twice, Dir / "retina.html",
                  {"--vert", "112,392,560", "--horz", "100,124,280", "--format", "png", "--style", "html5",
                   "--retina"}),
            0);
  ASSERT_TRUE(fs::exists(Dir / "retina_4_4@2x.png"));

  const int pageWidth = width / 2, pageHeight = height / 2;
  const fs::path page = browser::FragmentPage(Dir / "retina.html", TMode::Standards);
  for (const int scale : {1, 2}) {
    SCOPED_TRACE("at device scale " + std::to_string(scale));
    const browser::TView view = browser::ViewAround(pageWidth, pageHeight, scale);
    const std::vector<peer::RgbImage> shots = browser::RenderFrames(
        {{page, view}, {browser::ImagePage(scale == 2 ? twice : half, pageWidth, pageHeight), view}}, scale);
    ASSERT_EQ(shots[0].Width, view.Width * scale);
    const browser::TDifference d = browser::Compare(shots[0], shots[1]);
    EXPECT_LE(d.Max, scale == 2 ? 0 : 1) << d.Describe();
  }
}

}  // namespace
