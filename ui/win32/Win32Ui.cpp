#include "ui/win32/Win32Ui.h"

#include "platform/win32/WideText.h"
#include "platform/win32/WindowsApi.h"
#include "ui/win32/Win32FormatDlg.h"
#include "ui/win32/Win32PasswordDlg.h"
#include "ui/win32/Win32Window.h"

namespace ui {

namespace {
bool hourglass = false;
}  // namespace

bool HourglassShown() { return hourglass; }

int Win32Ui::MessageBox(const std::string& text, const std::string& caption, uint32_t style) {
  // No owner window: the box stands alone, modal to this thread's windows.
  return MessageBoxW(nullptr, platform::win32::Widen(text).c_str(), platform::win32::Widen(caption).c_str(),
                     style | MB_TASKMODAL);
}

PasswordAnswer Win32Ui::PasswordDialog(const std::string& caption, const std::string& prompt,
                                       const std::vector<DialogButton>& buttons) {
  return win32::ShowPasswordDialog(caption, prompt, buttons);
}

void Win32Ui::ProcessMessages() { win32::PumpMessages(); }

void Win32Ui::OpenFormatDialog(const std::shared_ptr<FormatDialog>& dialog) { win32::OpenFormatWindow(dialog); }

void Win32Ui::SetCursor(int cursor) {
  UiService::SetCursor(cursor);
  hourglass = cursor == kCursorHourglass;
  ::SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(hourglass ? IDC_WAIT : IDC_ARROW)));
}

}  // namespace ui
