// The drive format dialog, independent of any toolkit: its controls (by the
// identifiers a window hook acts on), the messages they process, posted
// messages, and the format it runs. The Qt dialog, the console prompt and the
// scripted answers of tests are front ends over it. It lives on the GUI thread;
// only Wait() may be called from another thread.
//
// Beside it, the little window system these dialogs need: the open dialogs by
// the thread that asked for them (EnumThreadWindows) and the hooks set on a
// thread, which see every message a dialog of that thread has processed.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace ui {

// Control identifiers.
constexpr int kFormatStart = 1;         // "Start"
constexpr int kFormatClose = 2;         // "Cancel", "Close" once a format ran
constexpr int kFormatCapacity = 35;     // the capacity choice
constexpr int kFormatLabel = 38;        // the volume label field
constexpr int kFormatQuick = 39;        // "Quick format"
constexpr int kFormatSystemFiles = 41;  // "Copy system files"

// Window messages, with their Windows numbers.
constexpr uint32_t kWmEnable = 0x000A;
constexpr uint32_t kWmSetText = 0x000C;
constexpr uint32_t kWmShowWindow = 0x0018;
constexpr uint32_t kWmUser2 = 0x0402;
constexpr uint32_t kBmSetCheck = 0x00F1;
constexpr uint32_t kBmSetStyle = 0x00F4;
constexpr uint32_t kBmClick = 0x00F5;
constexpr uintptr_t kBsPushButton = 0;

// The dialog's end when no format ran, or the format's own result.
constexpr int kFormatCancelled = -2;

class FormatDialog;

// A message a window has just processed: the dialog, the control (0 for the
// dialog itself), the message and its parameters.
struct ProcessedMessage {
  FormatDialog* dialog = nullptr;
  int control = 0;
  uint32_t message = 0;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
};

class FormatDialog {
 public:
  // Formats the drive with the label; 0 or more on success, -1 error, -3 not available.
  using FormatFunction = std::function<int(const std::string& label, bool quick)>;

  FormatDialog(uintptr_t parent, std::string driveName, std::string currentLabel,
               FormatFunction format);

  // ---- As the hook and the lookups of controls by id see it (GUI thread) ----
  uintptr_t Parent() const { return parent_; }
  const std::string& DriveName() const { return driveName_; }
  bool HasControl(int control) const { return controls_.count(control) != 0; }
  bool Enabled(int control) const;
  void Enable(int control, bool enable);  // EnableWindow
  bool Checked(int control) const;
  void Check(int control, bool checked);               // CheckDlgButton
  std::string Text(int control) const;                 // GetDlgItemText
  void SetText(int control, const std::string& text);  // SetDlgItemText
  // PostMessage to a control: processed by the next Pump().
  void Post(int control, uint32_t message, uintptr_t wParam);

  // ---- As a user works it (front ends): ignored on disabled controls ----
  void Click(int control);
  void TypeText(int control, const std::string& text);
  // Called after every change the front end shows.
  std::function<void()> onChange;

  // ---- Life ----
  // Shows the controls, announces itself (user message 2) and fills the label field.
  void Open();
  // Processes the posted messages; true when any was processed.
  bool Pump();
  bool Idle() const { return posted_.empty(); }
  bool FormatRan() const { return formatRan_; }
  const std::string& Status() const { return status_; }
  bool Finished() const;
  int Result() const;
  // Blocks until the dialog has ended and answers its result (any thread).
  int Wait();

 private:
  struct Control {
    bool enabled = true;
    bool checked = false;
    std::string text;
    uintptr_t style = 1;  // the default push button until a format ran
  };
  void Processed(int control, uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);
  void Start();
  void End(int result);
  void Changed() {
    if (onChange) onChange();
  }

  uintptr_t parent_;
  std::string driveName_;
  FormatFunction format_;
  std::map<int, Control> controls_;
  std::deque<std::pair<int, std::pair<uint32_t, uintptr_t>>> posted_;
  bool formatRan_ = false;
  int lastFormat_ = kFormatCancelled;
  std::string status_;

  mutable std::mutex mutex_;
  std::condition_variable ended_;
  bool finished_ = false;
  int result_ = kFormatCancelled;
};

// ---- Windows of threads and hooks ----

using WindowHook = std::function<void(int code, const ProcessedMessage& message)>;

// SetWindowsHookEx for the messages processed by the dialogs of `thread`; 0 when refused.
uintptr_t SetThreadHook(std::thread::id thread, WindowHook hook);
void RemoveThreadHook(uintptr_t handle);
// Asks, from `thread`, for `dialog` to be shown; the GUI thread opens it with
// OpenRequestedDialogs. From then on it is one of the thread's windows.
void RequestDialog(std::thread::id thread, const std::shared_ptr<FormatDialog>& dialog);
class UiService;
// GUI thread: shows the dialogs asked for through `ui`, and processes the posted
// messages of every open one; ended dialogs are forgotten.
void ServeDialogs(UiService& ui);
// EnumThreadWindows: the open dialogs of `thread`, until `visit` answers false.
void EnumThreadWindows(std::thread::id thread, const std::function<bool(FormatDialog&)>& visit);

}  // namespace ui
