#pragma once
// The settings the view's display copies are made with, and the two
// decisions each paint takes with them: whether the image needs a copy for
// the screen (one scaled by a resampling mode, or reduced to the colours of
// a palette screen), and what the copy is made of. Free of widgets, so the
// decisions can be read as tables.

#include <cstdint>

#include "pgraphic/core/types.h"

class TPixelGraphic;

struct TPGDisplaySettings {
  // On an 8-bit screen, scale through a true-colour image before the
  // palette reduction.
  bool Allow24BitStretch = false;
  bool Dither = true;
  std::uint8_t DitherErrorLimit = 32;
  bool DitherErrorLimitAuto = true;
  bool DitherErrorLimitSoft = true;
  // With UseThread, the old copy stays on show until the new one arrives.
  bool KeepOldPaintPixelGraphic = false;
  // The copy's palette on an 8-bit screen, for a true-colour image and for
  // a palette image.
  TPaletteIdent Palette8BitSys24BitGraphic = pOptimized252Sys16;
  TPaletteIdent Palette8BitSys8BitGraphic = pOptimized252Sys16;
  bool RGBWeighting = true;
  // The finished copy replaces the image itself.
  bool ReduceOnLoad = false;
  // smFast lets the screen scale while drawing; the others make a scaled copy.
  TStretchMode StretchMode = smFast;
  bool UseThread = true;

  bool KeepsOldCopy() const { return KeepOldPaintPixelGraphic && UseThread; }
};

// Whether an image of bitCount bits and palette kind `ident` needs a copy on
// a screen of screenDepth bits; scaled: a resampling mode is set and the
// picture differs in size from the image; outOfDate: the copy there is no
// longer fits.
bool PGDisplayCopyNeeded(const TPGDisplaySettings& settings, int screenDepth, int bitCount,
                         TPaletteIdent ident, bool scaled, bool outOfDate);

// What a copy is made of.
struct TPGDisplayCopyPlan {
  TPGPixelFormat Format = pgpf24Bit;
  // A standard palette, pSource (the source's own), pOptimized252Sys16 (one
  // reduced from the source), or pNone for a true-colour copy.
  TPaletteIdent Palette = pNone;
  // The image is scaled into a true-colour image first, which the copy is
  // then made from.
  bool TrueColourStep = false;
};
TPGDisplayCopyPlan PGPlanDisplayCopy(const TPGDisplaySettings& settings, int screenDepth,
                                     bool scaled, bool trueColourImage);

// Hands a copy the settings it is made with: resampling, dithering, weighting.
void PGHandDisplaySettings(TPixelGraphic& copy, const TPGDisplaySettings& settings);
