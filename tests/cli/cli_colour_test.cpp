// Colours through tessel-cli: the old gamma with profiles ignored writes
// every file as before; the defaults change only the PNG gamma of untagged
// sources; a kept profile is in every slice. The files written before
// profiles were read are in tests/data/colour/before (see make.py there).

#include <gtest/gtest.h>
#include <zlib.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "support/icc_peer.h"

namespace {

namespace fs = std::filesystem;

const std::string kData = std::string(TESSEL_SOURCE_DIR) + "/tests/data/colour";
const char* const kSources[] = {"plain.jpg", "plain.png", "gamma.png", "adobe.jpg", "p3.png", "adobe.tif"};

std::set<std::string> FilesIn(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
  for (const char* name : kSources) names.erase(name);
  // The pages' lists of their own files are no output to compare.
  std::erase_if(names, [](const std::string& name) { return name.ends_with(".tessel-files"); });
  return names;
}

class CliColour : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = peer::PrivateDir("cli_colour");
    for (const char* name : kSources) fs::copy_file(kData + "/" + name, Dir + "/" + name);
  }
  int Cli(const std::string& args, std::string* out = nullptr) {
    const std::string command = "cd '" + Dir + "' && '" + TESSEL_CLI_PATH + "' " + args + " >'" + Dir + "/out.txt' 2>&1";
    const int status = std::system(command.c_str());
    const std::vector<std::uint8_t> text = peer::ReadFile(Dir + "/out.txt");
    if (out) out->assign(text.begin(), text.end());
    fs::remove(Dir + "/out.txt");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // Every command of runs.txt with the settings given.
  void RunAll(const std::string& settings) {
    std::ifstream runs(kData + "/runs.txt");
    for (std::string line; std::getline(runs, line);)
      if (!line.empty() && line[0] != '#') ASSERT_EQ(Cli(line + " " + settings), 0) << line;
    ASSERT_EQ(FilesIn(Dir), FilesIn(kData + "/before"));
  }
  std::string Dir;
};

}  // namespace

TEST_F(CliColour, OldGammaWithProfilesIgnoredWritesEveryFileAsBefore) {
  RunAll("--set DisplayGamma=1.8 --set ColorProfile=ignore");
  for (const std::string& name : FilesIn(Dir))
    EXPECT_TRUE(peer::ReadFile(Dir + "/" + name) == peer::ReadFile(kData + "/before/" + name)) << name;
}

// The gAMA chunk of a PNG slice holds 1/2.2 instead of 1/1.8 (55556); every
// other byte of every file is as before.
TEST_F(CliColour, DefaultsChangeOnlyThePngGammaOfUntaggedSources) {
  RunAll("");
  for (const std::string& name : FilesIn(Dir)) {
    if (name.rfind("plain", 0) != 0 && name.rfind("conv_plain", 0) != 0) continue;
    std::vector<std::uint8_t> expected = peer::ReadFile(kData + "/before/" + name);
    if (fs::path(name).extension() == ".png") {
      const auto gama = std::search(expected.begin(), expected.end(), "gAMA", "gAMA" + 4);
      ASSERT_NE(gama, expected.end()) << name;
      const std::uint8_t value[4] = {0, 0, 0xB1, 0x8F};  // 45455
      EXPECT_TRUE(std::equal(value, value + 2, gama + 4) && gama[6] == 0xD9 && gama[7] == 0x04) << name;
      std::copy(value, value + 4, gama + 4);
      const uLong crc = crc32(0, &*gama, 8);
      for (int i = 0; i < 4; ++i) gama[8 + i] = std::uint8_t(crc >> (24 - 8 * i));
    }
    EXPECT_TRUE(peer::ReadFile(Dir + "/" + name) == expected) << name;
  }
}

TEST_F(CliColour, KeptProfileIsInEverySliceAndInfoNamesIt) {
  const std::vector<std::uint8_t> profile = icc::PillowProfile(Dir, Dir + "/adobe.jpg");
  ASSERT_FALSE(profile.empty());
  for (const char* format : {"png", "jpg", "tif"}) {
    ASSERT_EQ(Cli(std::string("slice adobe.jpg kept.html --overwrite --vert 20 --set ColorProfile=keep --format ") + format), 0);
    for (const char* cell : {"_1_1.", "_2_1."})
      EXPECT_EQ(icc::PillowProfile(Dir, Dir + "/kept" + cell + format), profile) << cell << format;
  }
  std::string out;
  ASSERT_EQ(Cli("info kept_2_1.tif", &out), 0);
  EXPECT_EQ(out, "Tagged Image File Format\nI, Uncompr., RGB\nICC profile: Wide RGB (Adobe primaries)\n28x32x16.7 M 24 bit\n");
  EXPECT_EQ(Cli("convert p3.png x.png --set ColorProfile=maybe", &out), 2);
  EXPECT_NE(out.find("bad value for ColorProfile: maybe (convert/keep/ignore)"), std::string::npos) << out;
}
