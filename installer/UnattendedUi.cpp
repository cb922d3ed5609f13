#include "installer/UnattendedUi.h"

#include "installer/Installer.h"
#include "platform/Env.h"
#include "platform/FileSystem.h"

namespace installer {

namespace {

// The caption of the lines the unattended program writes about itself.
const char* const kProgramCaption = "setup";

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

int RunUnattended(platform::Env* env, ui::UiService& ui, const std::string& programPath,
                  std::function<void(const std::string&)> log, const std::string& packagePublicKey) {
  platform::FileSystem& files = *(env ? *env : platform::DefaultEnv()).files;
  HeadlessView view;
  Installer installer(InstallerSetup{env, &ui, &view, programPath, log, packagePublicKey});
  installer.FormShow();
  switch (installer.Startup()) {
    case StartupState::Ready:
      break;
    case StartupState::OkDisabled:
      // The window would show why with OK disabled; without one, say it.
      ui.MessageBox(view.message + "\n" + view.path, kProgramCaption, ui::kMbIconError);
      return kExitBelowMinimum;
    case StartupState::NoDescriptor: {
      // The window would wait with nothing to install; without one, say why.
      const std::string& path = installer.DescriptorPath();
      bool exists = files.GetAttributes(path).has_value();
      ui.MessageBox("File [" + path + (exists ? "] is not a regular file!" : "] not found!"),
                    kProgramCaption, ui::kMbIconError);
      return kExitStartupError;
    }
    default:
      return kExitStartupError;
  }
  // Installing into a directory that is not there would write into the current one.
  const std::string& directory = view.path;
  std::optional<uint32_t> attributes =
      directory.empty() ? std::nullopt : files.GetAttributes(directory);
  if (!attributes || !(*attributes & platform::kAttrDirectory)) {
    ui.MessageBox(directory.empty()
                      ? std::string("No installation directory: the registry names none!")
                      : "Installation directory [" + directory + "] does not exist!",
                  kProgramCaption, ui::kMbIconError);
    return kExitStartupError;
  }
  installer.BitBtn1Click();
  return installer.ExitStatus();
}

}  // namespace installer
