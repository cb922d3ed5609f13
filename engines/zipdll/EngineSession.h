// The compression engine's side of the callback: the shared callback record
// plus verbose messages and the password request for adding. Every call happens
// on the thread that called ZipDllExec.
#pragma once

#include <optional>
#include <string>

#include "engines/common/EngineCallback.h"
#include "engines/common/EngineError.h"

namespace zipdll {

using engine::EngineError;

class EngineSession : public engine::EngineCallback {
 public:
  EngineSession(ZFunctionPtr callback, void* caller, uint32_t handle, bool verbose)
      : EngineCallback(callback, caller, handle, true), verbose_(verbose) {}

  // Information shown only when the record asked for verbose output.
  void Verbose(const std::string& text) {
    if (verbose_) Message(0, text);
  }
  // Action 8 for adding (first value bit 0 set). nullopt when no password was given.
  std::optional<std::string> AskPassword(const std::string& forFile);

 private:
  bool verbose_;
};

}  // namespace zipdll
