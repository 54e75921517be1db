// The staged file every save goes through: what it takes over from the file
// it replaces and what it never does, and the clean-up after killed runs.

#include "pgraphic/core/stagedfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#define FAILDISK_SYNC_PROBE
#include "support/failing_disk.h"

namespace {

namespace fs = std::filesystem;
using faildisk::Entries;
using faildisk::Read;
using faildisk::Write;
using S = std::vector<std::string>;

mode_t ModeOf(const fs::path& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

void Replace(const fs::path& target, const std::string& text) {
  WriteFileStaged(target.string(), text);
}

std::string CreateError(const fs::path& target) {
  try {
    TStagedFile file(target.string());
  } catch (const EStreamError& e) {
    return e.what();
  }
  return "";
}

// A process id that is certainly gone: a child that has exited and been reaped.
long GonePid() {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(0);
  ::waitpid(pid, nullptr, 0);
  return long(pid);
}

TEST(StagedFile, ReplacedFileLendsItsPermissionsButNoSetIdOrStickyBit) {
  const fs::path dir = faildisk::ScratchDir("core");
  Write(dir / "tool.bmp", "old");
  ASSERT_EQ(::chmod((dir / "tool.bmp").c_str(), 07750), 0);
  Replace(dir / "tool.bmp", "new");
  EXPECT_EQ(Read(dir / "tool.bmp"), "new");
  EXPECT_EQ(ModeOf(dir / "tool.bmp") & 07777, 0750u);
  EXPECT_EQ(Entries(dir), S{"tool.bmp"});
}

// The link goes, the file it points to stays as it was, and the new file
// has the mode any new file gets.
TEST(StagedFile, LinkAtTheTargetIsReplacedByAFileOfTheDefaultMode) {
  const fs::path dir = faildisk::ScratchDir("core");
  const mode_t mask = ::umask(022);
  Write(dir / "victim", "precious");
  ASSERT_EQ(::chmod((dir / "victim").c_str(), 04755), 0);
  fs::create_symlink(dir / "victim", dir / "slice.jpg");
  Replace(dir / "slice.jpg", "new");
  EXPECT_TRUE(S_ISREG(ModeOf(dir / "slice.jpg")));
  EXPECT_EQ(ModeOf(dir / "slice.jpg") & 07777, 0644u);
  EXPECT_EQ(Read(dir / "victim"), "precious");
  EXPECT_EQ(ModeOf(dir / "victim") & 07777, 04755u);
  ::umask(mask);
}

TEST(StagedFile, UncommittedFileLeavesNoTraceAndMessagesNameTheTarget) {
  const fs::path dir = faildisk::ScratchDir("core");
  Write(dir / "page.html", "old");
  {
    TStagedFile file((dir / "page.html").string());
    file.Stream().WriteBuffer("new", 3);
    file.Finish();
    EXPECT_TRUE(fs::exists(file.StagingPath()));
  }
  EXPECT_EQ(Read(dir / "page.html"), "old");
  EXPECT_EQ(Entries(dir), S{"page.html"});
  // Nodes a rename would take out of the system, and folders, are no targets.
  ASSERT_EQ(::mkfifo((dir / "pipe.bmp").c_str(), 0644), 0);
  fs::create_directory(dir / "folder.bmp");
  EXPECT_EQ(CreateError(dir / "pipe.bmp"), "Cannot create file \"" + (dir / "pipe.bmp").string() + "\". Not a regular file");
  EXPECT_EQ(CreateError(dir / "folder.bmp"), "Cannot create file \"" + (dir / "folder.bmp").string() + "\". Is a directory");
  EXPECT_EQ(CreateError(dir / "gone" / "x.bmp"),
            "Cannot create file \"" + (dir / "gone" / "x.bmp").string() + "\". No such file or directory");
  EXPECT_TRUE(S_ISFIFO(ModeOf(dir / "pipe.bmp")));
  EXPECT_EQ(Entries(dir), (S{"folder.bmp", "page.html", "pipe.bmp"}));
}

// A crash must find the old file or the complete new one: the content is
// on the disk before the name moves, and the name before the save returns.
TEST(StagedFile, ContentIsSyncedBeforeTheRenameAndTheDirectoryAfterIt) {
  const fs::path dir = faildisk::ScratchDir("core");
  const fs::path target = dir / "saved.txt";
  faildisk::TakeSyncLog();
  std::string staging;
  {
    std::vector<TStagedFile> files;
    files.emplace_back(target.string());
    staging = fs::canonical(files.back().StagingPath()).string();
    files.back().Stream().WriteBuffer("content", 7);
    CommitStagedFiles(files);
  }
  const S log = faildisk::TakeSyncLog();
  const S expected = {"fsync " + staging, "rename " + (dir / fs::path(staging).filename()).string() +
                                              " " + target.string(),
                      "fsync " + fs::canonical(dir).string()};
  EXPECT_EQ(log, expected);
  EXPECT_EQ(Read(target), "content");
}

TEST(StagedFile, StagingFilesOfGoneProcessesOnThisHostAreRemoved) {
  const fs::path dir = faildisk::ScratchDir("core");
  const long gone = GonePid();
  const std::string dead = StagingFileName(gone, 3);
  const std::string alive = StagingFileName(::getpid(), 4);
  std::string otherHost = dead;
  otherHost[9] = otherHost[9] == '0' ? '1' : '0';  // the first digit of the host tag
  for (const std::string& name : {dead, alive, otherHost, std::string("keep.tmp")}) Write(dir / name, "x");
  EXPECT_EQ(StagingFileOwner(dead), gone);
  EXPECT_EQ(StagingFileOwner(otherHost), 0);
  EXPECT_EQ(RemoveStaleStagingFiles(dir.string()), 1);
  S kept{alive, otherHost, "keep.tmp"};
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(Entries(dir), kept);
}

}  // namespace
