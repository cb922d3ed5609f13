// zipbuilder split -s SIZE ARCHIVE SET.zip: an archive written as numbered volumes;
// zipbuilder join SET OUT.zip: the volumes of a spanned set joined into one archive.
#include <algorithm>
#include <iostream>

#include "Command.h"
#include "CommandSupport.h"
#include "ProgressBar.h"
#include "platform/Paths.h"
#include "zipbuilder/ZipBuilder.h"
#include "zipformat/VolumeNames.h"

namespace {

const char* const kUsage = "join [-f] SET OUT.zip";
const char* const kSplitUsage = "split -s SIZE[k|m|g] ARCHIVE SET.zip";

int RunSplit(const std::vector<std::string>& args) {
  if (args.size() != 4 || args[0] != "-s" || VolumeSize(args[1]) == 0) {
    std::cerr << "usage: zipbuilder " << kSplitUsage << '\n';
    return 2;
  }
  TZipBuilder zip;
  ProgressBar bar;
  bar.Attach(zip);
  ReportSpanningToStderr(zip, [&bar] { bar.ClearLine(); });
  const int64_t size = VolumeSize(args[1]);
  zip.SetMaxVolumeSize(static_cast<int32_t>(size));
  zip.SetMinFreeVolSize(static_cast<int32_t>(std::min<int64_t>(size, 65536)));
  const int result = zip.WriteSpan(args[2], args[3]);
  bar.Finish();
  if (result != 0) return 1;
  std::cerr << "zipbuilder: " << zip.DiskNr() + 1 << " volumes, the last "
            << EscapedText(zip::NumberedName(args[3], zip.DiskNr())) << '\n';
  return 0;
}

int RunJoin(const std::vector<std::string>& args) {
  bool force = false;
  std::vector<std::string> operands;
  for (const auto& a : args) {
    if (a == "-f")
      force = true;
    else
      operands.push_back(a);
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
  // A directory is no name for the joined archive (the component would make
  // one up in its private temporary directory).
  if (platform::ExtractFileName(out).empty()) {
    std::cerr << "zipbuilder: " << EscapedText(out, true)
              << " is a directory; name the archive to write\n";
    return 1;
  }
  // The joined archive gets the extension .zip.
  if (zip.FileExists(platform::ChangeFileExt(out, ".zip")) && !force) {
    std::cerr << "zipbuilder: " << EscapedText(platform::ChangeFileExt(out, ".zip"))
              << " exists (-f replaces it)\n";
    return 1;
  }
  const int result = zip.ReadSpan(set, out);
  bar.Finish();
  if (result != 0) return 1;
  std::cerr << "zipbuilder: joined into " << EscapedText(out) << '\n';
  return 0;
}

RegisterCommand splitCommand(
    {"split", kSplitUsage,
     "write an archive as numbered volumes of at most SIZE bytes (SET001.zip ...)", RunSplit});
RegisterCommand joinCommand(
    {"join", kUsage,
     "join the volumes of a spanned set (any volume names it) into one archive "
     "(-f replaces OUT.zip)",
     RunJoin});

}  // namespace
