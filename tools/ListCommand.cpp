// zipbuilder list [-v] ARCHIVE: the members of an archive, as the component lists them;
// -v adds each member's encryption (the method then is the one under it) and
// the listing's details.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>

#include "tools/Command.h"
#include "tools/CommandSupport.h"
#include "tools/PipedArchive.h"
#include "zipbuilder/ZipBuilder.h"
#include "zipformat/ExtraField.h"
#include "zipformat/Methods.h"
#include "zipformat/Signatures.h"

namespace {

// The compression method under any AES encryption, and the encryption:
// "-", "Traditional", "AES-128" ... "AES-256" (with its version, AE-1 or AE-2),
// "Strong" for the cipher we cannot read.
struct MemberCoding {
  uint16_t method;
  std::string encryption;
};

MemberCoding CodingOf(const ZipDirEntry& e) {
  if (e.GeneralFlags & zip::kFlagStrongEncryption) return {e.Method, "Strong"};
  if (e.Method == zip::kMethodAes) {
    auto block = zip::FindExtra(e.ExtraData, zip::kExtraAes);
    std::optional<zip::AesExtra> aes = block ? zip::DecodeAesExtra(*block) : std::nullopt;
    if (!aes) return {e.Method, "AES-?"};
    const std::string bits =
        aes->strength >= 1 && aes->strength <= 3 ? std::to_string(64 + 64 * aes->strength) : "?";
    return {aes->method, "AES-" + bits + " AE-" + std::to_string(aes->version)};
  }
  return {e.Method, (e.GeneralFlags & zip::kFlagEncrypted) ? "Traditional" : "-"};
}

std::string MemberLine(const ZipDirEntry& e, bool verbose) {
  char line[128];
  const MemberCoding coding = verbose ? CodingOf(e) : MemberCoding{e.Method, ""};
  // One formatting call per line: listing a large archive is mostly this.
  const unsigned year = 1980u + (e.ModDate >> 9), month = (e.ModDate >> 5) & 15u,
                 day = e.ModDate & 31u;
  const unsigned hour = e.ModTime >> 11, minute = (e.ModTime >> 5) & 63u;
  const auto length = static_cast<unsigned long long>(e.UncompressedSize64());
  const auto compressed = static_cast<unsigned long long>(e.CompressedSize64());
  if (verbose)
    std::snprintf(line, sizeof line, "%10llu %10llu  %-7s  %-16s %04u-%02u-%02u %02u:%02u  %08x  ",
                  length, compressed, zip::MethodName(coding.method).c_str(), coding.encryption.c_str(),
                  year, month, day, hour, minute, e.Crc32);
  else
    std::snprintf(line, sizeof line, "%10llu %10llu  %-7s  %04u-%02u-%02u %02u:%02u  %08x  ",
                  length, compressed, zip::MethodName(coding.method).c_str(), year, month, day, hour,
                  minute, e.Crc32);
  std::string text(line);
  // Shown with "/" between directories, as other tools on this system show
  // names; the component keeps its own separator.
  std::string name = e.FileName;
  std::replace(name.begin(), name.end(), '\\', '/');
  AppendEscaped(text, name);
  return text;
}

int RunList(const std::vector<std::string>& args) {
  std::string archive;
  for (const auto& a : args) {
    if (TakeVerbosityOption(a))
      continue;
    else if (archive.empty())
      archive = a;
    else
      archive.clear(), archive = "\n";  // more than one archive: usage error
  }
  if (archive.empty() || archive == "\n") {
    std::cerr << "usage: zipbuilder list [-q|-v] ARCHIVE\n";
    return kExitUsage;
  }
  // -v: encryption and listing details; -q: the member lines alone.
  const bool verbose = OutputVerbosity() == Verbosity::Verbose;

  ui::ConsoleUi console;  // the command line shows and asks on the terminal
  TZipBuilder zip(nullptr, &console);
  ReportToStderr(zip);
  // Any report while listing (structure, garbage, a comment past the end ...)
  // makes the status a warning, as test and extract see the same archive.
  bool warned = false;
  zip.OnMessage = [&warned, report = zip.OnMessage](TZipBuilder* z, int code,
                                                    const std::string& text) {
    warned = true;
    report(z, code, text);
  };
  ArchiveFromStdin input(archive);  // "-": read from standard input
  if (input.Failed()) return kExitError;
  if (auto opening = OpenArchive(zip, input.Name()); opening != ArchiveOpening::Listed)
    return OpeningFailure(opening);

  Say(std::cout) << (verbose ? "    Length Compressed  Method   Encryption       Date       Time   "
                          "CRC-32    Name\n"
                        : "    Length Compressed  Method   Date       Time   CRC-32    Name\n");
  uint64_t totalSize = 0, totalCompressed = 0;
  for (const auto& entry : zip.ZipDirEntryRecords()) {
    std::cout << MemberLine(*entry, verbose) << '\n';
    totalSize += entry->UncompressedSize64();
    totalCompressed += entry->CompressedSize64();
  }
  std::string comment = zip.GetZipComment();
  if (!comment.empty()) Say(std::cout) << "Comment: " << EscapedText(comment, true) << '\n';
  char totals[64];
  std::snprintf(totals, sizeof totals, "%10llu %10llu  ",
                static_cast<unsigned long long>(totalSize),
                static_cast<unsigned long long>(totalCompressed));
  Say(std::cout) << totals << zip.Count() << (zip.Count() == 1 ? " file\n" : " files\n");
  if (verbose) {
    std::cout << "ArchiveStart: " << zip.ArchiveStart() << '\n'
              << "CentralDirOffset: " << zip.CentralDirOffset() << '\n'
              << "EndOfCentralOffset: " << zip.EndOfCentralOffset() << '\n'
              << "StructureWarning: " << (zip.StructureWarning() ? "yes" : "no") << '\n'
              << "Spanned: " << (zip.Spanned() ? "yes" : "no") << '\n'
              << "SkippedDirCount: " << zip.SkippedDirCount() << '\n';
  }
  return warned ? kExitWarning : kExitOk;
}

RegisterCommand listCommand(
    {"list", "list [-q|-v] ARCHIVE",
     "list the members, the archive comment and totals (-v: encryption and listing details; -q: members only)",
     RunList});

}  // namespace
