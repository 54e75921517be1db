#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "pgraphic/core/settings.h"
#include "pgraphic/formats/bmp.h"
#include "pgraphic/formats/bmp_fixtures.h"

using namespace bmpfix;

namespace {

std::uint32_t Le32(const Bytes& b, std::size_t at) {
  return std::uint32_t(b[at]) | (std::uint32_t(b[at + 1]) << 8) | (std::uint32_t(b[at + 2]) << 16) |
         (std::uint32_t(b[at + 3]) << 24);
}
std::uint16_t Le16(const Bytes& b, std::size_t at) { return std::uint16_t(b[at] | (b[at + 1] << 8)); }

// A palette image whose pixels walk through its palette.
void FillPaletteImage(TPixelGraphic& image, int w, int h, TPGPixelFormat format, int colors) {
  image.SetSizeAndFormat(w, h, format);
  image.SetPaletteCount(colors);
  for (int i = 0; i < colors; ++i) image.SetPaletteEntry(i, RGBColor(i * 37, 255 - i * 11, i * 5));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) image.SetPixel(x, y, std::uint32_t((x * 3 + y * 7) % colors));
  image.ClassifyPalette();
}

std::string LoadError(const Bytes& bytes) {
  return MessageOf<EPGBMPFileFormatReader>([&] {
    TPixelGraphic image;
    LoadBytes(image, bytes);
  });
}

TFileInfo InfoOf(const Bytes& bytes) {
  TMemoryStream stream(bytes);
  TFileInfo info;
  TBMPFileFormatReader().ReadInfo(stream, 0, info);
  return info;
}

}  // namespace

// ---------------------------------------------------------------- writing

TEST(BmpWriter, HeaderFieldsOf24BitImage) {
  TPixelGraphic image;
  peer::FromRgb(image, peer::Pattern(3, 2));
  const Bytes file = SaveBytes(image);
  ASSERT_EQ(file.size(), 54u + 24u);
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  EXPECT_EQ(Le32(file, 2), 78u);    // file size
  EXPECT_EQ(Le32(file, 6), 0u);     // reserved
  EXPECT_EQ(Le32(file, 10), 54u);   // pixel offset
  EXPECT_EQ(Le32(file, 14), 40u);   // header size
  EXPECT_EQ(Le32(file, 18), 3u);
  EXPECT_EQ(Le32(file, 22), 2u);    // bottom-up
  EXPECT_EQ(Le16(file, 26), 1u);
  EXPECT_EQ(Le16(file, 28), 24u);
  EXPECT_EQ(Le32(file, 30), 0u);    // no compression
  EXPECT_EQ(Le32(file, 34), 24u);   // data size
  EXPECT_EQ(Le32(file, 38), 0u);
  EXPECT_EQ(Le32(file, 42), 0u);
  EXPECT_EQ(Le32(file, 46), 0u);    // colours used
  EXPECT_EQ(Le32(file, 50), 0u);
  EXPECT_EQ(Bytes(file.begin() + 54, file.end()), PixelBytes(image));
}

TEST(BmpWriter, PaletteEntriesAndColorsUsed) {
  TPixelGraphic image;
  FillPaletteImage(image, 5, 3, pgpf4Bit, 3);
  const Bytes file = SaveBytes(image);
  ASSERT_EQ(file.size(), 54u + 12u + image.ImageSize());
  EXPECT_EQ(Le32(file, 2), file.size());
  EXPECT_EQ(Le32(file, 10), 66u);
  EXPECT_EQ(Le16(file, 28), 4u);
  EXPECT_EQ(Le32(file, 46), 3u);
  for (int i = 0; i < 3; ++i) {
    const TRGB c = image.GetPaletteEntry(i);
    EXPECT_EQ(Bytes(file.begin() + 54 + 4 * i, file.begin() + 58 + 4 * i),
              (Bytes{std::uint8_t(GetBValue(c)), std::uint8_t(GetGValue(c)), std::uint8_t(GetRValue(c)), 0}));
  }
}

TEST(BmpWriter, DibWriterWritesTheSameBytes) {
  TPixelGraphic image;
  FillPaletteImage(image, 9, 4, pgpf8Bit, 200);
  EXPECT_EQ(SaveBytes(image, "dib"), SaveBytes(image, "bmp"));
}

// A window's rows share their bytes with the source's other pixels and its
// padding; its file and a copy of it must hold the bytes of a cut copy.
// Three pixels of a four-pixel 24-bit row pad to the same 12 bytes, so the
// window's row length alone cannot tell its rows apart from packed ones.
TEST(BmpWriter, WindowsWriteAndCopyTheBytesOfACutCopy) {
  const struct {
    int SourceWidth, Left, Width;
  } cases[] = {{4, 1, 3}, {5, 0, 5}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Width << " of " << c.SourceWidth << " at " << c.Left);
    TPixelGraphic source;
    peer::FromRgb(source, peer::Pattern(c.SourceWidth, 3));
    // Padding as a file read straight into memory may leave it.
    const std::size_t used = std::size_t(c.SourceWidth) * 3;
    for (int y = 0; y < 3; ++y)
      for (std::size_t b = used; b < source.BytesPerRow(); ++b) source.ScanLine(y)[b] = 0xAB;
    TPixelGraphic window, cut, copy;
    window.ShowRowsOf(source, c.Left, 1, c.Width, 2);
    cut.SetSizeAndFormat(c.Width, 2, pgpf24Bit);
    cut.CopyRect(0, 0, source, c.Left, 1, c.Width, 2);
    EXPECT_EQ(SaveBytes(window), SaveBytes(cut));
    copy.Assign(&window);
    EXPECT_EQ(PixelBytes(copy), PixelBytes(cut));
  }
}

TEST(BmpWriter, PaletteDepthWithoutEntriesGetsAFullBlackTable) {
  TPixelGraphic image;
  image.SetSizeAndFormat(4, 2, pgpf8Bit);
  image.SetPixel(1, 1, 200);
  const Bytes file = SaveBytes(image);
  EXPECT_EQ(Le32(file, 46), 256u);
  TPixelGraphic back;
  LoadBytes(back, file);
  EXPECT_EQ(back.PaletteCount(), 256);
  EXPECT_EQ(back.GetPaletteEntry(200), 0u);
  EXPECT_EQ(PixelBytes(back), PixelBytes(image));
}

// ---------------------------------------------------------------- round trips

TEST(BmpRoundTrip, EveryDepthKeepsPixelsAndPalette) {
  const struct {
    TPGPixelFormat Format;
    int Colors;
  } cases[] = {{pgpf1Bit, 2}, {pgpf4Bit, 16}, {pgpf4Bit, 5}, {pgpf8Bit, 256}, {pgpf8Bit, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.Format) * 1000 + c.Colors);
    TPixelGraphic image;
    FillPaletteImage(image, 13, 7, c.Format, c.Colors);
    TPixelGraphic back;
    LoadBytes(back, SaveBytes(image));
    EXPECT_EQ(back.PixelFormat(), c.Format);
    EXPECT_EQ(back.PaletteEntries(), image.PaletteEntries());
    EXPECT_EQ(PixelBytes(back), PixelBytes(image));
  }
  TPixelGraphic rgb;
  peer::FromRgb(rgb, peer::Pattern(11, 6));
  TPixelGraphic back;
  LoadBytes(back, SaveBytes(rgb));
  EXPECT_EQ(back.PixelFormat(), pgpf24Bit);
  EXPECT_EQ(back.PaletteIdent(), pTrueColor);
  EXPECT_EQ(PixelBytes(back), PixelBytes(rgb));
}

// ---------------------------------------------------------------- peers

TEST(BmpPeers, PillowFilesOfEveryModeDecodeAsPillowDoes) {
  const std::string dir = TestDir();
  peer::WritePpm(dir + "/src.ppm", peer::Pattern(13, 9));
  for (const std::string mode : {"1", "L", "P", "RGB", "RGBA"}) {
    SCOPED_TRACE(mode);
    const std::string file = dir + "/m" + mode + ".bmp";
    ASSERT_EQ(PythonNear(dir + "/peer", "from PIL import Image\nImage.open('" + dir + "/src.ppm').convert('" + mode +
                           "').save('" + file + "')\n"),
              0);
    TPixelGraphic image;
    image.LoadFromFile(file);
    EXPECT_EQ(peer::ToRgb(image), MagickDecode(file));
  }
}

TEST(BmpPeers, ImageMagickRle8Os2And4BitFilesDecodeAsImageMagickDoes) {
  const std::string dir = TestDir();
  const std::string src = dir + "/src.ppm";
  peer::WritePpm(src, peer::Pattern(15, 7));
  const struct {
    const char* Name;
    const char* Options;
    const char* Subformat;
  } cases[] = {
      {"rle8.bmp", "-colors 12 -compress RLE BMP3:", "Windows, RLE8"},
      {"os2.bmp", "-colors 12 BMP2:", "OS/2"},
      {"p4.bmp", "-colors 12 -type palette -depth 4 BMP3:", "Windows, RGB"},
      {"rgb.bmp", "-type truecolor BMP3:", "Windows, RGB"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string file = dir + "/" + c.Name;
    const std::string opts = c.Options;
    const std::string prefix = opts.substr(opts.rfind(' ') + 1);
    ASSERT_EQ(peer::Run("convert " + src + " " + opts.substr(0, opts.rfind(' ')) + " " + prefix + file), 0);
    TPixelGraphic image;
    image.LoadFromFile(file);
    EXPECT_EQ(peer::ToRgb(image), MagickDecode(file));
    TFileInfo info;
    std::string description;
    ASSERT_TRUE(GetFileInfo(file, 0, info, description));
    EXPECT_EQ(info.SubformatText, c.Subformat);
  }
}

TEST(BmpPeers, PeersReadOurFilesOfEveryDepth) {
  const std::string dir = TestDir();
  TPixelGraphic images[4];
  FillPaletteImage(images[0], 10, 5, pgpf1Bit, 2);
  FillPaletteImage(images[1], 11, 5, pgpf4Bit, 7);
  FillPaletteImage(images[2], 9, 6, pgpf8Bit, 150);
  peer::FromRgb(images[3], peer::Pattern(7, 4));
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const std::string file = dir + "/o" + std::to_string(i) + ".bmp";
    images[i].SaveToFile(file);
    const peer::RgbImage ours = peer::ToRgb(images[i]);
    EXPECT_EQ(MagickDecode(file), ours);
    EXPECT_EQ(PillowDecode(file), ours);
  }
}

// ---------------------------------------------------------------- run-length data

namespace {

// RLE4 data exercising encoded runs, an odd absolute run with its padding
// byte, a delta, end of line and end of bitmap; 7 x 4 pixels, 16 greys.
Bytes Rle4Sample() {
  return {
      0x02, 0x1F,                          // row 3: 1 F
      0x00, 0x05, 0x23, 0x45, 0x60, 0x00,  // absolute 5: 2 3 4 5 6, then the padding byte
      0x00, 0x00,                          // end of line
      0x00, 0x02, 0x02, 0x01,              // delta: right 2, up 1 -> row 1, x 2
      0x04, 0x9A,                          // 9 A 9 A
      0x00, 0x00,                          // end of line -> row 0
      0x07, 0xCD,                          // C D C D C D C
      0x00, 0x01,                          // end of bitmap
  };
}

Bytes Rle8Sample() {
  return {
      0x03, 0x05,                    // row 2: 5 5 5
      0x00, 0x03, 0x01, 0x02, 0x03,  // absolute 3 (odd): 1 2 3, then padding
      0x00,
      0x00, 0x00,                    // end of line
      0x00, 0x02, 0x01, 0x01,        // delta to row 0, x 1
      0x02, 0x07,                    // 7 7
      0x00, 0x01,                    // end of bitmap
      0x00, 0x00,                    // slack after the end (ImageMagick reads ahead)
  };
}

}  // namespace

// ImageMagick is the peer here: Pillow's run-length decoder misreads deltas
// and odd absolute runs.
TEST(BmpRle, HandEncodedRle4AndRle8DecodeAsImageMagickDoes) {
  const std::string dir = TestDir();
  WinBmp rle4{.Width = 7, .Height = 4, .BitCount = 4, .Compression = 2, .Palette = Greys(16),
              .Data = Rle4Sample()};
  WinBmp rle8{.Width = 6, .Height = 3, .BitCount = 8, .Compression = 1, .ClrUsed = 8, .Palette = Greys(8),
              .Data = Rle8Sample()};
  for (const WinBmp& layout : {rle4, rle8}) {
    SCOPED_TRACE(layout.BitCount);
    const std::string file = dir + "/f" + std::to_string(layout.BitCount) + ".bmp";
    peer::WriteFile(file, Build(layout));
    TPixelGraphic image;
    image.LoadFromFile(file);
    EXPECT_EQ(peer::ToRgb(image), MagickDecode(file));
  }
}

TEST(BmpRle, DecodedIndicesAreExact) {
  TPixelGraphic image;
  LoadBytes(image, Build({.Width = 7, .Height = 4, .BitCount = 4, .Compression = 2,
                          .Palette = Greys(16), .Data = Rle4Sample()}));
  const std::uint32_t expected[4][7] = {
      {12, 13, 12, 13, 12, 13, 12},
      {0, 0, 9, 10, 9, 10, 0},
      {0, 0, 0, 0, 0, 0, 0},
      {1, 15, 2, 3, 4, 5, 6},
  };
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 7; ++x) EXPECT_EQ(image.GetPixel(x, y), expected[y][x]) << x << "," << y;
}

TEST(BmpRle, RunsMayFillTheRowPaddingButNoMore) {
  // Width 3 at 4 bits: the padded row has 8 nibble places.
  auto rle4 = [](Bytes data) {
    return Build({.Width = 3, .Height = 1, .BitCount = 4, .Compression = 2, .Palette = Greys(16),
                  .Data = std::move(data)});
  };
  TPixelGraphic image;
  LoadBytes(image, rle4({0x08, 0x56, 0x00, 0x01}));
  EXPECT_EQ(image.GetPixel(0, 0), 5u);
  EXPECT_EQ(image.GetPixel(1, 0), 6u);
  EXPECT_EQ(image.GetPixel(2, 0), 5u);
  EXPECT_EQ(LoadError(rle4({0x09, 0x56, 0x00, 0x01})), "BMP: RLE data invalid");
  // ImageMagick fills odd 8-bit rows to an even count.
  const std::string dir = TestDir();
  ASSERT_EQ(peer::Run("convert -size 15x7 gradient:red-blue -colors 12 -compress RLE BMP3:" + dir + "/g.bmp"), 0);
  image.LoadFromFile(dir + "/g.bmp");
  EXPECT_EQ(peer::ToRgb(image), MagickDecode(dir + "/g.bmp"));
}

// ---------------------------------------------------------------- top-down, bit fields, palettes

TEST(BmpVariants, TopDownFileLoadsUpright) {
  const std::string dir = TestDir();
  TPixelGraphic source;
  peer::FromRgb(source, peer::Pattern(5, 4));
  Bytes rows = PixelBytes(source);  // bottom-up: reverse the row order
  Bytes topDown;
  for (int y = 0; y < 4; ++y) topDown.insert(topDown.end(), source.ScanLine(y), source.ScanLine(y) + 16);
  const Bytes file = Build({.Width = 5, .Height = -4, .BitCount = 24, .Data = topDown});
  peer::WriteFile(dir + "/td.bmp", file);
  TPixelGraphic image;
  image.LoadFromFile(dir + "/td.bmp");
  EXPECT_EQ(image.Height(), 4);
  EXPECT_EQ(PixelBytes(image), rows);
  EXPECT_EQ(peer::ToRgb(image), PillowDecode(dir + "/td.bmp"));
  const TFileInfo info = InfoOf(file);
  EXPECT_EQ(info.SubformatText, "Windows, RGB, Top-Down");
  EXPECT_EQ(info.Height, 4);  // the rows a person sees, whatever their order
}

TEST(BmpVariants, SixteenBitChannelsFollowTheScaleSetting) {
  SettingGuard guard(PGSettings().BmpScale16BitFields);
  // 5-5-5 words: (31, 1, 0) and (0, 16, 31).
  const Bytes data{0x20, 0x7C, 0x1F, 0x02};
  const Bytes file = Build({.Width = 2, .Height = 1, .BitCount = 16, .Data = data});
  TPixelGraphic image;
  PGSettings().BmpScale16BitFields = true;
  LoadBytes(image, file);
  EXPECT_EQ(image.GetPixel(0, 0), RGBColor(255, 16, 0));
  EXPECT_EQ(image.GetPixel(1, 0), RGBColor(0, 136, 255));
  PGSettings().BmpScale16BitFields = false;
  LoadBytes(image, file);
  EXPECT_EQ(image.GetPixel(0, 0), RGBColor(248, 8, 0));
  EXPECT_EQ(image.GetPixel(1, 0), RGBColor(0, 128, 248));
}

TEST(BmpVariants, BitFieldMasksOf16And32BitFiles) {
  // 5-6-5: red 31, green 63, blue 1.
  const std::uint16_t w565 = std::uint16_t((31 << 11) | (63 << 5) | 1);
  TPixelGraphic image;
  LoadBytes(image, Build({.Width = 1, .Height = 1, .BitCount = 16, .Compression = 3,
                          .Masks = {0xF800, 0x07E0, 0x001F},
                          .Data = {std::uint8_t(w565), std::uint8_t(w565 >> 8), 0, 0}}));
  EXPECT_EQ(image.GetPixel(0, 0), RGBColor(255, 255, 16));
  // 32 bits, default masks: blue, green, red, unused byte.
  LoadBytes(image, Build({.Width = 1, .Height = 1, .BitCount = 32, .Data = {10, 20, 30, 99}}));
  EXPECT_EQ(image.GetPixel(0, 0), RGBColor(30, 20, 10));
  // 10-bit channels keep their top eight bits, without scaling.
  const std::uint32_t p = (1023u << 20) | (512u << 10) | 3u;
  LoadBytes(image, Build({.Width = 1, .Height = 1, .BitCount = 32, .Compression = 3,
                          .Masks = {0x3FF00000, 0x000FFC00, 0x000003FF},
                          .Data = {std::uint8_t(p), std::uint8_t(p >> 8), std::uint8_t(p >> 16),
                                   std::uint8_t(p >> 24)}}));
  EXPECT_EQ(image.GetPixel(0, 0), RGBColor(255, 128, 0));
}

TEST(BmpVariants, ColorsUsedSetsThePaletteLength) {
  TPixelGraphic image;
  LoadBytes(image, Build({.Width = 4, .Height = 1, .BitCount = 8, .ClrUsed = 3,
                          .Palette = {RGBColor(1, 2, 3), RGBColor(4, 5, 6), RGBColor(7, 8, 9)},
                          .Data = {2, 1, 0, 2}}));
  EXPECT_EQ(image.PaletteCount(), 3);
  EXPECT_EQ(image.GetPixelColor(0, 0), RGBColor(7, 8, 9));
  EXPECT_EQ(image.GetPixelColor(1, 0), RGBColor(4, 5, 6));
}

TEST(BmpVariants, Os2CoreHeaderFiles) {
  TPixelGraphic image;
  LoadBytes(image, BuildCore(3, 2, 1, {RGBColor(255, 0, 0), RGBColor(0, 0, 255)},
                             {0xA0, 0, 0, 0, 0x40, 0, 0, 0}));
  EXPECT_EQ(image.GetPixelColor(0, 1), RGBColor(0, 0, 255));
  EXPECT_EQ(image.GetPixelColor(1, 1), RGBColor(255, 0, 0));
  EXPECT_EQ(image.GetPixelColor(2, 1), RGBColor(0, 0, 255));
  EXPECT_EQ(image.GetPixelColor(1, 0), RGBColor(0, 0, 255));
  LoadBytes(image, BuildCore(1, 1, 24, {}, {1, 2, 3, 0}));
  EXPECT_EQ(image.GetPixel(0, 0), RGBColor(3, 2, 1));
}

// The pixels start at the file's offset when it lies past the colour table
// and the pixels fit behind it; otherwise right after the table.
TEST(BmpVariants, PixelDataOffsetCountsOnlyPastTheTableAndInsideTheFile) {
  const auto withGap = [](std::uint32_t offset, int gap) {
    Bytes data(std::size_t(gap), 0x11);
    data.insert(data.end(), {1, 0, 0, 0});
    return Build({.Width = 1, .Height = 1, .BitCount = 8, .ClrUsed = 2, .Offset = offset,
                  .Palette = {RGBColor(1, 2, 3), RGBColor(4, 5, 6)}, .Data = data});
  };
  const std::uint32_t tableEnd = 14 + 40 + 8;
  TPixelGraphic image;
  LoadBytes(image, withGap(tableEnd + 6, 6));
  EXPECT_EQ(image.GetPixelColor(0, 0), RGBColor(4, 5, 6));
  // Writers' slips: 0, into the table, or past the data: the old rule holds.
  for (std::uint32_t slip : {0u, tableEnd - 4, tableEnd + 1, 0xDEADBEEFu}) {
    SCOPED_TRACE(slip);
    LoadBytes(image, withGap(slip, 0));
    EXPECT_EQ(image.GetPixelColor(0, 0), RGBColor(4, 5, 6));
  }
  LoadBytes(image, Build({.Width = 1, .Height = 1, .BitCount = 24, .Offset = 0xDEADBEEF, .Data = {9, 8, 7, 0}}));
  EXPECT_EQ(image.GetPixel(0, 0), RGBColor(7, 8, 9));
}

// ---------------------------------------------------------------- information

TEST(BmpInfo, TextsAndFieldsOfEachVariant) {
  const struct {
    Bytes File;
    const char* Subformat;
    const char* Colors;
    int Bits, Width, Height;
  } cases[] = {
      {Build({.Width = 3, .Height = 2, .BitCount = 1, .Palette = Greys(2), .Data = Bytes(8)}), "Windows, RGB", "2", 1, 3, 2},
      {Build({.Width = 3, .Height = 2, .BitCount = 4, .Compression = 2, .Palette = Greys(16), .Data = {0, 1}}), "Windows, RLE4", "16", 4, 3, 2},
      {Build({.Width = 3, .Height = 2, .BitCount = 8, .Compression = 1, .Palette = Greys(256), .Data = {0, 1}}), "Windows, RLE8", "256", 8, 3, 2},
      {Build({.Width = 3, .Height = 2, .BitCount = 16, .Compression = 3, .Masks = {0xF800, 0x7E0, 0x1F}, .Data = Bytes(16)}), "Windows", "64K", 16, 3, 2},
      {Build({.Width = 3, .Height = -2, .BitCount = 32, .Data = Bytes(24)}), "Windows, RGB, Top-Down", "16.7M", 32, 3, 2},
      {Build({.Width = 3, .Height = 2, .BitCount = 24, .Data = Bytes(24)}), "Windows, RGB", "16.7M", 24, 3, 2},
      {BuildCore(300, 2, 8, Greys(256), Bytes(600)), "OS/2", "256", 8, 300, 2},
      {Build({.Width = 3, .Height = 2, .BitCount = 24, .HeaderSize = 64, .Data = Bytes(24)}), "OS/2 2.x, RGB", "16.7M", 24, 3, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Subformat);
    const TFileInfo info = InfoOf(c.File);
    EXPECT_EQ(info.SubformatText, c.Subformat);
    EXPECT_EQ(info.ColorCountText, c.Colors);
    EXPECT_EQ(info.BitsPerPixel, c.Bits);
    EXPECT_EQ(info.Width, c.Width);
    EXPECT_EQ(info.Height, c.Height);
    EXPECT_EQ(info.ImageCount, 1);
    EXPECT_EQ(info.ExtraText, "");
  }
}

// ---------------------------------------------------------------- damaged files

TEST(BmpErrors, HeaderChecksNameTheField) {
  const WinBmp ok{.Width = 2, .Height = 2, .BitCount = 8, .Palette = Greys(256), .Data = Bytes(8)};
  auto with = [&](auto change) {
    WinBmp s = ok;
    change(s);
    return Build(s);
  };
  EXPECT_EQ(LoadError(with([](WinBmp& s) { s.HeaderSize = 20; })),
            "BMP: Invalid size of BitmapInfoHeader/BitmapCoreHeader");
  // Compression 3 of an OS/2 2.x header is Huffman coding, not bit fields.
  EXPECT_EQ(LoadError(with([](WinBmp& s) { s.HeaderSize = 64, s.BitCount = 32, s.Compression = 3; })),
            "BMP: BitmapInfoHeader.biCompression invalid");
  EXPECT_EQ(LoadError(with([](WinBmp& s) { s.Planes = 2; })), "BMP: BitmapInfoHeader.biPlanes invalid");
  EXPECT_EQ(LoadError(with([](WinBmp& s) { s.BitCount = 2; })), "BMP: BitmapInfoHeader.biBitCount invalid");
  EXPECT_EQ(LoadError(with([](WinBmp& s) { s.Compression = 2; })),
            "BMP: BitmapInfoHeader.biCompression invalid");
  EXPECT_EQ(LoadError(with([](WinBmp& s) { s.Compression = 1, s.Height = -2; })),
            "BMP: BitmapInfoHeader.biCompression invalid");
  EXPECT_EQ(LoadError(with([](WinBmp& s) { s.Compression = 3; })),
            "BMP: BitmapInfoHeader.biCompression invalid");
  EXPECT_EQ(LoadError(with([](WinBmp& s) { s.Compression = 4; })),
            "BMP: BitmapInfoHeader.biCompression invalid");
  EXPECT_EQ(LoadError(BuildCore(1, 1, 24, {}, Bytes(4), 3)), "BMP: BitmapCoreHeader.bcPlanes invalid");
  EXPECT_EQ(LoadError(BuildCore(1, 1, 16, {}, Bytes(4))), "BMP: BitmapCoreHeader.bcBitCount invalid");
  EXPECT_EQ(LoadError(with([](WinBmp& s) { s.Width = -2; })), "BMP: BitmapInfoHeader.biWidth invalid");
  EXPECT_EQ(LoadError(with([](WinBmp& s) { s.Height = INT_MIN; })), "BMP: BitmapInfoHeader.biHeight invalid");
  EXPECT_EQ(LoadError(with([](WinBmp& s) { s.ClrUsed = 257; })), "BMP: BitmapInfoHeader.biClrUsed invalid");
}

TEST(BmpErrors, IndexOtherThanZeroIsRefused) {
  const Bytes file = Build({.Width = 1, .Height = 1, .BitCount = 24, .Data = Bytes(4)});
  TMemoryStream stream(file);
  TPixelGraphic image;
  TFileInfo info;
  EXPECT_EQ(MessageOf([&] { TBMPFileFormatReader().ReadImage(stream, image, 1); }), "BMP: Index invalid");
  EXPECT_EQ(MessageOf([&] { TBMPFileFormatReader().ReadInfo(stream, 1, info); }),
            "BMP: Invalid value for Index");
}

TEST(BmpErrors, TruncatedFilesEndWithUnexpectedEndOfFile) {
  const Bytes full = Build({.Width = 5, .Height = 3, .BitCount = 8, .Palette = Greys(256), .Data = Bytes(24)});
  for (std::size_t cut : {std::size_t(10), std::size_t(20), std::size_t(60), std::size_t(54 + 1024),
                          full.size() - 1}) {
    SCOPED_TRACE(cut);
    EXPECT_EQ(LoadError(Bytes(full.begin(), full.begin() + std::ptrdiff_t(cut))), "BMP: Unexpected end of file");
  }
  EXPECT_EQ(LoadError(Build({.Width = 2, .Height = 2, .BitCount = 16, .Compression = 3, .Masks = {0xF800}})),
            "BMP: Unexpected end of file");
  // 24-bit file whose colours-used entries run past the end.
  EXPECT_EQ(LoadError(Build({.Width = 1, .Height = 1, .BitCount = 24, .ClrUsed = 100, .Data = Bytes(4)})),
            "BMP: Unexpected end of file");
}

TEST(BmpErrors, RunLengthDataIsCheckedAgainstDataAndImage) {
  auto rle8 = [](Bytes data, int width = 4, int height = 2, std::uint32_t size = 0) {
    return Build({.Width = width, .Height = height, .BitCount = 8, .Compression = 1, .SizeImage = size,
                  .Palette = Greys(256), .Data = std::move(data)});
  };
  EXPECT_EQ(LoadError(rle8({0x05, 0x01})), "BMP: RLE data invalid");                    // run past row
  EXPECT_EQ(LoadError(rle8({0x00, 0x00, 0x00, 0x00, 0x01, 0x01})), "BMP: RLE data invalid");  // row past image
  EXPECT_EQ(LoadError(rle8({0x00, 0x02, 0x05, 0x00, 0x00, 0x01})), "BMP: RLE data invalid");  // delta past row
  EXPECT_EQ(LoadError(rle8({0x00, 0x02, 0x00, 0x03, 0x00, 0x01})), "BMP: RLE data invalid");  // delta past image
  EXPECT_EQ(LoadError(rle8({0x00, 0x04, 0x01, 0x02})), "BMP: Unexpected end of file");       // absolute past data
  EXPECT_EQ(LoadError(rle8({0x02, 0x01}, 4, 2, 1000)), "BMP: Unexpected end of file");        // size past file
  EXPECT_EQ(LoadError(Build({.Width = 4, .Height = 1, .BitCount = 4, .Compression = 2, .Palette = Greys(16),
                             .Data = {0x00, 0x09, 0x12, 0x34, 0x56, 0x78, 0x90, 0x00}})),
            "BMP: RLE data invalid");
  // A missing end-of-bitmap code is not an error: decoding stops with the data.
  TPixelGraphic image;
  EXPECT_NO_THROW(LoadBytes(image, rle8({0x04, 0x09})));
  EXPECT_EQ(image.GetPixel(3, 1), 9u);
}

TEST(BmpErrors, IndicesBeyondThePaletteAreRefused) {
  EXPECT_EQ(LoadError(Build({.Width = 2, .Height = 1, .BitCount = 8, .ClrUsed = 3, .Palette = Greys(3),
                             .Data = {1, 3, 0, 0}})),
            "BMP: Palette index invalid");
  EXPECT_EQ(LoadError(Build({.Width = 3, .Height = 1, .BitCount = 4, .ClrUsed = 2, .Palette = Greys(2),
                             .Data = {0x10, 0x20, 0, 0}})),
            "BMP: Palette index invalid");
  EXPECT_EQ(LoadError(Build({.Width = 2, .Height = 1, .BitCount = 8, .Compression = 1, .ClrUsed = 2,
                             .Palette = Greys(2), .Data = {0x02, 0x05, 0x00, 0x01}})),
            "BMP: Palette index invalid");
  // Indices in the padding of a row are not pixels.
  TPixelGraphic image;
  EXPECT_NO_THROW(LoadBytes(image, Build({.Width = 1, .Height = 1, .BitCount = 8, .ClrUsed = 2,
                                          .Palette = Greys(2), .Data = {1, 200, 200, 200}})));
}

TEST(BmpErrors, ZeroBitFieldMaskIsRefused) {
  EXPECT_EQ(LoadError(Build({.Width = 1, .Height = 1, .BitCount = 16, .Compression = 3,
                             .Masks = {0xF800, 0, 0x1F}, .Data = Bytes(4)})),
            "BMP: Bit field mask invalid");
}

TEST(BmpErrors, ImagesAboveTheSizeLimitAreRefusedBeforeAllocation) {
  SettingGuard guard(PGSettings().MaxImagePixels);
  PGSettings().MaxImagePixels = 100;
  TPixelGraphic image;
  const Bytes big = Build({.Width = 11, .Height = -10, .BitCount = 24, .Data = {}});
  EXPECT_EQ(MessageOf<EPGBMPFileFormatReader>([&] { LoadBytes(image, big); }), "BMP: Invalid size of image");
  EXPECT_TRUE(image.Empty());
  EXPECT_EQ(LoadError(BuildCore(65535, 65535, 24, {}, {})), "BMP: Invalid size of image");
  EXPECT_NO_THROW(LoadBytes(image, Build({.Width = 10, .Height = 10, .BitCount = 8, .Palette = Greys(256),
                                          .Data = Bytes(120)})));
}

TEST(BmpErrors, RandomlyDamagedFilesFailOnlyWithLibraryErrors) {
  SettingGuard guard(PGSettings().MaxImagePixels);
  PGSettings().MaxImagePixels = 1 << 16;
  const std::vector<Bytes> seeds{
      Build({.Width = 7, .Height = 4, .BitCount = 4, .Compression = 2, .Palette = Greys(16), .Data = Rle4Sample()}),
      Build({.Width = 6, .Height = 3, .BitCount = 8, .Compression = 1, .ClrUsed = 8, .Palette = Greys(8),
             .Data = Rle8Sample()}),
      Build({.Width = 3, .Height = -2, .BitCount = 16, .Compression = 3, .Masks = {0xF800, 0x7E0, 0x1F},
             .Data = Bytes(16, 0x5A)}),
      Build({.Width = 5, .Height = 2, .BitCount = 8, .ClrUsed = 4, .Palette = Greys(4), .Data = Bytes(16, 1)}),
      BuildCore(9, 3, 1, Greys(2), Bytes(12, 0xA5)),
  };
  std::mt19937 random(20240611);
  int refused = 0;
  for (const Bytes& seed : seeds)
    for (int round = 0; round < 500; ++round) {
      Bytes file = seed;
      for (int c = 1 + int(random() % 4); c > 0; --c) file[2 + random() % (file.size() - 2)] = std::uint8_t(random());
      if (random() % 5 == 0) file.resize(2 + random() % (file.size() - 2));
      try {
        TPixelGraphic image;
        LoadBytes(image, file);
        TFileInfo info;
        std::string description;
        TMemoryStream stream(file);
        GetFileInfo(stream, "bmp", 0, info, description);
      } catch (const EPixelGraphic&) {
        ++refused;
      }
    }
  EXPECT_GT(refused, 0);
}

// ---------------------------------------------------------------- progress

TEST(BmpProgress, BulkReadReportsTenPartsAndStopsOnAbort) {
  TPixelGraphic source;
  peer::FromRgb(source, peer::Pattern(20, 20));
  const Bytes file = SaveBytes(source);
  TPixelGraphic image;
  std::vector<std::pair<int, int>> steps;
  int starts = 0, ends = 0;
  int abortAt = 0;
  image.OnProgressStart = [&](void*) { ++starts; };
  image.OnProgressEnd = [&](void*) { ++ends; };
  image.OnProgress = [&](void*, int step, int max, bool& abort) {
    steps.push_back({step, max});
    abort = step == abortAt;
  };
  LoadBytes(image, file);
  ASSERT_EQ(steps.size(), 10u);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(steps[std::size_t(i)], std::make_pair(i + 1, 10));
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(ends, 1);
  steps.clear();
  abortAt = 3;
  LoadBytes(image, file);
  EXPECT_EQ(steps.size(), 3u);
  EXPECT_EQ(ends, 2);
  const std::size_t read = (source.ImageSize() / 10) * 3;
  const Bytes got = PixelBytes(image), want = PixelBytes(source);
  EXPECT_EQ(Bytes(got.begin(), got.begin() + std::ptrdiff_t(read)), Bytes(want.begin(), want.begin() + std::ptrdiff_t(read)));
  EXPECT_EQ(Bytes(got.begin() + std::ptrdiff_t(read), got.end()), Bytes(got.size() - read, 0));
}

TEST(BmpProgress, BitFieldRowsReportEachRow) {
  TPixelGraphic image;
  std::vector<std::pair<int, int>> steps;
  image.OnProgress = [&](void*, int step, int max, bool&) { steps.push_back({step, max}); };
  LoadBytes(image, Build({.Width = 1, .Height = 3, .BitCount = 32, .Data = Bytes(12, 7)}));
  EXPECT_EQ(steps, (std::vector<std::pair<int, int>>{{0, 3}, {1, 3}, {2, 3}}));
}

// Found by fuzzing: a file of width 0 stores rows of no bytes, and the
// reader must not divide by that row length while it reports rows.
TEST(BmpVariants, ZeroWidthOrHeightFilesLoadEmpty) {
  for (const WinBmp& s : {WinBmp{.Width = 0, .Height = 3, .BitCount = 24},
                          WinBmp{.Width = 0, .Height = 300, .BitCount = 8, .ClrUsed = 2, .Palette = Greys(2)},
                          WinBmp{.Width = 5, .Height = 0, .BitCount = 24}}) {
    SCOPED_TRACE(testing::Message() << s.Width << " x " << s.Height);
    TPixelGraphic image;
    EXPECT_EQ(MessageOf([&] { LoadBytes(image, Build(s)); }), "(nothing raised)");
    EXPECT_TRUE(image.Empty());
  }
}
