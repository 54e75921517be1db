// The export on several threads against the export on one: the same slice
// files byte for byte, the same HTML, the same order of reports, and on a
// failure the same message and the same files left on disk. The same for
// the export that cuts while the source is still loading.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/app_test_util.h"
#include "app/export/exporter.h"
#include "pgraphic/core/settings.h"
#include "pgraphic/core/stagedfile.h"
#include "pgraphic/core/stream.h"
#include "support/failing_disk.h"
#include "support/peer.h"

namespace {

namespace fs = std::filesystem;
using S = std::vector<std::string>;

class TRecordingUi : public TExportUi {
 public:
  std::string Path;
  S Written;
  S TagsAsked;  // slices the per-slice dialog saw, with whether the file was there

  bool ChooseHtmlFile(std::string& path) override {
    path = Path;
    return true;
  }
  bool ConfirmOverwrite(const std::string&, const std::string&) override { return true; }
  void ShowExportOptions(TExportOptions&) override {}
  std::string EditSliceTags(TPixelGraphic& slice, const TGridCell& cell,
                            const TSliceTag& tag) override {
    const std::string name = SliceFileName("index", cell.Column, cell.Row, ".png");
    const bool there = fs::exists(fs::path(Path).parent_path() / name);
    const bool right =
        peer::ToRgb(slice) == apptest::Crop(Pixels, cell.Left, cell.Top, cell.Width, cell.Height);
    TagsAsked.push_back(name + (there ? " on disk" : " missing") +
                        (right ? "" : " with wrong pixels"));
    return tag.PlainCode();
  }
  void EditCode(std::vector<std::string>&) override {}
  void SliceWritten(const std::string& path) override {
    Written.push_back(fs::path(path).filename());
  }

  peer::RgbImage Pixels;
};

// What one export left behind.
struct TRun {
  S Entries;  // hidden ones included: a staging file would show
  std::map<std::string, std::string> Bytes;
  S Written;
  std::string Error;
};

// Shading, a hard edge and grain: what a photo gives an encoder.
peer::RgbImage PhotoLike(int width, int height) {
  peer::RgbImage img = peer::Pattern(width, height);
  std::uint32_t seed = 99;
  for (std::size_t i = 0; i < img.Rgb.size(); ++i) {
    seed = seed * 1664525u + 1013904223u;
    const int edge = (i / 3) % std::size_t(width) > std::size_t(width) / 3 ? 30 : 0;
    img.Rgb[i] = std::uint8_t(std::min(255, img.Rgb[i] / 2 + edge + int(seed >> 27)));
  }
  return img;
}

class ParallelExport : public ::testing::Test {
 protected:
  void SetUp() override {
    Root = faildisk::ScratchDir("app");
    Use(PhotoLike(613, 419));
    // Uneven cells, a duplicate line (an empty column) and one cell larger
    // than all the others together.
    for (int x : {612, 50, 300, 50}) Grid.VertSplits.Add(x);
    for (int y : {410, 400}) Grid.HorzSplits.Add(y);
  }
  void Use(const peer::RgbImage& pixels) {
    Pixels = pixels;
    peer::FromRgb(Source, Pixels);
    Grid.ResetToImage(pixels.Width, pixels.Height);
  }
  TRun Export(const std::string& name, int threads, const std::string& extension,
              bool tags = false) {
    const fs::path dir = Root / name;
    fs::create_directories(dir);
    Ui = TRecordingUi{};
    Ui.Path = (dir / "index.html").string();
    Ui.Pixels = Pixels;
    TSliceExporter exporter(Cut, Ui);
    exporter.Settings.OutputExtension = extension;
    exporter.Settings.Options.ShowOptions = false;
    exporter.Settings.Options.IncAltTags = tags;
    exporter.Settings.Options.Retina = Retina;
    exporter.Settings.EncodeThreads = threads;
    TRun run;
    try {
      exporter.Export(Source);
    } catch (const std::exception& e) {
      run.Error = e.what();
    }
    run.Written = Ui.Written;
    LastSlice = peer::ToRgb(exporter.SliceImage);
    return Collect(dir, run);
  }
  // Messages name the run's own directory; that part is left out.
  static TRun Collect(const fs::path& dir, TRun run) {
    run.Entries = faildisk::Entries(dir);
    for (const std::string& entry : run.Entries)
      if (fs::is_regular_file(dir / entry)) run.Bytes[entry] = faildisk::Read(dir / entry);
    const std::size_t at = run.Error.find(dir.string());
    if (at != std::string::npos) run.Error.replace(at, dir.string().size(), "DIR");
    return run;
  }
  // The same export in a child whose files cannot grow beyond limit bytes.
  TRun ExportUnderLimit(const std::string& name, int threads, rlim_t limit) {
    const fs::path dir = Root / name;
    fs::create_directories(dir);
    const faildisk::TOutcome outcome = faildisk::WithFileSizeLimit(limit, [&] {
      Ui.Path = (dir / "index.html").string();
      TSliceExporter exporter(Cut, Ui);
      exporter.Settings.OutputExtension = ".bmp";
      exporter.Settings.Options.ShowOptions = false;
      exporter.Settings.EncodeThreads = threads;
      exporter.Export(Source);
    });
    EXPECT_TRUE(outcome.Finished);
    TRun run;
    run.Error = outcome.Message;
    return Collect(dir, run);
  }
  void ExpectSameRuns(const TRun& one, const TRun& many) {
    EXPECT_EQ(one.Entries, many.Entries);
    EXPECT_TRUE(one.Bytes == many.Bytes);
    EXPECT_EQ(one.Written, many.Written);
    EXPECT_EQ(one.Error, many.Error);
  }

  fs::path Root;
  peer::RgbImage Pixels;
  TPixelGraphic Source;
  TGridData Cut;
  TSplitGrid& Grid = Cut.Grid;
  TRecordingUi Ui;
  peer::RgbImage LastSlice;
  bool Retina = false;
  TCellData& Cells = Cut.Cells;
};

TEST_F(ParallelExport, EveryFormatGivesTheSameFilesHtmlAndReports) {
  for (const std::string extension : {".jpg", ".png", ".bmp", ".tif", ".webp"}) {
    SCOPED_TRACE(extension);
    const TRun one = Export("one" + extension, 1, extension);
    const TRun many = Export("many" + extension, 4, extension);
    ExpectSameRuns(one, many);
    S expected;
    for (int row = 1; row <= 3; ++row)
      for (int column : {1, 3, 4, 5})
        expected.push_back(SliceFileName("index", column, row, extension));
    EXPECT_EQ(one.Written, expected);
    EXPECT_EQ(many.Entries.size(), 13u);  // twelve slices and the HTML, nothing else
    EXPECT_TRUE(many.Error.empty()) << many.Error;
  }
}

// Two cells in formats of their own within a JPEG export, at full and half
// size: each file is the one an export of the whole page in that format
// makes (a quality of its own aside), the page names it, and one thread or
// several give the same files.
TEST_F(ParallelExport, CellsOfTheirOwnFormatAreTheFilesOfThatFormat) {
  Use(PhotoLike(614, 420));
  for (int x : {612, 50, 300, 50}) Grid.VertSplits.Add(x);
  for (int y : {410, 400}) Grid.HorzSplits.Add(y);
  for (const bool retina : {false, true}) {
    Retina = retina;
    const std::string at = retina ? "r" : "p";
    Cells.Formats.clear();
    const TRun jpg = Export(at + "jpg", 1, ".jpg");
    const TRun png = Export(at + "png", 1, ".png");
    const TRun webp = Export(at + "webp", 1, ".webp");
    Cells.Formats = {{{3, 2}, {"webp", TCellFormat::NoQuality}}, {{5, 1}, {"png", TCellFormat::NoQuality}}};
    const TRun one = Export(at + "one", 1, ".jpg");
    ExpectSameRuns(one, Export(at + "many", 4, ".jpg"));
    std::map<std::string, std::string> expected = jpg.Bytes;
    std::string& html = expected["index.html"];
    for (const std::string& size : retina ? S{"", "@2x"} : S{""}) {
      for (const auto& [name, from] : {std::pair{"index_3_2" + size, &webp}, std::pair{"index_5_1" + size, &png}}) {
        const std::string extension = from == &webp ? ".webp" : ".png";
        expected.erase(name + ".jpg");
        expected[name + extension] = from->Bytes.at(name + extension);
        std::size_t named = 0;
        for (std::size_t at = 0; (at = html.find(name + ".jpg", at)) != std::string::npos; ++named)
          html.replace(at, name.size() + 4, name + extension);
        EXPECT_EQ(named, retina && size.empty() ? 2u : 1u) << name;  // src, and srcset's entry
      }
    }
    EXPECT_TRUE(one.Bytes == expected);
    EXPECT_EQ(one.Written.size(), jpg.Written.size());

    // A quality of its own: the cell's look at that quality, whoever decodes it.
    Cells.Formats = {{{3, 2}, {"webp", 20}}};
    const TRun low = Export(at + "low", 3, ".jpg");
    const std::string name = retina ? "index_3_2@2x.webp" : "index_3_2.webp";
    ASSERT_EQ(low.Bytes.count(name), 1u);
    EXPECT_LT(low.Bytes.at(name).size(), webp.Bytes.at(name).size() * 3 / 4);
    const peer::RgbImage decoded = peer::DecodeWithMagick((Root / (at + "low") / name).string());
    const peer::RgbImage cell = apptest::Crop(Pixels, 50, 400, 250, 10);
    ASSERT_EQ(decoded.Width, cell.Width);
    ASSERT_EQ(decoded.Height, cell.Height);
    long error = 0;
    for (std::size_t i = 0; i < cell.Rgb.size(); ++i) error += std::abs(decoded.Rgb[i] - cell.Rgb[i]);
    EXPECT_LT(double(error) / double(cell.Rgb.size()), 20.0);
  }
  Cells.Formats.clear();
}

TEST_F(ParallelExport, SlicesHoldTheirCellsAndSliceImageTheLastOne) {
  Export("many", 3, ".png");
  const fs::path dir = Root / "many";
  TPixelGraphic slice;
  slice.LoadFromFile((dir / "index_4_1.png").string());
  EXPECT_EQ(peer::ToRgb(slice), apptest::Crop(Pixels, 300, 0, 312, 400));
  slice.LoadFromFile((dir / "index_5_3.png").string());
  EXPECT_EQ(peer::ToRgb(slice), apptest::Crop(Pixels, 612, 410, 1, 9));
  EXPECT_EQ(LastSlice, apptest::Crop(Pixels, 612, 410, 1, 9));
}

TEST_F(ParallelExport, PaletteSourceIsCutLikeOnOneThread) {
  Source.SetPixelFormat(pgpf8Bit);
  Pixels = peer::ToRgb(Source);
  ExpectSameRuns(Export("one", 1, ".jpg"), Export("many", 4, ".jpg"));
}

// The dialog shows each slice just cut, in order: threads are not used then.
// No file is in place before all are.
TEST_F(ParallelExport, PerSliceDialogSeesEachSliceJustCut) {
  Export("many", 4, ".png", true);
  ASSERT_EQ(Ui.TagsAsked.size(), 12u);
  for (const std::string& seen : Ui.TagsAsked)
    EXPECT_NE(seen.find(" missing"), std::string::npos) << seen;
  for (const std::string& seen : Ui.TagsAsked)
    EXPECT_EQ(seen.find("wrong"), std::string::npos) << seen;
}

// index_4_1 (312 x 400, 374454 bytes) is the only BMP above the limit:
// staged by a worker, it fails there, and the slices around it, staged by
// the other workers, must not appear either.
TEST_F(ParallelExport, SliceOverTheFileSizeLimitFailsLikeOnOneThread) {
  const TRun one = ExportUnderLimit("one", 1, 350000);
  const TRun many = ExportUnderLimit("many", 4, 350000);
  ExpectSameRuns(one, many);
  EXPECT_TRUE(many.Entries.empty()) << many.Entries.front();
  EXPECT_EQ(many.Error, "Cannot write file \"DIR/index_4_1.bmp\". File too large");
}

// A directory holds the place of slice index_3_2: found before any cell is cut.
TEST_F(ParallelExport, SliceTargetInTheWayFailsLikeOnOneThread) {
  for (const char* name : {"one", "many"}) fs::create_directories(Root / name / "index_3_2.jpg");
  const TRun one = Export("one", 1, ".jpg");
  const TRun many = Export("many", 4, ".jpg");
  ExpectSameRuns(one, many);
  EXPECT_TRUE(many.Written.empty());
  EXPECT_EQ(many.Entries, (S{"index_3_2.jpg"}));
  EXPECT_EQ(many.Error, "Cannot create file \"DIR/index_3_2.jpg\". Is a directory");
}

TEST_F(ParallelExport, MissingDirectoryIsReportedBeforeAnySlice) {
  Ui.Path = (Root / "absent" / "index.html").string();
  TSliceExporter exporter(Cut, Ui);
  exporter.Settings.Options.ShowOptions = false;
  exporter.Settings.EncodeThreads = 4;
  try {
    exporter.Export(Source);
    FAIL() << "exported into a missing directory";
  } catch (const EStreamError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file \"" +
                                         (Root / "absent" / "index.html").string() +
                                         "\". No such file or directory");
  }
  EXPECT_FALSE(fs::exists(Root / "absent"));
}

TEST_F(ParallelExport, ReplacedSliceKeepsItsPermissions) {
  fs::create_directories(Root / "many");
  faildisk::Write(Root / "many" / "index_1_2.bmp", "old");
  ::chmod((Root / "many" / "index_1_2.bmp").c_str(), 0640);
  const TRun many = Export("many", 4, ".bmp");
  struct stat st {};
  ASSERT_EQ(::stat((Root / "many" / "index_1_2.bmp").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_NE(many.Bytes.at("index_1_2.bmp"), "old");
}

// Staging names can be guessed: a link planted at one is passed over, and
// the file it points to stays as it was.
TEST_F(ParallelExport, LinkAtAStagingNameIsNeverWrittenThrough) {
  const fs::path dir = Root / "many";
  fs::create_directories(dir);
  faildisk::Write(Root / "victim", "precious");
  // The number the last staging file took tells the next ones.
  const std::string probe = fs::path(TStagedFile((Root / "probe").string()).StagingPath()).filename();
  const std::size_t dash = probe.rfind('-');
  const std::uint64_t next = std::stoull(probe.substr(dash + 1)) + 1;
  for (std::uint64_t n = next; n < next + 64; ++n)
    fs::create_symlink(Root / "victim", dir / StagingFileName(::getpid(), n));
  const TRun many = Export("many", 4, ".jpg");
  const TRun one = Export("one", 1, ".jpg");
  EXPECT_TRUE(many.Error.empty()) << many.Error;
  EXPECT_EQ(faildisk::Read(Root / "victim"), "precious");
  EXPECT_EQ(many.Bytes.at("index_1_1.jpg"), one.Bytes.at("index_1_1.jpg"));
}

// ---- cutting while the source loads

// Fills image from pixels as a reader does: size first, the start
// notification, then rows one by one, from the top or from the bottom,
// each told to OnRowsDone once final. atPause runs after the first
// pauseAfter rows.
void LoadRows(TPixelGraphic& image, const peer::RgbImage& pixels, bool fromTop, int pauseAfter,
              const std::function<void()>& atPause) {
  image.SetSizeAndFormat(pixels.Width, pixels.Height, pgpf24Bit);
  image.DoProgressStart();
  for (int n = 0; n < pixels.Height; ++n) {
    const int y = fromTop ? n : pixels.Height - 1 - n;
    std::uint8_t* row = image.ScanLine(y);
    for (std::size_t x = 0; x < std::size_t(pixels.Width); ++x)
      for (std::size_t c = 0; c < 3; ++c)
        row[3 * x + c] = pixels.Rgb[(std::size_t(y) * std::size_t(pixels.Width) + x) * 3 + 2 - c];
    image.DoRowsDone(y, 1);
    if (n + 1 == pauseAfter) atPause();
  }
}

void LoadTopDown(TPixelGraphic& image, const peer::RgbImage& pixels, int pauseAfter,
                 const std::function<void()>& atPause) {
  LoadRows(image, pixels, true, pauseAfter, atPause);
}

// Restores the pixel limit on every exit path.
struct TPixelLimit {
  std::uint64_t Saved = PGSettings().MaxImagePixels;
  ~TPixelLimit() { PGSettings().MaxImagePixels = Saved; }
};

class CutWhileLoading : public ParallelExport {
 protected:
  TRun ExportLoading(const std::string& name, int threads, const std::function<void()>& load) {
    const fs::path dir = Root / name;
    fs::create_directories(dir);
    Ui = TRecordingUi{};
    Ui.Path = (dir / "index.html").string();
    TSliceExporter exporter(Cut, Ui);
    exporter.Settings.Options.ShowOptions = false;
    exporter.Settings.EncodeThreads = threads;
    exporter.Settings.OutputExtension = Extension;
    exporter.Settings.KeepLastSlice = KeepLast;
    exporter.Settings.KeepSourceRows = KeepSource;
    exporter.Settings.SourceFileHasAlpha = FileHasAlpha;
    exporter.Settings.Options.Retina = Retina;
    TRun run;
    try {
      exporter.ExportWhileLoading(Loading, load);
    } catch (const std::exception& e) {
      run.Error = e.what();
    }
    run.Written = Ui.Written;
    return Collect(dir, run);
  }
  // Waits (within a generous bound) until at least count slices of dir are
  // staged or being staged.
  static bool StagingFilesAppear(const fs::path& dir, std::size_t count) {
    for (int tries = 0; tries < 2000; ++tries) {
      std::size_t staging = 0;
      for (const std::string& entry : faildisk::Entries(dir)) staging += StagingFileOwner(entry) != 0;
      if (staging >= count) return true;
      ::usleep(10000);
    }
    return false;
  }
  TPixelGraphic Loading;
  std::string Extension = ".jpg";
  bool KeepLast = true;
  bool KeepSource = true;
  bool FileHasAlpha = false;
};

// Grid row 1 ends at y = 400, grid row 3 starts at y = 410: each is staged
// while the rows beyond it are still to come, from whichever end the rows
// come. Without a last slice to keep, a writer starts on the cells of grid
// row 1 once its first row is in. Nothing takes its place while the load
// runs.
TEST_F(CutWhileLoading, GridRowIsStagedWhileTheRestLoads) {
  const TRun reference = Export("reference", 1, ".jpg");
  for (const bool keepLast : {true, false})
    for (const bool fromTop : {true, false}) {
      SCOPED_TRACE(std::string(fromTop ? "top" : "bottom") + (keepLast ? " keep" : ""));
      KeepLast = keepLast;
      const std::string name = std::string(fromTop ? "top" : "bottom") + (keepLast ? "_keep" : "");
      bool staged = false;
      std::size_t writtenAtPause = 99;
      const int pause = fromTop ? (keepLast ? 400 : 1) : 9;
      const TRun early = ExportLoading(name, 3, [&] {
        LoadRows(Loading, Pixels, fromTop, pause, [&] {
          staged = StagingFilesAppear(Root / name, fromTop && !keepLast ? 3 : 4);
          writtenAtPause = Ui.Written.size();
        });
      });
      EXPECT_TRUE(staged);
      EXPECT_EQ(writtenAtPause, 0u);
      ExpectSameRuns(reference, early);
    }
}

// Every reader that hands rows over as it goes, the gamma step of loading
// and a palette source included: the files of loading first.
TEST_F(CutWhileLoading, RealFilesOfEveryDeliveringFormatGiveTheFilesOfLoadingFirst) {
  TPixelGraphic photo, palette;
  photo.Assign(&Source);
  palette.SetSizeAndFormat(Source.Width(), Source.Height(), pgpf8Bit);
  palette.SetPaletteIdent(pSpecial216);
  palette.CopyRect(0, 0, Source, 0, 0, Source.Width(), Source.Height());
  const struct {
    const char* Name;
    TPixelGraphic* Image;
    long double FileGamma;
  } kFiles[] = {{"photo.jpg", &photo, 1.8L},     {"photo.png", &photo, 1.8L},
                {"gamma.png", &photo, 1.0L},     {"photo.bmp", &photo, 1.8L},
                {"palette.bmp", &palette, 1.8L}, {"photo.tif", &photo, 1.8L},
                {"photo.ppm", &photo, 1.8L},     {"photo.tga", &photo, 1.8L},
                {"photo.webp", &photo, 1.8L}};
  for (const auto& file : kFiles) {
    SCOPED_TRACE(file.Name);
    const fs::path path = Root / file.Name;
    file.Image->FileGamma = file.FileGamma;
    file.Image->SaveToFile(path.string());
    file.Image->FileGamma = 1.8L;
    Source.LoadFromFile(path.string());
    const std::string name = fs::path(file.Name).replace_extension().string() + "_" +
                             fs::path(file.Name).extension().string().substr(1);
    // WebP slices are written from windows on rows still loading.
    for (const std::string extension : {".jpg", ".bmp", ".webp"}) {
      Extension = extension;
      const TRun reference = Export(name + "_reference" + extension, 1, extension);
      for (const bool keepLast : {true, false}) {
        KeepLast = keepLast;
        const TRun early = ExportLoading(name + "_early" + extension + (keepLast ? "_keep" : ""), 4,
                                         [&] { Loading.LoadFromFile(path.string()); });
        ExpectSameRuns(reference, early);
        EXPECT_EQ(early.Entries.size(), 13u);
      }
    }
  }
}

// Rows kept in reused bands behind the writers, from every reader that
// hands rows over (those that need one block keep it) into every writer
// that takes them as they come or wants its cell whole: the files of
// loading first, and a grey source and one with transparency (its alpha
// kept whole beside the bands) too.
TEST_F(CutWhileLoading, RowsInReusedBandsGiveTheFilesOfLoadingFirstOnEveryFormat) {
  Use(PhotoLike(300, 1300));
  for (int x : {100, 200}) Grid.VertSplits.Add(x);
  for (int y : {100, 500, 900, 1000}) Grid.HorzSplits.Add(y);
  TPixelGraphic grey, clear;
  peer::GreyCopy(Source, grey);
  clear.Assign(&Source);
  clear.AddAlpha();
  for (int y = 0; y < clear.Height(); ++y)
    for (int x = 0; x < clear.Width(); ++x) clear.AlphaLine(y)[x] = std::uint8_t(x < 150 ? 0 : y % 256);
  KeepLast = false;
  const struct {
    const char* Name;
    TPixelGraphic* Image;
    bool Alpha;
  } kFiles[] = {{"photo.jpg", &Source, false}, {"photo.png", &Source, false}, {"photo.tif", &Source, false},
                {"photo.ppm", &Source, false}, {"grey.pgm", &grey, false},    {"grey.png", &grey, false},
                {"photo.bmp", &Source, false}, {"photo.webp", &Source, false}, {"clear.png", &clear, true}};
  for (const auto& file : kFiles) {
    const fs::path path = Root / file.Name;
    file.Image->SaveToFile(path.string());
  }
  for (const auto& file : kFiles) {
    const fs::path path = Root / file.Name;
    Source.LoadFromFile(path.string());
    for (const std::string extension : {".jpg", ".png", ".tif", ".bmp", ".webp"}) {
      SCOPED_TRACE(std::string(file.Name) + " -> " + extension);
      Extension = extension;
      const std::string name = fs::path(file.Name).stem().string() + "_" +
                               fs::path(file.Name).extension().string().substr(1) + "_" + extension.substr(1);
      const TRun reference = Export(name + "_reference", 1, extension);
      KeepSource = false;
      FileHasAlpha = file.Alpha;
      const TRun given = ExportLoading(name, 3, [&] { Loading.LoadFromFile(path.string()); });
      KeepSource = true;
      FileHasAlpha = false;
      ExpectSameRuns(reference, given);
      if (file.Alpha) EXPECT_TRUE(Loading.HasAlpha());
    }
  }
}

// Slices of the first grid rows are staged when the load fails, and
// writers wait for rows of the last one: none stays, no writer waits on.
TEST_F(CutWhileLoading, FailingLoadLeavesNothing) {
  for (const bool keepLast : {true, false}) {
    KeepLast = keepLast;
    const TRun early = ExportLoading(keepLast ? "keep" : "early", 4, [&] {
      LoadTopDown(Loading, Pixels, 415, [] { throw std::runtime_error("the disk is gone"); });
    });
    EXPECT_EQ(early.Error, "the disk is gone");
    EXPECT_TRUE(early.Entries.empty()) << early.Entries.front();
    EXPECT_TRUE(early.Written.empty());
  }
}

// index_4_1 (124800 pixels) cannot be cut while the limit is low: the
// cutting stops there and takes it up again after the load.
TEST_F(CutWhileLoading, CellThatFailsDuringTheLoadIsCutAgainAfterIt) {
  TPixelLimit limit;
  const TRun reference = Export("reference", 1, ".jpg");
  const TRun early = ExportLoading("early", 4, [&] {
    LoadTopDown(Loading, Pixels, 1, [&] { PGSettings().MaxImagePixels = 100000; });
    PGSettings().MaxImagePixels = limit.Saved;
  });
  ExpectSameRuns(reference, early);
}

// With the limit still low after the load, index_4_1 fails in cell order.
TEST_F(CutWhileLoading, CellThatStillFailsAfterTheLoadFailsInCellOrder) {
  TPixelLimit limit;
  const TRun early = ExportLoading("early", 4, [&] {
    LoadTopDown(Loading, Pixels, 1, [&] { PGSettings().MaxImagePixels = 100000; });
  });
  const TRun reference = Export("reference", 1, ".jpg");  // Source is loaded already
  ExpectSameRuns(reference, early);
  EXPECT_TRUE(early.Written.empty());
  EXPECT_TRUE(early.Entries.empty());
  EXPECT_FALSE(early.Error.empty());
}

// Retina slices, two files a cell, the half-size one scaled on a worker:
// the files of one thread on any number, and while the source loads.
TEST_F(CutWhileLoading, RetinaSlicesAreTheSameOnEveryRoad) {
  Use(PhotoLike(614, 420));
  for (int x : {612, 50, 300, 50}) Grid.VertSplits.Add(x);
  for (int y : {410, 400}) Grid.HorzSplits.Add(y);
  Retina = true;
  Extension = ".png";
  const TRun reference = Export("reference", 1, ".png");
  EXPECT_TRUE(reference.Error.empty()) << reference.Error;
  EXPECT_EQ(reference.Entries.size(), 25u);  // twelve cells, two files each, and the HTML
  EXPECT_EQ(reference.Written.front(), "index_1_1.png");
  EXPECT_EQ(reference.Written[1], "index_1_1@2x.png");
  EXPECT_EQ(LastSlice, apptest::Crop(Pixels, 612, 410, 2, 10));
  ExpectSameRuns(reference, Export("many", 4, ".png"));
  for (const bool keepLast : {true, false}) {
    KeepLast = keepLast;
    ExpectSameRuns(reference, ExportLoading(keepLast ? "loading_keep" : "loading", 3, [&] {
                     LoadTopDown(Loading, Pixels, 405, [] {});
                   }));
  }
}

// A merged cell needs every grid row it spans: one over all rows waits for
// the whole load, whichever end the rows come from, and is the same file
// on every road, at full and half size.
TEST_F(CutWhileLoading, MergedCellsWaitForAllTheirRows) {
  Use(PhotoLike(614, 420));
  for (int x : {612, 50, 300, 50}) Grid.VertSplits.Add(x);
  for (int y : {410, 400}) Grid.HorzSplits.Add(y);
  Cells.Merges = {{{3, 1}, {2, 3}}, {{1, 2}, {1, 2}}};
  Cells.Skips = {{5, 1}};
  Extension = ".png";
  for (const bool retina : {false, true}) {
    Retina = retina;
    const std::string name = retina ? "retina" : "plain";
    const TRun reference = Export(name, 1, ".png");
    EXPECT_TRUE(reference.Error.empty()) << reference.Error;
    const S slices = {"index_1_1.png", "index_3_1.png", "index_1_2.png", "index_5_2.png", "index_5_3.png"};
    S expected;
    for (const std::string& slice : slices) {
      expected.push_back(slice);
      if (retina) expected.push_back(slice.substr(0, slice.size() - 4) + "@2x.png");
    }
    EXPECT_EQ(reference.Written, expected);
    TPixelGraphic slice;
    slice.LoadFromFile((Root / name / (retina ? "index_3_1@2x.png" : "index_3_1.png")).string());
    EXPECT_EQ(peer::ToRgb(slice), apptest::Crop(Pixels, 50, 0, 562, 420));
    slice.LoadFromFile((Root / name / (retina ? "index_1_2@2x.png" : "index_1_2.png")).string());
    EXPECT_EQ(peer::ToRgb(slice), apptest::Crop(Pixels, 0, 400, 50, 20));
    ExpectSameRuns(reference, Export(name + "_many", 4, ".png"));
    for (const bool fromTop : {true, false})
      for (const bool keepLast : {true, false}) {
        KeepLast = keepLast;
        ExpectSameRuns(reference, ExportLoading(name + (fromTop ? "_top" : "_bottom") + (keepLast ? "_keep" : ""), 3,
                                                [&] { LoadRows(Loading, Pixels, fromTop, 405, [] {}); }));
      }
  }
  // With rows going back: the merged cell holds all its rows until it is
  // written, and a skipped cell's background, read after the slices, keeps
  // the image whole.
  KeepLast = false;
  Retina = false;
  for (const bool skip : {true, false}) {
    Cells.Skips.clear();
    if (skip) Cells.Skips = {{5, 1}};
    const std::string name = skip ? "given_skip" : "given";
    const TRun reference = Export(name + "_reference", 1, ".png");
    KeepSource = false;
    const TRun given = ExportLoading(name, 3, [&] { LoadRows(Loading, Pixels, true, 405, [] {}); });
    KeepSource = true;
    ExpectSameRuns(reference, given);
    if (skip)
      EXPECT_EQ(peer::ZeroRows(peer::ToRgb(Loading)), 0);
    else
      EXPECT_GT(peer::ZeroRows(peer::ToRgb(Loading)), 300);
  }
}

// Rows going back to the system once every slice that needs them is
// written, on every road: windows on rows still loading (writers halfway
// through a grid row at the pause), cells cut once complete for a writer
// that wants them whole, half-size retina slices, and a real file handed
// over in bands. The files of loading first, and the rows did go back.
TEST_F(CutWhileLoading, RowsGoBackOnlyOnceEverySliceNeedingThemIsWritten) {
  Use(PhotoLike(300, 1300));
  for (int x : {100, 200}) Grid.VertSplits.Add(x);
  for (int y : {100, 500, 900, 1000}) Grid.HorzSplits.Add(y);
  KeepLast = false;
  const fs::path file = Root / "photo.jpg";
  Source.SaveToFile(file.string());
  for (const std::string extension : {".jpg", ".png", ".bmp"})
    for (const bool retina : {false, true}) {
      SCOPED_TRACE(extension + (retina ? " retina" : ""));
      Retina = retina;
      Extension = extension;
      const std::string name = extension.substr(1) + (retina ? "_retina" : "");
      const TRun reference = Export(name + "_reference", 1, extension);
      KeepSource = false;
      bool staged = false;
      const TRun given = ExportLoading(name, 3, [&] {
        LoadTopDown(Loading, Pixels, 700, [&] { staged = StagingFilesAppear(Root / name, 3); });
      });
      EXPECT_TRUE(staged);
      KeepSource = true;
      ExpectSameRuns(reference, given);
      EXPECT_GT(peer::ZeroRows(peer::ToRgb(Loading)), 1200);
    }
  Source.LoadFromFile(file.string());
  Retina = false;
  Extension = ".jpg";
  const TRun reference = Export("file_reference", 1, ".jpg");
  KeepSource = false;
  ExpectSameRuns(reference, ExportLoading("file", 3, [&] { Loading.LoadFromFile(file.string()); }));
  EXPECT_GT(peer::ZeroRows(peer::ToRgb(Loading)), 1200);
}

}  // namespace
