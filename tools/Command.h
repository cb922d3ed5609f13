// One subcommand of the zipbuilder tool. Each lives in its own file and
// registers itself; main() dispatches by name.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct Command {
  std::string name;
  std::string usage;    // one line, after "zipbuilder "
  std::string summary;  // one line
  std::function<int(const std::vector<std::string>& args)> run;
  std::string details = {};  // the operands and options, one per line, for COMMAND --help
};

std::vector<Command>& Commands();

struct RegisterCommand {
  explicit RegisterCommand(Command command) { Commands().push_back(std::move(command)); }
};
