// Renames the members of an archive made of arbitrary bytes, then copies them
// into another archive, with removal from the source when the input's size is
// odd. Any crash, out-of-bounds access or hang is a finding; so is a file left
// behind in the archives' directory (a temporary that was not removed).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"

namespace {

namespace fs = std::filesystem;

const fs::path& WorkDir() {
  static const fs::path dir = [] {
    std::random_device random;
    fs::path path = fs::temp_directory_path() / ("rewrite_fuzzer-" + std::to_string(random()));
    fs::create_directories(path);
    return path;
  }();
  return dir;
}

void WriteFile(const fs::path& path, const void* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fs::path source = WorkDir() / "s.zip", destination = WorkDir() / "d.zip";
  WriteFile(source, data, size);
  const uint8_t emptyArchive[22] = {'P', 'K', 5, 6};
  WriteFile(destination, emptyArchive, sizeof emptyArchive);

  ui::ScriptedUi ui;
  TZipBuilder zip{nullptr, &ui}, target{nullptr, &ui};
  for (TZipBuilder* z : {&zip, &target}) {
    z->Unattended = true;
    z->HowToDelete = htdFinal;
  }
  zip.SetFileName(source.string());
  target.SetFileName(destination.string());
  if (!zip.ZipFileName().empty()) {
    std::vector<std::string> names;
    for (const auto& entry : zip.ZipDirEntryRecords())
      if (names.size() < 4) names.push_back(entry->FileName);
    std::vector<RenameItem> items;
    if (!names.empty() && !names[0].empty())
      items.push_back({names[0].substr(0, 1), "r", 0x5A8C6000});
    std::vector<RenameItem*> list;
    for (auto& item : items) list.push_back(&item);
    zip.Rename(list, size % 3 == 0 ? 0x4B216000 : 0);
    names.clear();
    for (const auto& entry : zip.ZipDirEntryRecords())
      if (names.size() < 4) names.push_back(entry->FileName);
    if (!names.empty()) {
      zip.SetFSpecArgs(names);
      zip.CopyZippedFiles(&target, (size & 1) != 0, size % 4 < 2 ? OvrAlways : OvrNever);
    }
  }
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(WorkDir())) {
    (void)entry;
    ++files;
  }
  if (files > 2) std::abort();  // a temporary left behind
  return 0;
}
