#include "pgraphic/formats/decodechecks.h"

#include "pgraphic/core/settings.h"

bool PGImageTooLarge(std::int64_t width, std::int64_t height, int bitCount) {
  if (width < 0 || height < 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) return true;
  const auto pixels = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
  if (pixels > PGSettings().MaxImagePixels) return true;
  const auto bytes = static_cast<std::uint64_t>(BytesPerRowFor(bitCount, width)) *
                     static_cast<std::uint64_t>(height);
  return bytes > 0xFFFFFFFFull;
}

namespace {

std::string MegaBytes(std::uint64_t bytes) {
  if (bytes < (1u << 20)) return std::to_string(bytes) + " bytes";
  return std::to_string((bytes + (1 << 20) - 1) >> 20) + " MB";
}

}  // namespace

std::string PGDecoderMemoryText(std::uint64_t limit, std::uint64_t needed) {
  return std::string("Decoding needs ") + (needed ? MegaBytes(needed) + ", " : "") +
         "more memory than MaxDecoderMemory allows (" + MegaBytes(limit) + ")";
}

bool PGIndicesInPalette(TPixelGraphic& image) {
  const unsigned count = static_cast<unsigned>(image.PaletteCount());
  const int bits = image.BitCount();
  if (image.Empty() || bits > 8 || count >= static_cast<unsigned>(image.ColorTableSize())) return true;
  const unsigned mask = (1u << bits) - 1;
  for (int y = 0; y < image.Height(); ++y) {
    const std::uint8_t* row = image.ScanLine(y);
    for (int x = 0; x < image.Width(); ++x) {
      const std::int64_t bit = std::int64_t(x) * bits;
      if (((row[bit / 8] >> (8 - bits - bit % 8)) & mask) >= count) return false;
    }
  }
  return true;
}

std::string PGPowerOfTwoText(int bits) {
  if (bits < 0 || bits > 63) return "";
  return std::to_string(std::uint64_t{1} << bits);
}
