#pragma once
// The view's display copy: the copy on show, whether it must be remade, the
// size it was asked for, and the painting job that makes the next one, with
// the progress the clocks show meanwhile. Only the job started last can hand
// a copy over, and only while it is wanted: a change of image, setting or
// display drops it, and what it posted is thrown away.

#include <QSize>

#include <functional>
#include <memory>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic_qt/view/paintthread.h"

class TPGDisplayCopy {
 public:
  TPGDisplayCopy();

  // A finished copy for the view (null when making it failed), and a change
  // of progress.
  std::function<void(std::unique_ptr<TPixelGraphic> copy)> OnReady;
  std::function<void()> OnProgress;

  TPixelGraphic* Copy() const { return FCopy.get(); }
  // The copy to show from now on.
  void Keep(std::unique_ptr<TPixelGraphic> copy) { FCopy = std::move(copy); }
  bool OutOfDate() const { return FOutOfDate; }
  void MarkOutOfDate() { FOutOfDate = true; }
  // The size the last copy was asked for.
  QSize Size() const { return FSize; }
  int Step() const { return FStep; }
  int Percent() const { return FPercent; }
  // The painting job started last (none before the first copy).
  TCreatePaintPGThread* Job() const { return FJobs.Job(); }

  // Stops the job and waits for it, before the image it reads is handed out;
  // a copy it finished before still arrives.
  void Stop();
  // The image or a setting changed: the copy is out of date. It stays on
  // show until its successor arrives when keepOld, else it goes now.
  void Drop(bool keepOld);
  // Frees the copy; a job making one is dropped.
  void Free();
  // The display changed: the copy is remade at the next paint; a job making
  // one for the old display is told to stop without waiting for it.
  void DisplayChanged();
  // Whether the present copy (or the one on its way) still fits.
  bool Current() const { return !FOutOfDate && (FCopy || FJobs.Wanted()); }

  // Starts making a copy with a job the view has set up, for `size`: on the
  // job's thread, or at once on this one when !threaded (the copy is then
  // handed over before this returns). The copy on show stays until its
  // successor arrives when keepOld and threaded.
  void Start(TPGJob<TCreatePaintPGThread> job, QSize size, bool threaded, bool keepOld);

 private:
  TPGJobSlot<TCreatePaintPGThread> FJobs;
  std::unique_ptr<TPixelGraphic> FCopy;
  bool FOutOfDate = false;
  QSize FSize{0, 0};
  int FStep = 1;
  int FPercent = 0;
};
