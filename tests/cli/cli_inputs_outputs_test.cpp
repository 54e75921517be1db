// tessel-cli against inputs and outputs that are not what they seem:
// names that collide, links, folders and devices in a file's place, lines
// given twice, companions of a saved grid, numbers no file can hold, and
// text from files that would steer a terminal.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "pgraphic/core/pixelgraphic.h"
#include "support/app_test_util.h"

namespace {

namespace fs = std::filesystem;

struct TRun {
  int Status = -1;
  std::string Out, Err;
};

// tessel-cli in dir, standard input from input.
TRun RunIn(const fs::path& dir, const std::string& args, const std::string& input = "") {
  apptest::WriteFile(dir / ".in", input);
  const std::string command = "cd '" + dir.string() + "' && '" + TESSEL_CLI_PATH + "' " + args +
                              " <.in >.out 2>.err";
  const int status = std::system(command.c_str());
  TRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, apptest::ReadFile(dir / ".out"),
           apptest::ReadFile(dir / ".err")};
  for (const char* name : {".in", ".out", ".err"}) fs::remove(dir / name);
  return run;
}

class CliInputsOutputs : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = apptest::ScratchDir();
    fs::copy_file(std::string(TESSEL_SOURCE_DIR) + "/data/sample.png", Dir / "src.png");  // 400 x 240
  }
  TRun Cli(const std::string& args, const std::string& input = "") { return RunIn(Dir, args, input); }
  std::vector<std::string> Entries() const { return apptest::DirEntries(Dir); }

  fs::path Dir;
};

// Nothing is written, whatever the way an output is wrong; the status says
// which kind of wrong it is.
TEST_F(CliInputsOutputs, WrongOutputsAndCompanionsWriteNothing) {
  fs::create_directory(Dir / "folder");
  fs::create_symlink("nowhere.html", Dir / "dangling.html");
  fs::create_symlink("src.png", Dir / "link.png");
  fs::create_directory(Dir / ".locked.tessel-lock");
  apptest::WriteFile(Dir / "c.cells", "skip\t1\t1\n");
  apptest::WriteFile(Dir / "t.tags", "1\t1\tone.html\n");
  const struct {
    std::string Args;
    int Status;
    std::string Said;
  } cases[] = {
      // The page would be replaced by a companion of the same name.
      {"slice src.png x.grd --vert 100 --save-grid", 3, "Two files of the export would be \"x.grd\""},
      {"slice src.png x.cells --vert 100 --cells c.cells --save-grid", 3, "would be \"x.cells\""},
      {"slice src.png x.tags --vert 100 --tags t.tags --save-grid", 3, "would be \"x.tags\""},
      // A link at the page's name is a file there, leading anywhere or not.
      {"slice src.png dangling.html --vert 100", 3, "dangling.html exists (use --overwrite)"},
      {"convert src.png src.png", 3, "is the source image itself"},
      {"convert src.png link.png", 3, "is the source image itself"},
      {"slice src.png p.html --cells folder", 1, "Cannot open file \"folder\". Is a directory"},
      {"slice src.png p.html --tags /dev/zero", 1, "Cannot open file \"/dev/zero\". Not a regular file"},
      {"slice src.png p.html --grid /dev/zero", 1, "Cannot open file \"/dev/zero\". Not a regular file"},
      {"slice src.png - --vert 100", 2, "HTML must name a file, not -"},
      {"slice src.png locked.html", 4, "\".locked.tessel-lock\" is a folder, not the lock file"},
      {"slice src.png p.html --set DisplayGamma=inf", 2, "bad value for DisplayGamma: inf"},
      {"slice src.png p.html --set DisplayGamma=1e-300", 2, "bad value for DisplayGamma"},
  };
  const auto before = Entries();
  const auto source = apptest::ReadFile(Dir / "src.png");
  for (const auto& c : cases) {
    const TRun run = Cli(c.Args);
    EXPECT_EQ(run.Status, c.Status) << c.Args << "\n" << run.Err;
    EXPECT_NE(run.Err.find(c.Said), std::string::npos) << c.Args << "\n" << run.Err;
    EXPECT_EQ(Entries(), before) << c.Args;
  }
  EXPECT_EQ(apptest::ReadFile(Dir / "src.png"), source);
  EXPECT_EQ(fs::read_symlink(Dir / "dangling.html"), "nowhere.html");
}

// --dry-run fails where the export would, writing nothing either way.
TEST_F(CliInputsOutputs, DryRunChecksWhatTheExportChecks) {
  apptest::WriteFile(Dir / "old.html", "mine");
  const std::string longName(246, 'n');
  const struct {
    std::string Args;
    int Status;
  } cases[] = {
      {"slice src.png old.html --dry-run", 3},
      {"slice src.png gone/p.html --dry-run", 4},
      {"slice src.png " + longName + ".html --retina --dry-run", 4},
      {"slice src.png old.html --dry-run --overwrite", 0},
      {"slice src.png gone/p.html --dry-run --mkdir", 0},
  };
  const auto before = Entries();
  for (const auto& c : cases) {
    const TRun dry = Cli(c.Args);
    EXPECT_EQ(dry.Status, c.Status) << c.Args << "\n" << dry.Err;
    EXPECT_EQ(Entries(), before) << c.Args;
    if (c.Status == 0) continue;
    // The export itself ends as its dry run said.
    const std::string real = c.Args.substr(0, c.Args.find(" --dry-run"));
    EXPECT_EQ(Cli(real).Status, c.Status) << real;
    EXPECT_EQ(Entries(), before) << real;
  }
}

// A position given twice, or on an edge, is one line: the slices keep the
// numbers the window gives them, and texts and merges their cells.
TEST_F(CliInputsOutputs, LinesGivenTwiceNumberTheSlicesAsTheWindowDoes) {
  apptest::WriteFile(Dir / "t.tags", "1\t1\tone.html\t\tOne\n2\t1\ttwo.html\t\tTwo\n");
  const TRun edge = Cli("slice src.png o.html --vert 0,200,200 --tags t.tags --format bmp");
  ASSERT_EQ(edge.Status, 0) << edge.Err;
  EXPECT_EQ(edge.Err, "");
  EXPECT_TRUE(fs::exists(Dir / "o_1_1.bmp") && fs::exists(Dir / "o_2_1.bmp"));
  EXPECT_FALSE(fs::exists(Dir / "o_3_1.bmp"));
  EXPECT_NE(apptest::ReadFile(Dir / "o.html").find("HREF=\"one.html\"><img src='o_1_1.bmp' width=200"),
            std::string::npos);

  apptest::WriteFile(Dir / "g.grd", "0\n240\n-\n0\n200\n400\n");
  apptest::WriteFile(Dir / "g.cells", "merge\t1\t1\t2\t1\n");
  const TRun again = Cli("slice src.png m.html --grid g.grd --vert 200 --format bmp");
  ASSERT_EQ(again.Status, 0) << again.Err;
  EXPECT_NE(apptest::ReadFile(Dir / "m.html").find("src='m_1_1.bmp' width=400"), std::string::npos)
      << apptest::ReadFile(Dir / "m.html");
  EXPECT_TRUE(fs::exists(Dir / "m_1_1.bmp"));
  EXPECT_FALSE(fs::exists(Dir / "m_2_1.bmp"));
  // A position before the image is said, with its file and line.
  apptest::WriteFile(Dir / "low.grd", "0\n240\n-\n-5\n200\n400\n");
  const TRun low = Cli("slice src.png l.html --grid low.grd --format bmp");
  ASSERT_EQ(low.Status, 0) << low.Err;
  EXPECT_EQ(low.Err, "warning: low.grd, line 4: line -5 lies before the image's edge (taken as 0)\n");
  EXPECT_NE(apptest::ReadFile(Dir / "l.html").find("src='l_1_1.bmp' width=200"), std::string::npos);
}

// A saved grid's companions come and go together, and --grid reads both.
TEST_F(CliInputsOutputs, SavedGridKeepsNoStaleTextsAndReadsThemBack) {
  apptest::WriteFile(Dir / "t.tags", "1\t1\tone.html\t\tLogo\n");
  ASSERT_EQ(Cli("slice src.png p.html --vert 100 --tags t.tags --save-grid --format bmp").Status, 0);
  const TRun back = Cli("slice src.png q.html --grid p.grd --format bmp");
  ASSERT_EQ(back.Status, 0) << back.Err;
  EXPECT_NE(apptest::ReadFile(Dir / "q.html").find("ALT=\"Logo\""), std::string::npos);
  // Saved again without texts: none of the earlier cut stays beside it.
  ASSERT_EQ(Cli("slice src.png p.html --vert 300 --save-grid --overwrite --format bmp").Status, 0);
  EXPECT_EQ(apptest::ReadFile(Dir / "p.tags").find("one.html"), std::string::npos);
  const TRun later = Cli("slice src.png r.html --grid p.grd --format bmp");
  ASSERT_EQ(later.Status, 0) << later.Err;
  EXPECT_EQ(apptest::ReadFile(Dir / "r.html").find("one.html"), std::string::npos);
}

// A half-size slice's pixel is the rounded mean of its four.
TEST_F(CliInputsOutputs, RetinaHalvesRoundTheMean) {
  // Two 2 x 2 blocks: red 168 171 / 226 75 (mean 160 exactly), green and
  // blue 1 1 / 1 2 (mean 1.25, rounds down) and 1 2 / 2 2 (1.75, up).
  const unsigned char pixels[] = {168, 1, 1, 171, 1, 2, 10, 0, 0, 10, 0, 0,
                                  226, 1, 2, 75,  2, 2, 10, 0, 0, 10, 0, 0};
  std::ofstream(Dir / "b.ppm", std::ios::binary) << "P6\n4 2\n255\n"
                                                 << std::string(reinterpret_cast<const char*>(pixels), sizeof pixels);
  const TRun run = Cli("slice b.ppm h.html --retina --format bmp");
  ASSERT_EQ(run.Status, 0) << run.Err;
  TPixelGraphic half;
  half.LoadFromFile((Dir / "h_1_1.bmp").string());
  ASSERT_EQ(half.Width(), 2);
  const TRGB first = half.GetPixelColor(0, 0);
  EXPECT_EQ(int(GetRValue(first)), 160);
  EXPECT_EQ(int(GetGValue(first)), 1);
  EXPECT_EQ(int(GetBValue(first)), 2);
  EXPECT_EQ(int(GetRValue(half.GetPixelColor(1, 0))), 10);
}

// Text from a file reaches the terminal without control bytes, shortened,
// and an image's own error names the image.
TEST_F(CliInputsOutputs, MessagesQuoteFilesSafely) {
  apptest::WriteFile(Dir / "esc.grd", std::string("0\n\x1b[31mred\n", 12));
  apptest::WriteFile(Dir / "long.grd", "0\n" + std::string(100000, '7') + "x\n");
  apptest::WriteFile(Dir / "cr.tags", "1\t1\ta\rb\n1\t1\n2\n");
  apptest::WriteFile(Dir / "bad.png", "\x89PNG\r\n\x1a\nnot a PNG at all");
  const struct {
    std::string Args, Err;
  } cases[] = {
      {"slice src.png p.html --grid esc.grd", "esc.grd, line 2: '?[31mred' is not a valid integer value\n"},
      {"slice src.png p.html --grid long.grd",
       "long.grd, line 2: '" + std::string(60, '7') + "...' is not a valid integer value\n"},
      {"slice src.png p.html --tags cr.tags", "cr.tags, line 3:"},
      {"slice bad.png p.html", "bad.png"},
  };
  for (const auto& c : cases) {
    const TRun run = Cli(c.Args);
    EXPECT_EQ(run.Status, 1) << c.Args;
    EXPECT_EQ(run.Err.substr(0, c.Err.size()), c.Err) << c.Args;
    EXPECT_EQ(run.Err.find('\x1b'), std::string::npos) << c.Args;
    EXPECT_LT(run.Err.size(), 400u) << c.Args;
  }
}

// SIGTERM in mid-export: neither staging files nor the lock stay behind.
TEST_F(CliInputsOutputs, StoppedExportLeavesNothingBehind) {
  // Large enough that the export is still writing when the signal comes.
  std::ofstream big(Dir / "big.ppm", std::ios::binary);
  big << "P6\n3000 3000\n255\n";
  std::string row(3000 * 3, '\0');
  for (int y = 0; y < 3000; ++y) {
    for (std::size_t i = 0; i < row.size(); ++i) row[i] = char((i * 7 + std::size_t(y) * 13) & 0xFF);
    big << row;
  }
  big.close();
  const auto before = Entries();
  const pid_t child = ::fork();
  if (child == 0) {
    ::chdir(Dir.c_str());
    ::execl(TESSEL_CLI_PATH, "tessel-cli", "slice", "big.ppm", "p.html", "--vert", "1000,2000", "--format", "png",
            "--threads", "1", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // The lock is taken before the first file is staged.
  for (int i = 0; i < 400 && !fs::exists(Dir / ".p.tessel-lock"); ++i) ::usleep(10000);
  ::usleep(100000);
  ::kill(child, SIGTERM);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the export ended before the signal";
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  EXPECT_EQ(Entries(), before);
}

}  // namespace
