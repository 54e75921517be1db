#pragma once
// Process-wide library settings, held beside the format registry.

#include <cstdint>

enum class TJpegDctMethod : std::uint8_t { jdctISlow, jdctIFast, jdctFloat };

struct TTiffRational {
  std::uint32_t Numerator;
  std::uint32_t Denominator;
};

struct TPGLibrarySettings {
  bool GammaCorrectOnLoad = true;
  long double DisplayGamma = 1.8L;
  std::uint8_t JpegQuality = 80;
  bool JpegProgressive = false;
  TJpegDctMethod JpegWriteDctMethod = TJpegDctMethod::jdctFloat;
  TJpegDctMethod JpegReadDctMethod = TJpegDctMethod::jdctISlow;
  bool PngUseFileBackground = true;
  bool PngWriteGamma = true;
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
};

// The one settings object of the process. Threads only read it while a call runs.
TPGLibrarySettings& PGSettings();
