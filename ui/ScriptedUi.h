// A user interface for tests: records every box and dialog, answers from queues.
#pragma once

#include <deque>
#include <functional>
#include <memory>

#include "ui/UiService.h"

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

// What the scripted user does with a format dialog that waits for it.
enum class FormatAnswer { Start, Close };

class ScriptedUi : public UiService {
 public:
  // Answers used in order; when a queue is empty a box answers kIdOk (or kIdYes for
  // yes/no boxes) and a password dialog answers with modal result 2 and no text.
  std::deque<int> boxAnswers;
  std::deque<PasswordAnswer> passwordAnswers;

  // Used in order whenever a format dialog waits; with none left it is closed.
  std::deque<FormatAnswer> formatAnswers;
  std::vector<std::shared_ptr<FormatDialog>> formatDialogs;  // every one opened
  std::function<void(FormatDialog&)> onFormatDialog;        // called as one opens

  std::vector<RecordedBox> boxes;
  std::vector<RecordedPasswordDialog> passwordDialogs;
  std::vector<int> cursorHistory;  // every cursor set, in order
  int processMessagesCalls = 0;
  int cursor = kCursorDefault;

  int MessageBox(const std::string& text, const std::string& caption, uint32_t style) override;
  PasswordAnswer PasswordDialog(const std::string& caption, const std::string& prompt,
                                const std::vector<DialogButton>& buttons) override;
  void ProcessMessages() override { ++processMessagesCalls; }
  void OpenFormatDialog(const std::shared_ptr<FormatDialog>& dialog) override;
  void FormatDialogIdle(FormatDialog& dialog) override;
  int GetCursor() override { return cursor; }
  void SetCursor(int c) override {
    cursor = c;
    cursorHistory.push_back(c);
  }
};

}  // namespace ui
