// tessel-cli info, formats and convert, run as a separate program.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "pgraphic/filters/filtermodel.h"
#include "pgraphic/formats/bmp_fixtures.h"
#include "pgraphic/formats/registry.h"
#include "support/file_contents.h"

using namespace bmpfix;

namespace {

struct TCliRun {
  int Status;
  std::string Out, Err;
};

using support::ReadText;

class CliConvert : public ::testing::Test {
 protected:
  void SetUp() override { Dir = TestDir(); }

  TCliRun Cli(const std::string& args) {
    const std::string out = Dir + "/stdout.txt", err = Dir + "/stderr.txt";
    const std::string command =
        "cd '" + Dir + "' && '" + TESSEL_CLI_PATH + "' " + args + " >'" + out + "' 2>'" + err + "'";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(out), ReadText(err)};
  }

  // A 24-bit source image written as BMP; returns its path.
  std::string Source(TPixelGraphic& image, int w = 6, int h = 4) {
    peer::FromRgb(image, peer::Pattern(w, h));
    image.SaveToFile(Dir + "/src.bmp");
    return Dir + "/src.bmp";
  }

  std::string Dir;
};

}  // namespace

TEST_F(CliConvert, InfoPrintsTheNonEmptyFactsOneALine) {
  TPixelGraphic image;
  Source(image, 7, 3);
  const TCliRun r = Cli("info src.bmp");
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out, "Bitmap\nWindows, RGB\n7x3x16.7M 24 bit\n");
  peer::WriteFile(Dir + "/td.bmp", Build({.Width = 2, .Height = -5, .BitCount = 4, .Compression = 0,
                                          .Palette = Greys(16), .Data = Bytes(20)}));
  EXPECT_EQ(Cli("info td.bmp").Out, "Bitmap\nWindows, RGB, Top-Down\n2x5x16 4 bit\n");
  peer::WriteFile(Dir + "/junk.bmp", {1, 2, 3});
  const std::pair<const char*, const char*> bad[] = {
      {"junk.bmp", "junk.bmp: Unknown file format\n"}, {"missing.bmp", "File missing.bmp not found.\n"}};
  for (const auto& [name, message] : bad) {
    const TCliRun r = Cli(std::string("info ") + name);
    EXPECT_EQ(r.Status, 1) << name;
    EXPECT_EQ(r.Out, "");
    EXPECT_EQ(r.Err, message);
  }
  EXPECT_EQ(Cli("convert junk.bmp x.png").Err, "junk.bmp: Unknown file format\n");
  EXPECT_EQ(Cli("info").Status, 2);
}

TEST_F(CliConvert, FormatsListsTheFilterThenEveryWriter) {
  const TCliRun r = Cli("formats");
  ASSERT_EQ(r.Status, 0);
  std::istringstream lines(r.Out);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, BuildOpenFilter());
  std::vector<std::string> writers;
  while (std::getline(lines, line)) writers.push_back(line);
  ASSERT_EQ(writers.size(), 14u);
  EXPECT_EQ(writers[5], "pbm\tPortable Bitmap\tblack and white");
  EXPECT_EQ(writers[10], "tga\tTruevision Targa\t256 colors, 16.7 million colors");
  EXPECT_EQ(writers[11],
            "tif\tTagged Image File Format\tblack and white, 16 shades of gray, 16 system colors, "
            "16 colors, 256 shades of gray, 256 colors, 16.7 million colors");
}

TEST_F(CliConvert, ConvertRoundTripsThroughAnotherFormat) {
  TPixelGraphic image;
  Source(image);
  EXPECT_EQ(Cli("convert src.bmp mid.png").Status, 0);
  EXPECT_EQ(Cli("convert mid.png back.bmp").Status, 0);
  TPixelGraphic back;
  back.LoadFromFile(Dir + "/back.bmp");
  EXPECT_EQ(PixelBytes(back), PixelBytes(image));
  EXPECT_EQ(MagickDecode(Dir + "/mid.png"), peer::ToRgb(image));
}

TEST_F(CliConvert, ResolutionChangeWarnsOrFailsWithStrict) {
  TPixelGraphic image;
  Source(image);
  const TCliRun warned = Cli("convert src.bmp out.pgm");
  EXPECT_EQ(warned.Status, 0);
  EXPECT_EQ(warned.Err,
            "warning: The graphic cannot be saved to a Portable Graymap file with the current color "
            "resolution (16.7 million colors).\r\rThe graphic will be saved with a different color "
            "resolution (256 shades of gray).\n");
  const TCliRun strict = Cli("convert src.bmp strict.pgm --strict");
  EXPECT_EQ(strict.Status, 1);
  EXPECT_EQ(strict.Err,
            "The graphic cannot be saved with to a Portable Graymap file with the current color "
            "resolution (16.7 million colors)\n");
  EXPECT_FALSE(std::ifstream(Dir + "/strict.pgm").good());
  EXPECT_EQ(Cli("convert src.bmp x.gif").Err, "Unknown file extension \"gif\"\n");
  EXPECT_EQ(Cli("convert missing.bmp x.bmp").Status, 1);
  EXPECT_EQ(Cli("convert src.bmp").Status, 2);
}

TEST_F(CliConvert, PngCompressionIsSetByName) {
  TPixelGraphic image;
  Source(image);
  EXPECT_EQ(Cli("convert src.bmp fast.png --set PngCompressionStrategy=default --set PngCompressionLevel=1").Status, 0);
  EXPECT_EQ(MagickDecode(Dir + "/fast.png"), peer::ToRgb(image));
  const TCliRun level = Cli("convert src.bmp x.png --set PngCompressionLevel=10");
  EXPECT_EQ(level.Status, 2);
  EXPECT_NE(level.Err.find("bad value for PngCompressionLevel: 10"), std::string::npos) << level.Err;
  const TCliRun strategy = Cli("convert src.bmp x.png --set PngCompressionStrategy=fast");
  EXPECT_EQ(strategy.Status, 2);
  EXPECT_NE(strategy.Err.find("bad value for PngCompressionStrategy: fast (auto/default/filtered/huffman/rle/fixed)"),
            std::string::npos)
      << strategy.Err;
}

TEST_F(CliConvert, AdjustmentsAreAppliedInOrderBeforeSaving) {
  TPixelGraphic image;
  Source(image);
  ASSERT_EQ(Cli("convert src.bmp out.bmp --adjust rgb:10,0,-20 --adjust hls:30,5,0").Status, 0);
  TRGBFilterDialog rgb;
  rgb.SlidersChanged({10, 0, -20});
  image.ApplyFilter(rgb.Filter(), image);
  THLSFilterDialog hls;
  hls.SlidersChanged({30, 5, 0});
  image.ApplyFilter(hls.Filter(), image);
  TPixelGraphic out;
  out.LoadFromFile(Dir + "/out.bmp");
  EXPECT_EQ(PixelBytes(out), PixelBytes(image));
  EXPECT_EQ(Cli("convert src.bmp bad.bmp --adjust xyz:1,2,3").Status, 2);
  EXPECT_FALSE(std::ifstream(Dir + "/bad.bmp").good());
}
