#include "CommandSupport.h"

#include <iostream>

void ReportToStderr(TZipBuilder& zip) {
  zip.Unattended = true;
  zip.OnMessage = [](TZipBuilder*, int, const std::string& text) {
    std::cerr << "zipbuilder: " << text << '\n';
  };
}

ArchiveOpening OpenArchive(TZipBuilder& zip, const std::string& archive) {
  if (!zip.FileExists(archive)) {
    std::cerr << "zipbuilder: " << archive << ": "
              << zip.LoadZipStr(11001, "Input file does not exist") << '\n';
    return ArchiveOpening::Missing;
  }
  zip.SetFileName(archive);
  return zip.ZipFileName().empty() ? ArchiveOpening::Unreadable : ArchiveOpening::Listed;
}

bool NameArchive(TZipBuilder& zip, const std::string& archive) {
  if (!zip.FileExists(archive)) {
    std::cerr << "zipbuilder: " << archive << ": "
              << zip.LoadZipStr(11001, "Input file does not exist") << '\n';
    return false;
  }
  zip.Designing = true;
  zip.SetFileName(archive);
  zip.Designing = false;
  return true;
}
