// zipbuilder rename: renames members (OLD=NEW name parts) and re-dates them.
#include <cctype>
#include <iostream>
#include <optional>

#include "platform/LargeMemory.h"
#include "tools/Command.h"
#include "tools/CommandSupport.h"
#include "tools/ProgressBar.h"
#include "zipbuilder/ZipBuilder.h"
#include "zipbuilder/core/ResultCodes.h"

namespace {

const char* const kUsage = "rename [-t YYYY-MM-DDTHH:MM[:SS]] ARCHIVE [OLD=NEW ...]";
const char* const kDetails =
    "  OLD=NEW  replace the name part OLD (a member name, a directory ending in / or \\,\n"
    "           or any part of a name; letter case ignored) by NEW in every member holding it\n"
    "  -t WHEN  set the date and time of every member (local time, even seconds)\n";
int Usage(std::ostream& out, int status) { return PrintUsage(out, kUsage, kDetails, status); }

// The MS-DOS date (high 16 bits) and time (low 16 bits) of "YYYY-MM-DDTHH:MM[:SS]";
// none for malformed text or a moment the format cannot hold (1980 to 2107).
std::optional<uint32_t> ParseDosDateTime(const std::string& text) {
  // Digits at every position but the separators of "YYYY-MM-DDTHH:MM:SS".
  const std::string shape = "dddd-dd-ddTdd:dd:dd";
  if (text.size() != 16 && text.size() != 19) return std::nullopt;
  for (size_t k = 0; k < text.size(); ++k)
    if (shape[k] == 'd' ? !std::isdigit(static_cast<unsigned char>(text[k])) : text[k] != shape[k])
      return std::nullopt;
  auto number = [&](size_t at, size_t length) {
    return static_cast<unsigned>(std::stoul(text.substr(at, length)));
  };
  const unsigned year = number(0, 4), month = number(5, 2), day = number(8, 2),
                 hour = number(11, 2), minute = number(14, 2),
                 second = text.size() == 19 ? number(17, 2) : 0;
  static const unsigned kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
  if (year < 1980 || year > 2107 || month < 1 || month > 12 || day < 1 || day > kDays[month - 1] ||
      (month == 2 && day == 29 && !leap) || hour > 23 || minute > 59 || second > 59)
    return std::nullopt;
  const uint32_t date = ((year - 1980) << 9) | (month << 5) | day;
  const uint32_t time = (hour << 11) | (minute << 5) | (second / 2);
  return (date << 16) | time;
}

int RunRename(const std::vector<std::string>& args) {
  uint32_t dateTime = 0;
  size_t i = 0;
  for (; i < args.size() && args[i].size() > 1 && args[i][0] == '-'; ++i) {
    if (args[i] == "--") {
      ++i;
      break;
    }
    if (args[i] == "--help" || args[i] == "-h") return Usage(std::cout, kExitOk);
    if (TakeVerbosityOption(args[i])) continue;
    if (args[i] != "-t" || i + 1 == args.size()) return Usage(std::cerr, kExitUsage);
    auto parsed = ParseDosDateTime(args[++i]);
    if (!parsed) {
      std::cerr << "zipbuilder: '" << EscapedText(args[i])
                << "' is not a date and time of the form YYYY-MM-DDTHH:MM[:SS]"
                << " between 1980 and 2107\n";
      return kExitUsage;
    }
    dateTime = *parsed;
  }
  if (i == args.size()) return Usage(std::cerr, kExitUsage);
  const std::string archive = args[i++];
  std::vector<RenameItem> items;
  for (; i < args.size(); ++i) {
    const size_t equals = args[i].find('=');
    if (equals == std::string::npos || equals == 0) {
      std::cerr << "zipbuilder: '" << EscapedText(args[i]) << "' is not of the form OLD=NEW\n";
      return kExitUsage;
    }
    items.push_back({args[i].substr(0, equals), args[i].substr(equals + 1), 0});
  }
  if (items.empty() && dateTime == 0) {
    std::cerr << "zipbuilder: nothing to do: give OLD=NEW pairs, -t, or both\n";
    return kExitUsage;
  }

  // The rewrite frees the old directory's blocks just before the archive is
  // listed anew: kept, they serve the listing instead of being faulted in again.
  platform::KeepFreedMemory();
  ui::ConsoleUi console;  // the command line shows and asks on the terminal
  TZipBuilder zip(nullptr, &console);
  ReportToStderr(zip);
  zip.HowToDelete = htdFinal;
  if (!NameArchive(zip, archive)) return kExitNoArchive;
  ProgressBar bar;
  bar.Attach(zip, "renaming");
  // Per-member lines name every member; only the renamed ones are worth printing.
  // Every other message (a warning, a failure) goes to stderr.
  const std::string renamedTo = zip.LoadZipStr(kMsgRenamedTo, " renamed to: ");
  const std::string processing = zip.LoadZipStr(kMsgProcessing, "Processing: ");
  zip.OnMessage = [&](TZipBuilder*, int, const std::string& text) {
    bar.ClearLine();
    if (text.compare(0, processing.size(), processing) != 0) {
      std::cerr << "zipbuilder: " << EscapedText(archive) << ": " << EscapedText(text, true) << '\n';
      return;
    }
    if (text.find(renamedTo) == std::string::npos) return;
    Say(std::cout) << EscapedText(text.substr(processing.size())) << '\n';
  };
  std::vector<RenameItem*> requests;
  for (auto& item : items) requests.push_back(&item);
  const int result = zip.Rename(requests, dateTime);
  bar.Finish();
  if (result == kRenameNoFilePart) {
    std::cerr << "zipbuilder: a new name must keep a file name part when the old one has one\n";
    return kExitError;
  }
  // A failure has been reported as it happened.
  if (result != kResultOk) return kExitError;
  return kExitOk;
}

RegisterCommand renameCommand({"rename", kUsage,
                               "rename members and set their dates, without recompressing",
                               RunRename, kDetails});

}  // namespace
