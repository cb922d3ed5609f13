#include "ui/win32/Win32Window.h"

#include <map>
#include <tuple>

#include "platform/win32/WideText.h"

namespace ui::win32 {
namespace {

const wchar_t* const kWindowClass = L"ZipBuilderSuiteWindow";

void RegisterClassOnce(WNDPROC procedure) {
  static bool registered = false;
  if (registered) return;
  WNDCLASSEXW c{};
  c.cbSize = sizeof c;
  c.lpfnWndProc = procedure;
  c.hInstance = GetModuleHandleW(nullptr);
  c.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  c.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  c.lpszClassName = kWindowClass;
  RegisterClassExW(&c);
  registered = true;
}

// Dispatches one message, giving a dialog's keys to the window it belongs to.
void Dispatch(MSG& msg) {
  HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
  if (root && IsDialogMessageW(root, &msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

BOOL CALLBACK CollectEnabled(HWND window, LPARAM list) {
  if (IsWindowVisible(window) && IsWindowEnabled(window)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

}  // namespace

Win32Window::Win32Window(const std::string& caption, int width, int height, DWORD extraStyle) {
  RegisterClassOnce(&Procedure);
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT | extraStyle;
  RECT frame{0, 0, width, height};
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  window_ = CreateWindowExW(exStyle, kWindowClass, platform::win32::Widen(caption).c_str(), style, CW_USEDEFAULT,
                            CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                            GetModuleHandleW(nullptr), this);
  font_ = DesignFont(L"MS Sans Serif", -11, false);
  SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
}

Win32Window::~Win32Window() {
  if (window_) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
}

HWND Win32Window::Add(const wchar_t* className, const std::string& text, DWORD style, int left, int top, int width,
                      int height, int id, HFONT font) {
  HWND control = CreateWindowExW(0, className, platform::win32::Widen(text).c_str(), WS_CHILD | WS_VISIBLE | style,
                                 left, top, width, height, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleW(nullptr), nullptr);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font ? font : font_), FALSE);
  return control;
}

void Win32Window::CenterOnScreen() {
  RECT frame, work;
  GetWindowRect(window_, &frame);
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  SetWindowPos(window_, nullptr, work.left + (work.right - work.left - width) / 2,
               work.top + (work.bottom - work.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::RunModal(const std::function<bool()>& ended) {
  if (!window_) return;  // no window could be made (no display): nobody to wait for
  const std::vector<HWND> disabled = EnabledThreadWindows();
  for (HWND other : disabled)
    if (other != window_) EnableWindow(other, FALSE);
  ShowWindow(window_, SW_SHOW);
  SetForegroundWindow(window_);
  while (PumpMessages() && !ended()) WaitMessage();
  for (HWND other : disabled)
    if (other != window_ && IsWindow(other)) EnableWindow(other, TRUE);
  ShowWindow(window_, SW_HIDE);
}

LRESULT CALLBACK Win32Window::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  LRESULT result = 0;
  if (self && self->onMessage && self->onMessage(message, wParam, lParam, result)) return result;
  // The close box and Alt+F4 come as WM_CLOSE; without a handler they cancel.
  if (message == WM_CLOSE) {
    PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

HFONT DesignFont(const wchar_t* face, int height, bool bold) {
  static std::map<std::tuple<std::wstring, int, bool>, HFONT> fonts;
  HFONT& font = fonts[{face, height, bold}];
  if (!font)
    font = CreateFontW(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, face);
  return font;
}

bool PumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return false;
    }
    Dispatch(msg);
  }
  return true;
}

int RunMessageLoop() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) Dispatch(msg);
  return static_cast<int>(msg.wParam);
}

std::vector<HWND> EnabledThreadWindows() {
  std::vector<HWND> windows;
  ::EnumThreadWindows(GetCurrentThreadId(), &CollectEnabled, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

std::string WindowText(HWND window) {
  int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  length = GetWindowTextW(window, text.data(), length + 1);
  return platform::win32::Narrow(text.data(), static_cast<size_t>(length));
}

}  // namespace ui::win32
