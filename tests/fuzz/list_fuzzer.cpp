// Feeds arbitrary bytes to the listing (and through it the end-record search)
// and to comment writing. Any crash, out-of-bounds access or hang is a finding.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"

namespace {

const std::string& ArchivePath() {
  static const std::string path = [] {
    std::random_device random;
    return (std::filesystem::temp_directory_path() / ("list_fuzzer-" + std::to_string(random()) + ".zip")).string();
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    std::ofstream out(ArchivePath(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  ui::ScriptedUi ui;
  TZipBuilder zip{nullptr, &ui};
  zip.Unattended = true;
  zip.UseDirOnlyEntries = (size & 1) != 0;
  zip.SetFileName(ArchivePath());
  uint64_t sum = 0;
  for (const auto& entry : zip.ZipDirEntryRecords()) sum += entry->FileName.size() + entry->ExtraData.size();
  std::string comment = zip.GetZipComment();
  if (!zip.ZipFileName().empty()) {
    zip.SetZipComment(comment.empty() ? std::string("fuzz") : std::string());
    zip.List();
  }
  return static_cast<int>(sum & 0);
}
