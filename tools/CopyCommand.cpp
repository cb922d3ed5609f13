// zipbuilder copy: members in their stored form from one archive into another.
#include <filesystem>
#include <fstream>
#include <iostream>

#include "tools/Command.h"
#include "tools/CommandSupport.h"
#include "zipbuilder/ZipBuilder.h"
#include "zipformat/Records.h"
#include "zipformat/Signatures.h"

namespace {

const char* const kUsage = "copy [-m] [-o|-n] SOURCE DEST MEMBER...";
const char* const kDetails =
    "  DEST    made as a new archive when it does not exist\n"
    "  MEMBER  a member name as 'zipbuilder list' shows it (letter case ignored; / or \\)\n"
    "  -m      delete the copied members from SOURCE once DEST holds them\n"
    "  -o      replace members of the same name in DEST\n"
    "  -n      keep members of the same name in DEST (without -o or -n: ask)\n";
int Usage(std::ostream& out, int status) { return PrintUsage(out, kUsage, kDetails, status); }

// A destination that does not exist yet starts as an empty archive: its end
// record alone, with the mode the umask gives.
bool StartEmptyArchive(const std::string& name) {
  zip::ZipEndOfCentral end{};
  end.HeaderSig = zip::kEndOfCentralSignature;
  uint8_t bytes[zip::kEndRecordSize];
  zip::Encode(end, bytes);
  std::ofstream out(name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes), sizeof bytes);
  out.close();
  if (out) return true;
  std::error_code ignored;
  std::filesystem::remove(name, ignored);
  std::cerr << "zipbuilder: cannot create " << EscapedText(name) << '\n';
  return false;
}

int RunCopy(const std::vector<std::string>& args) {
  bool move = false;
  OvrOpts overwrite = OvrConfirm;
  size_t i = 0;
  for (; i < args.size() && args[i].size() > 1 && args[i][0] == '-'; ++i) {
    const std::string& option = args[i];
    if (option == "--") {
      ++i;
      break;
    }
    if (option == "--help" || option == "-h") return Usage(std::cout, kExitOk);
    if (TakeVerbosityOption(option)) continue;
    if (option == "-m")
      move = true;
    else if (option == "-o" && overwrite != OvrNever)
      overwrite = OvrAlways;
    else if (option == "-n" && overwrite != OvrAlways)
      overwrite = OvrNever;
    else
      return Usage(std::cerr, kExitUsage);
  }
  if (args.size() < i + 3) return Usage(std::cerr, kExitUsage);

  // The command line shows and asks on the terminal; each archive's console
  // cancels its own component on an interruption.
  ui::ConsoleUi sourceConsole, destinationConsole;
  TZipBuilder source(nullptr, &sourceConsole), destination(nullptr, &destinationConsole);
  ReportToStderr(source);
  ReportToStderr(destination);
  source.HowToDelete = destination.HowToDelete = htdFinal;
  if (!ArchiveIsThere(source, args[i])) return kExitNoArchive;
  const std::string& target = args[i + 1];
  const bool created = !destination.FileExists(target);
  if (created && !StartEmptyArchive(target)) return kExitError;
  // What this run made goes again when nothing reaches it.
  auto dropCreated = [&](int status) {
    std::error_code ignored;
    if (created) std::filesystem::remove(target, ignored);
    return status;
  };
  if (!NameArchive(source, args[i]) || !NameArchive(destination, target)) return dropCreated(kExitNoArchive);
  // Listed names separate with backslashes; a slash typed in a name can only mean one.
  std::vector<std::string> members;
  for (size_t k = i + 2; k < args.size(); ++k)
    members.push_back(TZipBuilder::ReplaceForwardSlash(args[k]));
  source.SetFSpecArgs(members);
  const size_t requested = source.FSpecArgs().size();
  // Reports arrive through OnMessage (set by ReportToStderr) as they happen.
  const int result = source.CopyZippedFiles(&destination, move, overwrite);
  if (result != 0) return dropCreated(kExitError);
  // A failed deletion has been reported; the source still holds the members.
  if (move && source.ErrCode() != 0) return kExitError;
  const auto& kept = source.FSpecArgs();
  if (kept.size() == requested) dropCreated(0);
  for (const auto& name : kept) std::cout << "kept: " << EscapedText(name) << '\n';
  Say() << "zipbuilder: " << requested - kept.size() << " of " << requested
            << (requested == 1 ? " member" : " members") << " copied"
            << (move ? " and deleted from the source\n" : "\n");
  // Members kept because nobody could be asked are a warning, as in extract.
  const bool unasked = overwrite == OvrConfirm && !platform::StdinIsTerminal();
  return !kept.empty() && unasked ? kExitWarning : kExitOk;
}

RegisterCommand copyCommand({"copy", kUsage,
                             "copy members, still compressed, from one archive into another",
                             RunCopy, kDetails});

}  // namespace
