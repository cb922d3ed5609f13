// Running peer tools (zip, unzip, 7z, bsdtar, python3) from tests, to make
// fixtures and to check what the component writes.
#pragma once

#include <string>

namespace testsupport {

struct CommandResult {
  int status = -1;  // exit status, -1 when it could not be told
  std::string out;
  std::string err;
};

// Runs `command` through sh with `dir` as working directory; captures both outputs.
CommandResult RunIn(const std::string& dir, const std::string& command);

// True when `name` is a command on PATH.
bool HaveTool(const std::string& name);

// `text` single-quoted for sh.
std::string ShellQuote(const std::string& text);

// The zipbuilder program under test: $ZB_TOOL when set, else the one built here.
std::string ZipBuilderTool();

}  // namespace testsupport
