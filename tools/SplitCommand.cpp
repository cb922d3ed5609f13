// zipbuilder split [--naming numbered|zip] -s SIZE ARCHIVE SET.zip: an archive
// written as numbered volumes (SET001.zip ...), or named as zip -s and 7-Zip
// name a split archive (SET.z01 ... SET.zip, the last volume under the set's name).
#include <algorithm>
#include <cstdio>
#include <iostream>

#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "tools/Command.h"
#include "tools/CommandSupport.h"
#include "tools/ProgressBar.h"
#include "zipbuilder/ZipBuilder.h"
#include "zipformat/VolumeNames.h"

namespace {

const char* const kUsage = "split [--naming numbered|zip] -s SIZE[k|m|g] ARCHIVE SET.zip";

// Volume `index` of `count` under the split-archive naming: SET.z01, SET.z02 ... SET.zip.
std::string SplitArchiveName(const std::string& set, int index, int count) {
  if (index == count - 1) return set;
  const std::string stem = set.substr(0, set.size() - platform::ExtractFileExt(set).size());
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, ".z%02d", index + 1);
  return stem + suffix;
}

// Gives the volumes of a complete numbered set their split-archive names.
bool RenameToSplitNames(const std::string& set, int count) {
  auto& files = *platform::DefaultEnv().files;
  for (int k = 0; k < count; ++k) {
    const std::string from = zip::NumberedName(set, k), to = SplitArchiveName(set, k, count);
    if (!files.MoveFile(from, to, true)) {
      std::cerr << "zipbuilder: cannot rename " << EscapedText(from) << " to " << EscapedText(to) << '\n';
      return false;
    }
  }
  return true;
}

int RunSplit(const std::vector<std::string>& args) {
  std::vector<std::string> operands;
  std::string naming = "numbered", size;
  for (size_t i = 0; i < args.size(); ++i) {
    if (TakeVerbosityOption(args[i])) continue;
    if (args[i] == "--naming" && i + 1 < args.size()) naming = args[++i];
    else if (args[i] == "-s" && i + 1 < args.size()) size = args[++i];
    else operands.push_back(args[i]);
  }
  if (operands.size() != 2 || VolumeSize(size) == 0 || (naming != "numbered" && naming != "zip")) {
    std::cerr << "usage: zipbuilder " << kUsage << '\n';
    return kExitUsage;
  }
  // The last volume takes the set's own name: never the archive being split.
  if (naming == "zip" && platform::ExpandFileName(operands[0]) == platform::ExpandFileName(operands[1])) {
    std::cerr << "zipbuilder: " << EscapedText(operands[1]) << " is the archive being split\n";
    return kExitUsage;
  }
  ui::ConsoleUi console;  // the command line shows and asks on the terminal
  TZipBuilder zip(nullptr, &console);
  if (!ArchiveIsThere(zip, operands[0])) return kExitNoArchive;
  ProgressBar bar;
  bar.Attach(zip, "splitting");
  ReportSpanningToStderr(zip, [&bar] { bar.ClearLine(); });
  const int64_t volumeSize = VolumeSize(size);
  zip.SetMaxVolumeSize(static_cast<int32_t>(volumeSize));
  zip.SetMinFreeVolSize(static_cast<int32_t>(std::min<int64_t>(volumeSize, 65536)));
  const std::string& set = operands[1];
  const int result = zip.WriteSpan(operands[0], set);
  bar.Finish();
  if (result != 0) return kExitError;
  const int count = zip.DiskNr() + 1;
  if (naming == "zip" && !RenameToSplitNames(set, count)) return kExitError;
  const std::string last = naming == "zip" ? set : zip::NumberedName(set, count - 1);
  Say() << "zipbuilder: " << count << " volumes, the last " << EscapedText(last) << '\n';
  return kExitOk;
}

RegisterCommand splitCommand(
    {"split", kUsage,
     "write an archive as numbered volumes of at most SIZE bytes (SET001.zip ...; --naming zip: SET.z01 ... "
     "SET.zip, as zip -s and 7-Zip read them)",
     RunSplit});

}  // namespace
