// The BMP Suite's images (bmpsuite/, see its README): good files read as
// ImageMagick reads them; questionable files read as a peer reads them or
// refused for a reason named here; bad files refused with the library's own
// error or read without fault. Under the sanitizers, nothing of the three
// folders may crash or leak.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "pgraphic/core/errors.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/stream.h"
#include "pgraphic/formats/decodechecks.h"
#include "pgraphic/formats/registry.h"
#include "support/peer.h"

namespace {

namespace fs = std::filesystem;

fs::path Suite() { return fs::path(TESSEL_SOURCE_DIR) / "tests/pgraphic/formats/bmpsuite"; }

std::vector<fs::path> FilesOf(const char* folder) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(Suite() / folder))
    if (entry.path().extension() == ".bmp") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

// Our reading of a file: its pixels, or the message that refused it.
struct TOurs {
  std::optional<peer::RgbImage> Rgb;
  std::string Refusal;
  int FileBits = 0;
};

TOurs ReadOurs(const fs::path& path) {
  TOurs ours;
  TPixelGraphic image;
  image.ReadWarningAction = pgwaIgnore;
  try {
    TFileInfo info;
    std::string description;
    if (GetFileInfo(path.string(), 0, info, description)) ours.FileBits = info.BitsPerPixel;
    image.LoadFromFile(path.string());
  } catch (const EPixelGraphic& e) {
    ours.Refusal = e.what();
    return ours;
  } catch (const EStreamError& e) {
    ours.Refusal = e.what();
    return ours;
  }
  // A read image is whole: every index names a palette entry.
  EXPECT_TRUE(PGIndicesInPalette(image)) << path;
  ours.Rgb = peer::ToRgb(image);
  return ours;
}

// A peer's reading as top-down RGB; nothing when it refuses the file.
std::optional<peer::RgbImage> PeerReading(const std::string& peerName, const fs::path& path) {
  const std::string out = peer::PrivateDir("bmpsuite") + "/peer.ppm";
  const int status =
      peerName == "pillow"
          ? peer::Python("from PIL import Image\nImage.open('" + path.string() + "').convert('RGB').save('" +
                         out + "')\n")
          : peer::Run("convert '" + path.string() + "' -depth 8 ppm:'" + out + "'");
  if (status != 0) return std::nullopt;
  return peer::ReadPnm(out);
}

int MaxDifference(const peer::RgbImage& a, const peer::RgbImage& b) {
  int most = 0;
  for (std::size_t i = 0; i < a.Rgb.size(); ++i) most = std::max(most, std::abs(int(a.Rgb[i]) - int(b.Rgb[i])));
  return most;
}

// 16-bit channels of 5 or 6 bits differ from a peer's by up to 8 levels:
// BmpScale16BitFields adds the value of a channel's lowest bit to every
// non-zero value (31 of 5 bits is 255, 1 is 16), the peers scale exactly.
int Tolerance(int fileBits) { return fileBits == 16 ? 8 : 0; }

void ExpectSameAsPeer(const fs::path& path, const TOurs& ours, const std::string& peerName, int tolerance) {
  SCOPED_TRACE(path.filename().string() + " against " + peerName);
  ASSERT_TRUE(ours.Rgb) << ours.Refusal;
  const std::optional<peer::RgbImage> theirs = PeerReading(peerName, path);
  ASSERT_TRUE(theirs) << peerName << " could not read it";
  ASSERT_EQ(ours.Rgb->Width, theirs->Width);
  ASSERT_EQ(ours.Rgb->Height, theirs->Height);
  EXPECT_LE(MaxDifference(*ours.Rgb, *theirs), tolerance);
}

bool HavePeers() { return peer::HaveTool("convert") && peer::Python("import PIL\n") == 0; }

TEST(BmpSuite, GoodFilesReadAsImageMagickReadsThem) {
  if (!HavePeers()) GTEST_SKIP() << "ImageMagick or Pillow missing";
  const std::vector<fs::path> files = FilesOf("g");
  ASSERT_EQ(files.size(), 27u);
  for (const fs::path& path : files) {
    const TOurs ours = ReadOurs(path);
    ExpectSameAsPeer(path, ours, "magick", Tolerance(ours.FileBits));
  }
}

// Questionable files refused here, and why.
const std::map<std::string, const char*> kRefusedQuestionable = {
    {"pal1huffmsb.bmp", "Huffman-coded OS/2 data"},
    {"pal2.bmp", "2 bits per pixel"},
    {"pal2color.bmp", "2 bits per pixel"},
    {"pal8os2sp.bmp", "an OS/2 core header with 252 colours: the pixels are taken to follow a table of 256"},
    {"pal8oversizepal.bmp", "300 colours used, past the depth's 256"},
    {"rgb24jpeg.bmp", "JPEG data"},
    {"rgb24png.bmp", "PNG data"},
    {"rgb24rle24.bmp", "24-bit run-length data"},
    {"rgba32abf.bmp", "alpha bit fields (compression 6)"},
    {"rgba64.bmp", "64 bits per pixel"},
};

// The peer and tolerance of questionable files read here but not compared
// with ImageMagick exactly ("" for no peer: read without fault is all).
struct TPeerRule {
  const char* Peer;
  int Tolerance;
};
const std::map<std::string, TPeerRule> kOtherPeer = {
    // ImageMagick takes the pixels of an OS/2 2.x header from the wrong place.
    {"pal8os2v2.bmp", {"pillow", 0}},
    // ImageMagick refuses the wrong sizes in their headers.
    {"pal8os2-hs.bmp", {"pillow", 0}},
    {"pal8os2-sz.bmp", {"pillow", 0}},
    {"pal8os2v2-sz.bmp", {"pillow", 0}},
    {"pal8os2v2-40sz.bmp", {"pillow", 0}},
    // Run-length data that ends early: no peer reads it.
    {"pal4rlecut.bmp", {"", 0}},
    {"pal8rlecut.bmp", {"", 0}},
    // Channels of 1 to 4 bits: their top bit lands on bit 7 here, and the
    // scale setting adds their lowest; the peers scale 1 of 3 bits to 36.
    {"rgb16-231.bmp", {"", 0}},
    {"rgb16-3103.bmp", {"", 0}},
    {"rgba16-1924.bmp", {"", 0}},
    {"rgba16-4444.bmp", {"", 0}},
    // Channels wider than 8 bits: their top 8 bits here, rounded by ImageMagick.
    {"rgb32-111110.bmp", {"magick", 1}},
    {"rgb32-7187.bmp", {"magick", 1}},
    {"rgba32-1010102.bmp", {"magick", 1}},
    {"rgba32-61754.bmp", {"magick", 1}},
    {"rgba32-81284.bmp", {"magick", 1}},
};

// Among them the files with a gap before their pixels (pal8offs), the OS/2
// 2.x headers of 16 and 64 bytes and the Windows ones of 52 and 56 bytes.
TEST(BmpSuite, QuestionableFilesReadAsAPeerReadsThemOrAreRefusedForAReason) {
  if (!HavePeers()) GTEST_SKIP() << "ImageMagick or Pillow missing";
  const std::vector<fs::path> files = FilesOf("q");
  ASSERT_EQ(files.size(), 40u);
  for (const fs::path& path : files) {
    const std::string name = path.filename().string();
    SCOPED_TRACE(name);
    const TOurs ours = ReadOurs(path);
    const auto refused = kRefusedQuestionable.find(name);
    if (refused != kRefusedQuestionable.end()) {
      EXPECT_FALSE(ours.Rgb) << "read, though refused so far for " << refused->second;
      EXPECT_EQ(ours.Refusal.rfind("BMP: ", 0), 0u) << ours.Refusal;
      continue;
    }
    const auto rule = kOtherPeer.find(name);
    if (rule == kOtherPeer.end())
      ExpectSameAsPeer(path, ours, "magick", Tolerance(ours.FileBits));
    else if (*rule->second.Peer)
      ExpectSameAsPeer(path, ours, rule->second.Peer, rule->second.Tolerance);
    else
      EXPECT_TRUE(ours.Rgb) << ours.Refusal;
  }
}

// Bad files: the library's own refusal, or a whole image (fields that are
// ignored: density, file size, the data size of uncompressed pixels).
TEST(BmpSuite, BadFilesAreRefusedOrReadWithoutFault) {
  const std::vector<fs::path> files = FilesOf("b");
  ASSERT_EQ(files.size(), 20u);
  std::vector<std::string> read;
  for (const fs::path& path : files) {
    SCOPED_TRACE(path.filename().string());
    const TOurs ours = ReadOurs(path);
    if (ours.Rgb)
      read.push_back(path.filename().string());
    else
      EXPECT_TRUE(ours.Refusal.rfind("BMP: ", 0) == 0 || ours.Refusal == "Stream read error") << ours.Refusal;
  }
  EXPECT_EQ(read, (std::vector<std::string>{"badbitssize.bmp", "baddens1.bmp", "baddens2.bmp", "badfilesize.bmp"}));
}

}  // namespace
