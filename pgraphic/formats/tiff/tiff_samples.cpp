// A TIFF row of samples into a row of the image: bilevel, grey and palette
// rows keep their layout; 16-bit samples are rounded to 8 bits; CMYK inks
// become RGB by the subtractive rule; an alpha sample goes into the
// image's plane, or lays the pixel on the image's background colour (on
// its grey for grey images), as PNG's alpha is.

#include <algorithm>
#include <cstring>

#include "pgraphic/core/alpha.h"
#include "pgraphic/formats/tiff/tiff_detail.h"

namespace tiff {

namespace {

// Palette and grey rows keep their layout; WhiteIsZero flips every value,
// which for 1, 4 and 8 bits is flipping every bit. Bits past the last pixel
// stay 0.
void ConvertSingleSample(const std::uint8_t* src, std::uint8_t* dst, std::size_t bytes, std::uint64_t rowBits,
                         bool whiteIsZero) {
  const std::uint8_t flip = whiteIsZero ? 0xFF : 0x00;
  for (std::size_t i = 0; i < bytes; ++i) dst[i] = src[i] ^ flip;
  if (const unsigned used = unsigned(rowBits % 8)) dst[bytes - 1] &= std::uint8_t(0xFF << (8 - used));
}

// 0 to 65535 onto 0 to 255, to the nearest (65535 is 255 x 257).
std::uint8_t Round16(std::uint16_t v) { return std::uint8_t((unsigned(v) + 128) / 257); }

// As libpng composes: alpha's share of the sample, the rest of the
// background, to the nearest; a premultiplied sample has its share already.
std::uint8_t Compose(unsigned sample, unsigned alpha, unsigned background, bool associated) {
  if (associated) return std::uint8_t(std::min(255u, sample + (background * (255 - alpha) + 127) / 255));
  return PGMix(sample, alpha, background);
}

}  // namespace

TSampleForm::TSampleForm(const TDirectory& d, TRGB background, bool keepAlpha)
    : Width(d.Width), Samples(d.SamplesPerPixel), Bits(d.BitsPerSample[0]), Photometric(d.Photometric) {
  const std::uint32_t colour = ColourSamples(d.Photometric);
  const bool alpha = Samples > colour && !d.ExtraSamples.empty() &&
                     (d.ExtraSamples[0] == exAssociatedAlpha || d.ExtraSamples[0] == exUnassociatedAlpha);
  Alpha = alpha ? int(colour) : -1;
  Associated = alpha && d.ExtraSamples[0] == exAssociatedAlpha;
  Keep = alpha && keepAlpha;
  Background[0] = GetRValue(background);
  Background[1] = GetGValue(background);
  Background[2] = GetBValue(background);
  Grey = (Background[0] + Background[1] + Background[2]) / 3;
}

void TSampleForm::Convert(const std::uint8_t* src, std::uint8_t* dst, std::uint8_t* alphaRow) const {
  if (Samples == 1 && Bits < 16) {
    const std::uint64_t rowBits = std::uint64_t(Bits) * Width;
    return ConvertSingleSample(src, dst, std::size_t((rowBits + 7) / 8), rowBits, Photometric == phWhiteIsZero);
  }
  // The common file, 8-bit RGB without alpha: the samples as they are.
  if (Alpha < 0 && Bits == 8 && Photometric == phRGB) {
    for (std::uint32_t x = 0; x < Width; ++x, src += Samples, dst += 3) dst[0] = src[2], dst[1] = src[1], dst[2] = src[0];
    return;
  }
  std::uint8_t s[16];
  for (std::uint32_t x = 0; x < Width; ++x) {
    for (std::uint32_t i = 0; i < Samples; ++i) {
      std::uint16_t wide;
      if (Bits == 16) std::memcpy(&wide, src + 2 * i, 2);
      s[i] = Bits == 16 ? Round16(wide) : src[i];
    }
    src += Samples * (Bits / 8);
    const unsigned a = Alpha < 0 ? 255 : s[Alpha];
    const auto out = [&](unsigned v, unsigned background) {
      if (Alpha < 0) return std::uint8_t(v);
      if (Keep) return Associated ? PGUnmultiplied(v, a) : std::uint8_t(v);
      return Compose(v, a, background, Associated);
    };
    if (Keep) *alphaRow++ = std::uint8_t(a);
    if (Photometric <= phBlackIsZero) {
      const unsigned v = Photometric == phWhiteIsZero ? 255 - s[0] : s[0];
      *dst++ = out(v, Grey);
      continue;
    }
    unsigned rgb[3] = {s[0], s[1], s[2]};
    if (Photometric == phSeparated)
      for (int c = 0; c < 3; ++c) rgb[c] = unsigned(std::max(0, 255 - s[c] - s[3]));
    for (int c = 0; c < 3; ++c) dst[2 - c] = out(rgb[c], Background[c]);
    dst += 3;
  }
}

}  // namespace tiff
