// What `zipbuilder extract` and `zipbuilder test` share: driving the component's
// extraction from the command line, the progress bar, and the exit status.
#pragma once

#include <string>
#include <vector>

#include "tools/ExitStatus.h"
#include "zipbuilder/ZipBuilder.h"

enum class OverwriteChoice { Ask, Always, Never };

struct ExtractRequest {
  std::string archive;
  std::string baseDir;                 // "" for the current directory
  std::vector<std::string> specs;      // none: every member
  std::string password;
  bool havePassword = false;           // -P given: never ask
  OverwriteChoice overwrite = OverwriteChoice::Ask;
  bool freshen = false;
  bool update = false;
  bool junkPaths = false;
  bool testOnly = false;
  bool toStdout = false;               // -p: the members' data to standard output, no files
};

// Runs the extraction (or test) and returns the exit status.
int RunExtractRequest(const ExtractRequest& request);
