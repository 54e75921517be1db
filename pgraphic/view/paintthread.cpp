#include "pgraphic/view/paintthread.h"

#include <vector>

#include "pgraphic/core/optpalette.h"

std::int64_t PGTickCount() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

TCreatePaintPGThread::TCreatePaintPGThread(bool doNothing, std::shared_ptr<TPGMessagePort> port,
                                           std::uint64_t serial)
    : FDoNothing(doNothing), FPort(std::move(port)), FSerial(serial) {}

TCreatePaintPGThread::~TCreatePaintPGThread() { StopAndWait(); }

void TCreatePaintPGThread::Execute() {
  if (!FDoNothing) DoTheWork();
}

void TCreatePaintPGThread::DoTheWork() {
  FLastPercent = 0;
  FLastTick = PGTickCount();
  FStep = 1;
  if (FPaintPixelGraphic && FPixelGraphic) {
    try {
      TPixelGraphic* source = FPixelGraphic;
      if (!Terminated()) {
        if (FHelpStretch && FHelpPixelGraphic) {
          FHelpPixelGraphic->CopyFrom(*FPixelGraphic);
          source = FHelpPixelGraphic.get();
          ++FStep;
        }
      }
      if (!Terminated() && FOptimizedPalette) {
        BuildOptimizedPalette(*FPaintPixelGraphic, *source, 252, true);
        ++FStep;
      }
      if (!Terminated()) {
        if (FOptimizedPalette && source->PixelFormat() == pgpf8Bit &&
            source->Width() == FPaintPixelGraphic->Width() &&
            source->Height() == FPaintPixelGraphic->Height())
          CopyThroughPaletteTable(*source);
        else
          FPaintPixelGraphic->CopyFrom(*source);
        ++FStep;
      }
    } catch (...) {
      // A copy that failed is not shown: the view hears of it (an empty
      // hand-over) and tries again at a later paint.
      FPaintPixelGraphic.reset();
    }
    Finish();
  }
  FHelpPixelGraphic.reset();
}

void TCreatePaintPGThread::Finish() {
  // A thread told to stop frees its copy and posts nothing.
  if (Terminated()) {
    FPaintPixelGraphic.reset();
    return;
  }
  if (FPaintPixelGraphic) FPaintPixelGraphic->OnProgress = nullptr;
  if (FPort)
    FPort->Post(PGM_COPYREADY, 0, 0, std::move(FPaintPixelGraphic), FSerial);
  else if (OnComplete)
    OnComplete(std::move(FPaintPixelGraphic));
}

void TCreatePaintPGThread::CopyThroughPaletteTable(TPixelGraphic& source) {
  TPixelGraphic& copy = *FPaintPixelGraphic;
  const bool cache = copy.UseColorCache();
  copy.SetUseColorCache(false);
  std::vector<std::uint8_t> table(256, 0);
  for (int i = 0; i < source.PaletteCount(); ++i)
    table[std::size_t(i)] = std::uint8_t(copy.ColorToIndex(source.GetPaletteEntry(i)));
  copy.SetUseColorCache(cache);
  const int w = copy.Width(), h = copy.Height();
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* from = source.ScanLine(y);
    std::uint8_t* to = copy.ScanLine(y);
    for (int x = 0; x < w; ++x) to[x] = table[from[x]];
    bool abort = false;
    Progress(&copy, y, h - 1, abort);
    if (abort) break;
  }
}

void TCreatePaintPGThread::Progress(void*, int Step, int Max, bool& Abort) {
  const int percent = Max == 0 ? 100 : int(std::int64_t(Step) * 100 / Max);
  const std::int64_t tick = PGTickCount();
  if (percent != FLastPercent && tick / 50 != FLastTick / 50) {
    FLastPercent = percent;
    FLastTick = tick;
    if (FPort) FPort->Post(PGM_PROGRESS, FStep, percent, nullptr, FSerial);
  }
  Abort = Terminated();
}
