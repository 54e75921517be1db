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

// What tessel-cli exits with, so that a build can tell a retry from a real
// failure (listed in the usage text, the manual page and README).
enum TCliExit : int {
  ceSuccess = 0,
  ceFailed = 1,         // bad input: an image, grid, tags or cells file, a warning under --warnings-as-errors
  ceUsage = 2,          // a wrong command line
  ceOutputRefused = 3,  // an output exists, is the source, belongs to another page, or is named twice
  ceWriteFailed = 4,    // a file could not be written: a full disk, a folder without permission
  ceBusy = 5,           // another export of the page runs: try again
};
// A failure that says its own exit status (an output that exists: 3).
class TCliFailure : public std::runtime_error {
 public:
  TCliFailure(const std::string& message, int status) : std::runtime_error(message), Status(status) {}
  int Status;
};
// The exit status of the failure being handled (inside a catch block).
int ExitStatusOfCurrentFailure();
// The exit statuses as the usage text lists them.
std::string ExitStatusUsage();

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

// Parses args (everything after the command name). --set NAME=VALUE,
// --strict, --warnings-as-errors and --quiet are accepted by every command.
// Raises TCliUsageError.
TCliParsed ParseCli(const std::vector<std::string>& args, const std::vector<TCliOptionSpec>& specs);

// Applies --set to the library settings, sets up the warnings (CliWarn)
// and installs the warning box hook that gives every box to CliWarn.
void ApplyCommonOptions(const TCliParsed& parsed);
// Warning policies of an image: pgwaOKBox, or pgwaRaise with --strict or
// --warnings-as-errors.
void ConfigureImage(TPixelGraphic& image, const TCliParsed& parsed);

// Every warning of a command goes here: said on standard error as
// "warning: TEXT" (not with --quiet), kept for the command's report (the
// --json document), and with --warnings-as-errors raised
// instead (on the thread that runs the command; warnings of other threads
// are raised by CliRaiseHeldWarning).
void CliWarn(const std::string& text);
// The warnings given so far, in order.
std::vector<std::string> CliWarnings();
// With --warnings-as-errors, raises the first warning given when there is
// one: called before anything is written.
void CliRaiseHeldWarning();
// Whether warnings and the result go to standard error and output as
// text: false with --quiet.
bool CliSaysWarnings();
// The failure a warning becomes under --warnings-as-errors (exit status 1).
class TCliWarningAsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Loads image from path; a failure of the image's own (its reader's
// "PNG: Read Error") names the file it is about.
void LoadSourceImage(TPixelGraphic& image, const std::string& path);
// A failure of reading path as the command line says it: the file named
// before the reason, unless the reason names it already.
std::runtime_error NamingFile(const std::string& path, const std::exception& e);

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
