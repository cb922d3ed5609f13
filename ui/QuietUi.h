// The component's user interface when its program installs none: nothing is
// shown or asked. Boxes get the answer of a user who is not there (OK for a
// notice, else "No", "Cancel" or "Abort", whichever the box offers), password
// dialogs are cancelled. Programs that want boxes on the console install ConsoleUi.
#pragma once

#include "ui/UiService.h"

namespace ui {

class QuietUi : public UiService {
 public:
  int MessageBox(const std::string& text, const std::string& caption, uint32_t style) override;
  PasswordAnswer PasswordDialog(const std::string& caption, const std::string& prompt,
                                const std::vector<DialogButton>& buttons) override;
  void ProcessMessages() override {}
  int GetCursor() override { return cursor_; }
  void SetCursor(int cursor) override { cursor_ = cursor; }

 private:
  int cursor_ = kCursorDefault;
};

}  // namespace ui
