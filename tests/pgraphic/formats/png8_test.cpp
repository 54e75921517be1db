// The 256-colour PNG writer: palette files that Pillow reads as mode P,
// exact for images of 256 colours or fewer.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "pgraphic/core/library.h"
#include "pgraphic/core/settings.h"
#include "pgraphic/core/ssim.h"
#include "pgraphic/formats/registry.h"
#include "support/peer.h"

namespace {

class Png8 : public ::testing::Test {
 protected:
  void SetUp() override {
    PGLibraryInit();
    Dir = peer::PrivateDir("png8");
  }
  // Saves through the writer into name, a .png file; Pillow's mode and
  // colour count of it.
  std::string Save(TPixelGraphic& image, const std::string& name) {
    TFileStream file(Dir + "/" + name, TFileStream::fmCreate);
    image.SaveToStreamExt(file, "png8");
    file.Close();
    std::string out;
    EXPECT_EQ(peer::Python("from PIL import Image\nim = Image.open('" + Dir + "/" + name + "')\n"
                           "print(im.mode, len(im.getcolors(256)), im.info.get('transparency'))\n",
                           &out),
              0);
    return out;
  }
  std::string Dir;
};

TEST_F(Png8, FewColoursAreWrittenExactlyAsAPaletteFile) {
  TPixelGraphic image;
  peer::RgbImage rgb = peer::Pattern(50, 30);
  for (std::size_t i = 0; i < rgb.Rgb.size(); ++i) rgb.Rgb[i] &= 0xE0;  // 8 levels a channel
  std::set<std::vector<std::uint8_t>> colours;
  for (std::size_t i = 0; i < rgb.Rgb.size(); i += 3) colours.insert({rgb.Rgb[i], rgb.Rgb[i + 1], rgb.Rgb[i + 2]});
  ASSERT_GT(colours.size(), 16u);
  ASSERT_LE(colours.size(), 256u);
  peer::FromRgb(image, rgb);
  EXPECT_EQ(Save(image, "few.png"), "P " + std::to_string(colours.size()) + " None\n");
  EXPECT_EQ(peer::DecodeWithMagick(Dir + "/few.png"), rgb);
  TPixelGraphic back;
  back.LoadFromFile(Dir + "/few.png");
  EXPECT_EQ(peer::ToRgb(back), rgb);
  // 256 greys stay a palette file too.
  TPixelGraphic grey;
  peer::GreyCopy(image, grey);
  EXPECT_EQ(Save(grey, "grey.png").rfind("P ", 0), 0u);
  EXPECT_EQ(peer::DecodeWithMagick(Dir + "/grey.png"), peer::ToRgb(grey));
}

TEST_F(Png8, ManyColoursAreDitheredIntoAPaletteFile) {
  TPixelGraphic image;
  peer::FromRgb(image, peer::Pattern(120, 90));
  const std::string facts = Save(image, "many.png");
  EXPECT_EQ(facts.rfind("P ", 0), 0u) << facts;
  TPixelGraphic back;
  back.LoadFromFile(Dir + "/many.png");
  EXPECT_GT(StructuralSimilarity(back, image), 0.8);
  EXPECT_NE(peer::ToRgb(back), peer::ToRgb(image));
  const TPGLibrarySettings saved = PGSettings();
  PGSettings().Png8Dither = false;
  Save(image, "nearest.png");
  PGSettings() = saved;
  EXPECT_NE(peer::ReadFile(Dir + "/nearest.png"), peer::ReadFile(Dir + "/many.png"));
}

}  // namespace
