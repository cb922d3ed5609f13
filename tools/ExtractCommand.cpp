// zipbuilder extract [-d DIR] [-o|-n] [-f] [-u] [-j] [-P PASSWORD] ARCHIVE [SPEC...]
#include <iostream>

#include "tools/Command.h"
#include "tools/CommandSupport.h"
#include "tools/ExtractSession.h"
#include "platform/Terminal.h"

namespace {

const char* const kUsage = "extract [-d DIR] [-o|-n] [-f] [-u] [-j] [-p] [-P PASSWORD] ARCHIVE [SPEC...]";

int RunExtract(const std::vector<std::string>& args) {
  ExtractRequest request;
  bool optionsDone = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    bool needsValue = a == "-d" || a == "-P";
    if (!optionsDone && needsValue) {
      if (i + 1 >= args.size()) {
        std::cerr << "zipbuilder: " << platform::EscapedText(a) << " needs a value\nusage: zipbuilder " << kUsage << '\n';
        return kExitUsage;
      }
      if (a == "-d") request.baseDir = args[++i];
      else {
        request.password = args[++i];
        request.havePassword = true;
      }
    } else if (!optionsDone && a == "-o") {
      request.overwrite = OverwriteChoice::Always;
    } else if (!optionsDone && a == "-n") {
      request.overwrite = OverwriteChoice::Never;
    } else if (!optionsDone && a == "-f") {
      request.freshen = true;
    } else if (!optionsDone && a == "-u") {
      request.update = true;
    } else if (!optionsDone && a == "-j") {
      request.junkPaths = true;
    } else if (!optionsDone && a == "-p") {
      request.toStdout = true;
    } else if (!optionsDone && TakeVerbosityOption(a)) {
    } else if (!optionsDone && a == "--") {
      optionsDone = true;
    } else if (!optionsDone && a.size() > 1 && a[0] == '-') {
      std::cerr << "zipbuilder: unknown option " << platform::EscapedText(a) << "\nusage: zipbuilder " << kUsage << '\n';
      return kExitUsage;
    } else if (request.archive.empty()) {
      request.archive = a;
      optionsDone = true;  // unzip's order: options, archive, specifications
    } else {
      request.specs.push_back(a);
    }
  }
  if (request.archive.empty()) {
    std::cerr << "usage: zipbuilder " << kUsage << '\n';
    return kExitUsage;
  }
  return RunExtractRequest(request);
}

RegisterCommand registerExtract({"extract", kUsage,
                                 "extract members (all, or those matching SPEC) below DIR; -o overwrite, -n never "
                                 "overwrite, -f freshen, -u update, -j junk paths, -p to standard output; ARCHIVE - reads "
                                 "standard input",
                                 RunExtract});

}  // namespace
