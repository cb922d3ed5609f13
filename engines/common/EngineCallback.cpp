#include "engines/common/EngineCallback.h"

#include <algorithm>
#include <cstring>

#include "engines/common/EngineError.h"

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
  if (Holding()) {
    const bool question = action != kActionMemberBegin && action != kActionBytesDone &&
                          action != kActionMessage && action != kActionSkipped;
    if (!question) {
      if (!stopped_) Find(current_)->held.push_back({action, errorCode, value, text});
      return !stopped_;
    }
    if (!catchUp_ || !catchUp_()) return false;
  }
  return Deliver(action, errorCode, value, text);
}

bool EngineCallback::Deliver(int32_t action, int32_t errorCode, intptr_t value,
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

EngineCallback::Lane EngineCallback::OpenLane() {
  lanes_.emplace_back();
  current_ = nextLane_++;
  return current_;
}

EngineCallback::LaneState* EngineCallback::Find(Lane lane) {
  if (lane < firstLane_ || lane - firstLane_ >= lanes_.size()) return nullptr;
  return &lanes_[lane - firstLane_];
}

bool EngineCallback::Holding() const {
  return current_ > firstLane_ && current_ - firstLane_ < lanes_.size();
}

void EngineCallback::CloseLane(Lane lane) {
  if (LaneState* state = Find(lane)) state->closed = true;
  Release();
}

void EngineCallback::Release() {
  while (!lanes_.empty()) {
    LaneState& oldest = lanes_.front();
    // Delivering may answer "stop": what is still held then goes unreported.
    for (const HeldCall& c : oldest.held)
      if (!stopped_) Deliver(c.action, c.errorCode, c.value, c.text);
    oldest.held.clear();
    if (!oldest.closed) return;
    lanes_.pop_front();
    ++firstLane_;
  }
}

void EngineCallback::EndLanes() {
  lanes_.clear();
  firstLane_ = nextLane_;
  current_ = 0;
  catchUp_ = nullptr;
}

void EngineCallback::ThrowIfStopped() const {
  if (stopped_) throw EngineError(kEngineAborted, "Operation cancelled");
}

std::string EngineCallback::AnswerText() const {
  const char* text = record_.FileNameOrMsg;
  return std::string(text, strnlen(text, kCallbackTextSize));
}

}  // namespace engine
