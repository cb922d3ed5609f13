// The user interface service on the Win32 windowing calls: message boxes, the
// password dialog and the drive format dialog, the hourglass over the
// program's windows. Runs on the thread that owns the windows.
#pragma once

#include "ui/UiService.h"

namespace ui {

class Win32Ui : public UiService {
 public:
  int MessageBox(const std::string& text, const std::string& caption, uint32_t style) override;
  PasswordAnswer PasswordDialog(const std::string& caption, const std::string& prompt,
                                const std::vector<DialogButton>& buttons) override;
  void ProcessMessages() override;
  void OpenFormatDialog(const std::shared_ptr<FormatDialog>& dialog) override;
  void FormatDialogIdle(FormatDialog&) override {}
  // The hourglass (-11) over every window of the program; any other value takes it away.
  void SetCursor(int cursor) override;
};

// True while the hourglass is set: windows answer WM_SETCURSOR with it.
bool HourglassShown();

}  // namespace ui
