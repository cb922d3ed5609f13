#include "ui/ScriptedUi.h"

#include "ui/FormatDialog.h"

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

void ScriptedUi::OpenFormatDialog(const std::shared_ptr<FormatDialog>& dialog) {
  formatDialogs.push_back(dialog);
  if (onFormatDialog) onFormatDialog(*dialog);
}

void ScriptedUi::FormatDialogIdle(FormatDialog& dialog) {
  FormatAnswer answer = FormatAnswer::Close;
  if (!formatAnswers.empty()) {
    answer = formatAnswers.front();
    formatAnswers.pop_front();
  }
  dialog.Click(answer == FormatAnswer::Start ? kFormatStart : kFormatClose);
}

}  // namespace ui
