// A user interface for tests: records every box and dialog, answers from queues.
#pragma once

#include <deque>

#include "UiService.h"

namespace ui {

struct RecordedBox {
  std::string text;
  std::string caption;
  uint32_t style = 0;
};

struct RecordedPasswordDialog {
  std::string caption;
  std::string prompt;
  std::vector<DialogButton> buttons;
};

class ScriptedUi : public UiService {
 public:
  // Answers used in order; when a queue is empty a box answers kIdOk (or kIdYes for
  // yes/no boxes) and a password dialog answers with modal result 2 and no text.
  std::deque<int> boxAnswers;
  std::deque<PasswordAnswer> passwordAnswers;

  std::vector<RecordedBox> boxes;
  std::vector<RecordedPasswordDialog> passwordDialogs;
  std::vector<int> cursorHistory;  // every cursor set, in order
  int processMessagesCalls = 0;
  int cursor = kCursorDefault;

  int MessageBox(const std::string& text, const std::string& caption, uint32_t style) override;
  PasswordAnswer PasswordDialog(const std::string& caption, const std::string& prompt,
                                const std::vector<DialogButton>& buttons) override;
  void ProcessMessages() override { ++processMessagesCalls; }
  int GetCursor() override { return cursor; }
  void SetCursor(int c) override {
    cursor = c;
    cursorHistory.push_back(c);
  }
};

}  // namespace ui
