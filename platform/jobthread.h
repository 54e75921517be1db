#pragma once
// One protocol for every job a window hands to a worker thread.
//
// A job (TPGJobThread) reads what the window gave it, makes its result (an
// image, or nothing) and hands it over as its last word; on the way it may
// report progress, as far as its throttle lets it. The window holds its jobs
// in a TPGJobSlot, which starts each one under a new serial number and hands
// over results and progress on the user-interface thread, but only those of
// its current job, and only while that job is still wanted: whatever a
// replaced, dropped or cancelled job posted is thrown away here, in one
// place, image and all.
//
// Before a job starts, the slot completes the pending drawing of every image
// the job reads (Reads), so that the job itself never writes to them. The
// window must not change those images while the job may still read them:
// it stops (Stop) or drops (Drop) the job first.

#include <QThread>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"
#include "platform/messages.h"
#include "platform/workerthread.h"

// Milliseconds of a steady clock: what progress is throttled by.
std::int64_t PGSteadyMilliseconds();

// Lets a progress report through only when its percent differs from the one
// last let through and either another interval has begun since (ticks
// counted in whole intervals, so at most one report per interval) or, with a
// step, the percent has moved into another step (0..step-1, step..2*step-1,
// ...).
class TPGProgressThrottle {
 public:
  explicit TPGProgressThrottle(int intervalMilliseconds = 50, int stepPercent = 0)
      : FInterval(intervalMilliseconds > 0 ? intervalMilliseconds : 1), FStep(stepPercent) {}
  // Forgets earlier reports: the last percent is 0 and the last tick `tick`.
  void Restart(std::int64_t tick);
  // Whether a report of `percent` at `tick` goes through; if so it is the
  // last one from now on.
  bool Pass(int percent, std::int64_t tick);
  int Interval() const { return FInterval; }
  int Step() const { return FStep; }

 private:
  int FInterval;
  int FStep;
  int FLastPercent = 0;
  std::int64_t FLastTick = 0;
};

class TPGJobSlotBase;

class TPGJobThread : public TPGThread {
 public:
  // A job made with doNothing stands in for a worker: it does no work when
  // run. The throttle decides which progress reports reach the window.
  explicit TPGJobThread(bool doNothing = false,
                        TPGProgressThrottle throttle = TPGProgressThrottle());

  bool DoNothing() const { return FDoNothing; }
  // The serial number the slot started the job under (0 before).
  std::uint64_t Serial() const { return FSerial; }
  // Names an image the job reads. Its pending drawing is completed on the
  // user-interface thread before the job starts, so the job only reads it.
  void Reads(TPixelGraphic& image) { FReads.push_back(&image); }
  // Whether the job has handed over its result.
  bool Delivered() const { return FDelivered.load(); }
  const TPGProgressThrottle& Throttle() const { return FThrottle; }

 protected:
  // Hands the result over: the job's last word. A job told to stop hands
  // over nothing (the image is freed). The image goes without the job's
  // progress handlers.
  void Deliver(std::unique_ptr<TPixelGraphic> image);
  // Reports how far a stage is, if the throttle lets the report through.
  // Jobs run without a thread report no progress.
  void ReportProgress(int stage, int percent);
  // Starts the throttle anew, counting from now.
  void RestartProgress();

 private:
  friend class TPGJobSlotBase;
  bool DoesNothing() const final { return FDoNothing; }

  const bool FDoNothing;
  TPGProgressThrottle FThrottle;
  std::uint64_t FSerial = 0;
  std::vector<TPixelGraphic*> FReads;
  // Where results and progress go: posted through the port when the job has
  // a thread, handed to the slot at once when it runs on the caller's.
  std::shared_ptr<TPGMessagePort> FPort;
  std::function<void(std::unique_ptr<TPixelGraphic>)> FDirect;
  std::atomic<bool> FDelivered{false};
};

// Frees a job only after telling it to stop and waiting for it, so that no
// job outlives the members its work reads.
struct TPGJobDeleter {
  void operator()(TPGJobThread* job) const;
};
template <class T>
using TPGJob = std::unique_ptr<T, TPGJobDeleter>;
template <class T, class... TArgs>
TPGJob<T> PGMakeJob(TArgs&&... args) {
  return TPGJob<T>(new T(std::forward<TArgs>(args)...));
}

// The receiving side, a member of the window. Handlers run on the thread that
// made the slot (the user-interface thread).
class TPGJobSlotBase {
 public:
  TPGJobSlotBase();
  // Drops the current job: stops it, waits for it and throws away what it
  // posted.
  ~TPGJobSlotBase();
  TPGJobSlotBase(const TPGJobSlotBase&) = delete;
  TPGJobSlotBase& operator=(const TPGJobSlotBase&) = delete;

  // The current job's result (null when it had none), once the job has ended.
  std::function<void(std::unique_ptr<TPixelGraphic> image)> OnResult;
  // The current job's progress: its stage and the percent done.
  std::function<void(int stage, int percent)> OnProgress;

  // Tells the current job to stop and waits for it. A result it handed over
  // before is still delivered; anything else it posted is not.
  void Stop();
  // Tells the current job to stop, waits for it, and throws away whatever it
  // posted: the result is no longer wanted.
  void Drop();
  // Tells the current job to stop without waiting; whatever it posted is
  // thrown away. For windows that must not wait while the user works.
  void Cancel();
  // Whether the current job's result is still wanted: it was started and has
  // not been dropped, cancelled, or stopped before its result.
  bool Wanted() const { return FAccepted != 0; }

 protected:
  TPGJobThread* CurrentJob() const { return FJob.get(); }
  // Drops the current job, then makes `job` current under a new serial
  // number: started on its thread, or, without one, held for the caller to
  // run its work at once (its result then reaches OnResult directly).
  void Install(TPGJob<TPGJobThread> job, bool threaded, QThread::Priority priority);

 private:
  void Receive(TPGMessage& message);

  TPGJob<TPGJobThread> FJob;
  std::uint64_t FLastSerial = 0;
  // The serial of the job whose result is wanted; 0 for none.
  std::uint64_t FAccepted = 0;
  TPGMessageTarget FMessages;
};

template <class T>
class TPGJobSlot : public TPGJobSlotBase {
 public:
  // The current job, if any.
  T* Job() const { return static_cast<T*>(CurrentJob()); }
  // Drops the current job and starts `job` on its thread.
  T& Start(TPGJob<T> job, QThread::Priority priority = QThread::InheritPriority) {
    T& started = *job;
    Install(std::move(job), true, priority);
    return started;
  }
  // Drops the current job and makes `job` current without a thread: the
  // caller runs its work at once, on the calling thread. OnResult then runs
  // inside that work, so it must not start another job in this slot.
  T& StartHere(TPGJob<T> job) {
    T& held = *job;
    Install(std::move(job), false, QThread::InheritPriority);
    return held;
  }
};
