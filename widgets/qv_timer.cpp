#include "widgets/qv_timer.h"

#include <QPointer>

#include <algorithm>
#include <chrono>

#include "platform/workerthread.h"

// The timer's own loop; told to stop through the shared state, not the
// thread's stop flag, because it must also leave a wait for a tick.
class TQV_TimerThread : public TPGThread {
 public:
  explicit TQV_TimerThread(TQV_Timer& timer)
      : FShared(timer.FShared), FPort(timer.FTicks.Port()) {}

 protected:
  void Execute() override {
    std::unique_lock lock(FShared.Mutex);
    for (;;) {
      FShared.Changed.wait(lock, [this] { return FShared.Stop || !FShared.Suspended; });
      if (FShared.Stop) return;
      const std::uint64_t generation = FShared.Generation;
      const auto deadline =
          std::chrono::steady_clock::now() + std::chrono::milliseconds(FShared.Interval);
      const bool interrupted = FShared.Changed.wait_until(
          lock, deadline, [&] { return FShared.Generation != generation; });
      if (interrupted) continue;
      // The sleep ran its full time: hand the tick over and wait for it. A
      // stop releases the wait too, so the UI thread can join this thread
      // without ever running the tick.
      FShared.TickDone = false;
      lock.unlock();
      FPort->Post({.Kind = TPGMessage::Tick, .Tag = generation});
      lock.lock();
      FShared.Changed.wait(lock, [this] { return FShared.TickDone || FShared.Stop; });
    }
  }

 private:
  TQV_Timer::TShared& FShared;
  const std::shared_ptr<TPGMessagePort> FPort;
};

TQV_Timer::TQV_Timer(QObject* parent) : QObject(parent) {}

TQV_Timer::~TQV_Timer() {
  SetEnabled(false);
  {
    std::lock_guard lock(FShared.Mutex);
    FShared.Stop = true;
    ++FShared.Generation;
  }
  FShared.Changed.notify_all();
  if (FThread) FThread->WaitFor();
  // A tick posted before the stop goes with the port's target.
}

void TQV_Timer::SetEnabled(bool value) {
  if (value == FEnabled) return;
  FEnabled = value;
  UpdateThread();
}

void TQV_Timer::SetInterval(int milliseconds) {
  milliseconds = std::max(milliseconds, 0);
  if (milliseconds == FInterval) return;
  FInterval = milliseconds;
  UpdateThread();
}

void TQV_Timer::SetOnTimer(TTimerEvent handler) {
  FOnTimer = std::move(handler);
  UpdateThread();
}

bool TQV_Timer::ThreadRunning() const {
  std::lock_guard lock(FShared.Mutex);
  return FThread && !FShared.Suspended;
}

void TQV_Timer::UpdateThread() {
  Suspend();
  if (FInterval == 0 || !FEnabled || !FOnTimer) return;
  Resume();
}

void TQV_Timer::Suspend() {
  {
    std::lock_guard lock(FShared.Mutex);
    if (FShared.Suspended) return;
    FShared.Suspended = true;
    ++FShared.Generation;
  }
  FShared.Changed.notify_all();
}

void TQV_Timer::Resume() {
  {
    std::lock_guard lock(FShared.Mutex);
    FShared.Interval = FInterval;
    FShared.Suspended = false;
    ++FShared.Generation;
  }
  FShared.Changed.notify_all();
  if (!FThread) FThread = std::make_unique<TQV_TimerThread>(*this);
  if (FThread->isRunning())
    FThread->setPriority(FThreadPriority);
  else
    FThread->Resume(FThreadPriority);
}

void TQV_Timer::Tick(std::uint64_t generation) {
  bool current;
  {
    std::lock_guard lock(FShared.Mutex);
    current = generation == FShared.Generation;
  }
  // The handler may destroy this timer (closing the window that owns it);
  // nothing of it is touched afterwards unless it still exists. The
  // destructor has released the worker by then.
  QPointer<TQV_Timer> alive(this);
  // A tick handed over before the timer was stopped or changed is void.
  if (current && FEnabled && FOnTimer) {
    const TTimerEvent handler = FOnTimer;
    handler();
  }
  if (!alive) return;
  {
    std::lock_guard lock(FShared.Mutex);
    FShared.TickDone = true;
  }
  FShared.Changed.notify_all();
}
