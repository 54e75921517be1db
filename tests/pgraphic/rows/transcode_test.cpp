// One file to another while the source decodes: the very file, image,
// message and leftovers that loading and then saving give, on every road
// (streamed or not) and on every failure of either side.

#include "pgraphic/rows/transcode.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "pgraphic/core/settings.h"
#include "pgraphic/formats/pnm.h"
#include "pgraphic/formats/registry.h"
#include "support/failing_disk.h"
#include "support/peer.h"

namespace {

namespace fs = std::filesystem;
using S = std::vector<std::string>;

struct TOutcome {
  std::string Error;
  S Entries;
  std::string Bytes;  // of the target, when there is one
  peer::RgbImage Image;
};

class Transcode : public ::testing::Test {
 protected:
  void SetUp() override {
    Root = faildisk::ScratchDir("app");
    peer::FromRgb(Photo, peer::Pattern(211, 157));
  }
  std::string Save(TPixelGraphic& image, const std::string& name, long double gamma = 1.8L) {
    return peer::SaveWithGamma(image, (Root / name).string(), gamma);
  }
  // Runs road into a directory of its own; the target's name is kept.
  TOutcome Run(const std::string& dir, const std::string& source, const std::string& target,
               const std::function<void(TPixelGraphic&, const std::string&, const std::string&)>& road) {
    fs::create_directories(Root / dir);
    const std::string path = (Root / dir / target).string();
    TPixelGraphic image;
    image.ReadWarningAction = pgwaRaise;
    image.SaveColorResWarningAction = pgwaIgnore;
    TOutcome outcome;
    try {
      road(image, source, path);
    } catch (const std::exception& e) {
      outcome.Error = e.what();
      const std::size_t at = outcome.Error.find((Root / dir).string());
      if (at != std::string::npos) outcome.Error.replace(at, (Root / dir).string().size(), "DIR");
    }
    outcome.Entries = faildisk::Entries(Root / dir);
    if (fs::is_regular_file(path)) outcome.Bytes = faildisk::Read(path);
    if (!image.Empty()) outcome.Image = peer::ToRgb(image);
    return outcome;
  }
  static void Plain(TPixelGraphic& image, const std::string& source, const std::string& target) {
    image.LoadFromFile(source);
    image.SaveToFile(target);
  }
  void ExpectSameAsPlain(const std::string& source, const std::string& target) {
    SCOPED_TRACE(source + " -> " + target);
    const std::string name = fs::path(source).filename().string() + "." + target;
    const TOutcome plain = Run("plain_" + name, source, target, Plain);
    const TOutcome streamed = Run("streamed_" + name, source, target,
                                  [](TPixelGraphic& image, const std::string& from, const std::string& to) {
                                    TranscodeFile(image, from, to);
                                  });
    EXPECT_EQ(streamed.Error, plain.Error);
    EXPECT_EQ(streamed.Entries, plain.Entries);
    EXPECT_TRUE(streamed.Bytes == plain.Bytes);
    EXPECT_EQ(streamed.Image, plain.Image);
    // Rows going back as they are written change nothing written.
    const TOutcome given = Run("given_" + name, source, target,
                               [](TPixelGraphic& image, const std::string& from, const std::string& to) {
                                 TranscodeFile(image, from, to, false);
                               });
    EXPECT_EQ(given.Error, plain.Error);
    EXPECT_EQ(given.Entries, plain.Entries);
    EXPECT_TRUE(given.Bytes == plain.Bytes);
    LastGiven = given.Image;
  }


  fs::path Root;
  TPixelGraphic Photo;
  peer::RgbImage LastGiven;  // the image of the last road that gave rows back
};

// Streamed pairs (rows from the top into writers that take them so), the
// gamma step of loading, grey sources, and pairs that cannot stream: a
// writer that wants the rows from the bottom, a reader that gives them
// from the bottom, a save that converts.
TEST_F(Transcode, EveryRoadGivesTheFileAndImageOfLoadingThenSaving) {
  TPixelGraphic grey;
  peer::GreyCopy(Photo, grey);
  const std::string jpg = Save(Photo, "photo.jpg"), png = Save(Photo, "photo.png");
  const std::string gamma = Save(Photo, "gamma.png", 1.0L), greyPng = Save(grey, "grey.png");
  const std::string bmp = Save(Photo, "photo.bmp"), pgm = Save(grey, "grey.pgm");
  for (const std::string target : {"out.tif", "out.png", "out.jpg", "out.ppm", "out.bmp", "out.pbm"})
    ExpectSameAsPlain(jpg, target);
  ExpectSameAsPlain(png, "out.jpg");
  ExpectSameAsPlain(gamma, "out.png");
  ExpectSameAsPlain(greyPng, "out.tif");
  ExpectSameAsPlain(pgm, "out.png");
  ExpectSameAsPlain(bmp, "out.tif");
  const TPGLibrarySettings saved = PGSettings();
  PGSettings().PngCompressionStrategy = TPngStrategy::psDefault;  // compressed in parts
  ExpectSameAsPlain(jpg, "parts.png");
  // Each part of a narrow image looks back over more rows than a band for
  // its priming, and eight parts or more are packed on threads: none of
  // their rows may have gone back by then.
  TPixelGraphic narrow;
  peer::FromRgb(narrow, peer::Pattern(60, 46400));
  ExpectSameAsPlain(Save(narrow, "narrow.jpg"), "narrow.png");
  PGSettings() = saved;

  // Tall enough for many bands and pages: the writer's rows go back while
  // later ones still load, and rows it has not passed must stay.
  TPixelGraphic tall;
  peer::FromRgb(tall, peer::Pattern(333, 1500));
  const std::string tallJpg = Save(tall, "tall.jpg");
  for (const std::string target : {"tall.tif", "tall.ppm", "tall.jpg", "tall.png"}) {
    ExpectSameAsPlain(tallJpg, target);
    EXPECT_GT(peer::ZeroRows(LastGiven), 1000) << target;  // they did go back
  }
  ExpectSameAsPlain(Save(tall, "tall.bmp"), "tall.tif");  // rows from the bottom
}

// A source that ends early, a target that cannot be made, both at once, and
// a target directory that is not there: each fails as loading then saving
// does, and leaves what it leaves.
TEST_F(Transcode, FailuresComeInTheOrderOfLoadingThenSaving) {
  const std::string jpg = Save(Photo, "photo.jpg");
  const std::string bytes = faildisk::Read(jpg);
  faildisk::Write(Root / "cut.png", faildisk::Read(Save(Photo, "whole.png")).substr(0, 5000));
  faildisk::Write(Root / "cut.jpg", bytes.substr(0, 20));
  ExpectSameAsPlain((Root / "cut.png").string(), "out.tif");
  ExpectSameAsPlain((Root / "cut.jpg").string(), "out.tif");
  ExpectSameAsPlain(jpg, "missing/out.tif");
  ExpectSameAsPlain((Root / "cut.png").string(), "missing/out.tif");
  ExpectSameAsPlain(jpg, "out.gif");
}

// The target outgrows the disk halfway through the rows: the same message,
// and no file at all.
TEST_F(Transcode, TargetThatOutgrowsTheDiskLeavesNothing) {
  const std::string jpg = Save(Photo, "photo.jpg");
  for (const bool streamed : {false, true}) {
    const fs::path dir = Root / (streamed ? "streamed" : "plain");
    fs::create_directories(dir);
    const faildisk::TOutcome outcome = faildisk::WithFileSizeLimit(40000, [&] {
      TPixelGraphic image;
      if (streamed)
        TranscodeFile(image, jpg, (dir / "out.tif").string());
      else
        Plain(image, jpg, (dir / "out.tif").string());
    });
    EXPECT_EQ(outcome.Message, "Cannot write file \"" + (dir / "out.tif").string() + "\". File too large");
    EXPECT_TRUE(faildisk::Entries(dir).empty());
  }
}

// A PPM file behind a prefix no signature knows, read by the PPM reader
// after a look at the target's folder: whether a staging file is there
// while the source loads tells the roads apart, which their files cannot.
class TWatchingReader : public TFileFormatReader {
 public:
  explicit TWatchingReader(fs::path folder) : Folder(std::move(folder)) {
    RowDelivery = rdTopDown;
    Extension = "watched";
    Description = "PPM behind a prefix";
  }
  const char* ClassName() const override { return "TWatchingReader"; }
  void ReadImage(TStream& stream, TPixelGraphic& image, int index) override {
    for (const std::string& name : faildisk::Entries(Folder))
      StagingSeen = StagingSeen || name.rfind(".~tessel-", 0) == 0;
    stream.Seek(std::int64_t(kPrefix.size()), TSeekOrigin::soCurrent);
    TPPMFileFormatReader().ReadImage(stream, image, index);
  }
  static inline const std::string kPrefix = "watched:";
  fs::path Folder;
  bool StagingSeen = false;
};

TEST_F(Transcode, RowsGoToTheTargetWhileTheSourceLoads) {
  const fs::path out = Root / "out";
  fs::create_directories(out);
  auto owned = std::make_unique<TWatchingReader>(out);
  TWatchingReader& reader = *owned;
  FileFormatReaders().push_back(std::move(owned));
  faildisk::Write(Root / "photo.watched", TWatchingReader::kPrefix + faildisk::Read(Save(Photo, "photo.ppm")));
  TPixelGraphic streamed, plain;
  TranscodeFile(streamed, (Root / "photo.watched").string(), (out / "streamed.png").string());
  const bool seenStreaming = reader.StagingSeen;
  reader.StagingSeen = false;
  Plain(plain, (Root / "photo.watched").string(), (out / "plain.png").string());
  const bool seenLoadingFirst = reader.StagingSeen;
  std::erase_if(FileFormatReaders(), [&](const auto& r) { return r.get() == &reader; });
  EXPECT_TRUE(seenStreaming);
  EXPECT_FALSE(seenLoadingFirst);  // loading first, the save begins after
  EXPECT_EQ(faildisk::Read(out / "streamed.png"), faildisk::Read(out / "plain.png"));
  EXPECT_EQ(peer::ToRgb(streamed), peer::ToRgb(plain));
}

}  // namespace
