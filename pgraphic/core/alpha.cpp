#include "pgraphic/core/alpha.h"

#include <algorithm>
#include <cstring>

#include "pgraphic/core/pixelgraphic.h"

bool PGAlphaIsOpaque(TPixelGraphic& image) {
  if (!image.HasAlpha()) return true;
  for (int y = 0; y < image.Height(); ++y) {
    const std::uint8_t* a = image.AlphaLine(y);
    if (!std::all_of(a, a + image.Width(), [](std::uint8_t v) { return v == 0xFF; })) return false;
  }
  return true;
}

void PGCopyAt24Bits(TPixelGraphic& target, TPixelGraphic& source) {
  target.SetSizeAndFormat(source.Width(), source.Height(), pgpf24Bit);
  if (source.HasAlpha()) target.AddAlpha();
  target.CopyRect(0, 0, source, 0, 0, source.Width(), source.Height());
  target.ColorProfile = source.ColorProfile;
  target.FileGamma = source.FileGamma;
  target.SetRGBWeighting(source.RGBWeighting());
}

void PGCopyLaidOn(TPixelGraphic& target, TPixelGraphic& source, TRGB page) {
  target.Assign(&source);
  if (!source.HasAlpha()) return;
  const bool grey = source.PixelFormat() == pgpf8Bit && source.PaletteIdent() == pGray256 &&
                    GetRValue(page) == GetGValue(page) && GetGValue(page) == GetBValue(page);
  target.SetSizeAndFormat(source.Width(), source.Height(), grey ? pgpf8Bit : pgpf24Bit);
  if (grey) target.SetPaletteIdent(pGray256);
  for (int y = 0; y < source.Height(); ++y) {
    const std::uint8_t* a = source.AlphaLine(y);
    std::uint8_t* to = target.ScanLine(y);
    for (int x = 0; x < source.Width(); ++x) {
      const TRGB c = PGLaidOn(source.GetPixelColor(x, y), a[x], page);
      if (grey) {
        to[x] = std::uint8_t(GetRValue(c));
        continue;
      }
      to[3 * x] = std::uint8_t(GetBValue(c));
      to[3 * x + 1] = std::uint8_t(GetGValue(c));
      to[3 * x + 2] = std::uint8_t(GetRValue(c));
    }
  }
  target.ColorProfile = source.ColorProfile;
}

void PGLayAlphaOn(TPixelGraphic& image, TRGB page) {
  if (!image.HasAlpha()) return;
  TPixelGraphic laid;
  PGCopyLaidOn(laid, image, page);
  image.Assign(&laid);
}

namespace {

// The srcWidth x srcHeight rectangle of source as two 24-bit images: its
// colours multiplied by their alpha, and its alpha as greys.
void SplitPremultiplied(TPixelGraphic& source, int srcX, int srcY, int width, int height, TPixelGraphic& colours,
                        TPixelGraphic& alphas) {
  colours.SetSizeAndFormat(width, height, pgpf24Bit);
  alphas.SetSizeAndFormat(width, height, pgpf24Bit);
  for (int y = 0; y < height; ++y) {
    const int sy = srcY + y;
    if (sy < 0 || sy >= source.Height()) continue;
    const std::uint8_t* a = source.AlphaLine(sy);
    std::uint8_t* c = colours.ScanLine(y);
    std::uint8_t* g = alphas.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      const int sx = srcX + x;
      if (sx < 0 || sx >= source.Width()) continue;
      const TRGB laid = PGLaidOn(source.GetPixelColor(sx, sy), a[sx], 0);
      c[3 * x] = std::uint8_t(GetBValue(laid));
      c[3 * x + 1] = std::uint8_t(GetGValue(laid));
      c[3 * x + 2] = std::uint8_t(GetRValue(laid));
      std::memset(g + 3 * x, a[sx], 3);
    }
  }
}

}  // namespace

void PGStretchWithAlpha(TPixelGraphic& dest, int destX, int destY, int destWidth, int destHeight,
                        TPixelGraphic& source, int srcX, int srcY, int srcWidth, int srcHeight) {
  TPixelGraphic colours, alphas, scaledColours, scaledAlphas;
  SplitPremultiplied(source, srcX, srcY, srcWidth, srcHeight, colours, alphas);
  for (TPixelGraphic* scaled : {&scaledColours, &scaledAlphas}) {
    scaled->SetSizeAndFormat(dest.Width(), dest.Height(), pgpf24Bit);
    scaled->StretchMode = dest.StretchMode;
  }
  scaledColours.StretchCopy(destX, destY, destWidth, destHeight, colours, 0, 0, srcWidth, srcHeight);
  scaledAlphas.StretchCopy(destX, destY, destWidth, destHeight, alphas, 0, 0, srcWidth, srcHeight);
  const int firstRow = std::max(destY, 0), lastRow = std::min(destY + destHeight, dest.Height());
  const int firstCol = std::max(destX, 0), lastCol = std::min(destX + destWidth, dest.Width());
  for (int y = firstRow; y < lastRow; ++y) {
    const std::uint8_t* c = scaledColours.ScanLine(y);
    const std::uint8_t* g = scaledAlphas.ScanLine(y);
    std::uint8_t* to = dest.ScanLine(y);
    std::uint8_t* a = dest.AlphaLine(y);
    for (int x = firstCol; x < lastCol; ++x) {
      const unsigned alpha = g[3 * x];
      a[x] = std::uint8_t(alpha);
      for (int k = 0; k < 3; ++k) to[3 * x + k] = PGUnmultiplied(c[3 * x + k], alpha);
    }
  }
  dest.Changed();
}
