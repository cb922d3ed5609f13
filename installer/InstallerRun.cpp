// The installation run behind OK, the end behind Cancel, and the component's
// password-error handler.
#include <cstdio>

#include "installer/InstallRollback.h"
#include "installer/Installer.h"
#include "platform/FileSystem.h"
#include "platform/Env.h"
#include "platform/Shell.h"
#include "ui/UiService.h"

namespace installer {

namespace {

const char* const kRestored = "The previous version was restored.";
const char* const kNotRestored =
    "The previous version could not be restored completely!\n\nStart setup again to finish restoring it.";

}  // namespace

void Installer::LogMember(const std::string& name, int64_t size) const {
  char crc[16] = "";
  for (const auto& entry : zipContainer.ZipDirEntryRecords())
    if (entry->FileName == name) std::snprintf(crc, sizeof crc, ", CRC %08X", entry->Crc32);
  Log("member " + name + ": " + std::to_string(size) + " bytes" + crc);
}

std::vector<std::string> Installer::MemberNames() const {
  std::vector<std::string> names;
  for (const auto& entry : zipContainer.ZipDirEntryRecords()) names.push_back(entry->FileName);
  return names;
}

void Installer::BitBtn1Click() {
  // The run happens once: a click handled while it runs (the callback lets the
  // window process its messages) or after it starts nothing. Cancel stays
  // usable: it stops the extraction, and the run is rolled back.
  if (run_ != RunState::NotRun) return;
  run_ = RunState::Running;
  view_.SetOkEnabled(false);
  int savedCursor = ui_.GetCursor();
  ui_.SetCursor(ui::kCursorHourglass);
  std::string installDirectory = view_.PathCaption();
  zipContainer.ExtrBaseDir = installDirectory;
  zipContainer.FSpecArgs().clear();
  zipContainer.FSpecArgs().push_back("*.*");
  Log("installing into " + installDirectory);

  // Without an installation directory there is nothing to keep.
  std::optional<InstallRollback> rollback;
  std::optional<uint32_t> attributes =
      installDirectory.empty() ? std::nullopt : env_.files->GetAttributes(installDirectory);
  bool prepared = true;
  if (attributes && (*attributes & platform::kAttrDirectory)) {
    rollback.emplace(*env_.files, platform::DefaultFileKeeping(), installDirectory, log_);
    prepared = rollback->Prepare(MemberNames());
  }
  if (prepared) zipContainer.Extract();
  view_.SetButtonsEnabled(false);
  view_.Hide();
  ui_.SetCursor(savedCursor);

  std::string caption = view_.Caption();
  if (!prepared) {
    run_ = RunState::Failed;
    Log("outcome: not installed, " + rollback->Error());
    ui_.MessageBox("Cannot keep the installed files for a rollback!\n\n" + rollback->Error() +
                       "\n\nInstallation aborted!",
                   caption, ui::kMbIconError);
  } else if (zipContainer.ErrCode() == 0 && !cancelRequested_) {
    run_ = RunState::Succeeded;
    if (rollback) rollback->Commit();
    Log("outcome: installed");
    ui_.MessageBox("Success !\n\nFiles installed !", caption, ui::kMbIconWarning);
    // The follow-up's result is not looked at: the update is in place either way.
    if (!FollowUp.empty()) env_.shell->Execute("open", installDirectory + "\\" + FollowUp, "", "");
  } else {
    run_ = cancelRequested_ ? RunState::Cancelled : RunState::Failed;
    bool restored = rollback && rollback->RollBack();
    Log(std::string("outcome: ") + (cancelRequested_ ? "cancelled" : "failed") + ", error " +
        std::to_string(zipContainer.ErrCode()) + ", previous version " + (restored ? "restored" : "not restored"));
    if (!cancelRequested_) {
      ui_.MessageBox("Error during installation!\n\nCheck if path is accessible and the " + AppKey +
                         ", is not running !",
                     caption, ui::kMbIconError);
      ui_.MessageBox("Error " + std::to_string(zipContainer.ErrCode()), caption, ui::kMbIconError);
      ui_.MessageBox("Error " + std::to_string(zipContainer.EngineErrCode()), caption, ui::kMbIconError);
      ui_.MessageBox(zipContainer.Message(), caption, ui::kMbIconError);
    }
    if (rollback) ui_.MessageBox(restored ? kRestored : kNotRestored, caption, ui::kMbIconInformation);
  }
  view_.Terminate();
}

void Installer::BitBtn2Click() {
  if (run_ == RunState::Running) {
    cancelRequested_ = true;
    zipContainer.Cancel = true;
    return;
  }
  if (run_ != RunState::NotRun) return;
  run_ = RunState::Cancelled;
  view_.Terminate();
}

int Installer::ExitStatus() const {
  if (run_ == RunState::Succeeded) return kExitInstalled;
  if (run_ == RunState::Failed || run_ == RunState::Running) return kExitNotInstalled;
  // Not run, or cancelled before the run: start-up tells why nothing was installed.
  switch (startup_) {
    case StartupState::OkDisabled:
      return kExitBelowMinimum;
    case StartupState::Ready:
      return kExitNotInstalled;
    default:
      return kExitStartupError;
  }
}

void Installer::zipContainerPasswordError(TZipBuilder*, bool, std::string&, const std::string&, uint32_t&,
                                          TPasswordButton&) {
  ui_.MessageBox("Password Error ", view_.Caption(), ui::kMbIconError);
}

}  // namespace installer
