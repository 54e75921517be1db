#pragma once
// tessel-cli plumbing: command registration, option parsing, common options.

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

class TPixelGraphic;

// A bad command line: reported with the usage text and exit status 2.
class TCliUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TCliOptionSpec {
  std::string Name;  // "--grid"
  bool TakesValue;
};

struct TCliParsed {
  std::vector<std::string> Positional;
  std::map<std::string, std::vector<std::string>> Values;  // flags map to one empty string

  bool Has(const std::string& name) const { return Values.count(name) > 0; }
  std::string Get(const std::string& name, const std::string& fallback = "") const;
  std::vector<std::string> All(const std::string& name) const;
};

// Parses args (everything after the command name). --set NAME=VALUE and
// --strict are accepted by every command. Raises TCliUsageError.
TCliParsed ParseCli(const std::vector<std::string>& args, const std::vector<TCliOptionSpec>& specs);

// Applies --set to the library settings and installs the warning box hook
// that answers every box on standard error ("warning: " + text).
void ApplyCommonOptions(const TCliParsed& parsed);
// Warning policies of an image: pgwaOKBox, or pgwaRaise with --strict.
void ConfigureImage(TPixelGraphic& image, const TCliParsed& parsed);

// Sets a library setting by the name the library uses (JpegQuality, TiffBigEndian...).
void SetLibrarySetting(const std::string& name, const std::string& value);
// Names of every setting, for the usage text.
std::vector<std::string> LibrarySettingNames();

struct TCliCommand {
  const char* Name;
  const char* Synopsis;  // one usage line, e.g. "info FILE"
  int (*Run)(const std::vector<std::string>& args);
  const char* Details = nullptr;  // more for COMMAND --help, lines ending in "\n"
};

// Registers a command at static initialisation: `static TCliRegistrar r{{...}};`
class TCliRegistrar {
 public:
  explicit TCliRegistrar(const TCliCommand& command);
};
const std::vector<TCliCommand>& CliCommands();
std::string CliUsage();
// What COMMAND --help prints: the command's usage, its details and the
// common options.
std::string CommandUsage(const TCliCommand& command);
// Whether the arguments after the command ask for its usage.
bool AsksForHelp(const std::vector<std::string>& args);
