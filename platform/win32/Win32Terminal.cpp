// The console through its handles: a stream is a terminal when it is a console.
#include <iostream>

#include "platform/Terminal.h"
#include "platform/win32/WideText.h"
#include "platform/win32/WindowsApi.h"

namespace platform {
namespace {

bool IsConsole(DWORD which) {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

}  // namespace

bool StdinIsTerminal() { return IsConsole(STD_INPUT_HANDLE); }
bool StdoutIsTerminal() { return IsConsole(STD_OUTPUT_HANDLE); }
bool StderrIsTerminal() { return IsConsole(STD_ERROR_HANDLE); }

bool ReadHiddenLine(std::string& line) {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD old;
  if (!GetConsoleMode(input, &old)) return static_cast<bool>(std::getline(std::cin, line));
  SetConsoleMode(input, old & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  // Read wide, so that a password outside the console's code page stays whole.
  std::wstring wide;
  wchar_t c;
  DWORD n = 0;
  bool ok = false;
  while (ReadConsoleW(input, &c, 1, &n, nullptr) && n == 1) {
    ok = true;
    if (c == L'\n') break;
    if (c != L'\r') wide += c;
  }
  SetConsoleMode(input, old);
  std::cerr << '\n';
  line = win32::Narrow(wide);
  return ok;
}

int TerminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info))
    return info.srWindow.Right - info.srWindow.Left + 1;
  return 80;
}

}  // namespace platform
