#include "pgraphic_qt/view/paintthread.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "pgraphic/core/optpalette.h"

// ---------------------------------------------------------------- display copy

TCreatePaintPGThread::TCreatePaintPGThread(bool doNothing)
    : TPGJobThread(doNothing, TPGProgressThrottle(50)) {}

void TCreatePaintPGThread::Execute() { DoTheWork(); }

void TCreatePaintPGThread::DoTheWork() {
  RestartProgress();
  FStep = 1;
  if (FPaintPixelGraphic && FPixelGraphic) {
    try {
      TPixelGraphic* source = FPixelGraphic;
      // The copies carry the alpha on, for the checkerboard under it.
      if (source->HasAlpha()) {
        if (FHelpPixelGraphic) FHelpPixelGraphic->AddAlpha();
        FPaintPixelGraphic->AddAlpha();
      }
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
    Deliver(std::move(FPaintPixelGraphic));
  }
  FHelpPixelGraphic.reset();
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
    if (copy.HasAlpha()) std::copy_n(source.AlphaLine(y), w, copy.AlphaLine(y));
    bool abort = false;
    Progress(&copy, y, h - 1, abort);
    if (abort) break;
  }
}

void TCreatePaintPGThread::Progress(void*, int Step, int Max, bool& Abort) {
  ReportProgress(FStep, Max == 0 ? 100 : int(std::int64_t(Step) * 100 / Max));
  Abort = Terminated();
}

// ---------------------------------------------------------------- open dialog preview

QSize PGOpenPreviewSize(int width, int height, int maxWidth, int maxHeight) {
  if (width <= 0 || height <= 0 || maxWidth <= 0 || maxHeight <= 0) return {0, 0};
  if (width <= maxWidth && height <= maxHeight) return {width, height};
  const long double r = static_cast<long double>(width) / height;
  if (static_cast<long double>(maxWidth) / maxHeight >= r)
    return {std::clamp(int(r * maxHeight), 1, width), maxHeight};
  return {maxWidth, std::clamp(int(maxWidth / r), 1, height)};
}

TCreateOpenSaveDialogPaintPGThread::TCreateOpenSaveDialogPaintPGThread(bool doNothing, TJob job)
    : TPGJobThread(doNothing, TPGProgressThrottle(100, 16)), FJob(std::move(job)) {}

void TCreateOpenSaveDialogPaintPGThread::Execute() {
  FStep = 1;
  RestartProgress();
  std::error_code error;
  if (!std::filesystem::exists(FJob.FileName, error)) return;
  std::unique_ptr<TPixelGraphic> preview;
  try {
    preview = Decode();
  } catch (...) {
    // The preview stays empty; the dialog has nothing to report.
    return;
  }
  if (preview) Deliver(std::move(preview));
}

std::unique_ptr<TPixelGraphic> TCreateOpenSaveDialogPaintPGThread::Decode() {
  auto image = std::make_unique<TPixelGraphic>();
  image->OnProgress = [this](void* sender, int step, int max, bool& abort) {
    Progress(sender, step, max, abort);
  };
  image->ReadWarningAction = pgwaIgnore;
  image->PreviewLoad = true;
  image->LoadFromFile(FJob.FileName);
  if (Terminated()) return nullptr;

  if (image->Width() > FJob.MaxWidth || image->Height() > FJob.MaxHeight) {
    const QSize size =
        PGOpenPreviewSize(image->Width(), image->Height(), FJob.MaxWidth, FJob.MaxHeight);
    if (size.isEmpty()) return nullptr;
    image = NextStage(std::move(image), [&](TPixelGraphic& next) {
      next.SetSizeAndFormat(size.width(), size.height(), pgpf24Bit);
      next.StretchMode = FJob.StretchMode;
    });
    if (Terminated()) return nullptr;
  }

  const int depth = FJob.ScreenDepth;
  if (depth <= 8) {
    TPixelGraphic& current = *image;
    const bool trueColor = current.PixelFormat() == pgpf24Bit;
    image = NextStage(std::move(image), [&](TPixelGraphic& next) {
      if (depth < 8) {
        next.SetSizeAndFormat(current.Width(), current.Height(), pgpf4Bit);
        next.SetPaletteIdent(pSys16);
        return;
      }
      next.SetSizeAndFormat(current.Width(), current.Height(), pgpf8Bit);
      const TPaletteIdent wanted =
          trueColor ? FJob.Palette8BitSys24BitGraphic : FJob.Palette8BitSys8BitGraphic;
      if (wanted == pOptimized252Sys16)
        BuildOptimizedPalette(next, current, 252, true);
      else if (trueColor || wanted != pSource)
        next.SetPaletteIdent(wanted);
      else
        next.CopyPalette(current);
    });
  }
  return image;
}

std::unique_ptr<TPixelGraphic> TCreateOpenSaveDialogPaintPGThread::NextStage(
    std::unique_ptr<TPixelGraphic> current, const TSetup& setup) {
  auto next = std::make_unique<TPixelGraphic>();
  ++FStep;
  next->OnProgress = [this](void* sender, int step, int max, bool& abort) {
    Progress(sender, step, max, abort);
  };
  setup(*next);
  next->CopyFrom(*current);
  return next;
}

void TCreateOpenSaveDialogPaintPGThread::Progress(void*, int Step, int Max, bool& Abort) {
  if (Max > 0) ReportProgress(FStep, int(std::int64_t(Step) * 100 / Max));
  Abort = Terminated();
}
