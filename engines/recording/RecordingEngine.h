// The recording engine as tests see it: the script it plays, what it recorded.
// The library exports the six engine entry points plus the control functions
// below (resolve them by name; the library's state lives as long as it stays loaded).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engines/ZipEngineApi.h"

namespace recording {

// One callback the engine makes during its exec call, in the order of the script.
struct ScriptedCall {
  int32_t action = 0;
  int32_t errorCode = 0;       // first value
  intptr_t fileSize = 0;       // second value
  uint32_t isOperationZip = 0;
  std::string text;            // at the start of the text area
  std::string comment;         // at kCallbackCommentOffset of the text area
};

// The callback record after the component answered, and the callback's result.
struct PlayedCall {
  int32_t actionCode = 0;
  int32_t errorCode = 0;
  intptr_t fileSize = 0;
  std::string text;            // text area up to its first zero
  std::vector<char> textArea;  // the whole text area
  int32_t returned = 0;
};

struct Config {
  int32_t version = 160;       // RECORDING_ENGINE_VERSION in the environment wins
  int32_t privVersion = 1600;
  int32_t result = 0;          // what the exec entries return
  std::vector<ScriptedCall> script;
  bool stopWhenCancelled = true;     // stop the script once a callback returns 1
  std::vector<uint8_t> outputData;   // copied into the record's output memory block
};

// A deep copy of one command record: its bytes and what its pointers lead to.
// Absent texts (null pointers) are nullopt. The layout follows the version the
// engine reported when the record arrived.
struct RecordedExec {
  bool isZip = false;
  bool oldLayout = false;
  int32_t version = 0;
  std::vector<uint8_t> bytes;  // the record, byte for byte
  std::optional<std::string> password;
  std::optional<std::string> archiveName;
  std::vector<std::string> specs;          // file specifications, in order
  std::vector<std::vector<uint8_t>> specEntries;  // the table entries' bytes (current layouts)
  // Extraction, current layout.
  std::vector<uint8_t> extractDirBlock;    // the 261-byte base directory block
  std::vector<uint8_t> inStream;           // the input memory block
  // Adding.
  std::optional<std::string> suffixes;
  std::optional<std::string> tempDir;
  std::optional<std::string> keepFrom;  // the archive whose members are kept, when not the output
  std::optional<std::string> archiveComment;
  std::vector<std::optional<std::string>> specPasswords;
  std::vector<std::optional<std::string>> specRootDirs;
  std::vector<std::string> exclusions;
};

}  // namespace recording

extern "C" {
// Replaces the configuration and forgets everything recorded.
void RecordingEngineConfigure(const recording::Config* config);
const std::vector<recording::RecordedExec>* RecordingEngineExecs();
const std::vector<recording::PlayedCall>* RecordingEnginePlayed();
int32_t RecordingEngineVersionCalls();
}

// Function types of the control entries, for tests that resolve them by name.
using RecordingEngineConfigureFn = void (*)(const recording::Config*);
using RecordingEngineExecsFn = const std::vector<recording::RecordedExec>* (*)();
using RecordingEnginePlayedFn = const std::vector<recording::PlayedCall>* (*)();
using RecordingEngineVersionCallsFn = int32_t (*)();
