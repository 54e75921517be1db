#include "app/export/exportcommit.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "pgraphic/core/stream.h"

namespace {

std::string LockPathFor(const std::string& directory, const std::string& baseName) {
  const std::string name = "." + baseName + ".tessel-lock";
  if (directory.empty()) return name;
  return directory.back() == '/' ? directory + name : directory + "/" + name;
}

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

// The lock file is removed by the export that held it. Whoever opened it
// just before then and locks it after finds it gone from its name and
// starts again, so two exports never hold locks on different files.
int TakeLock(const std::string& lockPath, const std::string& htmlPath) {
  for (;;) {
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    // What stops the lock file (a missing or read-only directory) stops the
    // HTML file too, and that is the file the user knows of.
    if (fd < 0) {
      const int error = errno;
      throw EStreamError("Cannot create file \"" + htmlPath + "\". " + std::strerror(error));
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      ::close(fd);
      if (LocksUnsupported(error)) return -1;
      if (error == EWOULDBLOCK || error == EINTR)
        throw EExportError("Another export to \"" + htmlPath +
                           "\" is running; nothing was written. Try again when it has finished.");
      throw EStreamError("Cannot lock file \"" + lockPath + "\". " + std::strerror(error));
    }
    if (SameFile(fd, lockPath)) return fd;
    ::close(fd);
  }
}

}  // namespace

TExportCommit::TExportCommit(const std::string& directory, const std::string& baseName,
                             const std::string& htmlPath)
    : FLockPath(LockPathFor(directory, baseName)) {
  FLock = TakeLock(FLockPath, htmlPath);
  RemoveStaleStagingFiles(directory);
}

TExportCommit::~TExportCommit() {
  FStaged.clear();
  if (FLock < 0) return;
  if (SameFile(FLock, FLockPath)) ::unlink(FLockPath.c_str());
  ::close(FLock);
}

std::vector<std::string> TExportCommit::CheckOutputs(const std::vector<std::string>& outputs,
                                                     const TFileIdentity& source) const {
  std::vector<std::string> existing;
  for (const std::string& path : outputs) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) continue;
    // A link to the source counts as the source: the page would lose it.
    if (FileIdentityOf(path) == source)
      throw EExportError("Cannot export: \"" + path +
                         "\" is the source image itself; nothing was written.");
    if (S_ISDIR(st.st_mode))
      throw EStreamError("Cannot create file \"" + path + "\". " + std::strerror(EISDIR));
    existing.push_back(path);
  }
  return existing;
}

void TExportCommit::Stage(TStagedFile file) { FStaged.push_back(std::move(file)); }

void TExportCommit::Stage(std::vector<TStagedFile> files) {
  FStaged.reserve(FStaged.size() + files.size());
  for (TStagedFile& file : files) FStaged.push_back(std::move(file));
}

void TExportCommit::Commit(const std::function<void(const std::string& target)>& placed) {
  CommitStagedFiles(FStaged, placed);
}
