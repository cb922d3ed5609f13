// Running peer tools (zip, unzip, 7z, bsdtar, python3) from tests, to make
// fixtures and to check what the component writes.
#pragma once

#include <map>
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

// Tests `archive` (in `dir`) with unzip -t, 7z t and python3 -m zipfile -t;
// returns the commands that failed with their output, "" when all three pass.
std::string PeerTestFailures(const std::string& dir, const std::string& archive);

// Every member of `archive` (in `dir`) as Python's zipfile reads it: name to
// size and SHA-256 of its data. Empty when Python cannot read the archive.
std::map<std::string, std::string> MemberDigests(const std::string& dir, const std::string& archive);

// The zipbuilder program under test: $ZB_TOOL when set, else the one built here.
std::string ZipBuilderTool();

}  // namespace testsupport
