// Drives the recording engine from tests: configures its script, reads what it
// recorded, and makes a directory in which it stands in for both engines.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engines/recording/RecordingEngine.h"

namespace testsupport {

class RecordingEngineHarness {
 public:
  // Loads the recording engine from the build's bin directory and keeps it
  // loaded, so its records outlive the component's own load and unload.
  RecordingEngineHarness();
  ~RecordingEngineHarness();
  RecordingEngineHarness(const RecordingEngineHarness&) = delete;
  RecordingEngineHarness& operator=(const RecordingEngineHarness&) = delete;

  bool Loaded() const { return library_ != nullptr; }
  void Configure(const recording::Config& config);
  const std::vector<recording::RecordedExec>& Execs() const;
  const std::vector<recording::PlayedCall>& Played() const;
  int VersionCalls() const;

  // Puts libunzdll.so and libzipdll.so links to the recording engine into `dir`.
  static bool LinkAsEngines(const std::string& dir);
  static std::string LibraryPath();

 private:
  void* library_ = nullptr;
  RecordingEngineConfigureFn configure_ = nullptr;
  RecordingEngineExecsFn execs_ = nullptr;
  RecordingEnginePlayedFn played_ = nullptr;
  RecordingEngineVersionCallsFn versionCalls_ = nullptr;
};

// A recorded record's bytes seen as the record type (fields by name, so the
// checks hold on 64-bit builds where pointers widen the record).
template <typename Record>
Record RecordAs(const std::vector<uint8_t>& bytes) {
  Record record{};
  std::memcpy(&record, bytes.data(), std::min(sizeof record, bytes.size()));
  return record;
}

}  // namespace testsupport
