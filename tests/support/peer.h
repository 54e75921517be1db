#pragma once
// Helpers for tests that compare our files with those of peer tools
// (ImageMagick, Pillow, netpbm, libtiff tools, libjpeg tools).

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"
#include "support/file_contents.h"
#include "support/scratch_dir.h"

namespace peer {

// The system interpreter, which has Pillow; a pyenv one may not.
inline const char* kPython = "/usr/bin/python3";

using support::ScratchDir;

// Runs a shell command; returns its exit status and, when asked, its stdout.
inline int Run(const std::string& command, std::string* output = nullptr) {
  FILE* pipe = popen((command + (output ? "" : " >/dev/null") + " 2>/dev/null").c_str(), "r");
  if (!pipe) return -1;
  char buf[4096];
  std::size_t n;
  std::string out;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  const int status = pclose(pipe);
  if (output) *output = out;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline bool HaveTool(const std::string& tool) {
  return Run("command -v " + tool) == 0;
}

// A scratch directory private to this process and call, so that test
// programs running side by side under ctest never share one.
inline std::string PrivateDir(const std::string& prefix) {
  static int counter = 0;
  return ScratchDir(prefix + "-" + std::to_string(getpid()) + "-" + std::to_string(++counter));
}

// Runs a Python snippet with the system interpreter (Pillow available).
inline int Python(const std::string& code, std::string* output = nullptr) {
  const std::string path = PrivateDir("py") + "/snippet.py";
  std::ofstream(path) << code;
  return Run(std::string(kPython) + " " + path, output);
}

inline std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

using support::WriteFile;

// Top-down RGB pixels, 3 bytes each.
struct RgbImage {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint8_t> Rgb;
  bool operator==(const RgbImage&) const = default;
};

// Rows all zero, as rows whose memory went back to the system read.
inline int ZeroRows(const RgbImage& image) {
  int zero = 0;
  const std::size_t rowBytes = std::size_t(image.Width) * 3;
  for (std::size_t y = 0; y < std::size_t(image.Height); ++y) {
    const auto row = image.Rgb.begin() + std::ptrdiff_t(y * rowBytes);
    zero += std::all_of(row, row + std::ptrdiff_t(rowBytes), [](std::uint8_t v) { return v == 0; });
  }
  return zero;
}

// Reads a binary PPM (P6) or PGM (P5) with maximum value 255 (grey is widened to RGB).
inline RgbImage ReadPnm(const std::string& path) {
  const std::vector<std::uint8_t> data = ReadFile(path);
  std::size_t pos = 0;
  auto token = [&]() {
    std::string t;
    while (pos < data.size()) {
      const char c = char(data[pos]);
      if (c == '#') {
        while (pos < data.size() && data[pos] != '\n') ++pos;
      } else if (std::isspace(static_cast<unsigned char>(c))) {
        if (!t.empty()) break;
        ++pos;
      } else {
        t += c;
        ++pos;
      }
    }
    return t;
  };
  RgbImage img;
  const std::string magic = token();
  img.Width = std::stoi(token());
  img.Height = std::stoi(token());
  const int maxval = std::stoi(token());
  ++pos;  // the single whitespace after the header
  if ((magic != "P6" && magic != "P5") || maxval != 255) {
    ADD_FAILURE() << "unsupported PNM in test helper: " << path;
    return img;
  }
  const std::size_t channels = magic == "P6" ? 3 : 1;
  const std::size_t count = std::size_t(img.Width) * std::size_t(img.Height);
  if (data.size() < pos + count * channels) {
    ADD_FAILURE() << "short PNM: " << path;
    return img;
  }
  img.Rgb.resize(count * 3);
  for (std::size_t i = 0; i < count; ++i)
    for (std::size_t c = 0; c < 3; ++c) img.Rgb[3 * i + c] = data[pos + i * channels + (channels == 3 ? c : 0)];
  return img;
}

// Decodes any file with ImageMagick into RGB (alpha, if any, is dropped).
inline RgbImage DecodeWithMagick(const std::string& path) {
  const std::string out = PrivateDir("magick") + "/out.ppm";
  if (Run("convert '" + path + "' -depth 8 ppm:'" + out + "'") != 0) {
    ADD_FAILURE() << "ImageMagick could not read " << path;
    return {};
  }
  return ReadPnm(out);
}

// Our image as top-down RGB, via each pixel's colour.
inline RgbImage ToRgb(TPixelGraphic& image) {
  RgbImage img;
  img.Width = image.Width();
  img.Height = image.Height();
  img.Rgb.reserve(std::size_t(img.Width) * std::size_t(img.Height) * 3);
  for (int y = 0; y < img.Height; ++y)
    for (int x = 0; x < img.Width; ++x) {
      const TRGB c = image.GetPixelColor(x, y);
      img.Rgb.push_back(std::uint8_t(GetRValue(c)));
      img.Rgb.push_back(std::uint8_t(GetGValue(c)));
      img.Rgb.push_back(std::uint8_t(GetBValue(c)));
    }
  return img;
}

// Writes top-down RGB as a binary PPM, for handing pixels to a peer.
inline void WritePpm(const std::string& path, const RgbImage& img) {
  std::ofstream f(path, std::ios::binary);
  f << "P6\n" << img.Width << " " << img.Height << "\n255\n";
  f.write(reinterpret_cast<const char*>(img.Rgb.data()), std::streamsize(img.Rgb.size()));
}

// A deterministic test pattern: gradients with a little structure.
inline RgbImage Pattern(int width, int height) {
  RgbImage img{width, height, {}};
  img.Rgb.reserve(std::size_t(width) * std::size_t(height) * 3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      img.Rgb.push_back(std::uint8_t((x * 255) / std::max(1, width - 1)));
      img.Rgb.push_back(std::uint8_t((y * 255) / std::max(1, height - 1)));
      img.Rgb.push_back(std::uint8_t((x * 7 + y * 13) & 0xFF));
    }
  return img;
}

// Fills a 24-bit image from top-down RGB.
inline void FromRgb(TPixelGraphic& image, const RgbImage& img) {
  image.SetSizeAndFormat(img.Width, img.Height, pgpf24Bit);
  for (int y = 0; y < img.Height; ++y)
    for (int x = 0; x < img.Width; ++x) {
      const std::size_t i = (std::size_t(y) * std::size_t(img.Width) + std::size_t(x)) * 3;
      image.SetPixel(x, y, RGBColor(img.Rgb[i], img.Rgb[i + 1], img.Rgb[i + 2]));
    }
}

// grey becomes image in 256 shades of grey.
inline void GreyCopy(TPixelGraphic& image, TPixelGraphic& grey) {
  grey.SetSizeAndFormat(image.Width(), image.Height(), pgpf8Bit);
  grey.SetPaletteIdent(pGray256);
  grey.CopyRect(0, 0, image, 0, 0, image.Width(), image.Height());
}

// Saves image with the given file gamma (a PNG records it; loading then
// corrects the pixels when it differs from the display's) and returns path.
inline std::string SaveWithGamma(TPixelGraphic& image, const std::string& path, long double gamma) {
  const long double kept = image.FileGamma;
  image.FileGamma = gamma;
  image.SaveToFile(path);
  image.FileGamma = kept;
  return path;
}

}  // namespace peer
