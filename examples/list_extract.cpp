// Lists an archive and, given a directory, extracts every member into it.
//   list_extract ARCHIVE [DIRECTORY]
// Assigning ZipFileName lists the archive at once; every operation reports its
// outcome in ErrCode and Message, never by an exception.
#include <cstdio>
#include <string>

#include "zipbuilder/ZipBuilder.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: list_extract ARCHIVE [DIRECTORY]\n");
    return 2;
  }
  TZipBuilder zip;  // shows and asks nothing: results are read from its state
  zip.SetFileName(argv[1]);
  if (zip.ErrCode() != 0) {
    std::fprintf(stderr, "%s: %s (%d)\n", argv[1], zip.Message().c_str(), zip.ErrCode());
    return 1;
  }
  for (const auto& entry : zip.ZipDirEntryRecords())
    std::printf("%12llu  %s\n", static_cast<unsigned long long>(entry->UncompressedSize64()),
                entry->FileName.c_str());  // names keep the archive's "\" separators
  std::printf("%d members\n", zip.Count());
  if (argc == 2) return 0;

  zip.ExtrBaseDir = argv[2];
  zip.ExtrBaseDirMustExist = true;  // a missing directory is an error, not the current one
  zip.ExtrOptions = ExtrOpts{ExtrDirNames, ExtrOverWrite};
  zip.FSpecArgs() = {"*.*"};
  zip.Extract();
  if (zip.ErrCode() != 0) {
    std::fprintf(stderr, "extract: %s (%d)\n", zip.Message().c_str(), zip.ErrCode());
    return 1;
  }
  std::printf("%d extracted\n", zip.SuccessCount());
  return zip.SuccessCount() == zip.Count() ? 0 : 1;
}
