#pragma once
// Ways to make writes fail as root, where permissions stop nothing: a file
// size limit in a child process, an immutable directory, and the listing and
// reading helpers that check what a failed write left behind. Also a log of
// the syncs and renames a program makes, for the order a crash would see.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <typeinfo>
#include <vector>

#include "support/file_contents.h"
#include "support/scratch_dir.h"

namespace faildisk {

// What an action did in its child process.
struct TOutcome {
  bool Finished = false;  // the child reported back at all
  bool Threw = false;
  std::string Type;  // typeid name of what was thrown
  std::string Message;
};

namespace detail {

inline void WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n <= 0) return;
    done += std::size_t(n);
  }
}

inline std::string ReadAll(int fd) {
  std::string text;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof buf)) > 0) text.append(buf, std::size_t(n));
  return text;
}

// The limit applies to every file the process writes; with SIGXFSZ ignored
// the write that crosses it returns EFBIG instead of killing the process.
inline void LimitFileSize(rlim_t bytes) {
  ::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{bytes, bytes};
  ::setrlimit(RLIMIT_FSIZE, &limit);
}

// Child side: "R" (returned) or "T" + type + NUL + message.
template <class F>
std::string RunAndDescribe(F& action) {
  try {
    action();
    return "R";
  } catch (const std::exception& e) {
    return std::string("T") + typeid(e).name() + '\0' + e.what();
  } catch (...) {
    return "T?";
  }
}

inline TOutcome Parse(const std::string& report) {
  TOutcome out;
  if (report.empty()) return out;
  out.Finished = true;
  out.Threw = report[0] == 'T';
  const std::size_t nul = report.find('\0');
  out.Type = report.substr(1, nul == std::string::npos ? std::string::npos : nul - 1);
  if (nul != std::string::npos) out.Message = report.substr(nul + 1);
  return out;
}

}  // namespace detail

// Runs action in a forked child whose files cannot grow beyond limit bytes.
template <class F>
TOutcome WithFileSizeLimit(rlim_t limit, F&& action) {
  int fds[2];
  if (::pipe(fds) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    detail::LimitFileSize(limit);
    detail::WriteAll(fds[1], detail::RunAndDescribe(action));
    ::_exit(0);
  }
  ::close(fds[1]);
  const std::string report = pid > 0 ? detail::ReadAll(fds[0]) : std::string();
  ::close(fds[0]);
  if (pid > 0) ::waitpid(pid, nullptr, 0);
  return detail::Parse(report);
}

template <class E>
bool IsA(const TOutcome& outcome) {
  return outcome.Type == typeid(E).name();
}

namespace detail {

inline bool SetImmutable(int fd, bool on) {
  int flags = 0;
  if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) return false;
  flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
  return ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
}

inline bool SetImmutable(const std::filesystem::path& dir, bool on) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  const bool done = fd >= 0 && SetImmutable(fd, on);
  if (fd >= 0) ::close(fd);
  return done;
}

}  // namespace detail

// While it lives, no entry of the directory can be created, removed or
// renamed, not even by root. Active() is false where the file system has no
// such flag; callers skip then.
class TImmutableDir {
 public:
  explicit TImmutableDir(const std::filesystem::path& dir)
      : Dir(dir), Done(detail::SetImmutable(dir, true)) {}
  ~TImmutableDir() {
    if (Done) detail::SetImmutable(Dir, false);
  }
  TImmutableDir(const TImmutableDir&) = delete;
  TImmutableDir& operator=(const TImmutableDir&) = delete;
  bool Active() const { return Done; }

 private:
  std::filesystem::path Dir;
  bool Done;
};

// Names in dir, sorted, hidden ones included: a temporary shows up here.
inline std::vector<std::string> Entries(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

inline std::string Read(const std::filesystem::path& path) { return support::ReadText(path); }

inline void Write(const std::filesystem::path& path, const std::string& bytes) { support::WriteFile(path, bytes); }

// A fresh directory for the running test. A run killed while the directory
// was immutable would block its removal: the flag is cleared first.
inline std::filesystem::path ScratchDir(const std::string& area) {
  const auto dir = support::ScratchPath(area);
  if (std::filesystem::is_directory(dir)) detail::SetImmutable(dir, false);
  return support::ScratchDir(area);
}

}  // namespace faildisk

// ---- syncs and renames

namespace faildisk {

// "fsync PATH" and "rename FROM TO", in the order the program made them.
// Filled only in a test program with the probe below.
inline std::mutex SyncLogLock;
inline std::vector<std::string> SyncLog;

// Called with the descriptor before each flock of a program with the probe
// below, so that a test can change the file system at that moment.
inline std::function<void(int fd)> BeforeFlock;

inline std::vector<std::string> TakeSyncLog() {
  std::lock_guard<std::mutex> guard(SyncLogLock);
  return std::exchange(SyncLog, {});
}

namespace detail {
inline void NoteSync(const std::string& entry) {
  std::lock_guard<std::mutex> guard(SyncLogLock);
  SyncLog.push_back(entry);
}
}  // namespace detail

}  // namespace faildisk

// One file of a test program defines FAILDISK_SYNC_PROBE before including
// this header: the program's fsync and rename then note what they touch
// and do their work through the system calls themselves, and its flock
// calls BeforeFlock first.
#ifdef FAILDISK_SYNC_PROBE
extern "C" int fsync(int fd) {
  char path[4096] = {};
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t n = ::readlink(link.c_str(), path, sizeof path - 1);
  faildisk::detail::NoteSync("fsync " + std::string(path, n > 0 ? std::size_t(n) : 0));
  return int(::syscall(SYS_fsync, fd));
}

extern "C" int rename(const char* from, const char* to) {
  faildisk::detail::NoteSync(std::string("rename ") + from + " " + to);
  return int(::syscall(SYS_renameat, AT_FDCWD, from, AT_FDCWD, to));
}

extern "C" int flock(int fd, int operation) {
  if (faildisk::BeforeFlock) faildisk::BeforeFlock(fd);
  return int(::syscall(SYS_flock, fd, operation));
}
#endif
