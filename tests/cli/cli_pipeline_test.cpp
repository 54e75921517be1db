// tessel-cli as a build step runs it: designs sharing one folder, grids
// edited between runs, the JSON summary read by a script, exit statuses
// that tell a retry from a failure, and files left alone when unchanged.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "support/app_test_util.h"

namespace {

namespace fs = std::filesystem;

struct TRun {
  int Status = -1;
  std::string Out, Err;
};

class CliPipeline : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = apptest::ScratchDir();
    fs::copy_file(std::string(TESSEL_SOURCE_DIR) + "/data/sample.png", Dir / "design.png");  // 400 x 240
  }
  // As a Makefile's recipe: in the folder, standard input from input.
  TRun Make(const std::string& args, const std::string& input = "") {
    apptest::WriteFile(Dir / ".in", input);
    const int status = std::system(("cd '" + Dir.string() + "' && '" + TESSEL_CLI_PATH + "' slice design.png " + args +
                                    " <.in >.out 2>.err")
                                       .c_str());
    TRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, apptest::ReadFile(Dir / ".out"),
             apptest::ReadFile(Dir / ".err")};
    for (const char* name : {".in", ".out", ".err"}) fs::remove(Dir / name);
    return run;
  }
  // What a script takes from the JSON document (python's own parser).
  std::string Json(const std::string& document, const std::string& expression) {
    apptest::WriteFile(Dir / ".json", document);
    apptest::WriteFile(Dir / ".py", "import json,sys\nd = json.load(open(sys.argv[1]))\nprint(" + expression + ")\n");
    const std::string command = std::string(peer::kPython) + " '" + (Dir / ".py").string() + "' '" +
                                (Dir / ".json").string() + "' > '" + (Dir / ".value").string() + "'";
    const int status = std::system(command.c_str());
    std::string value = apptest::ReadFile(Dir / ".value");
    for (const char* name : {".json", ".py", ".value"}) fs::remove(Dir / name);
    if (status != 0) ADD_FAILURE() << "not JSON: " << document;
    return value.empty() ? value : value.substr(0, value.size() - 1);
  }
  std::vector<std::string> Slices(const std::string& base) const {
    std::vector<std::string> names;
    for (const std::string& name : apptest::DirEntries(Dir))
      if (name.rfind(base + "_", 0) == 0) names.push_back(name);
    return names;
  }

  fs::path Dir;
};

TEST_F(CliPipeline, GridsChangeBetweenBuildsAndNothingStaleShips) {
  apptest::WriteFile(Dir / "cut.grd", "0\n80\n160\n240\n-\n0\n100\n200\n300\n400\n");
  ASSERT_EQ(Make("page.html --grid cut.grd --format png").Status, 0);
  ASSERT_EQ(Slices("page").size(), 12u);
  apptest::WriteFile(Dir / "page_9_9.png", "not Tessel's");
  // Lines taken out: the slices no longer used go, nothing else does.
  apptest::WriteFile(Dir / "cut.grd", "0\n240\n-\n0\n200\n400\n");
  const TRun planned = Make("page.html --grid cut.grd --format png --overwrite --prune --json --dry-run");
  EXPECT_EQ(Json(planned.Out, "len(d['removed'])"), "10");
  const TRun pruned = Make("page.html --grid cut.grd --format png --overwrite --prune --json");
  ASSERT_EQ(pruned.Status, 0) << pruned.Err;
  EXPECT_EQ(Slices("page"), (std::vector<std::string>{"page_1_1.png", "page_2_1.png", "page_9_9.png"}));
  EXPECT_EQ(Json(pruned.Out, "len(d['removed'])"), "10");
  EXPECT_EQ(Json(pruned.Out, "d['slices'][1]['file'], d['slices'][1]['format'], d['slices'][1]['cell']['x']"),
            "page_2_1.png png 200");
  EXPECT_EQ(Json(pruned.Out, "d['total']['page_bytes'] == d['total']['slice_bytes'] + d['page']['bytes']"), "True");

  // The same inputs again: every file as it was, its time too.
  struct stat before {};
  ::stat((Dir / "page_1_1.png").c_str(), &before);
  const TRun same = Make("page.html --grid cut.grd --format png --overwrite --json");
  ASSERT_EQ(same.Status, 0) << same.Err;
  struct stat after {};
  ::stat((Dir / "page_1_1.png").c_str(), &after);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_EQ(Json(same.Out, "all(s['unchanged'] for s in d['slices']) and d['page']['unchanged']"), "True");

  // The dry run lists every file for the build's dependencies, nothing made.
  const TRun list = Make("other.html --grid cut.grd --save-grid --dry-run --json");
  ASSERT_EQ(list.Status, 0) << list.Err;
  EXPECT_EQ(Json(list.Out, "' '.join(sorted(d['outputs']))"),
            "other.grd other.html other_1_1.jpg other_2_1.jpg");
  EXPECT_FALSE(fs::exists(Dir / "other.html"));
}

TEST_F(CliPipeline, TwoLanguagesInOneFolderNeverShareSlices) {
  ASSERT_EQ(Make("mail.en.html --vert 200").Status, 0);
  const TRun clash = Make("mail.de.html --vert 200 --overwrite");
  EXPECT_EQ(clash.Status, 3);
  EXPECT_NE(clash.Err.find("belongs to the page \"mail.en.html\""), std::string::npos) << clash.Err;
  EXPECT_FALSE(fs::exists(Dir / "mail.de.html"));
  ASSERT_EQ(Make("mail.de.html --vert 200 --name mail-de").Status, 0);
  EXPECT_NE(apptest::ReadFile(Dir / "mail.de.html").find("src='mail-de_1_1.jpg'"), std::string::npos);
  EXPECT_NE(apptest::ReadFile(Dir / "mail.en.html").find("src='mail_1_1.jpg'"), std::string::npos);
}

// Each kind of failure its own status; a warning fails the run when asked.
TEST_F(CliPipeline, ExitStatusesAndWarningsAsErrors) {
  apptest::WriteFile(Dir / "tall.grd", "0\n120\n300\n-\n0\n400\n");
  apptest::WriteFile(Dir / "bad.grd", "0\nten\n");
  apptest::WriteFile(Dir / "taken.html", "mine");
  const struct {
    std::string Args;
    int Status;
  } cases[] = {
      {"a.html --grid tall.grd", 0},  // a warning only
      {"a.html --grid tall.grd --strict", 1},
      {"a.html --grid tall.grd --warnings-as-errors", 1},
      {"a.html --grid bad.grd", 1},
      {"a.html --bogus", 2},
      {"taken.html", 3},
      {"nowhere/a.html", 4},
  };
  for (const auto& c : cases) {
    fs::remove(Dir / "a.html");
    EXPECT_EQ(Make(c.Args + " --quiet").Status, c.Status) << c.Args;
    EXPECT_EQ(fs::exists(Dir / "a.html"), c.Status == 0) << c.Args;
  }
  // --quiet: a warning only is no output; --json: one document on failure too.
  EXPECT_EQ(Make("b.html --grid tall.grd --quiet").Out + Make("c.html --grid tall.grd --quiet").Err, "");
  const TRun failed = Make("taken.html --json");
  EXPECT_EQ(Json(failed.Out, "d['ok'], d['exit']"), "False 3");
  ASSERT_EQ(Make("nowhere/a.html --mkdir").Status, 0);
}

// The grid from standard input; cells and texts that follow their lines
// when a line is added by hand, with word of what moved.
TEST_F(CliPipeline, CompanionsFollowTheLinesTheyWereWrittenFor) {
  apptest::WriteFile(Dir / "t.tags", "2\t1\t\t\tHero picture\n");
  ASSERT_EQ(Make("s.html --vert 100 --tags t.tags --save-grid").Status, 0);
  // A line added to the grid by hand, before the hero's column.
  apptest::WriteFile(Dir / "s.grd", "0\n240\n-\n0\n50\n100\n400\n");
  const TRun moved = Make("s.html --grid s.grd --overwrite");
  ASSERT_EQ(moved.Status, 0) << moved.Err;
  EXPECT_NE(moved.Err.find("s.tags was written for other lines (vertical line 50 added)"), std::string::npos)
      << moved.Err;
  EXPECT_NE(apptest::ReadFile(Dir / "s.html").find("src='s_3_1.jpg' width=300 height=240 ALT=\"Hero picture\""),
            std::string::npos)
      << apptest::ReadFile(Dir / "s.html");
  EXPECT_EQ(Make("s.html --grid s.grd --overwrite --warnings-as-errors").Status, 1);

  const TRun piped = Make("p.html --grid -", "0\n240\n-\n0\n300\n400\n");
  ASSERT_EQ(piped.Status, 0) << piped.Err;
  EXPECT_TRUE(fs::exists(Dir / "p_2_1.jpg"));
}

}  // namespace
