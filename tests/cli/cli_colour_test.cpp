// Colours through tessel-cli: what the old gamma with profiles ignored
// writes (every file as before), what the defaults change (the PNG gamma of
// untagged sources; the colours of profiled ones, as Little CMS converts
// them), and profiles kept in every slice. The files written before colour
// profiles were read are in tests/data/colour/before (see make.py there).

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "pgraphic/core/settings.h"
#include "support/icc_peer.h"
#include "support/peer.h"

namespace {

namespace fs = std::filesystem;

const std::string kData = std::string(TESSEL_TEST_DATA) + "/colour";
const char* const kSources[] = {"plain.jpg", "plain.png", "gamma.png", "adobe.jpg", "p3.png", "adobe.tif"};

class CliColour : public ::testing::Test {
 protected:
  void SetUp() override {
    Saved = PGSettings();
    Dir = peer::PrivateDir("cli_colour");
    for (const char* name : kSources) fs::copy_file(kData + "/" + name, Dir + "/" + name);
  }
  void TearDown() override { PGSettings() = Saved; }

  int Cli(const std::string& args, std::string* err = nullptr, std::string* out = nullptr) {
    const std::string command = "cd '" + Dir + "' && '" + TESSEL_CLI_PATH + "' " + args + " >'" + Dir +
                                "/out.txt' 2>'" + Dir + "/err.txt'";
    const int status = std::system(command.c_str());
    if (err) *err = ReadText(Dir + "/err.txt");
    if (out) *out = ReadText(Dir + "/out.txt");
    fs::remove(Dir + "/err.txt");
    fs::remove(Dir + "/out.txt");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  static std::string ReadText(const std::string& path) {
    const std::vector<std::uint8_t> bytes = peer::ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
  }
  // Every command of runs.txt with the settings given.
  void RunAll(const std::string& settings) {
    std::ifstream runs(kData + "/runs.txt");
    for (std::string line; std::getline(runs, line);)
      if (!line.empty() && line[0] != '#') ASSERT_EQ(Cli(line + " " + settings), 0) << line;
  }
  std::set<std::string> Written() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(Dir)) names.insert(entry.path().filename().string());
    for (const char* name : kSources) names.erase(name);
    return names;
  }
  // The pixels of a file as it stands, gamma not applied.
  static peer::RgbImage Pixels(const std::string& path) {
    PGSettings().GammaCorrectOnLoad = false;
    PGSettings().ColorProfile = TColorProfileMode::cpmIgnore;
    TPixelGraphic image;
    image.LoadFromFile(path);
    return peer::ToRgb(image);
  }
  // The PNG's chunks, each as its type and data.
  static std::vector<std::pair<std::string, std::vector<std::uint8_t>>> Chunks(const std::string& path) {
    const std::vector<std::uint8_t> d = peer::ReadFile(path);
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> chunks;
    for (std::size_t p = 8; p + 12 <= d.size();) {
      const std::size_t n = std::size_t(d[p]) << 24 | std::size_t(d[p + 1]) << 16 | std::size_t(d[p + 2]) << 8 | d[p + 3];
      chunks.emplace_back(std::string(d.begin() + std::ptrdiff_t(p + 4), d.begin() + std::ptrdiff_t(p + 8)),
                          std::vector<std::uint8_t>(d.begin() + std::ptrdiff_t(p + 8),
                                                    d.begin() + std::ptrdiff_t(std::min(d.size(), p + 8 + n))));
      p += 12 + n;
    }
    return chunks;
  }

  TPGLibrarySettings Saved;
  std::string Dir;
};

std::set<std::string> BeforeFiles() {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(kData + "/before")) names.insert(entry.path().filename().string());
  return names;
}

}  // namespace

TEST_F(CliColour, OldGammaWithProfilesIgnoredWritesEveryFileAsBefore) {
  RunAll("--set DisplayGamma=1.8 --set ColorProfile=ignore");
  ASSERT_EQ(Written(), BeforeFiles());
  for (const std::string& name : BeforeFiles())
    EXPECT_TRUE(peer::ReadFile(Dir + "/" + name) == peer::ReadFile(kData + "/before/" + name)) << name;
}

// Untagged sources: the same bytes but for the gAMA of PNG files, now
// sRGB's 1/2.2. Profiled sources: their pixels as Little CMS converts them.
TEST_F(CliColour, DefaultsChangeOnlyThePngGammaOfUntaggedSources) {
  RunAll("");
  ASSERT_EQ(Written(), BeforeFiles());
  const std::vector<std::uint8_t> oldGamma = {0, 0, 0xD9, 0x04}, newGamma = {0, 0, 0xB1, 0x8F};  // 55556, 45455
  for (const std::string& name : BeforeFiles()) {
    if (name.rfind("plain", 0) != 0 && name.rfind("conv_plain", 0) != 0) continue;
    SCOPED_TRACE(name);
    const std::string now = Dir + "/" + name, before = kData + "/before/" + name;
    if (fs::path(name).extension() != ".png") {
      EXPECT_TRUE(peer::ReadFile(now) == peer::ReadFile(before));
      continue;
    }
    auto expected = Chunks(before);
    for (auto& [type, data] : expected)
      if (type == "gAMA") {
        EXPECT_EQ(data, oldGamma);
        data = newGamma;
      }
    EXPECT_EQ(Chunks(now), expected);
  }
  for (const auto& [source, slice] : {std::pair{"adobe.jpg", "adobe_png_1_1.png"}, std::pair{"p3.png", "p3_png_2_1.png"},
                                      std::pair{"adobe.tif", "adobe_tif_1_1.tif"}}) {
    SCOPED_TRACE(slice);
    const std::vector<std::uint8_t> profile = icc::PillowProfile(Dir, Dir + "/" + source);
    ASSERT_FALSE(profile.empty());
    EXPECT_EQ(Pixels(Dir + "/" + slice), icc::ToSRGB(profile, Pixels(kData + "/before/" + slice)));
    EXPECT_TRUE(icc::PillowProfile(Dir, Dir + "/" + slice).empty());
  }
}

TEST_F(CliColour, KeptProfileIsInEverySliceWithThePixelsUntouched) {
  const std::vector<std::uint8_t> profile = icc::PillowProfile(Dir, Dir + "/adobe.jpg");
  for (const char* format : {"png", "jpg", "tif"}) {
    SCOPED_TRACE(format);
    ASSERT_EQ(Cli(std::string("slice adobe.jpg kept.html --overwrite --vert 20 --set ColorProfile=keep --format ") + format), 0);
    for (const char* cell : {"1_1", "2_1"}) {
      const std::string slice = Dir + "/kept_" + cell + "." + format;
      EXPECT_EQ(icc::PillowProfile(Dir, slice), profile) << cell;
      if (std::string(format) != "jpg")
        EXPECT_EQ(Pixels(slice), Pixels(kData + "/before/adobe_png_" + cell + ".png")) << cell;
    }
  }
  std::string identify;
  ASSERT_EQ(peer::Run("identify -verbose '" + Dir + "/kept_1_1.tif'", &identify), 0);
  EXPECT_NE(identify.find("Wide RGB (Adobe primaries)"), std::string::npos);
}

// The export that cuts rows as the source decodes writes what loading first
// writes.
TEST_F(CliColour, CuttingWhileLoadingConvertsAsLoadingFirst) {
  for (const char* source : {"adobe.jpg", "p3.png"}) {
    SCOPED_TRACE(source);
    const std::string base = fs::path(source).stem().string();
    ASSERT_EQ(Cli(std::string("slice ") + source + " " + base + "_a.html --vert 13,30 --horz 9 --format png --threads 2"), 0);
    ASSERT_EQ(Cli(std::string("slice ") + source + " " + base + "_b.html --vert 13,30 --horz 9 --format png --threads 1"), 0);
    for (const char* cell : {"1_1", "2_1", "3_1", "1_2", "2_2", "3_2"})
      EXPECT_TRUE(peer::ReadFile(Dir + "/" + base + "_a_" + cell + ".png") ==
                  peer::ReadFile(Dir + "/" + base + "_b_" + cell + ".png"))
          << cell;
  }
}

TEST_F(CliColour, InfoNamesTheProfileAndTheSettingTakesThreeValues) {
  std::string err, out;
  ASSERT_EQ(Cli("info adobe.jpg", &err, &out), 0);
  EXPECT_EQ(out, "JPEG (JFIF compliant)\nJFIF, YCbCr\nICC profile: Wide RGB (Adobe primaries)\n48x32x16.7M 24 bit\n");
  EXPECT_EQ(Cli("convert p3.png x.png --set ColorProfile=maybe", &err), 2);
  EXPECT_NE(err.find("bad value for ColorProfile: maybe (convert/keep/ignore)"), std::string::npos) << err;
}
