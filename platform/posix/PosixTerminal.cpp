#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <iostream>

#include "platform/Terminal.h"

namespace platform {

bool StdinIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }
bool StdoutIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }
bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

bool ReadHiddenLine(std::string& line) {
  struct termios old;
  bool tty = ::tcgetattr(STDIN_FILENO, &old) == 0;
  if (tty) {
    struct termios quiet = old;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  bool ok = static_cast<bool>(std::getline(std::cin, line));
  if (tty) {
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
    std::cerr << '\n';
  }
  return ok;
}

int TerminalColumns() {
  struct winsize ws;
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
  return 80;
}

void UseParentConsole() {}

}  // namespace platform
