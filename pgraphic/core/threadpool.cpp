#include "pgraphic/core/threadpool.h"

#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <thread>
#include <utility>
#include <vector>

int PGCores() { return int(std::max(1u, std::thread::hardware_concurrency())); }

int PGWorkers() { return PGCores() + 1; }

namespace {

// A pool thread runs on a stack the pool maps itself. The C library would
// otherwise give a finished thread's stack back with madvise, which
// interrupts every other thread of the process that runs on another core;
// the pool's threads only end with the process, so their stacks are kept
// until then and unmapped after the join.
struct TPoolThread {
  pthread_t Id{};
  void* Stack = nullptr;  // guard page included
  std::size_t Size = 0;
};

std::size_t StackSize() {
  pthread_attr_t defaults;
  std::size_t size = 8u << 20;
  if (::pthread_attr_init(&defaults) == 0) {
    ::pthread_attr_getstacksize(&defaults, &size);
    ::pthread_attr_destroy(&defaults);
  }
  const std::size_t page = std::size_t(::sysconf(_SC_PAGESIZE));
  size = std::max<std::size_t>(size, 256u << 10);
  return (size + page - 1) / page * page;
}

bool StartThread(TPoolThread& thread, void* (*entry)(void*), void* argument) {
  const std::size_t page = std::size_t(::sysconf(_SC_PAGESIZE));
  const std::size_t size = StackSize();
  void* const stack = ::mmap(nullptr, size + page, PROT_READ | PROT_WRITE,
                             MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
  if (stack == MAP_FAILED) return false;
  // Stacks grow down: the lowest page stays unreadable, so an overflow
  // faults instead of writing into whatever was mapped below.
  pthread_attr_t attr;
  bool started = ::mprotect(stack, page, PROT_NONE) == 0 && ::pthread_attr_init(&attr) == 0;
  if (started) {
    started = ::pthread_attr_setstack(&attr, static_cast<char*>(stack) + page, size) == 0 &&
              ::pthread_create(&thread.Id, &attr, entry, argument) == 0;
    ::pthread_attr_destroy(&attr);
  }
  if (!started) {
    ::munmap(stack, size + page);
    return false;
  }
  thread.Stack = stack;
  thread.Size = size + page;
  return true;
}

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
    TPoolThread thread;
    FThreads.reserve(FThreads.size() + 1);  // a thread started is always joined
    if (!StartThread(thread, &TPool::Entry, this)) {
      FJobs.pop_back();
      return false;
    }
    FThreads.push_back(thread);
    return true;
  }

 private:
  static void* Entry(void* pool) {
    static_cast<TPool*>(pool)->Loop();
    return nullptr;
  }

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
      for (const TPoolThread& thread : Current->FThreads) {
        ::pthread_join(thread.Id, nullptr);
        ::munmap(thread.Stack, thread.Size);
      }
    }
  };

  static inline TPool* Current = nullptr;
  TPool* FParent = nullptr;  // the pool of the process this one forked from
  std::mutex FLock;
  std::condition_variable FWake;
  std::deque<std::function<void()>> FJobs;
  std::ptrdiff_t FIdle = 0;
  bool FStopping = false;
  std::vector<TPoolThread> FThreads;
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
