// Valid JPEG and PNG files whose decoding would take long or much memory:
// refused past the scan and memory settings with the format's message,
// decoded exactly within them.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "pgraphic/core/library.h"
#include "pgraphic/core/settings.h"
#include "pgraphic/formats/jpeg/jpeg.h"
#include "pgraphic/formats/jpeg/jpeg_markers.h"
#include "pgraphic/formats/png/png.h"
#include "pgraphic/formats/png_builder.h"
#include "support/peer.h"

namespace {

class JpegLimits : public ::testing::Test {
 protected:
  void SetUp() override {
    PGLibraryInit();
    Saved = PGSettings();
    Dir = peer::PrivateDir("jpeg_limits");
  }
  void TearDown() override { PGSettings() = Saved; }
  static std::string LoadError(const std::vector<std::uint8_t>& bytes, TPixelGraphic& image) {
    TMemoryStream stream(bytes);
    try {
      TJPGFileFormatReader().ReadImage(stream, image, 0);
    } catch (const EPGJPGFileFormatReaderWriter& e) {
      return e.what();
    }
    return "";
  }
  TPGLibrarySettings Saved;
  std::string Dir;
};

// The seed has 210 scans, one AC coefficient or one bit of one each: no tool
// here writes more than 100.
TEST_F(JpegLimits, ScansPastTheLimitAreRefusedAndWithinItDecodeExactly) {
  const std::string seed =
      std::string(TESSEL_SOURCE_DIR) + "/fuzz/corpus/jpeg/many_scans.jpg";
  const std::vector<std::uint8_t> file = peer::ReadFile(seed);
  TPixelGraphic image;
  EXPECT_EQ(PGSettings().JpegMaxScans, 200u);
  EXPECT_EQ(LoadError(file, image), "JPG: File has more than 200 scans (JpegMaxScans)");
  PGSettings().JpegMaxScans = 210;
  ASSERT_EQ(LoadError(file, image), "");
  // Refused from the count of its bytes, before a pixel or coefficient
  // exists: the progress monitor alone would only stop the codec once the
  // image was sized and 200 scans were decoded.
  PGSettings().JpegMaxScans = 209;
  TPixelGraphic fresh;
  EXPECT_EQ(LoadError(file, fresh), "JPG: File has more than 209 scans (JpegMaxScans)");
  EXPECT_TRUE(fresh.Empty());
  // The codec's own tool, without a limit, decodes the same pixels.
  ASSERT_EQ(peer::Run("djpeg -ppm -outfile '" + Dir + "/ref.ppm' '" + seed + "'"), 0);
  EXPECT_EQ(peer::ToRgb(image), peer::ReadPnm(Dir + "/ref.ppm"));
}

// 512 x 512 at 4:4:4 holds 3 x 4096 blocks of 128 bytes of coefficients:
// 1.5 MB, needed at once by a progressive file, never by a baseline one.
TEST_F(JpegLimits, CoefficientBufferCountsAgainstMaxDecoderMemory) {
  EXPECT_EQ(PGSettings().MaxDecoderMemory, 1ull << 30);
  peer::WritePpm(Dir + "/p.ppm", peer::Pattern(512, 512));
  ASSERT_EQ(peer::Python("from PIL import Image\nim = Image.open('" + Dir + "/p.ppm')\n"
                         "im.save('" + Dir + "/prog.jpg', progressive=True, subsampling=0)\n"
                         "im.save('" + Dir + "/base.jpg', subsampling=0)\n"),
            0);
  const std::vector<std::uint8_t> progressive = peer::ReadFile(Dir + "/prog.jpg");
  PGSettings().MaxDecoderMemory = 1 << 20;
  TPixelGraphic image;
  EXPECT_EQ(LoadError(progressive, image),
            "JPG: Decoding needs 2 MB, more memory than MaxDecoderMemory allows (1 MB)");
  EXPECT_TRUE(image.Empty());  // refused before the image was sized
  EXPECT_EQ(LoadError(peer::ReadFile(Dir + "/base.jpg"), image), "");
  // The codec's own limit counts its other buffers too: the coefficients
  // alone do not fit into exactly their size.
  PGSettings().MaxDecoderMemory = 3 << 19;
  EXPECT_EQ(LoadError(progressive, image),
            "JPG: Decoding needs more memory than MaxDecoderMemory allows (2 MB)");
  PGSettings().MaxDecoderMemory = 2 << 20;
  EXPECT_EQ(LoadError(progressive, image), "");
  EXPECT_EQ(image.Width(), 512);
}

// Scans as djpeg meets them (one "Ss=" line each in its verbose report),
// for files whose bytes hold markers that are not scans of theirs: a
// progressive file inside an application segment, restart markers, stuffed
// FF bytes, and components in scans of their own. The count starts where
// the stream stands and leaves it there.
TEST_F(JpegLimits, ScanCountMatchesTheCodecsOwn) {
  peer::WritePpm(Dir + "/p.ppm", peer::Pattern(96, 64));
  ASSERT_EQ(peer::Run("cjpeg -progressive -outfile '" + Dir + "/prog.jpg' '" + Dir + "/p.ppm'"), 0);
  ASSERT_EQ(peer::Run("cjpeg -restart 1 -outfile '" + Dir + "/restart.jpg' '" + Dir + "/p.ppm'"), 0);
  std::ofstream(Dir + "/apart.scans") << "0; 1; 2;\n";
  ASSERT_EQ(peer::Run("cjpeg -scans '" + Dir + "/apart.scans' -outfile '" + Dir + "/apart.jpg' '" + Dir +
                      "/p.ppm'"),
            0);
  // A baseline file carrying the 210-scan file in an APP1 segment, as a
  // thumbnail would be carried.
  const std::vector<std::uint8_t> many = peer::ReadFile(std::string(TESSEL_SOURCE_DIR) +
                                                        "/fuzz/corpus/jpeg/many_scans.jpg");
  std::vector<std::uint8_t> carrier = peer::ReadFile(Dir + "/restart.jpg");
  ASSERT_LT(many.size() + 2, 65536u);
  std::vector<std::uint8_t> app1 = {0xFF, 0xE1, std::uint8_t((many.size() + 2) >> 8),
                                    std::uint8_t(many.size() + 2)};
  app1.insert(app1.end(), many.begin(), many.end());
  carrier.insert(carrier.begin() + 2, app1.begin(), app1.end());
  peer::WriteFile(Dir + "/carrier.jpg", carrier);

  for (const char* name : {"prog.jpg", "restart.jpg", "apart.jpg", "carrier.jpg"}) {
    SCOPED_TRACE(name);
    const std::string path = Dir + "/" + name;
    std::string report;
    peer::Run("(djpeg -verbose -outfile /dev/null '" + path + "' 2>&1)", &report);
    std::size_t expected = 0;
    for (std::size_t at = report.find("Ss="); at != std::string::npos; at = report.find("Ss=", at + 1)) ++expected;
    ASSERT_GT(expected, 0u);
    std::vector<std::uint8_t> bytes = {'x', 'y', 'z'};
    const std::vector<std::uint8_t> file = peer::ReadFile(path);
    bytes.insert(bytes.end(), file.begin(), file.end());
    TMemoryStream stream(bytes);
    stream.SetPosition(3);
    EXPECT_EQ(PGCountJpegScans(stream, 1000), expected);
    EXPECT_EQ(stream.Position(), 3);
    // Counting ends one past the limit.
    EXPECT_EQ(PGCountJpegScans(stream, expected - 1), expected);
    EXPECT_EQ(PGCountJpegScans(stream, 0), 1u);
  }
  // The carrier loads under the default limit: its thumbnail's scans are not its own.
  TPixelGraphic image;
  EXPECT_EQ(LoadError(carrier, image), "");
  EXPECT_EQ(image.Width(), 96);
}

// ---- PNG

using pngtest::Bytes;
using pngtest::PngChunk;
using pngtest::TinyPng;

class PngLimits : public JpegLimits {
 protected:
  // The reader's message, or "" when the file loaded; with position, where
  // the reader left the stream.
  static std::string PngError(const Bytes& bytes, std::int64_t* position = nullptr) {
    TMemoryStream stream(bytes);
    TPixelGraphic image;
    image.ReadWarningAction = pgwaIgnore;  // limits hold whatever the policy
    std::string error;
    try {
      TPNGFileFormatReader().ReadImage(stream, image, 0);
      if (image.GetPixelColor(0, 0) != TRGB(0x808080)) error = "wrong pixel";
    } catch (const EPGPNGFileFormatReaderWriter& e) {
      error = e.what();
    }
    if (position) *position = stream.Position();
    return error;
  }
};

// A chunk may hold a 64th of MaxDecoderMemory: set to 64 KB, 1 KB. Past
// that it is refused at its header, before its data is read or anything
// is allocated for it.
TEST_F(PngLimits, ChunksPastTheirShareOfMaxDecoderMemoryAreRefusedUnread) {
  PGSettings().MaxDecoderMemory = 64 << 10;
  const auto withChunk = [](const char* type, std::size_t size) {
    Bytes data = {'i', 'c', 'c', 0, 0};
    data.resize(size, 0x55);
    return TinyPng([&](Bytes& b) { PngChunk(b, type, data); });
  };
  const std::int64_t dataStart = 8 + 25 + 8;  // signature, IHDR, the chunk's length and type
  for (const char* type : {"iCCP", "zTXt", "prVt"}) {
    SCOPED_TRACE(type);
    std::int64_t position = 0;
    EXPECT_EQ(PngError(withChunk(type, 1025), &position), std::string("PNG: ") + type + ": chunk data is too large");
    EXPECT_EQ(position, dataStart);
    EXPECT_EQ(PngError(withChunk(type, 1024)), "");
  }
  PGSettings().MaxDecoderMemory = 128 << 10;
  EXPECT_EQ(PngError(withChunk("iCCP", 1025)), "");
}

// Skipped chunks take no memory, but each costs a step: more than 65536
// besides the image data are refused; image data in as many chunks as the
// writer chose is not counted.
TEST_F(PngLimits, MoreThan65536ChunksBesidesTheImageDataAreRefused) {
  const auto withChunks = [](const char* type, int count) {
    return TinyPng([&](Bytes& b) {
      for (int i = 0; i < count; ++i) PngChunk(b, type, std::string(type) == "IDAT" ? Bytes{} : Bytes{'k', 0, 'v'});
    });
  };
  EXPECT_EQ(PngError(withChunks("tEXt", 65536 - 2)), "");  // with IHDR and IEND, 65536
  EXPECT_EQ(PngError(withChunks("tEXt", 65536 - 1)), "PNG: More than 65536 chunks");
  EXPECT_EQ(PngError(withChunks("IDAT", 70000)), "");
}

}  // namespace
