#include "app/export/exportcommit.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "pgraphic/core/stopcleanup.h"
#include "pgraphic/core/stream.h"

std::string LockPathFor(const TExportNames& names) {
  return PathInDirectory(names.Directory, "." + names.BaseName + ".tessel-lock");
}

namespace {

bool SameFile(int fd, const std::string& path) {
  struct stat held {}, named {};
  return ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

// A file system without locks cannot keep two exports apart, but should not
// stop the one export either.
bool LocksUnsupported(int error) {
  return error == ENOLCK || error == EOPNOTSUPP || error == ENOTSUP || error == EINVAL;
}

// The page the holder of a lock exports, which it writes into the lock file.
std::string HolderOf(int fd, const std::string& otherwise) {
  char page[4096];
  const ssize_t got = ::pread(fd, page, sizeof page, 0);
  return got > 0 ? std::string(page, std::size_t(got)) : otherwise;
}

// What stops the lock file stops the HTML file too, and that is the file
// the user knows of; a link or a folder in the lock's place is named, as
// only its removal helps.
[[noreturn]] void RaiseLockFile(const std::string& lockPath, const std::string& htmlPath, int error) {
  struct stat st {};
  if (::lstat(lockPath.c_str(), &st) == 0 && (S_ISLNK(st.st_mode) || S_ISDIR(st.st_mode)))
    throw EStreamWriteError("Cannot lock \"" + htmlPath + "\": \"" + lockPath + "\" is " +
                            (S_ISDIR(st.st_mode) ? "a folder" : "a symbolic link") +
                            ", not the lock file an export makes; remove it");
  throw EStreamWriteError("Cannot create file \"" + htmlPath + "\". " + std::strerror(error));
}

// The lock file is removed by the export that held it. Whoever opened it
// just before then and locks it after finds it gone from its name and
// starts again, so two exports never hold locks on different files.
int TakeLock(const std::string& lockPath, const std::string& htmlPath) {
  for (;;) {
    PGRemoveOnStop(lockPath);
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) {
      const int error = errno;
      PGKeepOnStop(lockPath);
      RaiseLockFile(lockPath, htmlPath, error);
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      const std::string holder = HolderOf(fd, htmlPath);
      ::close(fd);
      PGKeepOnStop(lockPath);
      if (LocksUnsupported(error)) return -1;
      if (error == EWOULDBLOCK || error == EINTR)
        throw EExportBusy("Another export to \"" + holder +
                          "\" is running; nothing was written. Try again when it has finished.");
      throw EStreamWriteError("Cannot lock file \"" + lockPath + "\". " + std::strerror(error));
    }
    if (SameFile(fd, lockPath)) {
      // Whoever finds the lock taken learns whose it is.
      if (::ftruncate(fd, 0) == 0) (void)!::pwrite(fd, htmlPath.data(), htmlPath.size(), 0);
      return fd;
    }
    ::close(fd);
  }
}

// Makes the folders of path that are missing, from the top down, each
// known to the stop cleanup before it exists; returns those made.
std::vector<std::string> MakeFolders(const std::string& folder, const std::string& htmlPath) {
  std::vector<std::string> missing;
  std::error_code ec;
  for (std::filesystem::path p = folder; !p.empty() && !std::filesystem::exists(std::filesystem::symlink_status(p, ec));
       p = p.parent_path()) {
    missing.insert(missing.begin(), p.string());
    if (p.parent_path() == p) break;
  }
  std::vector<std::string> made;
  for (const std::string& path : missing) {
    PGRemoveFolderOnStop(path);
    if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
      const int error = errno;
      PGKeepOnStop(path);
      for (auto it = made.rbegin(); it != made.rend(); ++it) ::rmdir(it->c_str()), PGKeepOnStop(*it);
      throw EStreamWriteError("Cannot create file \"" + htmlPath + "\". " + std::strerror(error));
    }
    made.push_back(path);
  }
  return made;
}

// Whether the staged file holds the very bytes of the regular file at target.
bool SameBytes(const std::string& staged, const std::string& target) {
  struct stat a {}, b {};
  if (::stat(staged.c_str(), &a) != 0 || ::lstat(target.c_str(), &b) != 0 || !S_ISREG(b.st_mode) ||
      a.st_size != b.st_size)
    return false;
  std::FILE* x = std::fopen(staged.c_str(), "rb");
  std::FILE* y = x ? std::fopen(target.c_str(), "rb") : nullptr;
  bool same = x && y;
  static constexpr std::size_t Chunk = 1 << 16;
  std::vector<char> p(same ? Chunk : 0), q(same ? Chunk : 0);
  while (same) {
    const std::size_t n = std::fread(p.data(), 1, Chunk, x);
    same = std::fread(q.data(), 1, Chunk, y) == n && std::memcmp(p.data(), q.data(), n) == 0;
    if (n < Chunk) break;
  }
  same = same && !std::ferror(x) && !std::ferror(y);
  if (y) std::fclose(y);
  if (x) std::fclose(x);
  return same;
}

}  // namespace

TExportCommit::TExportCommit(const TExportNames& names, const std::string& htmlPath, bool makeFolder)
    : FLockPath(LockPathFor(names)) {
  if (makeFolder && !names.Directory.empty()) FMadeFolders = MakeFolders(names.Directory, htmlPath);
  try {
    FLock = TakeLock(FLockPath, htmlPath);
  } catch (...) {
    for (auto it = FMadeFolders.rbegin(); it != FMadeFolders.rend(); ++it) ::rmdir(it->c_str()), PGKeepOnStop(*it);
    throw;
  }
  RemoveStaleStagingFiles(names.Directory);
}

TExportCommit::~TExportCommit() {
  FStaged.clear();
  if (FLock >= 0) {
    if (SameFile(FLock, FLockPath)) ::unlink(FLockPath.c_str());
    ::close(FLock);
    PGKeepOnStop(FLockPath);
  }
  // A folder made for an export that wrote nothing goes with it.
  for (auto it = FMadeFolders.rbegin(); it != FMadeFolders.rend(); ++it) {
    if (!FCommitted) ::rmdir(it->c_str());
    PGKeepOnStop(*it);
  }
}

void TExportCommit::Stage(TStagedFile file) { FStaged.push_back(std::move(file)); }

void TExportCommit::Stage(std::vector<TStagedFile> files) {
  FStaged.reserve(FStaged.size() + files.size());
  for (TStagedFile& file : files) FStaged.push_back(std::move(file));
}

bool TExportCommit::Stages(const std::string& target) const {
  return std::any_of(FStaged.begin(), FStaged.end(), [&](const TStagedFile& file) { return file.Target() == target; });
}

void TExportCommit::Remove(const std::string& path) { FRemoved.push_back(path); }

void TExportCommit::Commit(const std::function<void(const std::string& target, bool unchanged)>& placed,
                           const std::function<void(const std::string& path)>& removed) {
  // Which files are the same is found before the first takes its place, so
  // the files still go together or not at all.
  std::vector<bool> unchanged(FStaged.size());
  std::vector<std::string> targets;
  std::vector<TStagedFile> changed;
  for (std::size_t i = 0; i < FStaged.size(); ++i) {
    FStaged[i].Finish();
    targets.push_back(FStaged[i].Target());
    unchanged[i] = SameBytes(FStaged[i].StagingPath(), targets[i]);
    if (!unchanged[i]) changed.push_back(std::move(FStaged[i]));
  }
  CommitStagedFiles(changed);
  FCommitted = true;
  FStaged.clear();
  for (std::size_t i = 0; i < targets.size(); ++i)
    if (placed) placed(targets[i], unchanged[i]);
  for (const std::string& path : FRemoved)
    if (::unlink(path.c_str()) == 0 && removed) removed(path);
}
