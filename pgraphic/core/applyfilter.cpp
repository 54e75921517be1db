// TPixelGraphic::ApplyFilter: fills an image with a source passed through a
// filter; and the plain filter the others refine.

#include "pgraphic/core/errors.h"
#include "pgraphic/core/filter.h"
#include "pgraphic/core/pixelgraphic.h"

void TPGFilter::BeginFilter(TPixelGraphic& source) { FSource = &source; }

TRGB TPGFilter::FilterPixel(int, int) { return 0; }

void TPGFilter::EndFilter() { FSource = nullptr; }

bool TPGFilter::IsColorMapping() const { return false; }

TRGB TPGFilter::FilterColor(TRGB color) { return color; }

namespace {

// A colour mapping reaches every pixel through the palette when the target
// can hold the source's indices unchanged.
bool UsesPalettePath(TPGFilter& filter, const TPixelGraphic& target,
                     const TPixelGraphic& source) {
  return filter.IsColorMapping() && target.PixelFormat() != pgpf24Bit &&
         target.PixelFormat() >= source.PixelFormat();
}

void FilterPalette(TPGFilter& filter, TPixelGraphic& target, TPixelGraphic& source) {
  if (&source != &target) target.Assign(&source);
  if (target.PaletteCount() == 0) return;
  TPGFilterPass pass(filter, source);
  for (int i = 0; i < target.PaletteCount(); ++i) {
    target.SetPaletteEntry(i, filter.FilterColor(target.GetPaletteEntry(i)));
  }
}

void PutFilteredPixel(TPGFilter& filter, TPixelGraphic& target, int x, int y, bool dither) {
  const TRGB color = filter.FilterPixel(x, y);
  if (dither) {
    target.PutDithered(x, y, GetRValue(color), GetGValue(color), GetBValue(color));
  } else {
    target.SetPixelColor(x, y, color);
  }
}

// Odd rows run right to left so that the diffusion's error travels in a
// serpentine and does not pile up on one side.
void FilterRow(TPGFilter& filter, TPixelGraphic& target, int y, bool dither) {
  const int width = target.Width();
  if (y % 2 == 0) {
    for (int x = 0; x < width; ++x) PutFilteredPixel(filter, target, x, y, dither);
  } else {
    for (int x = width - 1; x >= 0; --x) PutFilteredPixel(filter, target, x, y, dither);
  }
}

void FilterPixels(TPGFilter& filter, TPixelGraphic& target, TPixelGraphic& source) {
  TPGDitherGuard ditherGuard(target);
  const bool dither = target.Dither && target.PixelFormat() != pgpf24Bit;
  if (dither) target.PrepareDither();
  TPGFilterPass pass(filter, source);
  target.DoProgressStart();
  const int last = target.Height() - 1;
  for (int y = 0; y <= last; ++y) {
    if (dither) target.NextDitherRow();
    FilterRow(filter, target, y, dither);
    if (target.DoProgress(y, last)) break;
  }
  target.DoProgressEnd();
}

}  // namespace

void TPixelGraphic::ApplyFilter(TPGFilter& filter, TPixelGraphic& source) {
  const bool onItself = &source == this;
  if (onItself && !filter.IsColorMapping()) RaisePG<EPGFilter>(msgFilterOnItself);
  if (!onItself) SetSizeAndFormat(source.Width(), source.Height(), PixelFormat());
  if (Width() == 0 || Height() == 0) return;
  if (UsesPalettePath(filter, *this, source)) {
    FilterPalette(filter, *this, source);
  } else {
    FilterPixels(filter, *this, source);
  }
  Changed();
}
