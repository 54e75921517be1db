// tessel-cli: the command-line twin of Tessel, on the same library calls.

#include <malloc.h>

#include <algorithm>
#include <csignal>
#include <iostream>

#include "app/common/text.h"
#include "cli/cli.h"
#include "pgraphic/core/stopcleanup.h"

namespace {

// What a command prints (slice lists, file facts) is part of its result: a
// script must learn when it was lost, for example to a full disk.
int CheckedStandardOutput(int status) {
  std::cout.flush();
  if (std::cout || status != 0) return status;
  std::cerr << "tessel-cli: cannot write to standard output\n";
  return 1;
}

int RunCommand(const TCliCommand& command, const std::vector<std::string>& args) {
  try {
    return command.Run(args);
  } catch (const TCliUsageError& e) {
    std::cerr << "tessel-cli: " << TerminalSafe(e.what()) << "\n" << CliUsage();
    return ceUsage;
  } catch (const std::exception& e) {
    std::cerr << TerminalSafe(e.what()) << "\n";
    return ExitStatusOfCurrentFailure();
  }
}

// A command runs once and ends, allocating much the same sizes over and
// over (a slice's copy, a PNG part and its compressor, slice after slice):
// what it frees is kept for its next allocations rather than given back to
// the system and faulted in again page by page, each time interrupting the
// threads on the other cores. Only blocks of 32 MB and more (a picture held
// whole) come from the system and go back to it. Peak memory stays what
// the command holds at once.
void KeepFreedMemory() {
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
}

}  // namespace

int main(int argc, char** argv) {
  KeepFreedMemory();
  // Under a file size limit the kernel would kill the process in the middle
  // of a write and strand a temporary file; ignored, the write fails with
  // EFBIG and the save cleans up and reports it.
  std::signal(SIGXFSZ, SIG_IGN);
  // Ctrl-C, a CI job's SIGTERM or a closed terminal remove the files being
  // written and the lock, as a failure would. Before any thread starts.
  PGCleanUpOnStopSignals();
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    std::cout << CliUsage();
    return args.empty() ? 2 : 0;
  }
  if (args[0] == "--version") {
    std::cout << "tessel-cli " << TESSEL_VERSION << "\n";
    return 0;
  }
  const auto& commands = CliCommands();
  auto cmd = std::find_if(commands.begin(), commands.end(),
                          [&](const TCliCommand& c) { return args[0] == c.Name; });
  if (cmd == commands.end()) {
    std::cerr << "tessel-cli: unknown command " << args[0] << "\n" << CliUsage();
    return 2;
  }
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (AsksForHelp(rest)) {
    std::cout << CommandUsage(*cmd);
    return CheckedStandardOutput(0);
  }
  return CheckedStandardOutput(RunCommand(*cmd, rest));
}
