// JPEG and PNG layers on an 8000 x 6000 photo-like picture, beside the bare
// codec: djpeg and cjpeg of the same libjpeg on the same files, and the codec
// called directly on memory. Target: our JPEG layer within 10 % of the codec.
//
// Files live in the system temporary directory (about 300 MB while running).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/settings.h"
#include "pgraphic/core/stream.h"
#include "pgraphic/formats/jpeg/jpeg.h"
#include "pgraphic/formats/png/png.h"

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

namespace {

constexpr int kWidth = 8000;
constexpr int kHeight = 6000;
constexpr std::int64_t kPixels = std::int64_t(kWidth) * kHeight;

std::string TempPath(const std::string& name) {
  static const std::filesystem::path dir = [] {
    auto d = std::filesystem::temp_directory_path() / ("tessel_bench_codecs_" + std::to_string(getpid()));
    std::filesystem::create_directories(d);
    return d;
  }();
  return (dir / name).string();
}

// Soft gradients, a few hard-edged bands and fine grain: the mix of flat and
// busy areas that photographs give a JPEG encoder.
void FillPhoto(TPixelGraphic& g) {
  g.SetSizeAndFormat(kWidth, kHeight, pgpf24Bit);
  std::uint32_t seed = 2024;
  for (int y = 0; y < kHeight; ++y) {
    std::uint8_t* px = g.ScanLine(y);
    const int band = (y / 700) % 2 ? 40 : 0;
    for (int x = 0; x < kWidth; ++x, px += 3) {
      seed = seed * 1103515245u + 12345u;
      const int grain = int((seed >> 27) & 7) - 4;
      const int edge = ((x / 900) % 3 == 1) ? 35 : 0;
      px[2] = std::uint8_t(std::clamp(40 + x * 170 / kWidth + band + grain, 0, 255));
      px[1] = std::uint8_t(std::clamp(30 + y * 180 / kHeight + edge + grain, 0, 255));
      px[0] = std::uint8_t(std::clamp(200 - (x + y) * 150 / (kWidth + kHeight) + grain / 2, 0, 255));
    }
  }
}

TPixelGraphic& Photo() {
  static TPixelGraphic* photo = [] {
    auto* g = new TPixelGraphic;
    FillPhoto(*g);
    return g;
  }();
  return *photo;
}

// The photo as a binary PPM, the input of cjpeg.
const std::string& PhotoPpm() {
  static const std::string path = [] {
    const std::string p = TempPath("photo.ppm");
    std::ofstream f(p, std::ios::binary);
    f << "P6\n" << kWidth << " " << kHeight << "\n255\n";
    std::vector<char> row(std::size_t(kWidth) * 3);
    for (int y = 0; y < kHeight; ++y) {
      const std::uint8_t* px = Photo().ScanLine(y);
      for (int x = 0; x < kWidth; ++x)
        for (int c = 0; c < 3; ++c) row[std::size_t(x) * 3 + std::size_t(c)] = char(px[x * 3 + 2 - c]);
      f.write(row.data(), std::streamsize(row.size()));
    }
    return p;
  }();
  return path;
}

template <class Writer>
std::string WriteFile(const std::string& name) {
  const std::string path = TempPath(name);
  TFileStream stream(path, TFileStream::fmCreate);
  Writer().Write(stream, Photo());
  return path;
}

const std::string& PhotoJpeg() {
  static const std::string path = WriteFile<TJPGFileFormatWriter>("photo.jpg");
  return path;
}

const std::string& PhotoPng() {
  static const std::string path = WriteFile<TPNGFileFormatWriter>("photo.png");
  return path;
}

std::vector<unsigned char> ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<unsigned char>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void Finish(benchmark::State& state) { state.SetItemsProcessed(state.iterations() * kPixels); }

void RunTool(benchmark::State& state, const std::string& command) {
  for (auto _ : state)
    if (std::system(command.c_str()) != 0) state.SkipWithError(("failed: " + command).c_str());
  Finish(state);
}

// ---------------------------------------------------------------- JPEG

// Our reader: file in, a new image out.
template <class Reader>
void DecodeOurs(benchmark::State& state, const std::string& path) {
  for (auto _ : state) {
    TPixelGraphic image;
    TFileStream stream(path, TFileStream::fmOpenRead);
    Reader().ReadImage(stream, image, 0);
    benchmark::DoNotOptimize(image.Bits());
  }
  Finish(state);
}

// Our writer: the photo out to a file.
template <class Writer>
void EncodeOurs(benchmark::State& state, const std::string& path) {
  for (auto _ : state) {
    TFileStream stream(path, TFileStream::fmCreate);
    Writer().Write(stream, Photo());
  }
  Finish(state);
}

void BM_JpegDecode_Ours(benchmark::State& state) { DecodeOurs<TJPGFileFormatReader>(state, PhotoJpeg()); }

void BM_JpegDecode_Djpeg(benchmark::State& state) {
  RunTool(state, "djpeg -dct int -outfile /dev/null '" + PhotoJpeg() + "'");
}

// The codec alone on memory; rowOf(n) gives the address of output row n.
template <class RowOf>
void BareDecode(const std::vector<unsigned char>& data, RowOf rowOf) {
  jpeg_decompress_struct codec;
  jpeg_error_mgr err;
  codec.err = jpeg_std_error(&err);
  jpeg_create_decompress(&codec);
  jpeg_mem_src(&codec, data.data(), static_cast<unsigned long>(data.size()));
  jpeg_read_header(&codec, TRUE);
  codec.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&codec);
  while (codec.output_scanline < codec.output_height) {
    JSAMPROW row = rowOf(codec.output_scanline);
    jpeg_read_scanlines(&codec, &row, 1);
  }
  jpeg_finish_decompress(&codec);
  jpeg_destroy_decompress(&codec);
}

// Into a fresh uncleared whole-image buffer, as any decoder handing back a
// picture must fill, rows bottom-up like ours.
void BM_JpegDecode_BareCodec(benchmark::State& state) {
  const std::vector<unsigned char> data = ReadAll(PhotoJpeg());
  const std::size_t stride = std::size_t(kWidth) * 3;
  for (auto _ : state) {
    std::unique_ptr<unsigned char[]> pixels(new unsigned char[stride * kHeight]);
    BareDecode(data, [&](JDIMENSION n) { return pixels.get() + stride * (kHeight - 1 - n); });
    benchmark::DoNotOptimize(pixels.get());
  }
  Finish(state);
}

// Into a fresh TPixelGraphic: the same work as ours minus the JPEG layer, so
// the difference is the layer's own cost (stream manager, handlers, progress).
void BM_JpegDecode_BareCodecIntoImage(benchmark::State& state) {
  const std::vector<unsigned char> data = ReadAll(PhotoJpeg());
  for (auto _ : state) {
    TPixelGraphic image;
    image.SetSizeAndFormat(kWidth, kHeight, pgpf24Bit);
    BareDecode(data, [&](JDIMENSION n) { return image.ScanLine(int(n)); });
    benchmark::DoNotOptimize(image.Bits());
  }
  Finish(state);
}

// What the image core spends making a fresh, cleared 24-bit picture: part of
// every decode into a new image, not of the codec layer.
void BM_ImageAllocation(benchmark::State& state) {
  for (auto _ : state) {
    TPixelGraphic image;
    image.SetSizeAndFormat(kWidth, kHeight, pgpf24Bit);
    benchmark::DoNotOptimize(image.Bits());
  }
  Finish(state);
}

void BM_JpegEncode_Ours(benchmark::State& state) {
  PGSettings().JpegQuality = 80;
  EncodeOurs<TJPGFileFormatWriter>(state, TempPath("ours.jpg"));
}

void BM_JpegEncode_Cjpeg(benchmark::State& state) {
  RunTool(state, "cjpeg -dct float -quality 80 -outfile '" + TempPath("cjpeg.jpg") + "' '" + PhotoPpm() + "'");
}

// The codec alone: rows straight from the image, output to memory.
void BM_JpegEncode_BareCodec(benchmark::State& state) {
  TPixelGraphic& photo = Photo();
  for (auto _ : state) {
    jpeg_compress_struct codec;
    jpeg_error_mgr err;
    codec.err = jpeg_std_error(&err);
    jpeg_create_compress(&codec);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&codec, &out, &size);
    codec.image_width = kWidth;
    codec.image_height = kHeight;
    codec.input_components = 3;
    codec.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&codec);
    jpeg_set_quality(&codec, 80, TRUE);
    codec.dct_method = JDCT_FLOAT;
    jpeg_start_compress(&codec, TRUE);
    while (codec.next_scanline < codec.image_height) {
      JSAMPROW row = photo.ScanLine(int(codec.next_scanline));
      jpeg_write_scanlines(&codec, &row, 1);
    }
    jpeg_finish_compress(&codec);
    jpeg_destroy_compress(&codec);
    benchmark::DoNotOptimize(size);
    std::free(out);
  }
  Finish(state);
}

// ---------------------------------------------------------------- PNG

void BM_PngDecode_Ours(benchmark::State& state) { DecodeOurs<TPNGFileFormatReader>(state, PhotoPng()); }

void BM_PngEncode_Ours(benchmark::State& state) { EncodeOurs<TPNGFileFormatWriter>(state, TempPath("ours.png")); }

constexpr int kRepeats = 3;

BENCHMARK(BM_JpegDecode_Ours)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kRepeats);
BENCHMARK(BM_JpegDecode_Djpeg)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kRepeats);
BENCHMARK(BM_JpegDecode_BareCodec)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kRepeats);
BENCHMARK(BM_JpegDecode_BareCodecIntoImage)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kRepeats);
BENCHMARK(BM_ImageAllocation)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kRepeats);
BENCHMARK(BM_JpegEncode_Ours)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kRepeats);
BENCHMARK(BM_JpegEncode_Cjpeg)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kRepeats);
BENCHMARK(BM_JpegEncode_BareCodec)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kRepeats);
BENCHMARK(BM_PngDecode_Ours)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kRepeats);
BENCHMARK(BM_PngEncode_Ours)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kRepeats);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(TempPath("x")).parent_path(), ignored);
  return 0;
}
