// The engine's side of the callback: progress, messages, password requests and
// the cancel answer. Every call happens on the thread that called ZipDllExec.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "engines/ZipEngineApi.h"

namespace zipdll {

// A failure that ends the operation; `code` is one of the kEngine* codes.
struct EngineError : std::runtime_error {
  EngineError(int code, const std::string& text) : std::runtime_error(text), code(code) {}
  int code;
};

class EngineSession {
 public:
  EngineSession(ZFunctionPtr callback, void* caller, bool verbose);

  // Action 4. Code 0 is information.
  void Message(int code, const std::string& text);
  // Information shown only when the record asked for verbose output.
  void Verbose(const std::string& text);
  // Actions 1, 2, 3, 5, 6.
  void Progress(int action, const std::string& name, int64_t value);
  // Action 8 for adding (first value bit 0 set). nullopt when no password was given.
  std::optional<std::string> AskPassword(const std::string& forFile);
  // True once the callback has answered 1; the operation stops at its next check.
  bool Cancelled() const { return cancelled_; }
  void ThrowIfCancelled() const;

 private:
  void Call(ZCallBackStruct& record);

  ZFunctionPtr callback_;
  void* caller_;
  bool verbose_;
  bool cancelled_ = false;
};

}  // namespace zipdll
