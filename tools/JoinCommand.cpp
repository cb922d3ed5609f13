// zipbuilder join SET OUT.zip: the volumes of a spanned set joined into one archive.
#include <iostream>

#include "tools/Command.h"
#include "tools/CommandSupport.h"
#include "tools/ProgressBar.h"
#include "platform/Paths.h"
#include "zipbuilder/ZipBuilder.h"

namespace {

const char* const kUsage = "join [-f] SET OUT.zip";

int RunJoin(const std::vector<std::string>& args) {
  bool force = false;
  std::vector<std::string> operands;
  for (const auto& a : args) {
    if (TakeVerbosityOption(a)) continue;
    if (a == "-f")
      force = true;
    else
      operands.push_back(a);
  }
  if (operands.size() != 2) {
    std::cerr << "usage: zipbuilder " << kUsage << '\n';
    return kExitUsage;
  }
  ui::ConsoleUi console;  // the command line shows and asks on the terminal
  TZipBuilder zip(nullptr, &console);
  zip.HowToDelete = htdFinal;
  ProgressBar bar;
  bar.Attach(zip, "joining");
  ReportSpanningToStderr(zip, [&bar] { bar.ClearLine(); });
  const std::string set = LastVolumeOf(zip, operands[0]);
  if (!ArchiveIsThere(zip, set)) return kExitNoArchive;
  std::string out = operands[1];
  // A directory is no name for the joined archive (the component would make
  // one up in its private temporary directory).
  if (platform::ExtractFileName(out).empty()) {
    std::cerr << "zipbuilder: " << EscapedText(out, true)
              << " is a directory; name the archive to write\n";
    return kExitUsage;
  }
  // The joined archive gets the extension .zip.
  if (zip.FileExists(platform::ChangeFileExt(out, ".zip")) && !force) {
    std::cerr << "zipbuilder: " << EscapedText(platform::ChangeFileExt(out, ".zip"))
              << " exists (-f replaces it)\n";
    return kExitError;
  }
  const int result = zip.ReadSpan(set, out);
  bar.Finish();
  if (result != 0) return kExitError;
  Say() << "zipbuilder: joined into " << EscapedText(out) << '\n';
  return kExitOk;
}

RegisterCommand joinCommand(
    {"join", kUsage,
     "join the volumes of a spanned set (any volume names it) into one archive "
     "(-f replaces OUT.zip)",
     RunJoin});

}  // namespace
