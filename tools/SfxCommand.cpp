// zipbuilder sfx: an archive to a self-extracting program; zipbuilder unsfx: back.
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>

#include "tools/Command.h"
#include "tools/CommandSupport.h"
#include "zipbuilder/ZipBuilder.h"
#include "zipbuilder/core/ResultCodes.h"

namespace {

const char* const kSfxUsage =
    "sfx [--caption TEXT] [--dir DIR] [--command LINE] [--message TEXT] [--icon FILE.ico]\n"
    "                 [--overwrite confirm|always|never] [--ask-command] [--ask-files] "
    "[--hide-overwrite]\n"
    "                 [--no-size-check] [--auto-run] [--no-success-message] [--stub FILE] "
    "ARCHIVE.zip";
const char* const kUnsfxUsage = "unsfx ARCHIVE.exe";

// The switches that each add one option, with the names the unsfx report uses.
const std::map<std::string, SFXOptsEnum> kOptionSwitches = {
    {"--ask-command", SFXAskCmdLine},
    {"--ask-files", SFXAskFiles},
    {"--hide-overwrite", SFXHideOverWriteBox},
    {"--auto-run", SFXAutoRun},
    {"--no-success-message", SFXNoSuccessMsg}};

const char* const kOverwriteNames[] = {"confirm", "always", "never"};

int Usage(const char* usage) { return PrintUsage(std::cerr, usage, "", kExitUsage); }

// What a conversion's code means when it came without a message of its own.
const std::map<int, const char*> kSfxFailures = {
    {kSfxNoOutput, "the self-extractor could not be created or put in place"},
    {kSfxShortCopy, "writing the self-extractor fell short (is the disk full?)"},
    {kSfxReadFailed, "the stub or the archive could not be read"},
    {kSfxFailed, "the self-extractor written did not check out"},
    {kIconFailed, "the icon could not be put into the stub"}};
const std::map<int, const char*> kUnsfxFailures = {
    {kSfxNoOutput, "the archive could not be created or put in place"},
    {kSfxShortCopy, "reading the program or writing the archive fell short (is the disk full?)"},
    {kSfxReadFailed, "the program or the archive inside it could not be read"},
    {kSfxFailed, "the archive written did not check out"},
    {kSfxNoMemory, "not enough memory"}};

// Reports a conversion code that came without a message of its own, by its cause.
int Finish(TZipBuilder& zip, int code, const std::string& what,
           const std::map<int, const char*>& causes) {
  if (code == 0) return kExitOk;
  if (zip.ErrCode() == 0) {
    auto cause = causes.find(code);
    std::cerr << "zipbuilder: " << EscapedText(zip.ZipFileName()) << ": " << what << " failed: "
              << (cause != causes.end() ? cause->second : "an unexpected failure") << '\n';
  }
  return kExitError;
}

int RunSfx(const std::vector<std::string>& args) {
  ui::ConsoleUi console;  // the command line shows and asks on the terminal
  TZipBuilder zip(nullptr, &console);
  ReportToStderr(zip);
  std::string archive;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= args.size()) return false;
      into = args[++i];
      return true;
    };
    if (TakeVerbosityOption(a)) {
    } else if (auto it = kOptionSwitches.find(a); it != kOptionSwitches.end()) {
      zip.SFXOptions.Include(it->second);
    } else if (a == "--no-size-check") {
      zip.SFXOptions.Exclude(SFXCheckSize);
    } else if (a == "--caption" || a == "--dir" || a == "--command" || a == "--message" ||
               a == "--stub") {
      std::string* into = a == "--caption"   ? &zip.SFXCaption
                          : a == "--dir"     ? &zip.SFXDefaultDir
                          : a == "--command" ? &zip.SFXCommandLine
                          : a == "--message" ? &zip.SFXMessage
                                             : &zip.SFXPath;
      if (!value(*into)) return Usage(kSfxUsage);
    } else if (a == "--overwrite") {
      std::string mode;
      if (!value(mode)) return Usage(kSfxUsage);
      int found = -1;
      for (int k = 0; k < 3; ++k)
        if (mode == kOverwriteNames[k]) found = k;
      if (found < 0) return Usage(kSfxUsage);
      zip.SFXOverWriteMode = static_cast<OvrOpts>(found);
    } else if (a == "--icon") {
      std::string path;
      if (!value(path)) return Usage(kSfxUsage);
      std::ifstream in(path, std::ios::binary);
      TIcon icon{std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {})};
      if (!in.good() && !in.eof()) {
        std::cerr << "zipbuilder: " << EscapedText(path) << ": cannot read the icon\n";
        return kExitError;
      }
      zip.SetSFXIcon(icon);
    } else if (archive.empty() && !(a.size() > 1 && a[0] == '-')) {
      archive = a;
    } else {
      return Usage(kSfxUsage);
    }
  }
  if (archive.empty()) return Usage(kSfxUsage);
  if (auto opening = OpenArchive(zip, archive); opening != ArchiveOpening::Listed)
    return OpeningFailure(opening);
  int code = zip.ConvertSFX();
  if (code == kIconNotFound) std::cerr << "zipbuilder: the stub has no icon image that can be replaced\n";
  if (code == kIconWrongSize)
    std::cerr << "zipbuilder: the icon must hold exactly one 32x32 image of 16 colours\n";
  if (code == kIconNotFound || code == kIconWrongSize) return kExitError;
  if (code == 0)
    Say(std::cout) << EscapedText(zip.ZipFileName()) << " (stub " << EscapedText(zip.SFXPath) << ")\n";
  return Finish(zip, code, "converting to a self-extractor", kSfxFailures);
}

int RunUnsfx(const std::vector<std::string>& args) {
  if (args.size() != 1 || args[0].empty() || args[0][0] == '-') return Usage(kUnsfxUsage);
  ui::ConsoleUi console;  // the command line shows and asks on the terminal
  TZipBuilder zip(nullptr, &console);
  ReportToStderr(zip);
  if (auto opening = OpenArchive(zip, args[0]); opening != ArchiveOpening::Listed)
    return OpeningFailure(opening);
  int code = zip.ConvertZIP();
  if (code != 0) return Finish(zip, code, "converting back to an archive", kUnsfxFailures);
  std::cout << EscapedText(zip.ZipFileName()) << '\n'
            << "caption: " << EscapedText(zip.SFXCaption) << '\n'
            << "default directory: " << EscapedText(zip.SFXDefaultDir) << '\n'
            << "command line: " << EscapedText(zip.SFXCommandLine) << '\n'
            << "message: " << EscapedText(zip.SFXMessage) << '\n'
            << "overwrite: " << kOverwriteNames[zip.SFXOverWriteMode] << '\n'
            << "options:";
  for (const auto& [name, option] : kOptionSwitches)
    if (zip.SFXOptions.Contains(option)) std::cout << ' ' << name;
  if (!zip.SFXOptions.Contains(SFXCheckSize)) std::cout << " --no-size-check";
  std::cout << '\n'
            << "icon: "
            << (zip.SFXIcon().Empty() ? "none"
                                      : std::to_string(zip.SFXIcon().data.size()) + " bytes")
            << '\n';
  return kExitOk;
}

RegisterCommand registerSfx({"sfx", kSfxUsage,
                             "make ARCHIVE.zip a self-extracting program ARCHIVE.exe", RunSfx});
RegisterCommand registerUnsfx({"unsfx", kUnsfxUsage,
                               "make a self-extracting ARCHIVE.exe a plain ARCHIVE.zip again; "
                               "prints the settings it held",
                               RunUnsfx});

}  // namespace
