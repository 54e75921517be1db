// WebP reader and writer. Files come from cwebp, img2webp and Pillow; what
// we decode is compared with dwebp's decoding, and our files are decoded by
// dwebp and Pillow.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "pgraphic/core/library.h"
#include "pgraphic/core/settings.h"
#include "pgraphic/core/ssim.h"
#include "pgraphic/formats/webp.h"
#include "codec_test_support.h"
#include "support/peer.h"

namespace {

using codectest::MessageOf;
using EWebP = EPGWebPFileFormatReaderWriter;

class WebP : public ::testing::Test {
 protected:
  void SetUp() override {
    PGLibraryInit();
    Saved = PGSettings();
    Dir = peer::PrivateDir("webp");
    // Noise on the pattern: lossy coding has something to lose.
    peer::RgbImage rgb = peer::Pattern(67, 45);
    for (std::size_t i = 0; i < rgb.Rgb.size(); ++i) rgb.Rgb[i] = std::uint8_t(rgb.Rgb[i] ^ ((i * 7919) % 23));
    peer::FromRgb(Photo, rgb);
    peer::WritePpm(Dir + "/photo.ppm", rgb);
  }
  void TearDown() override { PGSettings() = Saved; }

  std::string Save(TPixelGraphic& image, const std::string& name) {
    image.SaveToFile(Dir + "/" + name);
    return Dir + "/" + name;
  }
  peer::RgbImage Load(const std::string& path) {
    TPixelGraphic image;
    image.LoadFromFile(path);
    return peer::ToRgb(image);
  }
  peer::RgbImage Dwebp(const std::string& path) {
    EXPECT_EQ(peer::Run("dwebp -quiet '" + path + "' -ppm -o '" + path + ".ppm'"), 0) << path;
    return peer::ReadPnm(path + ".ppm");
  }
  peer::RgbImage Pillow(const std::string& path) {
    EXPECT_EQ(peer::Python("from PIL import Image\nImage.open('" + path + "').convert('RGB').save('" + path +
                           ".pil.ppm')\n"),
              0);
    return peer::ReadPnm(path + ".pil.ppm");
  }
  std::string ReadError(const std::string& path) {
    return MessageOf<EWebP>([&] {
      TPixelGraphic image;
      image.LoadFromFile(path);
    });
  }

  TPGLibrarySettings Saved;
  std::string Dir;
  TPixelGraphic Photo;
};

TEST_F(WebP, LosslessRoundTripsEveryPixelAndPeersDecodeTheSame) {
  PGSettings().WebpLossless = true;
  const peer::RgbImage original = peer::ToRgb(Photo);
  const std::string file = Save(Photo, "lossless.webp");
  EXPECT_EQ(Load(file), original);
  EXPECT_EQ(Dwebp(file), original);
  EXPECT_EQ(Pillow(file), original);
  // A palette image goes through its palette, without a question.
  TPixelGraphic grey;
  peer::GreyCopy(Photo, grey);
  grey.SaveColorResWarningAction = pgwaRaise;
  EXPECT_EQ(Load(Save(grey, "grey.webp")), peer::ToRgb(grey));
}

// The same quality means the same file as the codec's own tool writes.
TEST_F(WebP, LossyIsCwebpsFileAndDecodesAsDwebpAndPillowDoWithinABound) {
  EXPECT_EQ(PGSettings().WebpQuality, 80);
  EXPECT_FALSE(PGSettings().WebpLossless);
  const std::string ours = Save(Photo, "ours.webp");
  ASSERT_EQ(peer::Run("cwebp -quiet -q 80 '" + Dir + "/photo.ppm' -o '" + Dir + "/cwebp.webp'"), 0);
  EXPECT_EQ(peer::ReadFile(ours), peer::ReadFile(Dir + "/cwebp.webp"));
  TPixelGraphic decoded;
  decoded.LoadFromFile(ours);
  EXPECT_EQ(peer::ToRgb(decoded), Dwebp(ours));
  EXPECT_EQ(peer::ToRgb(decoded), Pillow(ours));
  const double at80 = StructuralSimilarity(decoded, Photo);
  EXPECT_GT(at80, 0.9);
  EXPECT_LT(at80, 1.0);
  PGSettings().WebpQuality = 20;
  TPixelGraphic worse;
  worse.LoadFromFile(Save(Photo, "q20.webp"));
  EXPECT_LT(StructuralSimilarity(worse, Photo), at80);
  EXPECT_LT(peer::ReadFile(Dir + "/q20.webp").size(), peer::ReadFile(ours).size());
}

TEST_F(WebP, CwebpFilesReadAsDwebpDecodesThem) {
  for (const std::string options : {"-q 50", "-lossless", "-q 90 -sharp_yuv -m 6"}) {
    SCOPED_TRACE(options);
    const std::string file = Dir + "/c.webp";
    ASSERT_EQ(peer::Run("cwebp -quiet " + options + " '" + Dir + "/photo.ppm' -o '" + file + "'"), 0);
    EXPECT_EQ(Load(file), Dwebp(file));
  }
}

// Transparency is flattened onto the image's background colour exactly as
// the PNG reader flattens the same pixels.
TEST_F(WebP, AlphaIsFlattenedOntoTheBackgroundAsInPng) {
  ASSERT_EQ(peer::Python("from PIL import Image\n"
                         "im = Image.new('RGBA', (40, 21))\n"
                         "im.putdata([(x * 6, y * 12, (x * y) % 256, (x * 13 + y * 7) % 256)"
                         " for y in range(21) for x in range(40)])\n"
                         "im.save('" + Dir + "/a.png')\n"
                         "im.save('" + Dir + "/a.webp', lossless=True, exact=True)\n"
                         "im.save('" + Dir + "/lossy_a.webp', quality=90)\n"),
            0);
  for (const TRGB background : {RGBColor(0, 0, 0), RGBColor(250, 128, 3)}) {
    TPixelGraphic png, webp;
    png.SetBackGroundColor(background);
    webp.SetBackGroundColor(background);
    png.LoadFromFile(Dir + "/a.png");
    webp.LoadFromFile(Dir + "/a.webp");
    EXPECT_EQ(peer::ToRgb(webp), peer::ToRgb(png));
    webp.LoadFromFile(Dir + "/lossy_a.webp");
    EXPECT_GT(StructuralSimilarity(webp, png), 0.9);
  }
}

TEST_F(WebP, InfoTellsTheHeaderAndAnimationsAreRefused) {
  const auto info = [&](const std::string& path) {
    TFileInfo i;
    std::string description;
    EXPECT_TRUE(GetFileInfo(path, 0, i, description)) << path;
    std::string text;
    for (const std::string& line : FileInfoLines(i, description)) text += line + "\n";
    return text;
  };
  EXPECT_EQ(info(Save(Photo, "lossy.webp")), "WebP image\nLossy\n67x45x16.7M 24 bit\n");
  ASSERT_EQ(peer::Run("cwebp -quiet -lossless '" + Dir + "/photo.ppm' -o '" + Dir + "/l.webp'"), 0);
  ASSERT_EQ(peer::Run("webpmux -set icc '" + Dir + "/photo.ppm' '" + Dir + "/l.webp' -o '" + Dir + "/icc.webp'"), 0);
  EXPECT_EQ(info(Dir + "/icc.webp"), "WebP image\nLossless\n(iccp)\n67x45x16.7M 24 bit\n");
  ASSERT_EQ(peer::Run("cd '" + Dir + "' && img2webp -lossless l.webp -lossy lossy.webp -o anim.webp"), 0);
  EXPECT_EQ(info(Dir + "/anim.webp"), "WebP image\nAnimated\n67x45x16.7M 24 bit\n");
  EXPECT_EQ(ReadError(Dir + "/anim.webp"),
            "WEBP: Animated files are not supported; save one frame as a still image");
  EXPECT_EQ(Load(Dir + "/icc.webp"), Dwebp(Dir + "/l.webp"));
}

TEST_F(WebP, LimitsAndDamageAreRefusedWithClearMessages) {
  PGSettings().WebpLossless = true;
  const std::string lossless = Save(Photo, "l.webp");
  PGSettings().MaxImagePixels = 67 * 45 - 1;
  EXPECT_EQ(ReadError(lossless), "WEBP: Invalid size of image");
  PGSettings().MaxImagePixels = Saved.MaxImagePixels;
  // Lossless files are decoded into 32-bit pixels of the whole image.
  PGSettings().MaxDecoderMemory = 4000;
  EXPECT_EQ(ReadError(lossless), "WEBP: Decoding needs 20636 bytes, more memory than MaxDecoderMemory allows (4000 bytes)");
  PGSettings().WebpLossless = false;
  EXPECT_EQ(ReadError(Save(Photo, "lossy.webp")), "(nothing raised)");
  PGSettings() = Saved;

  std::vector<std::uint8_t> bytes = peer::ReadFile(lossless);
  peer::WriteFile(Dir + "/cut.webp", std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + std::ptrdiff_t(bytes.size() / 2)));
  EXPECT_EQ(ReadError(Dir + "/cut.webp"), "WEBP: Unexpected end of file");
  bytes[12] = 'X';  // no chunk the format knows
  peer::WriteFile(Dir + "/junk.webp", bytes);
  EXPECT_EQ(ReadError(Dir + "/junk.webp"), "WEBP: Not a WebP file");

  TPixelGraphic wide;
  wide.SetSizeAndFormat(16384, 1, pgpf24Bit);
  TMemoryStream out;
  EXPECT_EQ(MessageOf<EWebP>([&] { wide.SaveToStreamExt(out, "webp"); }),
            "WEBP: An image of 16384 x 1 pixels is larger than a WebP file can hold (16383 x 16383)");
}

// The decoder is handed the file a piece at a time and the rows of each
// piece are told before the next is read: a file of several pieces is
// told in several bands, lossy and lossless alike.
TEST_F(WebP, RowsAreToldAsThePiecesOfTheFileAreDecoded) {
  peer::RgbImage noise = peer::Pattern(600, 400);
  std::uint32_t state = 1;
  for (std::uint8_t& byte : noise.Rgb) byte = std::uint8_t((state = state * 1664525u + 1013904223u) >> 24);
  TPixelGraphic big;
  peer::FromRgb(big, noise);
  for (const bool lossless : {false, true}) {
    SCOPED_TRACE(lossless);
    PGSettings().WebpLossless = lossless;
    PGSettings().WebpQuality = 100;
    const std::string file = Save(big, "big.webp");
    ASSERT_GT(peer::ReadFile(file).size(), 3u << 16);
    TPixelGraphic image;
    std::vector<std::pair<int, int>> bands;
    image.OnRowsDone = [&](void*, int top, int count) { bands.emplace_back(top, count); };
    image.LoadFromFile(file);
    ASSERT_GE(bands.size(), 3u);
    EXPECT_EQ(bands.front().first, 0);
    EXPECT_EQ(bands.back().first + bands.back().second, 400);
  }
}

}  // namespace
