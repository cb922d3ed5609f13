// The console: whether a stream is a terminal, reading a line without echo, and
// text made safe to print there.
#pragma once

#include <string>
#include <string_view>

namespace platform {

bool StdinIsTerminal();
bool StdoutIsTerminal();
bool StderrIsTerminal();
// Reads one line from the terminal with echo off (plain read when not a terminal).
// False at end of input.
bool ReadHiddenLine(std::string& line);
// Width of the terminal on stderr, or 80.
int TerminalColumns();
// Makes standard output and error of a windowed program reach the console it
// was started from, unless they were redirected; text written there is UTF-8.
// Nothing to do where every program has its parent's streams.
void UseParentConsole();

// `text` safe for a terminal: every control character (escape sequences, CR,
// LF, ...) shown as \xNN. Messages keep their own line breaks.
std::string EscapedText(std::string_view text, bool keepLineBreaks = false);
// The same, appended to `out`.
void AppendEscaped(std::string& out, std::string_view text, bool keepLineBreaks = false);

}  // namespace platform
