#include "EngineSession.h"

#include <algorithm>
#include <cstring>

namespace zipdll {
namespace {

constexpr int kEngineVersion = 160;

void PutText(ZCallBackStruct& record, const std::string& text, size_t limit) {
  size_t n = std::min(text.size(), limit);
  std::memcpy(record.FileNameOrMsg, text.data(), n);
  record.FileNameOrMsg[n] = '\0';
}

}  // namespace

EngineSession::EngineSession(ZFunctionPtr callback, void* caller, bool verbose)
    : callback_(callback), caller_(caller), verbose_(verbose) {}

void EngineSession::Call(ZCallBackStruct& record) {
  record.Caller = caller_;
  record.Version = kEngineVersion;
  if (callback_ && callback_(&record) != 0) cancelled_ = true;
}

void EngineSession::Message(int code, const std::string& text) {
  ZCallBackStruct record{};
  record.ActionCode = kActionMessage;
  record.ErrorCode = code;
  PutText(record, text, kCallbackCommentOffset - 1);
  Call(record);
}

void EngineSession::Verbose(const std::string& text) {
  if (verbose_) Message(0, text);
}

void EngineSession::Progress(int action, const std::string& name, int64_t value) {
  ZCallBackStruct record{};
  record.ActionCode = action;
  record.FileSize = static_cast<intptr_t>(value);
  PutText(record, name, kCallbackCommentOffset - 1);
  Call(record);
}

std::optional<std::string> EngineSession::AskPassword(const std::string& forFile) {
  ZCallBackStruct record{};
  record.ActionCode = kActionPassword;
  record.IsOperationZip = 1;
  record.ErrorCode = 1;  // bit 0: a password for adding
  record.FileSize = 1;
  PutText(record, forFile, kCallbackCommentOffset - 1);
  Call(record);
  if (record.ActionCode == 0 || record.ErrorCode != 1) return std::nullopt;
  record.FileNameOrMsg[kCallbackTextSize - 1] = '\0';
  std::string password = record.FileNameOrMsg;
  if (password.empty()) return std::nullopt;
  return password;
}

void EngineSession::ThrowIfCancelled() const {
  if (cancelled_) throw EngineError(kEngineAborted, "Operation cancelled");
}

}  // namespace zipdll
