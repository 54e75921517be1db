#include "pgraphic/formats/tga.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/peer.h"
#include "support/raised.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Tga {
  int IdLength = 0, MapType = 0, Type = 2, MapFirst = 0, MapLength = 0, MapBits = 0;
  int Width = 2, Height = 2, Depth = 24, Descriptor = 0;
  Bytes Build(const Bytes& rest) const {
    const int fields[18] = {
        IdLength, MapType,   Type, MapFirst, MapFirst >> 8, MapLength,  MapLength >> 8, MapBits,
        0,        0,         0,    0,        Width,         Width >> 8, Height,         Height >> 8,
        Depth,    Descriptor};
    Bytes out;
    out.reserve(18 + rest.size());
    for (int f : fields) out.push_back(std::uint8_t(f));
    for (std::uint8_t b : rest) out.push_back(b);
    return out;
  }
};

void Read(const Bytes& data, TPixelGraphic& image, int index = 0) {
  TMemoryStream s(data);
  TTGAFileFormatReader().ReadImage(s, image, index);
}

std::string ReadError(const Bytes& data, int index = 0) {
  return support::ReadError<TTGAFileFormatReader, EPGTGAFileFormatReader>(data, index);
}

Bytes Memory(TPixelGraphic& g) { return Bytes(g.Bits(), g.Bits() + g.ImageSize()); }

// Pixels of a 2 x 2 picture as stored bottom-left first, blue-green-red.
const Bytes kBottomLeft = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};

}  // namespace

TEST(TgaReader, FourOriginsGiveTheSameImage) {
  TPixelGraphic base;
  Read(Tga{}.Build(kBottomLeft), base);
  EXPECT_EQ(base.GetPixel(0, 1), RGBColor(3, 2, 1));
  EXPECT_EQ(base.GetPixel(1, 0), RGBColor(12, 11, 10));
  // The same picture stored top-left, bottom-right and top-right.
  const Bytes topLeft = {7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6};
  const Bytes bottomRight = {4, 5, 6, 1, 2, 3, 10, 11, 12, 7, 8, 9};
  const Bytes topRight = {10, 11, 12, 7, 8, 9, 4, 5, 6, 1, 2, 3};
  const std::pair<int, Bytes> variants[] = {{0x20, topLeft}, {0x10, bottomRight}, {0x30, topRight}};
  for (const auto& [descriptor, data] : variants) {
    Tga t;
    t.Descriptor = descriptor;
    TPixelGraphic image;
    Read(t.Build(data), image);
    EXPECT_EQ(Memory(image), Memory(base)) << descriptor;
  }
}

TEST(TgaReader, SixteenAndThirtyTwoBitPixels) {
  Tga t;
  t.Depth = 16;
  t.Width = 1;
  t.Height = 1;
  TPixelGraphic image;
  Read(t.Build({0x41, 0x7C}), image);  // red 31, green 2, blue 1
  EXPECT_EQ(image.PixelFormat(), pgpf24Bit);
  EXPECT_EQ(image.GetPixel(0, 0), RGBColor(248, 16, 8));
  t.Depth = 32;
  Read(t.Build({1, 2, 3, 99}), image);
  EXPECT_EQ(image.GetPixel(0, 0), RGBColor(3, 2, 1));
}

TEST(TgaReader, ColourMapsAndGrey) {
  Tga t;
  t.MapType = 1, t.Type = 1, t.MapLength = 3, t.MapBits = 16, t.Depth = 8, t.Width = 3,
  t.Height = 1;
  t.IdLength = 2;
  TPixelGraphic image;
  Read(t.Build({'i', 'd', 0x1F, 0, 0xE0, 0x03, 0x00, 0x7C, 2, 1, 0}), image);
  EXPECT_EQ(image.PaletteEntries(),
            (std::vector<TRGB>{RGBColor(0, 0, 248), RGBColor(0, 248, 0), RGBColor(248, 0, 0)}));
  EXPECT_EQ(Memory(image), (Bytes{2, 1, 0, 0}));
  // The first entry counts from the start of the stored map.
  t.IdLength = 0, t.MapFirst = 1, t.MapBits = 24;
  Read(t.Build({0, 0, 0, 1, 2, 3, 4, 5, 6, 1, 0, 1}), image);
  EXPECT_EQ(image.PaletteEntries(), (std::vector<TRGB>{RGBColor(3, 2, 1), RGBColor(6, 5, 4)}));
  Tga grey;
  grey.Type = 3, grey.Depth = 8, grey.Width = 1, grey.Height = 1;
  Read(grey.Build({77}), image);
  EXPECT_EQ(image.PaletteIdent(), pGray256);
  EXPECT_EQ(image.GetPixelColor(0, 0), Grey(77));
}

TEST(TgaReader, RunLengthPacketsMayCrossRows) {
  Tga t;
  t.Type = 10;
  TPixelGraphic image;
  // A literal packet of three pixels fills the first row and starts the
  // second; a run of one pixel ends it.
  Read(t.Build({0x02, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x80, 10, 11, 12}), image);
  TPixelGraphic plain;
  Read(Tga{}.Build(kBottomLeft), plain);
  EXPECT_EQ(Memory(image), Memory(plain));
}

TEST(TgaReader, RefusesBadFiles) {
  Tga t;
  EXPECT_EQ(ReadError(t.Build(kBottomLeft), 1), "TGA: Index invalid");
  EXPECT_EQ(ReadError(Bytes(10, 0)), "TGA: Unexpected end of file");
  t.Depth = 15;
  EXPECT_EQ(ReadError(t.Build(kBottomLeft)), "TGA: Not supported subformat");
  Tga mapped;
  mapped.MapType = 1, mapped.Type = 1, mapped.MapLength = 2, mapped.MapBits = 15, mapped.Depth = 8;
  EXPECT_EQ(ReadError(mapped.Build({0, 0, 0, 0, 0, 0, 0, 0})), "TGA: Not supported subformat");
  mapped.MapBits = 24;
  EXPECT_EQ(ReadError(mapped.Build({1, 2, 3})), "TGA: Unexpected end of file");
  EXPECT_EQ(ReadError(mapped.Build({1, 2, 3, 4, 5, 6, 0, 1, 2, 0})), "TGA: Palette index invalid");
  mapped.MapFirst = 3;
  EXPECT_EQ(ReadError(mapped.Build({1, 2, 3, 4, 5, 6, 0, 0, 0, 0})), "TGA: ColorMap invalid");
  Tga rle;
  rle.Type = 10;
  EXPECT_EQ(ReadError(rle.Build({0x83, 1, 2})), "TGA: Unexpected end of file");
  rle.Width = rle.Height = 65535;
  EXPECT_EQ(ReadError(rle.Build({})), "TGA: Invalid size of image");
  TPixelGraphic image;
  EXPECT_THROW(Read(Tga{}.Build({1, 2, 3}), image), EStreamError);
}

TEST(TgaReader, InfoTexts) {
  const struct {
    int type, depth;
    const char* sub;
    const char* extra;
    const char* colors;
  } cases[] = {
      {1, 8, "Uncompressed", "Color-mapped", "256"},
      {2, 16, "Uncompressed", "True-color", "65536"},
      {3, 8, "Uncompressed", "\"Black-and-white\"", "256"},
      {9, 8, "Run-length encoded", "Color-mapped", "256"},
      {10, 24, "Run-length encoded", "True-color", "16.7M"},
      {11, 32, "Run-length encoded", "\"Black-and-white\"", "16.7M ?"},
  };
  for (const auto& c : cases) {
    Tga t;
    t.Type = c.type, t.Depth = c.depth, t.Width = 300, t.Height = 200;
    TMemoryStream s(t.Build({}));
    TFileInfo info;
    TTGAFileFormatReader().ReadInfo(s, 0, info);
    EXPECT_EQ(info.SubformatText, c.sub);
    EXPECT_EQ(info.ExtraText, c.extra);
    EXPECT_EQ(info.ColorCountText, c.colors);
    EXPECT_EQ(info.BitsPerPixel, c.depth);
    EXPECT_EQ(info.Width, 300);
    EXPECT_EQ(info.Height, 200);
  }
  Tga t;
  t.Type = 4;
  TMemoryStream s(t.Build({}));
  TFileInfo info;
  try {
    TTGAFileFormatReader().ReadInfo(s, 0, info);
    ADD_FAILURE();
  } catch (const EPGTGAFileFormatReader& e) {
    EXPECT_STREQ(e.what(), "TGA: Invalid value for ImageType");
  }
}

TEST(TgaWriter, ExactBytesAndRefusals) {
  TPixelGraphic rgb;
  Read(Tga{}.Build(kBottomLeft), rgb);
  TMemoryStream s;
  TTGAFileFormatWriter().Write(s, rgb);
  EXPECT_EQ(s.Bytes(), Tga{}.Build(kBottomLeft));

  TPixelGraphic indexed;
  indexed.SetSizeAndFormat(3, 1, pgpf8Bit);
  indexed.SetPaletteCount(2);
  indexed.SetPaletteEntry(1, RGBColor(10, 20, 30));
  indexed.SetPixel(2, 0, 1);
  TMemoryStream m;
  TTGAFileFormatWriter().Write(m, indexed);
  Tga t;
  t.MapType = 1, t.Type = 1, t.MapLength = 2, t.MapBits = 24, t.Depth = 8, t.Width = 3,
  t.Height = 1;
  EXPECT_EQ(m.Bytes(), t.Build({0, 0, 0, 30, 20, 10, 0, 0, 1}));

  TPixelGraphic mono, wide;
  mono.SetSizeAndFormat(2, 2, pgpf1Bit);
  wide.SetSizeAndFormat(70000, 1, pgpf24Bit);
  TMemoryStream out;
  EXPECT_THROW(TTGAFileFormatWriter().Write(out, mono), EPixelGraphic);
  EXPECT_THROW(TTGAFileFormatWriter().Write(out, wide), EPixelGraphic);
  EXPECT_EQ(out.Size(), 0);
}

// Pillow's and ImageMagick's files (with IDs, maps, runs and both vertical
// origins) read as Pillow decodes them; our files read back in Pillow unchanged.
TEST(TgaPeers, ReadTheirsAndTheyReadOurs) {
  const std::string dir = peer::ScratchDir("tga_peer");
  peer::WritePpm(dir + "/src.ppm", peer::Pattern(19, 6));
  const int rc = peer::Python(
      "from PIL import Image\nim = Image.open('" + dir +
      "/src.ppm')\nn = 0\n"
      "for m in ('L', 'P', 'RGB', 'RGBA'):\n"
      "  for rle in (False, True):\n"
      "    for o in (-1, 1):\n"
      "      n += 1\n      f = '" +
      dir +
      "/p%d' % n\n"
      "      im.convert(m).save(f + '.tga', rle=rle, orientation=o, id_section=b'tessel')\n"
      "      Image.open(f + '.tga').convert('RGB').save(f + '.ppm')\n");
  ASSERT_EQ(rc, 0);
  std::vector<std::string> files;
  for (int n = 1; n <= 16; ++n) files.push_back(dir + "/p" + std::to_string(n));
  // ImageMagick's own reading of its files disagrees with their origin
  // field, so Pillow decodes them for comparison.
  for (const char* opt : {"", "-compress RLE ", "-colors 20 -type Palette "}) {
    const std::string f = dir + "/m" + std::to_string(files.size());
    peer::Run("convert " + dir + "/src.ppm " + opt + f + ".tga");
    peer::Python("from PIL import Image\nImage.open('" + f + ".tga').convert('RGB').save('" + f +
                 ".ppm')\n");
    files.push_back(f);
  }
  for (const std::string& f : files) {
    TPixelGraphic image;
    TFileStream s(f + ".tga", TFileStream::fmOpenRead);
    TTGAFileFormatReader().ReadImage(s, image, 0);
    EXPECT_EQ(peer::ToRgb(image), peer::ReadPnm(f + ".ppm")) << f;
    TFileStream out(f + "_ours.tga", TFileStream::fmCreate);
    TTGAFileFormatWriter().Write(out, image);
    out.Flush();
    peer::Python("from PIL import Image\nImage.open('" + f + "_ours.tga').convert('RGB').save('" +
                 f + "_back.ppm')\n");
    EXPECT_EQ(peer::ReadPnm(f + "_back.ppm"), peer::ToRgb(image)) << f;
  }
}

TEST(TgaReader, AnythingNamedTgaFailsInsideTheReader) {
  TPixelGraphic image;
  TMemoryStream s(Bytes{'h', 'e', 'l', 'l', 'o'});
  EXPECT_THROW(image.LoadFromStreamExt(s, "tga", 0), EPGTGAFileFormatReader);
}
