#include "ScriptedUi.h"

namespace ui {

int ScriptedUi::MessageBox(const std::string& text, const std::string& caption, uint32_t style) {
  boxes.push_back({text, caption, style});
  if (!boxAnswers.empty()) {
    int answer = boxAnswers.front();
    boxAnswers.pop_front();
    return answer;
  }
  uint32_t kind = style & 0xF;
  return kind == kMbYesNo || kind == kMbYesNoCancel ? kIdYes : kIdOk;
}

PasswordAnswer ScriptedUi::PasswordDialog(const std::string& caption, const std::string& prompt,
                                          const std::vector<DialogButton>& buttons) {
  passwordDialogs.push_back({caption, prompt, buttons});
  if (passwordAnswers.empty()) return {};
  PasswordAnswer answer = passwordAnswers.front();
  passwordAnswers.pop_front();
  if (answer.text.size() > 80) answer.text.resize(80);  // the entry box's limit
  return answer;
}

}  // namespace ui
