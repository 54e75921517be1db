// How fast the decoders refuse files that are valid but would cost too much
// to decode (target: under 0.1 s each, however large the promise):
//
// - a valid progressive 16384 x 16384 JPEG of 896 scans (every AC
//   coefficient of the luma in the 14 successive approximation steps the
//   codec takes), past `JpegMaxScans` (200) but within the other limits
//   (768 MB of coefficients), so only the scan count can refuse it;
// - PNG files past the bounds of `MaxDecoderMemory`: an ICC profile chunk
//   longer than a chunk may be, and a file of a million small chunks (more
//   than the 65536 a file may have besides its image data).
//
// The files are written here, byte by byte (no encoder writes that many
// scans), into the system temporary directory.

#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "pgraphic/core/errors.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/settings.h"
#include "pgraphic/core/stream.h"
#include "pgraphic/formats/jpeg/jpeg.h"
#include "pgraphic/formats/png/png.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string TempPath(const std::string& name) {
  static const std::filesystem::path dir = [] {
    auto d = std::filesystem::temp_directory_path() / ("tessel_bench_limits_" + std::to_string(getpid()));
    std::filesystem::create_directories(d);
    return d;
  }();
  return (dir / name).string();
}

void WriteAll(const std::string& path, const Bytes& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void Put16(Bytes& out, unsigned v) {
  out.push_back(std::uint8_t(v >> 8));
  out.push_back(std::uint8_t(v));
}

void Put32(Bytes& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(std::uint8_t(v >> shift));
}

// ---------------------------------------------------------------- JPEG

// Entropy-coded bits, FF bytes stuffed with 00, padded with 1 bits.
class TBitWriter {
 public:
  explicit TBitWriter(Bytes& out) : Out(out) {}
  void Put(std::uint32_t bits, int count) {
    for (int i = count - 1; i >= 0; --i) {
      Acc = (Acc << 1) | ((bits >> i) & 1u);
      if (++Filled == 8) Flush();
    }
  }
  void Pad() {
    while (Filled != 0) Put(1, 1);
  }

 private:
  void Flush() {
    Out.push_back(std::uint8_t(Acc));
    if (std::uint8_t(Acc) == 0xFF) Out.push_back(0);
    Acc = 0;
    Filled = 0;
  }
  Bytes& Out;
  std::uint32_t Acc = 0;
  int Filled = 0;
};

// The AC table holds the 15 end-of-band runs (2^r to 2^(r+1) - 1 blocks),
// each a 4-bit code r; the DC table one code "0" for a difference of 0.
void PutTables(Bytes& out) {
  out.insert(out.end(), {0xFF, 0xDB});
  Put16(out, 67);
  out.push_back(0);
  for (int i = 0; i < 64; ++i) out.push_back(1);
  out.insert(out.end(), {0xFF, 0xC4});
  Put16(out, 2 + 17 + 1);
  out.push_back(0x00);
  out.push_back(1);
  for (int i = 1; i < 16; ++i) out.push_back(0);
  out.push_back(0);
  out.insert(out.end(), {0xFF, 0xC4});
  Put16(out, 2 + 17 + 15);
  out.push_back(0x10);
  for (int i = 0; i < 16; ++i) out.push_back(i == 3 ? 15 : 0);
  for (int r = 0; r < 15; ++r) out.push_back(std::uint8_t(r << 4));
}

void PutFrame(Bytes& out, int width, int height) {
  out.insert(out.end(), {0xFF, 0xC2});
  Put16(out, 8 + 3 * 3);
  out.push_back(8);
  Put16(out, unsigned(height));
  Put16(out, unsigned(width));
  out.push_back(3);
  const std::uint8_t sampling[3] = {0x22, 0x11, 0x11};
  for (int c = 0; c < 3; ++c) {
    out.push_back(std::uint8_t(c + 1));
    out.push_back(sampling[c]);
    out.push_back(0);
  }
}

void PutScanHeader(Bytes& out, const std::vector<int>& components, int ss, int se, int ah, int al) {
  out.insert(out.end(), {0xFF, 0xDA});
  Put16(out, unsigned(6 + 2 * components.size()));
  out.push_back(std::uint8_t(components.size()));
  for (int c : components) {
    out.push_back(std::uint8_t(c + 1));
    out.push_back(0x00);
  }
  out.push_back(std::uint8_t(ss));
  out.push_back(std::uint8_t(se));
  out.push_back(std::uint8_t(ah << 4 | al));
}

// One band of one component over blocks all zero: end-of-band runs only.
void PutEmptyBand(Bytes& out, std::uint64_t blocks) {
  TBitWriter bits(out);
  while (blocks > 0) {
    const std::uint64_t run = blocks < 32767 ? blocks : 32767;
    int r = 0;
    while ((2ull << r) <= run) ++r;
    bits.Put(std::uint32_t(r), 4);
    bits.Put(std::uint32_t(run - (1ull << r)), r);
    blocks -= run;
  }
  bits.Pad();
}

// One coefficient of one component: a first scan at bit `top`, then one
// refinement scan for every lower bit.
int PutCoefficient(Bytes& out, int component, int k, int top, std::uint64_t blocks) {
  int scans = 0;
  for (int ah = 0, al = top; al >= 0; ah = al, --al, ++scans) {
    PutScanHeader(out, {component}, k, k, ah, al);
    PutEmptyBand(out, blocks);
  }
  return scans;
}

// The DC of every component in one scan: a difference of 0, one bit "0",
// for each block.
void PutDcScan(Bytes& out, std::uint64_t blocks) {
  PutScanHeader(out, {0, 1, 2}, 0, 0, 0, 0);
  out.insert(out.end(), std::size_t(blocks / 8), 0);
  TBitWriter bits(out);
  bits.Put(0, int(blocks % 8));
  bits.Pad();
}

// A flat grey, 4:2:0 progressive file of the given size (a multiple of 16)
// and 896 scans: the DC of all components in one, then every luma
// coefficient in 14 successive approximation steps (the most the codec
// takes) and one chroma coefficient in 13.
Bytes ManyScansJpeg(int width, int height) {
  Bytes out = {0xFF, 0xD8};
  PutTables(out);
  PutFrame(out, width, height);
  const std::uint64_t lumaBlocks = std::uint64_t(width / 8) * std::uint64_t(height / 8);
  const std::uint64_t chromaBlocks = lumaBlocks / 4;
  PutDcScan(out, lumaBlocks + 2 * chromaBlocks);
  int scans = 1;
  for (int k = 1; k < 64; ++k) scans += PutCoefficient(out, 0, k, 13, lumaBlocks);
  scans += PutCoefficient(out, 1, 1, 12, chromaBlocks);
  if (scans != 896) throw std::logic_error("the file was to have 896 scans");
  out.insert(out.end(), {0xFF, 0xD9});
  return out;
}

const std::string& ManyScansFile() {
  static const std::string path = [] {
    const std::string p = TempPath("many_scans_16384.jpg");
    WriteAll(p, ManyScansJpeg(16384, 16384));
    return p;
  }();
  return path;
}

// Loads path with reader; the load must be refused with a message that
// starts with `expected`.
template <class Reader>
void ExpectRefused(benchmark::State& state, const std::string& path, const std::string& expected) {
  for (auto _ : state) {
    TPixelGraphic image;
    TFileStream stream(path, TFileStream::fmOpenRead);
    try {
      Reader().ReadImage(stream, image, 0);
      state.SkipWithError("the file was decoded, not refused");
      return;
    } catch (const EPixelGraphic& e) {
      if (std::string(e.what()).rfind(expected, 0) != 0) {
        state.SkipWithError(e.what());
        return;
      }
    }
  }
  state.counters["file_MB"] = double(std::filesystem::file_size(path)) / 1e6;
}

void BM_JpegOf896ScansRefused(benchmark::State& state) {
  ExpectRefused<TJPGFileFormatReader>(state, ManyScansFile(), "JPG: File has more than 200 scans");
}

// ---------------------------------------------------------------- PNG

void PutChunk(Bytes& out, const char* type, const Bytes& data) {
  Put32(out, std::uint32_t(data.size()));
  const std::size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  Put32(out, std::uint32_t(crc32(0, out.data() + start, uInt(out.size() - start))));
}

// A valid 1 x 1 grey PNG with `extra` chunks before its image data.
Bytes PngWith(const std::vector<std::pair<const char*, Bytes>>& extra, std::size_t repeat) {
  Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  PutChunk(out, "IHDR", {0, 0, 0, 1, 0, 0, 0, 1, 8, 0, 0, 0, 0});
  for (std::size_t i = 0; i < repeat; ++i)
    for (const auto& [type, data] : extra) PutChunk(out, type, data);
  Bytes raw = {0, 128}, packed(64);
  uLongf packedSize = packed.size();
  compress(packed.data(), &packedSize, raw.data(), raw.size());
  packed.resize(packedSize);
  PutChunk(out, "IDAT", packed);
  PutChunk(out, "IEND", {});
  return out;
}

// An iCCP chunk of 64 MB of compressed profile: past the most a chunk may
// take (a 64th of MaxDecoderMemory, 16 MB).
const std::string& LongProfileFile() {
  static const std::string path = [] {
    Bytes profile = {'i', 'c', 'c', 0, 0};
    profile.resize(profile.size() + (64u << 20), 0x55);
    const std::string p = TempPath("long_profile.png");
    WriteAll(p, PngWith({{"iCCP", profile}}, 1));
    return p;
  }();
  return path;
}

// A million text chunks of a few bytes each.
const std::string& ManyChunksFile() {
  static const std::string path = [] {
    const std::string p = TempPath("many_chunks.png");
    WriteAll(p, PngWith({{"tEXt", {'k', 0, 'v'}}}, 1000000));
    return p;
  }();
  return path;
}

void BM_PngLongProfileRefused(benchmark::State& state) {
  ExpectRefused<TPNGFileFormatReader>(state, LongProfileFile(), "PNG: ");
}

void BM_PngMillionChunksRefused(benchmark::State& state) {
  ExpectRefused<TPNGFileFormatReader>(state, ManyChunksFile(), "PNG: ");
}

constexpr int kRepeats = 5;

BENCHMARK(BM_JpegOf896ScansRefused)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kRepeats);
BENCHMARK(BM_PngLongProfileRefused)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kRepeats);
BENCHMARK(BM_PngMillionChunksRefused)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kRepeats);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  std::filesystem::remove_all(std::filesystem::path(TempPath("x")).parent_path());
  return 0;
}
