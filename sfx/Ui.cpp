#include "sfx/Ui.h"

#include <commctrl.h>

#include "sfx/Text.h"
#include "sfx/ZipSFXIds.h"

namespace sfx {

void Ui::Error(const std::wstring& text) const {
  if (!silent) {
    MessageBoxW(progress, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
    return;
  }
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  if (err == nullptr || err == INVALID_HANDLE_VALUE) return;
  std::string line = Narrow(text) + "\n";
  DWORD written = 0;
  WriteFile(err, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

int Ui::Ask(const std::wstring& text, UINT buttons) const {
  return MessageBoxW(progress, text.c_str(), caption.c_str(), buttons | MB_ICONQUESTION);
}

void Ui::Pump() const {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (!progress || !IsDialogMessageW(progress, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

void Ui::Progress(const std::wstring& name, int percent) const {
  if (!progress) return;
  SetDlgItemTextW(progress, IDC_PROGRESS_TEXT, name.c_str());
  SendDlgItemMessageW(progress, IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
  Pump();
}

namespace {

std::wstring DialogText(HWND dialog, int id) {
  int length = GetWindowTextLengthW(GetDlgItem(dialog, id));
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  GetDlgItemTextW(dialog, id, text.data(), length + 1);
  text.resize(static_cast<size_t>(length));
  return text;
}

// The state a dialog was opened with: attached at WM_INITDIALOG, looked up after.
template <typename State>
State* AttachedState(HWND dialog, UINT message, LPARAM lParam) {
  if (message == WM_INITDIALOG) SetWindowLongPtrW(dialog, DWLP_USER, lParam);
  return reinterpret_cast<State*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

}  // namespace

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = AttachedState<MainDialogState>(dialog, message, lParam);
  if (message == WM_INITDIALOG) {
    SetWindowTextW(dialog, state->caption.c_str());
    SendMessageW(
        dialog, WM_SETICON, ICON_BIG,
        reinterpret_cast<LPARAM>(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_MAIN))));
    SetDlgItemTextW(dialog, IDC_DIR, state->directory.c_str());
    bool askFiles = state->settings->flags & zip::kSfxAskFiles;
    HWND list = GetDlgItem(dialog, IDC_FILES);
    for (const Member& m : *state->members) {
      std::wstring shown = m.name;
      for (wchar_t& c : shown)
        if (c == L'/') c = L'\\';
      SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(shown.c_str()));
    }
    SendMessageW(list, LB_SELITEMRANGEEX, 0, static_cast<LPARAM>(state->members->size()) - 1);
    ShowWindow(list, askFiles ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(dialog, IDC_FILES_LABEL), askFiles ? SW_SHOW : SW_HIDE);
    int radio = state->overwrite == Overwrite::Always  ? IDC_OVR_ALWAYS
                : state->overwrite == Overwrite::Never ? IDC_OVR_NEVER
                                                       : IDC_OVR_CONFIRM;
    CheckRadioButton(dialog, IDC_OVR_CONFIRM, IDC_OVR_NEVER, radio);
    if (state->settings->flags & zip::kSfxHideOverwriteBox)
      for (int id : {IDC_OVR_GROUP, IDC_OVR_CONFIRM, IDC_OVR_ALWAYS, IDC_OVR_NEVER})
        ShowWindow(GetDlgItem(dialog, id), SW_HIDE);
    SetForegroundWindow(dialog);
    return TRUE;
  }
  if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
    state->directory = DialogText(dialog, IDC_DIR);
    if (state->directory.empty()) {
      MessageBoxW(dialog, L"Please enter the directory to extract to.", state->caption.c_str(),
                  MB_OK | MB_ICONWARNING);
      return TRUE;
    }
    if (IsDlgButtonChecked(dialog, IDC_OVR_ALWAYS))
      state->overwrite = Overwrite::Always;
    else if (IsDlgButtonChecked(dialog, IDC_OVR_NEVER))
      state->overwrite = Overwrite::Never;
    else
      state->overwrite = Overwrite::Confirm;
    HWND list = GetDlgItem(dialog, IDC_FILES);
    for (size_t i = 0; i < state->chosen.size(); ++i)
      state->chosen[i] = SendMessageW(list, LB_GETSEL, i, 0) > 0;
    EndDialog(dialog, IDOK);
    return TRUE;
  }
  if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
    EndDialog(dialog, IDCANCEL);
    return TRUE;
  }
  return FALSE;
}

INT_PTR CALLBACK PasswordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = AttachedState<PasswordState>(dialog, message, lParam);
  if (message == WM_INITDIALOG) {
    SetWindowTextW(dialog, state->caption.c_str());
    SetDlgItemTextW(dialog, IDC_PASSWORD_PROMPT, state->prompt.c_str());
    SetForegroundWindow(dialog);
    return TRUE;
  }
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    if (LOWORD(wParam) == IDOK) state->password = DialogText(dialog, IDC_PASSWORD);
    EndDialog(dialog, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

}  // namespace sfx
