// Colour profiles of JPEG, PNG and TIFF files: converted to sRGB as Little
// CMS converts them, kept byte for byte, and a damaged one only a warning.
// Sources come from Pillow with profiles built by Little CMS.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <stdexcept>

#include "pgraphic/core/library.h"
#include "pgraphic/core/settings.h"
#include "pgraphic/formats/icc.h"
#include "pgraphic/formats/registry.h"
#include "support/icc_peer.h"
#include "support/peer.h"

namespace {

class ColourProfiles : public ::testing::Test {
 protected:
  void SetUp() override {
    PGLibraryInit();
    Saved = PGSettings();
    Dir = peer::PrivateDir("colour");
  }
  void TearDown() override { PGSettings() = Saved; }

  static void Load(TPixelGraphic& image, const std::string& path, TColorProfileMode mode,
                   TPGWarningAction action = pgwaRaise) {
    PGSettings().ColorProfile = mode;
    image.ReadWarningAction = action;
    image.LoadFromFile(path);
  }
  static peer::RgbImage Raw(const std::string& path) {
    TPixelGraphic image;
    Load(image, path, TColorProfileMode::cpmIgnore);
    return peer::ToRgb(image);
  }
  std::string Source(const std::vector<std::uint8_t>& profile, const std::string& name,
                     const std::string& mode = "RGB") {
    const std::string path = Dir + "/" + name;
    icc::SaveWithPillow(Dir, peer::Pattern(37, 23), profile, path, mode);
    return path;
  }
  static std::string Info(const std::string& path) {
    TFileInfo info;
    std::string description;
    EXPECT_TRUE(GetFileInfo(path, 0, info, description));
    return info.ColorProfileText;
  }

  TPGLibrarySettings Saved;
  std::string Dir;
};

const char* const kFormats[] = {"png", "tif", "jpg"};

// Whoever takes rows as they decode (the export that cuts while loading)
// gets them converted already.
TEST_F(ColourProfiles, WideGamutSourcesBecomeWhatLittleCmsMakesOfThem) {
  for (const auto& [name, profile] : {std::pair{"Adobe", icc::AdobeRgb()}, std::pair{"P3", icc::DisplayP3()}})
    for (const char* ext : kFormats) {
      SCOPED_TRACE(std::string(name) + "." + ext);
      const std::string path = Source(profile, std::string(name) + "." + ext);
      EXPECT_EQ(Info(path), "ICC profile: Wide RGB (" + std::string(name) + " primaries)");
      TPixelGraphic image;
      std::vector<std::vector<std::uint8_t>> rows;
      image.OnRowsDone = [&](void*, int top, int count) {
        for (int y = top; y < top + count; ++y) rows.emplace_back(image.ScanLine(y), image.ScanLine(y) + image.Width() * 3);
      };
      Load(image, path, TColorProfileMode::cpmConvert);
      const peer::RgbImage raw = Raw(path);
      EXPECT_EQ(peer::ToRgb(image), icc::ToSRGB(profile, raw));
      EXPECT_NE(peer::ToRgb(image), raw);
      EXPECT_FALSE(image.ColorProfile);
      ASSERT_EQ(rows.size(), std::size_t(image.Height()));
      for (int y = 0; y < image.Height(); ++y)
        EXPECT_TRUE(std::equal(rows[std::size_t(y)].begin(), rows[std::size_t(y)].end(), image.ScanLine(y))) << y;
    }
}

// A profile says what the pixels are, so a gAMA beside it is not applied;
// converted pixels are sRGB, which a display of another gamma then gets
// mapped to as any file of gamma 2.2.
TEST_F(ColourProfiles, GammaStepStartsFromSRGBAfterTheProfile) {
  const std::vector<std::uint8_t> profile = icc::DisplayP3();
  const std::string path = Source(profile, "gama.png");
  std::vector<std::uint8_t> file = peer::ReadFile(path);
  const std::vector<std::uint8_t> gama = {0, 0, 0, 4, 'g', 'A', 'M', 'A', 0, 1, 0x86, 0xA0, 0x31, 0xE8, 0x96, 0x5F};
  file.insert(file.begin() + 33, gama.begin(), gama.end());  // gamma 1.0, after IHDR
  peer::WriteFile(path, file);
  PGSettings().GammaCorrectOnLoad = false;
  const peer::RgbImage converted = icc::ToSRGB(profile, Raw(path));
  PGSettings().GammaCorrectOnLoad = true;
  TPixelGraphic image;
  Load(image, path, TColorProfileMode::cpmConvert);
  EXPECT_EQ(peer::ToRgb(image), converted);

  PGSettings().DisplayGamma = 1.8L;
  Load(image, path, TColorProfileMode::cpmConvert);
  peer::RgbImage expected = converted;
  for (std::uint8_t& v : expected.Rgb) v = std::uint8_t(std::lround(255 * std::pow(v / 255.0, 2.2 / 1.8)));
  EXPECT_EQ(peer::ToRgb(image), expected);
  EXPECT_EQ(image.FileGamma, 1.8L);
}

// Grey stays 256 greys, a palette stays a palette with converted colours.
TEST_F(ColourProfiles, GreyAndPaletteImagesKeepTheirDepth) {
  const std::vector<std::uint8_t> linear = icc::Grey(1.0);
  const std::string greyPath = Source(linear, "grey.jpg", "L");
  peer::RgbImage expected = Raw(greyPath);
  std::vector<std::uint8_t> values;
  for (std::size_t i = 0; i < expected.Rgb.size(); i += 3) values.push_back(expected.Rgb[i]);
  const std::vector<std::uint8_t> rgb = icc::ToSRGB(linear, values, true);
  for (std::size_t i = 0; i < expected.Rgb.size(); ++i) expected.Rgb[i] = rgb[i / 3 * 3 + 1];
  TPixelGraphic grey, palette;
  Load(grey, greyPath, TColorProfileMode::cpmConvert);
  EXPECT_EQ(grey.PaletteIdent(), pGray256);
  EXPECT_EQ(peer::ToRgb(grey), expected);

  const std::string palettePath = Source(icc::AdobeRgb(), "palette.png", "P");
  Load(palette, palettePath, TColorProfileMode::cpmConvert);
  EXPECT_EQ(palette.PixelFormat(), pgpf8Bit);
  EXPECT_EQ(peer::ToRgb(palette), icc::ToSRGB(icc::AdobeRgb(), Raw(palettePath)));
}

TEST_F(ColourProfiles, KeptProfilesGoIntoJpegPngAndTiffByteForByte) {
  // Over 64 KB: a JPEG spreads it over two APP2 markers.
  const std::vector<std::uint8_t> profile = icc::AdobeRgb(70000);
  ASSERT_GT(profile.size(), 65519u);
  const std::string path = Source(profile, "wide.png");
  TPixelGraphic image;
  Load(image, path, TColorProfileMode::cpmKeep);
  ASSERT_TRUE(image.ColorProfile);
  EXPECT_EQ(image.ColorProfile->Icc, profile);
  EXPECT_EQ(peer::ToRgb(image), Raw(path));
  for (const char* ext : kFormats) {
    SCOPED_TRACE(ext);
    const std::string written = Dir + "/kept." + ext;
    image.SaveToFile(written);
    EXPECT_EQ(icc::PillowProfile(Dir, written), profile);
    TPixelGraphic back;
    Load(back, written, TColorProfileMode::cpmKeep);
    ASSERT_TRUE(back.ColorProfile);
    EXPECT_EQ(back.ColorProfile->Icc, profile);
  }
  // The profile alone says what the PNG's pixels are: no gAMA beside it.
  std::string gamma;
  ASSERT_EQ(peer::Python("from PIL import Image\nprint(Image.open('" + Dir + "/kept.png').info.get('gamma'))\n", &gamma), 0);
  EXPECT_EQ(gamma, "None\n");
}

// Every part has its number; the order of the markers in the file is free.
TEST_F(ColourProfiles, JpegMarkersArePutTogetherByTheirNumbers) {
  const auto marker = [](int sequence, int count, const std::string& data) {
    return std::string("ICC_PROFILE") + '\0' + char(sequence) + char(count) + data;
  };
  const std::string a = marker(1, 3, "one"), b = marker(2, 3, "two"), c = marker(3, 3, "three"),
                    exif = std::string("Exif\0\0", 6), bad = marker(2, 4, "x"), zero = marker(0, 3, "y");
  const auto assemble = [](std::initializer_list<const std::string*> parts) {
    std::vector<TIccMarker> markers;
    for (const std::string* p : parts) markers.push_back({reinterpret_cast<const std::uint8_t*>(p->data()), p->size()});
    std::vector<std::uint8_t> icc;
    const std::string problem = AssembleIccMarkers(markers, icc);
    return problem.empty() ? std::string(icc.begin(), icc.end()) : "! " + problem;
  };
  EXPECT_EQ(assemble({&c, &exif, &a, &b}), "onetwothree");
  EXPECT_EQ(assemble({&exif}), "");
  EXPECT_EQ(assemble({&a, &b}), "! APP2 marker of part 3 missing");
  EXPECT_EQ(assemble({&a, &b, &b, &c}), "! two APP2 markers of part 2");
  EXPECT_EQ(assemble({&a, &bad, &c}), "! APP2 markers disagree on the count of parts");
  EXPECT_EQ(assemble({&zero, &a}), "! APP2 marker of part 0 of 3");
}

// Damage costs the profile, never the image: the warning goes by the
// image's policy, and without objection the pixels are read as sRGB.
TEST_F(ColourProfiles, DamagedProfilesAreWarningsUnderTheImagesPolicy) {
  const std::vector<std::uint8_t> good = icc::AdobeRgb();
  std::vector<std::uint8_t> truncated(good.begin(), good.begin() + std::ptrdiff_t(good.size() / 2));
  std::vector<std::uint8_t> pastEnd = good, manyTags = good;
  std::fill_n(pastEnd.begin() + 136, 4, 0x7F);   // the first tag's offset
  std::fill_n(manyTags.begin() + 128, 4, 0xFF);  // the count of tags
  const std::pair<const char*, std::vector<std::uint8_t>> kDamages[] = {
      {"truncated", truncated}, {"offset", pastEnd}, {"tags", manyTags}, {"grey", icc::Grey(2.2)}};
  const std::map<std::string, std::string> kPrefix = {{"png", "PNG: "}, {"tif", "TIFF: "}, {"jpg", "JPG: "}};
  for (const auto& [name, profile] : kDamages)
    for (const char* ext : kFormats) {
      SCOPED_TRACE(std::string(name) + "." + ext);
      const std::string path = Source(profile, std::string(name) + "." + ext);
      EXPECT_EQ(Info(path).rfind("ICC profile: damaged, ", 0), 0u) << Info(path);
      TPixelGraphic strict;
      try {
        Load(strict, path, TColorProfileMode::cpmConvert, pgwaRaise);
        ADD_FAILURE() << "loaded without a word";
      } catch (const EPixelGraphic& e) {
        const std::string text = e.what();
        EXPECT_EQ(text.rfind(kPrefix.at(ext), 0), 0u) << text;
        EXPECT_TRUE(text.find("ICC profile ignored") != std::string::npos || text.find("iCCP") != std::string::npos)
            << text;
      }
      TPixelGraphic lenient;
      Load(lenient, path, TColorProfileMode::cpmConvert, pgwaIgnore);
      EXPECT_EQ(peer::ToRgb(lenient), Raw(path));
      EXPECT_FALSE(lenient.ColorProfile);
    }
}

// A chunk longer than a chunk may hold is refused at its header, whatever
// the image's policy, and never buffered whole.
TEST_F(ColourProfiles, OverLongIccChunkIsNeverBufferedWhole) {
  std::vector<std::uint8_t> file = peer::ReadFile(Source(icc::AdobeRgb(), "long.png"));
  const std::vector<std::uint8_t> chunk = {0x7F, 0xFF, 0xFF, 0xF0, 'i', 'C', 'C', 'P', 'x', 0, 0, 1, 2, 3};
  file.insert(file.begin() + 33, chunk.begin(), chunk.end());  // after the signature and IHDR
  for (const TPGWarningAction action : {pgwaRaise, pgwaIgnore}) {
    TMemoryStream stream(file);
    TPixelGraphic loaded;
    loaded.ReadWarningAction = action;
    EXPECT_THROW(
        try { loaded.LoadFromStream(stream); } catch (const EPGPNGFileFormatReaderWriter& e) {
          EXPECT_STREQ(e.what(), "PNG: iCCP: chunk data is too large");
          throw;
        },
        EPGPNGFileFormatReaderWriter);
  }
}

}  // namespace
