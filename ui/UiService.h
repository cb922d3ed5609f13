// What the component and the installer ask of a user interface. Implementations:
// Qt widgets (QtUi), the console (ConsoleUi) and a scripted one for tests (ScriptedUi).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ui {

// MessageBoxA style bits and answers, with their Windows values.
constexpr uint32_t kMbOk = 0x0;
constexpr uint32_t kMbOkCancel = 0x1;
constexpr uint32_t kMbAbortRetryIgnore = 0x2;
constexpr uint32_t kMbYesNoCancel = 0x3;
constexpr uint32_t kMbYesNo = 0x4;
constexpr uint32_t kMbRetryCancel = 0x5;
constexpr uint32_t kMbIconError = 0x10;
constexpr uint32_t kMbIconQuestion = 0x20;
constexpr uint32_t kMbIconWarning = 0x30;
constexpr uint32_t kMbIconInformation = 0x40;
constexpr uint32_t kMbDefButton2 = 0x100;
constexpr uint32_t kMbTopMost = 0x40000;

constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdAbort = 3;
constexpr int kIdRetry = 4;
constexpr int kIdIgnore = 5;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;
// The password dialog's "Cancel all" button.
constexpr int kIdCancelAll = 9;

// Screen cursors, with the class library's numbers.
constexpr int kCursorDefault = 0;
constexpr int kCursorHourglass = -11;

// One button of the password dialog: its caption and the modal result it gives.
struct DialogButton {
  std::string caption;
  int modalResult = 0;
  bool isDefault = false;
  bool isCancel = false;
};

struct PasswordAnswer {
  int modalResult = kIdCancel;  // 2 also when the dialog was closed by its close box
  std::string text;
};

class FormatDialog;

class UiService {
 public:
  virtual ~UiService() = default;
  // MessageBoxA: shows `text` with `caption` and the buttons and icon of `style`;
  // returns the button pressed (kIdOk ...).
  virtual int MessageBox(const std::string& text, const std::string& caption, uint32_t style) = 0;
  // The password dialog: caption, prompt, masked entry of at most 80 characters, buttons.
  virtual PasswordAnswer PasswordDialog(const std::string& caption, const std::string& prompt,
                                        const std::vector<DialogButton>& buttons) = 0;
  // Lets the application handle pending window messages.
  virtual void ProcessMessages() = 0;
  virtual int GetCursor() = 0;
  virtual void SetCursor(int cursor) = 0;
  // The drive format dialog (FormatDialog.h), called on the GUI thread: shows it,
  // modal to the application, without waiting for it; it ends itself. The
  // default shows nothing.
  virtual void OpenFormatDialog(const std::shared_ptr<FormatDialog>& dialog);
  // The open dialog has no work left and waits for its user. The default, with
  // nobody to ask, closes it.
  virtual void FormatDialogIdle(FormatDialog& dialog);
};

}  // namespace ui

namespace ui {
// The application's title: the caption of the component's plain message boxes.
std::string& ApplicationTitle();
}  // namespace ui
