#include "pgraphic_qt/view/displaysettings.h"

#include "pgraphic/core/pixelgraphic.h"

bool PGDisplayCopyNeeded(const TPGDisplaySettings& s, int D, int B, TPaletteIdent ident,
                         bool scaled, bool outOfDate) {
  bool needed = (D < B && D <= 8) || scaled;
  if (B <= 8 && D <= 8) {
    if (D == 4) {
      if (ident != pSys16 && (!s.ReduceOnLoad || outOfDate)) needed = true;
    } else if (!needed) {
      if (s.Palette8BitSys8BitGraphic == pSource || s.Palette8BitSys8BitGraphic == ident)
        needed = false;
      else if (!s.ReduceOnLoad)
        needed = true;
      else
        needed = outOfDate;
    }
  }
  return needed;
}

TPGDisplayCopyPlan PGPlanDisplayCopy(const TPGDisplaySettings& s, int D, bool scaled,
                                     bool trueColourImage) {
  TPGDisplayCopyPlan plan;
  plan.TrueColourStep = s.Allow24BitStretch && scaled && D == 8 &&
                        s.Palette8BitSys24BitGraphic == pOptimized252Sys16;
  if (D <= 7) {
    plan.Format = pgpf4Bit;
    plan.Palette = pSys16;
  } else if (D == 8) {
    plan.Format = pgpf8Bit;
    plan.Palette = trueColourImage || plan.TrueColourStep ? s.Palette8BitSys24BitGraphic
                                                          : s.Palette8BitSys8BitGraphic;
  }
  return plan;
}

void PGHandDisplaySettings(TPixelGraphic& copy, const TPGDisplaySettings& s) {
  copy.StretchMode = s.StretchMode;
  copy.Dither = s.Dither;
  copy.DitherErrorLimit = s.DitherErrorLimit;
  copy.DitherErrorLimitAuto = s.DitherErrorLimitAuto;
  copy.DitherErrorLimitSoft = s.DitherErrorLimitSoft;
  copy.SetRGBWeighting(s.RGBWeighting);
}
