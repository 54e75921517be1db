// Valid JPEG files whose decoding would take long or much memory: refused
// past the scan and memory settings with a "JPG: " message, decoded
// exactly within them.

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "pgraphic/core/library.h"
#include "pgraphic/core/settings.h"
#include "pgraphic/formats/jpeg.h"
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
      (std::filesystem::path(TESSEL_TEST_DATA) / "../../fuzz/corpus/jpeg/many_scans.jpg").string();
  const std::vector<std::uint8_t> file = peer::ReadFile(seed);
  TPixelGraphic image;
  EXPECT_EQ(PGSettings().JpegMaxScans, 200u);
  EXPECT_EQ(LoadError(file, image), "JPG: File has more than 200 scans (JpegMaxScans)");
  PGSettings().JpegMaxScans = 210;
  ASSERT_EQ(LoadError(file, image), "");
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

}  // namespace
