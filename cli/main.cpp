// tessel-cli: the command-line twin of Tessel, on the same library calls.

#include <algorithm>
#include <iostream>

#include "cli/cli.h"

int main(int argc, char** argv) {
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
  try {
    return cmd->Run(std::vector<std::string>(args.begin() + 1, args.end()));
  } catch (const TCliUsageError& e) {
    std::cerr << "tessel-cli: " << e.what() << "\n" << CliUsage();
    return 2;
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
}
