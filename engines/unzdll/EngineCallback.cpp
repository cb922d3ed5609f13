#include "EngineCallback.h"

#include <algorithm>
#include <cstring>

namespace unz {

namespace {
// Incoming names and messages fill at most the first 256 bytes of the text area.
constexpr size_t kIncomingTextMax = 255;
}  // namespace

EngineCallback::EngineCallback(ZFunctionPtr function, void* caller, uint32_t handle)
    : function_(function), caller_(caller), handle_(handle) {}

bool EngineCallback::Call(int32_t action, int32_t errorCode, intptr_t value, const std::string& text) {
  std::memset(&record_, 0, sizeof record_);
  record_.Handle = handle_;
  record_.Caller = caller_;
  record_.Version = 160;
  record_.IsOperationZip = 0;
  record_.ActionCode = action;
  record_.ErrorCode = errorCode;
  record_.FileSize = value;
  std::memcpy(record_.FileNameOrMsg, text.data(), std::min(text.size(), kIncomingTextMax));
  // Without a function the record keeps what was sent: every default answer stands.
  if (function_ && function_(&record_) == 1) stopped_ = true;
  return !stopped_;
}

std::string EngineCallback::AnswerText() const {
  const char* text = record_.FileNameOrMsg;
  return std::string(text, strnlen(text, kCallbackTextSize));
}

}  // namespace unz
