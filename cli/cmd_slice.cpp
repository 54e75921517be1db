// tessel-cli slice IMAGE HTML: the export of the workbench, driven by options.

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iostream>
#include <set>
#include <stdexcept>
#include <utility>

#include "app/common/convert.h"
#include "app/common/outputformats.h"
#include "app/cut/tagsfile.h"
#include "app/export/exporter.h"
#include "app/export/exportmanifest.h"
#include "app/export/htmltable.h"
#include "app/export/pageweight.h"
#include "cli/cli.h"
#include "cli/json.h"
#include "cli/slicecut.h"
#include "cli/slicereport.h"
#include "pgraphic/core/stagedfile.h"
#include "pgraphic/core/stream.h"
#include "pgraphic/core/threadpool.h"
#include "pgraphic/formats/registry.h"

namespace {

// The window's dialogs answered from the command line.
class TCliExportUi : public TExportUi {
 public:
  // tags: the texts of the cut, marked as their slices take them.
  TCliExportUi(std::string htmlPath, bool overwrite, TTagMap& tags, TSliceReport& report)
      : FHtmlPath(std::move(htmlPath)), FOverwrite(overwrite), FTags(tags), FReport(report) {}

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
    FBadInput = true;
    return false;
  }
  // Why the export stopped before writing; said once the source has loaded,
  // whichever road the export took.
  std::string Refusal() const { return "tessel-cli: " + FRefusal; }
  int RefusalStatus() const { return FBadInput ? ceFailed : ceOutputRefused; }
  void ShowExportOptions(TExportOptions&) override {}
  std::string EditSliceTags(TPixelGraphic&, const TGridCell& cell, const TSliceTag& tag) override;
  void EditCode(std::vector<std::string>&) override {}
  void Planned(const TExportPlan& plan) override { FReport.Planned(plan); }
  void SlicesEncoded(const std::vector<TSliceOutcome>& slices) override { FReport.Encoded(slices); }
  // What mail readers and browsers will make of the page: said, the export
  // written all the same (unless warnings count as errors).
  void ExportWarned(const std::vector<TExportWarning>& warnings) override {
    for (const TExportWarning& warning : warnings) CliWarn(warning.Text);
  }
  void BeforeCommit() override;
  void FilePlaced(const std::string& path, bool unchanged) override { FReport.Placed(path, unchanged); }
  void FileRemoved(const std::string& path) override { FReport.Removed(path); }

 private:
  std::string FHtmlPath;
  bool FOverwrite;
  bool FBadInput = false;
  std::string FRefusal;
  TTagMap& FTags;
  TSliceReport& FReport;
};

std::string TCliExportUi::EditSliceTags(TPixelGraphic&, const TGridCell& cell, const TSliceTag& tag) {
  auto it = FTags.find({cell.Column, cell.Row});
  if (it == FTags.end()) return tag.PlainCode();
  it->second.Used = true;
  return tag.Code(it->second.Link, it->second.Target, it->second.Alt);
}

// Texts of cells that give no slice, said before anything is written.
void WarnOfUnusedTexts(const TExportPlan& plan, const TTagMap& tags) {
  std::set<std::pair<int, int>> slices;
  for (const TPageCell& cell : plan.Page.Cells)
    if (!cell.Skip) slices.insert({cell.Cell.Column, cell.Cell.Row});
  for (const auto& [cell, texts] : tags)
    if (!slices.count(cell))
      CliWarn("no slice " + std::to_string(cell.first) + "," + std::to_string(cell.second) + " for its tags");
}

void TCliExportUi::BeforeCommit() {
  WarnOfUnusedTexts(FReport.Plan(), FTags);
  CliRaiseHeldWarning();
}

const TOutputFormat& FormatNamed(const std::string& name) {
  if (const TOutputFormat* format = FindOutputFormat(name)) return *format;
  throw TCliUsageError("--format must be " + OutputFormatNames() + ", got " + name);
}

// The image's size from its header, for a reader that hands rows over as
// they are final: the slices can then be cut, with the grid built from the
// header, while the rows beyond them still decode. False for anything
// unusual (a reader that cannot, a header that fails), which takes the road
// that loads first, so that what is reported comes in its usual order.
// Alpha: whether the file has transparency, which the export's road needs
// before the pixels come.
bool SizeFromHeader(const std::string& imagePath, int& width, int& height, bool& alpha, bool anyReader = false) {
  try {
    TFileStream stream(imagePath, TFileStream::fmOpenRead);
    const std::string extension = FileExtensionOf(imagePath);
    const TFileFormatReader* reader = FindReader(stream, extension);
    if (!reader || (reader->RowDelivery == rdAtEnd && !anyReader)) return false;
    TFileInfo info;
    std::string description;
    if (!GetFileInfo(stream, extension, 0, info, description)) return false;
    width = info.Width;
    height = info.Height;
    alpha = info.Alpha;
    return true;
  } catch (...) {
    return false;
  }
}

// --page and what goes with it, and the export's own settings of --set,
// which the library's settings leave to it (ApplyCommonOptions takes the rest).
constexpr const char* PageTextOptions[] = {"--title", "--background", "--preheader"};

void PageOptionsFrom(const TCliParsed& parsed, TExportOptions& options) {
  options.Page = parsed.Has("--page");
  for (const char* name : PageTextOptions)
    if (parsed.Has(name) && !options.Page) throw TCliUsageError(std::string(name) + " needs --page");
  options.PageTitle = parsed.Get("--title");
  options.PageBackground = parsed.Get("--background");
  if (const std::string problem = PageBackgroundProblem(options.PageBackground); !problem.empty())
    throw TCliUsageError(problem);
  options.Preheader = parsed.Get("--preheader");
  if (!options.Preheader.empty() && options.Style != TPageStyle::Email)
    throw TCliUsageError("--preheader needs --style email");
  for (const std::string& set : parsed.All("--set")) {
    const std::size_t eq = set.find('=');
    try {
      if (eq != std::string::npos) SetExportSetting(options, set.substr(0, eq), set.substr(eq + 1));
    } catch (const std::invalid_argument& e) {
      throw TCliUsageError(e.what());
    }
  }
}

TCliParsed WithoutExportSettings(TCliParsed parsed) {
  std::vector<std::string>& sets = parsed.Values["--set"];
  const std::vector<std::string> own = ExportSettingNames();
  std::erase_if(sets, [&](const std::string& set) {
    return std::find(own.begin(), own.end(), set.substr(0, set.find('='))) != own.end();
  });
  if (sets.empty()) parsed.Values.erase("--set");
  return parsed;
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
  PageOptionsFrom(parsed, options);
  return options;
}

// Slices are encoded on PGWorkers threads unless --threads says otherwise;
// the files are the same either way.
int ThreadsFrom(const TCliParsed& parsed) {
  if (!parsed.Has("--threads")) return PGWorkers();
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

// A grid that leaves part of the image out, or cuts nothing at all, is
// almost always a mistake in a batch: said, not silently exported. False
// when there is no slice to write.
bool CheckCover(TSplitGrid grid, int width, int height, TSliceCut& made) {
  grid.SortBoth();
  if (grid.FilledColumns().empty() || grid.FilledRows().empty()) return false;
  const auto& v = grid.VertSplits.Values();
  const auto& h = grid.HorzSplits.Values();
  if (v.front() > 0 || v.back() < width || h.front() > 0 || h.back() < height) {
    made.Warnings.push_back("the grid covers x " + std::to_string(v.front()) + "-" + std::to_string(v.back()) +
                            ", y " + std::to_string(h.front()) + "-" + std::to_string(h.back()) + " of the " +
                            std::to_string(width) + " x " + std::to_string(height) +
                            " image; the rest is not exported");
    if (made.Misfit.empty()) made.Misfit = made.Warnings.back();
  }
  return true;
}

// The grid's messages, in the order of the road that loads first; a grid
// that does not fit the image is an error with --strict.
void SayCut(const TSliceCut& made, const TSliceInputs& inputs) {
  if (inputs.Strict && !made.Misfit.empty())
    throw std::runtime_error("tessel-cli: " + made.Misfit + "; the grid does not fit the image (--strict)");
  for (const std::string& warning : made.Warnings) CliWarn(warning);
}

// One run of slice: the cut, then a dry run or the export, then its report.
class TSliceRun {
 public:
  explicit TSliceRun(const TCliParsed& parsed)
      : Parsed(parsed), ImagePath(parsed.Positional[0]), HtmlPath(parsed.Positional[1]),
        Inputs(SliceInputsOf(parsed)), Format(FormatNamed(parsed.Get("--format", "jpg"))),
        Options(OptionsFrom(parsed)), Threads(ThreadsFrom(parsed)), Json(parsed.Has("--json")),
        DryRun(parsed.Has("--dry-run")) {
    ConfigureImage(Source, parsed);
  }

  int Run();
  // The document of --json: the run's files, its warnings and how it ended.
  void PrintJson(int status, const std::string& error) const;

 private:
  void Configure(TSliceExporter& exporter);
  bool Rehearse(TSliceExporter& exporter);

  const TCliParsed& Parsed;
  const std::string ImagePath, HtmlPath;
  const TSliceInputs Inputs;
  const TOutputFormat& Format;
  const TExportOptions Options;
  const int Threads;
  const bool Json, DryRun;
  TPixelGraphic Source;
  bool FileHasAlpha = false;  // from the header, for the road of an export while loading
  TSliceCut Made;
  TSliceReport Report;
};

void TSliceRun::Configure(TSliceExporter& exporter) {
  TExportSettings& settings = exporter.Settings;
  settings.SourceFile = FileIdentityOf(ImagePath);
  ConfigureImage(exporter.SliceImage, Parsed);
  settings.SetOutputFormat(Format);
  settings.Options = Options;
  settings.EncodeThreads = Threads;
  settings.KeepLastSlice = false;   // nothing shows it
  settings.KeepSourceRows = false;  // nor reads the source after the export
  settings.SourceFileHasAlpha = FileHasAlpha;
  settings.SliceBaseName = Parsed.Get("--name");
  settings.MakeFolder = Parsed.Has("--mkdir");
  settings.KeepManifest = true;
  settings.Prune = Parsed.Has("--prune");
}

// Every check of the export, nothing written; then, without --json, each
// slice made in memory as the export would make it. False where the export
// would stop before writing.
bool TSliceRun::Rehearse(TSliceExporter& exporter) {
  TExportPlan plan;
  if (!exporter.DryRun(plan)) return false;
  WarnOfUnusedTexts(plan, Made.Cut.Tags);
  if (Json) {
    // What the export would remove: its last slices that none of this one's
    // files may become (a chosen format may become any of its candidates).
    std::vector<std::string> kept;
    for (const std::string& path : plan.Outputs) kept.push_back(std::filesystem::path(path).filename().string());
    if (exporter.Settings.Prune)
      for (const std::string& path : SlicesToPrune(HtmlPath, kept, exporter.Settings.SourceFile)) Report.Removed(path);
    return true;
  }
  TPixelGraphic slice;
  ConfigureImage(slice, Parsed);
  TPageWeighing weighing;
  weighing.HtmlPath = HtmlPath;
  weighing.SliceBaseName = exporter.Settings.SliceBaseName;
  weighing.Options = Options;
  weighing.Format = &Format;
  weighing.Settings = PGSettings();
  weighing.Threads = Threads;
  weighing.Cells = Made.Cut.Cells;
  Report.Encoded(WeighSlices(Source, Made.Cut.Grid, slice, weighing));
  return true;
}

int TSliceRun::Run() {
  // A folder in the HTML file's place is a failed write, not a bad command line.
  if (std::filesystem::is_directory(HtmlPath))
    throw EStreamWriteError("Cannot create file \"" + HtmlPath + "\". Is a directory");
  int width = 0, height = 0;
  // A dry run for a build's list of files needs no pixels; one that weighs
  // the slices, and an export that cannot cut while the source loads, load
  // it first.
  const bool early = DryRun ? Json && SizeFromHeader(ImagePath, width, height, FileHasAlpha, true)
                            : SizeFromHeader(ImagePath, width, height, FileHasAlpha);
  const bool streaming = early && !DryRun;
  if (!early) {
    LoadSourceImage(Source, ImagePath);
    width = Source.Width();
    height = Source.Height();
  }
  try {
    Made = BuildCut(Inputs, width, height);
    if (!CheckCover(Made.Cut.Grid, width, height, Made))
      throw std::runtime_error("tessel-cli: the grid yields no slice; nothing to write");
    if (!streaming) SayCut(Made, Inputs);
  } catch (...) {
    // What the source's loading says comes first, as on the road that loads first.
    if (streaming) LoadSourceImage(Source, ImagePath);
    throw;
  }
  TCliExportUi ui(HtmlPath, Parsed.Has("--overwrite"), Made.Cut.Tags, Report);
  TSliceExporter exporter(Made.Cut, ui);
  Configure(exporter);
  const std::function<void()> load = [&] {
    LoadSourceImage(Source, ImagePath);
    SayCut(Made, Inputs);
  };
  const bool done = DryRun      ? Rehearse(exporter)
                    : streaming ? exporter.ExportWhileLoading(Source, load)
                                : exporter.Export(Source);
  if (!done) throw TCliFailure(ui.Refusal(), ui.RefusalStatus());
  // The weighing's threads keep what they warn of; the export raises it
  // before committing, the dry run here.
  if (DryRun) CliRaiseHeldWarning();
  if (CliSaysWarnings() && !Json) std::cout << (DryRun ? Report.DryRunText() : Report.Text());
  return ceSuccess;
}

void TSliceRun::PrintJson(int status, const std::string& error) const {
  TJsonWriter json;
  json.BeginObject().Key("tessel").Number(1).Key("command").String("slice").Key("dry_run").Bool(DryRun);
  json.Key("ok").Bool(status == ceSuccess).Key("exit").Number(status).Key("error");
  error.empty() ? json.Null() : json.String(error);
  Report.Files(json, Made.Cut.Tags, DryRun);
  json.Key("warnings").BeginArray();
  for (const std::string& warning : CliWarnings()) json.String(warning);
  json.EndArray().EndObject();
  std::cout << json.Text() << "\n";
}

int RunSlice(const std::vector<std::string>& args) {
  const TCliParsed parsed =
      ParseCli(args, {{"--grid", true}, {"--vert", true}, {"--horz", true}, {"--format", true},
                      {"--uppercase", false}, {"--double-quote", false}, {"--save-grid", false},
                      {"--tags", true}, {"--overwrite", false}, {"--threads", true},
                      {"--style", true}, {"--base-url", true}, {"--retina", false}, {"--cells", true},
                      {"--dry-run", false},
                      // for builds: one folder, many pages, a summary for machines
                      {"--name", true}, {"--prune", false}, {"--json", false}, {"--mkdir", false},
                      {"--page", false}, {"--title", true}, {"--background", true}, {"--preheader", true}});
  if (parsed.Positional.size() != 2) throw TCliUsageError("slice needs IMAGE and HTML");
  if (parsed.Positional[1] == "-")
    throw TCliUsageError("the page is written beside its slices: HTML must name a file, not - (standard output)");
  if (parsed.Has("--name"))
    if (const std::string problem = BaseNameProblem(parsed.Get("--name")); !problem.empty())
      throw TCliUsageError("--name: " + problem);
  ApplyCommonOptions(WithoutExportSettings(parsed));
  TSliceRun run(parsed);
  const bool json = parsed.Has("--json");
  try {
    const int status = run.Run();
    if (json) run.PrintJson(status, "");
    return status;
  } catch (const std::exception& e) {
    if (json) run.PrintJson(ExitStatusOfCurrentFailure(), e.what());
    throw;
  }
}

const TCliRegistrar Registrar{
    {"slice",
     "slice IMAGE HTML [--grid FILE.grd] [--vert X[,X...]] [--horz Y[,Y...]]\n"
     "                   [--format jpg|bmp|tif|png|webp|png8|auto]\n"
     "                   [--style classic|html5|email|fluid]\n"
     "                   [--base-url URL] [--retina] [--uppercase] [--double-quote]\n"
     "                   [--cells FILE] [--save-grid] [--tags FILE] [--overwrite]\n"
     "                   [--threads N] [--dry-run] [--json] [--name BASE]\n"
     "                   [--prune] [--mkdir]\n"
     "                   [--page [--title TEXT] [--background #RRGGBB] [--preheader TEXT]]",
     RunSlice,
     "Cuts IMAGE along the grid into one file per cell, named BASE_COLUMN_ROW.EXT\n"
     "beside HTML (BASE is the HTML file name up to its first dot), and writes HTML\n"
     "with the table that puts them back together. All files take their places\n"
     "together, or none does.\n"
     "\n"
     "Sources that decode from the top (JPEG, PNG that is not interlaced, TIFF,\n"
     "PNM, PCX, WebP) stream: slices are written as their rows come, and each\n"
     "band of rows leaves memory once every slice that needs it is written\n"
     "(not with --style email, cells without an image, ALT texts of html5 or fluid\n"
     "or --page without --background, whose colours read the\n"
     "image afterwards, nor with --threads 1). BMP and TGA sources, stored\n"
     "bottom-up, and interlaced PNG are held whole.\n"
     "\n"
     "  --grid FILE.grd    split lines from a grid file, then --vert and --horz;\n"
     "                     FILE.tags and FILE.cells beside it are read as --tags\n"
     "                     and --cells are; - reads the grid from standard input.\n"
     "                     A line given twice, or again on an edge, is one line,\n"
     "                     as in the window; the grid's lines are those of the\n"
     "                     file (without the edges, only the part between them is\n"
     "                     exported)\n"
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
     "                       email    for HTML mail (shrinks on phones, cell colours)\n"
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
     "  --threads N        encoding threads, 1 to 64 (default: one more than the cores)\n"
     "  --dry-run          check everything the export checks and print each\n"
     "                     slice's format and bytes and the total as the export\n"
     "                     would make them; write nothing. Fails as the export\n"
     "                     would (an existing file, a missing folder)\n"
     "  --json             print one JSON document instead of the lines: each\n"
     "                     slice's file, format, quality, bytes, size, cell, link\n"
     "                     and ALT text, the page's and companions' bytes, the\n"
     "                     total, the warnings, the exit status and error; with\n"
     "                     --dry-run every file the export would write, nothing\n"
     "                     encoded (for a build's dependencies)\n"
     "  --name BASE        the slices' base name instead of the HTML file's name\n"
     "                     up to its first dot (mail.en.html, mail.de.html)\n"
     "  --prune            remove the slices the page's last export wrote that\n"
     "                     this one does not; only files listed in the page's\n"
     "                     .HTML.tessel-files, which every export keeps\n"
     "  --mkdir            make HTML's folder when it is missing\n"
     "  --page             write a whole page (doctype, head, the table centred)\n"
     "                     instead of the table alone; for email also what mail\n"
     "                     readers need\n"
     "  --title TEXT       the page's title (default: the HTML file's name)\n"
     "  --background #RRGGBB  the page's colour (default: the design's edge where\n"
     "                     it is one colour, else white)\n"
     "  --preheader TEXT   email: the hidden line readers show beside the subject\n"
     "  --set EmailFixedWidth=true  email: the table of the design's width on every\n"
     "                     screen, as of old (default: it shrinks on phones)\n"
     "  --set PageBudget=BYTES  warn when the slices weigh more together\n"
     "                     (default 1048576)\n"
     "  Warnings (the export goes on): HTML over 102 KB, a linked slice without\n"
     "  ALT text, slices over PageBudget, email without --base-url.\n"
     "  Slices another page in the folder wrote are never replaced, not even\n"
     "  with --overwrite; files whose bytes would not change are left as they\n"
     "  are, their times too.\n"
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
     "                     (0-100, for jpg, webp and auto's JPEG); its line says\n"
     "                     \"set for this slice\", or for auto why it got the\n"
     "                     format chosen. Lines starting with # are skipped;\n"
     "                     records of other kinds are warned about.\n"
     "  --tags and --cells files saved with the grid begin with lines records,\n"
     "  the grid they were written for: read with a grid that has changed\n"
     "  since, texts and cells follow their cells where a cell's rectangle is\n"
     "  unchanged, and what moved is warned about. --tags - and --cells - read\n"
     "  standard input.\n"}};

}  // namespace
