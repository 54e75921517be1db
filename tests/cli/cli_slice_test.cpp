// tessel-cli slice end to end on images written by a peer, slices decoded by a peer.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "support/app_test_util.h"
#include "support/file_contents.h"
#include "support/peer.h"

namespace {

namespace fs = std::filesystem;

struct TRunResult {
  int Status = -1;
  std::string Out, Err;
};

using support::ReadText;

double MeanAbsDifference(const peer::RgbImage& a, const peer::RgbImage& b) {
  if (a.Rgb.size() != b.Rgb.size() || a.Rgb.empty()) return 1e9;
  double sum = 0;
  for (std::size_t i = 0; i < a.Rgb.size(); ++i) sum += std::abs(int(a.Rgb[i]) - int(b.Rgb[i]));
  return sum / double(a.Rgb.size());
}

class CliSlice : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = peer::ScratchDir(std::string("cli_slice_") +
                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    Pixels = peer::Pattern(300, 200);
    // The sources are written by peers from a PPM of the pattern (Pillow
    // writes no gamma chunk, so loading leaves the pixels as they are).
    peer::WritePpm(Dir + "/pattern.ppm", Pixels);
    ASSERT_EQ(Python("from PIL import Image\nImage.open('" + Dir + "/pattern.ppm').save('" +
                           Dir + "/src.png')\n"),
              0);
    ASSERT_EQ(peer::Run("convert " + Dir + "/pattern.ppm BMP3:" + Dir + "/src.bmp"), 0);
    fs::remove(Dir + "/pattern.ppm");
    fs::remove(Dir + "/peer.py");
  }
  // Runs tessel-cli in the scratch directory.
  TRunResult Cli(const std::string& args) {
    const std::string out = Dir + "/stdout.txt", err = Dir + "/stderr.txt";
    const std::string command = "cd '" + Dir + "' && '" + TESSEL_CLI_PATH + "' " + args + " >'" +
                                out + "' 2>'" + err + "'";
    const int status = std::system(command.c_str());
    TRunResult r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(out), ReadText(err)};
    fs::remove(out);
    fs::remove(err);
    return r;
  }
  // Peer helpers working inside this test's own directory, so that tests
  // running in parallel never share a scratch file.
  int Python(const std::string& code) {
    std::ofstream(Dir + "/peer.py") << code;
    return peer::Run(std::string(peer::kPython) + " '" + Dir + "/peer.py'");
  }
  peer::RgbImage Decode(const std::string& path) {
    const std::string out = Dir + "/decoded.ppm";
    if (peer::Run("convert '" + path + "' -depth 8 ppm:'" + out + "'") != 0) {
      ADD_FAILURE() << "ImageMagick could not read " << path;
      return {};
    }
    peer::RgbImage image = peer::ReadPnm(out);
    fs::remove(out);
    return image;
  }
  void ExpectExactSlice(const std::string& name, int x, int y, int w, int h) {
    EXPECT_EQ(Decode(Dir + "/" + name), apptest::Crop(Pixels, x, y, w, h)) << name;
  }
  // Every cell of the sorted positions, compared whole with the source.
  void ExpectGridSlices(const std::string& base, const std::string& ext, const std::vector<int>& xs,
                        const std::vector<int>& ys) {
    for (std::size_t r = 1; r < ys.size(); ++r)
      for (std::size_t c = 1; c < xs.size(); ++c)
        ExpectExactSlice(base + "_" + std::to_string(c) + "_" + std::to_string(r) + ext, xs[c - 1],
                         ys[r - 1], xs[c] - xs[c - 1], ys[r] - ys[r - 1]);
  }
  std::vector<std::string> Entries() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Dir)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string SizeLine(const std::string& name) {
    return name + ": " + std::to_string(fs::file_size(Dir + "/" + name)) + " bytes\n";
  }

  std::string Dir;
  peer::RgbImage Pixels;
};

TEST_F(CliSlice, BmpSlicesOfTheWorkedGridAreExact) {
  const TRunResult r = Cli("slice src.png index.html --vert 100 --horz 50 --format bmp");
  ASSERT_EQ(r.Status, 0) << r.Err;
  ExpectGridSlices("index", ".bmp", {0, 100, 300}, {0, 50, 200});
  std::uint64_t total = 0;
  std::string expected;
  for (const char* n : {"index_1_1.bmp", "index_2_1.bmp", "index_1_2.bmp", "index_2_2.bmp"}) {
    expected += SizeLine(n);
    total += fs::file_size(Dir + "/" + n);
  }
  const std::uint64_t page = fs::file_size(Dir + "/index.html");
  EXPECT_EQ(r.Out, expected + SizeLine("index.html") + "total: 4 slices, " + std::to_string(total) + " bytes; " +
                       std::to_string(total + page) + " bytes with index.html\n");
  EXPECT_EQ(ReadText(Dir + "/index.html"),
            "<table cellspacing = 0 cellpadding = 0 border = 0>\r\n"
            "<tr><td><img src='index_1_1.bmp' width=100 height=50></td><td><img "
            "src='index_2_1.bmp' width=200 height=50></td></tr>\r\n"
            "<tr><td><img src='index_1_2.bmp' width=100 height=150></td><td><img "
            "src='index_2_2.bmp' width=200 height=150></td></tr>\r\n"
            "</table>\r\n");
}

TEST_F(CliSlice, PngSlicesFromAGridFileAreExact) {
  std::ofstream(Dir + "/cut.grd") << "0\r\n120\r\n200\r\n-\r\n0\r\n300\r\n33\r\n";
  const TRunResult r = Cli("slice src.png shop.final.htm --grid cut.grd --format png --save-grid");
  ASSERT_EQ(r.Status, 0) << r.Err;
  ExpectGridSlices("shop", ".png", {0, 33, 300}, {0, 120, 200});
  EXPECT_EQ(ReadText(Dir + "/shop.grd"), "0\r\n120\r\n200\r\n-\r\n0\r\n33\r\n300\r\n");
}

TEST_F(CliSlice, BmpSourceSlicedToTiff) {
  const TRunResult r = Cli("slice src.bmp b.html --horz 199 --format tif");
  ASSERT_EQ(r.Status, 0) << r.Err;
  ExpectGridSlices("b", ".tif", {0, 300}, {0, 199, 200});
}

// The pattern's sharp blue ramps are hard on JPEG, so closeness is judged
// against a peer's encoding of the same cell at the same quality.
TEST_F(CliSlice, JpegSlicesAreAsCloseAsAPeerEncoding) {
  const TRunResult r = Cli("slice src.png page.html --vert 150");
  ASSERT_EQ(r.Status, 0) << r.Err;
  for (int c = 1; c <= 2; ++c) {
    const std::string name = "page_" + std::to_string(c) + "_1.jpg";
    const std::string box = "(" + std::to_string((c - 1) * 150) + ", 0, " + std::to_string(c * 150) + ", 200)";
    ASSERT_EQ(Python("from PIL import Image\nImage.open('" + Dir + "/src.png').crop(" + box +
                           ").save('" + Dir + "/ref.jpg', quality=80)\n"),
              0);
    const peer::RgbImage source = apptest::Crop(Pixels, (c - 1) * 150, 0, 150, 200);
    const peer::RgbImage slice = Decode(Dir + "/" + name);
    EXPECT_EQ(slice.Width, 150);
    EXPECT_EQ(slice.Height, 200);
    const double ours = MeanAbsDifference(slice, source);
    const double theirs = MeanAbsDifference(Decode(Dir + "/ref.jpg"), source);
    EXPECT_LT(ours, theirs * 1.1 + 0.5) << name;
  }
}

// Lossless WebP slices are exact. 256-colour PNG slices are .png palette
// files: exact for a cell of 200 colours; a cell of thousands is as close
// as ImageMagick's reduction to 256 colours with error diffusion.
TEST_F(CliSlice, WebpAndPng8Slices) {
  TRunResult r = Cli("slice src.png w.html --vert 100 --format webp --set WebpLossless=true");
  ASSERT_EQ(r.Status, 0) << r.Err;
  ExpectGridSlices("w", ".webp", {0, 100, 300}, {0, 200});
  r = Cli("slice src.png p.html --vert 1 --format png8");
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out.rfind("p_1_1.png: ", 0), 0u) << r.Out;
  EXPECT_NE(ReadText(Dir + "/p.html").find("<img src='p_2_1.png' width=299 height=200>"), std::string::npos);
  ExpectExactSlice("p_1_1.png", 0, 0, 1, 200);
  const peer::RgbImage cell = apptest::Crop(Pixels, 1, 0, 299, 200);
  peer::WritePpm(Dir + "/cell.ppm", cell);
  ASSERT_EQ(peer::Run("convert '" + Dir + "/cell.ppm' -dither FloydSteinberg -colors 256 '" + Dir + "/ref.png'"), 0);
  const double theirs = MeanAbsDifference(Decode(Dir + "/ref.png"), cell);
  EXPECT_LT(MeanAbsDifference(Decode(Dir + "/p_2_1.png"), cell), theirs * 1.15);
  ASSERT_EQ(Python("from PIL import Image\n"
                   "for n in ('p_1_1', 'p_2_1'):\n"
                   "    im = Image.open('" + Dir + "/' + n + '.png')\n"
                   "    open('" + Dir + "/' + n + '.mode', 'w').write(im.mode + ' ' + str(len(im.getcolors(256))))\n"),
            0);
  EXPECT_EQ(ReadText(Dir + "/p_1_1.mode"), "P 200");
  EXPECT_EQ(ReadText(Dir + "/p_2_1.mode").rfind("P ", 0), 0u);
  const TRunResult bad = Cli("slice src.png x.html --format gif");
  EXPECT_EQ(bad.Status, 2);
  EXPECT_EQ(bad.Err.rfind("tessel-cli: --format must be jpg, bmp, tif, png, webp, png8 or auto, got gif\n", 0), 0u);
}

// An automatic export names each slice by the format chosen for it, says
// why in its line, and gives the same files on any number of threads; the
// dry run prints those lines and writes nothing; mail pages get no WebP.
TEST_F(CliSlice, AutoFormatPerSliceDryRunAndMail) {
  const std::string cut = "--vert 1,150 --horz 100 --format auto";
  fs::create_directories(Dir + "/one");
  fs::create_directories(Dir + "/three");
  const std::vector<std::string> before = Entries();
  const TRunResult dry = Cli("slice src.png one/a.html --dry-run --threads 3 " + cut);
  ASSERT_EQ(dry.Status, 0) << dry.Err;
  EXPECT_EQ(Entries(), before);
  const TRunResult one = Cli("slice src.png one/a.html --threads 1 " + cut);
  const TRunResult three = Cli("slice src.png three/a.html --threads 3 " + cut);
  ASSERT_EQ(one.Status, 0) << one.Err;
  ASSERT_EQ(three.Status, 0) << three.Err;
  const auto files = apptest::DirEntries(Dir + "/one");
  EXPECT_EQ(apptest::DirEntries(Dir + "/three"), files);
  for (const std::string& name : files)
    EXPECT_EQ(ReadText(Dir + "/one/" + name), ReadText(Dir + "/three/" + name)) << name;
  // The dry run says what the export says of its slices; the page it does not make.
  const std::string out = one.Out.substr(0, one.Out.find("one/a.html: "));
  const std::string total = one.Out.substr(one.Out.rfind("total: "));
  EXPECT_EQ(dry.Out, out + total.substr(0, total.find(';')) + " (dry run: nothing written)\n");
  // Each line: the file, its size, its format, why; the page names the file.
  const std::string html = ReadText(Dir + "/one/a.html");
  std::istringstream lines(out);
  int exact = 0;
  for (std::string line; std::getline(lines, line) && line.rfind("total: ", 0) != 0;) {
    const std::string path = line.substr(0, line.find(": "));
    const std::string name = path.substr(4);
    EXPECT_EQ(line.rfind(path + ": " + std::to_string(fs::file_size(Dir + "/" + path)) + " bytes, ", 0), 0u) << line;
    EXPECT_NE(html.find("<img src='" + name + "'"), std::string::npos) << name;
    const std::string ext = fs::path(name).extension();
    EXPECT_TRUE(ext == ".png" || ext == ".webp" || ext == ".jpg") << name;
    if (line.find("kept exact") == std::string::npos) {
      EXPECT_NE(line.find("more than 256 colours: "), std::string::npos) << line;
      continue;
    }
    ++exact;
    const int column = name[2] - '0', row = name[4] - '0';
    const int xs[] = {0, 1, 150, 300}, ys[] = {0, 100, 200};
    ExpectExactSlice("one/" + name, xs[column - 1], ys[row - 1], xs[column] - xs[column - 1],
                     ys[row] - ys[row - 1]);
  }
  EXPECT_EQ(exact, 2);  // the one-pixel column: 100 colours each
  const TRunResult mail = Cli("slice src.png m.html --style email " + cut);
  ASSERT_EQ(mail.Status, 0) << mail.Err;
  EXPECT_EQ(mail.Out.find(".webp"), std::string::npos) << mail.Out;
  EXPECT_TRUE(fs::exists(Dir + "/m_1_1.png"));
  const TRunResult refused = Cli("slice src.png n.html --style email --set AutoFormats=webp " + cut);
  EXPECT_EQ(refused.Status, 1);
  EXPECT_EQ(refused.Err, "AutoFormats allows only webp, which pages for mail leave out; nothing was written.\n");
  EXPECT_FALSE(fs::exists(Dir + "/n.html"));
}

// Format records of the cells file: those slices in their own format and
// quality, said in their lines and weighed so by the dry run.
TEST_F(CliSlice, CellsOfTheirOwnFormat) {
  std::ofstream(Dir + "/cut.cells") << "format\t2\t1\twebp\nformat\t1\t2\tjpg\t30\nformat\t2\t2\tauto\n";
  const std::string cut = "--vert 150 --horz 100 --cells cut.cells --format png";
  const TRunResult dry = Cli("slice src.png a.html --dry-run " + cut);
  const TRunResult out = Cli("slice src.png a.html --threads 2 " + cut);
  ASSERT_EQ(out.Status, 0) << out.Err;
  const auto line = [&](const std::string& name, const std::string& more) {
    const std::string size = SizeLine(name);
    return size.substr(0, size.size() - 1) + more + "\n";
  };
  const std::string lines = line("a_1_1.png", "") + line("a_2_1.webp", ", webp q80, set for this slice") +
                            line("a_1_2.jpg", ", jpg q30, set for this slice");
  EXPECT_EQ(out.Out.substr(0, lines.size()), lines);
  // A cell of its own chosen format says why it got the one chosen.
  const std::size_t chosen = out.Out.find("\n", lines.size());
  const std::string last = out.Out.substr(lines.size(), chosen - lines.size());
  EXPECT_TRUE(last.rfind("a_2_2.", 0) == 0 && last.find("set for this slice") == std::string::npos) << last;
  const std::string total = out.Out.substr(chosen + 1);
  EXPECT_EQ(dry.Out, out.Out.substr(0, chosen + 1) + total.substr(total.find("total: "), total.find(';') - total.find("total: ")) +
                         " (dry run: nothing written)\n");
  // Its own quality, not the export's JPEG quality.
  ASSERT_EQ(Cli("slice src.png b.html --vert 150 --horz 100 --format jpg --set JpegQuality=30").Status, 0);
  EXPECT_EQ(ReadText(Dir + "/a_1_2.jpg"), ReadText(Dir + "/b_1_2.jpg"));
}

TEST_F(CliSlice, LowerJpegQualityGivesSmallerSlices) {
  ASSERT_EQ(Cli("slice src.png hi.html --set JpegQuality=95").Status, 0);
  ASSERT_EQ(Cli("slice src.png lo.html --set JpegQuality=20").Status, 0);
  EXPECT_LT(fs::file_size(Dir + "/lo_1_1.jpg"), fs::file_size(Dir + "/hi_1_1.jpg"));
}

TEST_F(CliSlice, ExistingHtmlIsRefusedUnlessOverwrite) {
  std::ofstream(Dir + "/index.html") << "mine";
  const auto before = Entries();
  const TRunResult refused = Cli("slice src.png index.html --format bmp");
  EXPECT_EQ(refused.Status, 3);
  EXPECT_EQ(refused.Out, "");
  EXPECT_NE(refused.Err.find("index.html"), std::string::npos);
  EXPECT_EQ(Entries(), before);
  EXPECT_EQ(ReadText(Dir + "/index.html"), "mine");
  const TRunResult forced = Cli("slice src.png index.html --format bmp --overwrite");
  ASSERT_EQ(forced.Status, 0) << forced.Err;
  ExpectExactSlice("index_1_1.bmp", 0, 0, 300, 200);
  EXPECT_NE(ReadText(Dir + "/index.html"), "mine");
}

TEST_F(CliSlice, OutOfBoundsGridLinesAreReportedAndClamped) {
  std::ofstream(Dir + "/big.grd") << "0\r\n250\r\n-\r\n0\r\n300\r\n";
  const TRunResult r = Cli("slice src.png a.html --grid big.grd --format bmp");
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Err,
            "warning: big.grd, line 2: Grid larger than image, line 250 out of bounds! (taken as 200, the image's edge)\n");
  ExpectExactSlice("a_1_1.bmp", 0, 0, 300, 200);
}

TEST_F(CliSlice, BadGridFileWritesNothing) {
  std::ofstream(Dir + "/bad.grd") << "0\r\n250\r\nten\r\n";
  const auto before = Entries();
  const TRunResult r = Cli("slice src.png a.html --grid bad.grd");
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "bad.grd, line 3: 'ten' is not a valid integer value\n");
  EXPECT_EQ(Entries(), before);
}

TEST_F(CliSlice, TagsAndMarkupOptions) {
  std::ofstream(Dir + "/tags.txt") << "1\t1\tpage2.html\tmain\tLogo\n\n2\t1\t\t\tSky \"blue\"\n7\t7\tnowhere\n";
  const TRunResult r =
      Cli("slice src.png t.html --vert 100 --format bmp --tags tags.txt --uppercase --double-quote --save-grid");
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Err, "warning: no slice 7,7 for its tags\n");
  // The texts go beside the saved grid, as given.
  EXPECT_EQ(ReadText(Dir + "/t.tags"),
            "lines\thorizontal\t0,200\r\nlines\tvertical\t0,100,300\r\n"
            "1\t1\tpage2.html\tmain\tLogo\r\n2\t1\t\t\tSky \"blue\"\r\n7\t7\tnowhere\r\n");
  EXPECT_EQ(ReadText(Dir + "/t.html"),
            "<TABLE CELLSPACING = 0 CELLPADDING = 0 BORDER = 0>\r\n"
            "<TR><TD><A HREF=\"page2.html\" TARGET=\"main\"><IMG SRC=\"t_1_1.bmp\" WIDTH=100 "
            "HEIGHT=200 ALT=\"Logo\" BORDER=0></A></TD><TD><IMG SRC=\"t_2_1.bmp\" WIDTH=200 "
            "HEIGHT=200 ALT=\"Sky &quot;blue&quot;\"></TD></TR>\r\n"
            "</TABLE>\r\n");
}

// The cells file beside --grid is read as --cells is; saved with the grid;
// a bad one, or one that does not fit the grid, writes nothing.
TEST_F(CliSlice, MergedAndSkippedCellsFromTheGridsCompanion) {
  fs::create_directories(Dir + "/a");
  fs::create_directories(Dir + "/b");
  std::ofstream(Dir + "/a/g.grd") << "0\r\n50\r\n150\r\n200\r\n-\r\n0\r\n100\r\n200\r\n300\r\n";
  const std::string cells = "merge\t2\t1\t2\t2\nskip\t1\t2\nmerge\t1\t3\t3\t1\nlayer\t1\t1\n";
  std::ofstream(Dir + "/a/g.cells") << cells;
  fs::copy_file(Dir + "/a/g.grd", Dir + "/b/g.grd");
  std::ofstream(Dir + "/cut.cells") << cells;
  const TRunResult a = Cli("slice src.png a/p.html --grid a/g.grd --format bmp --style email --save-grid --overwrite");
  ASSERT_EQ(a.Status, 0) << a.Err;
  EXPECT_EQ(a.Err, "warning: a/g.cells, line 4: unknown record \"layer\", passed over\n"
                   "warning: email without a base URL: a mail cannot show slices named relative to the HTML file\n");
  const TRunResult b = Cli("slice src.png b/p.html --grid b/g.grd --cells cut.cells --format bmp --style email --save-grid");
  ASSERT_EQ(b.Status, 0) << b.Err;
  const std::vector<std::string> files = {"p.html", "p.grd", "p.cells", "p_1_1.bmp", "p_2_1.bmp", "p_1_3.bmp"};
  for (const std::string& name : files) EXPECT_EQ(ReadText(Dir + "/a/" + name), ReadText(Dir + "/b/" + name)) << name;
  EXPECT_EQ(std::distance(fs::directory_iterator(Dir + "/b"), fs::directory_iterator()), 8);  // g.grd, the list
  EXPECT_EQ(ReadText(Dir + "/b/p.cells"),
            "lines\thorizontal\t0,50,150,200\r\nlines\tvertical\t0,100,200,300\r\n"
            "merge\t2\t1\t2\t2\r\nmerge\t1\t3\t3\t1\r\nskip\t1\t2\r\n");
  EXPECT_NE(ReadText(Dir + "/b/p.html").find("<td rowspan='2' width='200'"), std::string::npos);

  const struct {
    std::string Cells, Error;
  } refused[] = {
      {"skip\t1\t2\nmerge\t1\t1\t1\n", "c/g.cells, line 2: expected merge, column, row, columns, rows "
                                       "separated by tabs\n"},
      {"merge\t3\t1\t2\t1\n", "c/g.cells, line 1: the merged cell at 3, 1 (2 x 1 cells) reaches beyond the "
                              "grid of 3 x 3 cells\n"},
  };
  for (const auto& r : refused) {
    fs::remove_all(Dir + "/c");
    fs::create_directories(Dir + "/c");
    fs::copy_file(Dir + "/a/g.grd", Dir + "/c/g.grd");
    std::ofstream(Dir + "/c/g.cells") << r.Cells;
    const TRunResult c = Cli("slice src.png c/p.html --grid c/g.grd --format bmp");
    EXPECT_EQ(c.Status, 1);
    EXPECT_EQ(c.Err, r.Error);
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir + "/c"), fs::directory_iterator()), 2);
  }
}

// Slices of names of their own: NAME.EXT and NAME@2x.EXT, kept in the
// cells file the grid is saved with; a name that another file of the
// export has already is refused before anything is written.
TEST_F(CliSlice, NamedSlicesKeepTheirNames) {
  std::ofstream(Dir + "/cut.cells") << "name\t2\t1\tbtn-shop\n";
  const TRunResult r = Cli("slice src.png p.html --vert 100 --format bmp --retina --cells cut.cells --save-grid");
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(Entries(), (std::vector<std::string>{".p.html.tessel-files", "btn-shop.bmp", "btn-shop@2x.bmp", "cut.cells", "p.cells", "p.grd",
                                                 "p.html", "p_1_1.bmp", "p_1_1@2x.bmp", "src.bmp", "src.png"}));
  ExpectExactSlice("btn-shop@2x.bmp", 100, 0, 200, 200);
  EXPECT_NE(ReadText(Dir + "/p.html").find("src='btn-shop.bmp'"), std::string::npos);
  EXPECT_EQ(ReadText(Dir + "/p.cells"), "lines\thorizontal\t0,200\r\nlines\tvertical\t0,100,300\r\nname\t2\t1\tbtn-shop\r\n");
  // The saved grid gives the same files again.
  fs::create_directories(Dir + "/q");
  const TRunResult again = Cli("slice src.png q/p.html --grid p.grd --format bmp --retina");
  ASSERT_EQ(again.Status, 0) << again.Err;
  EXPECT_EQ(ReadText(Dir + "/q/btn-shop@2x.bmp"), ReadText(Dir + "/btn-shop@2x.bmp"));

  for (const char* taken : {"p_1_1", "P_1_1"}) {
    fs::remove_all(Dir + "/c");
    fs::create_directories(Dir + "/c");
    std::ofstream(Dir + "/c/cut.cells") << "name\t2\t1\t" << taken << "\n";
    const TRunResult c = Cli("slice src.png c/p.html --vert 100 --cells c/cut.cells --format bmp");
    EXPECT_EQ(c.Status, 3) << taken;
    EXPECT_NE(c.Err.find("Two files of the export would be"), std::string::npos) << c.Err;
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir + "/c"), fs::directory_iterator()), 1) << taken;
  }
}

// The page style, the base URL and retina slices: the slices beside the
// page, at both sizes, the page naming them under the base URL.
TEST_F(CliSlice, StyleBaseUrlAndRetina) {
  const TRunResult r = Cli(
      "slice src.png p.html --vert 100 --format bmp --style html5 --base-url https://cdn.example.com/m/ --retina");
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(Entries(), (std::vector<std::string>{".p.html.tessel-files", "p.html", "p_1_1.bmp", "p_1_1@2x.bmp", "p_2_1.bmp",
                                                 "p_2_1@2x.bmp", "src.bmp", "src.png"}));
  ExpectExactSlice("p_2_1@2x.bmp", 100, 0, 200, 200);
  EXPECT_EQ(Decode(Dir + "/p_2_1.bmp").Width, 100);
  EXPECT_NE(r.Out.find("total: 4 slices"), std::string::npos) << r.Out;
  EXPECT_EQ(ReadText(Dir + "/p.html"),
            "<table role='presentation' style='border-collapse:collapse'>\r\n"
            "<tr><td style='padding:0'><img src='https://cdn.example.com/m/p_1_1.bmp' "
            "srcset='https://cdn.example.com/m/p_1_1.bmp 1x, https://cdn.example.com/m/p_1_1@2x.bmp 2x' "
            "width='50' height='100' alt='' style='display:block'></td><td style='padding:0'><img "
            "src='https://cdn.example.com/m/p_2_1.bmp' srcset='https://cdn.example.com/m/p_2_1.bmp 1x, "
            "https://cdn.example.com/m/p_2_1@2x.bmp 2x' width='100' height='100' alt='' "
            "style='display:block'></td></tr>\r\n"
            "</table>\r\n");
}

// A design of 256 greys gives grey JPEG and PNG slices, retina ones too,
// that look as the colour slices of the same picture do; BMP and WebP
// slices stay colour, and so do all slices of a colour picture, grey or not.
TEST_F(CliSlice, GreySourceGivesGreySlicesWhereTheFormatHasThem) {
  ASSERT_EQ(Python("from PIL import Image\nim = Image.open('" + Dir + "/src.png').convert('L')\n"
                   "im.save('" + Dir + "/grey.png')\nim.convert('RGB').save('" + Dir + "/colour.png')\n"),
            0);
  std::string names;
  for (const char* source : {"grey", "colour"})
    for (const char* format : {"jpg", "png", "bmp", "webp"}) {
      const std::string page = std::string(source) + "_" + format;
      ASSERT_EQ(Cli(std::string("slice ") + source + ".png " + page + ".html --vert 100 --retina --format " + format).Status, 0);
      names += " " + page + "_2_1." + format + " " + page + "_2_1@2x." + format;
    }
  ASSERT_EQ(Python("import sys\nfrom PIL import Image\nopen('" + Dir + "/modes.txt', 'w').write("
                   "' '.join(Image.open('" + Dir + "/' + n).mode for n in '" + names + "'.split()))\n"),
            0);
  EXPECT_EQ(ReadText(Dir + "/modes.txt"), "L L L L RGB RGB RGB RGB RGB RGB RGB RGB RGB RGB RGB RGB");
  for (const std::string slice : {"png_2_1.png", "png_2_1@2x.png", "jpg_2_1@2x.jpg"})
    EXPECT_LT(MeanAbsDifference(Decode(Dir + "/grey_" + slice), Decode(Dir + "/colour_" + slice)),
              slice.find("jpg") != std::string::npos ? 0.5 : 1e-9)
        << slice;
}

// A design with transparency, cut while it loads (on one thread and on
// two, where rows go back behind the writers): PNG and WebP slices keep
// its alpha, BMP slices and a page for mail show
// it laid on PageColor.
TEST_F(CliSlice, TransparencyIsKeptOrLaidOnThePageColour) {
  // Tall enough for the rows to go back behind the writers, band by band.
  ASSERT_EQ(Python("from PIL import Image\nim = Image.open('" + Dir + "/src.png').convert('RGBA').resize((300, 800))\n"
                   "im.putalpha(Image.frombytes('L', (300, 800), bytes(0 if x < 20 else (x + 3 * y) % 256 "
                   "for y in range(800) for x in range(300))))\n"
                   "im.save('" + Dir + "/rgba.png')\n"),
            0);
  std::string slices;
  for (const char* threads : {"1", "2"})
    for (const char* format : {"png", "webp", "bmp"}) {
      const std::string page = std::string("t") + threads + format;
      const TRunResult r = Cli("slice rgba.png " + page + ".html --vert 20,150 --horz 60 --threads " + threads +
                               " --format " + format + " --set PageColor=#20C040 --set WebpLossless=true");
      ASSERT_EQ(r.Status, 0) << r.Err;
      for (const char* cell : {"_1_1.", "_2_1.", "_3_2."}) slices += " " + page + cell + format;
    }
  // Each slice against its cell of the source: alpha kept (the colour of
  // wholly transparent pixels aside), or laid on the page colour.
  ASSERT_EQ(Python("from PIL import Image\n"
                   "src = Image.open('" + Dir + "/rgba.png')\n"
                   "boxes = {'_1_1': (0, 0, 20, 60), '_2_1': (20, 0, 150, 60), '_3_2': (150, 60, 300, 800)}\n"
                   "def seen(p, keep):\n"
                   "    r, g, b, a = p\n"
                   "    if keep: return (0, 0, 0, 0) if a == 0 else p\n"
                   "    return tuple((c * a + q * (255 - a) + 127) // 255 for c, q in zip((r, g, b), (32, 192, 64))) + (255,)\n"
                   "bad = []\n"
                   "for name in '" + slices + "'.split():\n"
                   "    keep = not name.endswith('.bmp')\n"
                   "    cell = src.crop(boxes[name[-9:-5] if name.endswith('webp') else name[-8:-4]])\n"
                   "    got = [seen(p, True) for p in Image.open('" + Dir + "/' + name).convert('RGBA').getdata()]\n"
                   "    if got != [seen(p, keep) for p in cell.getdata()]: bad.append(name)\n"
                   "open('" + Dir + "/bad.txt', 'w').write(' '.join(bad))\n"),
            0);
  EXPECT_EQ(ReadText(Dir + "/bad.txt"), "");
  ASSERT_EQ(Cli("slice rgba.png mail.html --vert 20 --style email --format png --set PageColor=#20C040").Status, 0);
  EXPECT_NE(ReadText(Dir + "/mail.html").find("#20c040"), std::string::npos);
}

// A line at an odd position cannot be halved: said, naming the line, and
// nothing is written. So are a style or base URL that cannot be used.
TEST_F(CliSlice, RetinaLineAtAnOddPositionStyleAndBaseUrlErrors) {
  const std::vector<std::string> before = Entries();
  const TRunResult odd = Cli("slice src.png p.html --horz 50,101 --retina");
  EXPECT_EQ(odd.Status, 1);
  EXPECT_EQ(odd.Err,
            "tessel-cli: --retina: the horizontal line at 101 lies at an odd position; half-size slices "
            "need every split line at an even one\n");
  EXPECT_EQ(Entries(), before);
  const TRunResult style = Cli("slice src.png p.html --style amp");
  EXPECT_EQ(style.Status, 2);
  EXPECT_EQ(style.Err.substr(0, 65), "tessel-cli: --style must be classic, html5, email or fluid, got a");
  const TRunResult base = Cli("slice src.png p.html --base-url 'https://x.example/get?f='");
  EXPECT_EQ(base.Status, 2);
  EXPECT_NE(base.Err.find("has a query or a fragment"), std::string::npos) << base.Err;
  EXPECT_EQ(Entries(), before);
}

TEST_F(CliSlice, SplitlinesOutsideTheImageAreIgnored) {
  const TRunResult r = Cli("slice src.png s.html --vert 300,400 --horz=-1 --format bmp");
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Err,
            "warning: vertical position 400 outside 0-300, ignored\n"
            "warning: horizontal position -1 outside 0-200, ignored\n");
  // 300 duplicates the right edge: an empty column that writes nothing.
  EXPECT_EQ(r.Out.substr(0, r.Out.find('\n')), "s_1_1.bmp: " + std::to_string(fs::file_size(Dir + "/s_1_1.bmp")) + " bytes");
  EXPECT_FALSE(fs::exists(Dir + "/s_2_1.bmp"));
}

TEST_F(CliSlice, UsageErrors) {
  EXPECT_EQ(Cli("slice src.png x.html --format gif").Status, 2);
  EXPECT_EQ(Cli("slice src.png x.html --vert 1,two").Status, 2);
  EXPECT_EQ(Cli("slice src.png").Status, 2);
  EXPECT_EQ(Cli("slice src.png x.html --bogus").Status, 2);
  fs::create_directory(Dir + "/site");
  // A directory where the HTML file should go is a failed write.
  const auto directory = Cli("slice src.png site --overwrite");
  EXPECT_EQ(directory.Status, 4);
  EXPECT_NE(directory.Err.find("Is a directory"), std::string::npos) << directory.Err;
  EXPECT_FALSE(fs::exists(Dir + "/site_1_1.jpg"));
  EXPECT_FALSE(fs::exists(Dir + "/x.html"));
}

TEST_F(CliSlice, UnreadableImageFails) {
  const TRunResult r = Cli("slice missing.png x.html");
  EXPECT_EQ(r.Status, 1);
  EXPECT_FALSE(fs::exists(Dir + "/x.html"));
}

// ---- never the wrong file, never a silent half

// page_1_1.png sliced into page.html would become its own left half; the
// JPEG, whose slices are cut while it loads, takes the other road.
TEST_F(CliSlice, SourceIsNeverOverwritten) {
  ASSERT_EQ(Cli("convert src.png page_1_1.jpg").Status, 0);
  fs::copy_file(Dir + "/src.png", Dir + "/page_1_1.png");
  for (const char* format : {"png", "jpg"}) {
    SCOPED_TRACE(format);
    const std::string source = std::string("page_1_1.") + format;
    const auto bytes = peer::ReadFile(Dir + "/" + source);
    const TRunResult r = Cli("slice " + source + " page.html --vert 150 --overwrite --format " + format);
    EXPECT_EQ(r.Status, 3);
    EXPECT_EQ(r.Err, "Cannot export: \"" + source + "\" is the source image itself; nothing was written.\n");
    EXPECT_EQ(peer::ReadFile(Dir + "/" + source), bytes);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"page_1_1.jpg", "page_1_1.png", "src.bmp", "src.png"}));
  }
}

TEST_F(CliSlice, ExistingSliceIsRefusedUnlessOverwrite) {
  std::ofstream(Dir + "/s_2_1.bmp") << "mine";
  const TRunResult refused = Cli("slice src.png s.html --vert 100 --format bmp");
  EXPECT_EQ(refused.Status, 3);
  EXPECT_EQ(refused.Err, "tessel-cli: s_2_1.bmp exists (use --overwrite)\n");
  EXPECT_EQ(ReadText(Dir + "/s_2_1.bmp"), "mine");
  EXPECT_FALSE(fs::exists(Dir + "/s_1_1.bmp"));
  ASSERT_EQ(Cli("slice src.png s.html --vert 100 --format bmp --overwrite").Status, 0);
  ExpectExactSlice("s_2_1.bmp", 100, 0, 200, 200);
}

TEST_F(CliSlice, PartialEmptyOrNamelessExportsAreSaid) {
  std::ofstream(Dir + "/top.grd") << "0\r\n120\r\n-\r\n0\r\n300\r\n";
  const TRunResult partial = Cli("slice src.png top.html --grid top.grd --format bmp");
  ASSERT_EQ(partial.Status, 0) << partial.Err;
  EXPECT_EQ(partial.Err, "warning: the grid covers x 0-300, y 0-120 of the 300 x 200 image; the rest is not exported\n");
  ExpectExactSlice("top_1_1.bmp", 0, 0, 300, 120);
  std::ofstream(Dir + "/none.grd") << "-\r\n";
  const auto before = Entries();
  const TRunResult none = Cli("slice src.png none.html --grid none.grd");
  EXPECT_EQ(none.Status, 1);
  EXPECT_EQ(none.Err, "tessel-cli: the grid yields no slice; nothing to write\n");
  const TRunResult nameless = Cli("slice src.png ''");
  EXPECT_EQ(nameless.Status, 1);
  EXPECT_EQ(nameless.Err, "No HTML file name given; nothing was written.\n");
  EXPECT_EQ(Entries(), before);
}

// Spaces, quotes, '#', '%' and characters outside ASCII in the names, markup
// in the texts: the files carry the names as given, the fragment is ASCII
// whose links find them.
TEST_F(CliSlice, AnyNameAndTextGiveAWellFormedAsciiPage) {
  const std::string name = "it's #1 \xE6\x9D\xB1\xE4\xBA\xAC%";
  std::ofstream(Dir + "/tags.txt") << "1\t1\ta.html?x=1&y=2\t_top\tcaf\xC3\xA9 \"q\" <b>\n";
  const TRunResult r = Cli("slice src.png \"" + name + ".html\" --format png --tags tags.txt");
  ASSERT_EQ(r.Status, 0) << r.Err;
  fs::copy_file(Dir + "/" + name + "_1_1.png", Dir + "/plain.png");  // a name the peer's shell takes
  ExpectExactSlice("plain.png", 0, 0, 300, 200);
  EXPECT_EQ(ReadText(Dir + "/" + name + ".html"),
            "<table cellspacing = 0 cellpadding = 0 border = 0>\r\n"
            "<tr><td><A HREF=\"a.html?x=1&amp;y=2\" TARGET=\"_top\"><img "
            "src='it%27s%20%231%20%E6%9D%B1%E4%BA%AC%25_1_1.png' width=300 height=200 "
            "ALT=\"caf&#233; &quot;q&quot; &lt;b&gt;\" BORDER=0></A></td></tr>\r\n"
            "</table>\r\n");
}

TEST_F(CliSlice, CommandHelpPrintsThatCommandsUsage) {
  const TRunResult slice = Cli("slice --help");
  EXPECT_EQ(slice.Status, 0);
  EXPECT_EQ(slice.Out.rfind("usage: tessel-cli slice IMAGE HTML", 0), 0u) << slice.Out;
  EXPECT_NE(slice.Out.find("COLUMN<TAB>ROW<TAB>LINK<TAB>TARGET<TAB>ALT"), std::string::npos);
  const TRunResult info = Cli("info -h");
  EXPECT_EQ(info.Status, 0);
  EXPECT_EQ(info.Out.rfind("usage: tessel-cli info FILE\n", 0), 0u) << info.Out;
}

}  // namespace
