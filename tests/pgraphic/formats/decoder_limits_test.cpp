// Valid JPEG files whose decoding would take long or much memory: refused
// past the scan and memory settings with a "JPG: " message, decoded
// exactly within them.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "pgraphic/core/library.h"
#include "pgraphic/core/settings.h"
#include "pgraphic/formats/jpeg.h"
#include "support/peer.h"

namespace {

// A progressive 4:4:4 JPEG of the pattern with the given number of scans:
// the DC scan, one scan per AC coefficient and component (sent without
// its low bits), then refinement scans, one bit each.
std::vector<std::uint8_t> ProgressiveJpeg(int width, int height, int scans) {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &out, &size);
  c.image_width = JDIMENSION(width);
  c.image_height = JDIMENSION(height);
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  for (int i = 0; i < 3; ++i) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
  std::vector<jpeg_scan_info> script;
  const auto add = [&](int components, int first, int ss, int ah, int al) {
    jpeg_scan_info s{};
    s.comps_in_scan = components;
    for (int i = 0; i < components; ++i) s.component_index[i] = first + i;
    s.Ss = ss;
    s.Se = ss;
    s.Ah = ah;
    s.Al = al;
    script.push_back(s);
  };
  add(3, 0, 0, 0, 0);
  for (int comp = 0; comp < 3; ++comp)
    for (int k = 1; k <= 63; ++k) add(1, comp, k, 0, 5);
  for (int bit = 5; bit >= 1 && int(script.size()) < scans; --bit)
    for (int comp = 0; comp < 3 && int(script.size()) < scans; ++comp)
      for (int k = 1; k <= 63 && int(script.size()) < scans; ++k) add(1, comp, k, bit, bit - 1);
  c.scan_info = script.data();
  c.num_scans = int(script.size());
  jpeg_start_compress(&c, TRUE);
  const peer::RgbImage pixels = peer::Pattern(width, height);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(pixels.Rgb.data() + std::size_t(c.next_scanline) * 3 * width);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::vector<std::uint8_t> bytes(out, out + size);
  std::free(out);
  return bytes;
}

class JpegLimits : public ::testing::Test {
 protected:
  void SetUp() override {
    PGLibraryInit();
    Saved = PGSettings();
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
};

TEST_F(JpegLimits, ScansPastTheLimitAreRefusedAndWithinItDecodeExactly) {
  const std::vector<std::uint8_t> file = ProgressiveJpeg(40, 24, 250);
  TPixelGraphic image;
  EXPECT_EQ(PGSettings().JpegMaxScans, 200u);
  EXPECT_EQ(LoadError(file, image), "JPG: File has more than 200 scans (JpegMaxScans)");
  PGSettings().JpegMaxScans = 250;
  ASSERT_EQ(LoadError(file, image), "");
  // The codec's own tool, without a limit, decodes the same pixels.
  const std::string dir = peer::PrivateDir("jpeg_scans");
  peer::WriteFile(dir + "/many.jpg", file);
  ASSERT_EQ(peer::Run("djpeg -ppm -outfile '" + dir + "/ref.ppm' '" + dir + "/many.jpg'"), 0);
  EXPECT_EQ(peer::ToRgb(image), peer::ReadPnm(dir + "/ref.ppm"));
}

// 512 x 512 at 4:4:4 holds 3 x 4096 blocks of 128 bytes of coefficients:
// 1.5 MB, needed at once by a progressive file, never by a baseline one.
TEST_F(JpegLimits, CoefficientBufferCountsAgainstMaxDecoderMemory) {
  EXPECT_EQ(PGSettings().MaxDecoderMemory, 1ull << 30);
  const std::vector<std::uint8_t> progressive = ProgressiveJpeg(512, 512, 190);
  PGSettings().MaxDecoderMemory = 1 << 20;
  TPixelGraphic image;
  EXPECT_EQ(LoadError(progressive, image),
            "JPG: Decoding needs 2 MB, more memory than MaxDecoderMemory allows (1 MB)");
  EXPECT_TRUE(image.Empty());  // refused before the image was sized
  TPixelGraphic baseline;
  peer::FromRgb(baseline, peer::Pattern(512, 512));
  TMemoryStream encoded;
  baseline.SaveToStreamExt(encoded, "jpg");
  EXPECT_EQ(LoadError(encoded.Bytes(), image), "");
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
