// JPEG reader and writer against files and decodings of the peer tools
// (Pillow, ImageMagick, and djpeg/cjpeg of the same codec).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "pgraphic/core/library.h"
#include "pgraphic/core/settings.h"
#include "pgraphic/core/uihooks.h"
#include "pgraphic/formats/jpeg/jpeg.h"
#include "codec_test_support.h"
#include "support/icc_profiles.h"
#include "support/peer.h"

namespace {

using codectest::TBoxRecorder;
using codectest::TestName;

constexpr int kWidth = 67;  // odd sizes: partial MCUs and padded rows
constexpr int kHeight = 45;

// A memory stream that fails after a number of bytes, by a short count or by throwing.
class TFailingStream : public TMemoryStream {
 public:
  TFailingStream(std::vector<std::uint8_t> data, std::int64_t limit, bool throws)
      : TMemoryStream(std::move(data)), Limit(limit), Throws(throws) {}
  std::int64_t Read(void* buffer, std::int64_t count) override {
    return TMemoryStream::Read(buffer, Allowed(count));
  }
  std::int64_t Write(const void* buffer, std::int64_t count) override {
    return TMemoryStream::Write(buffer, Allowed(count));
  }

 private:
  std::int64_t Allowed(std::int64_t count) {
    const std::int64_t left = std::max<std::int64_t>(0, Limit - Moved);
    if (count > left && Throws) throw EStreamError("device gone");
    Moved += std::min(count, left);
    return std::min(count, left);
  }
  std::int64_t Limit, Moved = 0;
  bool Throws;
};

class JpegTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PGLibraryInit();
    Saved = PGSettings();
    Dir = peer::ScratchDir("jpeg_" + TestName());
    Source = Dir + "/source.ppm";
    peer::WritePpm(Source, peer::Pattern(kWidth, kHeight));
  }
  void TearDown() override { PGSettings() = Saved; }

  // Files written by the peers from the same source.
  void MakePeerFiles() {
    ASSERT_EQ(peer::Python("from PIL import Image\n"
                           "im = Image.open('" + Source + "')\n"
                           "im.save('" + Dir + "/base.jpg', quality=85)\n"
                           "im.save('" + Dir + "/prog.jpg', quality=85, progressive=True)\n"
                           "im.convert('CMYK').save('" + Dir + "/cmyk.jpg', quality=90)\n"),
              0);
    ASSERT_EQ(peer::Run("convert '" + Source + "' -type Grayscale -quality 85 '" + Dir + "/grey.jpg'"), 0);
  }

  std::string Path(const std::string& name) const { return Dir + "/" + name; }

  TPGLibrarySettings Saved;
  std::string Dir, Source;
};

void ReadJpeg(const std::string& path, TPixelGraphic& image) {
  TFileStream stream(path, TFileStream::fmOpenRead);
  TJPGFileFormatReader().ReadImage(stream, image, 0);
}

void ReadJpegBytes(const std::vector<std::uint8_t>& bytes, TPixelGraphic& image) {
  TMemoryStream stream(bytes);
  TJPGFileFormatReader().ReadImage(stream, image, 0);
}

TFileInfo JpegInfo(const std::string& path) {
  TFileStream stream(path, TFileStream::fmOpenRead);
  TFileInfo info;
  TJIFFileFormatReader().ReadInfo(stream, 0, info);
  return info;
}

std::vector<std::uint8_t> WriteJpeg(TPixelGraphic& image) {
  TMemoryStream stream;
  TJPGFileFormatWriter().Write(stream, image);
  return stream.Bytes();
}

peer::RgbImage Djpeg(const std::string& path, const std::string& dct) {
  const std::string out = path + "." + dct + ".pnm";
  EXPECT_EQ(peer::Run("djpeg -dct " + dct + " -pnm -outfile '" + out + "' '" + path + "'"), 0);
  return peer::ReadPnm(out);
}

std::string MessageOf(const std::function<void()>& action) {
  return codectest::MessageOf<EPGJPGFileFormatReaderWriter>(action);
}

// Mean difference of the first `channels` bytes of each pixel of two equal-sized images.
double MeanDifference(const peer::RgbImage& a, const peer::RgbImage& b, std::size_t channels) {
  if (a.Rgb.empty() || a.Rgb.size() != b.Rgb.size()) return 256;
  double sum = 0;
  for (std::size_t i = 0; i < a.Rgb.size(); ++i)
    if (i % 3 < channels) sum += std::abs(a.Rgb[i] - b.Rgb[i]);
  return sum / double(a.Rgb.size() / 3 * channels);
}

void MakeGrey(TPixelGraphic& image, int width, int height) {
  image.SetSizeAndFormat(width, height, pgpf8Bit);
  image.SetPaletteIdent(pGray256);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) image.SetPixel(x, y, std::uint32_t((x * 3 + y * 5) & 0xFF));
}

// ---------------------------------------------------------------- reading

TEST_F(JpegTest, PeerFilesDecodeLikeTheCodecTool) {
  MakePeerFiles();
  for (const char* name : {"base.jpg", "prog.jpg", "grey.jpg"}) {
    SCOPED_TRACE(name);
    TPixelGraphic image;
    ReadJpeg(Path(name), image);
    const bool grey = std::string(name) == "grey.jpg";
    EXPECT_EQ(image.PixelFormat(), grey ? pgpf8Bit : pgpf24Bit);
    if (grey) {
      EXPECT_EQ(image.PaletteIdent(), pGray256);
    }
    EXPECT_EQ(peer::ToRgb(image), Djpeg(Path(name), "int"));
    EXPECT_EQ(image.FileGamma, PGSettings().DisplayGamma);
  }
}

TEST_F(JpegTest, DctMethodFollowsPreviewLoadAndSetting) {
  MakePeerFiles();
  TPixelGraphic preview;
  preview.PreviewLoad = true;
  ReadJpeg(Path("base.jpg"), preview);
  EXPECT_EQ(peer::ToRgb(preview), Djpeg(Path("base.jpg"), "fast"));

  PGSettings().JpegReadDctMethod = TJpegDctMethod::jdctFloat;
  TPixelGraphic image;
  ReadJpeg(Path("base.jpg"), image);
  EXPECT_EQ(peer::ToRgb(image), Djpeg(Path("base.jpg"), "float"));
}

TEST_F(JpegTest, InfoReportsTheFactsOfPeerFiles) {
  MakePeerFiles();
  const TFileInfo base = JpegInfo(Path("base.jpg"));
  EXPECT_EQ(base.SubformatText, "JFIF, YCbCr");
  EXPECT_EQ(base.ColorCountText, "16.7M");
  EXPECT_EQ(base.BitsPerPixel, 24);
  EXPECT_EQ(base.Width, kWidth);
  EXPECT_EQ(base.Height, kHeight);
  EXPECT_EQ(base.ImageCount, 1);
  EXPECT_EQ(JpegInfo(Path("prog.jpg")).SubformatText, "JFIF, YCbCr, Progressive");
  const TFileInfo grey = JpegInfo(Path("grey.jpg"));
  EXPECT_EQ(grey.SubformatText, "JFIF, GrayScale");
  EXPECT_EQ(grey.ColorCountText, "256");
  EXPECT_EQ(grey.BitsPerPixel, 8);
}

TEST_F(JpegTest, CmykReadsAsColourAndItsInfoNamesTheProfile) {
  MakePeerFiles();
  TPixelGraphic image;
  ReadJpeg(Path("cmyk.jpg"), image);
  EXPECT_EQ(image.PixelFormat(), pgpf24Bit);
  EXPECT_EQ(image.Width(), kWidth);
  const TFileInfo info = JpegInfo(Path("cmyk.jpg"));
  EXPECT_EQ(info.ColorProfileText, "ICC profile: none; the colours are converted through the generic CMYK profile");
  EXPECT_EQ(info.SubformatText, "Adope, CMYK");
  EXPECT_EQ(info.ColorCountText, "4294.9M");
  EXPECT_EQ(info.BitsPerPixel, 32);
  EXPECT_EQ(info.Width, kWidth);
}

// Pillow's ink values of a CMYK file (stored inverted, as Adobe's
// applications do, and marked so), four bytes a pixel, top row first.
std::vector<std::uint8_t> PillowInks(const std::string& path) {
  EXPECT_EQ(peer::Python("from PIL import Image\nopen('" + path + ".inks', 'wb').write(Image.open('" + path +
                         "').tobytes())\n"),
            0);
  return peer::ReadFile(path + ".inks");
}

// A CMYK file converts through its own profile as Little CMS converts it
// itself; without one, through the generic profile, which takes each ink
// away from white as browsers do, within a level; ImageMagick's own CMYK
// (YCCK) files too. Keeping a CMYK profile is refused.
TEST_F(JpegTest, CmykGoesToSRGBThroughItsProfileOrTheGenericOne) {
  MakePeerFiles();
  const std::string profile = Path("press.icc");
  ASSERT_EQ(peer::Python("import sys\nsys.path.insert(0, '" + std::string(TESSEL_SOURCE_DIR) + "/fuzz')\n"
                         "import iccprofiles\nfrom PIL import Image\n"
                         "open('" + profile + "', 'wb').write(iccprofiles.cmyk())\n"
                         "Image.open('" + Path("cmyk.jpg") + "').save('" + Path("tagged.jpg") +
                         "', quality=90, icc_profile=open('" + profile + "', 'rb').read())\n"),
            0);
  ASSERT_EQ(peer::Run("convert '" + Source + "' -colorspace CMYK -quality 90 '" + Path("ycck.jpg") + "'"), 0);
  const std::vector<std::uint8_t> press = peer::ReadFile(profile);
  for (const char* name : {"cmyk.jpg", "tagged.jpg", "ycck.jpg"}) {
    SCOPED_TRACE(name);
    TPixelGraphic image;
    ReadJpeg(Path(name), image);
    peer::RgbImage expected;
    if (std::string(name) == "ycck.jpg") {
      expected = peer::DecodeWithMagick(Path(name));
    } else {
      const std::vector<std::uint8_t> inks = PillowInks(Path(name));
      expected = {kWidth, kHeight, {}};
      if (std::string(name) == "tagged.jpg")
        expected.Rgb = icc::ToSRGB(press, inks, false, TYPE_CMYK_8);
      else
        for (std::size_t i = 0; i + 3 < inks.size(); i += 4)
          for (int c = 0; c < 3; ++c) expected.Rgb.push_back(std::uint8_t((255 - inks[i + c]) * (255 - inks[i + 3]) / 255.0 + 0.5));
    }
    const peer::RgbImage ours = peer::ToRgb(image);
    ASSERT_EQ(ours.Rgb.size(), expected.Rgb.size());
    int most = 0;
    for (std::size_t i = 0; i < ours.Rgb.size(); ++i) most = std::max(most, std::abs(ours.Rgb[i] - expected.Rgb[i]));
    EXPECT_LE(most, std::string(name) == "tagged.jpg" ? 0 : 1);
  }
  EXPECT_EQ(JpegInfo(Path("tagged.jpg")).ColorProfileText, "ICC profile: Press CMYK (test)");
  PGSettings().ColorProfile = TColorProfileMode::cpmKeep;
  TPixelGraphic kept;
  EXPECT_EQ(MessageOf([&] { ReadJpeg(Path("tagged.jpg"), kept); }),
            "JPG: A CMYK profile cannot be kept (ColorProfile=keep): the images written are RGB; convert the colours "
            "instead (ColorProfile=convert)");
  ReadJpeg(Path("cmyk.jpg"), kept);  // nothing to keep: converted as ever
  EXPECT_EQ(kept.PixelFormat(), pgpf24Bit);
}

class JpegTruncatedTest : public JpegTest {
 protected:
  void SetUp() override {
    JpegTest::SetUp();
    MakePeerFiles();
    Bytes = peer::ReadFile(Path("base.jpg"));
    Bytes.resize(Bytes.size() * 6 / 10);
  }
  std::string Load(TPGWarningAction action) {
    Image.ReadWarningAction = action;
    return MessageOf([&] { ReadJpegBytes(Bytes, Image); });
  }
  // The lost part of a baseline file decodes as flat grey.
  bool LastRowIsFlatGrey() {
    const std::uint8_t* row = Image.ScanLine(Image.Height() - 1);
    for (int i = 0; i < Image.Width() * 3; ++i)
      if (row[i] != 128) return false;
    return true;
  }
  std::vector<std::uint8_t> Bytes;
  TPixelGraphic Image;
};

TEST_F(JpegTruncatedTest, IgnoreAndOkBoxComplete) {
  EXPECT_EQ(Load(pgwaIgnore), "(nothing raised)");
  EXPECT_EQ(Image.Width(), kWidth);
  EXPECT_TRUE(LastRowIsFlatGrey());

  TBoxRecorder boxes(TPGMsgResult::mrOK);
  EXPECT_EQ(Load(pgwaOKBox), "(nothing raised)");
  EXPECT_TRUE(LastRowIsFlatGrey());
  ASSERT_EQ(boxes.Texts.size(), 1u);
  EXPECT_EQ(boxes.Texts[0], "Premature end of JPEG file");
  EXPECT_EQ(boxes.Captions[0], "JPG Warning");
  EXPECT_EQ(boxes.Buttons[0], TPGMsgButtons::mbOK);
}

TEST_F(JpegTruncatedTest, OkCancelBoxContinuesOnlyOnOk) {
  {
    TBoxRecorder boxes(TPGMsgResult::mrOK);
    EXPECT_EQ(Load(pgwaOKCancelBox), "(nothing raised)");
    EXPECT_EQ(boxes.Buttons.at(0), TPGMsgButtons::mbOKCancel);
  }
  {
    TBoxRecorder boxes(TPGMsgResult::mrCancel);
    EXPECT_EQ(Load(pgwaOKCancelBox), "JPG: Operation aborted on user request");
  }
  // Without a user interface the question is answered Cancel.
  EXPECT_EQ(Load(pgwaOKCancelBox), "JPG: Operation aborted on user request");
}

TEST_F(JpegTruncatedTest, RaiseFailsWithTheCodecWarning) {
  EXPECT_EQ(Load(pgwaRaise), "JPG: Premature end of JPEG file");
}

TEST_F(JpegTest, BadInputIsRefused) {
  TPixelGraphic image;
  TJPGFileFormatReader reader;
  TMemoryStream empty;
  EXPECT_EQ(MessageOf([&] { reader.ReadImage(empty, image, 0); }), "JPG: Empty input file");
  TMemoryStream soiOnly(std::vector<std::uint8_t>{0xFF, 0xD8});
  EXPECT_TRUE(reader.CheckSignature(soiOnly.Bytes().data(), 2));
  const std::string soiMessage = MessageOf([&] { reader.ReadImage(soiOnly, image, 0); });
  EXPECT_EQ(soiMessage.rfind("JPG: ", 0), 0u) << soiMessage;
  EXPECT_NE(soiMessage, "(nothing raised)");
  TMemoryStream index(std::vector<std::uint8_t>{0xFF, 0xD8});
  EXPECT_EQ(MessageOf([&] { reader.ReadImage(index, image, 1); }), "JPG: Index invalid");
  TFileInfo info;
  EXPECT_EQ(MessageOf([&] { reader.ReadInfo(index, 1, info); }), "JPG: Invalid value for Index");
  soiOnly.SetPosition(0);
  EXPECT_NE(MessageOf([&] { reader.ReadInfo(soiOnly, 0, info); }), "(nothing raised)");
  const std::uint8_t png[2] = {0x89, 0x50};
  EXPECT_FALSE(reader.CheckSignature(png, 2));
  EXPECT_FALSE(reader.CheckSignature(soiOnly.Bytes().data(), 1));
}

TEST_F(JpegTest, ImagesAboveThePixelLimitAreRefusedBeforeAllocation) {
  MakePeerFiles();
  PGSettings().MaxImagePixels = std::uint64_t(kWidth) * kHeight - 1;
  TPixelGraphic image;
  EXPECT_EQ(MessageOf([&] { ReadJpeg(Path("base.jpg"), image); }), "JPG: Invalid size of image");
  EXPECT_TRUE(image.Empty());

  // A forged frame header claiming 65000 x 65000 pixels, under the default limit.
  PGSettings() = Saved;
  std::vector<std::uint8_t> bytes = peer::ReadFile(Path("base.jpg"));
  std::size_t sof = 2;
  while (sof + 8 < bytes.size() && !(bytes[sof] == 0xFF && bytes[sof + 1] == 0xC0)) ++sof;
  ASSERT_LT(sof + 8, bytes.size());
  for (std::size_t i : {sof + 5, sof + 7}) {
    bytes[i] = 0xFD;
    bytes[i + 1] = 0xE8;
  }
  EXPECT_EQ(MessageOf([&] { ReadJpegBytes(bytes, image); }), "JPG: Invalid size of image");
  EXPECT_TRUE(image.Empty());
}

struct TProgressLog {
  std::vector<int> Steps;
  std::vector<int> Maxima;
  int Starts = 0, Ends = 0;
  void Attach(TPixelGraphic& image, int abortAt = -1) {
    image.OnProgressStart = [this](void*) { ++Starts; };
    image.OnProgressEnd = [this](void*) { ++Ends; };
    image.OnProgress = [this, abortAt](void*, int step, int max, bool& abort) {
      Steps.push_back(step);
      Maxima.push_back(max);
      abort = step == abortAt;
    };
  }
};

TEST_F(JpegTest, ReadProgressCountsRowsAndAbortStopsWithTheCodecText) {
  MakePeerFiles();
  TPixelGraphic full;
  TProgressLog log;
  log.Attach(full);
  ReadJpeg(Path("base.jpg"), full);
  std::vector<int> expected;
  for (int i = 1; i <= kHeight; ++i) expected.push_back(i);
  EXPECT_EQ(log.Steps, expected);
  EXPECT_EQ(log.Maxima, std::vector<int>(kHeight, kHeight));
  EXPECT_EQ(log.Starts, 1);
  EXPECT_EQ(log.Ends, 1);

  TPixelGraphic part;
  TProgressLog stopped;
  stopped.Attach(part, 3);
  EXPECT_EQ(MessageOf([&] { ReadJpeg(Path("base.jpg"), part); }),
            "JPG: Application transferred too few scanlines");
  EXPECT_EQ(stopped.Steps, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(stopped.Ends, 1);
  for (int y = 0; y < 3; ++y)
    EXPECT_EQ(0, std::memcmp(part.ScanLine(y), full.ScanLine(y), kWidth * 3)) << "row " << y;
}

TEST_F(JpegTest, ForeignExceptionsPassThroughAfterTheCodecIsReleased) {
  MakePeerFiles();
  TPixelGraphic image;
  int ends = 0;
  image.OnProgressEnd = [&](void*) { ++ends; };
  image.OnProgress = [](void*, int step, int, bool&) {
    if (step == 5) throw std::runtime_error("handler failed");
  };
  EXPECT_THROW(ReadJpeg(Path("base.jpg"), image), std::runtime_error);
  EXPECT_EQ(ends, 1);

  TPixelGraphic plain;
  TFailingStream broken(peer::ReadFile(Path("base.jpg")), 600, true);
  EXPECT_THROW(TJPGFileFormatReader().ReadImage(broken, plain, 0), EStreamError);
}

// ---------------------------------------------------------------- writing

class JpegWriteTest : public JpegTest {
 protected:
  void SetUp() override {
    JpegTest::SetUp();
    peer::FromRgb(Colour, peer::Pattern(kWidth, kHeight));
  }
  // cjpeg of the same codec, given the same source and settings.
  std::vector<std::uint8_t> Cjpeg(const std::string& source, const std::string& options) {
    const std::string out = Path("cjpeg.jpg");
    EXPECT_EQ(peer::Run("cjpeg " + options + " -outfile '" + out + "' '" + source + "'"), 0);
    return peer::ReadFile(out);
  }
  TPixelGraphic Colour;
};

TEST_F(JpegWriteTest, MatchesTheCodecToolByteForByte) {
  EXPECT_EQ(WriteJpeg(Colour), Cjpeg(Source, "-dct float -quality 80"));
  PGSettings().JpegProgressive = true;
  PGSettings().JpegQuality = 55;
  EXPECT_EQ(WriteJpeg(Colour), Cjpeg(Source, "-dct float -quality 55 -progressive"));
  PGSettings() = Saved;
  PGSettings().JpegWriteDctMethod = TJpegDctMethod::jdctISlow;
  EXPECT_EQ(WriteJpeg(Colour), Cjpeg(Source, "-dct int -quality 80"));

  PGSettings() = Saved;
  TPixelGraphic grey;
  MakeGrey(grey, kWidth, kHeight);
  std::string pgm = "P5\n" + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n255\n";
  std::vector<std::uint8_t> pgmBytes(pgm.begin(), pgm.end());
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) pgmBytes.push_back(std::uint8_t(grey.GetPixel(x, y)));
  peer::WriteFile(Path("grey.pgm"), pgmBytes);
  EXPECT_EQ(WriteJpeg(grey), Cjpeg(Path("grey.pgm"), "-dct float -quality 80"));
}

TEST_F(JpegWriteTest, PeersReadOurFiles) {
  PGSettings().JpegProgressive = true;
  peer::WriteFile(Path("ours_prog.jpg"), WriteJpeg(Colour));
  PGSettings().JpegProgressive = false;
  peer::WriteFile(Path("ours_base.jpg"), WriteJpeg(Colour));
  TPixelGraphic grey;
  MakeGrey(grey, kWidth, kHeight);
  peer::WriteFile(Path("ours_grey.jpg"), WriteJpeg(grey));
  std::string out;
  ASSERT_EQ(peer::Python("from PIL import Image\n"
                         "for n in ['ours_prog', 'ours_base', 'ours_grey']:\n"
                         "    im = Image.open('" + Dir + "/' + n + '.jpg')\n"
                         "    print(n, im.mode, im.size[0], im.size[1], bool(im.info.get('progressive')))\n",
                         &out),
            0);
  EXPECT_EQ(out,
            "ours_prog RGB 67 45 True\nours_base RGB 67 45 False\nours_grey L 67 45 False\n");
  for (const char* name : {"ours_base.jpg", "ours_prog.jpg", "ours_grey.jpg"})
    EXPECT_EQ(peer::DecodeWithMagick(Path(name)), Djpeg(Path(name), "int")) << name;
  // Red and green carry no sharp edges in the pattern: they stay close to the source.
  const peer::RgbImage decoded = Djpeg(Path("ours_base.jpg"), "int");
  EXPECT_LT(MeanDifference(decoded, peer::Pattern(kWidth, kHeight), 2), 4);
  TPixelGraphic back;
  ReadJpeg(Path("ours_prog.jpg"), back);
  EXPECT_EQ(peer::ToRgb(back), Djpeg(Path("ours_prog.jpg"), "int"));
}

TEST_F(JpegWriteTest, LowerQualityGivesSmallerFilesAndZeroStillWorks) {
  PGSettings().JpegQuality = 95;
  const std::size_t high = WriteJpeg(Colour).size();
  PGSettings().JpegQuality = 30;
  const std::size_t low = WriteJpeg(Colour).size();
  EXPECT_LT(low, high);
  PGSettings().JpegQuality = 0;
  PGSettings().JpegProgressive = true;
  peer::WriteFile(Path("zero.jpg"), WriteJpeg(Colour));
  EXPECT_EQ(JpegInfo(Path("zero.jpg")).SubformatText, "JFIF, YCbCr, Progressive");
  EXPECT_EQ(Djpeg(Path("zero.jpg"), "int").Width, kWidth);
}

TEST_F(JpegWriteTest, OtherDepthsAreRefusedBeforeWriting) {
  TPixelGraphic image;
  for (TPGPixelFormat format : {pgpf1Bit, pgpf4Bit, pgpf8Bit}) {
    image.SetSizeAndFormat(8, 8, format);
    image.SetPaletteIdent(format == pgpf8Bit ? pSpecial216 : pUnknown);
    TMemoryStream stream;
    EXPECT_EQ(MessageOf([&] { TJPGFileFormatWriter().Write(stream, image); }),
              "JPG: Invalid value for BitCount");
    EXPECT_EQ(stream.Size(), 0);
  }
  TPixelGraphic empty;
  EXPECT_NE(MessageOf([&] { WriteJpeg(empty); }), "(nothing raised)");
}

TEST_F(JpegWriteTest, ProgressCountsRowsAndIgnoresAbort) {
  TProgressLog log;
  log.Attach(Colour, 2);
  const std::vector<std::uint8_t> bytes = WriteJpeg(Colour);
  EXPECT_EQ(log.Steps.size(), std::size_t(kHeight));
  EXPECT_EQ(log.Steps.back(), kHeight);
  EXPECT_EQ(log.Maxima.back(), kHeight);
  EXPECT_EQ(log.Starts, 1);
  EXPECT_EQ(log.Ends, 1);
  EXPECT_EQ(bytes, Cjpeg(Source, "-dct float -quality 80"));
}

TEST_F(JpegWriteTest, WriteFailuresReleaseTheCodec) {
  TFailingStream shortDisk({}, 1000, false);
  EXPECT_EQ(MessageOf([&] { TJPGFileFormatWriter().Write(shortDisk, Colour); }),
            "JPG: Output file write error --- out of disk space?");
  TFailingStream gone({}, 100, true);
  EXPECT_THROW(TJPGFileFormatWriter().Write(gone, Colour), EStreamError);

  int ends = 0;
  Colour.OnProgressEnd = [&](void*) { ++ends; };
  Colour.OnProgress = [](void*, int step, int, bool&) {
    if (step == 7) throw std::runtime_error("handler failed");
  };
  EXPECT_THROW(WriteJpeg(Colour), std::runtime_error);
  EXPECT_EQ(ends, 1);
}

// Loading and saving by name go through these classes.
TEST_F(JpegWriteTest, RegistryLoadsAndSavesThroughTheseClasses) {
  const std::string path = Path("slice.jpeg");
  Colour.SaveToFile(path);
  EXPECT_EQ(peer::ReadFile(path), Cjpeg(Source, "-dct float -quality 80"));
  TPixelGraphic loaded;
  loaded.LoadFromFile(path);
  EXPECT_EQ(peer::ToRgb(loaded), Djpeg(path, "int"));
  TFileInfo info;
  std::string description;
  ASSERT_TRUE(GetFileInfo(path, 0, info, description));
  EXPECT_EQ(description, "JPEG (JFIF compliant)");
  EXPECT_EQ(info.SubformatText, "JFIF, YCbCr");
  // Two bytes of signature are enough to be taken as JPEG: the codec fails, not the search.
  TMemoryStream soiOnly(std::vector<std::uint8_t>{0xFF, 0xD8});
  EXPECT_THROW(loaded.LoadFromStream(soiOnly), EPGJPGFileFormatReaderWriter);
}

// The registry classes share the one implementation and differ only in naming.
TEST(JpegClasses, FieldsFollowTheRegistryTables) {
  TJPGFileFormatReader jpg;
  TJPEGFileFormatReader jpeg;
  TJIFFileFormatReader jif;
  EXPECT_EQ(jpg.Extension + jpeg.Extension + jif.Extension, "jpgjpegjif");
  EXPECT_TRUE(jif.HasSignature && jif.Listed);
  EXPECT_EQ(jif.Description, "JPEG (JFIF compliant)");
  TJPGFileFormatWriter wjpg;
  TJPEGFileFormatWriter wjpeg;
  TJIFFileFormatWriter wjif;
  EXPECT_TRUE(wjpg.Listed);
  EXPECT_FALSE(wjpeg.Listed || wjif.Listed);
  EXPECT_EQ(wjif.CanWriteResolutions, 160);
  EXPECT_EQ(wjpeg.Extension + wjif.Extension, "jpegjif");
  EXPECT_FALSE(wjpg.MultiImage);
}

}  // namespace
