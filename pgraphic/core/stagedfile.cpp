#include "pgraphic/core/stagedfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>

#include "pgraphic/core/stopcleanup.h"

namespace {

[[noreturn]] void RaiseCreate(const std::string& target, const std::string& reason) {
  throw EStreamWriteError("Cannot create file \"" + target + "\". " + reason);
}

[[noreturn]] void RaiseWrite(const std::string& target, int error) {
  throw EStreamWriteError("Cannot write file \"" + target + "\". " + std::strerror(error ? error : EIO));
}

// The target's directory with its slash ("" for the current directory), so
// that names can be appended directly.
std::string DirectoryPrefixOf(const std::string& target) {
  const std::size_t slash = target.find_last_of('/');
  return slash == std::string::npos ? "" : target.substr(0, slash + 1);
}

// Eight hex digits that tell this host's staging files from those another
// machine writes into a shared directory: only this host can know whether
// their process is gone.
const std::string& HostTag() {
  static const std::string tag = [] {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) name[0] = '\0';
    std::uint32_t hash = 2166136261u;
    for (const char* p = name; *p; ++p) hash = (hash ^ std::uint8_t(*p)) * 16777619u;
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", hash);
    return std::string(hex);
  }();
  return tag;
}

std::string StagingPrefix() { return ".~tessel-" + HostTag() + "-"; }

std::atomic<std::uint64_t> NextStagingNumber{0};

// Digits of text from at on, up to stop; false when there are none or
// something else is in the way.
bool ReadNumber(const std::string& text, std::size_t& at, char stop, std::uint64_t& value) {
  const std::size_t start = at;
  value = 0;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 19)
    value = value * 10 + std::uint64_t(text[at++] - '0');
  return at > start && at < text.size() && text[at] == stop;
}

void SyncDirectory(const std::string& prefix) {
  const int fd = ::open(prefix.empty() ? "." : prefix.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  // Best effort: the files are in place already, a refusal here changes nothing.
  (void)::fsync(fd);
  ::close(fd);
}

bool ProcessIsGone(long pid) { return ::kill(pid_t(pid), 0) != 0 && errno == ESRCH; }

}  // namespace

std::string StagingFileName(long pid, std::uint64_t n) {
  return StagingPrefix() + std::to_string(pid) + "-" + std::to_string(n) + ".tmp";
}

long StagingFileOwner(const std::string& name) {
  const std::string prefix = StagingPrefix();
  if (name.compare(0, prefix.size(), prefix) != 0) return 0;
  std::size_t at = prefix.size();
  std::uint64_t pid = 0, n = 0;
  if (!ReadNumber(name, at, '-', pid) || !ReadNumber(name, ++at, '.', n)) return 0;
  if (name.compare(at, std::string::npos, ".tmp") != 0 || pid == 0 || pid > 0x7FFFFFFF) return 0;
  return long(pid);
}

TStagedFile::TStagedFile(const std::string& target) : FTarget(target) {
  struct stat old {};
  const bool exists = ::lstat(target.c_str(), &old) == 0;
  if (exists && S_ISDIR(old.st_mode)) RaiseCreate(target, std::strerror(EISDIR));
  // Renaming over a device or pipe would take the node out of the system.
  if (exists && !S_ISREG(old.st_mode) && !S_ISLNK(old.st_mode))
    RaiseCreate(target, "Not a regular file");
  const std::string prefix = DirectoryPrefixOf(target);
  int fd = -1;
  // A name that exists already, a link planted there included, is never
  // opened: the next one is tried.
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    FStaging = prefix + StagingFileName(long(::getpid()), NextStagingNumber++);
    // Known before it exists: a stop by a signal removes it whenever it comes.
    PGRemoveOnStop(FStaging);
    fd = ::open(FStaging.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd >= 0) break;
    const int error = errno;
    PGKeepOnStop(FStaging);
    errno = error;
    if (error != EEXIST) break;
  }
  if (fd < 0) {
    const int error = errno;
    FStaging.clear();
    RaiseCreate(target, std::strerror(error));
  }
  if (exists && S_ISREG(old.st_mode)) {
    // The owner first: changing it clears the set-ID bits, which are not
    // taken over anyway. Both are courtesies; the content is what counts.
    if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
      (void)::fchown(fd, old.st_uid, old.st_gid);
    (void)::fchmod(fd, old.st_mode & 0777);
  }
  try {
    FFile = std::make_unique<TFileStream>(fd, target);
    FFile->WriteBackAsItGoes();
  } catch (...) {
    ::unlink(FStaging.c_str());
    PGKeepOnStop(FStaging);
    throw;
  }
}

TStagedFile::~TStagedFile() { Discard(); }

TStagedFile::TStagedFile(TStagedFile&& other) noexcept
    : FTarget(std::move(other.FTarget)),
      FStaging(std::move(other.FStaging)),
      FFile(std::move(other.FFile)),
      FComplete(other.FComplete),
      FCommitted(other.FCommitted) {
  other.FStaging.clear();
}

TStagedFile& TStagedFile::operator=(TStagedFile&& other) noexcept {
  if (this != &other) {
    Discard();
    FTarget = std::move(other.FTarget);
    FStaging = std::move(other.FStaging);
    FFile = std::move(other.FFile);
    FCommitted = other.FCommitted;
    FComplete = other.FComplete;
    other.FStaging.clear();
  }
  return *this;
}

void TStagedFile::Discard() noexcept {
  FFile.reset();
  if (!FCommitted && !FStaging.empty()) {
    ::unlink(FStaging.c_str());
    PGKeepOnStop(FStaging);
  }
  FStaging.clear();
}

TStream& TStagedFile::Stream() {
  if (!FFile) RaiseWrite(FTarget, EBADF);
  return *FFile;
}

void TStagedFile::Finish() {
  if (!FFile) return;
  try {
    FFile->Close();
  } catch (...) {
    FFile.reset();
    throw;
  }
  FFile.reset();
  FComplete = true;
}

void TStagedFile::Commit() {
  if (FCommitted) return;
  Finish();
  // A file whose finishing failed is incomplete: it never takes the place.
  if (!FComplete || FStaging.empty()) RaiseWrite(FTarget, EIO);
  if (std::rename(FStaging.c_str(), FTarget.c_str()) != 0) RaiseWrite(FTarget, errno);
  FCommitted = true;
  PGKeepOnStop(FStaging);
}

void WriteFileStaged(const std::string& path, const std::string& bytes) {
  std::vector<TStagedFile> files;
  files.emplace_back(path);
  files.back().Stream().WriteBuffer(bytes.data(), std::int64_t(bytes.size()));
  CommitStagedFiles(files);
}

void CommitStagedFiles(std::vector<TStagedFile>& files,
                       const std::function<void(const std::string& target)>& placed) {
  std::set<std::string> directories;
  for (TStagedFile& file : files) {
    file.Commit();
    directories.insert(DirectoryPrefixOf(file.Target()));
    if (placed) placed(file.Target());
  }
  for (const std::string& prefix : directories) SyncDirectory(prefix);
}

int RemoveStaleStagingFiles(const std::string& directory) {
  DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
  if (!dir) return 0;
  int removed = 0;
  while (const dirent* entry = ::readdir(dir)) {
    const long owner = StagingFileOwner(entry->d_name);
    if (owner == 0 || owner == long(::getpid()) || !ProcessIsGone(owner)) continue;
    if (::unlinkat(::dirfd(dir), entry->d_name, 0) == 0) ++removed;
  }
  ::closedir(dir);
  return removed;
}

TFileIdentity FileIdentityOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  return {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino), true};
}
