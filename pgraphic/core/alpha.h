#pragma once
// What the alpha plane of an image (TPixelGraphic::HasAlpha) means to the
// places that cannot keep it: files without transparency, a cell's one
// colour, a measure of how alike two images look. They lay the image on a
// page colour, as a browser lays a transparent image on the page behind it.

#include <cstdint>

#include "pgraphic/core/types.h"

class TPixelGraphic;

// A sample c of alpha a (0 transparent, 255 opaque) laid on the page's
// sample p, to the nearest.
constexpr std::uint8_t PGMix(unsigned c, unsigned a, unsigned p) {
  return std::uint8_t((c * a + p * (255 - a) + 127) / 255);
}

// A sample premultiplied by its alpha a back to what it shows at full
// alpha; nothing shows where a is 0.
constexpr std::uint8_t PGUnmultiplied(unsigned c, unsigned a) {
  const unsigned v = a == 0 ? 0 : (c * 255 + a / 2) / a;
  return std::uint8_t(v > 255 ? 255 : v);
}

// A colour of alpha a laid on page.
constexpr TRGB PGLaidOn(TRGB color, unsigned a, TRGB page) {
  return RGBColor(PGMix(GetRValue(color), a, GetRValue(page)), PGMix(GetGValue(color), a, GetGValue(page)),
                  PGMix(GetBValue(color), a, GetBValue(page)));
}

// Whether the image shows nothing of what lies behind it: no plane, or a
// plane of 255s only. Waits for the rows of a window on rows still coming.
bool PGAlphaIsOpaque(TPixelGraphic& image);

// Makes target a copy of source laid on page, without a plane: 24 bits, or
// 256 greys where source holds 256 greys and page is grey (grey stays
// grey). A source without a plane is copied as it is, at its own depth.
void PGCopyLaidOn(TPixelGraphic& target, TPixelGraphic& source, TRGB page);

// Makes target a 24-bit copy of source with source's plane, if it has one,
// and what a writer reads beside the pixels (colour profile, gamma, colour
// weighting): what is written of a palette image whose entries' alpha is
// not known, or converted for a file that cannot carry the profile.
void PGCopyAt24Bits(TPixelGraphic& target, TPixelGraphic& source);

// The same in place: image laid on page loses its plane.
void PGLayAlphaOn(TPixelGraphic& image, TRGB page);

// StretchCopy of a source with a plane into a 24-bit target with one: the
// colours weighted by their alpha, so that transparent pixels, whatever
// colour they hold, lend none of it to their neighbours.
void PGStretchWithAlpha(TPixelGraphic& dest, int destX, int destY, int destWidth, int destHeight,
                        TPixelGraphic& source, int srcX, int srcY, int srcWidth, int srcHeight);
