#include "ui/win32/Win32PasswordDlg.h"

#include <optional>

#include "ui/win32/Win32Window.h"

namespace ui::win32 {
namespace {

constexpr int kButtonPitch = 124;
constexpr int kMaxPasswordLength = 80;
constexpr int kEntryId = 100;
constexpr int kFirstButtonId = 200;  // buttons by their place; Escape and the close box send IDCANCEL

}  // namespace

PasswordAnswer ShowPasswordDialog(const std::string& caption, const std::string& prompt,
                                  const std::vector<DialogButton>& buttons) {
  const int n = static_cast<int>(buttons.size());
  Win32Window window(caption, n * kButtonPitch + 35, 137);
  HFONT font = DesignFont(L"Arial", -12, true);
  window.Add(L"STATIC", prompt, SS_LEFT | SS_NOPREFIX, 20, 8, 297, 18, -1, font);
  HWND entry = window.Add(L"EDIT", "", ES_PASSWORD | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 20, 40,
                          n * kButtonPitch - 10, 22, kEntryId, font);
  SendMessageW(entry, EM_SETLIMITTEXT, kMaxPasswordLength, 0);
  SendMessageW(entry, EM_SETPASSWORDCHAR, L'*', 0);
  for (int j = 0; j < n; ++j) {
    const DialogButton& spec = buttons[static_cast<size_t>(j)];
    window.Add(L"BUTTON", spec.caption, (spec.isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | WS_TABSTOP,
               j * kButtonPitch + 20, 72, 114, 28, kFirstButtonId + j, font);
  }

  std::optional<PasswordAnswer> answer;
  window.onMessage = [&](UINT message, WPARAM wParam, LPARAM, LRESULT&) {
    if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return false;
    int id = LOWORD(wParam);
    if (id == IDCANCEL) {
      answer = PasswordAnswer{kIdCancel, ""};
    } else if (id == IDOK) {  // Enter: the default button
      for (const DialogButton& spec : buttons)
        if (spec.isDefault) answer = PasswordAnswer{spec.modalResult, ""};
    } else if (id >= kFirstButtonId && id < kFirstButtonId + n) {
      answer = PasswordAnswer{buttons[static_cast<size_t>(id - kFirstButtonId)].modalResult, ""};
    } else {
      return false;
    }
    if (answer && answer->modalResult == kIdOk) answer->text = WindowText(entry);
    return true;
  };
  window.CenterOnScreen();
  ShowWindow(window.Handle(), SW_SHOW);
  SetFocus(entry);
  window.RunModal([&] { return answer.has_value(); });
  return answer.value_or(PasswordAnswer{kIdCancel, ""});
}

}  // namespace ui::win32
