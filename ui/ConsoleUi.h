// The command-line tool's user interface: boxes go to stderr, questions and
// passwords are read from the terminal (answered "No"/cancelled without one).
#pragma once

#include <functional>

#include "ui/UiService.h"

namespace ui {

class ConsoleUi : public UiService {
 public:
  int MessageBox(const std::string& text, const std::string& caption, uint32_t style) override;
  PasswordAnswer PasswordDialog(const std::string& caption, const std::string& prompt,
                                const std::vector<DialogButton>& buttons) override;
  // Runs between the engines' steps: the tool checks here for an interruption.
  void ProcessMessages() override {
    if (OnProcessMessages) OnProcessMessages();
  }
  std::function<void()> OnProcessMessages;
  // Boxes that only inform (an OK button alone) are shown; a caller that prints
  // every message itself turns them off.
  bool ShowNotices = true;
  void OpenFormatDialog(const std::shared_ptr<FormatDialog>& dialog) override;
  // Asks on the terminal whether to start; closes without one, and once a format ran.
  void FormatDialogIdle(FormatDialog& dialog) override;
};

}  // namespace ui
