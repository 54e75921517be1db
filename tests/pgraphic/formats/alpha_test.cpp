// Transparency through the readers and writers: files with alpha made by
// peers (Pillow, ImageMagick) load with the alpha the peer decodes, the
// formats that hold alpha write it back, and the others lay the image on
// the page colour.

#include <gtest/gtest.h>

#include "pgraphic/core/alpha.h"
#include "pgraphic/core/settings.h"
#include "pgraphic/formats/registry.h"
#include "support/peer.h"

namespace {

// Top-down red, green, blue, alpha.
using Rgba = std::vector<std::uint8_t>;

Rgba ToRgba(TPixelGraphic& image) {
  Rgba out;
  for (int y = 0; y < image.Height(); ++y) {
    const std::uint8_t* a = image.AlphaLine(y);
    for (int x = 0; x < image.Width(); ++x) {
      const TRGB c = image.GetPixelColor(x, y);
      out.insert(out.end(), {std::uint8_t(GetRValue(c)), std::uint8_t(GetGValue(c)), std::uint8_t(GetBValue(c)),
                             std::uint8_t(a ? a[x] : 255)});
    }
  }
  return out;
}

// A fully transparent pixel shows nothing: its colour is not compared.
Rgba Visible(Rgba pixels) {
  for (std::size_t i = 0; i < pixels.size(); i += 4)
    if (pixels[i + 3] == 0) pixels[i] = pixels[i + 1] = pixels[i + 2] = 0;
  return pixels;
}

// Pillow's decoding of a file as RGBA.
Rgba PillowRgba(const std::string& path) {
  const std::string raw = path + ".rgba";
  EXPECT_EQ(peer::Python("from PIL import Image\nopen('" + raw + "', 'wb').write(Image.open('" + path +
                         "').convert('RGBA').tobytes())\n"),
            0);
  return peer::ReadFile(raw);
}

// A 23 x 19 pattern of colours under alpha that runs from 0 to 255, made by
// Pillow as png in dir; its other files are saved from it by the snippet.
const char* kMakePattern =
    "from PIL import Image\n"
    "im = Image.new('RGBA', (23, 19))\n"
    "for y in range(19):\n"
    "    for x in range(23):\n"
    "        im.putpixel((x, y), (x * 11, y * 28, (x * y) % 256, (x * 37 + y * 90) % 256 if x % 5 else 0))\n"
    "im.save(D + '/rgba.png')\n";

TEST(Alpha, ReadersKeepTheAlphaPeersDecode) {
  const std::string dir = peer::PrivateDir("alpha-read");
  const std::string make = std::string("D = '") + dir + "'\n" + kMakePattern +
                           "im.save(D + '/interlaced.png', interlace=1)\n"
                           "im.convert('LA').save(D + '/grey.png')\n"
                           "p = im.convert('RGB').quantize(12)\n"
                           "p.save(D + '/palette.png', transparency=bytes([0, 64, 255, 128] + [255] * 8))\n"
                           "im.save(D + '/lossless.webp', lossless=True)\n"
                           "im.save(D + '/rgba.tga')\n"
                           "im.save(D + '/rgba.tif')\n"
                           "rgb = Image.new('RGB', (23, 19), (10, 20, 30))\n"
                           "rgb.save(D + '/trns.png', transparency=(10, 20, 30))\n";
  ASSERT_EQ(peer::Python(make), 0);
  ASSERT_EQ(peer::Run("convert '" + dir + "/rgba.png' '" + dir + "/rgba.bmp'"), 0);
  for (const char* name : {"rgba.png", "interlaced.png", "grey.png", "palette.png", "trns.png", "lossless.webp",
                           "rgba.tga", "rgba.tif", "rgba.bmp"}) {
    SCOPED_TRACE(name);
    const std::string path = dir + "/" + name;
    TPixelGraphic image;
    image.LoadFromFile(path);
    ASSERT_TRUE(image.HasAlpha());
    EXPECT_EQ(ToRgba(image), PillowRgba(path));
    TFileInfo info;
    std::string description;
    ASSERT_TRUE(GetFileInfo(path, 0, info, description));
    EXPECT_TRUE(info.Alpha);
  }
}

// What a writer gives back, as Pillow decodes it: formats with alpha keep
// the visible pixels exactly, the others hold the image laid on PageColor;
// a palette, too few entries for the pattern's colour and alpha pairs,
// keeps the wholly transparent pixels and lays the others on it.
TEST(Alpha, WritersKeepAlphaOrLayItOnThePageColour) {
  const std::string dir = peer::PrivateDir("alpha-write");
  ASSERT_EQ(peer::Python(std::string("D = '") + dir + "'\n" + kMakePattern), 0);
  TPixelGraphic source;
  source.LoadFromFile(dir + "/rgba.png");
  const Rgba original = ToRgba(source);
  TPGLibrarySettings settings = PGSettings();
  settings.PageColor = RGBColor(250, 128, 0);
  settings.WebpLossless = true;
  settings.PngWriteGamma = false;
  const TPGThreadSettings scope(settings);
  Rgba laid = original, holes(original.size() / 4);
  for (std::size_t i = 0; i < laid.size(); i += 4) {
    const TRGB c = PGLaidOn(RGBColor(laid[i], laid[i + 1], laid[i + 2]), laid[i + 3], settings.PageColor);
    laid[i] = std::uint8_t(GetRValue(c)), laid[i + 1] = std::uint8_t(GetGValue(c));
    laid[i + 2] = std::uint8_t(GetBValue(c)), laid[i + 3] = 255;
    holes[i / 4] = original[i + 3] == 0 ? 0 : 255;
  }
  for (const char* writer : {"png", "webp", "bmp", "tif", "ppm", "tga", "png8"}) {
    SCOPED_TRACE(writer);
    const std::string path = dir + "/out." + writer;
    {
      TFileStream file(path, TFileStream::fmCreate);
      source.SaveToStreamExt(file, writer);
    }
    const Rgba back = PillowRgba(path);
    if (std::string(writer) == "png8") {
      for (std::size_t i = 0; i < holes.size(); ++i) EXPECT_EQ(back[4 * i + 3], holes[i]) << i;
      continue;
    }
    const bool kept = std::string(writer) == "png" || std::string(writer) == "webp";
    EXPECT_EQ(Visible(back), Visible(kept ? original : laid));
  }
}

}  // namespace
