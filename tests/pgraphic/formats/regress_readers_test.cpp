// Inputs found by fuzzing the readers, minimised, and their kin in the
// other readers.
//
// Dimension bombs: headers that promise an image far larger than the data
// that follows. Each must be refused before any pixel memory exists: the
// image stays empty, and in a process allowed only a little more address
// space the refusal is still the reader's own message, never a failed
// allocation.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "pgraphic/core/errors.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/stream.h"
#include "pgraphic/formats/registry.h"
#include "pgraphic/formats/codec_test_support.h"
#include "pgraphic/formats/png_builder.h"

#if defined(__SANITIZE_ADDRESS__)
#define REGRESS_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define REGRESS_ASAN 1
#endif
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;

void Le(Bytes& b, std::uint64_t v, int n) {
  for (int i = 0; i < n; ++i) b.push_back(std::uint8_t(v >> (8 * i)));
}
using pngtest::Be;
using pngtest::Deflated;
using pngtest::PngChunk;
using pngtest::PngHeader;
using pngtest::TinyPng;
void Append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

// What loading bytes through the registry ends with: the exception text,
// or "loaded".
std::string LoadOutcome(const Bytes& bytes, const std::string& ext, TPixelGraphic& image) {
  TMemoryStream stream(bytes);
  image.ReadWarningAction = pgwaIgnore;
  try {
    image.LoadFromStreamExt(stream, ext, 0);
  } catch (const std::exception& e) {
    return e.what();
  }
  return "loaded";
}

std::uint64_t AddressSpaceInUse() {
  std::ifstream status("/proc/self/status");
  std::string key;
  std::uint64_t kb = 0;
  while (status >> key) {
    if (key == "VmSize:" && status >> kb) return kb * 1024;
    status.ignore(1 << 16, '\n');
  }
  return 0;
}

// LoadOutcome in a child process whose address space may grow by only
// 96 MB, so a reader that sizes memory from the header fails there.
std::string LoadOutcomeInSmallMemory(const Bytes& bytes, const std::string& ext) {
  int fds[2];
  if (pipe(fds) != 0) return "pipe failed";
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    const rlimit limit{AddressSpaceInUse() + (96u << 20), RLIM_INFINITY};
    setrlimit(RLIMIT_AS, &limit);
    TPixelGraphic image;
    const std::string text = LoadOutcome(bytes, ext, image);
    [[maybe_unused]] auto n = write(fds[1], text.data(), text.size());
    _exit(0);
  }
  close(fds[1]);
  std::string text;
  char buf[256];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) text.append(buf, std::size_t(n));
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return text;
}

// ---- the hostile files: headers of 16384 x 16384 (or the format's
// largest) images with a handful of data bytes

Bytes BmpRle(int bits, std::int32_t width, std::int32_t height, const Bytes& rle) {
  Bytes b = {'B', 'M'};
  Le(b, 0, 4), Le(b, 0, 4), Le(b, 0, 4);
  Le(b, 40, 4), Le(b, std::uint32_t(width), 4), Le(b, std::uint32_t(height), 4);
  Le(b, 1, 2), Le(b, bits, 2), Le(b, bits == 8 ? 1 : 2, 4), Le(b, rle.size(), 4);
  Le(b, 0, 4), Le(b, 0, 4), Le(b, 2, 4), Le(b, 0, 4);
  Le(b, 0x000000, 4), Le(b, 0xFFFFFF, 4);
  Append(b, rle);
  return b;
}

Bytes PngBomb() {
  Bytes b = PngHeader(16384, 16384, 2);
  const Bytes idat = Deflated(Bytes(64, 0));
  PngChunk(b, "IDAT", idat, std::uint32_t(idat.size()));
  PngChunk(b, "IEND", {}, 0);
  return b;
}

// A real JPEG of our writer whose frame header is made to claim 16384 x 16384.
Bytes JpegBomb() {
  TPixelGraphic small;
  small.SetSizeAndFormat(8, 8, pgpf24Bit);
  TMemoryStream out;
  small.SaveToStreamExt(out, "jpg");
  Bytes b = out.Bytes();
  for (std::size_t i = 0; i + 9 < b.size(); ++i)
    if (b[i] == 0xFF && b[i + 1] == 0xC0) {
      b[i + 5] = b[i + 7] = 0x40, b[i + 6] = b[i + 8] = 0;
      break;
    }
  return b;
}

Bytes TiffBomb(std::uint16_t compression) {
  Bytes b = {'I', 'I', 42, 0};
  Le(b, 8, 4);
  const std::uint32_t entries[][3] = {{256, 4, 16384}, {257, 4, 16384}, {258, 3, 8},   {259, 3, compression},
                                      {262, 3, 1},     {273, 4, 110},   {277, 3, 1},   {278, 4, 16384}};
  Le(b, 8, 2);
  for (const auto& e : entries) Le(b, e[0], 2), Le(b, e[1], 2), Le(b, 1, 4), Le(b, e[2], 4);
  Le(b, 0, 4);
  for (int i = 0; i < 8; ++i) b.push_back(0x81), b.push_back(0);
  return b;
}

Bytes TgaBomb(std::uint8_t type) {
  Bytes b = {0, 0, type, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  Le(b, 65535, 2), Le(b, 4096, 2);
  b.push_back(24), b.push_back(0);
  for (int i = 0; i < 8; ++i) b.insert(b.end(), {0xFF, 1, 2, 3});
  return b;
}

Bytes PcxBomb() {
  Bytes b = {10, 5, 1, 8, 0, 0, 0, 0};
  Le(b, 16383, 2), Le(b, 16383, 2);
  b.resize(65, 0);
  b.push_back(3);
  Le(b, 16384, 2), Le(b, 1, 2);
  b.resize(128, 0);
  for (int i = 0; i < 16; ++i) b.push_back(0xFF), b.push_back(7);
  return b;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

struct TBombCase {
  const char* Name;
  Bytes File;
  const char* Extension;
  const char* Message;
};

std::vector<TBombCase> BombCases() {
  const Bytes endOfBitmap = {0, 1};
  return {
      {"BMP RLE8, end of bitmap only", BmpRle(8, 16384, 16384, endOfBitmap), "bmp", "BMP: Unexpected end of file"},
      {"BMP RLE4, one delta", BmpRle(4, 16384, 16384, {0, 2, 1, 1, 0, 1}), "bmp", "BMP: Unexpected end of file"},
      {"PNG, 64 bytes inflated", PngBomb(), "png", "PNG: Unexpected end of file"},
      {"JPEG, one 8 x 8 block of data", JpegBomb(), "jpg", "JPG: Unexpected end of file"},
      {"TIFF uncompressed", TiffBomb(1), "tif", "TIFF: Unexpected end of file"},
      {"TIFF PackBits", TiffBomb(32773), "tif", "TIFF: Unexpected end of file"},
      {"TGA run-length", TgaBomb(10), "tga", "TGA: Unexpected end of file"},
      {"TGA stored", TgaBomb(2), "tga", "Stream read error"},
      {"PCX", PcxBomb(), "pcx", "PCX: Unexpected end of file"},
      {"PPM binary", Text("P6 16384 16384 255\n" + std::string(48, 'x')), "ppm",
       "PBM, PGM, PPM: Unexpected end of file"},
      {"PGM ASCII", Text("P2 16384 16384 65535\n1 2 3 4\n"), "pgm", "PBM, PGM, PPM: Unexpected end of file"},
      {"PBM ASCII", Text("P1 16384 16384 0101"), "pbm", "PBM, PGM, PPM: Unexpected end of file"},
  };
}

TEST(RegressDimensionBombs, RefusedBeforePixelMemoryExists) {
  for (const TBombCase& c : BombCases()) {
    TPixelGraphic image;
    EXPECT_EQ(LoadOutcome(c.File, c.Extension, image), c.Message) << c.Name;
    EXPECT_TRUE(image.Empty()) << c.Name;
  }
}

TEST(RegressDimensionBombs, RefusedInsideAFewHundredMegabytes) {
#ifdef REGRESS_ASAN
  GTEST_SKIP() << "the sanitizer's shadow memory needs an unlimited address space";
#endif
  for (const TBombCase& c : BombCases())
    EXPECT_EQ(LoadOutcomeInSmallMemory(c.File, c.Extension), c.Message) << c.Name;
}

// The run-length limit follows the data: 1024 pixels per byte of RLE data
// load (here an image left blank by "end of bitmap"), one pixel more not.
TEST(RegressDimensionBombs, BmpRleLimitFollowsTheDataSize) {
  TPixelGraphic image;
  EXPECT_EQ(LoadOutcome(BmpRle(8, 1024, 2, {0, 1}), "bmp", image), "loaded");
  EXPECT_EQ(image.Width(), 1024);
  EXPECT_EQ(LoadOutcome(BmpRle(8, 1025, 2, {0, 1}), "bmp", image), "BMP: Unexpected end of file");
  EXPECT_EQ(LoadOutcome(BmpRle(4, 2048, 1, {0, 0, 0, 1}), "bmp", image), "loaded");
}

// A memory stream that remembers the largest read it was asked for.
class TReadSizeLog : public TMemoryStream {
 public:
  using TMemoryStream::TMemoryStream;
  std::int64_t Read(void* buffer, std::int64_t count) override {
    Largest = std::max(Largest, count);
    return TMemoryStream::Read(buffer, count);
  }
  std::int64_t Largest = 0;
};

// The text chunk claimed 1.4 GB: libpng warned that it was too large and,
// the warning acknowledged, took a buffer of that size and asked the stream
// for all of it at once. Text chunks are now skipped unread, in small
// pieces: a file with a real one still loads. A length past the most a
// chunk may take is refused at the chunk's header, whatever the warning
// policy; one within it only runs into the end of the data.
TEST(RegressDimensionBombs, PngTextChunkLengthIsNeverAllocated) {
  TPixelGraphic image;
  const Bytes withText = TinyPng([](Bytes& b) {
    const std::string text = std::string("Comment") + '\0' + "x";
    PngChunk(b, "tEXt", Bytes(text.begin(), text.end()), std::uint32_t(text.size()));
    PngChunk(b, "zTXt", Bytes{'k', 0, 0, 0x78, 0x9C, 3, 0, 0, 0, 0, 1}, 11);
  });
  ASSERT_EQ(LoadOutcome(withText, "png", image), "loaded");
  EXPECT_EQ(image.GetPixelColor(0, 0), TRGB(0x808080));
  TReadSizeLog lying(TinyPng([](Bytes& b) { PngChunk(b, "zTXt", Bytes{'k', 0, 0}, 0x5458744D); }));
  image.ReadWarningAction = pgwaIgnore;
  EXPECT_EQ(codectest::MessageOf<EPixelGraphic>([&] { image.LoadFromStreamExt(lying, "png", 0); }),
            "PNG: zTXt: chunk data is too large");
  EXPECT_LE(lying.Largest, 64 * 1024);
  TReadSizeLog within(TinyPng([](Bytes& b) { PngChunk(b, "zTXt", Bytes{'k', 0, 0}, 1 << 20); }));
  EXPECT_EQ(codectest::MessageOf<EPixelGraphic>([&] { image.LoadFromStreamExt(within, "png", 0); }),
            "PNG: Read Error");
}

// Palette indices past the palette: libpng hands over whatever the data
// holds. Found as a 9 x 5 four-bit file with a 6-colour palette; here 2 x 1
// with one colour and the index 5.
Bytes PalettePng(int colors, std::uint8_t second) {
  Bytes b = PngHeader(2, 1, 3), plte;
  for (int i = 0; i < colors; ++i) plte.insert(plte.end(), {std::uint8_t(40 * i), 0x30, 0x10});
  PngChunk(b, "PLTE", plte, std::uint32_t(plte.size()));
  const Bytes idat = Deflated({0, 0, second});
  PngChunk(b, "IDAT", idat, std::uint32_t(idat.size()));
  PngChunk(b, "IEND", {}, 0);
  return b;
}

TEST(RegressPaletteIndices, PngIndexPastThePaletteIsRefused) {
  TPixelGraphic image;
  EXPECT_EQ(LoadOutcome(PalettePng(1, 5), "png", image), "PNG: Palette index invalid");
  ASSERT_EQ(LoadOutcome(PalettePng(6, 5), "png", image), "loaded");
  EXPECT_EQ(image.GetPixelColor(1, 0), RGBColor(200, 0x30, 0x10));
  EXPECT_EQ(LoadOutcome(PalettePng(1, 0), "png", image), "loaded");
}

}  // namespace
