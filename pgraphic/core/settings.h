#pragma once
// Process-wide library settings, held beside the format registry.

#include <cstdint>

#include "pgraphic/core/types.h"

enum class TJpegDctMethod : std::uint8_t { jdctISlow, jdctIFast, jdctFloat };

// How zlib looks for repeats in PNG data: psAuto leaves the choice to
// libpng (filtered rows get psFiltered, the others psDefault); the rest are
// zlib's own strategies.
enum class TPngStrategy : std::uint8_t { psAuto, psDefault, psFiltered, psHuffmanOnly, psRle, psFixed };

// What loading does with a colour profile a file carries: convert the
// pixels to sRGB (the web's colours) and drop the profile, keep the pixels
// and the profile (writers that can hold a profile embed it), or ignore it.
enum class TColorProfileMode : std::uint8_t { cpmConvert, cpmKeep, cpmIgnore };

struct TTiffRational {
  std::uint32_t Numerator;
  std::uint32_t Denominator;
};

struct TPGLibrarySettings {
  bool GammaCorrectOnLoad = true;
  // sRGB's, the web's: untagged files are taken as meant for it.
  long double DisplayGamma = 2.2L;
  TColorProfileMode ColorProfile = TColorProfileMode::cpmConvert;
  std::uint8_t JpegQuality = 80;
  bool JpegProgressive = false;
  TJpegDctMethod JpegWriteDctMethod = TJpegDctMethod::jdctFloat;
  TJpegDctMethod JpegReadDctMethod = TJpegDctMethod::jdctISlow;
  bool PngUseFileBackground = true;
  // Readers of files with transparency keep it as the image's alpha plane;
  // without, they lay it on the image's background colour as they load.
  bool KeepAlpha = true;
  // What transparency is laid on where it cannot be kept (files without
  // it, a cell's colour, how alike two slices look): the page behind the
  // slices.
  TRGB PageColor = RGBColor(255, 255, 255);
  bool PngWriteGamma = true;
  // zlib effort of the PNG writer, 0 (stored) to 9 (smallest); 6 is
  // libpng's own default.
  std::uint8_t PngCompressionLevel = 6;
  TPngStrategy PngCompressionStrategy = TPngStrategy::psAuto;
  // The 256-colour PNG writer: images of more colours are reduced to an
  // optimised palette, with error diffusion when set.
  bool Png8Dither = true;
  // The WebP writer: quality 0 to 100 of lossy files; with WebpLossless
  // the pixels are kept exactly and the quality sets the effort spent on
  // making the file small.
  std::uint8_t WebpQuality = 80;
  bool WebpLossless = false;
  // The WebP writer's effort, 0 (fastest) to 6 (smallest files); 4 is
  // libwebp's own default.
  std::uint8_t WebpMethod = 4;
  // The formats an export's automatic choice may write slices in: bits
  // 1 JPEG, 2 PNG, 4 WebP (app/export/formatchoice.h reads and writes the names).
  std::uint8_t AutoFormats = 7;
  bool BmpScale16BitFields = true;
  std::uint16_t TiffCompression = 1;
  bool TiffWriteCMYK = false;
  bool TiffWhiteIsZero = false;
  bool TiffBigEndian = false;
  std::uint8_t TiffResolutionUnit = 1;
  TTiffRational TiffXResolution{300, 1};
  TTiffRational TiffYResolution{300, 1};
  bool TiffCountImages = false;
  std::uint32_t TiffMaxImages = 1000;
  bool PxmBinary = false;
  // Largest image (in pixels) that may be created or decoded; guards against
  // dimension bombs before any pixel memory is allocated.
  std::uint64_t MaxImagePixels = 16384ull * 16384ull;
  // Most scans a JPEG may have: a progressive file repeats its work for
  // every scan, so a small file of many scans can take minutes to decode.
  // The encoders' own scripts use ten or so; crafted files use hundreds.
  std::uint32_t JpegMaxScans = 200;
  // Most memory a decoder may take beyond the image itself (the JPEG
  // codec's coefficient buffer of a progressive file, for one), refused
  // before it is allocated.
  std::uint64_t MaxDecoderMemory = 1ull << 30;
};

// The one settings object of the process. Threads only read it while a call
// runs; a thread that holds a TPGThreadSettings gets that one instead.
TPGLibrarySettings& PGSettings();

// While it lives, PGSettings() on this thread answers a copy of settings:
// a worker encodes with the settings its job was planned with (several
// qualities at once on several threads), whatever the process-wide ones
// become meanwhile. Nested ones stack.
class TPGThreadSettings {
 public:
  explicit TPGThreadSettings(const TPGLibrarySettings& settings);
  ~TPGThreadSettings();
  TPGThreadSettings(const TPGThreadSettings&) = delete;
  TPGThreadSettings& operator=(const TPGThreadSettings&) = delete;
  TPGLibrarySettings Settings;

 private:
  TPGLibrarySettings* FOuter;
};
