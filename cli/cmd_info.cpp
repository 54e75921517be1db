// tessel-cli info FILE: what a file holds, as the open dialog's panel shows it.

#include <iostream>

#include "cli/cli.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/formats/registry.h"

namespace {

int RunInfo(const std::vector<std::string>& args) {
  const TCliParsed parsed = ParseCli(args, {});
  if (parsed.Positional.size() != 1) throw TCliUsageError("info needs exactly one FILE");
  ApplyCommonOptions(parsed);
  TFileInfo info;
  std::string description;
  if (!GetFileInfo(parsed.Positional[0], 0, info, description)) {
    std::cerr << GetLangStr(msgUnknownFileFormat) << "\n";
    return 1;
  }
  for (const std::string& line : FileInfoLines(info, description)) std::cout << line << "\n";
  return 0;
}

const TCliRegistrar registrar{{"info", "info FILE", RunInfo}};

}  // namespace
