// zipbuilder test [-P PASSWORD] ARCHIVE: checks every member's data and CRC.
#include <iostream>

#include "tools/Command.h"
#include "tools/CommandSupport.h"
#include "tools/ExtractSession.h"

namespace {

const char* const kUsage = "test [-P PASSWORD] ARCHIVE";

int RunTest(const std::vector<std::string>& args) {
  ExtractRequest request;
  request.testOnly = true;
  for (size_t i = 0; i < args.size(); ++i) {
    if (TakeVerbosityOption(args[i])) continue;
    if (args[i] == "-P" && i + 1 < args.size()) {
      request.password = args[++i];
      request.havePassword = true;
    } else if (request.archive.empty() && !(args[i].size() > 1 && args[i][0] == '-')) {
      request.archive = args[i];
    } else {
      std::cerr << "usage: zipbuilder " << kUsage << '\n';
      return kExitUsage;
    }
  }
  if (request.archive.empty()) {
    std::cerr << "usage: zipbuilder " << kUsage << '\n';
    return kExitUsage;
  }
  return RunExtractRequest(request);
}

RegisterCommand registerTest({"test", kUsage, "test every member of ARCHIVE (data and CRC-32)", RunTest});

}  // namespace
