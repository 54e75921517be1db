// TIFF files exchanged with peer tools: files written by Pillow, ImageMagick
// and libtiff's tiffcp are read like those tools decode them, and files we
// write decode in those tools to our pixels.

#include <gtest/gtest.h>

#include "pgraphic/core/settings.h"
#include "pgraphic/formats/tiff/tiff.h"
#include "pgraphic/formats/tiff/tiff_detail.h"
#include "pgraphic/formats/tiff_builder.h"
#include "support/peer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

bool HavePeers() {
  return peer::HaveTool("tiffcp") && peer::HaveTool("tiffinfo") && peer::HaveTool("convert") &&
         peer::Python("import PIL") == 0;
}

void Sh(const std::string& command) { ASSERT_EQ(peer::Run(command), 0) << command; }

// Pillow's decoding of a frame, as RGB.
peer::RgbImage PillowRgb(const std::string& path, int frame = 0) {
  const std::string out = path + ".pillow.ppm";
  const int rc = peer::Python("from PIL import Image\nim = Image.open('" + path + "')\nim.seek(" +
                              std::to_string(frame) + ")\nim.convert('RGB').save('" + out + "')\n");
  EXPECT_EQ(rc, 0) << "Pillow could not read " << path;
  return rc == 0 ? peer::ReadPnm(out) : peer::RgbImage{};
}

// libtiff's own decoding (tiff2rgba), as RGB.
peer::RgbImage LibtiffRgb(const std::string& path) {
  const std::string rgba = path + ".rgba.tif";
  EXPECT_EQ(peer::Run("tiff2rgba '" + path + "' '" + rgba + "'"), 0) << path;
  return PillowRgb(rgba);
}

// Equal images, or the first pixel where they differ.
::testing::AssertionResult SameRgb(const peer::RgbImage& a, const peer::RgbImage& b) {
  if (a.Width != b.Width || a.Height != b.Height)
    return ::testing::AssertionFailure() << "sizes " << a.Width << "x" << a.Height << " and " << b.Width << "x"
                                         << b.Height;
  for (std::size_t i = 0; i < a.Rgb.size(); ++i)
    if (a.Rgb[i] != b.Rgb[i])
      return ::testing::AssertionFailure() << "pixel " << i / 3 << " channel " << i % 3 << ": " << int(a.Rgb[i])
                                           << " and " << int(b.Rgb[i]);
  return ::testing::AssertionSuccess();
}

// Pillow's raw samples of a CMYK file, four bytes per pixel, top row first.
Bytes PillowCmyk(const std::string& path) {
  const std::string out = path + ".cmyk";
  EXPECT_EQ(peer::Python("from PIL import Image\nim = Image.open('" + path + "')\nassert im.mode == 'CMYK'\n"
                         "open('" + out + "', 'wb').write(im.tobytes())\n"),
            0);
  return peer::ReadFile(out);
}

void ReadOurs(const std::string& path, TPixelGraphic& image, int index = 0) {
  TFileStream s(path, TFileStream::fmOpenRead);
  TTIFFileFormatReader().ReadImage(s, image, index);
}

void WriteOurs(const std::string& path, std::initializer_list<TPixelGraphic*> images) {
  TFileStream s(path, TFileStream::fmCreate);
  TTIFFileFormatWriter w;
  w.BeginFile(s);
  for (TPixelGraphic* g : images) w.AppendImage(s, *g);
  w.EndFile(s);
}

// The layouts tiffcp can give a file: byte order, compression, rows per strip.
const char* const Variants[] = {"-c none -L", "-c packbits -B", "-c packbits -r 2 -L", "-c none -r 3 -B"};

// Base files written by the peers from one pattern.
std::vector<std::string> PeerBaseFiles(const std::string& dir) {
  const std::string ppm = dir + "/pattern.ppm";
  peer::WritePpm(ppm, peer::Pattern(23, 7));
  const std::string py = "from PIL import Image\nim = Image.open('" + ppm + "')\n"
                         "im.save('" + dir + "/rgb.tif')\n"
                         "im.convert('RGBA').save('" + dir + "/rgba.tif')\n";
  EXPECT_EQ(peer::Python(py), 0);
  const std::string magick = "convert '" + ppm + "' ";
  Sh(magick + "-monochrome -depth 1 -compress none '" + dir + "/bw.tif'");
  Sh(magick + "-monochrome -depth 1 -define quantum:polarity=min-is-white -compress none '" + dir + "/bwwiz.tif'");
  Sh(magick + "-colors 16 -type palette -depth 4 -compress none '" + dir + "/pal4.tif'");
  Sh(magick + "-colorspace gray -depth 4 -compress none '" + dir + "/grey4.tif'");
  Sh(magick + "-colorspace gray -depth 8 -compress none '" + dir + "/grey.tif'");
  Sh(magick + "-colors 200 -type palette -depth 8 -compress none '" + dir + "/pal8.tif'");
  Sh(magick + "-colorspace gray -depth 8 -define quantum:polarity=min-is-white -compress none '" + dir +
     "/greywiz.tif'");
  return {"rgb", "grey", "pal8", "rgba", "bw", "bwwiz", "pal4", "grey4", "greywiz"};
}

// The reader's CMYK rule applied to raw samples, as top-down RGB.
peer::RgbImage CmykToRgb(const Bytes& cmyk, int w, int h) {
  peer::RgbImage img{w, h, {}};
  for (std::size_t i = 0; i + 3 < cmyk.size(); i += 4)
    for (int c = 0; c < 3; ++c) img.Rgb.push_back(std::uint8_t(std::max(0, 255 - cmyk[i + c] - cmyk[i + 3])));
  return img;
}

// Images of every depth and palette kind the writer distinguishes.
void MakeKind(TPixelGraphic& image, int kind, const peer::RgbImage& rgb) {
  static const TPaletteIdent idents[] = {pBlackWhite, pGray16, pSys16, pGray256, pSpecial216};
  static const TPGPixelFormat formats[] = {pgpf1Bit, pgpf4Bit, pgpf4Bit, pgpf8Bit, pgpf8Bit};
  TPixelGraphic source;
  peer::FromRgb(source, rgb);
  if (kind == 5) return peer::FromRgb(image, rgb);
  image.SetSizeAndFormat(rgb.Width, rgb.Height, formats[kind]);
  image.SetPaletteIdent(idents[kind]);
  image.Dither = false;
  image.CopyRect(0, 0, source, 0, 0, rgb.Width, rgb.Height);
  image.ClassifyPalette();
}

}  // namespace

TEST(TiffPeers, PeerFilesInEveryLayoutReadAsPeersDecodeThem) {
  if (!HavePeers()) GTEST_SKIP() << "peer tools missing";
  const std::string dir = peer::ScratchDir("tiff_peer_read");
  for (const std::string& base : PeerBaseFiles(dir))
    for (int v = 0; v < 4; ++v) {
      const std::string path = dir + "/" + base + "_" + std::to_string(v) + ".tif";
      Sh(std::string("tiffcp ") + Variants[v] + " '" + dir + "/" + base + ".tif' '" + path + "'");
      TPixelGraphic image;
      ReadOurs(path, image);
      EXPECT_TRUE(SameRgb(peer::ToRgb(image), PillowRgb(path))) << path;
    }
}

TEST(TiffPeers, GreyFileWithoutSamplesPerPixelReadsAsOneSample) {
  if (!HavePeers()) GTEST_SKIP() << "peer tools missing";
  const std::string dir = peer::ScratchDir("tiff_peer_nospp");
  const std::string path = dir + "/grey.tif";
  ASSERT_EQ(peer::Python("from PIL import Image\nImage.new('L', (4, 2), 99).save('" + path + "')\n"), 0);
  std::string tags;
  peer::Run("tiffdump '" + path + "'", &tags);
  ASSERT_EQ(tags.find("SamplesPerPixel (277)"), std::string::npos) << "Pillow now writes SamplesPerPixel";
  TPixelGraphic image;
  ReadOurs(path, image);
  EXPECT_EQ(image.PixelFormat(), pgpf8Bit);
  EXPECT_TRUE(SameRgb(peer::ToRgb(image), PillowRgb(path)));
  EXPECT_EQ(image.GetPixelColor(3, 1), Grey(99));
}

TEST(TiffPeers, PeerCmykSamplesGoThroughTheSubtractiveRule) {
  if (!HavePeers()) GTEST_SKIP() << "peer tools missing";
  const std::string dir = peer::ScratchDir("tiff_peer_cmyk");
  const std::string ppm = dir + "/pattern.ppm";
  peer::WritePpm(ppm, peer::Pattern(13, 5));
  ASSERT_EQ(peer::Python("from PIL import Image\nImage.open('" + ppm + "').convert('CMYK').save('" + dir +
                         "/cmyk.tif')\n"),
            0);
  for (int v = 0; v < 4; ++v) {
    const std::string path = dir + "/cmyk_" + std::to_string(v) + ".tif";
    Sh(std::string("tiffcp ") + Variants[v] + " '" + dir + "/cmyk.tif' '" + path + "'");
    TPixelGraphic image;
    ReadOurs(path, image);
    EXPECT_TRUE(SameRgb(peer::ToRgb(image), CmykToRgb(PillowCmyk(path), 13, 5))) << path;
  }
}

TEST(TiffPeers, OurFilesDecodeInPeersToOurPixels) {
  if (!HavePeers()) GTEST_SKIP() << "peer tools missing";
  tifftest::TSettingsGuard guard;
  const std::string dir = peer::ScratchDir("tiff_peer_write");
  const peer::RgbImage rgb = peer::Pattern(29, 6);
  for (int kind = 0; kind < 6; ++kind)
    for (int setting = 0; setting < 4; ++setting) {
      PGSettings().TiffCompression = setting & 1 ? tiff::compPackBits : tiff::compNone;
      PGSettings().TiffBigEndian = setting & 1;
      PGSettings().TiffWhiteIsZero = setting & 2;
      TPixelGraphic image;
      MakeKind(image, kind, rgb);
      const std::string path = dir + "/k" + std::to_string(kind) + "_" + std::to_string(setting) + ".tif";
      WriteOurs(path, {&image});
      const peer::RgbImage ours = peer::ToRgb(image);
      EXPECT_TRUE(SameRgb(PillowRgb(path), ours)) << path;
      EXPECT_TRUE(SameRgb(LibtiffRgb(path), ours)) << path;
    }
}

TEST(TiffPeers, OurCmykAndMultiImageFilesInPeers) {
  if (!HavePeers()) GTEST_SKIP() << "peer tools missing";
  tifftest::TSettingsGuard guard;
  const std::string dir = peer::ScratchDir("tiff_peer_multi");
  PGSettings().TiffWriteCMYK = true;
  PGSettings().TiffCompression = tiff::compPackBits;
  TPixelGraphic first, second;
  peer::FromRgb(first, peer::Pattern(17, 4));
  MakeKind(second, 2, peer::Pattern(6, 9));
  const std::string path = dir + "/two.tif";
  WriteOurs(path, {&first, &second});

  EXPECT_TRUE(SameRgb(CmykToRgb(PillowCmyk(path), 17, 4), peer::ToRgb(first)));
  EXPECT_TRUE(SameRgb(PillowRgb(path, 1), peer::ToRgb(second)));
  std::string listing;
  ASSERT_EQ(peer::Run("tiffinfo '" + path + "'", &listing), 0);
  std::size_t directories = 0;
  for (std::size_t at = 0; (at = listing.find("TIFF Directory at offset", at)) != std::string::npos; ++at)
    ++directories;
  EXPECT_EQ(directories, 2u);
}

namespace {

// ImageMagick's decoding at 16 bits a sample, each rounded to 8 bits as
// the reader rounds (ImageMagick's own 8-bit output truncates).
peer::RgbImage MagickRounded(const std::string& path, int width, int height) {
  const std::string raw = path + ".rgb16";
  EXPECT_EQ(peer::Run("convert '" + path + "' -alpha off -depth 16 -endian MSB rgb:'" + raw + "'"), 0) << path;
  const Bytes wide = peer::ReadFile(raw);
  peer::RgbImage img{width, height, {}};
  for (std::size_t i = 0; i + 1 < wide.size(); i += 2) img.Rgb.push_back(std::uint8_t(((wide[i] << 8 | wide[i + 1]) + 128) / 257));
  return img;
}

int MaxDifference(const peer::RgbImage& a, const peer::RgbImage& b) {
  if (a.Rgb.size() != b.Rgb.size()) return 256;
  int most = 0;
  for (std::size_t i = 0; i < a.Rgb.size(); ++i) most = std::max(most, std::abs(int(a.Rgb[i]) - int(b.Rgb[i])));
  return most;
}

}  // namespace

// Files as image editors write them: LZW and Deflate with the horizontal
// predictor, tiles, planes of their own, 8 and 16 bits a sample, grey and
// colour. Each reads as ImageMagick decodes it; alpha lies on the image's
// background as ImageMagick flattens it, within its rounding.
TEST(TiffPeers, EditorLayoutsReadAsMagickDecodesThem) {
  if (!HavePeers()) GTEST_SKIP() << "peer tools missing";
  const std::string dir = peer::ScratchDir("tiff_peer_layouts");
  const std::string source = dir + "/source.ppm";
  Sh("convert -size 37x21 gradient:'#e03010-#1040c9' -depth 16 '" + source + "'");
  int files = 0;
  for (const char* compression : {"LZW -define tiff:predictor=2", "Zip -define tiff:predictor=2", "LZW"})
    for (const char* layout : {"", "-define tiff:tile-geometry=16x16", "-interlace plane",
                               "-interlace plane -define tiff:tile-geometry=32x16"})
      for (const char* colour : {"", "-colorspace gray"})
        for (const char* depth : {"8", "16"}) {
          const std::string path = dir + "/f" + std::to_string(files++) + ".tif";
          Sh("convert '" + source + "' " + colour + " -depth " + depth + " -compress " + compression + " " + layout +
             " '" + path + "'");
          TPixelGraphic image;
          ReadOurs(path, image);
          EXPECT_TRUE(SameRgb(peer::ToRgb(image), MagickRounded(path, 37, 21))) << compression << layout << colour << depth;
        }
  TPGLibrarySettings laying = PGSettings();
  laying.KeepAlpha = false;
  const TPGThreadSettings scope(laying);
  for (const char* alpha : {"", "-define tiff:alpha=associated"})
    for (const char* colour : {"", "-colorspace gray"})
      for (const char* depth : {"8", "16"}) {
        const std::string path = dir + "/a" + std::to_string(files++) + ".tif";
        Sh("convert '" + source + "' " + colour + " -alpha on -channel A -fx 'i/w' +channel -depth " + depth + " " +
           alpha + " -compress Zip '" + path + "'");
        TPixelGraphic image;
        image.SetBackGroundColor(RGBColor(0, 0, 0));
        ReadOurs(path, image);
        const std::string flat = path + ".ppm";
        Sh("convert '" + path + "' -background black -flatten -depth 8 '" + flat + "'");
        EXPECT_LE(MaxDifference(peer::ToRgb(image), peer::ReadPnm(flat)), std::stoi(depth) / 8) << alpha << colour << depth;
      }
}
