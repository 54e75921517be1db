// PNG reader and writer. Test files come from an independent encoder written
// in Python (every colour type, bit depth and Adam7), and our files are read
// back by Pillow and ImageMagick.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "pgraphic/core/library.h"
#include "pgraphic/core/settings.h"
#include "pgraphic/core/uihooks.h"
#include "pgraphic/formats/png/png.h"
#include "codec_test_support.h"
#include "support/peer.h"

namespace {

using codectest::TBoxRecorder;
using codectest::TestName;

// Encodes the description written by TPngFile::Save: one line of header
// numbers, three lines of hex chunk payloads (PLTE, tRNS, bKGD), one of samples.
const char* const kEncoder = R"(import struct, sys, zlib
lines = open(sys.argv[1]).read().split('\n')
w, h, bd, ct, il, gama, badcrc, extras = map(int, lines[0].split())
plte, trns, bkgd = (bytes.fromhex(l) for l in lines[1:4])
samples = list(map(int, lines[4].split()))
ch = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[ct]
def chunk(t, d, bad=False):
    crc = zlib.crc32(t + d) & 0xffffffff
    return struct.pack('>I', len(d)) + t + d + struct.pack('>I', crc ^ 1 if bad else crc)
def pack(vals):
    if bd == 16: return b''.join(struct.pack('>H', v) for v in vals)
    if bd == 8: return bytes(vals)
    out, acc, n = bytearray(), 0, 0
    for v in vals:
        acc, n = (acc << bd) | v, n + bd
        if n == 8: out.append(acc); acc, n = 0, 0
    if n: out.append(acc << (8 - n))
    return bytes(out)
passes = [(0,0,8,8),(4,0,8,8),(0,4,4,8),(2,0,4,4),(0,2,2,4),(1,0,2,2),(0,1,1,2)] if il else [(0,0,1,1)]
raw = bytearray()
for x0, y0, dx, dy in passes:
    xs = range(x0, w, dx)
    if not xs: continue
    for y in range(y0, h, dy):
        raw += b'\0' + pack([s for x in xs for s in samples[(y*w+x)*ch:(y*w+x+1)*ch]])
png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, bd, ct, 0, 0, il))
if gama: png += chunk(b'gAMA', struct.pack('>I', gama), badcrc)
if extras: png += chunk(b'pHYs', struct.pack('>IIB', 2835, 2835, 1)) + chunk(b'tIME', struct.pack('>HBBBBB', 2001, 2, 3, 4, 5, 6))
if plte: png += chunk(b'PLTE', plte)
if trns: png += chunk(b'tRNS', trns)
if bkgd: png += chunk(b'bKGD', bkgd)
png += chunk(b'IDAT', zlib.compress(bytes(raw))) + chunk(b'IEND', b'')
open(sys.argv[2], 'wb').write(png)
)";

int ChannelsOf(int colorType) {
  switch (colorType) {
    case 2:
      return 3;
    case 4:
      return 2;
    case 6:
      return 4;
  }
  return 1;
}

// A PNG described by its samples.
struct TPngFile {
  int Width = 13, Height = 11, BitDepth = 8, ColorType = 0;
  bool Interlaced = false;
  int Gama = 0;
  bool BadGamaCrc = false;
  bool ExtraChunks = false;
  std::vector<std::uint8_t> Plte, Trns, Bkgd;
  std::vector<int> Samples;  // row-major, channels per pixel

  int Max() const { return (1 << BitDepth) - 1; }
  int Sample(int x, int y, int c) const { return Samples[std::size_t((y * Width + x) * ChannelsOf(ColorType) + c)]; }
  // Every sample value occurs; palette indices stay below the palette size.
  void Fill() {
    const int channels = ChannelsOf(ColorType);
    const int limit = ColorType == 3 ? int(Plte.size() / 3) : Max() + 1;
    Samples.clear();
    for (int y = 0; y < Height; ++y)
      for (int x = 0; x < Width; ++x)
        for (int c = 0; c < channels; ++c)
          Samples.push_back(int((std::int64_t(x) * 4099 + y * 2053 + c * 7919 + x * y * 31) % limit));
  }
  std::string Save(const std::string& dir, const std::string& name) const {
    std::ostringstream text;
    text << Width << ' ' << Height << ' ' << BitDepth << ' ' << ColorType << ' ' << Interlaced << ' '
         << Gama << ' ' << BadGamaCrc << ' ' << ExtraChunks << '\n'
         << Hex(Plte) << '\n' << Hex(Trns) << '\n' << Hex(Bkgd) << '\n';
    for (int s : Samples) text << s << ' ';
    const std::string description_file = dir + "/" + name + ".txt", png = dir + "/" + name + ".png";
    const std::string description = text.str();
    peer::WriteFile(description_file, std::vector<std::uint8_t>(description.begin(), description.end()));
    peer::WriteFile(dir + "/encode.py", std::vector<std::uint8_t>(kEncoder, kEncoder + std::strlen(kEncoder)));
    EXPECT_EQ(peer::Run(std::string(peer::kPython) + " " + dir + "/encode.py " + description_file + " " + png), 0);
    return png;
  }
  static std::string Hex(const std::vector<std::uint8_t>& bytes) {
    std::string s;
    char buf[3];
    for (std::uint8_t b : bytes) {
      std::snprintf(buf, sizeof buf, "%02x", b);
      s += buf;
    }
    return s;
  }
};

std::vector<std::uint8_t> MakePalette(int count) {
  std::vector<std::uint8_t> plte;
  for (int i = 0; i < count; ++i)
    for (int v : {i * 37 + 5, 250 - i * 11, i * 101 + 17}) plte.push_back(std::uint8_t(v & 0xFF));
  return plte;
}

std::vector<std::uint8_t> Be16(std::initializer_list<int> values) {
  std::vector<std::uint8_t> out;
  for (int v : values) {
    out.push_back(std::uint8_t(v >> 8));
    out.push_back(std::uint8_t(v & 0xFF));
  }
  return out;
}

// Every pixel value of an image, top row first (index or colour).
std::vector<std::uint32_t> Pixels(TPixelGraphic& image) {
  std::vector<std::uint32_t> values;
  for (int y = 0; y < image.Height(); ++y)
    for (int x = 0; x < image.Width(); ++x) values.push_back(image.GetPixel(x, y));
  return values;
}

int To8(int value, int bitDepth) { return bitDepth == 16 ? value >> 8 : value; }

// What an opaque file must load as: indices for grey and palette, colours otherwise.
std::vector<std::uint32_t> Expected(const TPngFile& f) {
  std::vector<std::uint32_t> values;
  for (int y = 0; y < f.Height; ++y)
    for (int x = 0; x < f.Width; ++x)
      values.push_back(ChannelsOf(f.ColorType) >= 3
                           ? RGBColor(To8(f.Sample(x, y, 0), f.BitDepth), To8(f.Sample(x, y, 1), f.BitDepth),
                                      To8(f.Sample(x, y, 2), f.BitDepth))
                           : std::uint32_t(To8(f.Sample(x, y, 0), f.BitDepth)));
  return values;
}

unsigned Over(double fg, double alpha, double bg) { return unsigned(std::lround(fg * alpha + bg * (1 - alpha))); }

// Composites an alpha file onto a background colour in the file's precision.
std::vector<std::uint32_t> Flattened(const TPngFile& f, TRGB bg) {
  const double top = f.Max();
  const int alphaChannel = ChannelsOf(f.ColorType) - 1;
  const double bgs[3] = {GetRValue(bg) * top / 255, GetGValue(bg) * top / 255, GetBValue(bg) * top / 255};
  std::vector<std::uint32_t> values;
  for (int y = 0; y < f.Height; ++y)
    for (int x = 0; x < f.Width; ++x) {
      const double a = f.Sample(x, y, alphaChannel) / top;
      unsigned c[3];
      for (int i = 0; i < 3; ++i) {
        const int channel = f.ColorType == 4 ? 0 : i;
        const double background = f.ColorType == 4 ? (bgs[0] + bgs[1] + bgs[2]) / 3 : bgs[i];
        c[i] = unsigned(To8(int(Over(f.Sample(x, y, channel), a, std::round(background))), f.BitDepth));
      }
      values.push_back(f.ColorType == 4 ? c[0] : RGBColor(c[0], c[1], c[2]));
    }
  return values;
}

std::string MessageOf(const std::function<void()>& action) {
  return codectest::MessageOf<EPGPNGFileFormatReaderWriter>(action);
}

class PngTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PGLibraryInit();
    Saved = PGSettings();
    Dir = peer::ScratchDir("png_" + TestName());
  }
  void TearDown() override { PGSettings() = Saved; }

  void Read(const std::string& path, TPixelGraphic& image) {
    TFileStream stream(path, TFileStream::fmOpenRead);
    TPNGFileFormatReader().ReadImage(stream, image, 0);
  }
  TFileInfo Info(const std::string& path) {
    TFileStream stream(path, TFileStream::fmOpenRead);
    TFileInfo info;
    TPNGFileFormatReader().ReadInfo(stream, 0, info);
    return info;
  }
  std::string Write(TPixelGraphic& image, const std::string& name) {
    const std::string path = Dir + "/" + name;
    {
      TFileStream stream(path, TFileStream::fmCreate);
      TPNGFileFormatWriter().Write(stream, image);
    }
    return path;
  }
  // Pillow's decoding as top-down RGB.
  peer::RgbImage Pillow(const std::string& path) {
    const std::string out = path + ".pillow.ppm";
    EXPECT_EQ(peer::Python("from PIL import Image\nImage.open('" + path + "').convert('RGB').save('" + out + "')\n"), 0);
    return peer::ReadPnm(out);
  }
  // Colour type, bit depth, chunk names and gAMA value as Pillow's parser sees them.
  std::string Chunks(const std::string& path) {
    std::string out;
    EXPECT_EQ(peer::Python("import struct\n"
                           "d = open('" + path + "', 'rb').read()\n"
                           "p, names, extra = 8, [], ''\n"
                           "while p < len(d):\n"
                           "    n, t = struct.unpack('>I4s', d[p:p+8])\n"
                           "    names.append(t.decode())\n"
                           "    if t == b'IHDR': extra += 'bd%d ct%d ' % (d[p+16], d[p+17])\n"
                           "    if t == b'gAMA': extra += 'gamma%d ' % struct.unpack('>I', d[p+8:p+12])\n"
                           "    if t == b'PLTE': extra += 'plte%d ' % (n // 3)\n"
                           "    p += 12 + n\n"
                           "print(extra + ','.join(n for i, n in enumerate(names) if n != 'IDAT' or names[i-1] != 'IDAT'))\n",
                           &out),
              0);
    return out.substr(0, out.find('\n'));
  }

  TPGLibrarySettings Saved;
  std::string Dir;
};

// ---------------------------------------------------------------- reading

TEST_F(PngTest, GreyOfEveryDepthLoadsWithItsGreyPalette) {
  const struct {
    int BitDepth;
    TPGPixelFormat Format;
    TPaletteIdent Palette;
  } kCases[] = {{1, pgpf1Bit, pBlackWhite}, {2, pgpf4Bit, pGray4}, {4, pgpf4Bit, pGray16},
                {8, pgpf8Bit, pGray256},    {16, pgpf8Bit, pGray256}};
  for (const auto& c : kCases)
    for (bool interlaced : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "depth " << c.BitDepth << " interlaced " << interlaced);
      TPngFile f;
      f.BitDepth = c.BitDepth;
      f.Interlaced = interlaced;
      f.Fill();
      const std::string path = f.Save(Dir, "grey");
      TPixelGraphic image;
      Read(path, image);
      EXPECT_EQ(image.PixelFormat(), c.Format);
      EXPECT_EQ(image.PaletteIdent(), c.Palette);
      EXPECT_EQ(Pixels(image), Expected(f));
      if (c.BitDepth < 16) {
        EXPECT_EQ(peer::ToRgb(image), Pillow(path));
      }
    }
}

TEST_F(PngTest, PaletteOfEveryDepthKeepsThePlteEntries) {
  for (int depth : {1, 2, 4, 8})
    for (bool interlaced : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "depth " << depth << " interlaced " << interlaced);
      TPngFile f;
      f.ColorType = 3;
      f.BitDepth = depth;
      f.Interlaced = interlaced;
      f.Plte = MakePalette(depth == 8 ? 200 : (1 << depth) - (depth > 1 ? 1 : 0));
      f.Fill();
      const std::string path = f.Save(Dir, "palette");
      TPixelGraphic image;
      Read(path, image);
      EXPECT_EQ(image.PixelFormat(), depth == 1 ? pgpf1Bit : depth == 8 ? pgpf8Bit : pgpf4Bit);
      ASSERT_EQ(image.PaletteCount(), int(f.Plte.size() / 3));
      for (int i = 0; i < image.PaletteCount(); ++i)
        EXPECT_EQ(image.GetPaletteEntry(i), RGBColor(f.Plte[3 * i], f.Plte[3 * i + 1], f.Plte[3 * i + 2]));
      EXPECT_EQ(Pixels(image), Expected(f));
      EXPECT_EQ(peer::ToRgb(image), Pillow(path));
    }
}

TEST_F(PngTest, RgbOfBothDepthsLoadsAsTrueColour) {
  for (int depth : {8, 16})
    for (bool interlaced : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "depth " << depth << " interlaced " << interlaced);
      TPngFile f;
      f.ColorType = 2;
      f.BitDepth = depth;
      f.Interlaced = interlaced;
      f.Fill();
      const std::string path = f.Save(Dir, "rgb");
      TPixelGraphic image;
      Read(path, image);
      EXPECT_EQ(image.PixelFormat(), pgpf24Bit);
      EXPECT_EQ(Pixels(image), Expected(f));
      EXPECT_EQ(peer::ToRgb(image), Pillow(path));
    }
}

TEST_F(PngTest, InterlacedProgressCoversSevenPasses) {
  TPngFile f;
  f.ColorType = 2;
  f.Interlaced = true;
  f.Fill();
  TPixelGraphic image;
  std::vector<int> steps;
  int starts = 0, ends = 0, max = 0;
  image.OnProgressStart = [&](void*) { ++starts; };
  image.OnProgressEnd = [&](void*) { ++ends; };
  image.OnProgress = [&](void*, int step, int m, bool&) {
    steps.push_back(step);
    max = m;
  };
  Read(f.Save(Dir, "adam7"), image);
  std::vector<int> expected(std::size_t(7 * f.Height));
  for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = int(i);
  EXPECT_EQ(steps, expected);
  EXPECT_EQ(max, 7 * f.Height);
  EXPECT_EQ(starts + ends, 2);
  EXPECT_EQ(Pixels(image), Expected(f));
}

TEST_F(PngTest, AbortStopsReadingWithoutFailure) {
  TPngFile f;
  f.BitDepth = 2;
  f.Fill();
  TPixelGraphic image;
  int calls = 0, ends = 0;
  image.OnProgressEnd = [&](void*) { ++ends; };
  image.OnProgress = [&](void*, int, int, bool& abort) { abort = ++calls == 3; };
  Read(f.Save(Dir, "abort"), image);
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(image.Height(), f.Height);
}

// Transparency laid on a background while loading, as KeepAlpha=false asks.
class PngAlphaTest : public PngTest {
 protected:
  PngAlphaTest() { Laying.Settings.KeepAlpha = false; }
  TPGThreadSettings Laying{PGSettings()};
  TPngFile AlphaFile(int colorType, int depth) {
    TPngFile f;
    f.ColorType = colorType;
    f.BitDepth = depth;
    f.Fill();
    return f;
  }
};

TEST_F(PngAlphaTest, AlphaIsFlattenedOntoTheFileBackground) {
  const TRGB bkgd = RGBColor(200, 30, 90);
  for (int depth : {8, 16}) {
    SCOPED_TRACE(depth);
    TPngFile f = AlphaFile(6, depth);
    f.Bkgd = depth == 8 ? Be16({200, 30, 90}) : Be16({200 * 257, 30 * 257, 90 * 257});
    TPixelGraphic image;
    Read(f.Save(Dir, "rgba"), image);
    EXPECT_EQ(image.PixelFormat(), pgpf24Bit);
    EXPECT_EQ(Pixels(image), Flattened(f, bkgd));
    EXPECT_EQ(image.BackGroundColor(), bkgd);
  }
  TPngFile grey = AlphaFile(4, 8);
  grey.Bkgd = Be16({77});
  TPixelGraphic image;
  Read(grey.Save(Dir, "greyalpha"), image);
  EXPECT_EQ(image.PixelFormat(), pgpf8Bit);
  EXPECT_EQ(Pixels(image), Flattened(grey, Grey(77)));
  EXPECT_EQ(image.BackGroundColor(), Grey(77));
}

TEST_F(PngAlphaTest, WithoutFileBackgroundTheImageBackgroundIsUsed) {
  const TRGB own = RGBColor(10, 220, 40);
  TPngFile f = AlphaFile(6, 8);
  const std::string plain = f.Save(Dir, "plain");
  f.Bkgd = Be16({200, 30, 90});
  const std::string withBkgd = f.Save(Dir, "bkgd");
  TPixelGraphic image;
  image.SetBackGroundColor(own);
  Read(plain, image);
  EXPECT_EQ(Pixels(image), Flattened(f, own));
  PGSettings().PngUseFileBackground = false;
  TPixelGraphic second;
  second.SetBackGroundColor(own);
  Read(withBkgd, second);
  EXPECT_EQ(Pixels(second), Flattened(f, own));
  EXPECT_EQ(second.BackGroundColor(), own);
}

TEST_F(PngAlphaTest, TransparencyChunksAreFlattened) {
  // Palette: the transparent entries take the background's colour.
  TPngFile pal;
  pal.ColorType = 3;
  pal.BitDepth = 4;
  pal.Plte = MakePalette(16);
  pal.Trns = {0, 128, 255};
  pal.Bkgd = {15};
  pal.Fill();
  TPixelGraphic image;
  Read(pal.Save(Dir, "paltrns"), image);
  const TRGB bg = RGBColor(pal.Plte[45], pal.Plte[46], pal.Plte[47]);
  EXPECT_EQ(image.GetPaletteEntry(0), bg);
  EXPECT_EQ(image.GetPaletteEntry(1), RGBColor(Over(pal.Plte[3], 128 / 255.0, pal.Plte[45]),
                                               Over(pal.Plte[4], 128 / 255.0, pal.Plte[46]),
                                               Over(pal.Plte[5], 128 / 255.0, pal.Plte[47])));
  EXPECT_EQ(image.GetPaletteEntry(2), RGBColor(pal.Plte[6], pal.Plte[7], pal.Plte[8]));
  EXPECT_EQ(Pixels(image), Expected(pal));

  // Grey and RGB: pixels of the transparent value become the background.
  TPngFile grey;
  grey.BitDepth = 2;
  grey.Trns = Be16({1});
  grey.Bkgd = Be16({3});
  grey.Fill();
  TPixelGraphic greyImage;
  Read(grey.Save(Dir, "greytrns"), greyImage);
  std::vector<std::uint32_t> expected = Expected(grey);
  std::replace(expected.begin(), expected.end(), 1u, 3u);
  EXPECT_EQ(Pixels(greyImage), expected);
  EXPECT_EQ(greyImage.BackGroundColor(), Grey(255));
}

// A display of gamma 1.8 (the setting that keeps the old files) takes a
// file of gamma 2.2 to its own.
TEST_F(PngTest, FileGammaIsHandedToTheLoadPipeline) {
  PGSettings().DisplayGamma = 1.8L;
  TPngFile f;
  f.ColorType = 2;
  f.Gama = 45455;
  f.Fill();
  const std::string path = f.Save(Dir, "gamma");
  TPixelGraphic direct;
  Read(path, direct);
  EXPECT_NEAR(double(direct.FileGamma), 1 / 0.45455, 1e-9);
  EXPECT_EQ(Pixels(direct), Expected(f));

  std::uint8_t table[256];
  for (int i = 0; i < 256; ++i) table[i] = std::uint8_t(std::lround(255 * std::pow(i / 255.0, (1 / 0.45455) / 1.8)));
  std::vector<std::uint32_t> corrected;
  for (std::uint32_t c : Expected(f))
    corrected.push_back(RGBColor(table[GetRValue(c)], table[GetGValue(c)], table[GetBValue(c)]));
  TPixelGraphic loaded;
  loaded.LoadFromFile(path);
  EXPECT_EQ(Pixels(loaded), corrected);
  EXPECT_EQ(loaded.FileGamma, PGSettings().DisplayGamma);

  // Within 5 % of the display gamma nothing changes.
  f.Gama = 55556;
  TPixelGraphic close;
  close.LoadFromFile(f.Save(Dir, "close"));
  EXPECT_EQ(Pixels(close), Expected(f));
}

TEST_F(PngTest, InfoReportsTheHeaderAndChunks) {
  TPngFile f;
  f.ColorType = 6;
  f.Interlaced = true;
  f.Gama = 45455;
  f.Bkgd = Be16({1, 2, 3});
  f.ExtraChunks = true;
  f.Fill();
  TFileInfo info = Info(f.Save(Dir, "rgba"));
  EXPECT_EQ(info.SubformatText, "RGB, alpha, interlaced");
  EXPECT_EQ(info.ExtraText, "(gama, bkgd, phys, time)");
  EXPECT_EQ(info.BitsPerPixel, 32);
  EXPECT_EQ(info.ColorCountText, "16.7M?");
  EXPECT_EQ(info.Width, 13);
  EXPECT_EQ(info.Height, 11);

  TPngFile pal;
  pal.ColorType = 3;
  pal.BitDepth = 2;
  pal.Plte = MakePalette(4);
  pal.Trns = {0};
  pal.Fill();
  info = Info(pal.Save(Dir, "pal"));
  EXPECT_EQ(info.SubformatText, "palette");
  EXPECT_EQ(info.ExtraText, "(plte, trns)");
  EXPECT_EQ(info.ColorCountText, "4");

  const struct {
    int ColorType, BitDepth;
    const char* Count;
    const char* Subformat;
  } kCounts[] = {{0, 1, "2", "GrayScale"}, {0, 4, "16", "GrayScale"}, {0, 8, "256", "GrayScale"},
                 {0, 16, "64K?", "GrayScale"}, {2, 8, "16.7M", "RGB"}, {2, 16, "?", "RGB"},
                 {4, 8, "64K?", "GrayScale, alpha"}};
  for (const auto& c : kCounts) {
    TPngFile g;
    g.ColorType = c.ColorType;
    g.BitDepth = c.BitDepth;
    g.Fill();
    info = Info(g.Save(Dir, "count"));
    EXPECT_EQ(info.ColorCountText, c.Count) << c.ColorType << "/" << c.BitDepth;
    EXPECT_EQ(info.SubformatText, c.Subformat);
    EXPECT_EQ(info.ExtraText, "");
  }
}

// ---------------------------------------------------------------- failures

class PngFailureTest : public PngTest {
 protected:
  void SetUp() override {
    PngTest::SetUp();
    File.ColorType = 2;
    File.Fill();
    Bytes = peer::ReadFile(File.Save(Dir, "good"));
  }
  std::string Load(const std::vector<std::uint8_t>& bytes, TPGWarningAction action = pgwaRaise) {
    Image.ReadWarningAction = action;
    TMemoryStream stream(bytes);
    return MessageOf([&] { TPNGFileFormatReader().ReadImage(stream, Image, 0); });
  }
  TPngFile File;
  std::vector<std::uint8_t> Bytes;
  TPixelGraphic Image;
};

TEST_F(PngFailureTest, CorruptDataRaisesLibpngText) {
  std::vector<std::uint8_t> bad = Bytes;
  bad[bad.size() - 16] ^= 0xFF;  // inside the IDAT checksum
  EXPECT_EQ(Load(bad), "PNG: IDAT: CRC error");
  std::vector<std::uint8_t> cut(Bytes.begin(), Bytes.begin() + std::ptrdiff_t(Bytes.size() / 2));
  EXPECT_EQ(Load(cut), "PNG: Read Error");
  std::vector<std::uint8_t> notPng = Bytes;
  notPng[1] = 'Q';
  EXPECT_FALSE(TPNGFileFormatReader().CheckSignature(notPng.data(), 8));
  EXPECT_TRUE(TPNGFileFormatReader().CheckSignature(Bytes.data(), 8));
  EXPECT_FALSE(TPNGFileFormatReader().CheckSignature(Bytes.data(), 7));
  EXPECT_EQ(Load(notPng).rfind("PNG: ", 0), 0u);
  TMemoryStream stream(Bytes);
  EXPECT_EQ(MessageOf([&] { TPNGFileFormatReader().ReadImage(stream, Image, 1); }), "PNG: Index invalid");
  TFileInfo info;
  EXPECT_EQ(MessageOf([&] { TPNGFileFormatReader().ReadInfo(stream, 1, info); }), "PNG: Invalid value for Index");
  TMemoryStream cutStream(std::vector<std::uint8_t>(Bytes.begin(), Bytes.begin() + 20));
  EXPECT_EQ(MessageOf([&] { TPNGFileFormatReader().ReadInfo(cutStream, 0, info); }), "PNG: Read Error");
}

TEST_F(PngFailureTest, WarningsFollowThePolicy) {
  File.Gama = 45455;
  File.BadGamaCrc = true;
  const std::vector<std::uint8_t> warned = peer::ReadFile(File.Save(Dir, "badgama"));
  EXPECT_EQ(Load(warned, pgwaIgnore), "(nothing raised)");
  EXPECT_EQ(Pixels(Image), Expected(File));
  {
    TBoxRecorder boxes(TPGMsgResult::mrOK);
    EXPECT_EQ(Load(warned, pgwaOKBox), "(nothing raised)");
    ASSERT_EQ(boxes.Texts.size(), 1u);
    EXPECT_EQ(boxes.Texts[0], "gAMA: CRC error");
    EXPECT_EQ(boxes.Captions[0], "PNG Warning");
    EXPECT_EQ(Load(warned, pgwaOKCancelBox), "(nothing raised)");
  }
  EXPECT_EQ(Load(warned, pgwaOKCancelBox), "PNG: Operation aborted on user request");
  EXPECT_EQ(Load(warned, pgwaRaise), "PNG: gAMA: CRC error");
  TMemoryStream stream(warned);
  TFileInfo info;
  EXPECT_EQ(MessageOf([&] { TPNGFileFormatReader().ReadInfo(stream, 0, info); }), "PNG: gAMA: CRC error");
}

TEST_F(PngFailureTest, OversizedImagesAreRefusedBeforeAllocation) {
  PGSettings().MaxImagePixels = std::uint64_t(File.Width) * File.Height - 1;
  EXPECT_EQ(Load(Bytes), "PNG: Invalid size of image");
  EXPECT_TRUE(Image.Empty());
  PGSettings() = Saved;
  // A header claiming 900000 x 900000 pixels, with a valid checksum.
  std::vector<std::uint8_t> bytes = Bytes;
  const std::vector<std::uint8_t> size = {0x00, 0x0D, 0xBB, 0xA0, 0x00, 0x0D, 0xBB, 0xA0};
  std::copy(size.begin(), size.end(), bytes.begin() + 16);
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 12; i < 29; ++i) {
    crc ^= bytes[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  crc ^= 0xFFFFFFFFu;
  for (int i = 0; i < 4; ++i) bytes[std::size_t(29 + i)] = std::uint8_t(crc >> (24 - 8 * i));
  EXPECT_EQ(Load(bytes), "PNG: Invalid size of image");
  EXPECT_TRUE(Image.Empty());
}

TEST_F(PngFailureTest, ForeignExceptionsPassThroughAfterRelease) {
  int ends = 0;
  Image.OnProgressEnd = [&](void*) { ++ends; };
  Image.OnProgress = [](void*, int step, int, bool&) {
    if (step == 4) throw std::runtime_error("handler failed");
  };
  TMemoryStream stream(Bytes);
  EXPECT_THROW(TPNGFileFormatReader().ReadImage(stream, Image, 0), std::runtime_error);
  EXPECT_EQ(ends, 1);
}

// ---------------------------------------------------------------- writing

// A device that takes only the first limit bytes.
class TShortStream : public TMemoryStream {
 public:
  explicit TShortStream(std::int64_t limit) : Limit(limit) {}
  std::int64_t Write(const void* buffer, std::int64_t count) override {
    return TMemoryStream::Write(buffer, std::min<std::int64_t>(count, std::max<std::int64_t>(0, Limit - Size())));
  }

 private:
  std::int64_t Limit;
};

class PngWriteTest : public PngTest {
 protected:
  // Our file, read back by us, Pillow and ImageMagick, must show the image unchanged.
  void ExpectPeersAgree(TPixelGraphic& image, const std::string& path) {
    const peer::RgbImage ours = peer::ToRgb(image);
    EXPECT_EQ(Pillow(path), ours);
    EXPECT_EQ(peer::DecodeWithMagick(path), ours);
    TPixelGraphic back;
    Read(path, back);
    EXPECT_EQ(back.PixelFormat(), image.PixelFormat());
    EXPECT_EQ(Pixels(back), Pixels(image));
    EXPECT_EQ(back.PaletteEntries(), image.PaletteEntries());
  }
};

TEST_F(PngWriteTest, TrueColourBecomesRgbWithGamma) {
  TPixelGraphic image;
  peer::FromRgb(image, peer::Pattern(29, 17));
  const std::string path = Write(image, "rgb.png");
  EXPECT_EQ(Chunks(path), "bd8 ct2 gamma45455 IHDR,gAMA,IDAT,IEND");
  ExpectPeersAgree(image, path);
  PGSettings().PngWriteGamma = false;
  EXPECT_EQ(Chunks(Write(image, "nogamma.png")), "bd8 ct2 IHDR,IDAT,IEND");
}

TEST_F(PngWriteTest, PaletteDepthsChooseGreyOrPaletteType) {
  const struct {
    TPGPixelFormat Format;
    TPaletteIdent Palette;
    const char* Chunks;
  } kCases[] = {{pgpf8Bit, pGray256, "bd8 ct0 gamma45455 IHDR,gAMA,IDAT,IEND"},
                {pgpf8Bit, pSpecial216, "bd8 ct3 gamma45455 plte216 IHDR,gAMA,PLTE,IDAT,IEND"},
                {pgpf4Bit, pSys16, "bd4 ct3 gamma45455 plte16 IHDR,gAMA,PLTE,IDAT,IEND"},
                {pgpf4Bit, pGray16, "bd4 ct3 gamma45455 plte16 IHDR,gAMA,PLTE,IDAT,IEND"},
                {pgpf1Bit, pBlackWhite, "bd1 ct3 gamma45455 plte2 IHDR,gAMA,PLTE,IDAT,IEND"}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.Chunks);
    TPixelGraphic image;
    image.SetSizeAndFormat(21, 9, c.Format);
    image.SetPaletteIdent(c.Palette);
    const int colours = image.PaletteCount();
    for (int y = 0; y < 9; ++y)
      for (int x = 0; x < 21; ++x) image.SetPixel(x, y, std::uint32_t((x * 7 + y * 3) % colours));
    const std::string path = Write(image, "palette.png");
    EXPECT_EQ(Chunks(path), c.Chunks);
    ExpectPeersAgree(image, path);
  }
}

TEST_F(PngWriteTest, ProgressAndFailures) {
  TPixelGraphic image;
  peer::FromRgb(image, peer::Pattern(10, 6));
  std::vector<int> steps;
  int max = 0;
  image.OnProgress = [&](void*, int step, int m, bool& abort) {
    steps.push_back(step);
    max = m;
    abort = true;
  };
  TMemoryStream whole;
  TPNGFileFormatWriter().Write(whole, image);
  EXPECT_EQ(steps, (std::vector<int>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(max, 5);
  TPixelGraphic back;
  whole.SetPosition(0);
  TPNGFileFormatReader().ReadImage(whole, back, 0);
  EXPECT_EQ(Pixels(back), Pixels(image));

  TShortStream shortStream(40);
  EXPECT_EQ(MessageOf([&] { TPNGFileFormatWriter().Write(shortStream, image); }), "PNG: Write Error");

  int ends = 0;
  image.OnProgressEnd = [&](void*) { ++ends; };
  image.OnProgress = [](void*, int step, int, bool&) {
    if (step == 2) throw std::runtime_error("handler failed");
  };
  TMemoryStream stream;
  EXPECT_THROW(TPNGFileFormatWriter().Write(stream, image), std::runtime_error);
  EXPECT_EQ(ends, 1);
}

// Any setting but libpng's defaults compresses the rows in parts on
// several threads: every kind of image comes out whole for us and the
// peers, and level and strategy still mean what zlib means by them. The
// photo-like image spans three parts.
TEST_F(PngWriteTest, CompressionSettingsKeepEveryPixel) {
  TPixelGraphic photo, grey, palette, bilevel;
  peer::RgbImage pixels = peer::Pattern(1500, 2000);
  std::uint32_t seed = 5;
  for (std::uint8_t& v : pixels.Rgb) v = std::uint8_t(v / 2 + ((seed = seed * 1664525u + 1013904223u) >> 27));
  peer::FromRgb(photo, pixels);
  TPixelGraphic small;
  peer::FromRgb(small, peer::Pattern(53, 31));
  peer::GreyCopy(small, grey);
  palette.SetSizeAndFormat(53, 31, pgpf4Bit);
  palette.SetPaletteIdent(pSys16);
  palette.CopyRect(0, 0, small, 0, 0, 53, 31);
  bilevel.SetSizeAndFormat(53, 31, pgpf1Bit);
  bilevel.SetPaletteIdent(pBlackWhite);
  bilevel.CopyRect(0, 0, small, 0, 0, 53, 31);
  const std::pair<int, TPngStrategy> kSettings[] = {{6, TPngStrategy::psDefault},
                                                    {1, TPngStrategy::psRle},
                                                    {9, TPngStrategy::psHuffmanOnly},
                                                    {3, TPngStrategy::psAuto}};
  for (const auto& [level, strategy] : kSettings) {
    SCOPED_TRACE(level);
    PGSettings().PngCompressionLevel = std::uint8_t(level);
    PGSettings().PngCompressionStrategy = strategy;
    for (TPixelGraphic* image : {&photo, &grey, &palette, &bilevel}) {
      const std::string path = Write(*image, "parts.png");
      ExpectPeersAgree(*image, path);
    }
  }
  PGSettings().PngCompressionStrategy = TPngStrategy::psDefault;
  PGSettings().PngCompressionLevel = 0;
  const auto stored = peer::ReadFile(Write(photo, "stored.png")).size();
  PGSettings().PngCompressionLevel = 9;
  const auto smallest = peer::ReadFile(Write(photo, "smallest.png")).size();
  EXPECT_GT(stored, 1500u * 2000u * 3u);
  EXPECT_LT(smallest, stored * 3 / 4);
}

// The road in parts filters every row as libpng does: the inflated data of
// both are the same, for rows of one to several hundred pixels and one or
// three bytes a pixel.
TEST_F(PngWriteTest, PartsFilterEveryRowAsLibpngDoes) {
  const char* const kInflated =
      "import hashlib, struct, sys, zlib\n"
      "d = open(sys.argv[1], 'rb').read()[8:]\n"
      "idat = b''\n"
      "while d:\n"
      "    n, kind = struct.unpack('>I4s', d[:8])\n"
      "    idat += d[8:8 + n] if kind == b'IDAT' else b''\n"
      "    d = d[12 + n:]\n"
      "print(hashlib.sha256(zlib.decompress(idat)).hexdigest())\n";
  std::ofstream(Dir + "/inflated.py") << kInflated;
  const auto inflated = [&](const std::string& path) {
    std::string out;
    EXPECT_EQ(peer::Run(std::string(peer::kPython) + " " + Dir + "/inflated.py " + path, &out), 0);
    return out;
  };
  TPixelGraphic rgb, grey, tiny;
  peer::RgbImage pixels = peer::Pattern(700, 40);
  std::uint32_t seed = 9;
  for (std::uint8_t& v : pixels.Rgb) v = std::uint8_t(v / 2 + ((seed = seed * 1664525u + 1013904223u) >> 26));
  peer::FromRgb(rgb, pixels);
  peer::GreyCopy(rgb, grey);
  peer::FromRgb(tiny, peer::Pattern(1, 3));
  for (TPixelGraphic* image : {&rgb, &grey, &tiny}) {
    SCOPED_TRACE(image->Width());
    PGSettings().PngCompressionLevel = 6;
    PGSettings().PngCompressionStrategy = TPngStrategy::psAuto;  // libpng's own road
    const std::string byLibpng = inflated(Write(*image, "libpng.png"));
    PGSettings().PngCompressionStrategy = TPngStrategy::psRle;   // in parts
    EXPECT_EQ(inflated(Write(*image, "parts.png")), byLibpng);
  }
  PGSettings().PngCompressionStrategy = TPngStrategy::psDefault;
}

// The road in parts reports rows and fails like libpng's.
TEST_F(PngWriteTest, CompressionInPartsReportsAndFailsLikeLibpng) {
  TPixelGraphic image;
  peer::FromRgb(image, peer::Pattern(10, 6));
  PGSettings().PngCompressionStrategy = TPngStrategy::psRle;
  std::vector<int> steps;
  int ends = 0;
  image.OnProgress = [&](void*, int step, int, bool&) { steps.push_back(step); };
  image.OnProgressEnd = [&](void*) { ++ends; };
  TMemoryStream whole;
  TPNGFileFormatWriter().Write(whole, image);
  EXPECT_EQ(steps, (std::vector<int>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(ends, 1);
  TShortStream shortStream(80);
  EXPECT_EQ(MessageOf([&] { TPNGFileFormatWriter().Write(shortStream, image); }), "PNG: Write Error");
  EXPECT_EQ(ends, 2);
}

// Loading and saving by name go through these classes.
TEST_F(PngWriteTest, RegistryLoadsAndSavesThroughTheseClasses) {
  TPixelGraphic image;
  image.SetSizeAndFormat(15, 7, pgpf4Bit);
  image.SetPaletteIdent(pSys16);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 15; ++x) image.SetPixel(x, y, std::uint32_t((x + y) % 16));
  const std::string path = Dir + "/slice.png";
  image.SaveToFile(path);
  EXPECT_EQ(Chunks(path), "bd4 ct3 gamma45455 plte16 IHDR,gAMA,PLTE,IDAT,IEND");
  TPixelGraphic loaded;
  loaded.LoadFromFile(path);
  EXPECT_EQ(loaded.PixelFormat(), pgpf4Bit);
  EXPECT_EQ(loaded.PaletteIdent(), pSys16);
  EXPECT_EQ(Pixels(loaded), Pixels(image));
  TFileInfo info;
  std::string description;
  ASSERT_TRUE(GetFileInfo(path, 0, info, description));
  EXPECT_EQ(description, "Portable Network Graphics");
  EXPECT_EQ(info.SubformatText, "palette");
  EXPECT_EQ(info.ExtraText, "(gama, plte)");
  EXPECT_EQ(info.ColorCountText, "16");
}

TEST(PngClasses, FieldsFollowTheRegistryTables) {
  TPNGFileFormatReader reader;
  TPNGFileFormatWriter writer;
  EXPECT_EQ(reader.Extension, "png");
  EXPECT_EQ(reader.Description, "Portable Network Graphics");
  EXPECT_TRUE(reader.HasSignature && reader.Listed && writer.Listed);
  EXPECT_EQ(writer.CanWriteResolutions, 255);
  EXPECT_FALSE(writer.MultiImage);
}

}  // namespace
