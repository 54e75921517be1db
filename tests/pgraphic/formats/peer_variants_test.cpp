// Valid files that common tools write by default and that the readers once
// refused: BMP with the later Windows headers, bilevel TIFF without
// BitsPerSample. Each must load with the pixels the peer decodes.

#include <gtest/gtest.h>

#include "pgraphic/formats/bmp_fixtures.h"
#include "pgraphic/formats/registry.h"

using namespace bmpfix;

namespace {

std::uint32_t HeaderSizeOf(const std::string& path) {
  const std::vector<std::uint8_t> b = peer::ReadFile(path);
  return b.size() < 18 ? 0 : std::uint32_t(b[14] | b[15] << 8 | b[16] << 16 | b[17] << 24);
}

// ImageMagick writes the 124-byte header: colour tables after it for
// palette images, the bit-field masks inside it for images with alpha.
TEST(PeerVariants, ImageMagickBmpLoadsAsMagickDecodesIt) {
  const std::string dir = TestDir();
  peer::WritePpm(dir + "/p.ppm", peer::Pattern(13, 7));
  const std::pair<const char*, const char*> variants[] = {
      {"rgb.bmp", ""},
      {"alpha.bmp", "-alpha on -channel A -evaluate set 50% +channel"},
      {"palette.bmp", "-colors 12 -type palette"},
  };
  for (const auto& [name, options] : variants) {
    SCOPED_TRACE(name);
    const std::string path = dir + "/" + name;
    ASSERT_EQ(peer::Run("convert '" + dir + "/p.ppm' " + options + " '" + path + "'"), 0);
    ASSERT_EQ(HeaderSizeOf(path), 124u);
    TPixelGraphic image;
    image.LoadFromFile(path);
    EXPECT_EQ(peer::ToRgb(image), MagickDecode(path));
  }
}

// The 108-byte header holds the masks as well; hand-made, since the peers
// here write the 124-byte one.
TEST(PeerVariants, Version4HeaderTakesTheMasksItHolds) {
  // Two 16-bit pixels under 5-6-5 masks: pure red and pure blue.
  Bytes file = Build({.Width = 2, .Height = 1, .BitCount = 16, .Compression = 3, .HeaderSize = 108,
                      .Data = {0x00, 0xF8, 0x1F, 0x00}});
  const std::uint32_t masks[] = {0xF800, 0x07E0, 0x001F};
  for (int i = 0; i < 3; ++i)
    for (int b = 0; b < 4; ++b) file[std::size_t(14 + 40 + 4 * i + b)] = std::uint8_t(masks[i] >> (8 * b));
  TPixelGraphic image;
  LoadBytes(image, file);
  EXPECT_EQ(image.GetPixelColor(0, 0), RGBColor(255, 0, 0));
  EXPECT_EQ(image.GetPixelColor(1, 0), RGBColor(0, 0, 255));
}

// Pillow leaves BitsPerSample (default 1) out of bilevel files.
TEST(PeerVariants, PillowBilevelTiffLoadsAsOneBit) {
  const std::string dir = TestDir();
  ASSERT_EQ(PythonNear(dir + "/make",
                       "from PIL import Image\n"
                       "im = Image.new('1', (13, 5))\n"
                       "for x in range(13):\n"
                       "    for y in range(5):\n"
                       "        im.putpixel((x, y), (x * 3 + y) % 4 == 0)\n"
                       "im.save('" + dir + "/bi.tif')\n"
                       "im.convert('RGB').save('" + dir + "/bi.ppm')\n"),
            0);
  TPixelGraphic image;
  image.LoadFromFile(dir + "/bi.tif");
  EXPECT_EQ(image.PixelFormat(), pgpf1Bit);
  EXPECT_EQ(peer::ToRgb(image), peer::ReadPnm(dir + "/bi.ppm"));
  TFileInfo info;
  std::string description;
  ASSERT_TRUE(GetFileInfo(dir + "/bi.tif", 0, info, description));
  EXPECT_EQ(info.BitsPerPixel, 1);
}

}  // namespace
