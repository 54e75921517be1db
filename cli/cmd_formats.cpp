// tessel-cli formats: the open filter and what every writer can store.

#include <iostream>

#include "cli/cli.h"
#include "pgraphic/formats/registry.h"

namespace {

std::string ResolutionNames(TColorResolutions set) {
  std::string names;
  for (int r = 0; r < ColorResolutionCount; ++r) {
    if (!(set & CrBit(TColorResolution(r)))) continue;
    if (!names.empty()) names += ", ";
    names += ColorResolutionName(TColorResolution(r));
  }
  return names;
}

int RunFormats(const std::vector<std::string>& args) {
  const TCliParsed parsed = ParseCli(args, {});
  if (!parsed.Positional.empty()) throw TCliUsageError("formats takes no arguments");
  ApplyCommonOptions(parsed);
  std::cout << BuildOpenFilter() << "\n";
  TWriterList& writers = FileFormatWriters();
  SortRegistry(writers);
  for (const auto& w : writers)
    std::cout << w->Extension << "\t" << w->Description << "\t"
              << ResolutionNames(w->CanWriteResolutions) << "\n";
  return 0;
}

const TCliRegistrar registrar{{"formats", "formats", RunFormats}};

}  // namespace
