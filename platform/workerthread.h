#pragma once
// Worker threads with a cooperative stop flag. A thread is created suspended
// (not started) and runs once Resume is called. It is never killed: stopping
// means setting the flag (Terminate) and waiting (WaitFor); the work polls
// Terminated.

#include <QThread>

#include <atomic>
#include <mutex>

class TPGThread : public QThread {
 public:
  TPGThread() = default;
  // Stops and waits. A derived class whose Execute reads its own members must
  // call StopAndWait in its own destructor, before those members go.
  ~TPGThread() override;
  TPGThread(const TPGThread&) = delete;
  TPGThread& operator=(const TPGThread&) = delete;

  // Starts a suspended thread; later calls do nothing.
  void Resume(QThread::Priority priority = QThread::InheritPriority);
  void Terminate() { FTerminated.store(true); }
  bool Terminated() const { return FTerminated.load(); }
  // Waits until the work has ended; returns at once for a thread never started.
  // Everything the work wrote is then visible to the caller.
  void WaitFor();
  void StopAndWait() {
    Terminate();
    WaitFor();
  }
  // True when Execute ended by an exception (which the thread swallowed).
  bool Failed() const { return FFailed.load(); }

 protected:
  virtual void Execute() = 0;
  // True for a thread object that stands in for a worker without doing any
  // work: it runs, but Execute is never called.
  virtual bool DoesNothing() const { return false; }

 private:
  void run() final;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFailed{false};
  bool FStarted = false;
  // Held at the end of the work and taken by WaitFor after the toolkit's
  // wait, so that the hand-over is ordered also for a race checker, which
  // cannot see the toolkit's own synchronisation.
  std::mutex FEndLock;
};
