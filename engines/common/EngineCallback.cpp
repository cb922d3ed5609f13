#include "EngineCallback.h"

#include <algorithm>
#include <cstring>

#include "EngineError.h"

namespace engine {
namespace {

constexpr uint32_t kEngineVersion = 160;
// Incoming names and messages fill at most the first 256 bytes of the text area.
constexpr size_t kIncomingTextMax = kCallbackCommentOffset - 1;

}  // namespace

EngineCallback::EngineCallback(ZFunctionPtr function, void* caller, uint32_t handle,
                               bool compressing)
    : function_(function), caller_(caller), handle_(handle), compressing_(compressing) {}

bool EngineCallback::Call(int32_t action, int32_t errorCode, intptr_t value,
                          const std::string& text) {
  std::memset(&record_, 0, sizeof record_);
  record_.Handle = handle_;
  record_.Caller = caller_;
  record_.Version = kEngineVersion;
  record_.IsOperationZip = compressing_ && action == kActionPassword ? 1 : 0;
  record_.ActionCode = action;
  record_.ErrorCode = errorCode;
  record_.FileSize = value;
  std::memcpy(record_.FileNameOrMsg, text.data(), std::min(text.size(), kIncomingTextMax));
  // Without a function the record keeps what was sent: every default answer stands.
  if (function_ && function_(&record_) != kCallbackContinue) stopped_ = true;
  return !stopped_;
}

void EngineCallback::ThrowIfStopped() const {
  if (stopped_) throw EngineError(kEngineAborted, "Operation cancelled");
}

std::string EngineCallback::AnswerText() const {
  const char* text = record_.FileNameOrMsg;
  return std::string(text, strnlen(text, kCallbackTextSize));
}

}  // namespace engine
