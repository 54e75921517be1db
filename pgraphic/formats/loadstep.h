#pragma once
// What loading does to the pixels a reader delivered, so that every loaded
// image holds sRGB pixels for the display's gamma: a colour profile the file
// carries is converted to sRGB (Little CMS) and dropped from the image, then
// the gamma step maps the pixels from the file's gamma to DisplayGamma:
// with sRGB's 2.2 there, as browsers map a file's stated gamma (to linear
// light, then by sRGB's curve), with any other by a pure power.
//
// A profiled file is converted by its profile alone: its pixels come out
// sRGB, whose gamma (2.2) the gamma step then starts from, so with the
// default DisplayGamma nothing more is done, and gAMA is not applied on top
// of the profile (nor beside PNG's sRGB chunk, which says the same). A file without a profile is taken as sRGB; only its gamma,
// if it states one (PNG gAMA), is mapped. With ColorProfile keep, a
// profiled file's pixels stay as they are and the image keeps the profile;
// with ignore, readers never look for one.

#include <cstdint>
#include <memory>

#include "pgraphic/core/pixelgraphic.h"

// The gamma profiled pixels have once converted to sRGB.
inline constexpr long double SRGBGamma = 2.2L;

// target: a 24-bit copy of image (any depth, a window on another's rows
// too, its alpha plane with it) with its colour profile converted to sRGB,
// as loading converts.
void CopyInSRGB(TPixelGraphic& image, TPixelGraphic& target);

class TLoadColorStep {
 public:
  TLoadColorStep();
  ~TLoadColorStep();
  TLoadColorStep(const TLoadColorStep&) = delete;
  TLoadColorStep& operator=(const TLoadColorStep&) = delete;

  // Once the image's depth, palette and profile are final (at the first
  // band a reader tells, or after the reader): decides what is done, maps
  // the palette, and leaves FileGamma and ColorProfile as the pixels will be.
  void Prepare(TPixelGraphic& image);
  // Whether rows need MapRows; else all is done by Prepare.
  bool MapsRows() const { return RowsMapped; }
  // Maps rows top to top + count - 1 (counted from the top), band by band
  // on any one thread at a time.
  void MapRows(TPixelGraphic& image, int top, int count);

 private:
  struct TConversion;
  void PrepareConversion(TPixelGraphic& image);
  void PrepareGamma(TPixelGraphic& image);

  std::unique_ptr<TConversion> Conversion;  // of 24-bit rows, or null
  bool GreyRows = false;                    // 8-bit grey rows mapped by GreyTable
  std::uint8_t GreyTable[256] = {};
  bool GammaRows = false;  // 24-bit rows mapped by GammaTable
  std::uint8_t GammaTable[256] = {};
  bool RowsMapped = false;
};
