// tessel-cli slice on a disk that gives out halfway: exit status 1, the
// reason on standard error, every old file intact, no staging file left and
// not one new slice: an export takes its places all together or not at all.

#include <gtest/gtest.h>

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "pgraphic/core/pixelgraphic.h"
#include "support/failing_disk.h"
#include "support/peer.h"

namespace {

namespace fs = std::filesystem;
using faildisk::Entries;
using S = std::vector<std::string>;

struct TCliRun {
  int Status = -1;  // exit status, -1 when a signal ended it
  int Signal = 0;
  std::string Out, Err;
};

struct TCliSetup {
  rlim_t FileSizeLimit = RLIM_INFINITY;
  bool IgnoreXfsz = true;        // as a careful caller would
  const char* Stdout = nullptr;  // a file for standard output instead of a pipe
};

[[noreturn]] void ExecCli(const fs::path& dir, const std::vector<std::string>& args,
                          const TCliSetup& setup, int out, int err) {
  if (::chdir(dir.c_str()) != 0) ::_exit(127);
  if (setup.Stdout) out = ::open(setup.Stdout, O_WRONLY);
  ::dup2(out, 1);
  ::dup2(err, 2);
  if (setup.IgnoreXfsz) ::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{setup.FileSizeLimit, setup.FileSizeLimit};
  ::setrlimit(RLIMIT_FSIZE, &limit);
  std::vector<char*> argv{const_cast<char*>(TESSEL_CLI_PATH)};
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  ::execv(TESSEL_CLI_PATH, argv.data());
  ::_exit(127);
}

// Runs tessel-cli in dir. Its output is a few lines, well within what the
// pipes hold, so reading them one after the other cannot block.
TCliRun RunCli(const fs::path& dir, const std::vector<std::string>& args,
               const TCliSetup& setup = {}) {
  int out[2], err[2];
  if (::pipe(out) != 0 || ::pipe(err) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) ExecCli(dir, args, setup, out[1], err[1]);
  ::close(out[1]);
  ::close(err[1]);
  TCliRun run;
  run.Out = faildisk::detail::ReadAll(out[0]);
  run.Err = faildisk::detail::ReadAll(err[0]);
  ::close(out[0]);
  ::close(err[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.Signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return run;
}

std::string Reason(const std::string& what, const std::string& path, int error) {
  return what + " \"" + path + "\". " + std::strerror(error) + "\n";
}

class CliFailingDisk : public ::testing::Test {
 protected:
  void SetUp() override { Dir = faildisk::ScratchDir("cli"); }
  // A source of columns 10, 10 and 100 pixels wide and 40 high at 10 and
  // 20: as BMP slices of 1334, 1334 and 12054 bytes.
  void Source(int width = 120) {
    TPixelGraphic image;
    peer::FromRgb(image, peer::Pattern(width, 40));
    image.SaveToFile((Dir / "src.bmp").string());
  }
  S SliceArgs(const S& more = {}) {
    S args{"slice", "src.bmp", "index.html", "--vert", "10,20", "--format", "bmp"};
    args.insert(args.end(), {"--overwrite", "--save-grid"});
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }
  void OldFiles(const S& names) {
    for (const auto& name : names) faildisk::Write(Dir / name, "old " + name);
  }
  void ExpectOld(const S& names) {
    for (const auto& name : names) EXPECT_EQ(faildisk::Read(Dir / name), "old " + name);
  }

  fs::path Dir;
};

TEST_F(CliFailingDisk, SliceOverTheLimitLeavesEveryFileAsItWas) {
  Source();
  OldFiles({"index.html", "index.grd", "index_1_1.bmp", "index_3_1.bmp"});
  const TCliRun run = RunCli(Dir, SliceArgs(), {5000});
  EXPECT_EQ(run.Status, 4);
  EXPECT_EQ(run.Err, Reason("Cannot write file", "index_3_1.bmp", EFBIG));
  EXPECT_EQ(run.Out, "");
  ExpectOld({"index.html", "index.grd", "index_1_1.bmp", "index_3_1.bmp"});
  EXPECT_EQ(Entries(Dir), (S{"index.grd", "index.html", "index_1_1.bmp", "index_3_1.bmp", "src.bmp"}));
}

TEST_F(CliFailingDisk, HtmlOverTheLimitKeepsTheOldHtmlAndWritesNoSlice) {
  Source(30);
  OldFiles({"index.html"});
  faildisk::Write(Dir / "tags.txt",
                  "1\t1\thttp://example.org/\t\t" + std::string(8000, 'a') + "\n");
  const TCliRun run = RunCli(Dir, SliceArgs({"--tags", "tags.txt"}), {5000});
  EXPECT_EQ(run.Status, 4);
  EXPECT_EQ(run.Err, Reason("Cannot write file", "index.html", EFBIG));
  EXPECT_EQ(run.Out, "");
  ExpectOld({"index.html"});
  EXPECT_EQ(Entries(Dir), (S{"index.html", "src.bmp", "tags.txt"}));
}

// A user's `ulimit -f` leaves the signal at its default, which would kill
// the process in mid-write and strand the temporary file.
TEST_F(CliFailingDisk, FileSizeLimitWithTheSignalAtItsDefaultStillEndsCleanly) {
  Source();
  TCliSetup setup{5000};
  setup.IgnoreXfsz = false;
  const TCliRun run = RunCli(Dir, SliceArgs(), setup);
  EXPECT_EQ(run.Signal, 0);
  EXPECT_EQ(run.Status, 4);
  EXPECT_EQ(run.Err, Reason("Cannot write file", "index_3_1.bmp", EFBIG));
  EXPECT_EQ(Entries(Dir), (S{"src.bmp"}));
}

TEST_F(CliFailingDisk, ReadOnlyDirectoryWritesNothing) {
  Source();
  OldFiles({"index.html", "index_1_1.bmp"});
  TCliRun run;
  {
    faildisk::TImmutableDir frozen(Dir);
    if (!frozen.Active()) GTEST_SKIP() << "no immutable directories on this file system";
    run = RunCli(Dir, SliceArgs());
  }
  EXPECT_EQ(run.Status, 4);
  EXPECT_EQ(run.Err, Reason("Cannot create file", "index.html", EPERM));
  EXPECT_EQ(run.Out, "");
  ExpectOld({"index.html", "index_1_1.bmp"});
  EXPECT_EQ(Entries(Dir), (S{"index.html", "index_1_1.bmp", "src.bmp"}));
}

TEST_F(CliFailingDisk, DirectoryInPlaceOfASliceOrTheGrid) {
  Source();
  OldFiles({"index.html"});
  fs::create_directory(Dir / "index_2_1.bmp");
  TCliRun run = RunCli(Dir, SliceArgs());
  EXPECT_EQ(run.Status, 4);
  EXPECT_EQ(run.Err, Reason("Cannot create file", "index_2_1.bmp", EISDIR));
  ExpectOld({"index.html"});
  EXPECT_EQ(Entries(Dir), (S{"index.html", "index_2_1.bmp", "src.bmp"}));

  // The grid file, the last to take its place, is checked before the first.
  fs::remove(Dir / "index_2_1.bmp");
  fs::create_directory(Dir / "index.grd");
  run = RunCli(Dir, SliceArgs());
  EXPECT_EQ(run.Status, 4);
  EXPECT_EQ(run.Err, Reason("Cannot create file", "index.grd", EISDIR));
  ExpectOld({"index.html"});
  EXPECT_TRUE(fs::is_empty(Dir / "index.grd"));
  EXPECT_EQ(Entries(Dir), (S{"index.grd", "index.html", "src.bmp"}));
}

TEST_F(CliFailingDisk, MissingOutputDirectory) {
  Source();
  const TCliRun run = RunCli(Dir, {"slice", "src.bmp", "gone/index.html", "--format", "png"});
  EXPECT_EQ(run.Status, 4);
  EXPECT_EQ(run.Err, Reason("Cannot create file", "gone/index.html", ENOENT));
  EXPECT_EQ(Entries(Dir), S{"src.bmp"});
}

// The slice list is the command's result; losing it is a failure too.
TEST_F(CliFailingDisk, FullStandardOutputIsAnError) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  Source();
  TCliSetup setup;
  setup.Stdout = "/dev/full";
  const TCliRun run = RunCli(Dir, SliceArgs(), setup);
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Err, "tessel-cli: cannot write to standard output\n");
  EXPECT_EQ(Entries(Dir), (S{".index.html.tessel-files", "index.grd", "index.html", "index_1_1.bmp", "index_2_1.bmp",
                             "index_3_1.bmp", "src.bmp"}));
}

}  // namespace
