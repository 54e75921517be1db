#pragma once
// TPGErrorDiffusion: error diffusion while colours are written into a palette
// image, one pass of a copy or filter long. A Floyd-Steinberg distribution in
// serpentine order (even rows left to right, odd rows right to left) whose
// carried error is bent by a limit table, so that strong errors do not smear
// across an area. The target's Dither... settings and palette are read when
// the pass starts.

#include <vector>

#include "pgraphic/core/types.h"

class TPixelGraphic;

class TPGErrorDiffusion {
 public:
  explicit TPGErrorDiffusion(TPixelGraphic& target);
  TPGErrorDiffusion(const TPGErrorDiffusion&) = delete;
  TPGErrorDiffusion& operator=(const TPGErrorDiffusion&) = delete;

  // At the start of every row, the first one included.
  void NextRow();
  // Writes the palette entry for the colour plus the error carried to (x, y).
  void Put(int x, int y, int r, int g, int b);
  // Every entry is a grey: the error is carried on one channel.
  bool GreyPalette() const { return FGreyPalette; }

 private:
  TPixelGraphic& FTarget;
  const bool FGreyPalette;
  // Limit table over -255..255 (index e + 255) and two rows of (width + 2) * 3
  // accumulators holding 16 times the error.
  std::vector<int> FLimitTable;
  std::vector<int> FRowCur;
  std::vector<int> FRowNext;
};

// Clamp table of error diffusion: entry i (-510..510) limited to 0..255.
int PGClamp255(int v);
