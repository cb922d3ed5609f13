// What `zipbuilder extract` and `zipbuilder test` share: driving the component's
// extraction from the command line, the progress bar, and the exit status.
#pragma once

#include <string>
#include <vector>

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
};

// Exit statuses: the values unzip gives for the same outcomes, so that scripts treat both alike.
constexpr int kExitOk = 0;
constexpr int kExitWarning = 1;        // some members skipped (unsafe name, unknown host)
constexpr int kExitError = 2;          // damaged archive, CRC or size error, wrong password, unsupported method
constexpr int kExitNoArchive = 9;
constexpr int kExitUsage = 10;
constexpr int kExitNothingMatched = 11;

// Runs the extraction (or test) and returns the exit status.
int RunExtractRequest(const ExtractRequest& request);
