#include "CommandSupport.h"

#include "platform/Interrupts.h"
#include "ui/ConsoleUi.h"

#include <iostream>

std::string EscapedText(const std::string& text, bool keepLineBreaks) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 0x20 && byte != 0x7F) || (keepLineBreaks && c == '\n')) {
      out += c;
    } else {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return out;
}

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
