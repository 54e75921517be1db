// tessel-cli slice IMAGE HTML: the export of the workbench, driven by options.

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "app/cut/cellsfile.h"
#include "app/common/convert.h"
#include "app/export/exporter.h"
#include "app/cut/griddatafiles.h"
#include "app/cut/gridfile.h"
#include "app/export/htmltable.h"
#include "app/common/outputformats.h"
#include "app/export/pageweight.h"
#include "app/cut/tagsfile.h"
#include "cli/cli.h"
#include "pgraphic/core/stagedfile.h"
#include "pgraphic/core/stream.h"
#include "pgraphic/core/threadpool.h"
#include "pgraphic/formats/registry.h"

namespace {

// The window's dialogs answered from the command line.
class TCliExportUi : public TExportUi {
 public:
  // tags: the texts of --tags, marked as their slices take them.
  TCliExportUi(std::string htmlPath, bool overwrite, TTagMap& tags)
      : FHtmlPath(std::move(htmlPath)), FOverwrite(overwrite), FTags(tags) {}

  bool ChooseHtmlFile(std::string& path) override {
    path = FHtmlPath;
    return true;
  }
  bool ConfirmOverwrite(const std::string&, const std::string&) override {
    if (!FOverwrite) FRefusal = FHtmlPath + " exists (use --overwrite)";
    return FOverwrite;
  }
  bool ConfirmReplace(const std::vector<std::string>& paths) override {
    if (FOverwrite) return true;
    FRefusal = paths.front();
    if (paths.size() > 1)
      FRefusal += " and " + std::to_string(paths.size() - 1) +
                  (paths.size() == 2 ? " other file exist" : " other files exist");
    else
      FRefusal += " exists";
    FRefusal += " (use --overwrite)";
    return false;
  }
  bool ConfirmOddRetinaLine(const std::string& line) override {
    FRefusal = "--retina: " + line +
               " lies at an odd position; half-size slices need every split line at an even one";
    return false;
  }
  // Why the export stopped before writing; said once the source has loaded,
  // whichever road the export took.
  std::string Refusal() const { return "tessel-cli: " + FRefusal + "\n"; }
  void ShowExportOptions(TExportOptions&) override {}
  std::string EditSliceTags(TPixelGraphic&, const TGridCell& cell, const TSliceTag& tag) override;
  void EditCode(std::vector<std::string>&) override {}
  void SlicesEncoded(const std::vector<TSliceOutcome>& slices) override {
    for (const TSliceOutcome& slice : slices) FSlices[slice.Path] = slice;
  }
  void SliceWritten(const std::string& path) override;
  void ReportTotalAndUnusedTags() const;

 private:
  std::string FHtmlPath;
  bool FOverwrite;
  std::string FRefusal;
  TTagMap& FTags;
  std::map<std::string, TSliceOutcome> FSlices;
  int FFiles = 0;
  std::uint64_t FBytes = 0;
};

std::string TCliExportUi::EditSliceTags(TPixelGraphic&, const TGridCell& cell,
                                        const TSliceTag& tag) {
  auto it = FTags.find({cell.Column, cell.Row});
  if (it == FTags.end()) return tag.PlainCode();
  it->second.Used = true;
  return tag.Code(it->second.Link, it->second.Target, it->second.Alt);
}

// "PATH: BYTES bytes", and for a slice made in memory its format and why.
std::string SliceLine(const TSliceOutcome& slice) {
  std::string line = slice.Path + ": " + std::to_string(slice.Bytes) + " bytes";
  if (slice.Quality >= 0 || !slice.Reason.empty()) line += ", " + FormatAndQuality(slice);
  if (!slice.Reason.empty()) line += ", " + slice.Reason;
  return line + "\n";
}

std::string TotalLine(std::size_t files, std::uint64_t bytes) {
  return "total: " + std::to_string(files) + (files == 1 ? " slice, " : " slices, ") + std::to_string(bytes) +
         " bytes";
}

void TCliExportUi::SliceWritten(const std::string& path) {
  const auto it = FSlices.find(path);
  TSliceOutcome slice;
  if (it != FSlices.end()) {
    slice = it->second;
  } else {
    struct stat st {};
    slice = {path, "", -1, stat(path.c_str(), &st) == 0 ? std::uint64_t(st.st_size) : 0, ""};
  }
  ++FFiles;
  FBytes += slice.Bytes;
  std::cout << SliceLine(slice);
}

void TCliExportUi::ReportTotalAndUnusedTags() const {
  std::cout << TotalLine(std::size_t(FFiles), FBytes) << "\n";
  for (const auto& [cell, tags] : FTags)
    if (!tags.Used)
      std::cerr << "warning: no slice " << cell.first << "," << cell.second << " for its tags\n";
}

// Positions of --vert/--horz, comma separated, added by the Add Splitline rule.
void AddSplitlines(const std::vector<std::string>& values, bool vertical, TSplitGrid& grid,
                   int extent, std::ostream& messages) {
  for (const std::string& list : values) {
    for (const std::string& text : SplitOn(list, ',')) {
      std::int32_t value;
      try {
        value = StrToInt(text);
      } catch (const EConvertError& e) {
        throw TCliUsageError(e.what());
      }
      const bool added = vertical ? grid.AddSplitlineVert(value, extent) : grid.AddSplitlineHorz(value, extent);
      if (!added)
        messages << "warning: " << (vertical ? "vertical" : "horizontal") << " position " << value
                 << " outside 0-" << extent << ", ignored\n";
    }
  }
}

const TOutputFormat& FormatNamed(const std::string& name) {
  if (const TOutputFormat* format = FindOutputFormat(name)) return *format;
  throw TCliUsageError("--format must be " + OutputFormatNames() + ", got " + name);
}

void BuildGrid(const TCliParsed& parsed, TSplitGrid& grid, int width, int height,
               std::ostream& messages) {
  grid.ResetToImage(width, height);
  if (parsed.Has("--grid"))
    LoadGrid(parsed.Get("--grid"), grid, width, height,
             [&messages](const std::string& message) { messages << message << "\n"; });
  AddSplitlines(parsed.All("--vert"), true, grid, width, messages);
  AddSplitlines(parsed.All("--horz"), false, grid, height, messages);
}

// A reader that hands rows over as they are final lets slices be cut, with
// the grid built from the header, while the rows beyond them still decode.
// Anything unusual (a reader that cannot, a header or grid that fails)
// takes the road that loads first, so that what is reported comes in its
// usual order.
bool GridFromHeader(const TCliParsed& parsed, TSplitGrid& grid, std::ostream& messages, int& width,
                    int& height, bool& alpha) {
  const std::string& imagePath = parsed.Positional[0];
  try {
    TFileStream stream(imagePath, TFileStream::fmOpenRead);
    const std::string extension = FileExtensionOf(imagePath);
    const TFileFormatReader* reader = FindReader(stream, extension);
    if (!reader || reader->RowDelivery == rdAtEnd) return false;
    TFileInfo info;
    std::string description;
    if (!GetFileInfo(stream, extension, 0, info, description)) return false;
    BuildGrid(parsed, grid, info.Width, info.Height, messages);
    width = info.Width;
    height = info.Height;
    alpha = info.Alpha;
    return true;
  } catch (...) {
    return false;
  }
}

TExportOptions OptionsFrom(const TCliParsed& parsed) {
  TExportOptions options;
  options.ShowOptions = false;
  options.UpperCase = parsed.Has("--uppercase");
  options.DoubleQuote = parsed.Has("--double-quote");
  options.AlwaysGrid = parsed.Has("--save-grid");
  options.IncAltTags = parsed.Has("--tags");
  if (parsed.Has("--style") && !PageStyleNamed(parsed.Get("--style"), options.Style))
    throw TCliUsageError("--style must be classic, html5, email or fluid, got " + parsed.Get("--style"));
  options.BaseUrl = parsed.Get("--base-url");
  if (const std::string problem = BaseUrlProblem(options.BaseUrl); !problem.empty())
    throw TCliUsageError(problem);
  options.Retina = parsed.Has("--retina");
  return options;
}

// Slices are encoded on as many threads as the machine has cores unless
// --threads says otherwise; the files are the same either way.
int ThreadsFrom(const TCliParsed& parsed) {
  if (!parsed.Has("--threads")) return PGCores();
  std::int32_t threads = 0;
  try {
    threads = StrToInt(parsed.Get("--threads"));
  } catch (const EConvertError& e) {
    throw TCliUsageError(e.what());
  }
  if (threads < 1 || threads > 64)
    throw TCliUsageError("--threads must be 1 to 64, got " + parsed.Get("--threads"));
  return threads;
}

// The cells of --cells, or of the cells file beside the --grid file when
// there is one.
TCellData CellsFrom(const TCliParsed& parsed) {
  std::string path = parsed.Get("--cells");
  if (path.empty() && parsed.Has("--grid")) {
    path = CompanionPath(parsed.Get("--grid"), CellsExtension);
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return {};
  }
  if (path.empty()) return {};
  return ReadCellsFile(path, [](const std::string& message) { std::cerr << "warning: " << message << "\n"; });
}

std::string CellsSource(const TCliParsed& parsed) {
  return parsed.Has("--cells") ? parsed.Get("--cells") : CompanionPath(parsed.Get("--grid"), CellsExtension);
}

// A grid that leaves part of the image out, or cuts nothing at all, is
// almost always a mistake in a batch: said, not silently exported. False
// when there is no slice to write.
bool CheckCover(TSplitGrid grid, int width, int height, std::ostream& messages) {
  grid.SortBoth();
  if (grid.FilledColumns().empty() || grid.FilledRows().empty()) return false;
  const auto& v = grid.VertSplits.Values();
  const auto& h = grid.HorzSplits.Values();
  if (v.front() > 0 || v.back() < width || h.front() > 0 || h.back() < height)
    messages << "warning: the grid covers x " << v.front() << "-" << v.back() << ", y "
             << h.front() << "-" << h.back() << " of the " << width << " x " << height
             << " image; the rest is not exported\n";
  return true;
}

// --dry-run: each slice made in memory as the export would make it, its
// line printed, nothing written.
int DryRun(const TCliParsed& parsed, TPixelGraphic& source, const TSplitGrid& grid, const TCellData& cells,
           const TOutputFormat& format, const TExportOptions& options, int threads) {
  TPixelGraphic slice;
  ConfigureImage(slice, parsed);
  TPageWeighing weighing;
  weighing.HtmlPath = parsed.Positional[1];
  weighing.Options = options;
  weighing.Format = &format;
  weighing.Settings = PGSettings();
  weighing.Threads = threads;
  weighing.Cells = cells;
  if (format.Chosen())
    if (const std::string problem = AutoFormatsProblem({weighing.Settings, options.Style == TPageStyle::Email});
        !problem.empty())
      throw std::runtime_error(problem);
  const std::vector<TSliceOutcome> slices = WeighSlices(source, grid, slice, weighing);
  for (const TSliceOutcome& each : slices) std::cout << SliceLine(each);
  std::cout << TotalLine(slices.size(), TotalBytes(slices)) << " (dry run: nothing written)\n";
  return 0;
}

int RunSlice(const std::vector<std::string>& args) {
  const TCliParsed parsed =
      ParseCli(args, {{"--grid", true}, {"--vert", true}, {"--horz", true}, {"--format", true},
                      {"--uppercase", false}, {"--double-quote", false}, {"--save-grid", false},
                      {"--tags", true}, {"--overwrite", false}, {"--threads", true},
                      {"--style", true}, {"--base-url", true}, {"--retina", false}, {"--cells", true},
                      {"--dry-run", false}});
  if (parsed.Positional.size() != 2) throw TCliUsageError("slice needs IMAGE and HTML");
  // A directory in the HTML file's place is a failed write, not a bad command line.
  if (std::filesystem::is_directory(parsed.Positional[1]))
    throw std::runtime_error("Cannot create file \"" + parsed.Positional[1] + "\". Is a directory");
  ApplyCommonOptions(parsed);
  const TOutputFormat& format = FormatNamed(parsed.Get("--format", "jpg"));
  const TExportOptions options = OptionsFrom(parsed);
  const int threads = ThreadsFrom(parsed);
  TTagMap tags = parsed.Has("--tags") ? ReadTagsFile(parsed.Get("--tags")) : TTagMap{};
  // The cells go with the cut always: a cells file left from before never
  // outlives its grid.
  TGridData cut{{}, std::move(tags), CellsFrom(parsed)};
  const TCellData& cells = cut.Cells;
  TSplitGrid& grid = cut.Grid;
  TPixelGraphic source;
  ConfigureImage(source, parsed);
  std::ostringstream gridMessages;
  const TFileIdentity sourceFile = FileIdentityOf(parsed.Positional[0]);
  int width = 0, height = 0;
  bool alpha = false;
  const bool dryRun = parsed.Has("--dry-run");
  const bool early = !dryRun && GridFromHeader(parsed, grid, gridMessages, width, height, alpha);
  if (!early) {
    source.LoadFromFile(parsed.Positional[0]);
    width = source.Width();
    height = source.Height();
    BuildGrid(parsed, grid, width, height, std::cerr);
  }
  // The grid's messages follow the load's own, as when loading comes first.
  const auto load = [&] {
    source.LoadFromFile(parsed.Positional[0]);
    std::cerr << gridMessages.str();
  };
  if (!CheckCover(grid, width, height, early ? gridMessages : std::cerr)) {
    if (early) load();
    throw std::runtime_error("tessel-cli: the grid yields no slice; nothing to write");
  }
  if (const std::string problem = CellsProblem(cells, grid, CellsSource(parsed)); !problem.empty()) {
    if (early) load();
    throw std::runtime_error(problem);
  }
  if (dryRun) return DryRun(parsed, source, grid, cells, format, options, threads);
  TCliExportUi ui(parsed.Positional[1], parsed.Has("--overwrite"), cut.Tags);
  TSliceExporter exporter(cut, ui);
  TExportSettings& settings = exporter.Settings;
  settings.SourceFile = sourceFile;
  ConfigureImage(exporter.SliceImage, parsed);
  settings.SetOutputFormat(format);
  settings.Options = options;
  settings.EncodeThreads = threads;
  settings.KeepLastSlice = false;  // nothing shows it
  settings.KeepSourceRows = false;  // nor reads the source after the export
  settings.SourceFileHasAlpha = alpha;
  settings.SaveTexts = parsed.Has("--tags");  // beside the grid with --save-grid
  if (!(early ? exporter.ExportWhileLoading(source, load) : exporter.Export(source))) {
    std::cerr << ui.Refusal();
    return 1;
  }
  ui.ReportTotalAndUnusedTags();
  return 0;
}

const TCliRegistrar Registrar{
    {"slice",
     "slice IMAGE HTML [--grid FILE.grd] [--vert X[,X...]] [--horz Y[,Y...]]\n"
     "                   [--format jpg|bmp|tif|png|webp|png8|auto]\n"
     "                   [--style classic|html5|email|fluid]\n"
     "                   [--base-url URL] [--retina] [--uppercase] [--double-quote]\n"
     "                   [--cells FILE] [--save-grid] [--tags FILE] [--overwrite]\n"
     "                   [--threads N] [--dry-run]",
     RunSlice,
     "Cuts IMAGE along the grid into one file per cell, named BASE_COLUMN_ROW.EXT\n"
     "beside HTML (BASE is the HTML file name up to its first dot), and writes HTML\n"
     "with the table that puts them back together. All files take their places\n"
     "together, or none does.\n"
     "\n"
     "Sources that decode from the top (JPEG, PNG that is not interlaced, TIFF,\n"
     "PNM, PCX, WebP) stream: slices are written as their rows come, and each\n"
     "band of rows leaves memory once every slice that needs it is written\n"
     "(not with --style email or cells without an image, whose colours read the\n"
     "image afterwards, nor with --threads 1). BMP and TGA sources, stored\n"
     "bottom-up, and interlaced PNG are held whole.\n"
     "\n"
     "  --grid FILE.grd    split lines from a grid file, then --vert and --horz;\n"
     "                     FILE.cells beside it is read as --cells\n"
     "  --vert, --horz     more split positions, comma separated\n"
     "  --format           slice format (default jpg): png8 writes .png files of at\n"
     "                     most 256 colours (dithered when more, see Png8Dither);\n"
     "                     webp by WebpQuality and WebpLossless; auto gives each\n"
     "                     slice the fewest bytes that look the same: a slice of\n"
     "                     256 colours or fewer exact as PNG or lossless WebP,\n"
     "                     any other as JPEG at JpegQuality or WebP at the lowest\n"
     "                     quality whose SSIM is as high (.png, .webp or .jpg;\n"
     "                     WebP not for --style email; AutoFormats limits them)\n"
     "  --style            how the table is written (default classic):\n"
     "                       classic  for pages without a doctype, as of old\n"
     "                       html5    for pages that start with <!DOCTYPE html>\n"
     "                       email    for HTML mail (cell colours, fixed widths)\n"
     "                       fluid    scales down with the page, up to full size\n"
     "  --base-url URL     put URL and a slash before every slice name (for mail\n"
     "                     and content systems); the slices still land beside HTML\n"
     "  --retina           the image is drawn at twice the page size: each slice is\n"
     "                     written as BASE_C_R@2x.EXT and, halved, as\n"
     "                     BASE_C_R.EXT; every split line must be at an even place\n"
     "  --uppercase        upper-case tags; --double-quote: SRC in double quotes\n"
     "  --save-grid        save the grid as BASE.grd beside HTML, the --tags texts\n"
     "                     as BASE.tags and the cells as BASE.cells\n"
     "  --overwrite        replace existing files (HTML, slices, grid)\n"
     "  --threads N        encoding threads, 1 to 64 (default: one per core)\n"
     "  --dry-run          print each slice's format and bytes and the total as\n"
     "                     the export would make them; write nothing\n"
     "  --tags FILE        link, target and ALT text per slice, one line each:\n"
     "                       COLUMN<TAB>ROW<TAB>LINK<TAB>TARGET<TAB>ALT\n"
     "                     COLUMN and ROW count from 1 as in the slice names; the\n"
     "                     last fields may be left out; empty lines are skipped.\n"
     "  --cells FILE       cells merged into one slice, cells without an image and\n"
     "                     slices of a format of their own, one record a line,\n"
     "                     fields separated by tabs:\n"
     "                       merge<TAB>COLUMN<TAB>ROW<TAB>COLUMNS<TAB>ROWS\n"
     "                       skip<TAB>COLUMN<TAB>ROW\n"
     "                       format<TAB>COLUMN<TAB>ROW<TAB>FORMAT[<TAB>QUALITY]\n"
     "                     a merged cell is one slice named after its top-left\n"
     "                     cell; a skipped one an empty table cell of the slice's\n"
     "                     average colour, without a file; a format record writes\n"
     "                     that slice in FORMAT (a --format name) at QUALITY\n"
     "                     (0-100, for jpg, webp and auto's JPEG). Lines starting\n"
     "                     with # are skipped; records of other kinds are warned\n"
     "                     about.\n"}};

}  // namespace
