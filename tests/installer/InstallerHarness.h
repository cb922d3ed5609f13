// An installer under test: a Wine prefix with its registry file, an installed
// application, the package beside a program path, and the installer wired to a
// scripted UI, a recording launcher and a window without a screen.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/CraftedZip.h"
#include "tests/support/PeFixture.h"
#include "tests/support/PeerTools.h"
#include "tests/support/RecordingShell.h"
#include "tests/support/TempDir.h"
#include "installer/Installer.h"
#include "platform/Env.h"
#include "platform/Security.h"
#include "ui/ScriptedUi.h"

namespace testsupport {

class FixedSecurity : public platform::Security {
 public:
  bool administrator = true;
  bool IsAdministrator() override { return administrator; }
};

// Escapes a text for a value or key of a Wine registry file.
inline std::string RegEscape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

class InstallerHarness {
  // Declared first: everything below lives inside the temporary directory.
  TempDir root_;
  std::string prefix_;
  std::string temp_;
  ScopedEnv prefixEnv_;
  ScopedEnv tmpEnv_;

 public:
  static constexpr const char* kInstallDir = "C:\\Program Files\\Demo";

  InstallerHarness()
      : prefix_(root_ / "prefix"),
        temp_(root_ / "tmp"),
        prefixEnv_("WINEPREFIX", root_ / "prefix"),
        tmpEnv_("TMPDIR", root_ / "tmp") {
    std::filesystem::create_directories(InstallDirNative());
    std::filesystem::create_directories(temp_);
    std::filesystem::create_directories(root_ / "dist");
    env = platform::DefaultEnv();
    env.shell = &shell;
    env.security = &security;
    WriteRegistry();
  }

  const std::string& Root() const { return root_.path(); }
  std::string TempDirectory() const { return temp_ + "/"; }
  std::string ProgramPath() const { return root_ / "dist/setup.exe"; }
  std::string DescriptorPath() const { return root_ / "dist/setup.DAT"; }
  std::string ArchivePath() const { return root_ / "dist/setup.cab"; }
  std::string InstallDirNative() const { return prefix_ + "/dosdevices/c:/Program Files/Demo"; }

  // A key of HKEY_LOCAL_MACHINE with one value; `isString` false writes a dword.
  void AddMachineValue(const std::string& key, const std::string& name, const std::string& value,
                       bool isString = true) {
    machine_[key][name] = isString ? "\"" + RegEscape(value) + "\"" : "dword:" + value;
    WriteRegistry();
  }
  void AddAppPath(const std::string& appKey, const std::string& path = kInstallDir) {
    AddMachineValue("Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + appKey, "Path", path);
  }

  void WriteDescriptor(const std::string& text) { WriteTextFile(DescriptorPath(), text); }

  // The installed main program, relative to the installation directory.
  void InstallProgram(const std::string& relative, const std::string& productVersion) {
    fixtures::PeVersionSpec spec;
    spec.strings = {{"CompanyName", "Bravik-Solen"}, {"ProductVersion", productVersion}};
    std::filesystem::create_directories(std::filesystem::path(InstallDirNative() + "/" + relative).parent_path());
    fixtures::WritePeWithVersion(InstallDirNative() + "/" + relative, spec);
  }

  // The usual installation: "demo.exe" registered in App Paths, the descriptor,
  // and bin/demo.exe at `productVersion`.
  void InstallDemo(const std::string& descriptor, const std::string& productVersion) {
    AddAppPath("demo.exe");
    WriteDescriptor(descriptor);
    InstallProgram("bin/demo.exe", productVersion);
  }

  // The package: `files` (name -> content) zipped with the package password.
  bool MakePackage(const std::map<std::string, std::string>& files,
                   const std::string& password = installer::kPackagePassword) {
    std::string staging = root_ / "staging";
    std::filesystem::remove_all(staging);
    std::string names;
    for (const auto& [name, content] : files) {
      std::filesystem::path p = std::filesystem::path(staging) / name;
      std::filesystem::create_directories(p.parent_path());
      WriteTextFile(p.string(), content);
      names += " " + ShellQuote(name);
    }
    std::filesystem::remove(ArchivePath());
    return RunIn(staging, "zip -q -P " + ShellQuote(password) + " " + ShellQuote(ArchivePath()) + names).status == 0;
  }

  // A package written member by member, for members `zip` does not write
  // (names twice, control characters, special files); under the package password.
  void CraftPackage(std::vector<CraftedMember> members) {
    for (CraftedMember& m : members) m.password = installer::kPackagePassword;
    WriteTextFile(ArchivePath(), CraftZip(members));
  }

  // The real program beside the package, with the engine it extracts with; its path.
  std::string CopyProgram() const {
    for (const char* name : {"setup", "libunzdll.so"})
      std::filesystem::copy_file(std::string(ZB_BINARY_DIR) + "/" + name, root_ / ("dist/" + std::string(name)),
                                 std::filesystem::copy_options::overwrite_existing);
    return root_ / "dist/setup";
  }

  // Constructs the installer and runs its start-up.
  installer::Installer& Start() {
    installer_ = std::make_unique<installer::Installer>(
        installer::InstallerSetup{&env, &ui, &view, ProgramPath()});
    installer_->FormShow();
    return *installer_;
  }
  installer::Installer& Installer() { return *installer_; }

  platform::Env env;
  RecordingShell shell;
  FixedSecurity security;
  ui::ScriptedUi ui;
  installer::HeadlessView view;

 private:
  void WriteRegistry() {
    std::string text = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n";
    for (const auto& [key, values] : machine_) {
      text += "[" + RegEscape(key) + "] 1700000000\n";
      for (const auto& [name, value] : values) text += "\"" + RegEscape(name) + "\"=" + value + "\n";
      text += "\n";
    }
    WriteTextFile(prefix_ + "/system.reg", text);
  }

  std::map<std::string, std::map<std::string, std::string>> machine_;
  std::unique_ptr<installer::Installer> installer_;
};

}  // namespace testsupport
