#pragma once
// The process's one pool of threads. Everything that works beside the
// calling thread (slice writers, page weighing, PNG written in parts, the
// converted file's writer, the row relay and the load watch) runs its jobs
// here through a TPGTaskGroup, so that cancellation and the order of
// failures are decided in one place and no part of the code starts threads
// of its own.
//
// The pool grows on demand: a job that finds no idle thread gets a new one,
// and threads that finish stay for the next job. A group bounds how many of
// its jobs run at once, so the number of threads follows what the callers
// ask for, never more. Jobs that wait for each other (a writer for the
// rows a reader delivers) therefore never wait for a thread: each has one.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>

// How many jobs of a kind are worth running at once: the machine's cores,
// at least one.
int PGCores();
// How many jobs to run at once where the work divides freely (slices, parts
// of a file): one more than the cores. A job that waits for rows or for the
// disk leaves its core to the extra one, and on a machine busy with other
// work the export keeps its share: the system shares a core among threads,
// not among programs.
int PGWorkers();

// Jobs run together, at most Parallel of them at once, on the pool. The
// first failure (the first job to raise, in time) is kept, the jobs not yet
// started are dropped, and Wait raises it. Cancel drops the jobs not yet
// started and tells those running (Cancelled) to stop. Where the pool cannot
// start a thread, the jobs run on the thread that waits, so a group always
// completes. The destructor cancels and waits; a group must not be
// destroyed from one of its own jobs.
class TPGTaskGroup {
 public:
  // parallel < 1: PGCores().
  explicit TPGTaskGroup(int parallel = 0);
  ~TPGTaskGroup();
  TPGTaskGroup(const TPGTaskGroup&) = delete;
  TPGTaskGroup& operator=(const TPGTaskGroup&) = delete;

  // Queues a job. Returns false when the group is cancelled or has failed
  // (the job is dropped then).
  bool Run(std::function<void()> job);
  // Queues a job that must run beside the caller, never in Wait: the job
  // and the caller wait for each other's work before the caller waits for
  // the group (a writer for the rows a reader has yet to deliver, a writer
  // for parts being compressed). Returns false, the job dropped, when the
  // group is cancelled or no thread of the pool can take it; the caller
  // then does the work its own way. Called by the thread that waits for
  // the group.
  bool RunOnThread(std::function<void()> job);
  // Whether the group was cancelled or a job failed: long jobs ask this to
  // stop early.
  bool Cancelled() const;
  void Cancel();
  // Waits until every job started has ended, running queued jobs here when
  // no thread could take them; then raises the first failure, if any.
  void Wait();
  // Waits like Wait but returns the first failure instead of raising it.
  std::exception_ptr WaitForFailure();
  // How many of the group's jobs run on threads of the pool right now.
  int Running() const;

 private:
  void StartRunners();
  void RunQueued(std::unique_lock<std::mutex>& lock, bool runner);

  const int FParallel;
  mutable std::mutex FLock;
  std::condition_variable FIdle;
  std::deque<std::function<void()>> FQueue;
  int FRunners = 0;      // pool threads working through the queue
  int FRunnersBusy = 0;  // of those, the ones at a job
  int FExecuting = 0;  // jobs between start and end, on any thread
  bool FCancelled = false;
  std::exception_ptr FFailure;
};
