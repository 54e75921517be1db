// The dry run, the page's weight and the export go by one plan: for grids
// with merged, skipped and retina cells, slices of their own formats and
// formats chosen, all three list the same files, formats and bytes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/export/exporter.h"
#include "app/export/pageweight.h"
#include "support/app_test_util.h"
#include "support/quiet_export_ui.h"

namespace {

namespace fs = std::filesystem;

// "PATH: BYTES bytes" and, where the line says them, format and quality.
std::string Line(const TSliceOutcome& slice, bool withFormat) {
  std::string line = slice.Path + ": " + std::to_string(slice.Bytes) + " bytes";
  return withFormat ? line + ", " + FormatAndQuality(slice) : line;
}

// The dry run's lines up to its total, each cut after the format it says
// (over the export's files, as the dry run checks what the export would).
std::vector<std::string> DryRun(const std::string& args) {
  std::vector<std::string> lines;
  FILE* out = ::popen(("'" + std::string(TESSEL_CLI_PATH) + "' slice " + args + " --dry-run --overwrite").c_str(), "r");
  char buffer[4096];
  while (out && std::fgets(buffer, sizeof buffer, out)) {
    const std::string line(buffer);
    if (line.rfind("total: ", 0) == 0) break;
    const std::size_t format = line.find(", ");
    lines.push_back(line.substr(0, line.find(", ", format == std::string::npos ? 0 : format + 2)));
    if (lines.back().back() == '\n') lines.back().pop_back();
  }
  if (out) ::pclose(out);
  return lines;
}

TEST(SlicePlan, DryRunPageWeightAndExportListTheSameSlices) {
  struct TCase {
    const char* Name;
    const char* Cells;
    const char* Format;
    bool Retina;
    TPageStyle Style;
  };
  const TCase cases[] = {
      {"merged", "merge\t2\t1\t2\t1\nskip\t1\t2\n", "jpg", false, TPageStyle::Classic},
      {"retina", "merge\t1\t1\t1\t2\n", "png8", true, TPageStyle::Classic},
      {"own", "format\t1\t1\tpng\nformat\t2\t1\tjpg\t30\nformat\t3\t1\twebp\nformat\t1\t2\tauto\t60\n", "bmp", false,
       TPageStyle::Classic},
      {"auto", "merge\t2\t2\t2\t1\nskip\t3\t1\nformat\t1\t1\tjpg\t50\n", "auto", true, TPageStyle::Email},
  };
  const fs::path dir = apptest::ScratchDir();
  const std::string source = std::string(TESSEL_SOURCE_DIR) + "/data/sample.png";
  TPixelGraphic image;
  image.LoadFromFile(source);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string html = (dir / c.Name / "a.html").string();
    const std::string cells = (dir / c.Name).string() + ".cells";
    fs::create_directories(dir / c.Name);
    apptest::WriteFile(cells, c.Cells);
    TGridData cut;
    cut.Grid.ResetToImage(image.Width(), image.Height());
    for (const int x : {100, 200}) cut.Grid.AddSplitlineVert(x, image.Width());
    cut.Grid.AddSplitlineHorz(60, image.Height());
    cut.Cells = ReadCellsFile(cells, nullptr);

    apptest::TQuietExportUi ui;
    ui.Path = html;
    TSliceExporter exporter(cut, ui);
    exporter.Settings.SetOutputFormat(*FindOutputFormat(c.Format));
    exporter.Settings.Options = {.ShowOptions = false, .Style = c.Style, .Retina = c.Retina};
    exporter.Settings.EncodeThreads = 3;
    ASSERT_TRUE(exporter.Export(image));

    const TPageWeighing weighing{html, exporter.Settings.Options, FindOutputFormat(c.Format), PGSettings(), 2,
                                 cut.Cells};
    const std::vector<TSliceOutcome> weighed = WeighSlices(image, cut.Grid, TPixelGraphic(), weighing);
    const std::vector<std::string> dry =
        DryRun("'" + source + "' '" + html + "' --vert 100,200 --horz 60 --cells '" + cells + "' --format " + c.Format +
               (c.Retina ? " --retina" : "") + (c.Style == TPageStyle::Email ? " --style email" : ""));

    ASSERT_EQ(ui.Slices.size(), weighed.size());
    ASSERT_EQ(dry.size(), weighed.size());
    std::vector<std::string> files{"a.html"};
    for (std::size_t i = 0; i < weighed.size(); ++i) {
      const TSliceOutcome& made = ui.Slices[i];
      EXPECT_EQ(Line(made, false), Line(weighed[i], false));
      EXPECT_EQ(made.Format + ", " + made.Reason, weighed[i].Format + ", " + weighed[i].Reason);
      if (made.Quality >= 0) {
        EXPECT_EQ(made.Quality, weighed[i].Quality) << made.Path;
      }
      // The dry run's line says the format where it has a quality or a reason.
      const bool says = dry[i] != Line(weighed[i], false);
      EXPECT_EQ(dry[i], Line(weighed[i], says));
      EXPECT_EQ(fs::file_size(made.Path), made.Bytes) << made.Path;
      files.push_back(fs::path(made.Path).filename());
    }
    std::sort(files.begin(), files.end());
    EXPECT_EQ(apptest::DirEntries(dir / c.Name), files);
  }
}

}  // namespace
