#include "engines/zipdll/EngineSession.h"

namespace zipdll {

std::optional<std::string> EngineSession::AskPassword(const std::string& forFile) {
  // First value bit 0: a password for adding; second value: one request.
  Call(kActionPassword, 1, 1, forFile);
  const ZCallBackStruct& answer = Answer();
  if (!HasFunction() || answer.ActionCode == 0 || answer.ErrorCode != 1) return std::nullopt;
  std::string password = AnswerText();
  if (password.empty()) return std::nullopt;
  return password;
}

}  // namespace zipdll
