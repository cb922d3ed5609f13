// The engine's side of ZCallBackStruct: one record reused for every call, the
// answers read back, and the "stop" answer remembered for the rest of the run.
#pragma once

#include <cstdint>
#include <string>

#include "ZipEngineApi.h"

namespace unz {

class EngineCallback {
 public:
  EngineCallback(ZFunctionPtr function, void* caller, uint32_t handle);

  // Calls the component with one action. Returns false when it asked to stop
  // (now or on an earlier call).
  bool Call(int32_t action, int32_t errorCode, intptr_t value, const std::string& text = {});

  bool Progress(int32_t action, uint64_t value) {
    return Call(action, 0, static_cast<intptr_t>(value));
  }
  bool Message(int32_t engineError, const std::string& text) {
    return Call(kActionMessage, engineError, 0, text);
  }
  bool Skipped(const std::string& name, int32_t engineError, int32_t reason) {
    return Call(kActionSkipped, engineError, reason, name);
  }

  bool HasFunction() const { return function_ != nullptr; }
  bool Stopped() const { return stopped_; }
  void Stop() { stopped_ = true; }

  // The record as the component left it after the last call.
  const ZCallBackStruct& Answer() const { return record_; }
  // The text area as the component left it, up to its first zero.
  std::string AnswerText() const;

 private:
  ZFunctionPtr function_;
  void* caller_;
  uint32_t handle_;
  bool stopped_ = false;
  ZCallBackStruct record_{};
};

}  // namespace unz
