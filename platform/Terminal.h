// The console: whether a stream is a terminal and reading a line without echo.
#pragma once

#include <string>

namespace platform {

bool StdinIsTerminal();
bool StderrIsTerminal();
// Reads one line from the terminal with echo off (plain read when not a terminal).
// False at end of input.
bool ReadHiddenLine(std::string& line);
// Width of the terminal on stderr, or 80.
int TerminalColumns();

}  // namespace platform
