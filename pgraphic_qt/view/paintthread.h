#pragma once
// The threads that make pictures for the screen: the view's painting thread,
// which makes a display copy of the view's image (scaled to the picture box
// and reduced to the screen's colours), and the open dialog's preview
// thread, which decodes a file in preview quality and reduces it to the
// preview box. Both are jobs of platform/jobthread.h: their window starts
// them in a slot and receives their picture from it.

#include <QSize>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "pgraphic/core/pixelgraphic.h"
#include "platform/jobthread.h"

// Makes the view's display copy. The view fills in the fields, then starts
// the job on its thread, or, without threads, runs DoTheWork itself.
class TCreatePaintPGThread : public TPGJobThread {
 public:
  // With doNothing the thread's own run does nothing (the view then calls
  // DoTheWork itself). Progress reaches the view at most once per 50 ms.
  explicit TCreatePaintPGThread(bool doNothing = false);

  void DoTheWork();
  // The progress handler of the images the thread fills.
  void Progress(void* Sender, int Step, int Max, bool& Abort);
  int Step() const { return FStep; }

  // Set up by the view before the thread runs.
  TPixelGraphic* FPixelGraphic = nullptr;                // the view's image, read only
  std::unique_ptr<TPixelGraphic> FPaintPixelGraphic;      // the copy being made
  std::unique_ptr<TPixelGraphic> FHelpPixelGraphic;       // a true-colour intermediate, if any
  bool FHelpStretch = false;
  bool FOptimizedPalette = false;

 protected:
  void Execute() override;

 private:
  void CopyThroughPaletteTable(TPixelGraphic& source);
  int FStep = 1;
};

// Size of the reduced preview of a width x height image that must fit into
// maxWidth x maxHeight; an image that fits keeps its size.
QSize PGOpenPreviewSize(int width, int height, int maxWidth, int maxHeight);

// Decodes one file in preview quality, reduces it to the preview area (and
// to the screen's colours on palette screens) and hands it to the open
// dialog's preview panel.
class TCreateOpenSaveDialogPaintPGThread : public TPGJobThread {
 public:
  struct TJob {
    std::string FileName;
    int MaxWidth = 0;
    int MaxHeight = 0;
    TStretchMode StretchMode = smPrecise;
    TPaletteIdent Palette8BitSys24BitGraphic = pOptimized252Sys16;
    TPaletteIdent Palette8BitSys8BitGraphic = pOptimized252Sys16;
    int ScreenDepth = 24;
  };
  // With doNothing the thread ends at once. Progress reaches the panel only
  // on a change of percent that also begins another 100 ms or another 16 %.
  TCreateOpenSaveDialogPaintPGThread(bool doNothing, TJob job);

  // The progress handler of the images the thread fills.
  void Progress(void* Sender, int Step, int Max, bool& Abort);

 protected:
  void Execute() override;

 private:
  using TSetup = std::function<void(TPixelGraphic&)>;
  std::unique_ptr<TPixelGraphic> NextStage(std::unique_ptr<TPixelGraphic> current,
                                           const TSetup& setup);
  std::unique_ptr<TPixelGraphic> Decode();
  const TJob FJob;
  int FStep = 1;
};
