#pragma once
// Building BMP files byte by byte, loading bytes, and catching messages:
// shared by the BMP and registry tests.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/stream.h"
#include "support/peer.h"
#include "support/raised.h"

namespace bmpfix {

using Bytes = std::vector<std::uint8_t>;

inline void Put16(Bytes& b, std::uint32_t v) {
  b.push_back(std::uint8_t(v));
  b.push_back(std::uint8_t(v >> 8));
}
inline void Put32(Bytes& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(std::uint8_t(v >> (8 * i)));
}

// The fields of a Windows (40-byte header) file; Data are the pixel bytes as stored.
struct WinBmp {
  std::int32_t Width = 1;
  std::int32_t Height = 1;
  std::uint16_t Planes = 1;
  std::uint16_t BitCount = 24;
  std::uint32_t Compression = 0;
  std::uint32_t SizeImage = 0;  // 0: the size of Data
  std::uint32_t ClrUsed = 0;
  std::uint32_t HeaderSize = 40;
  std::uint32_t Offset = 0;  // 0: where the data really starts
  std::vector<TRGB> Palette = {};
  std::vector<std::uint32_t> Masks = {};
  Bytes Data = {};
};

inline Bytes Build(const WinBmp& s) {
  Bytes b{'B', 'M'};
  Put32(b, 0);  // file size, filled in at the end
  Put32(b, 0);
  const std::size_t tables = 4 * (s.Masks.size() + s.Palette.size());
  Put32(b, s.Offset ? s.Offset : std::uint32_t(14 + s.HeaderSize + tables));
  Put32(b, s.HeaderSize);
  Put32(b, std::uint32_t(s.Width));
  Put32(b, std::uint32_t(s.Height));
  Put16(b, s.Planes);
  Put16(b, s.BitCount);
  Put32(b, s.Compression);
  Put32(b, s.SizeImage ? s.SizeImage : std::uint32_t(s.Data.size()));
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, s.ClrUsed);
  Put32(b, 0);
  for (std::uint32_t i = 40; i < s.HeaderSize; ++i) b.push_back(0);
  for (std::uint32_t m : s.Masks) Put32(b, m);
  for (TRGB c : s.Palette) {
    b.push_back(std::uint8_t(GetBValue(c)));
    b.push_back(std::uint8_t(GetGValue(c)));
    b.push_back(std::uint8_t(GetRValue(c)));
    b.push_back(0);
  }
  b.insert(b.end(), s.Data.begin(), s.Data.end());
  const std::uint32_t size = std::uint32_t(b.size());
  for (int i = 0; i < 4; ++i) b[std::size_t(2 + i)] = std::uint8_t(size >> (8 * i));
  return b;
}

// An OS/2 file: 12-byte core header and 3-byte palette entries.
inline Bytes BuildCore(int width, int height, int bits, const std::vector<TRGB>& palette,
                       const Bytes& data, int planes = 1) {
  Bytes b{'B', 'M'};
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, std::uint32_t(26 + 3 * palette.size()));
  Put32(b, 12);
  Put16(b, std::uint32_t(width));
  Put16(b, std::uint32_t(height));
  Put16(b, std::uint32_t(planes));
  Put16(b, std::uint32_t(bits));
  for (TRGB c : palette) {
    b.push_back(std::uint8_t(GetBValue(c)));
    b.push_back(std::uint8_t(GetGValue(c)));
    b.push_back(std::uint8_t(GetRValue(c)));
  }
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

inline std::vector<TRGB> Greys(int n) {
  std::vector<TRGB> p;
  for (int i = 0; i < n; ++i) p.push_back(Grey(unsigned(i * 255 / std::max(1, n - 1))));
  return p;
}

inline void LoadBytes(TPixelGraphic& image, const Bytes& bytes, const std::string& ext = "bmp") {
  TMemoryStream stream(bytes);
  image.LoadFromStreamExt(stream, ext, 0);
}

inline Bytes SaveBytes(TPixelGraphic& image, const std::string& ext = "bmp") {
  TMemoryStream stream;
  image.SaveToStreamExt(stream, ext);
  return stream.Bytes();
}

using support::MessageOf;

// The pixel memory of an image, padding included.
inline Bytes PixelBytes(TPixelGraphic& image) {
  if (image.Empty()) return {};
  return Bytes(image.Bits(), image.Bits() + image.ImageSize());
}

// A fresh scratch directory of the running test's own, so that tests run in
// parallel never share a file.
inline std::string TestDir() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return peer::ScratchDir(std::string(info->test_suite_name()) + "_" + info->name());
}

// Runs a Python snippet (Pillow available) from a script beside `near`.
inline int PythonNear(const std::string& near, const std::string& code) {
  const std::string script = near + ".py";
  peer::WriteFile(script, Bytes(code.begin(), code.end()));
  return peer::Run(std::string(peer::kPython) + " '" + script + "'");
}

// Decodes a file with Pillow into RGB.
inline peer::RgbImage PillowDecode(const std::string& path) {
  const std::string out = path + ".pillow.ppm";
  if (PythonNear(path, "from PIL import Image\nImage.open('" + path + "').convert('RGB').save('" + out + "')\n") != 0) {
    ADD_FAILURE() << "Pillow could not read " << path;
    return {};
  }
  return peer::ReadPnm(out);
}

// Decodes a file with ImageMagick into RGB.
inline peer::RgbImage MagickDecode(const std::string& path) {
  const std::string out = path + ".magick.ppm";
  if (peer::Run("convert '" + path + "' -depth 8 ppm:'" + out + "'") != 0) {
    ADD_FAILURE() << "ImageMagick could not read " << path;
    return {};
  }
  return peer::ReadPnm(out);
}

// Restores a library setting when the test ends.
template <class T>
class SettingGuard {
 public:
  explicit SettingGuard(T& setting) : Setting(setting), Old(setting) {}
  ~SettingGuard() { Setting = Old; }

 private:
  T& Setting;
  T Old;
};

}  // namespace bmpfix
