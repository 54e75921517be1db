#include "pgraphic/formats/pnm.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/peer.h"
#include "support/raised.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }

void Read(const Bytes& data, TPixelGraphic& image, int index = 0) {
  TMemoryStream s(data);
  TPBMFileFormatReader().ReadImage(s, image, index);
}

std::string ReadError(const Bytes& data, int index = 0) {
  return support::ReadError<TPBMFileFormatReader, EPGPxMFileFormatReader>(data, index);
}

Bytes Memory(TPixelGraphic& g) { return Bytes(g.Bits(), g.Bits() + g.ImageSize()); }

std::unique_ptr<TPXMFileFormatWriter> WriterFor(TPGPixelFormat format) {
  if (format == pgpf1Bit) return std::make_unique<TPBMFileFormatWriter>();
  if (format == pgpf8Bit) return std::make_unique<TPGMFileFormatWriter>();
  return std::make_unique<TPPMFileFormatWriter>();
}

std::string Written(TPXMFileFormatWriter& w, TPixelGraphic& image, bool binary) {
  PGSettings().PxmBinary = binary;
  TMemoryStream s;
  w.Write(s, image);
  PGSettings().PxmBinary = false;
  return std::string(s.Bytes().begin(), s.Bytes().end());
}

// A 3 x 2 image of each kind: 24-bit colours, 256 greys, black and white.
void Make(TPixelGraphic& g, TPGPixelFormat format) {
  g.SetSizeAndFormat(3, 2, format);
  if (format == pgpf8Bit) g.SetPaletteIdent(pGray256);
  if (format == pgpf1Bit) g.SetPaletteIdent(pBlackWhite);
  const TRGB colors[6] = {RGBColor(255, 0, 0), RGBColor(0, 128, 0),     RGBColor(1, 2, 3),
                          RGBColor(0, 0, 0),   RGBColor(255, 255, 255), RGBColor(10, 20, 30)};
  for (int i = 0; i < 6; ++i)
    g.SetPixel(i % 3, i / 3,
               format == pgpf24Bit ? colors[i] : (i * 85) % 256 % (format == pgpf1Bit ? 2 : 256));
}

}  // namespace

TEST(PnmReader, SignaturesAndFields) {
  TPBMFileFormatReader pbm;
  TPGMFileFormatReader pgm;
  TPPMFileFormatReader ppm;
  EXPECT_EQ(pbm.Description, "Portable Bitmap");
  EXPECT_EQ(pgm.Description, "Portable Graymap");
  EXPECT_EQ(ppm.Description, "Portable Pixelmap");
  const std::string magic[6] = {"P1", "P2", "P3", "P4", "P5", "P6"};
  for (int i = 0; i < 6; ++i) {
    const auto* h = reinterpret_cast<const std::uint8_t*>(magic[i].data());
    EXPECT_EQ(pbm.CheckSignature(h, 2), i % 3 == 0) << magic[i];
    EXPECT_EQ(pgm.CheckSignature(h, 2), i % 3 == 1) << magic[i];
    EXPECT_EQ(ppm.CheckSignature(h, 2), i % 3 == 2) << magic[i];
  }
}

// Every reader reads all six forms; the same picture in each form gives the
// same pixel memory.
TEST(PnmReader, AsciiAndBinaryFormsAgree) {
  const std::string pairs[3][2] = {
      {"P1\n# c\n10 2\n1 0 1 0 1 0 1 0 1 1\n0000000001\n",
       std::string("P4\n10 2\n") + std::string("\xAA\xC0\x00\x40", 4)},
      {"P2\n3 # width\n2\n# max\n100\n0 50 100\n100 0 7\n",
       std::string("P5 3 2 100\n") + std::string("\x00\x32\x64\x64\x00\x07", 6)},
      {"P3 2 1 255 255 0 0 1 2 3",
       std::string("P6\n2 1\n255\n") + std::string("\xFF\x00\x00\x01\x02\x03", 6)},
  };
  for (const auto& p : pairs) {
    TPixelGraphic a, b;
    Read(B(p[0]), a);
    Read(B(p[1]), b);
    EXPECT_EQ(Memory(a), Memory(b)) << p[0];
  }
  TPixelGraphic bw, grey, rgb;
  Read(B(pairs[0][0]), bw);
  EXPECT_EQ(bw.PaletteIdent(), pBlackWhite);
  EXPECT_EQ(Memory(bw), (Bytes{0xFF, 0x80, 0, 0, 0x55, 0x00, 0, 0}));
  Read(B(pairs[1][0]), grey);
  EXPECT_EQ(grey.PaletteIdent(), pGray256);
  EXPECT_EQ(Memory(grey), (Bytes{255, 0, 17, 0, 0, 127, 255, 0}));
  Read(B(pairs[2][1]), rgb);
  EXPECT_EQ(Memory(rgb), (Bytes{0, 0, 255, 3, 2, 1, 0, 0}));
}

TEST(PnmReader, WideAsciiMaximumScales) {
  TPixelGraphic g;
  Read(B("P2 2 1 65535 65535 32768"), g);
  EXPECT_EQ(g.GetPixel(0, 0), 255u);
  EXPECT_EQ(g.GetPixel(1, 0), 127u);
}

TEST(PnmReader, RefusesBadFiles) {
  EXPECT_EQ(ReadError(B("P5 1 1 255 x"), 1), "PxM: Index invalid");
  EXPECT_EQ(ReadError(B("X5 1 1 255 x")), "PBM, PGM, PPM: Not a PBM, PGM, PPM file");
  EXPECT_EQ(ReadError(B("P7 1 1 255 x")), "PBM, PGM, PPM: Unknown subformat");
  EXPECT_EQ(ReadError(B("P5 1 1 256 xx")), "PBM, PGM, PPM: Not supported subformat");
  EXPECT_EQ(ReadError(B("P2 0 1 255 1")), "PBM, PGM, PPM: Not supported subformat");
  EXPECT_EQ(ReadError(B("P2 1 1 0 0")), "PBM, PGM, PPM: MaxValue invalid");
  EXPECT_EQ(ReadError(B("P6 -5 10 255 ")), "PBM, PGM, PPM: negative size invalid");
  EXPECT_EQ(ReadError(B("P2 2 1 10 5 11")), "PBM, PGM, PPM: Sample value invalid");
  EXPECT_EQ(ReadError(B("P5 1 1 10 \x0B")), "PBM, PGM, PPM: Sample value invalid");
  EXPECT_EQ(ReadError(B("P6 2 2 255 abc")), "PBM, PGM, PPM: Unexpected end of file");
  EXPECT_EQ(ReadError(B("P3 2 2 255 1 2 3")), "PBM, PGM, PPM: Unexpected end of file");
  EXPECT_EQ(ReadError(B("P6 99999999999999 99999999999 255 ")),
            "PBM, PGM, PPM: Invalid size of image");
  EXPECT_EQ(ReadError({}), "PBM, PGM, PPM: Unexpected end of file");
}

TEST(PnmReader, InfoTexts) {
  const struct {
    const char* data;
    const char* sub;
    int bits;
    const char* colors;
  } cases[] = {{"P1 7 5", "ASCII", 1, "2"},
               {"P5\n# c\n7 5 255", "Binary", 8, "256"},
               {"P6 7 5 255", "Binary", 24, "16.7M"}};
  for (const auto& c : cases) {
    TMemoryStream s(B(c.data));
    TFileInfo info;
    TPGMFileFormatReader().ReadInfo(s, 0, info);
    EXPECT_EQ(info.SubformatText, c.sub);
    EXPECT_EQ(info.BitsPerPixel, c.bits);
    EXPECT_EQ(info.ColorCountText, c.colors);
    EXPECT_EQ(info.Width, 7);
    EXPECT_EQ(info.Height, 5);
  }
  TMemoryStream s(B("P6 7 5 255"));
  TFileInfo info;
  try {
    TPPMFileFormatReader().ReadInfo(s, 2, info);
    ADD_FAILURE();
  } catch (const EPGPxMFileFormatReader& e) {
    EXPECT_STREQ(e.what(), "PBM, PGM, PPM: Invalid value for Index");
  }
}

TEST(PnmWriter, ExactAsciiAndBinaryBytes) {
  TPixelGraphic bw, grey, rgb;
  Make(bw, pgpf1Bit);
  Make(grey, pgpf8Bit);
  Make(rgb, pgpf24Bit);
  TPBMFileFormatWriter pbm;
  TPGMFileFormatWriter pgm;
  TPPMFileFormatWriter ppm;
  EXPECT_EQ(Written(pbm, bw, false), "P1\n3 2\n1 0 1\n0 1 0\n");
  EXPECT_EQ(Written(pbm, bw, true), std::string("P4\n3 2\n\xA0\x40"));
  EXPECT_EQ(Written(pgm, grey, false), "P2\n3 2\n255\n0 85 170\n255 84 169\n");
  EXPECT_EQ(Written(pgm, grey, true),
            std::string("P5\n3 2\n255\n") + std::string("\x00\x55\xAA\xFF\x54\xA9", 6));
  EXPECT_EQ(Written(ppm, rgb, false),
            "P3\n3 2\n255\n255 0 0 0 128 0 1 2 3\n0 0 0 255 255 255 10 20 30\n");
  EXPECT_EQ(Written(ppm, rgb, true).substr(11, 6), std::string("\xFF\x00\x00\x00\x80\x00", 6));
}

TEST(PnmWriter, RefusesWhatItCannotWrite) {
  TPixelGraphic rgb, empty;
  Make(rgb, pgpf24Bit);
  const auto error = [](TPXMFileFormatWriter& w, TPixelGraphic& g) -> std::string {
    TMemoryStream s;
    try {
      w.Write(s, g);
    } catch (const EPGPxMFileFormatWriter& e) {
      EXPECT_EQ(s.Size(), 0);
      return e.what();
    }
    return "no error";
  };
  EXPECT_EQ(error(*WriterFor(pgpf8Bit), rgb), "PGM: Invalid color resolution");
  EXPECT_EQ(error(*WriterFor(pgpf1Bit), rgb), "PBM: Invalid color resolution");
  EXPECT_EQ(error(*WriterFor(pgpf24Bit), empty), "PBM, PGM, PPM: Width = 0 or Height = 0");
  TPPMFileFormatWriter odd;
  odd.Extension = "pnm";
  EXPECT_EQ(error(odd, rgb), "PBM, PGM, PPM: Unknown file extension \"pnm\"");
}

// Our files in both forms read back identically, and netpbm reads them as we
// wrote them; files that ImageMagick and netpbm write read as they decode them.
TEST(PnmWriter, RoundTripsAndPeers) {
  const std::string dir = peer::ScratchDir("pnm_peer");
  for (TPGPixelFormat format : {pgpf1Bit, pgpf8Bit, pgpf24Bit}) {
    const auto writer = WriterFor(format);
    for (bool binary : {false, true}) {
      TPixelGraphic image, back;
      Make(image, format);
      const std::string path = dir + "/ours." + writer->Extension;
      peer::WriteFile(path, B(Written(*writer, image, binary)));
      Read(peer::ReadFile(path), back);
      EXPECT_EQ(Memory(back), Memory(image));
      peer::Run("(ppmtoppm < " + path + " > " + dir + "/n.ppm)");
      EXPECT_EQ(peer::ReadPnm(dir + "/n.ppm"), peer::ToRgb(image)) << path;
    }
  }
  peer::WritePpm(dir + "/src.ppm", peer::Pattern(17, 5));
  for (const char* compress : {"-compress none ", ""}) {
    for (const char* ext : {"pbm", "pgm", "ppm"}) {
      const std::string path = dir + "/m." + ext;
      ASSERT_EQ(peer::Run("convert " + dir + "/src.ppm " + compress + path), 0);
      TPixelGraphic image;
      Read(peer::ReadFile(path), image);
      EXPECT_EQ(peer::ToRgb(image), peer::DecodeWithMagick(path)) << compress << ext;
    }
  }
  peer::Run("(ppmtopgm " + dir + "/src.ppm | pgmtopbm -threshold | pnmtoplainpnm > " + dir +
            "/plain.pbm)");
  TPixelGraphic plain;
  Read(peer::ReadFile(dir + "/plain.pbm"), plain);
  EXPECT_EQ(peer::ToRgb(plain), peer::DecodeWithMagick(dir + "/plain.pbm"));
}

// The signature picks the reader whatever the name says, and saving converts
// to what the writer holds.
TEST(PnmReader, ThroughTheRegistry) {
  TPixelGraphic image;
  TMemoryStream ppm(B("P6 1 1 255 \x01\x02\x03"));
  image.LoadFromStreamExt(ppm, "pbm", 0);
  EXPECT_EQ(image.PixelFormat(), pgpf24Bit);
  EXPECT_EQ(image.GetPixel(0, 0), RGBColor(1, 2, 3));

  image.SaveColorResWarningAction = pgwaIgnore;
  TMemoryStream out;
  image.SaveToStreamExt(out, "pgm");
  out.SetPosition(0);
  TPixelGraphic back;
  back.LoadFromStreamExt(out, "", 0);
  EXPECT_EQ(back.PixelFormat(), pgpf8Bit);
  EXPECT_EQ(back.PaletteIdent(), pGray256);
}
