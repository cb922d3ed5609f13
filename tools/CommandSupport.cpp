#include "tools/CommandSupport.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <iostream>

#include "platform/Interrupts.h"
#include "platform/Paths.h"
#include "ui/ConsoleUi.h"
#include "zipformat/VolumeNames.h"

void CancelOnInterrupt(TZipBuilder& zip) {
  if (auto* console = dynamic_cast<ui::ConsoleUi*>(&zip.Ui())) {
    console->OnProcessMessages = [&zip] {
      if (platform::InterruptSignal() != 0) zip.Cancel = true;
    };
  }
}

void ReportToStderr(TZipBuilder& zip) {
  CancelOnInterrupt(zip);
  zip.Unattended = true;
  zip.OnMessage = [](TZipBuilder*, int, const std::string& text) {
    std::cerr << "zipbuilder: " << EscapedText(text, true) << '\n';
  };
}

namespace {
Verbosity verbosity = Verbosity::Normal;
}  // namespace

Verbosity OutputVerbosity() { return verbosity; }

bool TakeVerbosityOption(const std::string& arg) {
  if (arg != "-q" && arg != "-v") return false;
  verbosity = arg == "-q" ? Verbosity::Quiet : Verbosity::Verbose;
  return true;
}

std::vector<std::string> WithoutLeadingVerbosity(const std::vector<std::string>& args) {
  size_t taken = 0;
  while (taken < args.size() && TakeVerbosityOption(args[taken])) ++taken;
  return {args.begin() + static_cast<std::ptrdiff_t>(taken), args.end()};
}

std::ostream& Say(std::ostream& out) {
  static std::ostream dropped(nullptr);  // no buffer: every write is dropped
  return verbosity == Verbosity::Quiet ? dropped : out;
}

std::string ShownName(std::string name) {
  std::replace(name.begin(), name.end(), '\\', '/');
  return EscapedText(name);
}

int PrintUsage(std::ostream& out, std::string_view usage, std::string_view details, int status) {
  out << "usage: zipbuilder " << usage << '\n' << details;
  return status;
}

int64_t VolumeSize(const std::string& text) {
  size_t digits = 0;
  while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
  if (digits == 0 || digits > 12 || text.size() > digits + 1) return 0;
  int64_t size = std::stoll(text.substr(0, digits));
  if (digits < text.size()) {
    switch (std::tolower(static_cast<unsigned char>(text[digits]))) {
      case 'k': size <<= 10; break;
      case 'm': size <<= 20; break;
      case 'g': size <<= 30; break;
      default: return 0;
    }
  }
  // A volume must take the largest header with its name; the property holds 31 bits.
  return size >= 1024 && size <= INT32_MAX ? size : 0;
}

std::string LastVolumeOf(TZipBuilder& zip, const std::string& name) {
  int number = zip::NumberBeforeExtension(name);
  std::string setName = name;
  if (number > 0) {
    setName = zip::SetNameOf(name);
  } else if (!zip.FileExists(name) && zip.FileExists(zip::NumberedName(name, 0))) {
    number = 1;
  } else {
    return name;
  }
  if (!zip.FileExists(zip::NumberedName(setName, number - 1))) return name;
  while (number < 999 && zip.FileExists(zip::NumberedName(setName, number))) ++number;
  return zip::NumberedName(setName, number - 1);
}

void ReportSpanningToStderr(TZipBuilder& zip, const std::function<void()>& beforeReport) {
  CancelOnInterrupt(zip);
  zip.Unattended = false;
  const std::string copying = zip.LoadZipStr(kMsgCopying, "Copying: ");
  // Reports the component shows in a box are printed by the console already.
  zip.OnMessage = [copying, beforeReport](TZipBuilder* z, int code, const std::string& text) {
    if (text.rfind(copying, 0) == 0 || (code == 0 && text == z->Message())) return;
    if (beforeReport) beforeReport();
    std::cerr << "zipbuilder: " << EscapedText(text, true) << '\n';
  };
}

ArchiveOpening OpenArchive(TZipBuilder& zip, const std::string& requested) {
  const std::string archive = LastVolumeOf(zip, requested);
  if (!zip.FileExists(archive)) {
    std::cerr << "zipbuilder: " << EscapedText(archive) << ": "
              << zip.LoadZipStr(kMsgInputMissing, "Input file does not exist") << '\n';
    return ArchiveOpening::Missing;
  }
  zip.SetFileName(archive);
  return zip.ZipFileName().empty() ? ArchiveOpening::Unreadable : ArchiveOpening::Listed;
}

int OpeningFailure(ArchiveOpening opening) {
  return opening == ArchiveOpening::Missing ? kExitNoArchive : kExitError;
}

bool ArchiveIsThere(TZipBuilder& zip, const std::string& archive) {
  if (zip.FileExists(archive)) return true;
  std::cerr << "zipbuilder: " << EscapedText(archive) << ": "
            << zip.LoadZipStr(kMsgInputMissing, "Input file does not exist") << '\n';
  return false;
}

bool NameArchive(TZipBuilder& zip, const std::string& archive) {
  if (!ArchiveIsThere(zip, archive)) return false;
  zip.Designing = true;
  zip.SetFileName(archive);
  zip.Designing = false;
  return true;
}
