#include "tools/ExtractSession.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>

#include "tools/CommandSupport.h"
#include "tools/PipedArchive.h"
#include "tools/ProgressBar.h"
#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Terminal.h"
#include "ui/ConsoleUi.h"
#include "zipformat/Wildcard.h"

namespace {

// Creates `path` and its missing parents; true when it is a directory then.
bool CreateDirectories(platform::FileSystem& files, std::string path) {
  while (path.size() > 1 && platform::IsPathSeparator(path.back())) path.pop_back();
  if (path.empty() || DirExists(path, files)) return !path.empty();
  const std::string parent = platform::ExtractFilePath(path);
  if (!parent.empty() && parent.size() < path.size()) CreateDirectories(files, parent);
  return files.CreateDirectory(path) || DirExists(path, files);
}

// The worst outcome seen so far decides the exit status.
class Outcome {
 public:
  void Warning() { warning_ = true; }
  void Error() { error_ = true; }
  void NothingMatched() { nothingMatched_ = true; }
  int Status(int processed) const {
    if (error_) return kExitError;
    if (nothingMatched_ && processed == 0) return kExitNothingMatched;
    return warning_ ? kExitWarning : kExitOk;
  }

  // Engine codes arriving with messages and skip reports.
  void EngineCode(int code) {
    switch (code & 0xFF) {
      case kEngineOk: break;
      case kEngineWarning:
      case kEngineUnsafeName: Warning(); break;
      case kEngineNothingToDo: NothingMatched(); break;
      default: Error(); break;
    }
  }

  void Skipped(UnZipSkipTypes why) {
    switch (why) {
      case stOnFreshen:
      case stNoOverwrite:
      case stFileExists: break;  // skipped as the options asked
      // A member left out for a method or cipher we lack is data lost: an error.
      case stUnknownZipHost:
      case stUnsafeName: Warning(); break;
      default: Error(); break;
    }
  }

 private:
  bool warning_ = false;
  bool error_ = false;
  bool nothingMatched_ = false;
};

// -p: each matching member in turn, in archive order, written to standard output.
int PipeMembers(TZipBuilder& zip, const ExtractRequest& request, Outcome& outcome) {
  int piped = 0;
  for (const auto& entry : zip.ZipDirEntryRecords()) {
    const std::string& name = entry->FileName;
    if (name.empty() || name.back() == '\\' || name.back() == '/') continue;  // a directory
    const bool wanted = request.specs.empty() ||
                        std::any_of(request.specs.begin(), request.specs.end(),
                                    [&](const std::string& spec) { return zip::FileSpecMatch(spec, name); });
    if (!wanted) continue;
    TZipStream* data = zip.ExtractFileToStream(name);
    if (!data) {
      outcome.Error();
      continue;
    }
    const auto size = static_cast<size_t>(data->Size());
    if (std::fwrite(data->Memory(), 1, size, stdout) != size) {
      std::cerr << "zipbuilder: cannot write to standard output\n";
      outcome.Error();
      break;
    }
    ++piped;
  }
  std::fflush(stdout);
  if (piped == 0 && !request.specs.empty()) outcome.NothingMatched();
  return outcome.Status(piped);
}

// A member the user chose to extract under another name (the answer "r").
struct RenamedMember {
  std::string member;  // as the component names it
  std::string target;  // the new name, below the extraction directory
};

// Extracts `renamed.member` alone, into a private directory made beside its new
// name, and moves it there: the other members and the file it would have
// replaced stay as they are. A target that exists is not replaced.
void ExtractUnderNewName(TZipBuilder& zip, const RenamedMember& renamed, Outcome& outcome) {
  namespace fs = std::filesystem;
  platform::FileSystem& files = *platform::DefaultEnv().files;
  std::error_code error;
  const fs::path target = fs::path(zip.ExtrBaseDir) / renamed.target;
  CreateDirectories(files, target.parent_path().string());
  const std::string privateDir = files.MakeTempDirectory(target.parent_path().string(), ".zipbuilder-");
  if (fs::exists(target, error) || privateDir.empty()) {
    std::cerr << "zipbuilder: " << EscapedText(target.string()) << ": exists or cannot be made; "
              << EscapedText(renamed.member) << " not extracted\n";
    outcome.Warning();
    return;
  }
  const std::string base = zip.ExtrBaseDir;
  const ExtrOpts options = zip.ExtrOptions;
  zip.ExtrBaseDir = privateDir;
  zip.ExtrOptions = ExtrOpts{};  // no directory names: the file lands in the private directory
  zip.SetFSpecArgs({renamed.member});
  zip.Extract();
  const fs::path extracted = fs::path(privateDir) / platform::ExtractFileName(renamed.member);
  if (!fs::is_regular_file(extracted, error)) {
    outcome.Error();
  } else if (!files.MoveFile(extracted.string(), target.string(), false)) {  // never over a file made meanwhile
    std::cerr << "zipbuilder: cannot create " << EscapedText(target.string()) << '\n';
    outcome.Error();
  }
  fs::remove_all(privateDir, error);
  zip.ExtrBaseDir = base;
  zip.ExtrOptions = options;
}

}  // namespace

int RunExtractRequest(const ExtractRequest& request) {
  ui::ConsoleUi console;
  TZipBuilder zip(nullptr, &console);
  Outcome outcome;
  std::vector<RenamedMember> renamed;
  ProgressBar bar;
  bar.Attach(zip, request.testOnly ? "testing" : "extracting");
  CancelOnInterrupt(zip);

  // Reports and engine messages go to stderr through OnMessage, once: boxes
  // only ask (passwords, overwriting).
  zip.Unattended = false;
  console.ShowNotices = false;
  const std::string joining = zip.LoadZipStr(kMsgCopying, "Copying: ");
  zip.OnMessage = [&](TZipBuilder*, int code, const std::string& text) {
    if (code == 0 && text.rfind(joining, 0) == 0) return;  // a spanned set being joined
    bar.ClearLine();
    if (code != 0 || !text.empty()) std::cerr << "zipbuilder: " << EscapedText(text, true) << '\n';
    outcome.EngineCode(code);
  };
  zip.OnExtractSkipped = [&](TZipBuilder*, const std::string&, UnZipSkipTypes why, int code) {
    outcome.Skipped(why);
    if (code != 0) outcome.EngineCode(code);
  };
  if (request.havePassword) {
    zip.Password = request.password;
    // A wrong -P password is not asked again: the member fails.
    zip.OnPasswordError = [](TZipBuilder*, bool, std::string&, const std::string&, uint32_t&, TPasswordButton&) {};
  }
  switch (request.overwrite) {
    case OverwriteChoice::Always: break;
    case OverwriteChoice::Never:
      zip.OnExtractOverwrite = [](TZipBuilder*, const std::string&, bool, bool& doOverwrite, int) { doOverwrite = false; };
      break;
    case OverwriteChoice::Ask:
      zip.OnExtractOverwrite = [&, forAll = std::optional<bool>()](TZipBuilder*, const std::string& name, bool,
                                                                    bool& doOverwrite, int) mutable {
        bar.ClearLine();
        if (forAll) {
          doOverwrite = *forAll;
          return;
        }
        if (!platform::StdinIsTerminal()) {
          // Nobody to ask: the file stays, and the run says so in its status.
          std::cerr << "zipbuilder: " << EscapedText(name) << " exists: kept (-o replaces, -n keeps)\n";
          outcome.Warning();
          doOverwrite = false;
          return;
        }
        // y or n for this file, A or N for every file still to come, r for
        // this file under a new name.
        std::cerr << "replace " << ShownName(name) << "? [y]es, [n]o, [A]ll, [N]one, [r]ename: " << std::flush;
        std::string line;
        if (!std::getline(std::cin, line)) line.assign(1, 'N');
        const char answer = line.empty() ? 'n' : line[0];
        if (answer == 'r') {
          std::cerr << "new name: " << std::flush;
          std::string target;
          if (std::getline(std::cin, target) && !target.empty()) renamed.push_back({name, target});
        }
        if (answer == 'A' || answer == 'N') forAll = answer == 'A';
        doOverwrite = answer == 'y' || answer == 'Y' || answer == 'A';
      };
      break;
  }

  ArchiveFromStdin input(request.archive);  // "-": read from standard input
  if (input.Failed()) return kExitError;
  if (auto opening = OpenArchive(zip, input.Name()); opening != ArchiveOpening::Listed)
    return OpeningFailure(opening);
  // Nothing in it at all: say so, as a warning, rather than "nothing matched".
  if (zip.Count() == 0 && zip.SkippedDirCount() == 0 && request.specs.empty()) {
    std::cerr << "zipbuilder: warning: " << EscapedText(request.archive) << " is empty\n";
    return kExitWarning;
  }

  if (request.toStdout) return PipeMembers(zip, request, outcome);

  if (!request.testOnly && !request.baseDir.empty()) {
    if (!CreateDirectories(*platform::DefaultEnv().files, request.baseDir)) {
      std::cerr << "zipbuilder: cannot create directory " << EscapedText(request.baseDir) << '\n';
      return kExitError;
    }
    zip.ExtrBaseDir = request.baseDir;
  } else {
    zip.ExtrBaseDir = std::string(1, '.');
  }

  ExtrOpts options;
  if (!request.junkPaths) options.Include(ExtrDirNames);
  if (request.overwrite == OverwriteChoice::Always) options.Include(ExtrOverWrite);
  if (request.freshen) options.Include(ExtrFreshen);
  if (request.update) options.Include(ExtrUpdate);
  if (request.testOnly) options.Include(ExtrTest);
  zip.ExtrOptions = options;
  zip.SetFSpecArgs(request.specs.empty() ? std::vector<std::string>{"*"} : request.specs);

  zip.Extract();
  for (const auto& member : renamed) ExtractUnderNewName(zip, member, outcome);
  bar.Finish();
  // The component's own reports (engine missing, aborted call ...) are failures.
  if (zip.ErrCode() >= 10000 && zip.ErrCode() != kMsgUnattendedExtractWarning) outcome.Error();
  int status = outcome.Status(zip.SuccessCount());
  if (request.testOnly) {
    if (status == kExitOk)
      std::cout << "No errors detected in compressed data of " << EscapedText(request.archive) << ".\n";
    else
      std::cout << "Errors detected in " << EscapedText(request.archive) << " (" << zip.SuccessCount() << " members tested)\n";
  } else if (status == kExitNothingMatched) {
    std::cerr << "zipbuilder: no member of " << EscapedText(request.archive) << " matched\n";
  }
  return status;
}
