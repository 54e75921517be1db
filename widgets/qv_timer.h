#pragma once
// A timer whose ticks come from a worker thread instead of the window
// system's timer queue. The thread sleeps for Interval milliseconds, then
// hands the tick to the UI thread and waits until the handler has run, so
// ticks never overlap and the period is Interval plus the handler's time.

#include <QObject>
#include <QThread>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/messages.h"

class TQV_TimerThread;

class TQV_Timer : public QObject {
  Q_OBJECT

 public:
  explicit TQV_Timer(QObject* parent = nullptr);
  // Stops the thread without waiting for any tick it may have handed over,
  // so destroying the timer from the UI thread (or from its own tick) never
  // waits for the UI thread.
  ~TQV_Timer() override;
  TQV_Timer(const TQV_Timer&) = delete;
  TQV_Timer& operator=(const TQV_Timer&) = delete;

  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value);
  // Milliseconds between ticks; 0 keeps the timer from ticking at all.
  int Interval() const { return FInterval; }
  void SetInterval(int milliseconds);
  // Applied the next time the thread is resumed.
  QThread::Priority ThreadPriority() const { return FThreadPriority; }
  void SetThreadPriority(QThread::Priority priority) { FThreadPriority = priority; }

  // Called on the UI thread for every tick while Enabled.
  using TTimerEvent = std::function<void()>;
  const TTimerEvent& OnTimer() const { return FOnTimer; }
  void SetOnTimer(TTimerEvent handler);

  // Whether the worker thread is counting down (not suspended).
  bool ThreadRunning() const;

 private:
  friend class TQV_TimerThread;
  // What the UI thread and the worker share; guarded by Mutex.
  struct TShared {
    std::mutex Mutex;
    std::condition_variable Changed;
    bool Suspended = true;
    bool Stop = false;
    bool TickDone = true;
    int Interval = 1000;
    // Bumped on every suspend, resume and stop so that a sleep in progress
    // knows it was interrupted and must not end in a tick.
    std::uint64_t Generation = 0;
  };

  void UpdateThread();
  void Suspend();
  void Resume();
  void Tick(std::uint64_t generation);

  bool FEnabled = true;
  int FInterval = 1000;
  QThread::Priority FThreadPriority = QThread::NormalPriority;
  TTimerEvent FOnTimer;
  mutable TShared FShared;
  std::unique_ptr<TQV_TimerThread> FThread;
  // Where the thread posts its ticks (Tag: the state they came from).
  TPGMessageTarget FTicks{[this](TPGMessage& tick) { Tick(tick.Tag); }};
};
