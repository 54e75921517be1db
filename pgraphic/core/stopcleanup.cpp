#include "pgraphic/core/stopcleanup.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace {

struct TRegistry {
  std::mutex Lock;
  std::multiset<std::string> Files;
  std::vector<std::string> Folders;
};

// Never destroyed: a signal may come while static objects are going.
TRegistry& Registry() {
  static TRegistry* registry = new TRegistry;
  return *registry;
}

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}

// Runs on the waiting thread with the registry held for good: nothing is
// registered (nor so made) after this.
void RemoveEverything(TRegistry& registry) {
  for (const std::string& path : registry.Files) ::unlink(path.c_str());
  for (auto it = registry.Folders.rbegin(); it != registry.Folders.rend(); ++it) ::rmdir(it->c_str());
}

void WaitForStop() {
  const sigset_t set = StopSignals();
  int signal = 0;
  while (sigwait(&set, &signal) != 0) {
  }
  TRegistry& registry = Registry();
  registry.Lock.lock();
  RemoveEverything(registry);
  // Ends as the signal says, so that the shell sees how it ended.
  ::signal(signal, SIG_DFL);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  ::raise(signal);
  ::_exit(128 + signal);
}

}  // namespace

void PGRemoveOnStop(const std::string& path) {
  TRegistry& registry = Registry();
  const std::lock_guard<std::mutex> guard(registry.Lock);
  registry.Files.insert(path);
}

void PGRemoveFolderOnStop(const std::string& path) {
  TRegistry& registry = Registry();
  const std::lock_guard<std::mutex> guard(registry.Lock);
  registry.Folders.push_back(path);
}

void PGKeepOnStop(const std::string& path) {
  TRegistry& registry = Registry();
  const std::lock_guard<std::mutex> guard(registry.Lock);
  if (const auto file = registry.Files.find(path); file != registry.Files.end()) {
    registry.Files.erase(file);
    return;
  }
  if (const auto folder = std::find(registry.Folders.rbegin(), registry.Folders.rend(), path);
      folder != registry.Folders.rend())
    registry.Folders.erase(std::next(folder).base());
}

void PGCleanUpOnStopSignals() {
  const sigset_t set = StopSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  Registry();
  std::thread(WaitForStop).detach();
}
