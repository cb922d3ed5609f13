#include "installer/UnattendedUi.h"

#include "installer/Installer.h"

namespace installer {

namespace {

std::string EscapeLineFeeds(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') {
      out += "\\n";
    } else if (c != '\r') {
      out += c;
    }
  }
  return out;
}

}  // namespace

int UnattendedUi::MessageBox(const std::string& text, const std::string& caption, uint32_t style) {
  out_ << EscapeLineFeeds(caption) << ": " << EscapeLineFeeds(text) << std::endl;
  switch (style & 0xF) {
    case ui::kMbYesNo:
    case ui::kMbYesNoCancel:
      return (style & ui::kMbDefButton2) ? ui::kIdNo : ui::kIdYes;
    case ui::kMbRetryCancel:
      return ui::kIdCancel;
    case ui::kMbAbortRetryIgnore:
      return ui::kIdAbort;
    default:
      return ui::kIdOk;
  }
}

ui::PasswordAnswer UnattendedUi::PasswordDialog(const std::string&, const std::string&,
                                                const std::vector<ui::DialogButton>&) {
  return ui::PasswordAnswer{ui::kIdCancel, ""};
}

int RunUnattended(platform::Env* env, ui::UiService& ui, const std::string& programPath) {
  HeadlessView view;
  Installer installer(InstallerSetup{env, &ui, &view, programPath});
  installer.FormShow();
  switch (installer.Startup()) {
    case StartupState::Ready:
      break;
    case StartupState::OkDisabled:
      return 2;
    default:
      // Without a descriptor there is no installation directory: installing would
      // write into the current directory.
      return 1;
  }
  installer.BitBtn1Click();
  return installer.Run() == RunState::Succeeded ? 0 : 4;
}

}  // namespace installer
