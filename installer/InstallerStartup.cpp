// Start-up: the checks made when the main window is first shown.
#include <algorithm>
#include <cctype>
#include <exception>

#include "installer/InstallRollback.h"
#include "installer/Installer.h"
#include "installer/InstallerQueries.h"
#include "installer/InstallerText.h"
#include "installer/MakerSettings.h"
#include "installer/PackageSignature.h"
#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "ui/UiService.h"

namespace installer {

const char* const kPackagePassword = kMakerPackagePassword;

namespace {

constexpr size_t kTempPathBufferSize = 250;
const char* const kAppPathsKey = "\\Software\\Microsoft\\Windows\\Currentversion\\App Paths\\";
const char* const kVersionFile = "version.ver";

// Unwinds FormShow after a fatal message; never caught by the start-up guard.
struct StartupEnded {};

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// A directory of this run, removed with what it holds when the run is done.
struct RunDirectory {
  RunDirectory(platform::FileSystem& files, std::string made)
      : files(files), path(std::move(made)) {}
  ~RunDirectory() {
    if (path.empty()) return;
    if (auto entries = files.ListDirectory(path))
      for (const auto& entry : *entries)
        if (!entry.info.isDirectory) files.DeleteFile(path + entry.name);
    files.RemoveDirectory(path);
  }
  platform::FileSystem& files;
  std::string path;  // with its trailing separator; "" when it could not be made
};

platform::Env& ResolveEnv(platform::Env* env) {
  return platform::RequireComplete(env ? *env : platform::DefaultEnv());
}

}  // namespace

Installer::Installer(const InstallerSetup& setup)
    : zipContainer(&ResolveEnv(setup.env), setup.ui),
      env_(ResolveEnv(setup.env)),
      ui_(*setup.ui),
      view_(*setup.view),
      log_(setup.log) {
  descriptorPath_ = platform::ChangeFileExt(setup.programPath, ".DAT");
  archivePath_ = platform::ChangeFileExt(setup.programPath, ".cab");
  signaturePath_ = platform::ChangeFileExt(setup.programPath, ".sig");
  packagePublicKey_ = setup.packagePublicKey;
  // The component as the window's design sets it up.
  zipContainer.ExtrOptions = ExtrOpts{ExtrDirNames, ExtrOverWrite};
  zipContainer.SFXOptions = SFXOpts{SFXCheckSize};
  zipContainer.SFXCaption = "Self-extracting Archive";
  zipContainer.Unattended = true;
  zipContainer.AddStoreSuffixes = TZipBuilder::DefaultStoreSuffixes();
  // The log names each member as the engine begins it, with its size and CRC.
  if (log_)
    zipContainer.OnProgress = [this](TZipBuilder*, ProgressType type, const std::string& name, int64_t size) {
      if (type == ptMemberBegin) LogMember(name, size);
    };
  zipContainer.OnPasswordError = [this](TZipBuilder* sender, bool isZipAction, std::string& newPassword,
                                        const std::string& forFile, uint32_t& repeatCount,
                                        TPasswordButton& action) {
    zipContainerPasswordError(sender, isZipAction, newPassword, forFile, repeatCount, action);
  };
}

void Installer::FatalMessage(const std::string& text, const std::string& caption) {
  Log("start-up ended: " + text);
  ui_.MessageBox(text, caption, ui::kMbIconError);
  startup_ = StartupState::Ended;
  view_.Terminate();
  throw StartupEnded{};
}

void Installer::FormShow() {
  try {
    InstallRegistry_ = std::make_unique<InstallRegistry>(*env_.registry);

    std::string temp = env_.files->GetTempPath();
    TempPath = !temp.empty() && temp.size() < kTempPathBufferSize ? temp : "c:\\";

    if (!IsAdministrator(env_.security)) FatalMessage("Login as Administrator!", "");
    zipContainer.Password = kPackagePassword;

    TextFile descriptor(*env_.files, descriptorPath_);
    if (!descriptor.IsOpen()) {
      Log("no descriptor " + descriptorPath_);
      startup_ = StartupState::NoDescriptor;
      return;
    }
    try {
      CheckPackage(descriptor);
    } catch (const StartupEnded&) {
      throw;
    } catch (...) {
      FatalMessage("File [" + descriptorPath_ + "] not found!", "");
    }
  } catch (const StartupEnded&) {
  }
}

void Installer::ReadInstallDirectory(TextFile& descriptor) {
  AppKey = ReadLine(descriptor);
  if (AppKey.empty() || AppKey[0] != ':') {
    InstallRegistry_->SetRootKey(platform::HKEY_LOCAL_MACHINE);
    InstallRegistry_->CloseKey();
    if (!InstallRegistry_->OpenKey(kAppPathsKey + AppKey)) FatalMessage("Application not installed !", "");
    view_.SetPathCaption(platform::OnSystemDrive(InstallRegistry_->ReadString("Path")));
    Log("registry key HKEY_LOCAL_MACHINE" + std::string(kAppPathsKey) + AppKey + ", value Path: " +
        view_.PathCaption());
    FollowUp = ReadLine(descriptor);
  } else {
    InstallRegistry_->SetRootKey(RootKeyFromText(AppKey));
    AppKey = ReadLine(descriptor);
    InstallRegistry_->CloseKey();
    if (!InstallRegistry_->OpenKey(AppKey)) FatalMessage(AppKey + "\n Registration Key not found!", "");
    std::string key = AppKey;
    AppKey = ReadLine(descriptor);
    view_.SetPathCaption(platform::OnSystemDrive(InstallRegistry_->ReadString(AppKey)));
    Log("registry key " + key + ", value " + AppKey + ": " + view_.PathCaption());
  }
}

void Installer::CheckPackage(TextFile& descriptor) {
  std::string message = ReadLine(descriptor);
  Log("descriptor " + descriptorPath_ + " read: " + message);
  view_.AddMessageLine(message);
  view_.AddMessageLine("");
  ReadInstallDirectory(descriptor);
  RecoverInterruptedRun();

  zipContainer.SetFileName(archivePath_);
  if (!zipContainer.FileExists(archivePath_)) FatalMessage("Package incomplete !", "");
  if (!packagePublicKey_.empty()) CheckSignature();

  // The version file goes into a directory of this run alone, so that nothing
  // left or planted in the temporary directory can take its place or block it.
  RunDirectory runDirectory(*env_.files, env_.files->MakeTempDirectory(TempPath, "zbv"));
  if (runDirectory.path.empty())
    FatalMessage("Cannot create temp files!\n\nInstallation aborted!", kCompanyCaption);
  zipContainer.ExtrBaseDir = runDirectory.path;
  zipContainer.FSpecArgs().clear();
  zipContainer.FSpecArgs().push_back(kVersionFile);
  zipContainer.Extract();
  startup_ = StartupState::Ready;
  if (zipContainer.ErrCode() != 0 || zipContainer.SuccessCount() != 1) {
    // Only a package without a version file skips the checks; one whose version
    // file could not be extracted must not be taken as such.
    if (!HoldsVersionFile()) return;
    std::string reason = zipContainer.Message();
    if (reason.empty()) reason = "Error " + std::to_string(zipContainer.ErrCode());
    FatalMessage("Cannot extract the version file!\n\n" + reason + "\n\nInstallation aborted!",
                 kCompanyCaption);
  }

  std::string versionPath = runDirectory.path + kVersionFile;
  std::string programFile, minimumLine, updateLine;
  {
    TextFile versionFile(*env_.files, versionPath);
    if (!versionFile.IsOpen())
      FatalMessage("Cannot create temp files!\n\nInstallation aborted!", kCompanyCaption);
    programFile = ReadLine(versionFile);
    minimumLine = ReadLine(versionFile);
    updateLine = ReadLine(versionFile);
  }
  env_.files->DeleteFile(versionPath);
  CompareVersions(programFile, minimumLine, updateLine);
}

// A run killed before it finished left its journal: the installed version is put
// back before anything else happens, whatever package lies beside the program now.
void Installer::RecoverInterruptedRun() {
  std::string directory = view_.PathCaption();
  if (directory.empty()) return;
  switch (InstallRollback::Recover(*env_.files, platform::DefaultFileKeeping(), directory, log_)) {
    case InstallRollback::Recovery::Restored:
      ui_.MessageBox("An interrupted installation was found!\n\nThe previous version was restored.",
                     kCompanyCaption, ui::kMbIconInformation);
      break;
    case InstallRollback::Recovery::Failed:
      FatalMessage("An interrupted installation was found!\n\nThe previous version could not be restored "
                   "completely.\n\nInstallation aborted!",
                   kCompanyCaption);
    default:
      break;
  }
}

// A maker who signs the packages: nothing of one without a valid signature is read.
void Installer::CheckSignature() {
  std::string signature;
  {
    TextFile file(*env_.files, signaturePath_);
    if (file.IsOpen()) signature = ReadLine(file);
  }
  const bool valid = !signature.empty() &&
                     SignatureMatches(*env_.files, packagePublicKey_, signature, archivePath_);
  Log(std::string("package signature ") + (valid ? "valid" : signature.empty() ? "missing" : "invalid"));
  if (!valid)
    FatalMessage("The package is not signed by the maker of this program!\n\nInstallation aborted!",
                 kCompanyCaption);
}

bool Installer::HoldsVersionFile() {
  for (const auto& entry : zipContainer.ZipDirEntryRecords())
    if (SameText(entry->FileName, kVersionFile)) return true;
  return false;
}

void Installer::CompareVersions(const std::string& programFile, const std::string& minimumLine,
                                const std::string& updateLine) {
  std::string installed = GetVersionString(*env_.files, view_.PathCaption() + "\\" + programFile, "ProductVersion");
  if (installed.empty()) FatalMessage("No Base installation found!\n\nInstallation aborted!", kCompanyCaption);

  int32_t update = StrToInt(StripVersion(updateLine));
  int32_t minimum = StrToInt(StripVersion(minimumLine));
  // An installed version that reads as no number (V6.0, or 0) identifies no base
  // installation this update could be checked against.
  std::optional<int32_t> scanned = ScanInteger(StripVersion(installed));
  if (!scanned) FatalMessage("No Base installation found!\n\nInstallation aborted!", kCompanyCaption);
  int32_t current = *scanned;
  Log("versions compared: installed " + installed + " (" + std::to_string(current) + "), minimum " + minimumLine +
      " (" + std::to_string(minimum) + "), update " + updateLine + " (" + std::to_string(update) + ")");

  if (current < kOldestUpgradable)
    FatalMessage(kBaseTooOldMessage, kCompanyCaption);
  if (current > update)
    FatalMessage("This update is older then installed version!\n\nInstallation not needed!", kCompanyCaption);
  if (current < minimum) {
    view_.ClearMessage();
    view_.AddMessageLine("Update of installed version not available!");
    view_.SetPathCaption("Base installation must be " + minimumLine + " or Higher!");
    view_.SetOkEnabled(false);
    view_.FocusCancel();
    startup_ = StartupState::OkDisabled;
    Log("installed version below the update's minimum: OK disabled");
  }
}

}  // namespace installer
