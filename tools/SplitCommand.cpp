// zipbuilder split -s SIZE ARCHIVE SET.zip: an archive written as numbered volumes.
#include <algorithm>
#include <iostream>

#include "tools/Command.h"
#include "tools/CommandSupport.h"
#include "tools/ProgressBar.h"
#include "zipbuilder/ZipBuilder.h"
#include "zipformat/VolumeNames.h"

namespace {

const char* const kUsage = "split -s SIZE[k|m|g] ARCHIVE SET.zip";

int RunSplit(const std::vector<std::string>& args) {
  if (args.size() != 4 || args[0] != "-s" || VolumeSize(args[1]) == 0) {
    std::cerr << "usage: zipbuilder " << kUsage << '\n';
    return kExitUsage;
  }
  ui::ConsoleUi console;  // the command line shows and asks on the terminal
  TZipBuilder zip(nullptr, &console);
  if (!ArchiveIsThere(zip, args[2])) return kExitNoArchive;
  ProgressBar bar;
  bar.Attach(zip);
  ReportSpanningToStderr(zip, [&bar] { bar.ClearLine(); });
  const int64_t size = VolumeSize(args[1]);
  zip.SetMaxVolumeSize(static_cast<int32_t>(size));
  zip.SetMinFreeVolSize(static_cast<int32_t>(std::min<int64_t>(size, 65536)));
  const int result = zip.WriteSpan(args[2], args[3]);
  bar.Finish();
  if (result != 0) return kExitError;
  std::cerr << "zipbuilder: " << zip.DiskNr() + 1 << " volumes, the last "
            << EscapedText(zip::NumberedName(args[3], zip.DiskNr())) << '\n';
  return kExitOk;
}

RegisterCommand splitCommand(
    {"split", kUsage,
     "write an archive as numbered volumes of at most SIZE bytes (SET001.zip ...)", RunSplit});

}  // namespace
