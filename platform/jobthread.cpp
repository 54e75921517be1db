#include "platform/jobthread.h"

#include <chrono>

std::int64_t PGSteadyMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// ---------------------------------------------------------------- throttle

void TPGProgressThrottle::Restart(std::int64_t tick) {
  FLastPercent = 0;
  FLastTick = tick;
}

bool TPGProgressThrottle::Pass(int percent, std::int64_t tick) {
  if (percent == FLastPercent) return false;
  const bool newInterval = tick / FInterval != FLastTick / FInterval;
  const bool newStep = FStep > 0 && percent / FStep != FLastPercent / FStep;
  if (!newInterval && !newStep) return false;
  FLastPercent = percent;
  FLastTick = tick;
  return true;
}

// ---------------------------------------------------------------- job

TPGJobThread::TPGJobThread(bool doNothing, TPGProgressThrottle throttle)
    : FDoNothing(doNothing), FThrottle(throttle) {}

void TPGJobThread::Deliver(std::unique_ptr<TPixelGraphic> image) {
  if (image) {
    image->OnProgressStart = nullptr;
    image->OnProgress = nullptr;
    image->OnProgressEnd = nullptr;
  }
  if (Terminated()) return;
  if (FDirect) {
    FDelivered.store(true);
    FDirect(std::move(image));
  } else if (FPort) {
    // Counted as handed over before the message can arrive.
    FDelivered.store(true);
    FPort->Post({.Kind = TPGMessage::Result, .Image = std::move(image), .Tag = FSerial});
  }
}

void TPGJobThread::ReportProgress(int stage, int percent) {
  if (!FThrottle.Pass(percent, PGSteadyMilliseconds()) || !FPort) return;
  FPort->Post(
      {.Kind = TPGMessage::Progress, .Stage = stage, .Percent = percent, .Tag = FSerial});
}

void TPGJobThread::RestartProgress() { FThrottle.Restart(PGSteadyMilliseconds()); }

void TPGJobDeleter::operator()(TPGJobThread* job) const {
  if (!job) return;
  job->StopAndWait();
  delete job;
}

// ---------------------------------------------------------------- slot

TPGJobSlotBase::TPGJobSlotBase() : FMessages([this](TPGMessage& m) { Receive(m); }) {}

TPGJobSlotBase::~TPGJobSlotBase() {
  Drop();
  FJob.reset();
}

void TPGJobSlotBase::Stop() {
  if (!FJob) return;
  FJob->StopAndWait();
  if (!FJob->Delivered()) FAccepted = 0;
}

void TPGJobSlotBase::Drop() {
  FAccepted = 0;
  if (FJob) FJob->StopAndWait();
}

void TPGJobSlotBase::Cancel() {
  FAccepted = 0;
  if (FJob) FJob->Terminate();
}

void TPGJobSlotBase::Install(TPGJob<TPGJobThread> job, bool threaded, QThread::Priority priority) {
  Drop();
  FJob = std::move(job);
  if (!FJob) return;
  FJob->FSerial = ++FLastSerial;
  FAccepted = FJob->FSerial;
  for (TPixelGraphic* image : FJob->FReads) image->FlushPending();
  if (threaded) {
    FJob->FPort = FMessages.Port();
    FJob->Resume(priority);
  } else {
    FJob->FDirect = [this](std::unique_ptr<TPixelGraphic> image) {
      if (OnResult) OnResult(std::move(image));
    };
  }
}

void TPGJobSlotBase::Receive(TPGMessage& message) {
  // Only the current job's words count, and only while its result is
  // wanted; anything else goes here, with its image.
  if (!FJob || message.Tag == 0 || message.Tag != FAccepted) return;
  // The message's tag is the serial number of the job that posted it.
  if (message.Kind == TPGMessage::Result) {
    // The job's last word: let it end before its result is used, so that
    // nothing it read is still being read.
    FJob->WaitFor();
    if (OnResult) OnResult(std::move(message.Image));
  } else if (message.Kind == TPGMessage::Progress) {
    if (OnProgress) OnProgress(message.Stage, message.Percent);
  }
}
