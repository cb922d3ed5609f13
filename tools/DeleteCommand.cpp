// zipbuilder delete: removes the members matching the specifications.
#include <iostream>

#include "tools/Command.h"
#include "tools/CommandSupport.h"
#include "tools/ProgressBar.h"
#include "zipbuilder/ZipBuilder.h"

namespace {

int RunDelete(const std::vector<std::string>& args) {
  // -q and -v are taken before this; any other option is unknown.
  if (args.size() < 2 || (args[0].size() > 1 && args[0][0] == '-')) {
    std::cerr << "usage: zipbuilder delete ARCHIVE SPEC...\n";
    return kExitUsage;
  }
  ui::ConsoleUi console;  // the command line shows and asks on the terminal
  TZipBuilder zip(nullptr, &console);
  ReportToStderr(zip);
  if (!ArchiveIsThere(zip, args[0])) return kExitNoArchive;
  ProgressBar bar;
  bar.Attach(zip, "deleting");
  zip.SetFileName(args[0]);
  zip.SetFSpecArgs({args.begin() + 1, args.end()});
  zip.Delete();
  bar.Finish();
  if (zip.SuccessCount() > 0) {
    Say() << "zipbuilder: " << zip.SuccessCount() << (zip.SuccessCount() == 1 ? " member" : " members")
          << " deleted\n";
    return kExitOk;
  }
  return kExitError;
}

RegisterCommand deleteCommand({"delete", "delete ARCHIVE SPEC...", "remove the members matching the specifications",
                               RunDelete});

}  // namespace
