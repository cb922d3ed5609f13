// The installer's extraction over an existing installation, with and without
// keeping the replaced files for a rollback first, for measuring what the
// backup costs: rollback_bench PACKAGE DIR PASSWORD backup|direct
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "installer/InstallRollback.h"
#include "platform/Env.h"
#include "platform/FileKeeping.h"
#include "zipbuilder/ZipBuilder.h"

int main(int argc, char** argv) {
  const std::string mode = argc == 5 ? argv[4] : "";
  if (mode != "backup" && mode != "direct") {
    std::fprintf(stderr, "usage: rollback_bench PACKAGE DIR PASSWORD backup|direct\n");
    return 2;
  }
  const std::string directory = argv[2];
  TZipBuilder zip;
  zip.Unattended = true;
  zip.ExtrOptions = ExtrOpts{ExtrDirNames, ExtrOverWrite};
  zip.SetFileName(argv[1]);
  zip.Password = argv[3];
  zip.ExtrBaseDir = directory;
  zip.FSpecArgs().clear();
  zip.FSpecArgs().push_back("*.*");

  std::optional<installer::InstallRollback> rollback;
  if (mode == "backup") {
    std::vector<std::string> names;
    for (const auto& entry : zip.ZipDirEntryRecords()) names.push_back(entry->FileName);
    rollback.emplace(*platform::DefaultEnv().files, platform::PosixFileKeeping(), directory);
    if (!rollback->Prepare(names)) {
      std::fprintf(stderr, "backup failed: %s\n", rollback->Error().c_str());
      return 1;
    }
  }
  zip.Extract();
  if (zip.ErrCode() != 0 || zip.SuccessCount() < zip.Count()) {
    std::fprintf(stderr, "extraction failed: %d of %d members, %s\n", zip.SuccessCount(), zip.Count(),
                 zip.Message().c_str());
    if (rollback) rollback->RollBack();
    return 1;
  }
  if (rollback && !rollback->Commit()) {
    std::fprintf(stderr, "removing the backup failed: %s\n", rollback->Error().c_str());
    return 1;
  }
  std::printf("%d members\n", zip.SuccessCount());
  return 0;
}
