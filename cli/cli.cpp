#include "cli/cli.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <iostream>
#include <mutex>
#include <thread>

#include "app/common/text.h"
#include "app/export/csscolor.h"
#include "app/export/exporterror.h"
#include "app/export/formatchoice.h"
#include "pgraphic/core/errors.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/settings.h"
#include "pgraphic/core/stream.h"
#include "pgraphic/core/uihooks.h"

std::string TCliParsed::Get(const std::string& name, const std::string& fallback) const {
  auto it = Values.find(name);
  return it == Values.end() || it->second.empty() ? fallback : it->second.back();
}

std::vector<std::string> TCliParsed::All(const std::string& name) const {
  auto it = Values.find(name);
  return it == Values.end() ? std::vector<std::string>{} : it->second;
}

TCliParsed ParseCli(const std::vector<std::string>& args, const std::vector<TCliOptionSpec>& specs) {
  std::vector<TCliOptionSpec> all = specs;
  all.push_back({"--set", true});
  all.push_back({"--strict", false});
  all.push_back({"--warnings-as-errors", false});
  all.push_back({"--quiet", false});
  TCliParsed parsed;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() < 2 || a.compare(0, 2, "--") != 0) {
      parsed.Positional.push_back(a);
      continue;
    }
    std::string name = a, value;
    const auto eq = a.find('=');
    const bool inlineValue = eq != std::string::npos;
    if (inlineValue) name = a.substr(0, eq), value = a.substr(eq + 1);
    auto option = std::find_if(all.begin(), all.end(), [&](const TCliOptionSpec& s) { return s.Name == name; });
    if (option == all.end()) throw TCliUsageError("unknown option " + name);
    if (option->TakesValue && !inlineValue) {
      if (i + 1 >= args.size()) throw TCliUsageError("option " + name + " needs a value");
      value = args[++i];
    } else if (!option->TakesValue && inlineValue) {
      throw TCliUsageError("option " + name + " takes no value");
    }
    parsed.Values[name].push_back(value);
  }
  return parsed;
}

// ---- library settings by name

namespace {

bool ParseBool(const std::string& name, const std::string& v) {
  if (v == "true" || v == "1") return true;
  if (v == "false" || v == "0") return false;
  throw TCliUsageError("bad value for " + name + ": " + v + " (true/false/1/0)");
}

template <class T>
T ParseInt(const std::string& name, const std::string& v, long long lo, long long hi) {
  long long n = 0;
  auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
  if (ec != std::errc() || p != v.data() + v.size() || n < lo || n > hi)
    throw TCliUsageError("bad value for " + name + ": " + v);
  return static_cast<T>(n);
}

// Within lo..hi, so that a value no file can record (DisplayGamma inf or
// 1e-300) is refused here rather than by the first writer that meets it.
long double ParseFloat(const std::string& name, const std::string& v, const char* range, long double lo,
                       long double hi) {
  try {
    std::size_t used = 0;
    const long double d = std::stold(v, &used);
    if (used == v.size() && std::isfinite(d) && d >= lo && d <= hi) return d;
  } catch (const std::exception&) {
  }
  throw TCliUsageError("bad value for " + name + ": " + v + " (" + range + ")");
}

TJpegDctMethod ParseDct(const std::string& name, const std::string& v) {
  if (v == "islow") return TJpegDctMethod::jdctISlow;
  if (v == "ifast") return TJpegDctMethod::jdctIFast;
  if (v == "float") return TJpegDctMethod::jdctFloat;
  throw TCliUsageError("bad value for " + name + ": " + v + " (islow/ifast/float)");
}

TPngStrategy ParsePngStrategy(const std::string& name, const std::string& v) {
  static const std::pair<const char*, TPngStrategy> kNames[] = {
      {"auto", TPngStrategy::psAuto},       {"default", TPngStrategy::psDefault},
      {"filtered", TPngStrategy::psFiltered}, {"huffman", TPngStrategy::psHuffmanOnly},
      {"rle", TPngStrategy::psRle},         {"fixed", TPngStrategy::psFixed}};
  for (const auto& [text, strategy] : kNames)
    if (v == text) return strategy;
  throw TCliUsageError("bad value for " + name + ": " + v + " (auto/default/filtered/huffman/rle/fixed)");
}

TColorProfileMode ParseColorProfile(const std::string& name, const std::string& v) {
  if (v == "convert") return TColorProfileMode::cpmConvert;
  if (v == "keep") return TColorProfileMode::cpmKeep;
  if (v == "ignore") return TColorProfileMode::cpmIgnore;
  throw TCliUsageError("bad value for " + name + ": " + v + " (convert/keep/ignore)");
}

TRGB ParseColor(const std::string& name, const std::string& v) {
  if (TRGB color; CssColorOf(v, color)) return color;
  throw TCliUsageError("bad value for " + name + ": " + v + " (#RRGGBB)");
}

TTiffRational ParseRational(const std::string& name, const std::string& v) {
  const auto slash = v.find('/');
  const std::string num = v.substr(0, slash);
  const std::string den = slash == std::string::npos ? "1" : v.substr(slash + 1);
  return {ParseInt<std::uint32_t>(name, num, 0, 0xFFFFFFFFll),
          ParseInt<std::uint32_t>(name, den, 1, 0xFFFFFFFFll)};
}

using TSetter = std::function<void(TPGLibrarySettings&, const std::string&, const std::string&)>;

const std::vector<std::pair<std::string, TSetter>>& Setters() {
  using S = TPGLibrarySettings;
  static const std::vector<std::pair<std::string, TSetter>> table = {
      {"GammaCorrectOnLoad", [](S& s, auto& n, auto& v) { s.GammaCorrectOnLoad = ParseBool(n, v); }},
      {"DisplayGamma", [](S& s, auto& n, auto& v) { s.DisplayGamma = ParseFloat(n, v, "0.1 to 10", 0.1L, 10); }},
      {"ColorProfile", [](S& s, auto& n, auto& v) { s.ColorProfile = ParseColorProfile(n, v); }},
      {"JpegQuality", [](S& s, auto& n, auto& v) { s.JpegQuality = ParseInt<std::uint8_t>(n, v, 0, 100); }},
      {"JpegProgressive", [](S& s, auto& n, auto& v) { s.JpegProgressive = ParseBool(n, v); }},
      {"JpegWriteDctMethod", [](S& s, auto& n, auto& v) { s.JpegWriteDctMethod = ParseDct(n, v); }},
      {"JpegReadDctMethod", [](S& s, auto& n, auto& v) { s.JpegReadDctMethod = ParseDct(n, v); }},
      {"PngUseFileBackground", [](S& s, auto& n, auto& v) { s.PngUseFileBackground = ParseBool(n, v); }},
      {"KeepAlpha", [](S& s, auto& n, auto& v) { s.KeepAlpha = ParseBool(n, v); }},
      {"PageColor", [](S& s, auto& n, auto& v) { s.PageColor = ParseColor(n, v); }},
      {"PngWriteGamma", [](S& s, auto& n, auto& v) { s.PngWriteGamma = ParseBool(n, v); }},
      {"PngCompressionLevel",
       [](S& s, auto& n, auto& v) { s.PngCompressionLevel = ParseInt<std::uint8_t>(n, v, 0, 9); }},
      {"PngCompressionStrategy",
       [](S& s, auto& n, auto& v) { s.PngCompressionStrategy = ParsePngStrategy(n, v); }},
      {"Png8Dither", [](S& s, auto& n, auto& v) { s.Png8Dither = ParseBool(n, v); }},
      {"WebpQuality", [](S& s, auto& n, auto& v) { s.WebpQuality = ParseInt<std::uint8_t>(n, v, 0, 100); }},
      {"WebpLossless", [](S& s, auto& n, auto& v) { s.WebpLossless = ParseBool(n, v); }},
      {"AutoFormats",
       [](S& s, auto& n, auto& v) {
         const std::optional<std::uint8_t> formats = AutoFormatsFromText(v);
         if (!formats) throw TCliUsageError("bad value for " + n + ": " + v + " (jpg, png and webp, comma separated)");
         s.AutoFormats = *formats;
       }},
      {"BmpScale16BitFields", [](S& s, auto& n, auto& v) { s.BmpScale16BitFields = ParseBool(n, v); }},
      {"TiffCompression",
       [](S& s, auto& n, auto& v) {
         s.TiffCompression = ParseInt<std::uint16_t>(n, v, 0, 65535);
         if (s.TiffCompression != 1 && s.TiffCompression != 32773)
           throw TCliUsageError("bad value for " + n + ": " + v + " (1 or 32773)");
       }},
      {"TiffWriteCMYK", [](S& s, auto& n, auto& v) { s.TiffWriteCMYK = ParseBool(n, v); }},
      {"TiffWhiteIsZero", [](S& s, auto& n, auto& v) { s.TiffWhiteIsZero = ParseBool(n, v); }},
      {"TiffBigEndian", [](S& s, auto& n, auto& v) { s.TiffBigEndian = ParseBool(n, v); }},
      {"TiffResolutionUnit",
       [](S& s, auto& n, auto& v) { s.TiffResolutionUnit = ParseInt<std::uint8_t>(n, v, 0, 2); }},
      {"TiffXResolution", [](S& s, auto& n, auto& v) { s.TiffXResolution = ParseRational(n, v); }},
      {"TiffYResolution", [](S& s, auto& n, auto& v) { s.TiffYResolution = ParseRational(n, v); }},
      {"TiffCountImages", [](S& s, auto& n, auto& v) { s.TiffCountImages = ParseBool(n, v); }},
      {"TiffMaxImages",
       [](S& s, auto& n, auto& v) { s.TiffMaxImages = ParseInt<std::uint32_t>(n, v, 1, 0xFFFFFFFFll); }},
      {"PxmBinary", [](S& s, auto& n, auto& v) { s.PxmBinary = ParseBool(n, v); }},
      {"MaxImagePixels",
       [](S& s, auto& n, auto& v) { s.MaxImagePixels = ParseInt<std::uint64_t>(n, v, 1, 1ll << 40); }},
      {"JpegMaxScans",
       [](S& s, auto& n, auto& v) { s.JpegMaxScans = ParseInt<std::uint32_t>(n, v, 1, 1000000); }},
      {"MaxDecoderMemory",
       [](S& s, auto& n, auto& v) { s.MaxDecoderMemory = ParseInt<std::uint64_t>(n, v, 1, 1ll << 40); }},
  };
  return table;
}

struct TWarnings {
  std::mutex Lock;
  std::vector<std::string> Given;
  bool Say = true;
  bool AsErrors = false;
  std::thread::id Command = std::this_thread::get_id();
};

TWarnings& Warnings() {
  static TWarnings warnings;
  return warnings;
}

// Kept, and said unless quiet or made an error: true when it is to be raised.
bool Keep(const std::string& text) {
  TWarnings& w = Warnings();
  const std::lock_guard<std::mutex> guard(w.Lock);
  w.Given.push_back(text);
  if (w.AsErrors) return true;
  if (w.Say) std::cerr << "warning: " << TerminalSafe(text) << "\n";
  return false;
}

[[noreturn]] void RaiseWarning(const std::string& text) {
  throw TCliWarningAsError("warning: " + text + "; nothing was written (--warnings-as-errors)");
}

// Answers every library box with a warning so batch work goes on. Never
// raises: a box may come from inside a codec; what --warnings-as-errors
// makes of it is raised before anything is written.
class TWarningHooks : public TPGUiHooks {
 public:
  TPGMsgResult WarningBox(const std::string& text, const std::string&, TPGMsgButtons) override {
    Keep(text);
    return TPGMsgResult::mrOK;
  }
};

}  // namespace

void CliWarn(const std::string& text) {
  if (Keep(text) && std::this_thread::get_id() == Warnings().Command) RaiseWarning(text);
}

std::vector<std::string> CliWarnings() {
  const std::lock_guard<std::mutex> guard(Warnings().Lock);
  return Warnings().Given;
}

void CliRaiseHeldWarning() {
  const std::vector<std::string> given = CliWarnings();
  if (Warnings().AsErrors && !given.empty()) RaiseWarning(given.front());
}

bool CliSaysWarnings() { return Warnings().Say; }


int ExitStatusOfCurrentFailure() {
  try {
    throw;
  } catch (const TCliUsageError&) {
    return ceUsage;
  } catch (const TCliFailure& e) {
    return e.Status;
  } catch (const EOutputRefused&) {
    return ceOutputRefused;
  } catch (const EExportBusy&) {
    return ceBusy;
  } catch (const EStreamWriteError&) {
    return ceWriteFailed;
  } catch (...) {
    return ceFailed;
  }
}

std::string ExitStatusUsage() {
  return "\nexit status:\n"
         "  0  success\n"
         "  1  bad input (an image, grid, tags or cells file), or a warning with\n"
         "     --warnings-as-errors; nothing was written\n"
         "  2  a wrong command line\n"
         "  3  an output refused: it exists (without --overwrite), is the source\n"
         "     image, belongs to another page in the folder, or is named twice\n"
         "  4  a file could not be written (a full disk, a folder without permission)\n"
         "  5  another export of the page is running: try again later\n";
}

void SetLibrarySetting(const std::string& name, const std::string& value) {
  for (const auto& [key, setter] : Setters()) {
    if (key == name) {
      setter(PGSettings(), name, value);
      return;
    }
  }
  throw TCliUsageError("unknown setting " + name);
}

std::vector<std::string> LibrarySettingNames() {
  std::vector<std::string> names;
  for (const auto& entry : Setters()) names.push_back(entry.first);
  return names;
}

void ApplyCommonOptions(const TCliParsed& parsed) {
  for (const std::string& s : parsed.All("--set")) {
    const auto eq = s.find('=');
    if (eq == std::string::npos) throw TCliUsageError("--set needs NAME=VALUE, got " + s);
    SetLibrarySetting(s.substr(0, eq), s.substr(eq + 1));
  }
  Warnings().AsErrors = parsed.Has("--warnings-as-errors");
  Warnings().Say = !parsed.Has("--quiet");
  static TWarningHooks hooks;
  SetPGUiHooks(&hooks);
}

std::runtime_error NamingFile(const std::string& path, const std::exception& e) {
  const std::string what = e.what();
  return std::runtime_error(what.find(path) != std::string::npos ? what : path + ": " + what);
}

void LoadSourceImage(TPixelGraphic& image, const std::string& path) {
  try {
    image.LoadFromFile(path);
  } catch (const EPixelGraphic& e) {
    throw NamingFile(path, e);
  }
}

void ConfigureImage(TPixelGraphic& image, const TCliParsed& parsed) {
  const TPGWarningAction action =
      parsed.Has("--strict") || parsed.Has("--warnings-as-errors") ? pgwaRaise : pgwaOKBox;
  image.ReadWarningAction = action;
  image.SaveColorResWarningAction = action;
}

// ---- commands

static std::vector<TCliCommand>& CommandTable() {
  static std::vector<TCliCommand> commands;
  return commands;
}

TCliRegistrar::TCliRegistrar(const TCliCommand& command) { CommandTable().push_back(command); }

const std::vector<TCliCommand>& CliCommands() { return CommandTable(); }

namespace {

std::string CommonOptionsUsage() {
  std::string u =
      "\ncommon options:\n"
      "  --set NAME=VALUE   set a library setting (booleans true/false/1/0)\n"
      "  --strict           raise on reading problems and colour-resolution changes;\n"
      "                     for slice also on a grid that does not fit the image\n"
      "  --warnings-as-errors  every warning fails the command, nothing written\n"
      "  --quiet            print nothing but errors\n"
      "\nsettings:";
  for (const std::string& n : LibrarySettingNames()) u += " " + n;
  return u + "\n" + ExitStatusUsage();
}

}  // namespace

std::string CliUsage() {
  std::string u = "usage: tessel-cli COMMAND [options]\n       tessel-cli --help | --version\n"
                  "       tessel-cli COMMAND --help\n\ncommands:\n";
  for (const TCliCommand& c : CliCommands()) u += std::string("  tessel-cli ") + c.Synopsis + "\n";
  return u + CommonOptionsUsage();
}

std::string CommandUsage(const TCliCommand& command) {
  std::string u = std::string("usage: tessel-cli ") + command.Synopsis + "\n";
  if (command.Details) u += std::string("\n") + command.Details;
  return u + CommonOptionsUsage();
}

bool AsksForHelp(const std::vector<std::string>& args) {
  return std::any_of(args.begin(), args.end(),
                     [](const std::string& a) { return a == "--help" || a == "-h"; });
}
