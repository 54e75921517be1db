#include "pgraphic_qt/view/displaycopy.h"

TPGDisplayCopy::TPGDisplayCopy() {
  FJobs.OnResult = [this](std::unique_ptr<TPixelGraphic> copy) {
    if (!copy) FOutOfDate = true;  // it failed: a later paint tries again
    if (OnReady) OnReady(std::move(copy));
  };
  FJobs.OnProgress = [this](int stage, int percent) {
    FStep = stage;
    FPercent = percent;
    if (OnProgress) OnProgress();
  };
}

void TPGDisplayCopy::Stop() { FJobs.Stop(); }

void TPGDisplayCopy::Drop(bool keepOld) {
  FJobs.Drop();
  FOutOfDate = true;
  if (!keepOld) FCopy.reset();
}

void TPGDisplayCopy::Free() {
  FJobs.Drop();
  FCopy.reset();
}

void TPGDisplayCopy::DisplayChanged() {
  FJobs.Cancel();
  FOutOfDate = true;
}

void TPGDisplayCopy::Start(TPGJob<TCreatePaintPGThread> job, QSize size, bool threaded,
                           bool keepOld) {
  FJobs.Drop();
  if (!(keepOld && threaded)) FCopy.reset();
  FStep = 1;
  FPercent = 0;
  // The size asked for, so that a copy that could not get it is not asked
  // for again at every paint.
  FSize = size;
  FOutOfDate = false;
  if (threaded) {
    FJobs.Start(std::move(job), QThread::LowPriority);
  } else {
    FJobs.StartHere(std::move(job)).DoTheWork();
  }
}
