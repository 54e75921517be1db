#pragma once
// PNG files byte by byte, for the tests of what the reader refuses.

#include <zlib.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pngtest {

using Bytes = std::vector<std::uint8_t>;

inline void Be(Bytes& b, std::uint64_t v, int n) {
  for (int i = n - 1; i >= 0; --i) b.push_back(std::uint8_t(v >> (8 * i)));
}

// A chunk whose length field says `length`, whatever the data's size.
inline void PngChunk(Bytes& b, const std::string& type, const Bytes& data, std::uint32_t length) {
  Be(b, length, 4);
  Bytes body(type.begin(), type.end());
  body.insert(body.end(), data.begin(), data.end());
  b.insert(b.end(), body.begin(), body.end());
  Be(b, crc32(0, body.data(), uInt(body.size())), 4);
}

inline void PngChunk(Bytes& b, const std::string& type, const Bytes& data) {
  PngChunk(b, type, data, std::uint32_t(data.size()));
}

inline Bytes PngHeader(std::uint32_t width, std::uint32_t height, int colorType) {
  Bytes b = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, ihdr;
  Be(ihdr, width, 4), Be(ihdr, height, 4);
  ihdr.insert(ihdr.end(), {8, std::uint8_t(colorType), 0, 0, 0});
  PngChunk(b, "IHDR", ihdr, 13);
  return b;
}

inline Bytes Deflated(const Bytes& raw) {
  uLongf size = compressBound(uLong(raw.size()));
  Bytes out(size);
  compress(out.data(), &size, raw.data(), uLong(raw.size()));
  out.resize(size);
  return out;
}

// A 1 x 1 grey PNG of value 0x80, with extra chunks before its image data.
inline Bytes TinyPng(const std::function<void(Bytes&)>& extra) {
  Bytes b = PngHeader(1, 1, 0);
  extra(b);
  const Bytes idat = Deflated({0, 0x80});
  PngChunk(b, "IDAT", idat, std::uint32_t(idat.size()));
  PngChunk(b, "IEND", {}, 0);
  return b;
}

}  // namespace pngtest
