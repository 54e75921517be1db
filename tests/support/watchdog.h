#pragma once
// Ends the test program with a message when a step has not finished within
// a generous time, so a deadlock shows up as a failure instead of a hang.

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

class TWatchdog {
 public:
  TWatchdog(std::string what, std::chrono::seconds limit)
      : FThread([this, what = std::move(what), limit] {
          std::unique_lock lock(FMutex);
          if (!FDone.wait_for(lock, limit, [this] { return FReleased; })) {
            std::fprintf(stderr, "FAIL: %s did not finish within %lld s\n", what.c_str(),
                         static_cast<long long>(limit.count()));
            std::_Exit(1);
          }
        }) {}
  ~TWatchdog() {
    {
      std::lock_guard lock(FMutex);
      FReleased = true;
    }
    FDone.notify_all();
    FThread.join();
  }
  TWatchdog(const TWatchdog&) = delete;
  TWatchdog& operator=(const TWatchdog&) = delete;

 private:
  std::mutex FMutex;
  std::condition_variable FDone;
  bool FReleased = false;
  std::thread FThread;
};
