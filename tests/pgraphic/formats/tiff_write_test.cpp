// The TIFF writer: layout of written directories, round trips through the
// reader, multi-image files and the PackBits encoder.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "pgraphic/core/settings.h"
#include "pgraphic/formats/tiff/tiff.h"
#include "pgraphic/formats/tiff_builder.h"
#include "pgraphic/formats/tiff/tiff_detail.h"
#include "support/peer.h"

using namespace tiff;
using tifftest::Bytes;
using tifftest::ParseDirectories;

namespace {

// A deterministic image of the given depth and palette; pixel values vary
// enough to produce both PackBits runs and literals.
void MakeImage(TPixelGraphic& image, int w, int h, TPGPixelFormat format, TPaletteIdent ident) {
  image.SetSizeAndFormat(w, h, format);
  if (format != pgpf24Bit) image.SetPaletteIdent(ident);
  if (ident == pUnknown) {
    image.SetPaletteCount(format == pgpf4Bit ? 11 : 200);
    for (int i = 0; i < image.PaletteCount(); ++i) image.SetPaletteEntry(i, RGBColor(i, 255 - i, i * 7 % 256));
  }
  const std::uint32_t colors = format == pgpf24Bit ? 0x1000000 : std::uint32_t(image.PaletteCount());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const std::uint32_t v = x < w / 3 ? std::uint32_t(y) : std::uint32_t(x * 31 + y * 17) * 2654435761u;
      image.SetPixel(x, y, v % colors);
    }
  image.ClassifyPalette();
}

Bytes Write(TPixelGraphic& image) {
  TMemoryStream s;
  TTIFFileFormatWriter().Write(s, image);
  return s.Bytes();
}

// Whole bottom-up pixel memory.
Bytes Pixels(TPixelGraphic& image) { return Bytes(image.Bits(), image.Bits() + image.ImageSize()); }

void ExpectSameImage(TPixelGraphic& a, TPixelGraphic& b, const std::string& what) {
  EXPECT_EQ(a.Width(), b.Width()) << what;
  EXPECT_EQ(a.Height(), b.Height()) << what;
  EXPECT_EQ(a.PixelFormat(), b.PixelFormat()) << what;
  // A file's colour map always has 2^bits entries; the ones past the
  // image's palette are black.
  std::vector<TRGB> palette = a.PaletteEntries();
  if (a.PixelFormat() == pgpf4Bit || a.PixelFormat() == pgpf8Bit) palette.resize(std::size_t(1) << a.BitCount(), 0);
  EXPECT_EQ(palette, b.PaletteEntries()) << what;
  EXPECT_EQ(Pixels(a), Pixels(b)) << what;
}

std::vector<std::uint32_t> Values(const tifftest::ParsedDirectory& d, std::uint16_t tag) {
  const auto it = d.Entries.find(tag);
  return it == d.Entries.end() ? std::vector<std::uint32_t>{} : it->second.Values;
}

struct TKind {
  TPGPixelFormat Format;
  TPaletteIdent Ident;
};
const TKind Kinds[] = {{pgpf1Bit, pBlackWhite}, {pgpf4Bit, pGray16},   {pgpf4Bit, pUnknown},
                       {pgpf8Bit, pGray256},    {pgpf8Bit, pUnknown},  {pgpf24Bit, pTrueColor}};

}  // namespace

TEST(TiffWriter, ClassFields) {
  TTIFFileFormatWriter tif;
  TTIFFFileFormatWriter tiff;
  EXPECT_EQ(tif.Extension, "tif");
  EXPECT_EQ(tiff.Extension, "tiff");
  EXPECT_TRUE(tif.Listed);
  EXPECT_FALSE(tiff.Listed);
  EXPECT_TRUE(tiff.MultiImage);
  EXPECT_EQ(tiff.CanWriteResolutions, 253);
  EXPECT_EQ(tiff.Description, "Tagged Image File Format");
}

TEST(TiffWriter, EveryDepthRoundTripsInEverySetting) {
  tifftest::TSettingsGuard guard;
  for (const TKind& k : Kinds)
    for (std::uint16_t compression : {std::uint16_t(compNone), std::uint16_t(compPackBits)})
      for (int variant = 0; variant < 4; ++variant) {
        PGSettings().TiffCompression = compression;
        PGSettings().TiffBigEndian = variant & 1;
        PGSettings().TiffWhiteIsZero = variant & 2;
        PGSettings().TiffWriteCMYK = variant & 2;
        TPixelGraphic image, back;
        MakeImage(image, 37, 9, k.Format, k.Ident);
        const Bytes file = Write(image);
        TMemoryStream s(file);
        TTIFFileFormatReader().ReadImage(s, back, 0);
        ExpectSameImage(image, back, std::to_string(k.Format) + "/" + std::to_string(k.Ident) + "/" +
                                         std::to_string(compression) + "/" + std::to_string(variant));
      }
}

TEST(TiffWriter, DirectoryLayout) {
  tifftest::TSettingsGuard guard;
  PGSettings().TiffResolutionUnit = 2;
  PGSettings().TiffXResolution = {72, 1};
  PGSettings().TiffYResolution = {150, 2};
  TPixelGraphic image;
  MakeImage(image, 5, 3, pgpf24Bit, pTrueColor);
  const Bytes file = Write(image);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 8), (Bytes{'I', 'I', 42, 0, 8, 0, 0, 0}));
  const auto dirs = ParseDirectories(file);
  ASSERT_EQ(dirs.size(), 1u);
  const auto& d = dirs[0];
  EXPECT_EQ(d.TagOrder, (std::vector<std::uint16_t>{254, 256, 257, 258, 259, 262, 273, 277, 278, 279, 282, 283, 296}));
  EXPECT_EQ(d.Entries.at(tagImageWidth).Type, ftLong);
  EXPECT_EQ(Values(d, tagBitsPerSample), (std::vector<std::uint32_t>{8, 8, 8}));
  EXPECT_EQ(Values(d, tagPhotometric), std::vector<std::uint32_t>{phRGB});
  EXPECT_EQ(Values(d, tagXResolution), (std::vector<std::uint32_t>{72, 1}));
  EXPECT_EQ(Values(d, tagYResolution), (std::vector<std::uint32_t>{150, 2}));
  EXPECT_EQ(Values(d, tagResolutionUnit), std::vector<std::uint32_t>{3});
  EXPECT_EQ(Values(d, tagRowsPerStrip), std::vector<std::uint32_t>{3});
  EXPECT_EQ(Values(d, tagStripByteCounts), std::vector<std::uint32_t>{45});
  // The strip follows the directory data at an even offset; the pixels are R, G, B.
  const std::uint32_t strip = Values(d, tagStripOffsets).at(0);
  EXPECT_EQ(strip % 2, 0u);
  const TRGB first = image.GetPixelColor(0, 0);
  EXPECT_EQ(Bytes(file.begin() + strip, file.begin() + strip + 3),
            (Bytes{std::uint8_t(GetRValue(first)), std::uint8_t(GetGValue(first)), std::uint8_t(GetBValue(first))}));
  EXPECT_EQ(file.size(), strip + 45u);
}

TEST(TiffWriter, PhotometricColorMapAndStrips) {
  tifftest::TSettingsGuard guard;
  PGSettings().TiffCompression = compPackBits;
  TPixelGraphic image;
  MakeImage(image, 6, 2, pgpf4Bit, pSys16);
  auto d = ParseDirectories(Write(image)).at(0);
  EXPECT_EQ(Values(d, tagPhotometric), std::vector<std::uint32_t>{phPalette});
  EXPECT_EQ(Values(d, tagCompression), std::vector<std::uint32_t>{compPackBits});
  const auto map = Values(d, tagColorMap);
  ASSERT_EQ(map.size(), 48u);
  EXPECT_EQ(map[9], 0xFFFFu);       // red of system colour 9 (FF0000)
  EXPECT_EQ(map[16 + 9], 0u);
  EXPECT_EQ(map[16 + 7], 0xC0C0u);  // green of C0C0C0

  MakeImage(image, 4, 2, pgpf8Bit, pUnknown);  // 200 entries: the rest of the map is 0
  d = ParseDirectories(Write(image)).at(0);
  EXPECT_EQ(Values(d, tagColorMap).size(), 768u);
  EXPECT_EQ(Values(d, tagColorMap)[255], 0u);
  EXPECT_EQ(Values(d, tagColorMap)[199], 199u * 257);

  PGSettings().TiffWhiteIsZero = true;
  MakeImage(image, 4, 2, pgpf8Bit, pGray256);
  EXPECT_EQ(Values(ParseDirectories(Write(image)).at(0), tagPhotometric), std::vector<std::uint32_t>{phWhiteIsZero});

  PGSettings().TiffCompression = compNone;
  PGSettings().TiffWriteCMYK = true;
  MakeImage(image, 11000, 2, pgpf24Bit, pTrueColor);
  d = ParseDirectories(Write(image)).at(0);
  EXPECT_EQ(Values(d, tagRowsPerStrip), std::vector<std::uint32_t>{1});
  EXPECT_EQ(Values(d, tagStripByteCounts), (std::vector<std::uint32_t>{44000, 44000}));
  EXPECT_EQ(Values(d, tagPhotometric), std::vector<std::uint32_t>{phSeparated});
  EXPECT_EQ(Values(d, tagBitsPerSample), (std::vector<std::uint32_t>{8, 8, 8, 8}));

  MakeImage(image, 1000, 70, pgpf8Bit, pGray256);  // 32 rows per strip: 3 strips
  d = ParseDirectories(Write(image)).at(0);
  EXPECT_EQ(Values(d, tagRowsPerStrip), std::vector<std::uint32_t>{32});
  EXPECT_EQ(Values(d, tagStripByteCounts), (std::vector<std::uint32_t>{32000, 32000, 6000}));
}

TEST(TiffWriter, CMYKAndWhiteIsZeroBytes) {
  tifftest::TSettingsGuard guard;
  PGSettings().TiffWriteCMYK = true;
  PGSettings().TiffWhiteIsZero = true;
  TPixelGraphic rgb, bw;
  rgb.SetSizeAndFormat(2, 1, pgpf24Bit);
  rgb.SetPixelColor(0, 0, RGBColor(240, 230, 50));
  rgb.SetPixelColor(1, 0, RGBColor(0, 0, 0));
  Bytes file = Write(rgb);
  std::uint32_t strip = Values(ParseDirectories(file).at(0), tagStripOffsets).at(0);
  EXPECT_EQ(Bytes(file.begin() + strip, file.end()), (Bytes{0, 10, 190, 15, 0, 0, 0, 255}));

  MakeImage(bw, 10, 1, pgpf1Bit, pBlackWhite);
  bw.ScanLine(0)[0] = 0xA5;
  bw.ScanLine(0)[1] = 0x40;
  file = Write(bw);
  strip = Values(ParseDirectories(file).at(0), tagStripOffsets).at(0);
  EXPECT_EQ(Bytes(file.begin() + strip, file.end()), (Bytes{0x5A, 0x80}));
}

TEST(TiffWriter, MultiImageFilesAndTheChainWalk) {
  tifftest::TSettingsGuard guard;
  PGSettings().TiffBigEndian = true;
  TPixelGraphic a, b, c, back;
  MakeImage(a, 7, 3, pgpf8Bit, pUnknown);
  MakeImage(b, 4, 5, pgpf24Bit, pTrueColor);
  MakeImage(c, 9, 1, pgpf1Bit, pBlackWhite);
  TMemoryStream s;
  s.WriteBuffer("junk", 4);  // offsets count from the header, not the stream
  TTIFFileFormatWriter w;
  w.BeginFile(s);
  for (TPixelGraphic* g : {&a, &b, &c}) w.AppendImage(s, *g);
  w.EndFile(s);
  const Bytes file(s.Bytes().begin() + 4, s.Bytes().end());
  EXPECT_EQ(ParseDirectories(file).size(), 3u);

  TTIFFileFormatReader r;
  TFileInfo info;
  s.SetPosition(4);
  r.ReadInfo(s, 0, info);
  EXPECT_EQ(info.ImageCount, 1);
  PGSettings().TiffCountImages = true;
  s.SetPosition(4);
  r.ReadInfo(s, 0, info);
  EXPECT_EQ(info.ImageCount, 3);
  s.SetPosition(4);
  r.ReadImage(s, back, 1);
  ExpectSameImage(b, back, "second image");
  s.SetPosition(4);
  r.ReadImage(s, back, 2);
  ExpectSameImage(c, back, "third image");
  PGSettings().TiffMaxImages = 2;  // too long a chain counts as one image
  s.SetPosition(4);
  r.ReadInfo(s, 0, info);
  EXPECT_EQ(info.ImageCount, 1);
}

TEST(TiffWriter, Refusals) {
  tifftest::TSettingsGuard guard;
  TPixelGraphic image, empty;
  MakeImage(image, 2, 2, pgpf8Bit, pGray256);
  const auto message = [](auto&& f) -> std::string {
    try {
      f();
    } catch (const EPGTIFFileFormatWriter& e) {
      return e.what();
    }
    return "no error";
  };
  TMemoryStream s;
  EXPECT_EQ(message([&] { TTIFFileFormatWriter().AppendImage(s, image); }), "TIFF: Internal Error");
  TTIFFileFormatWriter finished;
  finished.Write(s, image);
  EXPECT_EQ(message([&] { finished.AppendImage(s, image); }), "TIFF: Internal Error");
  EXPECT_EQ(message([&] { Write(empty); }), "TIFF: Width = 0 or Height = 0");
  PGSettings().TiffCompression = 5;
  EXPECT_EQ(message([&] { Write(image); }), "TIFF: Internal Error");
}

TEST(TiffWriter, ProgressPerRow) {
  TPixelGraphic image;
  MakeImage(image, 3, 3, pgpf24Bit, pTrueColor);
  std::vector<std::string> events;
  image.OnProgressStart = [&](void*) { events.push_back("start"); };
  image.OnProgressEnd = [&](void*) { events.push_back("end"); };
  image.OnProgress = [&](void*, int step, int max, bool& abort) {
    events.push_back(std::to_string(step) + "/" + std::to_string(max));
    abort = true;  // not consulted by the writer
  };
  Write(image);
  EXPECT_EQ(events, (std::vector<std::string>{"start", "0/2", "1/2", "2/2", "end"}));
}

TEST(TiffPackBits, EncoderFollowsTheRunRules) {
  const auto encode = [](const Bytes& in) {
    Bytes out(2 * in.size() + 2);
    out.resize(PackBitsEncode(in.data(), in.size(), out.data()));
    return out;
  };
  EXPECT_EQ(encode({7, 7, 7}), (Bytes{0xFE, 7}));
  EXPECT_EQ(encode({7, 7}), (Bytes{0xFF, 7}));
  EXPECT_EQ(encode({1, 2, 2, 3}), (Bytes{3, 1, 2, 2, 3}));     // a pair beside literals joins them
  EXPECT_EQ(encode({2, 2, 1}), (Bytes{2, 2, 2, 1}));
  EXPECT_EQ(encode({5, 5, 5, 2, 2, 6, 6, 6}), (Bytes{0xFE, 5, 0xFF, 2, 0xFE, 6}));
  EXPECT_EQ(encode({1, 2, 3, 3, 3}), (Bytes{1, 1, 2, 0xFE, 3}));
  EXPECT_EQ(encode(Bytes(129, 4)), (Bytes{0x81, 4, 0, 4}));
  Bytes literal(130);
  for (std::size_t i = 0; i < literal.size(); ++i) literal[i] = std::uint8_t(i);
  const Bytes packed = encode(literal);
  ASSERT_EQ(packed.size(), 132u);
  EXPECT_EQ(packed[0], 127);
  EXPECT_EQ(packed[129], 1);
}

TEST(TiffPackBits, DecoderInvertsEncoderWithinTwiceTheLength) {
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    Bytes row(1 + rng() % 600);
    for (auto& b : row) b = std::uint8_t(rng() % (round % 2 ? 3 : 256));
    Bytes packed(2 * row.size());
    packed.resize(PackBitsEncode(row.data(), row.size(), packed.data()));
    ASSERT_LE(packed.size(), 2 * row.size());
    TMemoryStream s(packed);
    TSource src(s);
    const auto decoder = MakePackBitsDecoder(src, 0, std::int64_t(packed.size()));
    Bytes back(row.size());
    decoder->Read(back.data(), back.size(), 0);
    ASSERT_EQ(back, row) << round;
  }
}

TEST(TiffWriter, ThroughTheRegistryByExtension) {
  const std::string dir = peer::ScratchDir("tiff_registry");
  TPixelGraphic image, back;
  MakeImage(image, 12, 5, pgpf8Bit, pGray256);
  for (const char* name : {"/a.tif", "/b.TIFF"}) {
    image.SaveToFile(dir + name);
    back.LoadFromFile(dir + name);
    back.ClassifyPalette();
    ExpectSameImage(image, back, name);
    EXPECT_EQ(back.PaletteIdent(), pGray256);
  }
  std::string description;
  TFileInfo info;
  ASSERT_TRUE(GetFileInfo(dir + "/a.tif", 0, info, description));
  EXPECT_EQ(description, "Tagged Image File Format");
  EXPECT_EQ(info.SubformatText, "I, Uncompr., BlackIsZero");
}
