// The installer's main-window logic: the start-up checks run when the window is first
// shown (InstallerStartup.cpp), the installation run behind OK and the end behind
// Cancel (InstallerRun.cpp). The window itself is behind InstallerView.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "installer/InstallRegistry.h"
#include "installer/InstallerView.h"
#include "installer/RunDirectory.h"
#include "zipbuilder/ZipBuilder.h"

namespace platform {
struct Env;
}
namespace ui {
class UiService;
}

namespace installer {

class TextFile;

// The password of every update package.
extern const char* const kPackagePassword;

// Where start-up left the window.
enum class StartupState {
  NotRun,
  Ended,          // a fatal message was shown; the application ends
  NoDescriptor,   // no descriptor: no check made, OK enabled
  Ready,          // OK enabled (checks passed, or the version file was not extracted)
  OkDisabled,     // installed version below the update's minimum: only Cancel left
};

// What the installation run came to.
enum class RunState { NotRun, Running, Succeeded, Failed, Cancelled };

// The program's exit status, the same with and without a window, so that a
// script that starts it and waits can tell what happened.
constexpr int kExitInstalled = 0;
constexpr int kExitStartupError = 1;  // fatal start-up message, or nothing to install
constexpr int kExitBelowMinimum = 2;  // installed version below the update's minimum
constexpr int kExitNotInstalled = 4;  // the run failed, or was cancelled

struct InstallerSetup {
  platform::Env* env = nullptr;  // files, registry, shell, security; DefaultEnv() when null
  ui::UiService* ui = nullptr;   // required
  InstallerView* view = nullptr;  // required
  std::string programPath;       // the executable's path; the companion files lie beside it
  std::function<void(const std::string&)> log = {};  // told each step of the run; may be empty
  // The maker's public key (hex): when set, the package must carry its signature
  // in the file beside it named like the program, with the extension .sig.
  std::string packagePublicKey = {};
};

class Installer {
 public:
  explicit Installer(const InstallerSetup& setup);

  // Handlers named as in the window's design.
  void FormShow();
  void BitBtn1Click();
  void BitBtn2Click();
  void zipContainerPasswordError(TZipBuilder* Sender, bool IsZipAction, std::string& NewPassword,
                                 const std::string& ForFile, uint32_t& RepeatCount, TPasswordButton& Action);

  StartupState Startup() const { return startup_; }
  RunState Run() const { return run_; }
  // The exit status for where start-up and the run left the installer.
  int ExitStatus() const;
  const std::string& DescriptorPath() const { return descriptorPath_; }
  const std::string& ArchivePath() const { return archivePath_; }

  TZipBuilder zipContainer;
  // Unit-level state of the installer.
  std::string AppKey;
  std::string FollowUp;
  std::string TempPath;
  std::unique_ptr<InstallRegistry> InstallRegistry_;

 private:
  [[noreturn]] void FatalMessage(const std::string& text, const std::string& caption);
  void CheckPackage(TextFile& descriptor);  // the steps under the start-up guard
  void ReadInstallDirectory(TextFile& descriptor);
  bool HoldsVersionFile();  // the listed package has a member "version.ver"
  void RecoverInterruptedRun();
  void CheckSignature();
  std::vector<std::string> MemberNames() const;
  void LogMember(const std::string& name, int64_t size) const;
  void Log(const std::string& line) const {
    if (log_) log_(line);
  }
  void CompareVersions(const std::string& programFile, const std::string& minimumLine,
                       const std::string& updateLine);

  platform::Env& env_;
  ui::UiService& ui_;
  InstallerView& view_;
  std::string descriptorPath_;
  std::string archivePath_;
  std::string signaturePath_;
  std::string packagePublicKey_;
  std::unique_ptr<RunDirectory> packageCopy_;  // the checked copy of a signed package
  StartupState startup_ = StartupState::NotRun;
  RunState run_ = RunState::NotRun;
  bool cancelRequested_ = false;  // Cancel pressed while the run was extracting
  std::function<void(const std::string&)> log_;
};

}  // namespace installer
