// The console through its handles: a stream is a terminal when it is a console.
#include <cstdio>
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

namespace {

// A standard handle the program was given: a file, a pipe or a console.
bool Redirected(DWORD which) {
  HANDLE handle = GetStdHandle(which);
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

}  // namespace

void UseParentConsole() {
  const bool out = Redirected(STD_OUTPUT_HANDLE), err = Redirected(STD_ERROR_HANDLE);
  if ((out && err) || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
  SetConsoleOutputCP(CP_UTF8);
  if (!out && std::freopen("CONOUT$", "w", stdout)) std::setvbuf(stdout, nullptr, _IONBF, 0);
  if (!err && std::freopen("CONOUT$", "w", stderr)) std::setvbuf(stderr, nullptr, _IONBF, 0);
  std::cout.clear();
  std::cerr.clear();
}

}  // namespace platform
