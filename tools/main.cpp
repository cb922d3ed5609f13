// zipbuilder: the command-line front end to the TZipBuilder component.
// Component reports go to stderr; the exit statuses are those of ExitStatus.h.
#include <iostream>

#include "tools/Command.h"
#include "tools/CommandSupport.h"
#include "tools/ExitStatus.h"
#include "platform/Interrupts.h"
#include "platform/Terminal.h"
#include "zipbuilder/ZipBuilder.h"

std::vector<Command>& Commands() {
  static std::vector<Command> commands;
  return commands;
}

namespace {

const char* const kVerbosityHelp =
    "\nEvery command takes -q (quiet: errors, warnings and the output asked for) and\n"
    "-v (verbose: a line for each member) before its operands.\n";

void PrintHelp(std::ostream& out) {
  out << "usage: zipbuilder COMMAND [OPTIONS] ARGS...\n"
         "       zipbuilder --version | --help\n\ncommands:\n";
  for (const auto& c : Commands()) out << "  zipbuilder " << c.usage << "\n      " << c.summary << '\n';
  out << kVerbosityHelp;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    PrintHelp(std::cerr);
    return kExitUsage;
  }
  const std::string& first = args[0];
  if (first == "--help" || first == "-h" || first == "help") {
    PrintHelp(std::cout);
    return kExitOk;
  }
  if (first == "--version" || first == "-V") {
    TZipBuilder zip;
    std::cout << "zipbuilder " << zip.VersionInfo() << '\n';
    return kExitOk;
  }
  for (const auto& c : Commands()) {
    if (c.name != first) continue;
    if (args.size() == 2 && (args[1] == "--help" || args[1] == "-h")) {
      std::cout << "usage: zipbuilder " << c.usage << "\n  " << c.summary << '\n' << c.details << kVerbosityHelp;
      return kExitOk;
    }
    platform::CatchInterrupts();
    int status = c.run(WithoutLeadingVerbosity({args.begin() + 1, args.end()}));
    if (int signal = platform::InterruptSignal()) {
      std::cerr << "zipbuilder: interrupted\n";
      return kExitSignalBase + signal;
    }
    return status;
  }
  std::cerr << "zipbuilder: unknown command '" << platform::EscapedText(first) << "' (try --help)\n";
  return kExitUsage;
}
