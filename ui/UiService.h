// What the component and the installer ask of a user interface. Implementations:
// Qt widgets (QtUi), Win32 windows (Win32Ui), the console (ConsoleUi), a scripted
// one for tests (ScriptedUi). The service itself answers as a user who is not
// there would (QuietUi): each implementation replaces what it can show.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ui {

// MessageBoxA style bits, with their Windows values: one button set, one icon,
// and the flags, or-ed together.
enum MessageBoxStyle : uint32_t {
  kMbOk = 0x0, kMbOkCancel = 0x1, kMbAbortRetryIgnore = 0x2, kMbYesNoCancel = 0x3,
  kMbYesNo = 0x4, kMbRetryCancel = 0x5,
  kMbIconError = 0x10, kMbIconQuestion = 0x20, kMbIconWarning = 0x30, kMbIconInformation = 0x40,
  kMbDefButton2 = 0x100, kMbTopMost = 0x40000
};

// The buttons' answers (modal results), with their Windows values; kIdCancelAll
// is the password dialog's "Cancel all" button.
enum ModalResult : int {
  kIdOk = 1, kIdCancel = 2, kIdAbort = 3, kIdRetry = 4, kIdIgnore = 5, kIdYes = 6, kIdNo = 7,
  kIdCancelAll = 9
};

// Screen cursors, with the class library's numbers.
enum Cursor : int { kCursorDefault = 0, kCursorHourglass = -11 };

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
  // returns the button pressed (kIdOk ...). The default shows nothing and gives
  // OK for a notice, else "No", "Cancel" or "Abort", whichever the box offers.
  virtual int MessageBox(const std::string& text, const std::string& caption, uint32_t style);
  // The password dialog: caption, prompt, masked entry of at most 80 characters,
  // buttons. The default is cancelled, with no text.
  virtual PasswordAnswer PasswordDialog(const std::string& caption, const std::string& prompt,
                                        const std::vector<DialogButton>& buttons);
  // Lets the application handle pending window messages; the default has none.
  virtual void ProcessMessages() {}
  virtual int GetCursor() { return cursor_; }
  // The default only remembers the cursor; windowed services also show it.
  virtual void SetCursor(int cursor) { cursor_ = cursor; }
  // The drive format dialog (FormatDialog.h), called on the GUI thread: shows it,
  // modal to the application, without waiting for it; it ends itself. The
  // default shows nothing.
  virtual void OpenFormatDialog(const std::shared_ptr<FormatDialog>& dialog);
  // The open dialog has no work left and waits for its user. The default, with
  // nobody to ask, closes it.
  virtual void FormatDialogIdle(FormatDialog& dialog);

 private:
  int cursor_ = kCursorDefault;
};

}  // namespace ui

namespace ui {
// The application's title: the caption of the component's plain message boxes.
std::string& ApplicationTitle();
}  // namespace ui
