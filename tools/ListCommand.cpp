// zipbuilder list [-v] ARCHIVE: the members of an archive, as the component lists them;
// -v adds each member's encryption (the method then is the one under it) and
// the listing's details.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string_view>

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

// The lines are formatted by hand, each in one pass straight into the block
// that is written: a formatting call and a stream write per line were most of
// the time a large archive took to list.

// `value` in decimal at `p`, right-aligned in `width` columns with `fill` in
// front (wider when it needs more); returns the end.
char* PutNumber(char* p, uint64_t value, size_t width, char fill = ' ') {
  char digits[20];
  size_t n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  for (; width > n; --width) *p++ = fill;
  while (n != 0) *p++ = digits[--n];
  return p;
}

char* PutSpaces(char* p, size_t count) { return std::fill_n(p, count, ' '); }

// `text` left-aligned in `width` columns.
char* PutPadded(char* p, std::string_view text, size_t width) {
  p = std::copy(text.begin(), text.end(), p);
  return text.size() < width ? PutSpaces(p, width - text.size()) : p;
}

char* PutHex8(char* p, uint32_t value) {
  static const char kHex[] = "0123456789abcdef";
  for (int shift = 28; shift >= 0; shift -= 4) *p++ = kHex[(value >> shift) & 15];
  return p;
}

// One member's line: sizes, method (and encryption), date, time, CRC and name.
void AppendMemberLine(std::string& out, const ZipDirEntry& e, bool verbose) {
  const MemberCoding coding = verbose ? CodingOf(e) : MemberCoding{e.Method, ""};
  const std::string method = zip::MethodName(coding.method);
  const size_t at = out.size();
  out.resize(at + 128 + method.size() + coding.encryption.size());  // the fields at their widest
  char* p = out.data() + at;
  p = PutNumber(p, e.UncompressedSize64(), 10);
  *p++ = ' ';
  p = PutNumber(p, e.CompressedSize64(), 10);
  p = PutSpaces(p, 2);
  p = PutSpaces(PutPadded(p, method, 7), 2);
  if (verbose) p = PutSpaces(PutPadded(p, coding.encryption, 16), 1);
  p = PutNumber(p, 1980u + (e.ModDate >> 9), 4, '0');
  *p++ = '-';
  p = PutNumber(p, (e.ModDate >> 5) & 15u, 2, '0');
  *p++ = '-';
  p = PutNumber(p, e.ModDate & 31u, 2, '0');
  *p++ = ' ';
  p = PutNumber(p, e.ModTime >> 11, 2, '0');
  *p++ = ':';
  p = PutNumber(p, (e.ModTime >> 5) & 63u, 2, '0');
  p = PutSpaces(p, 2);
  p = PutHex8(p, e.Crc32);
  p = PutSpaces(p, 2);
  out.resize(static_cast<size_t>(p - out.data()));
  // Shown with "/" between directories, as other tools on this system show
  // names; the component keeps its own separator. A name that needed no escape
  // is turned where it lies; one that did is turned before it is escaped.
  const size_t nameAt = out.size();
  AppendEscaped(out, e.FileName);
  if (out.size() - nameAt == e.FileName.size()) {
    std::replace(out.begin() + static_cast<std::ptrdiff_t>(nameAt), out.end(), '\\', '/');
  } else {
    out.resize(nameAt);
    std::string name = e.FileName;
    std::replace(name.begin(), name.end(), '\\', '/');
    AppendEscaped(out, name);
  }
  out += '\n';
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
  constexpr size_t kBlock = size_t{1} << 20;  // written whenever this much is ready
  std::string block;
  block.reserve(kBlock + 4096);
  for (const auto& entry : zip.ZipDirEntryRecords()) {
    AppendMemberLine(block, *entry, verbose);
    if (block.size() >= kBlock) {
      std::cout.write(block.data(), static_cast<std::streamsize>(block.size()));
      block.clear();
    }
    totalSize += entry->UncompressedSize64();
    totalCompressed += entry->CompressedSize64();
  }
  std::cout.write(block.data(), static_cast<std::streamsize>(block.size()));
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
