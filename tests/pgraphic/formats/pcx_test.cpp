#include "pgraphic/formats/pcx.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/peer.h"
#include "support/raised.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Header(int version, int bits, int planes, int width, int height, int bpl, int palInfo = 1) {
  Bytes h(128, 0);
  h[0] = 10;
  h[1] = std::uint8_t(version);
  h[2] = 1;
  h[3] = std::uint8_t(bits);
  auto put16 = [&](int at, int v) {
    h[at] = std::uint8_t(v);
    h[at + 1] = std::uint8_t(v >> 8);
  };
  put16(8, width - 1);
  put16(10, height - 1);
  for (int i = 0; i < 48; ++i) h[16 + i] = std::uint8_t(i * 5);
  h[65] = std::uint8_t(planes);
  put16(66, bpl);
  put16(68, palInfo);
  return h;
}

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

void Read(const Bytes& data, TPixelGraphic& image, int index = 0) {
  TMemoryStream s(data);
  TPCXFileFormatReader().ReadImage(s, image, index);
}

std::string ReadError(const Bytes& data, int index = 0) {
  return support::ReadError<TPCXFileFormatReader, EPGPCXFileFormatReader>(data, index);
}

Bytes Memory(TPixelGraphic& g) { return Bytes(g.Bits(), g.Bits() + g.ImageSize()); }

}  // namespace

TEST(PcxReader, FieldsAndSignature) {
  TPCXFileFormatReader r;
  EXPECT_EQ(r.Extension, "pcx");
  EXPECT_EQ(r.Description, "Paintbrush");
  EXPECT_TRUE(r.HasSignature);
  const std::uint8_t good[] = {10, 5}, bad[] = {11, 5};
  EXPECT_TRUE(r.CheckSignature(good, 2));
  EXPECT_FALSE(r.CheckSignature(bad, 2));
}

TEST(PcxReader, RunAcrossScanLineEndDoesNotShiftNextLine) {
  // 2 x 2, 3 planes of 2 bytes: the run of three 60s in row 0 has one byte
  // left in its line; the rest is dropped.
  TPixelGraphic image, expected;
  Read(Concat(Header(5, 8, 3, 2, 2, 2), {10, 20, 30, 40, 50, 0xC3, 60, 1, 2, 3, 4, 5, 6}), image);
  expected.SetSizeAndFormat(2, 2, pgpf24Bit);
  expected.SetPixel(0, 0, RGBColor(10, 30, 50));
  expected.SetPixel(1, 0, RGBColor(20, 40, 60));
  expected.SetPixel(0, 1, RGBColor(1, 3, 5));
  expected.SetPixel(1, 1, RGBColor(2, 4, 6));
  EXPECT_EQ(Memory(image), Memory(expected));
}

TEST(PcxReader, SixteenColourPlanesAndPalettes) {
  // Pixels 5, 10, 15 spread over four bit planes.
  const Bytes data = {0xA0, 0x60, 0xA0, 0x60};
  for (int version : {3, 5}) {
    TPixelGraphic image;
    Read(Concat(Header(version, 1, 4, 3, 1, 1), data), image);
    ASSERT_EQ(image.PixelFormat(), pgpf4Bit);
    EXPECT_EQ(image.GetPixel(0, 0), 5u);
    EXPECT_EQ(image.GetPixel(1, 0), 10u);
    EXPECT_EQ(image.GetPixel(2, 0), 15u);
    ASSERT_EQ(image.PaletteCount(), 16);
    const TRGB headerEntry = RGBColor(15 * 5, 16 * 5, 17 * 5);
    EXPECT_EQ(image.GetPaletteEntry(5), version == 3 ? Sys16Colors[5] : headerEntry);
  }
}

TEST(PcxReader, MonoClearsBitsBeyondWidth) {
  TPixelGraphic image;
  Read(Concat(Header(5, 1, 1, 10, 1, 2), {0xC2, 0xFF}), image);
  EXPECT_EQ(image.PaletteEntries(),
            (std::vector<TRGB>{RGBColor(0, 0, 0), RGBColor(255, 255, 255)}));
  EXPECT_EQ(Memory(image), (Bytes{0xFF, 0xC0, 0, 0}));
}

TEST(PcxReader, EightBitPaletteAtEndAndMissingMarker) {
  Bytes palette(769);
  palette[0] = 12;
  for (int i = 0; i < 256; ++i)
    palette[1 + 3 * i] = std::uint8_t(i), palette[2 + 3 * i] = std::uint8_t(255 - i);
  TPixelGraphic image;
  Read(Concat(Concat(Header(5, 8, 1, 2, 1, 2), {7, 9}), palette), image);
  EXPECT_EQ(image.GetPixelColor(0, 0), RGBColor(7, 248, 0));
  EXPECT_EQ(image.GetPixelColor(1, 0), RGBColor(9, 246, 0));

  palette[0] = 13;
  TMemoryStream s(Concat(Concat(Header(5, 8, 1, 2, 1, 2), {7, 9}), palette));
  EXPECT_THROW(TPCXFileFormatReader().ReadImage(s, image, 0), EPGPCXFileFormatReader);
  EXPECT_EQ(s.Position(), 128);
}

TEST(PcxReader, RefusesBadHeadersAndData) {
  EXPECT_EQ(ReadError(Header(5, 8, 3, 2, 2, 2), 1), "PCX: Index invalid");
  EXPECT_EQ(ReadError(Header(5, 8, 1, 2, 1, 2, 2)), "PCX: Unknown subformat");
  EXPECT_EQ(ReadError(Header(5, 2, 1, 2, 1, 2)), "PCX: Unknown subformat");
  Bytes reserved = Header(5, 8, 3, 2, 1, 2);
  reserved[64] = 1;
  EXPECT_EQ(ReadError(reserved), "PCX: Unknown subformat");
  EXPECT_EQ(ReadError(Header(5, 8, 3, 20, 1, 10)), "PCX: BytesPerLine invalid");
  EXPECT_EQ(ReadError(Concat(Header(5, 8, 3, 2, 2, 2), {1, 2, 3})), "PCX: Unexpected end of file");
  EXPECT_EQ(ReadError(Concat(Header(5, 8, 3, 2, 1, 2), {1, 0xC5})), "PCX: Unexpected end of file");
  EXPECT_EQ(ReadError(Header(5, 8, 3, 65536, 65536, 65535)), "PCX: Invalid size of image");
  EXPECT_EQ(ReadError(Bytes(60, 10)), "PCX: Unexpected end of file");
}

TEST(PcxReader, AbortFromProgressKeepsRowsReadSoFar) {
  TPixelGraphic image;
  int starts = 0, ends = 0, rows = 0;
  image.OnProgressStart = [&](void*) { ++starts; };
  image.OnProgressEnd = [&](void*) { ++ends; };
  image.OnProgress = [&](void*, int, int max, bool& abort) {
    EXPECT_EQ(max, 3);
    abort = ++rows == 1;
  };
  Read(Concat(Header(5, 8, 3, 1, 3, 1), {1, 2, 3}), image);
  EXPECT_EQ(rows, 1);
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(image.GetPixel(0, 0), RGBColor(1, 2, 3));
  EXPECT_EQ(image.GetPixel(0, 1), 0u);
}

TEST(PcxReader, InfoTexts) {
  const struct {
    int version, bits, planes;
    const char* subformat;
    const char* colors;
    int bpp;
  } cases[] = {
      {0, 1, 1, "Version 2.5 (0)", "2", 1},
      {2, 1, 4, "Version 2.8 (2) with Palette", "16", 4},
      {3, 8, 1, "Version 2.8 (3) without Palette", "256", 8},
      {5, 8, 3, "Version 3.0 (5)", "16.7M", 24},
      {4, 8, 3, "", "16.7M", 24},
  };
  for (const auto& c : cases) {
    TMemoryStream s(Header(c.version, c.bits, c.planes, 30, 20, 30));
    TFileInfo info;
    TPCXFileFormatReader().ReadInfo(s, 0, info);
    EXPECT_EQ(info.SubformatText, c.subformat);
    EXPECT_EQ(info.ColorCountText, c.colors);
    EXPECT_EQ(info.BitsPerPixel, c.bpp);
    EXPECT_EQ(info.Width, 30);
    EXPECT_EQ(info.Height, 20);
  }
  TMemoryStream s(Header(5, 8, 3, 2, 2, 2));
  TFileInfo info;
  EXPECT_THROW(TPCXFileFormatReader().ReadInfo(s, 1, info), EPGPCXFileFormatReader);
}

// Files written by netpbm and Pillow decode to what their own readers see.
TEST(PcxReader, MatchesPeerFiles) {
  const std::string dir = peer::ScratchDir("pcx_peer");
  const std::string src = dir + "/src.ppm";
  peer::WritePpm(src, peer::Pattern(13, 7));
  std::vector<std::string> files;
  if (peer::HaveTool("ppmtopcx")) {
    peer::Run("(pnmquant 12 " + src + " 2>/dev/null | ppmtopcx > " + dir + "/n16.pcx)");
    peer::Run("(ppmtopcx -8bit " + src + " > " + dir + "/n8.pcx)");
    peer::Run("(ppmtopcx -24bit " + src + " > " + dir + "/n24.pcx)");
    for (const char* n : {"n16", "n8", "n24"})
      peer::Run("(pcxtoppm " + dir + "/" + n + ".pcx > " + dir + "/" + n + ".ppm)");
    files.insert(files.end(), {"n16", "n8", "n24"});
  }
  const int rc = peer::Python("from PIL import Image\nim = Image.open('" + src + "')\n" +
                              "for m in ('1', 'L', 'P', 'RGB'):\n"
                              "    f = '" +
                              dir +
                              "/p' + m\n"
                              "    im.convert(m).save(f + '.pcx')\n"
                              "    Image.open(f + '.pcx').convert('RGB').save(f + '.ppm')\n");
  if (rc == 0) files.insert(files.end(), {"p1", "pL", "pP", "pRGB"});
  ASSERT_FALSE(files.empty());
  for (const std::string& name : files) {
    SCOPED_TRACE(name);
    TPixelGraphic image;
    TFileStream s(dir + "/" + name + ".pcx", TFileStream::fmOpenRead);
    TPCXFileFormatReader().ReadImage(s, image, 0);
    EXPECT_EQ(peer::ToRgb(image), peer::ReadPnm(dir + "/" + name + ".ppm"));
  }
}
