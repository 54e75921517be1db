#pragma once
// Ends the test program with a message when a step has not finished within
// a generous time, so a deadlock shows up as a failure instead of a hang.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

class TWatchdog {
 public:
  TWatchdog(const char* what, std::chrono::seconds limit)
      : FThread([this, what, deadline = std::chrono::steady_clock::now() + limit] {
          while (!FDone)
            if (std::chrono::steady_clock::now() > deadline) {
              std::fprintf(stderr, "FAIL: %s did not finish in time\n", what);
              std::_Exit(1);
            } else {
              std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }) {}
  ~TWatchdog() {
    FDone = true;
    FThread.join();
  }

 private:
  std::atomic<bool> FDone{false};
  std::thread FThread;
};
