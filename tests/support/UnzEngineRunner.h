// Runs the decompression engine (libunzdll.so, loaded as UNZDLL.DLL) from tests:
// builds the extract record from plain options, records every callback and
// answers from a script.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "engines/ZipEngineApi.h"

namespace testsupport {

struct EngineEvent {
  int32_t action = 0;
  int32_t error = 0;
  intptr_t value = 0;
  std::string text;
};

struct UnzRun {
  // A run that extracts (or with `test`, tests) all of `archive` into `baseDir`;
  // an empty password sends none.
  static UnzRun Of(const std::string& archive, const std::string& baseDir,
                   const std::string& password = "", bool test = false) {
    UnzRun run;
    run.archive = archive;
    run.baseDir = baseDir;
    if (!password.empty()) run.password = password;
    run.test = test;
    return run;
  }

  // The record.
  std::string archive;
  std::vector<std::string> specs;
  std::optional<std::string> password;
  uint32_t passwordRequests = 1;
  std::string baseDir;
  uint16_t codePage = 0;
  bool test = false, freshen = false, update = false, keepDirectories = true, overwrite = false;
  bool toMemory = false;
  uint32_t outSize = 0;           // with toMemory: size of the output block
  bool provideBlock = true;       // hand over a block of outSize bytes (else none: action 13)
  std::string input;              // when set: input from memory (stream header + data)
  bool fromMemory = false;
  uint32_t seven = 7;

  // Scripted answers.
  std::deque<std::optional<std::string>> passwordAnswers;  // action 8; nullopt: no password
  bool cancelAllPasswords = false;                        // action 8 answered with "cancel all"
  std::optional<int32_t> crcAnswer;                       // action 9; none: record left as sent
  std::optional<bool> overwriteAnswer;                    // action 10; none: record left as sent
  int32_t stopOnAction = 0;                               // answer 1 ("stop") to the n-th call of it
  int stopOnCall = 1;

  // Results.
  int32_t result = -1;
  std::vector<EngineEvent> events;
  std::vector<uint8_t> memory;  // the output block (given up front or asked for by action 13)

  int Count(int32_t action) const;
  std::vector<EngineEvent> Of(int32_t action) const;
  // Texts of messages (action 4) whose error code is `code`.
  std::vector<std::string> Messages(int32_t code) const;
  std::string MemoryText() const { return std::string(memory.begin(), memory.end()); }
};

// Loads the engine (once per process) and runs it; false when it cannot be loaded.
bool RunUnzEngine(UnzRun& run);
int32_t UnzEngineVersion();

}  // namespace testsupport
