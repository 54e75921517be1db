#include "pgraphic/formats/loadstep.h"

#include <algorithm>
#include <cmath>

#include "pgraphic/core/alpha.h"
#include "pgraphic/core/settings.h"
#include "pgraphic/formats/lcms_support.h"

struct TLoadColorStep::TConversion {
  pglcms::TContext Context;      // outlives the objects made in it
  pglcms::TTransform Transform;  // blue, green, red bytes in place
};

namespace {

std::uint8_t ToByte(long double v) { return std::uint8_t(std::clamp(std::nearbyint(255.0L * v), 0.0L, 255.0L)); }

void BuildGammaTable(std::uint8_t* table, long double exponent) {
  for (int i = 0; i < 256; ++i) table[i] = ToByte(i == 0 ? 0.0L : std::pow(i / 255.0L, exponent));
}

// sRGB's curve from linear light: a straight toe near black, then a power.
long double SRGBFromLinear(long double v) {
  return v <= 0.0031308L ? 12.92L * v : 1.055L * std::pow(v, 1.0L / 2.4L) - 0.055L;
}

// The file's power curve to linear light, then sRGB's curve.
void BuildSRGBTable(std::uint8_t* table, long double file) {
  for (int i = 0; i < 256; ++i) table[i] = ToByte(i == 0 ? 0.0L : SRGBFromLinear(std::pow(i / 255.0L, file)));
}

bool DisplayIsSRGB(long double display) { return std::fabs(display - SRGBGamma) < 1e-9L; }

// The table that maps the image from its FileGamma to DisplayGamma; false
// when loading leaves the pixels as they are. For sRGB's display gamma it
// does what browsers do with a PNG that states its gamma and nothing more:
// one within 5 % of 1/2.2 (as the file states it, 1/FileGamma) is taken for
// sRGB, any other goes to linear light and on by sRGB's curve, whose toe
// a pure power would miss near black by several levels.
bool LoadGammaTable(const TPixelGraphic& image, std::uint8_t* table) {
  const long double display = PGSettings().DisplayGamma;
  const long double file = image.FileGamma;
  if (!PGSettings().GammaCorrectOnLoad) return false;
  // A gamma of zero or below (or not a number) describes no transfer curve.
  if (!(display > 0.0L) || !(file > 0.0L) || !std::isfinite(display) || !std::isfinite(file)) return false;
  if (DisplayIsSRGB(display)) {
    if (std::fabs(display / file - 1.0L) <= 0.05L) return false;
    BuildSRGBTable(table, file);
    return true;
  }
  const long double exponent = file / display;
  if (std::fabs(exponent - 1.0L) <= 0.05L) return false;
  BuildGammaTable(table, exponent);
  return true;
}

void MapPaletteThrough(TPixelGraphic& image, const std::uint8_t* table) {
  for (int i = 0; i < image.PaletteCount(); ++i) {
    const TRGB c = image.GetPaletteEntry(i);
    image.SetPaletteEntry(i, RGBColor(table[GetRValue(c)], table[GetGValue(c)], table[GetBValue(c)]));
  }
}

void MapPaletteThrough(TPixelGraphic& image, void* transform) {
  std::vector<std::uint8_t> rgb;
  for (int i = 0; i < image.PaletteCount(); ++i) {
    const TRGB c = image.GetPaletteEntry(i);
    rgb.insert(rgb.end(), {std::uint8_t(GetRValue(c)), std::uint8_t(GetGValue(c)), std::uint8_t(GetBValue(c))});
  }
  if (rgb.empty()) return;
  cmsDoTransform(transform, rgb.data(), rgb.data(), cmsUInt32Number(image.PaletteCount()));
  for (int i = 0; i < image.PaletteCount(); ++i)
    image.SetPaletteEntry(i, RGBColor(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]));
}

void MapBytes(std::uint8_t* row, std::size_t count, const std::uint8_t* table) {
  for (std::size_t b = 0; b < count; ++b) row[b] = table[row[b]];
}

bool GreyPixels(const TPixelGraphic& image) {
  return image.PixelFormat() == pgpf8Bit && image.PaletteIdent() == pGray256;
}

}  // namespace

TLoadColorStep::TLoadColorStep() = default;
TLoadColorStep::~TLoadColorStep() = default;

void TLoadColorStep::Prepare(TPixelGraphic& image) {
  if (image.ColorProfile && PGSettings().ColorProfile == TColorProfileMode::cpmKeep) {
    // The profile says what the pixels mean: nothing is mapped.
    image.FileGamma = PGSettings().DisplayGamma;
    return;
  }
  if (image.ColorProfile) PrepareConversion(image);
  PrepareGamma(image);
  RowsMapped = Conversion || GreyRows || GammaRows;
}

// A grey profile maps the 256 grey values, kept as a table: grey images
// stay grey. Colour profiles map 24-bit rows, or the palette.
void TLoadColorStep::PrepareConversion(TPixelGraphic& image) {
  const TPGColorProfileRef profile = std::move(image.ColorProfile);
  if (PGSettings().ColorProfile != TColorProfileMode::cpmConvert) return;
  // Profiled pixels, and those of a file that says it is sRGB, are sRGB's.
  image.FileGamma = SRGBGamma;
  if (profile->Icc.empty()) return;
  auto conversion = std::make_unique<TConversion>();
  const pglcms::TProfile source = pglcms::OpenProfile(conversion->Context, profile->Icc);
  if (!source) return;
  if (cmsGetColorSpace(source.get()) == cmsSigGrayData) {
    const pglcms::TTransform grey = pglcms::TransformToSRGB(conversion->Context, source.get(), TYPE_GRAY_8, TYPE_RGB_8);
    if (!grey) return;
    std::uint8_t in[256], out[256 * 3];
    for (int i = 0; i < 256; ++i) in[i] = std::uint8_t(i);
    cmsDoTransform(grey.get(), in, out, 256);
    for (int i = 0; i < 256; ++i) GreyTable[i] = out[3 * i + 1];
    if (GreyPixels(image))
      GreyRows = true;
    else
      MapPaletteThrough(image, GreyTable);
    return;
  }
  const bool rows = image.PixelFormat() == pgpf24Bit;
  conversion->Transform = pglcms::TransformToSRGB(conversion->Context, source.get(), rows ? TYPE_BGR_8 : TYPE_RGB_8,
                                                  rows ? TYPE_BGR_8 : TYPE_RGB_8);
  if (!conversion->Transform) return;
  if (rows)
    Conversion = std::move(conversion);
  else
    MapPaletteThrough(image, conversion->Transform.get());
}

// 256 greys keep their palette, so that a grey image stays grey: their
// values are mapped, after a grey profile's table where there is one.
void TLoadColorStep::PrepareGamma(TPixelGraphic& image) {
  if (!LoadGammaTable(image, GammaTable)) return;
  if (GreyPixels(image)) {
    for (int i = 0; i < 256; ++i) GreyTable[i] = GammaTable[GreyRows ? GreyTable[i] : i];
    GreyRows = true;
  } else if (image.PixelFormat() != pgpf24Bit) {
    MapPaletteThrough(image, GammaTable);
  } else {
    GammaRows = !image.Empty() && image.Width() >= 1;
  }
  image.FileGamma = PGSettings().DisplayGamma;
}

void TLoadColorStep::MapRows(TPixelGraphic& image, int top, int count) {
  if (!RowsMapped || image.Empty()) return;
  const std::size_t width = std::size_t(std::max(image.Width(), 0));
  for (int y = top; y < top + count; ++y) {
    std::uint8_t* row = image.ScanLine(y);
    if (Conversion) cmsDoTransform(Conversion->Transform.get(), row, row, cmsUInt32Number(width));
    if (GreyRows) MapBytes(row, width, GreyTable);
    if (GammaRows) MapBytes(row, width * 3, GammaTable);
  }
}

void CopyInSRGB(TPixelGraphic& image, TPixelGraphic& target) {
  PGCopyAt24Bits(target, image);  // the plane too, for writers that keep it
  TPGLibrarySettings settings = PGSettings();
  settings.ColorProfile = TColorProfileMode::cpmConvert;
  const TPGThreadSettings scope(settings);
  TLoadColorStep step;
  step.Prepare(target);
  if (step.MapsRows()) step.MapRows(target, 0, target.Height());
}
