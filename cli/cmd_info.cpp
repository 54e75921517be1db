// tessel-cli info FILE: what a file holds, as the open dialog's panel shows it.

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <stdexcept>

#include "app/common/text.h"
#include "cli/cli.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/core/stream.h"
#include "pgraphic/formats/registry.h"

namespace {

// Only a file that opens and that a reader takes is a question of format.
void RequireReadableFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) throw std::runtime_error("File " + path + " not found.");
    throw std::runtime_error("Cannot open file \"" + path + "\". " + std::strerror(errno));
  }
  if (S_ISDIR(st.st_mode))
    throw std::runtime_error("Cannot open file \"" + path + "\". " + std::strerror(EISDIR));
}

int RunInfo(const std::vector<std::string>& args) {
  const TCliParsed parsed = ParseCli(args, {});
  if (parsed.Positional.size() != 1) throw TCliUsageError("info needs exactly one FILE");
  ApplyCommonOptions(parsed);
  const std::string& path = parsed.Positional[0];
  RequireReadableFile(path);
  TFileStream stream(path, TFileStream::fmOpenRead);
  TFileFormatReader* reader = FindReader(stream, FileExtensionOf(path));
  if (!reader) {
    std::cerr << TerminalSafe(path + ": " + GetLangStr(msgUnknownFileFormat)) << "\n";
    return 1;
  }
  // A file of a known format that is damaged says what is wrong with it.
  TFileInfo info;
  try {
    reader->ReadInfo(stream, 0, info);
  } catch (const EPixelGraphic& e) {
    throw NamingFile(path, e);
  }
  for (const std::string& line : FileInfoLines(info, reader->Description)) std::cout << line << "\n";
  if (info.Alpha) std::cout << "Alpha: yes\n";
  return 0;
}

const TCliRegistrar registrar{{"info", "info FILE", RunInfo}};

}  // namespace
