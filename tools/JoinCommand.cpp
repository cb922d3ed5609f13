// zipbuilder join SET OUT.zip: the volumes of a spanned set joined into one archive.
#include <iostream>

#include "Command.h"
#include "CommandSupport.h"
#include "ProgressBar.h"
#include "platform/Paths.h"
#include "zipbuilder/ZipBuilder.h"

namespace {

const char* const kUsage = "join [-f] SET OUT.zip";

int RunJoin(const std::vector<std::string>& args) {
  bool force = false;
  std::vector<std::string> operands;
  for (const auto& a : args) {
    if (a == "-f") force = true;
    else operands.push_back(a);
  }
  if (operands.size() != 2) {
    std::cerr << "usage: zipbuilder " << kUsage << '\n';
    return 2;
  }
  TZipBuilder zip;
  zip.HowToDelete = htdFinal;
  ProgressBar bar;
  bar.Attach(zip);
  ReportSpanningToStderr(zip, [&bar] { bar.ClearLine(); });
  const std::string set = LastVolumeOf(zip, operands[0]);
  std::string out = operands[1];
  // The joined archive gets the extension .zip.
  if (zip.FileExists(platform::ChangeFileExt(out, ".zip")) && !force) {
    std::cerr << "zipbuilder: " << platform::ChangeFileExt(out, ".zip") << " exists (-f replaces it)\n";
    return 1;
  }
  const int result = zip.ReadSpan(set, out);
  bar.Finish();
  if (result != 0) return 1;
  std::cerr << "zipbuilder: joined into " << out << '\n';
  return 0;
}

RegisterCommand joinCommand({"join", kUsage,
                             "join the volumes of a spanned set (any volume names it) into one archive "
                             "(-f replaces OUT.zip)",
                             RunJoin});

}  // namespace
