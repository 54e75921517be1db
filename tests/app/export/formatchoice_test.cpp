// The automatic format of a slice: exact cells as the smaller lossless file,
// others as the JPEG or the lowest WebP quality that looks as good. Every
// file is checked by encoding the alternatives again here and decoding
// what was chosen.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <random>
#include <thread>

#include "app/export/exportcommit.h"
#include "app/export/formatchoice.h"
#include "pgraphic/core/indexed.h"
#include "pgraphic/core/library.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/ssim.h"
#include "pgraphic/core/stream.h"
#include "support/peer.h"

namespace {

std::vector<std::uint8_t> Encode(TPixelGraphic& image, const std::string& writer, const TPGLibrarySettings& s) {
  const TPGThreadSettings scope(s);
  TMemoryStream stream;
  image.SaveToStreamExt(stream, writer);
  return stream.Bytes();
}

// The coded pixels, as a browser shows them.
void Decode(const std::vector<std::uint8_t>& bytes, TPixelGraphic& image) {
  TPGLibrarySettings plain = PGSettings();
  plain.GammaCorrectOnLoad = false;
  const TPGThreadSettings scope(plain);
  TMemoryStream stream;
  stream.WriteBuffer(bytes.data(), std::int64_t(bytes.size()));
  stream.SetPosition(0);
  image.LoadFromStream(stream);
}

TEncodeRules Rules(std::uint8_t formats = afAll, bool email = false) {
  TEncodeRules rules{PGSettings(), email};
  rules.Settings.AutoFormats = formats;
  return rules;
}

TEncodedSlice Auto(TPixelGraphic& image, const TEncodeRules& rules, int quality = -1) {
  return EncodeSlice(image, {FindOutputFormat("auto"), quality}, rules);
}

class FormatChoice : public ::testing::Test {
 protected:
  void SetUp() override { PGLibraryInit(); }
};

// Bands and a two-colour "text" row: few colours, kept exact whatever the
// choice may take.
TEST_F(FormatChoice, FewColoursAreKeptExactAsTheSmallerLosslessFile) {
  TPixelGraphic flat;
  flat.SetSizeAndFormat(90, 40, pgpf24Bit);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 90; ++x)
      flat.SetPixel(x, y, y < 12 ? RGBColor(30, 90, 200) : (y / 3 + x / 5) % 4 ? RGBColor(250, 250, 250) : 0);
  TPGLibrarySettings lossless = PGSettings();
  lossless.WebpLossless = true;
  const std::size_t png = Encode(flat, "png8", PGSettings()).size();
  const std::size_t webp = Encode(flat, "webp", lossless).size();
  struct TCase {
    TEncodeRules Rules;
    std::size_t Bytes;
    std::string Format;
  };
  for (const TCase& c : {TCase{Rules(), std::min(png, webp), webp < png ? "webp" : "png8"},
                         TCase{Rules(afAll, true), png, "png8"}, TCase{Rules(afJpeg | afWebp), webp, "webp"}}) {
    SCOPED_TRACE(c.Format);
    const TEncodedSlice slice = Auto(flat, c.Rules);
    EXPECT_EQ(slice.Format->Name, c.Format);
    EXPECT_EQ(slice.Bytes.size(), c.Bytes);
    EXPECT_EQ(slice.Quality, -1);
    EXPECT_EQ(slice.Reason.rfind("256 colours or fewer, kept exact: ", 0), 0u) << slice.Reason;
    TPixelGraphic decoded;
    Decode(slice.Bytes, decoded);
    EXPECT_EQ(peer::ToRgb(decoded), peer::ToRgb(flat));
  }
  // Only JPEG allowed: the cell is no longer exact, and says why.
  const TEncodedSlice jpeg = Auto(flat, Rules(afJpeg), 90);
  EXPECT_EQ(jpeg.Format->Name, "jpg");
  EXPECT_EQ(jpeg.Quality, 90);
  EXPECT_EQ(jpeg.Reason, "more than 256 colours: JPEG (WebP left out)");
}

// A smooth gradient and grain: whichever wins, a WebP must look at least
// as good as the JPEG, be smaller, and be the lowest quality that does.
TEST_F(FormatChoice, ManyColoursGetTheJpegOrTheLowestWebpThatLooksAsGood) {
  std::mt19937 random(7);
  peer::RgbImage smooth = peer::Pattern(96, 64), grainy = smooth;
  for (std::uint8_t& v : grainy.Rgb) v = std::uint8_t(std::clamp(int(v) + int(random() % 81) - 40, 0, 255));
  int webps = 0;
  for (const peer::RgbImage& pixels : {smooth, grainy}) {
    TPixelGraphic cell;
    peer::FromRgb(cell, pixels);
    TPGLibrarySettings settings = PGSettings();
    settings.JpegQuality = 70;
    const std::vector<std::uint8_t> jpeg = Encode(cell, "jpg", settings);
    TPixelGraphic decoded;
    Decode(jpeg, decoded);
    const double target = StructuralSimilarity(cell, decoded);
    const TEncodedSlice slice = Auto(cell, Rules(), 70);
    SCOPED_TRACE(slice.Reason);
    EXPECT_GE(slice.Encodes, 2);
    if (slice.Format->Name == "jpg") {
      EXPECT_EQ(slice.Bytes, jpeg);
      continue;
    }
    ++webps;
    ASSERT_EQ(slice.Format->Name, "webp");
    EXPECT_LT(slice.Bytes.size(), jpeg.size());
    Decode(slice.Bytes, decoded);
    EXPECT_GE(StructuralSimilarity(cell, decoded), target);
    // The file kept is the one measured, and the lowest good enough quality
    // is at most kAutoWebpSpan below it.
    settings.WebpMethod = kAutoWebpMethod;
    settings.WebpQuality = std::uint8_t(slice.Quality);
    EXPECT_EQ(Encode(cell, "webp", settings), slice.Bytes);
    ASSERT_GE(slice.Quality, kAutoWebpSpan);
    settings.WebpQuality = std::uint8_t(slice.Quality - kAutoWebpSpan);
    Decode(Encode(cell, "webp", settings), decoded);
    EXPECT_LT(StructuralSimilarity(cell, decoded), target);
    // The same choice on another thread, with the process's settings changed.
    TEncodedSlice other;
    const TEncodeRules rules = Rules();
    PGSettings().WebpQuality = 5;
    std::thread([&] { other = Auto(cell, rules, 70); }).join();
    PGSettings().WebpQuality = rules.Settings.WebpQuality;
    EXPECT_EQ(other.Bytes, slice.Bytes);
  }
  EXPECT_GE(webps, 1);
}

// A mail footer: a flat colour with anti-aliased light strokes (a few
// hundred colours). The JPEG rings at its edges; the 256-colour PNG is
// smaller and at least as close to the cell, so it wins, for mail too.
TEST_F(FormatChoice, NearFlatCellsTakeAPaletteWhereItLooksAsGoodInFewerBytes) {
  TPixelGraphic footer;
  footer.SetSizeAndFormat(640, 90, pgpf24Bit);
  for (int y = 0; y < 90; ++y)
    for (int x = 0; x < 640; ++x) {
      // Coverage of slanted strokes 2.5 px wide in rows of "letters".
      const double slant = 0.1 + 0.037 * (x / 9 % 17);  // each letter at its own slant
      const double u = std::fmod(x + slant * y, 9.0), w = u < 2.5 ? 1.0 : u < 3.5 ? 3.5 - u : 0.0;
      const double coverage = (y % 30 > 8 && y % 30 < 22 && x % 120 < 100) ? w : 0.0;
      const auto mix = [&](int from, int to) { return std::uint8_t(std::lround(from + (to - from) * coverage)); };
      // White text, and links in orange.
      footer.SetPixel(x, y, x < 320 ? RGBColor(mix(29, 240), mix(53, 240), mix(87, 235))
                                    : RGBColor(mix(29, 250), mix(53, 150), mix(87, 40)));
    }
  ASSERT_FALSE(HasAtMost256Colors(footer));
  ASSERT_TRUE(HasAtMostColors(footer, kNearFlatColours));
  TPGLibrarySettings settings = PGSettings();
  settings.JpegQuality = 80;
  const std::vector<std::uint8_t> jpeg = Encode(footer, "jpg", settings);
  TPixelGraphic decoded;
  Decode(jpeg, decoded);
  const double target = StructuralSimilarity(footer, decoded);
  for (const bool email : {false, true}) {
    const TEncodedSlice slice = Auto(footer, Rules(afAll, email), 80);
    SCOPED_TRACE(slice.Reason);
    EXPECT_EQ(slice.Format->Name, "png8");
    EXPECT_LT(slice.Bytes.size(), jpeg.size());
    EXPECT_EQ(slice.Reason.rfind("near-flat", 0), 0u);
    Decode(slice.Bytes, decoded);
    EXPECT_GE(StructuralSimilarity(footer, decoded), target);
  }
  // Without PNG among the formats the choice is as before.
  EXPECT_EQ(Auto(footer, Rules(afJpeg), 80).Bytes, jpeg);
}

TEST_F(FormatChoice, AutoFormatsNamesAndRefusals) {
  EXPECT_EQ(AutoFormatsFromText("png,jpg"), std::optional<std::uint8_t>(afJpeg | afPng));
  EXPECT_EQ(AutoFormatsFromText("webp"), std::optional<std::uint8_t>(afWebp));
  for (const char* bad : {"", "jpg,", ",png", "jpg,,png", "gif", "JPG", "jpg png"})
    EXPECT_EQ(AutoFormatsFromText(bad), std::nullopt) << bad;
  EXPECT_EQ(AutoFormatsText(afAll), "jpg,png,webp");
  EXPECT_EQ(AutoFormatsProblem(Rules(afJpeg, true)), "");
  EXPECT_EQ(AutoFormatsProblem(Rules(afWebp, true)),
            "AutoFormats allows only webp, which pages for mail leave out; nothing was written.");
  TPixelGraphic cell;
  peer::FromRgb(cell, peer::Pattern(20, 20));
  EXPECT_THROW(Auto(cell, Rules(afWebp, true)), EExportError);
  // PNG alone keeps even a cell of many colours exact.
  const TEncodedSlice png = Auto(cell, Rules(afPng));
  EXPECT_EQ(png.Format->Name, "png");
  TPixelGraphic decoded;
  Decode(png.Bytes, decoded);
  EXPECT_EQ(peer::ToRgb(decoded), peer::ToRgb(cell));
}

}  // namespace
