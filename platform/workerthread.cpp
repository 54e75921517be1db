#include "platform/workerthread.h"

TPGThread::~TPGThread() { StopAndWait(); }

void TPGThread::Resume(QThread::Priority priority) {
  if (FStarted) return;
  FStarted = true;
  start(priority);
}

void TPGThread::WaitFor() {
  wait();
  std::lock_guard<std::mutex> ended(FEndLock);
}

void TPGThread::run() {
  // An exception must not leave the thread function: it would end the process.
  try {
    if (!DoesNothing()) Execute();
  } catch (...) {
    FFailed.store(true);
  }
  std::lock_guard<std::mutex> ended(FEndLock);
}
