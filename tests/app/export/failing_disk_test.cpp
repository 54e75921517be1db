// Export, HTML and grid files on a disk that gives out halfway: the old
// files stay, no staging file is left, the reason reaches the caller, and an
// export that fails replaces nothing at all, not one slice.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>

#include "app/common/atomicfile.h"
#include "app/export/exporter.h"
#include "app/cut/gridfile.h"
#include "pgraphic/core/stream.h"
#include "support/failing_disk.h"
#include "support/quiet_export_ui.h"
#include "support/peer.h"

namespace {

namespace fs = std::filesystem;
using faildisk::Entries;
using faildisk::TOutcome;
using S = std::vector<std::string>;

using TQuietUi = apptest::TQuietExportUi;

std::string Reason(const std::string& what, const fs::path& path, int error) {
  return what + " \"" + path.string() + "\". " + std::strerror(error);
}

TSplitGrid GridWithVerticals(int count) {
  TSplitGrid grid;
  grid.ResetToImage(count, 1);
  for (int x = 1; x < count; ++x) grid.VertSplits.Add(x);
  return grid;
}

class FailingExport : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = faildisk::ScratchDir("app");
    Ui.Path = (Dir / "index.html").string();
    Exporter.Settings.OutputExtension = ".bmp";
    Exporter.Settings.Options.ShowOptions = false;
    Exporter.Settings.Options.AlwaysGrid = true;
    Exporter.Settings.RecentGrids = &Recent;
  }
  // An image of columns of the given widths, 40 pixels high: a 10 pixel
  // column makes a BMP of 1334 bytes, a 100 pixel one of 12054 bytes.
  void Columns(const std::vector<int>& widths) {
    int right = 0;
    for (int w : widths) right += w;
    peer::FromRgb(Source, peer::Pattern(right, 40));
    Grid.ResetToImage(right, 40);
    for (int x = 0, i = 0; i + 1 < int(widths.size()); ++i)
      Grid.VertSplits.Add(x += widths[std::size_t(i)]);
  }
  void OldFiles(const S& names) {
    for (const auto& name : names) faildisk::Write(Dir / name, "old " + name);
  }
  void ExpectOld(const S& names) {
    for (const auto& name : names) EXPECT_EQ(faildisk::Read(Dir / name), "old " + name);
  }
  TOutcome ExportLimited(rlim_t limit) {
    return faildisk::WithFileSizeLimit(limit, [&] { Exporter.Export(Source); });
  }

  fs::path Dir;
  TPixelGraphic Source;
  TGridData Cut;
  TSplitGrid& Grid = Cut.Grid;
  TQuietUi Ui;
  TRecentFiles Recent{"MRUManager2"};
  TSliceExporter Exporter{Cut, Ui};
};

TEST_F(FailingExport, SliceOverTheLimitLeavesEveryFileAsItWas) {
  Columns({10, 10, 100});
  OldFiles({"index.html", "index.grd", "index_1_1.bmp", "index_3_1.bmp"});
  const TOutcome outcome = ExportLimited(5000);
  EXPECT_TRUE(faildisk::IsA<EStreamWriteError>(outcome)) << outcome.Type;
  EXPECT_EQ(outcome.Message, Reason("Cannot write file", Dir / "index_3_1.bmp", EFBIG));
  ExpectOld({"index.html", "index.grd", "index_1_1.bmp", "index_3_1.bmp"});
  EXPECT_EQ(Entries(Dir), (S{"index.grd", "index.html", "index_1_1.bmp", "index_3_1.bmp"}));
}

TEST_F(FailingExport, HtmlOverTheLimitKeepsTheOldHtmlAndWritesNoSlice) {
  Columns({10, 10, 10});
  OldFiles({"index.html", "index_2_1.bmp"});
  Ui.OnEditCode = [](std::vector<std::string>& lines) { lines.push_back(std::string(8000, 'x')); };
  Exporter.Settings.Options.EditCode = true;
  const TOutcome outcome = ExportLimited(5000);
  EXPECT_TRUE(faildisk::IsA<EStreamWriteError>(outcome)) << outcome.Type;
  EXPECT_EQ(outcome.Message, Reason("Cannot write file", Dir / "index.html", EFBIG));
  ExpectOld({"index.html", "index_2_1.bmp"});
  EXPECT_EQ(Entries(Dir), (S{"index.html", "index_2_1.bmp"}));
}

TEST_F(FailingExport, GridTargetInTheWayFailsBeforeAnyFile) {
  Columns({10, 10});
  fs::create_directory(Dir / "index.grd");
  try {
    Exporter.Export(Source);
    ADD_FAILURE() << "export returned";
  } catch (const EStreamError& e) {
    EXPECT_EQ(std::string(e.what()), Reason("Cannot create file", Dir / "index.grd", EISDIR));
  }
  EXPECT_TRUE(fs::is_empty(Dir / "index.grd"));
  EXPECT_EQ(Recent.Count(), 0);  // a grid that was not saved is no recent grid
  EXPECT_EQ(Entries(Dir), (S{"index.grd"}));
}

TEST_F(FailingExport, ReadOnlyDirectoryStopsBeforeTheFirstSlice) {
  Columns({10, 10});
  OldFiles({"index.html", "index_1_1.bmp"});
  std::string message;
  {
    faildisk::TImmutableDir frozen(Dir);
    if (!frozen.Active()) GTEST_SKIP() << "no immutable directories on this file system";
    try {
      Exporter.Export(Source);
    } catch (const EStreamError& e) {
      message = e.what();
    }
  }
  EXPECT_EQ(message, Reason("Cannot create file", Dir / "index.html", EPERM));
  ExpectOld({"index.html", "index_1_1.bmp"});
  EXPECT_EQ(Entries(Dir), (S{"index.html", "index_1_1.bmp"}));
}

// ---- the HTML and grid writers on their own

class FailingTextFile : public ::testing::Test {
 protected:
  void SetUp() override { Dir = faildisk::ScratchDir("app"); }
  fs::path Dir;
};

TEST_F(FailingTextFile, GridOverTheLimitKeepsTheOldGrid) {
  faildisk::Write(Dir / "cut.grd", "10\r\n-\r\n");
  const TSplitGrid grid = GridWithVerticals(3000);  // some 17 KB of lines
  const TOutcome outcome =
      faildisk::WithFileSizeLimit(4096, [&] { SaveGrid((Dir / "cut.grd").string(), grid); });
  EXPECT_EQ(outcome.Message, Reason("Cannot write file", Dir / "cut.grd", EFBIG));
  EXPECT_EQ(faildisk::Read(Dir / "cut.grd"), "10\r\n-\r\n");
  EXPECT_EQ(Entries(Dir), S{"cut.grd"});
}

TEST_F(FailingTextFile, TextThatJustFitsTheLimitIsWritten) {
  const std::string text(4096, 'y');
  const TOutcome outcome =
      faildisk::WithFileSizeLimit(4096, [&] { WriteFileAtomic((Dir / "t.html").string(), text); });
  EXPECT_FALSE(outcome.Threw) << outcome.Message;
  EXPECT_EQ(faildisk::Read(Dir / "t.html"), text);
  EXPECT_EQ(Entries(Dir), S{"t.html"});
}

TEST_F(FailingTextFile, ReadOnlyDirectoryRefusesHtmlAndGrid) {
  faildisk::Write(Dir / "page.html", "old page");
  faildisk::Write(Dir / "page.grd", "old grid");
  S messages;
  {
    faildisk::TImmutableDir frozen(Dir);
    if (!frozen.Active()) GTEST_SKIP() << "no immutable directories on this file system";
    for (const std::function<void()>& write : std::vector<std::function<void()>>{
             [&] { WriteLinesAtomic((Dir / "page.html").string(), {"<table>"}); },
             [&] { SaveGrid((Dir / "page.grd").string(), GridWithVerticals(3)); }}) {
      try {
        write();
      } catch (const EStreamError& e) {
        messages.push_back(e.what());
      }
    }
  }
  EXPECT_EQ(messages, (S{Reason("Cannot create file", Dir / "page.html", EPERM),
                         Reason("Cannot create file", Dir / "page.grd", EPERM)}));
  EXPECT_EQ(faildisk::Read(Dir / "page.html"), "old page");
  EXPECT_EQ(faildisk::Read(Dir / "page.grd"), "old grid");
  EXPECT_EQ(Entries(Dir), (S{"page.grd", "page.html"}));
}

TEST_F(FailingTextFile, MissingDirectoryIsReported) {
  try {
    WriteFileAtomic((Dir / "gone" / "x.html").string(), "text");
    ADD_FAILURE() << "write into a missing directory returned";
  } catch (const EStreamError& e) {
    EXPECT_EQ(std::string(e.what()), Reason("Cannot create file", Dir / "gone" / "x.html", ENOENT));
  }
  EXPECT_TRUE(Entries(Dir).empty());
}

}  // namespace
