#include "app/export/formatchoice.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "app/export/exporterror.h"
#include "pgraphic/core/alpha.h"
#include "pgraphic/core/indexed.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/ssim.h"
#include "pgraphic/core/stream.h"
#include "pgraphic/formats/registry.h"

namespace {

struct TAutoName {
  std::uint8_t Bit;
  const char* Name;
};
constexpr TAutoName kAutoNames[] = {{afJpeg, "jpg"}, {afPng, "png"}, {afWebp, "webp"}};

const TOutputFormat& Format(const char* name) { return *FindOutputFormat(name); }

std::string Bytes(std::size_t count) { return std::to_string(count) + " bytes"; }

std::string Ssim(double value) {
  char text[16];
  std::snprintf(text, sizeof text, "%.4f", value);
  return text;
}

// The file of image by writer, in memory, under settings.
std::vector<std::uint8_t> Encode(TPixelGraphic& image, const std::string& writer,
                                 const TPGLibrarySettings& settings) {
  const TPGThreadSettings scope(settings);
  TMemoryStream stream;
  image.SaveToStreamExt(stream, writer);
  return std::move(stream.Bytes());
}

// The pixels a file's decoder gives, as a browser shows them: neither gamma
// nor colour profile applied, since neither changes what was coded, and
// transparency laid on the page colour.
void Decode(const std::vector<std::uint8_t>& bytes, TPixelGraphic& image, const TPGLibrarySettings& settings) {
  TPGLibrarySettings plain = settings;
  plain.GammaCorrectOnLoad = false;
  plain.ColorProfile = TColorProfileMode::cpmIgnore;
  plain.KeepAlpha = true;
  const TPGThreadSettings scope(plain);
  TMyMemoryStream stream;
  stream.SetPointer(const_cast<std::uint8_t*>(bytes.data()), std::int64_t(bytes.size()));
  image.ReadWarningAction = pgwaRaise;
  image.LoadFromStream(stream);
  PGLayAlphaOn(image, settings.PageColor);
}

TPGLibrarySettings WithJpegQuality(TPGLibrarySettings settings, int quality) {
  settings.JpegQuality = std::uint8_t(quality);
  return settings;
}

TPGLibrarySettings WithWebp(TPGLibrarySettings settings, int quality, bool lossless) {
  settings.WebpQuality = std::uint8_t(quality);
  settings.WebpMethod = kAutoWebpMethod;
  settings.WebpLossless = lossless;
  return settings;
}

// A WebP tried at one quality.
struct TTry {
  int Quality = -1;
  std::vector<std::uint8_t> Bytes;
  double Ssim = 0;
};

// The lowest WebP quality that looks at least as good as the JPEG (see
// EncodeSlice): the look is taken to grow with the quality, and so is the
// size.
class TWebpSearch {
 public:
  TWebpSearch(TPixelGraphic& image, const TSsimReference& reference, const TPGLibrarySettings& settings,
              double target, std::size_t limit)
      : FImage(image), FReference(reference), FSettings(settings), FTarget(target), FLimit(limit) {}

  // Steps of 8, 16 ... from start until the lowest good enough quality
  // lies between two tries, then halving that span down to 8 qualities:
  // the last few qualities are worth fewer bytes than the encodes cost.
  void Run(int start) {
    int step = kAutoWebpSpan;
    if (Probe(start)) {
      while (Hi > 0 && Lo < 0 && Probe(std::max(0, Hi - step))) step *= 2;
    } else {
      while (!Hopeless && Lo < 100 && Hi > 100) Probe(std::min(100, Lo + step)), step *= 2;
    }
    while (!Hopeless && Hi <= 100 && Hi - Lo > kAutoWebpSpan) Probe((Lo + Hi) / 2);
  }

  TTry Best;        // the lowest quality good enough, when Hi <= 100
  int Lo = -1;      // the highest quality tried that falls short
  int Hi = 101;     // the lowest quality tried that is good enough
  bool Hopeless = false;  // one fell short at the limit's size or more
  TTry Short;       // the best look that fell short
  int Encodes = 0;

 private:
  bool Probe(int quality) {
    TTry t;
    t.Quality = quality;
    t.Bytes = Encode(FImage, "webp", WithWebp(FSettings, quality, false));
    ++Encodes;
    TPixelGraphic decoded;
    Decode(t.Bytes, decoded, FSettings);
    t.Ssim = FReference.Compare(decoded);
    if (t.Ssim >= FTarget) {
      Hi = quality;
      Best = std::move(t);
      return true;
    }
    Lo = std::max(Lo, quality);
    if (t.Bytes.size() >= FLimit) Hopeless = true;
    if (t.Ssim > Short.Ssim || Short.Quality < 0) Short = std::move(t);
    return false;
  }

  TPixelGraphic& FImage;
  const TSsimReference& FReference;
  const TPGLibrarySettings& FSettings;
  double FTarget;
  std::size_t FLimit;
};

TEncodedSlice Made(const TOutputFormat& format, std::vector<std::uint8_t> bytes, int quality = -1) {
  TEncodedSlice slice;
  slice.Format = &format;
  slice.Bytes = std::move(bytes);
  slice.Quality = quality;
  slice.Encodes = 1;
  return slice;
}

// 256 colours or fewer: exact, as the smaller of the two that may be had.
TEncodedSlice ChooseExact(TPixelGraphic& image, std::uint8_t formats, const TPGLibrarySettings& settings) {
  const std::string start = "256 colours or fewer, kept exact: ";
  std::optional<TEncodedSlice> png, webp;
  if (formats & afPng) png = Made(Format("png8"), Encode(image, "png8", settings));
  if (formats & afWebp) webp = Made(Format("webp"), Encode(image, "webp", WithWebp(settings, settings.WebpQuality, true)));
  if (!webp) {
    png->Reason = start + "PNG (WebP left out)";
    return std::move(*png);
  }
  if (!png) {
    webp->Reason = start + "lossless WebP (PNG left out)";
    return std::move(*webp);
  }
  // Of equal sizes the PNG, which every program reads.
  const bool pngWins = png->Bytes.size() <= webp->Bytes.size();
  TEncodedSlice& winner = pngWins ? *png : *webp;
  winner.Reason = start + (pngWins ? "PNG beats lossless WebP (" + Bytes(webp->Bytes.size()) + ")"
                                   : "lossless WebP beats PNG (" + Bytes(png->Bytes.size()) + ")");
  winner.Encodes = 2;
  return std::move(winner);
}

// A 256-colour PNG of image (an optimised palette, without error diffusion
// or, where that falls short, with it) that looks at least as good as
// target, if any. Diffusion only ever buys looks for bytes: where the
// plain palette looks good enough it is the smaller file.
std::optional<TEncodedSlice> PaletteThatLooksAsGood(TPixelGraphic& image, const TSsimReference& reference,
                                                    const TPGLibrarySettings& settings, double target,
                                                    int& encodes) {
  for (const bool diffused : {false, true}) {
    TPGLibrarySettings trial = settings;
    trial.Png8Dither = diffused;
    std::vector<std::uint8_t> bytes = Encode(image, "png8", trial);
    ++encodes;
    TPixelGraphic decoded;
    Decode(bytes, decoded, settings);
    const double ssim = reference.Compare(decoded);
    if (ssim < target) continue;
    TEncodedSlice png = Made(Format("png8"), std::move(bytes));
    png.Reason = std::string(diffused ? "with" : "without") + " diffusion, SSIM " + Ssim(ssim);
    return png;
  }
  return std::nullopt;
}

const char* const kJpegWithoutWebp = "more than 256 colours: JPEG (WebP left out)";

// The lossy file chosen: the JPEG or a WebP that looks as good in fewer
// bytes. rival is the size of another file as good (a palette's), if any: a
// WebP that falls short at that size already cannot win either.
TEncodedSlice ChooseJpegOrWebp(TPixelGraphic& image, std::uint8_t formats, const TPGLibrarySettings& settings,
                               int jpegQuality, TEncodedSlice jpeg, const TSsimReference& reference,
                               double target, std::size_t rival) {
  const std::string start = "more than 256 colours: ";
  if (!(formats & afWebp)) {
    jpeg.Reason = kJpegWithoutWebp;
    return jpeg;
  }
  const bool jpegAllowed = formats & afJpeg;
  TWebpSearch search(image, reference, settings, target,
                     std::min(rival, jpegAllowed ? jpeg.Bytes.size() : SIZE_MAX));
  // Where the lowest good enough quality mostly lies: a little below the
  // JPEG's on photographs, far below it where the JPEG already looks almost
  // perfect (flat areas, text), since WebP codes those in fewer bits.
  search.Run(target >= 0.98 ? std::min(jpegQuality, 40) : std::max(0, jpegQuality - 8));
  const int encodes = 1 + search.Encodes;
  const std::string look = "SSIM of JPEG quality " + std::to_string(jpegQuality) + ": " + Ssim(target);
  if (search.Hi <= 100 && (!jpegAllowed || search.Best.Bytes.size() < jpeg.Bytes.size())) {
    TEncodedSlice webp = Made(Format("webp"), std::move(search.Best.Bytes), search.Best.Quality);
    webp.Reason = start + "WebP quality " + std::to_string(webp.Quality) + " looks as good (SSIM " +
                  Ssim(search.Best.Ssim) + ", " + look + ")" +
                  (jpegAllowed ? " and beats the JPEG (" + Bytes(jpeg.Bytes.size()) + ")" : " (JPEG left out)");
    webp.Encodes = encodes;
    return webp;
  }
  if (!jpegAllowed) {  // no quality looks as good: the best look WebP has
    TEncodedSlice webp = Made(Format("webp"), std::move(search.Short.Bytes), search.Short.Quality);
    webp.Reason = start + "WebP quality " + std::to_string(webp.Quality) + ", the best it looks (SSIM " +
                  Ssim(search.Short.Ssim) + ", " + look + "; JPEG left out)";
    webp.Encodes = encodes;
    return webp;
  }
  jpeg.Encodes = encodes;
  if (search.Hi <= 100)
    jpeg.Reason = start + "JPEG beats WebP quality " + std::to_string(search.Best.Quality) +
                  ", the lowest that looks as good (" + Bytes(search.Best.Bytes.size()) + ")";
  else if (search.Hopeless)
    jpeg.Reason = start + "JPEG; WebP quality " + std::to_string(search.Lo) + " falls short (SSIM " +
                  Ssim(search.Short.Ssim) + ", " + look + ") at " + Bytes(search.Short.Bytes.size()) + " already";
  else
    jpeg.Reason = start + "JPEG; no WebP quality looks as good (at best SSIM " + Ssim(search.Short.Ssim) + ", " +
                  look + ")";
  return jpeg;
}

// More colours: the JPEG at the chosen quality, or a WebP that looks as good
// in fewer bytes; for a near-flat cell (flat colours with anti-aliased
// edges, kNearFlatColours or fewer) also a 256-colour PNG, which keeps
// edges sharp where a JPEG rings and often costs fewer bytes.
TEncodedSlice ChooseLossy(TPixelGraphic& image, std::uint8_t formats, const TPGLibrarySettings& settings,
                          int jpegQuality) {
  TEncodedSlice jpeg = Made(Format("jpg"), Encode(image, "jpg", WithJpegQuality(settings, jpegQuality)), jpegQuality);
  const bool palette = (formats & afPng) && HasAtMostColors(image, kNearFlatColours);
  if (!(formats & afWebp) && !palette) {
    jpeg.Reason = kJpegWithoutWebp;
    return jpeg;
  }
  // Cells with transparency are measured as they show on the page.
  TPixelGraphic laid;
  if (image.HasAlpha()) PGCopyLaidOn(laid, image, settings.PageColor);
  const TSsimReference reference(image.HasAlpha() ? laid : image);
  TPixelGraphic decoded;
  Decode(jpeg.Bytes, decoded, settings);
  const double target = reference.Compare(decoded);
  int encodes = 0;
  std::optional<TEncodedSlice> png =
      palette ? PaletteThatLooksAsGood(image, reference, settings, target, encodes) : std::nullopt;
  TEncodedSlice lossy = ChooseJpegOrWebp(image, formats, settings, jpegQuality, std::move(jpeg), reference, target,
                                         png ? png->Bytes.size() : SIZE_MAX);
  if (!png || png->Bytes.size() >= lossy.Bytes.size()) {
    lossy.Encodes += encodes;
    return lossy;
  }
  png->Reason = "near-flat, " + std::to_string(kNearFlatColours) + " colours or fewer: 256-colour PNG " + png->Reason +
                ", looks as good as JPEG quality " + std::to_string(jpegQuality) + " (SSIM " + Ssim(target) +
                ") and beats the " + lossy.Format->Name + " (" + Bytes(lossy.Bytes.size()) + ")";
  png->Encodes = lossy.Encodes + encodes;
  return std::move(*png);
}

TEncodedSlice Choose(TPixelGraphic& image, int quality, const TEncodeRules& rules) {
  const TPGLibrarySettings& settings = rules.Settings;
  const std::uint8_t formats = AutoFormatsFor(rules);
  if (formats == 0) throw EExportError(AutoFormatsProblem(rules));
  const int jpegQuality = quality >= 0 ? quality : settings.JpegQuality;
  if (formats & (afPng | afWebp) && HasAtMost256Colors(image)) return ChooseExact(image, formats, settings);
  if (formats & (afJpeg | afWebp)) return ChooseLossy(image, formats, settings, jpegQuality);
  TEncodedSlice png = Made(Format("png"), Encode(image, "png", settings));
  png.Reason = "more than 256 colours: PNG, exact (JPEG and WebP left out)";
  return png;
}

}  // namespace

std::optional<std::uint8_t> AutoFormatsFromText(const std::string& text) {
  std::uint8_t formats = 0;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    const std::string name = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    const auto it = std::find_if(std::begin(kAutoNames), std::end(kAutoNames),
                                 [&](const TAutoName& entry) { return name == entry.Name; });
    if (it == std::end(kAutoNames)) return std::nullopt;
    formats |= it->Bit;
    if (comma == std::string::npos) return formats;
    start = comma + 1;
  }
}

std::string AutoFormatsText(std::uint8_t formats) {
  std::string text;
  for (const TAutoName& entry : kAutoNames)
    if (formats & entry.Bit) text += (text.empty() ? "" : ",") + std::string(entry.Name);
  return text;
}

std::uint8_t AutoFormatsFor(const TEncodeRules& rules) {
  return std::uint8_t(rules.Settings.AutoFormats & afAll & (rules.Email ? ~afWebp : afAll));
}

std::vector<std::string> AutoFormatExtensions(std::uint8_t formats) {
  std::vector<std::string> extensions;
  for (const TAutoName& entry : kAutoNames)
    if (formats & entry.Bit) extensions.push_back(Format(entry.Name).Extension);
  return extensions;
}

std::string AutoFormatsProblem(const TEncodeRules& rules) {
  if (AutoFormatsFor(rules) != 0) return "";
  const std::string allowed = AutoFormatsText(rules.Settings.AutoFormats & afAll);
  return "AutoFormats allows " +
         (allowed.empty() ? std::string("no format") : "only " + allowed + ", which pages for mail leave out") +
         "; nothing was written.";
}

TEncodedSlice EncodeSlice(TPixelGraphic& image, const TSliceFormat& format, const TEncodeRules& rules) {
  if (format.Format->Chosen()) return Choose(image, format.Quality, rules);
  TPGLibrarySettings settings = rules.Settings;
  int quality = -1;
  if (format.Format->Writer == "jpg") {
    quality = format.Quality >= 0 ? format.Quality : settings.JpegQuality;
    settings = WithJpegQuality(settings, quality);
  } else if (format.Format->Writer == "webp" && !settings.WebpLossless) {
    quality = format.Quality >= 0 ? format.Quality : settings.WebpQuality;
    settings.WebpQuality = std::uint8_t(quality);
  }
  return Made(*format.Format, Encode(image, format.Format->Writer, settings), quality);
}
