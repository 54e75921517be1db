#pragma once
// The view's painting thread: makes a display copy of the view's image
// (scaled to the picture box and reduced to the screen's colours) and hands it
// to the view by a posted message, or, when the view works without threads,
// by a direct call on the calling thread.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "pgraphic/core/pixelgraphic.h"
#include "platform/messages.h"
#include "platform/workerthread.h"

// Messages to the view: WM_USER hands over a finished copy (LParam unused,
// the copy travels in the event), WM_USER + 1 reports progress (WParam the
// stage, LParam the percent). Tag is the thread's serial number.
constexpr int PGM_COPYREADY = WM_USER;
constexpr int PGM_PROGRESS = WM_USER + 1;

class TCreatePaintPGThread : public TPGThread {
 public:
  using TCompletion = std::function<void(std::unique_ptr<TPixelGraphic>)>;
  // With doNothing the thread's own run returns at once (the view then calls
  // DoTheWork itself). `port` is where messages go; null reports by calls.
  TCreatePaintPGThread(bool doNothing, std::shared_ptr<TPGMessagePort> port, std::uint64_t serial);
  ~TCreatePaintPGThread() override;

  void DoTheWork();
  // The progress handler of the images the thread fills.
  void Progress(void* Sender, int Step, int Max, bool& Abort);
  std::uint64_t Serial() const { return FSerial; }

  // Set up by the view before the thread runs.
  TPixelGraphic* FPixelGraphic = nullptr;                // the view's image, read only
  std::unique_ptr<TPixelGraphic> FPaintPixelGraphic;      // the copy being made
  std::unique_ptr<TPixelGraphic> FHelpPixelGraphic;       // a true-colour intermediate, if any
  bool FHelpStretch = false;
  bool FOptimizedPalette = false;
  TCompletion OnComplete;  // used when not posting
  int Step() const { return FStep; }

 protected:
  void Execute() override;

 private:
  void CopyThroughPaletteTable(TPixelGraphic& source);
  void Finish();
  const bool FDoNothing;
  std::shared_ptr<TPGMessagePort> FPort;
  const std::uint64_t FSerial;
  int FStep = 1;
  int FLastPercent = 0;
  std::int64_t FLastTick = 0;
};

// Milliseconds of a steady clock (the system tick count).
std::int64_t PGTickCount();
