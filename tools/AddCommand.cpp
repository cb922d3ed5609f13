// zipbuilder add: files into an archive; options that zip also has mean what they mean there.
#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <iostream>

#include "tools/Command.h"
#include "tools/CommandSupport.h"
#include "tools/PipedArchive.h"
#include "tools/ProgressBar.h"
#include "platform/Terminal.h"
#include "zipbuilder/ZipBuilder.h"

namespace {

const char* const kUsage =
    "add [-r] [-0..-9|--best] [-e] [-P PASSWORD] [--aes[=128|192|256]] [-x SPEC]... [-m] [-f] [-u] [-D] [-j] [-y] [-q|-v] [-@] "
    "[-s SIZE[k|m|g] | --span] ARCHIVE SPEC...";

int Usage() { return PrintUsage(std::cerr, kUsage, "", kExitUsage); }

// Asks twice on a terminal (once from piped input); empty when the answers
// differ or input ends.
std::string AskPassword() {
  std::string first, second;
  std::cerr << "Enter password: " << std::flush;
  if (!platform::ReadHiddenLine(first)) return {};
  if (!platform::StdinIsTerminal()) return first;
  std::cerr << "\nVerify password: " << std::flush;
  if (!platform::ReadHiddenLine(second)) return {};
  std::cerr << '\n';
  if (first != second) {
    std::cerr << "zipbuilder: passwords did not match\n";
    return {};
  }
  return first;
}

int RunAdd(const std::vector<std::string>& args) {
  ui::ConsoleUi console;  // the command line shows and asks on the terminal
  TZipBuilder zip(nullptr, &console);
  AddOpts options{AddDirNames, AddSeparateDirs};
  int level = 9;
  bool askPassword = false;
  std::string password;
  std::vector<std::string> exclusions, operands;
  int64_t volumeSize = 0;
  bool span = false, namesFromStdin = false;
  EncryptionOpts encryption = encTraditional;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() < 2 || a[0] != '-' || !operands.empty()) {
      operands.push_back(a);
      continue;
    }
    if (a == "--span") {
      span = true;
      continue;
    }
    if (a == "--aes" || a.rfind("--aes=", 0) == 0) {
      const std::string bits = a == "--aes" ? "256" : a.substr(6);
      if (bits == "128") encryption = encAES128;
      else if (bits == "192") encryption = encAES192;
      else if (bits == "256") encryption = encAES256;
      else return Usage();
      continue;
    }
    if (a == "--best" || a == "-10") {
      level = kLevelBest;
      continue;
    }
    if (a == "-@") {
      namesFromStdin = true;
      continue;
    }
    if (a == "-s") {
      if (++i >= args.size() || (volumeSize = VolumeSize(args[i])) == 0) return Usage();
      continue;
    }
    if (a == "-P" || a == "-x") {
      if (++i >= args.size()) return Usage();
      (a == "-P" ? password : (exclusions.emplace_back(), exclusions.back())) = args[i];
      continue;
    }
    for (char c : a.substr(1)) {
      switch (c) {
        case 'r': options.Include(AddRecurseDirs); break;
        case 'e': askPassword = true; break;
        case 'm': options.Include(AddMove); break;
        case 'f': options.Include(AddFreshen); break;
        case 'u': options.Include(AddUpdate); break;
        case 'D': options.Exclude(AddSeparateDirs); break;
        case 'j': options.Exclude(AddDirNames); break;
        case 'y': zip.AddStoreSymLinks = true; break;
        case 'q': TakeVerbosityOption("-q"); break;
        case 'v': TakeVerbosityOption("-v"); break;
        default:
          if (c >= '0' && c <= '9') level = c - '0';
          else return Usage();
      }
    }
  }
  if (namesFromStdin) {
    // One name a line, as zip -@ reads them.
    for (std::string line; std::getline(std::cin, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty()) operands.push_back(line);
    }
  }
  if (operands.size() < 2) return Usage();
  // AES is a cipher for a password: one must be given or asked for.
  if (encryption != encTraditional && !askPassword && password.empty()) return Usage();
  // "-": the archive is written to standard output (a new one, never a set).
  if (operands[0] == "-" && (span || volumeSize > 0 || options.Contains(AddFreshen) || options.Contains(AddUpdate)))
    return Usage();
  ArchiveToStdout output(zip, operands[0]);
  if (output.Name().empty()) {
    std::cerr << "zipbuilder: no temporary file for the archive\n";
    return kExitError;
  }
  if (askPassword && password.empty()) {
    password = AskPassword();
    if (password.empty()) return kExitError;
  }
  if (!password.empty()) options.Include(AddEncrypt);

  ReportToStderr(zip);
  zip.HowToDelete = htdFinal;
  ProgressBar bar;
  bar.Attach(zip, "adding");
  if (span || volumeSize > 0) {
    if (span && volumeSize > 0) return Usage();
    // Volumes: numbered files of at most SIZE bytes, or one per removable disk;
    // disks and overwriting are asked for on the terminal.
    options.Include(AddDiskSpan);
    ReportSpanningToStderr(zip, [&bar] { bar.ClearLine(); });
    if (volumeSize > 0) {
      zip.SetMaxVolumeSize(static_cast<int32_t>(volumeSize));
      zip.SetMinFreeVolSize(static_cast<int32_t>(std::min<int64_t>(volumeSize, 65536)));
    }
  }
  zip.SetFileName(output.Name());
  zip.AddOptions = options;
  zip.AddCompLevel = level;
  // The smallest archive tries every member: compressed formats often still
  // shrink, and a member that does not is stored all the same.
  if (level == kLevelBest) zip.AddStoreSuffixes = {};
  zip.Password = password;
  zip.AddEncryption = encryption;
  zip.SetFSpecArgs({operands.begin() + 1, operands.end()});
  zip.SetFSpecArgsExcl(exclusions);
  zip.Add();
  bar.Finish();
  if (zip.SuccessCount() > 0 || zip.ErrCode() == 0) {
    if (!output.Deliver()) return kExitError;
    Say() << "zipbuilder: " << zip.SuccessCount() << (zip.SuccessCount() == 1 ? " member" : " members")
          << " added\n";
    if (options.Contains(AddDiskSpan)) Say() << "zipbuilder: last volume " << EscapedText(zip.ZipFileName()) << '\n';
    return kExitOk;
  }
  return kExitError;
}

RegisterCommand addCommand({"add", kUsage,
                            "add files (-r recurse, -0..-9 level, --best (or -10) smallest, every member tried even where level 9 stores its suffix, -e/-P encrypt, --aes with AES keys of 256 bits (or "
                            "128, 192) instead of the traditional cipher, -x exclude, -m move, "
                            "-f freshen, -u update, -D no directory entries, -j junk paths, -y symbolic links as links (followed without it), -q quiet, -v each member, -@ names "
                            "from standard input, -s numbered volumes of at most SIZE bytes, --span one volume "
                            "per removable disk; ARCHIVE - writes to standard output)",
                            RunAdd});

}  // namespace
