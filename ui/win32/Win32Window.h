// A top-level window built in code, its controls placed in pixels as a form
// design places them, and the message loop the dialogs run in. The windows of
// the Win32 user interface (message boxes aside) are made of it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/win32/WindowsApi.h"

namespace ui::win32 {

class Win32Window {
 public:
  // Answers a message of the window itself (WM_COMMAND, WM_CLOSE ...): true when
  // handled, with its result in `result`.
  using Handler = std::function<bool(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)>;

  // A hidden window with a dialog border and `caption`, whose client area is
  // `width` x `height` pixels.
  Win32Window(const std::string& caption, int width, int height, DWORD extraStyle = 0);
  ~Win32Window();
  Win32Window(const Win32Window&) = delete;
  Win32Window& operator=(const Win32Window&) = delete;

  HWND Handle() const { return window_; }
  // A child control of window class `className` at the given client position.
  HWND Add(const wchar_t* className, const std::string& text, DWORD style, int left, int top, int width,
           int height, int id, HFONT font);
  void CenterOnScreen();
  // Shows the window and runs the thread's messages until `ended` answers true,
  // with every other window of the thread disabled meanwhile. Returns at once
  // when the window could not be made.
  void RunModal(const std::function<bool()>& ended);

  Handler onMessage;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  HWND window_ = nullptr;
  HFONT font_ = nullptr;
};

// A font of the given face and pixel height (negative: character height), made
// once per kind and kept for the program's life.
HFONT DesignFont(const wchar_t* face, int height, bool bold);
// Handles the thread's pending messages, with the keyboard of dialogs (Tab,
// Enter, Escape) in the window they belong to. False once WM_QUIT was seen: it
// is posted again, for the loop that waits for it.
bool PumpMessages();
// Runs the thread's messages until WM_QUIT; its exit code.
int RunMessageLoop();
// The text of a window, in UTF-8.
std::string WindowText(HWND window);
// The thread's visible windows that take input: those a modal window disables.
std::vector<HWND> EnabledThreadWindows();

}  // namespace ui::win32
