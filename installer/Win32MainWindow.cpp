#include "installer/Win32MainWindow.h"

#include <exception>

#include "installer/MakerSettings.h"
#include "platform/win32/WideText.h"
#include "ui/UiService.h"
#include "ui/win32/Win32Ui.h"

namespace installer {

namespace {

using ui::win32::DesignFont;

// Posted once the window is on the screen: FormShow runs then, as the form's
// handler when shown does.
constexpr UINT kFormShow = WM_APP + 1;

}  // namespace

Win32MainWindow::Win32MainWindow(InstallerSetup setup)
    : ui_(*setup.ui), window_(kCompanyCaption, 368, 161, WS_EX_TOPMOST), caption_(kCompanyCaption) {
  setup.view = this;
  installer_ = std::make_unique<Installer>(setup);

  HFONT bold = DesignFont(L"MS Sans Serif", -13, true);
  memoBericht = window_.Add(L"EDIT", "", ES_MULTILINE | ES_AUTOVSCROLL | WS_TABSTOP, 16, 7, 345, 38, 100, bold);
  edPath = window_.Add(L"STATIC", "", SS_LEFT | SS_NOPREFIX, 24, 54, 329, 59, 101, bold);
  BitBtn1 = window_.Add(L"BUTTON", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 224, 122, 97, 33, IDOK, nullptr);
  BitBtn2 = window_.Add(L"BUTTON", "Cancel", BS_PUSHBUTTON | WS_TABSTOP, 32, 122, 97, 33, IDCANCEL, nullptr);
  // Tab order: memoBericht, BitBtn1, BitBtn2.
  SetWindowPos(BitBtn2, BitBtn1, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  window_.onMessage = [this](UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    return OnMessage(message, wParam, lParam, result);
  };
  window_.CenterOnScreen();
}

Win32MainWindow::~Win32MainWindow() { window_.onMessage = nullptr; }

bool Win32MainWindow::Run() {
  if (!window_.Handle()) return false;
  ShowWindow(window_.Handle(), SW_SHOW);
  SetFocus(memoBericht);
  PostMessageW(window_.Handle(), kFormShow, 0, 0);
  ui::win32::RunMessageLoop();
  return true;
}

bool Win32MainWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (message) {
    case kFormShow:
      RunHandler(&Installer::FormShow);
      return true;
    case WM_COMMAND:
      if (HIWORD(wParam) != BN_CLICKED) return false;
      // Enter gives IDOK, Escape and the close box IDCANCEL: each only while its button is usable.
      if (LOWORD(wParam) == IDOK && IsWindowEnabled(BitBtn1)) RunHandler(&Installer::BitBtn1Click);
      if (LOWORD(wParam) == IDCANCEL && !terminated_ && IsWindowEnabled(BitBtn2)) RunHandler(&Installer::BitBtn2Click);
      return true;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(lParam) != memoBericht) return false;
      // The memo's background is the colour of an active window border.
      SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_ACTIVEBORDER));
      SetTextColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOWTEXT));
      result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_ACTIVEBORDER));
      return true;
    case WM_SETCURSOR:
      if (!ui::HourglassShown()) return false;
      SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
      result = TRUE;
      return true;
    default:
      return false;
  }
}

// An exception that escapes a handler is shown as the application shows any.
void Win32MainWindow::RunHandler(void (Installer::*handler)()) {
  try {
    (installer_.get()->*handler)();
  } catch (const std::exception& e) {
    ui_.MessageBox(e.what(), ui::ApplicationTitle(), ui::kMbIconError);
  }
}

void Win32MainWindow::AddMessageLine(const std::string& line) {
  if (!message_.empty()) message_ += "\r\n";
  message_ += line;
  SetWindowTextW(memoBericht, platform::win32::Widen(message_).c_str());
  // Adding a line leaves the view at the message's first line.
  SendMessageW(memoBericht, EM_SETSEL, 0, 0);
  SendMessageW(memoBericht, EM_SCROLLCARET, 0, 0);
}

void Win32MainWindow::ClearMessage() {
  message_.clear();
  SetWindowTextW(memoBericht, L"");
}

void Win32MainWindow::SetPathCaption(const std::string& text) {
  path_ = text;
  SetWindowTextW(edPath, platform::win32::Widen(text).c_str());
}

void Win32MainWindow::SetOkEnabled(bool enabled) { EnableWindow(BitBtn1, enabled); }

void Win32MainWindow::SetButtonsEnabled(bool enabled) {
  EnableWindow(BitBtn1, enabled);
  EnableWindow(BitBtn2, enabled);
}

void Win32MainWindow::FocusCancel() {
  SetFocus(BitBtn2);
  // Enter now means Cancel: the default button follows the focus.
  SendMessageW(BitBtn1, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
  SendMessageW(BitBtn2, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
}

void Win32MainWindow::Hide() { ShowWindow(window_.Handle(), SW_HIDE); }

void Win32MainWindow::Terminate() {
  terminated_ = true;
  ShowWindow(window_.Handle(), SW_HIDE);
  // Ends the message loop once control returns to it.
  PostQuitMessage(0);
}

}  // namespace installer
