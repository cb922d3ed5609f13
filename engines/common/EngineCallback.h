// The engines' side of ZCallBackStruct: one record reused for every call, the
// component's answers read back, and its "stop" answer (any non-zero result)
// remembered for the rest of the run. Only the thread that entered the engine
// may call back.
#pragma once

#include <cstdint>
#include <string>

#include "engines/ZipEngineApi.h"

namespace engine {

class EngineCallback {
 public:
  // `compressing` marks the compression engine's password requests (IsOperationZip).
  EngineCallback(ZFunctionPtr function, void* caller, uint32_t handle, bool compressing);

  // Calls the component with one action. Returns false when it asked to stop,
  // now or on an earlier call.
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
  // Throws EngineError(kEngineAborted) once the component has asked to stop.
  void ThrowIfStopped() const;

  // The record as the component left it after the last call.
  const ZCallBackStruct& Answer() const { return record_; }
  // The text area as the component left it, up to its first zero.
  std::string AnswerText() const;

 private:
  ZFunctionPtr function_;
  void* caller_;
  uint32_t handle_;
  bool compressing_;
  bool stopped_ = false;
  ZCallBackStruct record_{};
};

}  // namespace engine
