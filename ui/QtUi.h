// The user interface service on Qt 6 widgets. Needs a QApplication.
#pragma once

#include "ui/UiService.h"

namespace ui {

class QtUi : public UiService {
 public:
  int MessageBox(const std::string& text, const std::string& caption, uint32_t style) override;
  PasswordAnswer PasswordDialog(const std::string& caption, const std::string& prompt,
                                const std::vector<DialogButton>& buttons) override;
  void ProcessMessages() override;
  // Shows the Qt format dialog, modal to the application; the user works it.
  void OpenFormatDialog(const std::shared_ptr<FormatDialog>& dialog) override;
  void FormatDialogIdle(FormatDialog&) override {}
  // The hourglass (-11) is the wait cursor over the whole application; any other
  // value takes it away again.
  void SetCursor(int cursor) override;
};

}  // namespace ui
