// zipbuilder list [-v] ARCHIVE: the members of an archive, as the component lists them.
#include <cstdio>
#include <iostream>

#include "Command.h"
#include "CommandSupport.h"
#include "zipbuilder/ZipBuilder.h"

namespace {

std::string MethodName(uint16_t method) {
  switch (method) {
    case 0: return "Stored";
    case 1: return "Shrunk";
    case 2: case 3: case 4: case 5: return "Reduced";
    case 6: return "Implode";
    case 8: return "Deflate";
    case 9: return "Defl64";
    case 12: return "BZip2";
    case 14: return "LZMA";
    case 93: return "Zstd";
    case 95: return "XZ";
    case 99: return "AES";
    default: return "M" + std::to_string(method);
  }
}

std::string MemberLine(const ZipDirEntry& e) {
  char line[96];
  std::snprintf(line, sizeof line, "%10u %10u  %-7s  %04u-%02u-%02u %02u:%02u  %08x  ", e.UncompressedSize,
                e.CompressedSize, MethodName(e.Method).c_str(), 1980u + (e.ModDate >> 9), (e.ModDate >> 5) & 15u,
                e.ModDate & 31u, e.ModTime >> 11, (e.ModTime >> 5) & 63u, e.Crc32);
  return line + EscapedText(e.FileName);
}

int RunList(const std::vector<std::string>& args) {
  bool verbose = false;
  std::string archive;
  for (const auto& a : args) {
    if (a == "-v") verbose = true;
    else if (archive.empty()) archive = a;
    else archive.clear(), archive = "\n";  // more than one archive: usage error
  }
  if (archive.empty() || archive == "\n") {
    std::cerr << "usage: zipbuilder list [-v] ARCHIVE\n";
    return 2;
  }

  TZipBuilder zip;
  ReportToStderr(zip);
  // Any report while listing (structure, garbage, a comment past the end ...)
  // makes the status a warning, as test and extract see the same archive.
  bool warned = false;
  zip.OnMessage = [&warned, report = zip.OnMessage](TZipBuilder* z, int code, const std::string& text) {
    warned = true;
    report(z, code, text);
  };
  if (OpenArchive(zip, archive) != ArchiveOpening::Listed) return 1;

  std::cout << "    Length Compressed  Method   Date       Time   CRC-32    Name\n";
  uint64_t totalSize = 0, totalCompressed = 0;
  for (const auto& entry : zip.ZipDirEntryRecords()) {
    std::cout << MemberLine(*entry) << '\n';
    totalSize += entry->UncompressedSize;
    totalCompressed += entry->CompressedSize;
  }
  std::string comment = zip.GetZipComment();
  if (!comment.empty()) std::cout << "Comment: " << EscapedText(comment, true) << '\n';
  char totals[64];
  std::snprintf(totals, sizeof totals, "%10llu %10llu  ", static_cast<unsigned long long>(totalSize),
                static_cast<unsigned long long>(totalCompressed));
  std::cout << totals << zip.Count() << (zip.Count() == 1 ? " file\n" : " files\n");
  if (verbose) {
    std::cout << "ArchiveStart: " << zip.ArchiveStart() << '\n'
              << "CentralDirOffset: " << zip.CentralDirOffset() << '\n'
              << "EndOfCentralOffset: " << zip.EndOfCentralOffset() << '\n'
              << "StructureWarning: " << (zip.StructureWarning() ? "yes" : "no") << '\n'
              << "Spanned: " << (zip.Spanned() ? "yes" : "no") << '\n'
              << "SkippedDirCount: " << zip.SkippedDirCount() << '\n';
  }
  return warned ? 1 : 0;
}

RegisterCommand listCommand({"list", "list [-v] ARCHIVE",
                             "list the members, the archive comment and totals (-v: listing details)", RunList});

}  // namespace
