// tessel-cli convert IN OUT [--adjust KIND:A,B,C ...]: load, adjust, save.

#include <filesystem>

#include "app/export/exporterror.h"
#include "cli/cli.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/stagedfile.h"
#include "pgraphic/rows/transcode.h"

#if __has_include("cli/adjust.h")
#include "cli/adjust.h"
#define TESSEL_HAVE_ADJUST 1
#endif

namespace {

std::vector<TCliOptionSpec> ConvertOptions() {
#ifdef TESSEL_HAVE_ADJUST
  return {{"--adjust", true}};
#else
  return {};
#endif
}

void ApplyAdjustments(TPixelGraphic& image, const TCliParsed& parsed) {
#ifdef TESSEL_HAVE_ADJUST
  for (const std::string& adjustment : parsed.All("--adjust")) ApplyAdjustSpec(image, adjustment);
#else
  (void)image;
  (void)parsed;
#endif
}

int RunConvert(const std::vector<std::string>& args) {
  const TCliParsed parsed = ParseCli(args, ConvertOptions());
  if (parsed.Positional.size() != 2) throw TCliUsageError("convert needs IN and OUT");
  ApplyCommonOptions(parsed);
  const std::string& in = parsed.Positional[0];
  const std::string& out = parsed.Positional[1];
  // Under any name (a link, a path of its own): the source would be
  // replaced by its own conversion, and its colour profile lost.
  if (const TFileIdentity source = FileIdentityOf(in); source.Known && FileIdentityOf(out) == source)
    throw EOutputRefused("Cannot convert: \"" + out + "\" is the source image itself; nothing was written.");
  // What a convert killed outright left beside its target goes now, as an
  // export does it.
  RemoveStaleStagingFiles(std::filesystem::path(out).parent_path().string());
  TPixelGraphic image;
  ConfigureImage(image, parsed);
  if (parsed.Has("--adjust")) {
    image.LoadFromFile(parsed.Positional[0]);
    ApplyAdjustments(image, parsed);
    image.SaveToFile(parsed.Positional[1]);
  } else {
    TranscodeFile(image, parsed.Positional[0], parsed.Positional[1], false);  // nothing reads it after
  }
  return 0;
}

const TCliRegistrar registrar{
    {"convert", "convert IN OUT [--adjust rgb|cmy|hls:A,B,C ...]", RunConvert,
     "Loads IN, applies the adjustments in the order given and saves OUT.\n"
     "\n"
     "Without adjustments the road streams where both formats allow it: IN\n"
     "decoding from the top (JPEG, PNG that is not interlaced, TIFF, PNM, PCX,\n"
     "WebP) into OUT written from the top (JPEG, PNG, TIFF, PNM, WebP) in the\n"
     "image's own colours. Rows are written as they are decoded and leave\n"
     "memory once written, so memory follows the rows in flight, not the\n"
     "picture. Other roads (BMP or TGA on either side, png8, a change of colour\n"
     "depth, adjustments) hold the whole image.\n"}};

}  // namespace
