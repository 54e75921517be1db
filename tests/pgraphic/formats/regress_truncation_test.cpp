// Every seed file of the fuzz corpora cut at every length: each cut either
// loads or is refused with the library's own error (the reader's message or
// the stream's read error), never with anything else. The seeds hold one
// file of every variant each reader knows.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "pgraphic/core/errors.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/stream.h"
#include "pgraphic/formats/registry.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

fs::path SeedDir() { return fs::path(TESSEL_SOURCE_DIR) / "fuzz/corpus/registry"; }

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// "loaded", "refused", or the text of anything else that escaped.
std::string Outcome(const Bytes& bytes, std::size_t length, const std::string& ext) {
  TMemoryStream stream(Bytes(bytes.begin(), bytes.begin() + std::ptrdiff_t(length)));
  TPixelGraphic image;
  image.ReadWarningAction = pgwaIgnore;
  try {
    image.LoadFromStreamExt(stream, ext, 0);
    return "loaded";
  } catch (const EPixelGraphic&) {
    return "refused";
  } catch (const EStreamError&) {
    return "refused";
  } catch (const std::exception& e) {
    return std::string("escaped: ") + e.what();
  }
}

TEST(RegressTruncation, EveryCutOfEverySeedIsLoadedOrRefused) {
  ASSERT_TRUE(fs::is_directory(SeedDir())) << SeedDir();
  int seeds = 0;
  std::set<std::string> refusedWhole;
  for (const auto& entry : fs::directory_iterator(SeedDir())) {
    if (!entry.path().has_extension()) continue;  // units the fuzzer added, not seeds
    const Bytes bytes = ReadFile(entry.path());
    const std::string ext = entry.path().extension().string().substr(1);
    if (Outcome(bytes, bytes.size(), ext) != "loaded") refusedWhole.insert(entry.path().filename());
    for (std::size_t length = 0; length < bytes.size(); ++length) {
      const std::string outcome = Outcome(bytes, length, ext);
      ASSERT_TRUE(outcome == "loaded" || outcome == "refused")
          << entry.path().filename() << " cut at " << length << ": " << outcome;
    }
    ++seeds;
  }
  EXPECT_GE(seeds, 60);
  // Whole, every seed loads but the variants no reader here supports
  // (animated WebP), the JPEG of more scans than JpegMaxScans allows
  // and the PNG whose chunk claims more than a chunk may hold.
  EXPECT_EQ(refusedWhole, std::set<std::string>({"jpeg_many_scans.jpg", "png_lying_length.png",
                                                 "webp_animated.webp"}));
}

}  // namespace
