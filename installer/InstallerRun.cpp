// The installation run behind OK, the end behind Cancel, and the component's
// password-error handler.
#include "installer/Installer.h"
#include "platform/Env.h"
#include "platform/Shell.h"
#include "ui/UiService.h"

namespace installer {

void Installer::BitBtn1Click() {
  // The run happens once: a click handled while it runs (the callback lets the
  // window process its messages) or after it starts nothing.
  if (run_ != RunState::NotRun) return;
  run_ = RunState::Running;
  view_.SetButtonsEnabled(false);
  int savedCursor = ui_.GetCursor();
  ui_.SetCursor(ui::kCursorHourglass);
  std::string installDirectory = view_.PathCaption();
  zipContainer.ExtrBaseDir = installDirectory;
  zipContainer.FSpecArgs().clear();
  zipContainer.FSpecArgs().push_back("*.*");
  zipContainer.Extract();
  view_.Hide();
  ui_.SetCursor(savedCursor);

  std::string caption = view_.Caption();
  if (zipContainer.ErrCode() == 0) {
    run_ = RunState::Succeeded;
    ui_.MessageBox("Success !\n\nFiles installed !", caption, ui::kMbIconWarning);
    // The follow-up's result is not looked at: the update is in place either way.
    if (!FollowUp.empty()) env_.shell->Execute("open", installDirectory + "\\" + FollowUp, "", "");
  } else {
    run_ = RunState::Failed;
    ui_.MessageBox("Error during installation!\n\nCheck if path is accessible and the " + AppKey +
                       ", is not running !",
                   caption, ui::kMbIconError);
    ui_.MessageBox("Error " + std::to_string(zipContainer.ErrCode()), caption, ui::kMbIconError);
    ui_.MessageBox("Error " + std::to_string(zipContainer.EngineErrCode()), caption, ui::kMbIconError);
    ui_.MessageBox(zipContainer.Message(), caption, ui::kMbIconError);
  }
  view_.Terminate();
}

void Installer::BitBtn2Click() {
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
