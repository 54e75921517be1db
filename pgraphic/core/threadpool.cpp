#include "pgraphic/core/threadpool.h"

#include <pthread.h>

#include <algorithm>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

int PGCores() { return int(std::max(1u, std::thread::hardware_concurrency())); }

namespace {

// Threads that wait for jobs. A job handed over goes to an idle thread, or
// to a new one when every thread is busy; threads are joined when the
// program ends, by which time every group has waited for its jobs.
//
// A child made by fork has none of its parent's threads, while the pool it
// inherits counts them idle: it gets a pool of its own, and the parent's
// (its lock and condition left as the vanished threads had them) is never
// touched again there, only kept.
class TPool {
 public:
  static TPool& Instance() {
    static const TEnd end;
    return *Current;
  }

  // False when no thread is idle and none could be started.
  bool Start(std::function<void()> job) {
    std::lock_guard<std::mutex> guard(FLock);
    FJobs.push_back(std::move(job));
    if (FIdle >= std::ptrdiff_t(FJobs.size())) {
      FWake.notify_one();
      return true;
    }
    try {
      FThreads.emplace_back([this] { Loop(); });
    } catch (const std::system_error&) {
      FJobs.pop_back();
      return false;
    }
    return true;
  }

 private:
  void Loop() {
    std::unique_lock<std::mutex> lock(FLock);
    for (;;) {
      ++FIdle;
      FWake.wait(lock, [this] { return FStopping || !FJobs.empty(); });
      --FIdle;
      if (FJobs.empty()) return;
      std::function<void()> job = std::move(FJobs.front());
      FJobs.pop_front();
      lock.unlock();
      job();  // a runner of a group: it catches what its jobs raise
      job = nullptr;
      lock.lock();
    }
  }

  // Made with the first pool; at the program's end, joins the threads of
  // the pool of this process.
  struct TEnd {
    TEnd() {
      Current = new TPool;
      ::pthread_atfork(nullptr, nullptr, [] {
        TPool* const fresh = new TPool;
        fresh->FParent = Current;
        Current = fresh;
      });
    }
    ~TEnd() {
      {
        std::lock_guard<std::mutex> guard(Current->FLock);
        Current->FStopping = true;
      }
      Current->FWake.notify_all();
      for (std::thread& thread : Current->FThreads) thread.join();
    }
  };

  static inline TPool* Current = nullptr;
  TPool* FParent = nullptr;  // the pool of the process this one forked from
  std::mutex FLock;
  std::condition_variable FWake;
  std::deque<std::function<void()>> FJobs;
  std::ptrdiff_t FIdle = 0;
  bool FStopping = false;
  std::vector<std::thread> FThreads;
};

}  // namespace

TPGTaskGroup::TPGTaskGroup(int parallel) : FParallel(parallel < 1 ? PGCores() : parallel) {}

TPGTaskGroup::~TPGTaskGroup() {
  Cancel();
  WaitForFailure();
}

bool TPGTaskGroup::Run(std::function<void()> job) {
  {
    std::lock_guard<std::mutex> guard(FLock);
    if (FCancelled) return false;
    FQueue.push_back(std::move(job));
  }
  StartRunners();
  return true;
}

bool TPGTaskGroup::RunOnThread(std::function<void()> job) {
  if (!Run(std::move(job))) return false;
  std::lock_guard<std::mutex> guard(FLock);
  // A runner left will take the job, or one has taken it already.
  if (FRunners > 0 || FQueue.empty()) return true;
  // No runner could start: the job is the last queued, as nobody else queues.
  FQueue.pop_back();
  return false;
}

// Runners take the queue's jobs one after another until it is empty; one
// more starts while fewer than Parallel run and jobs wait.
void TPGTaskGroup::StartRunners() {
  for (;;) {
    {
      std::lock_guard<std::mutex> guard(FLock);
      // Runners at a job of their own take no more of the queue for now.
      const std::size_t free = std::size_t(FRunners - FRunnersBusy);
      if (FCancelled || FRunners >= FParallel || free >= FQueue.size()) return;
      ++FRunners;
    }
    const bool started = TPool::Instance().Start([this] {
      std::unique_lock<std::mutex> lock(FLock);
      RunQueued(lock, true);
      --FRunners;
      // Told under the lock: once it is let go, the group may be gone.
      FIdle.notify_all();
    });
    if (!started) {
      std::lock_guard<std::mutex> guard(FLock);
      --FRunners;
      FIdle.notify_all();
      return;  // Wait runs what no thread takes
    }
  }
}

// With the lock held: runs queued jobs until none is left or the group stops.
void TPGTaskGroup::RunQueued(std::unique_lock<std::mutex>& lock, bool runner) {
  while (!FQueue.empty() && !FCancelled) {
    std::function<void()> job = std::move(FQueue.front());
    FQueue.pop_front();
    ++FExecuting;
    FRunnersBusy += runner;
    lock.unlock();
    std::exception_ptr failure;
    try {
      job();
    } catch (...) {
      failure = std::current_exception();
    }
    job = nullptr;
    lock.lock();
    --FExecuting;
    FRunnersBusy -= runner;
    if (failure && !FFailure) {
      FFailure = failure;
      FCancelled = true;
      FQueue.clear();
    }
  }
  FIdle.notify_all();
}

bool TPGTaskGroup::Cancelled() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FCancelled;
}

void TPGTaskGroup::Cancel() {
  std::deque<std::function<void()>> dropped;
  {
    std::lock_guard<std::mutex> guard(FLock);
    FCancelled = true;
    dropped.swap(FQueue);
  }
  FIdle.notify_all();
}

int TPGTaskGroup::Running() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FRunners;
}

std::exception_ptr TPGTaskGroup::WaitForFailure() {
  std::unique_lock<std::mutex> lock(FLock);
  for (;;) {
    if (FRunners == 0 && !FQueue.empty() && !FCancelled) {
      RunQueued(lock, false);
      continue;
    }
    if (FRunners == 0 && FExecuting == 0) break;
    FIdle.wait(lock);
  }
  return FFailure;
}

void TPGTaskGroup::Wait() {
  if (std::exception_ptr failure = WaitForFailure()) std::rethrow_exception(failure);
}
