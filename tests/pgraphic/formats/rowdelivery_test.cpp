// Rows handed over while a file still decodes: every reader that says it
// delivers rows tells each row once, in its order, and what it tells is
// what the load ends with (the gamma step of loading included).

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "pgraphic/rows/finalrows.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/formats/registry.h"
#include "support/peer.h"

namespace {

struct TToldRows {
  std::vector<std::pair<int, int>> Bands;       // top and count, in the order told
  std::vector<std::vector<std::uint8_t>> Bytes;  // each row as it was when told
};

// Loads path, keeping a copy of every row at the moment it is told.
TToldRows LoadWatching(const std::string& path, TPixelGraphic& image) {
  TToldRows told;
  image.OnRowsDone = [&](void*, int top, int count) {
    if (told.Bytes.empty()) told.Bytes.resize(std::size_t(image.Height()));
    told.Bands.emplace_back(top, count);
    for (int y = top; y < top + count; ++y) {
      const std::uint8_t* row = image.ScanLine(y);
      told.Bytes[std::size_t(y)].assign(row, row + image.BytesPerRow());
    }
  };
  image.LoadFromFile(path);
  image.OnRowsDone = nullptr;
  return told;
}

class RowDelivery : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = peer::ScratchDir("row_delivery");
    peer::FromRgb(Photo, peer::Pattern(37, 23));
  }
  // Writes image through our writer for extension, with the given gamma.
  std::string Save(TPixelGraphic& image, const std::string& name, long double gamma = 1.8L) {
    return peer::SaveWithGamma(image, Dir + "/" + name, gamma);
  }
  // Bands that follow each other from one end to the other, every row
  // told once, and each as the load left it.
  void ExpectAllRowsTold(const std::string& path, bool fromTop) {
    SCOPED_TRACE(path);
    TPixelGraphic image;
    const TToldRows told = LoadWatching(path, image);
    int edge = fromTop ? 0 : image.Height();
    for (const auto& [top, count] : told.Bands) {
      EXPECT_EQ(fromTop ? top : top + count, edge);
      edge = fromTop ? top + count : top;
    }
    EXPECT_EQ(edge, fromTop ? image.Height() : 0);
    // Handed on a band at a time, the last band excepted.
    for (std::size_t band = 0; band + 1 < told.Bands.size(); ++band)
      EXPECT_GE(told.Bands[band].second, RowsPerBand(image.BytesPerRow())) << "band " << band;
    for (int y = 0; y < image.Height(); ++y) {
      const std::uint8_t* row = image.ScanLine(y);
      EXPECT_EQ(told.Bytes[std::size_t(y)], std::vector<std::uint8_t>(row, row + image.BytesPerRow()))
          << "row " << y;
    }
  }

  std::string Dir;
  TPixelGraphic Photo;
};

TEST_F(RowDelivery, EveryDeliveringReaderTellsEachFinalRowOnceInItsOrder) {
  TPixelGraphic grey;
  peer::GreyCopy(Photo, grey);
  ExpectAllRowsTold(Save(Photo, "photo.jpg"), true);
  ExpectAllRowsTold(Save(Photo, "photo.png"), true);
  ExpectAllRowsTold(Save(Photo, "gamma.png", 1.0L), true);  // corrected on load
  ExpectAllRowsTold(Save(grey, "grey.png", 1.0L), true);    // through the palette
  ExpectAllRowsTold(Save(Photo, "photo.tif"), true);
  ExpectAllRowsTold(Save(Photo, "photo.ppm"), true);
  ExpectAllRowsTold(Save(grey, "grey.pgm"), true);
  ExpectAllRowsTold(Save(Photo, "photo.bmp"), false);
  ExpectAllRowsTold(Save(grey, "grey.bmp"), false);
  ExpectAllRowsTold(Save(Photo, "photo.tga"), false);
  ASSERT_EQ(peer::Run("convert '" + Dir + "/photo.ppm' '" + Dir + "/photo.pcx'"), 0);
  ExpectAllRowsTold(Dir + "/photo.pcx", true);
  ExpectAllRowsTold(Save(Photo, "photo.webp"), true);
  ASSERT_EQ(peer::Python("from PIL import Image\nim = Image.open('" + Dir + "/photo.ppm').convert('RGBA')\n"
                         "im.save('" + Dir + "/lossless.webp', lossless=True)\n"
                         "im.putalpha(128)\nim.save('" + Dir + "/alpha.webp')\n"),
            0);
  ExpectAllRowsTold(Dir + "/lossless.webp", true);
  ExpectAllRowsTold(Dir + "/alpha.webp", true);  // flattened band by band
  // Tall enough for several bands, each way up, and rows wide enough for a
  // band to end at a megabyte before 64 rows.
  TPixelGraphic tall, wide;
  peer::FromRgb(tall, peer::Pattern(41, 333));
  peer::FromRgb(wide, peer::Pattern(30000, 70));
  ExpectAllRowsTold(Save(tall, "tall.jpg"), true);
  ExpectAllRowsTold(Save(tall, "tall.bmp"), false);
  ExpectAllRowsTold(Save(wide, "wide.ppm"), true);
}

// Rows whose bytes change after their last pass are told nowhere: the
// load's end is the only moment they are final.
TEST_F(RowDelivery, InterlacedPngTellsNothing) {
  const std::string plain = Save(Photo, "plain.png");
  const std::string interlaced = Dir + "/interlaced.png";
  ASSERT_EQ(peer::Run("convert '" + plain + "' -interlace PNG '" + interlaced + "'"), 0);
  TPixelGraphic image, reference;
  EXPECT_TRUE(LoadWatching(interlaced, image).Bands.empty());
  reference.LoadFromFile(plain);
  EXPECT_EQ(peer::ToRgb(image), peer::ToRgb(reference));
}

TEST(RowDeliveryFields, ReadersAndWritersSayWhatTheyDo) {
  for (const auto& reader : FileFormatReaders()) {
    SCOPED_TRACE(reader->Extension);
    EXPECT_TRUE(reader->SafeOnThreads);
    const bool asStored = reader->Extension == "bmp" || reader->Extension == "dib" ||
                          reader->Extension == "rle" || reader->Extension == "tga";
    EXPECT_EQ(reader->RowDelivery, asStored ? rdAsStored : rdTopDown);
  }
  for (const auto& writer : FileFormatWriters()) {
    SCOPED_TRACE(writer->Extension);
    EXPECT_TRUE(writer->SafeOnThreads);
    // The 256-colour PNG writer needs every pixel for its palette first.
    const bool notTopDown = writer->Extension == "bmp" || writer->Extension == "dib" ||
                            writer->Extension == "tga" || writer->Extension == "png8";
    EXPECT_EQ(writer->TakesRowsTopDown, !notTopDown);
  }
}

}  // namespace
