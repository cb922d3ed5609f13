#include "ui/FormatDialog.h"

#include <algorithm>
#include <vector>

#include "ui/UiService.h"

namespace ui {

namespace {

// The window system of the format dialogs: hooks by thread, dialogs asked for
// and dialogs open, each with the thread that asked.
struct Windows {
  std::mutex mutex;
  uintptr_t nextHook = 1;
  std::map<uintptr_t, std::pair<std::thread::id, WindowHook>> hooks;
  std::vector<std::pair<std::thread::id, std::shared_ptr<FormatDialog>>> requested, open;
};

Windows& TheWindows() {
  static Windows windows;
  return windows;
}

std::thread::id OwnerOf(const FormatDialog* dialog) {
  Windows& w = TheWindows();
  std::lock_guard lock(w.mutex);
  for (const auto& [thread, open] : w.open)
    if (open.get() == dialog) return thread;
  return {};
}

}  // namespace

FormatDialog::FormatDialog(uintptr_t parent, std::string driveName, std::string currentLabel,
                           FormatFunction format)
    : parent_(parent), driveName_(std::move(driveName)), format_(std::move(format)) {
  controls_[kFormatCapacity].text = "Full capacity";
  controls_[kFormatLabel].text = std::move(currentLabel);
  controls_[kFormatQuick].text = "Quick format";
  controls_[kFormatSystemFiles].text = "Copy system files";
  controls_[kFormatSystemFiles].checked = true;
  controls_[kFormatStart].text = "Start";
  controls_[kFormatClose].text = "Cancel";
}

bool FormatDialog::Enabled(int control) const {
  auto it = controls_.find(control);
  return it != controls_.end() && it->second.enabled;
}

void FormatDialog::Enable(int control, bool enable) {
  auto it = controls_.find(control);
  if (it == controls_.end() || it->second.enabled == enable) return;  // no change, no message
  it->second.enabled = enable;
  Changed();
  Processed(control, kWmEnable, enable ? 1 : 0);
}

bool FormatDialog::Checked(int control) const {
  auto it = controls_.find(control);
  return it != controls_.end() && it->second.checked;
}

void FormatDialog::Check(int control, bool checked) {
  auto it = controls_.find(control);
  if (it == controls_.end()) return;
  it->second.checked = checked;
  Changed();
}

std::string FormatDialog::Text(int control) const {
  auto it = controls_.find(control);
  return it == controls_.end() ? std::string() : it->second.text;
}

void FormatDialog::SetText(int control, const std::string& text) {
  auto it = controls_.find(control);
  if (it == controls_.end()) return;
  it->second.text = text;
  Changed();
  Processed(control, kWmSetText);
}

void FormatDialog::Post(int control, uint32_t message, uintptr_t wParam) {
  posted_.push_back({control, {message, wParam}});
}

void FormatDialog::Click(int control) {
  if (Finished() || !Enabled(control)) return;
  if (control == kFormatStart)
    Start();
  else if (control == kFormatClose)
    End(formatRan_ ? lastFormat_ : kFormatCancelled);
  else if (control == kFormatQuick || control == kFormatSystemFiles)
    Check(control, !Checked(control));
}

void FormatDialog::TypeText(int control, const std::string& text) {
  if (!Finished() && Enabled(control)) SetText(control, text);
}

void FormatDialog::Open() {
  for (int control : {kFormatCapacity, kFormatLabel, kFormatQuick, kFormatSystemFiles, kFormatStart,
                      kFormatClose})
    Processed(control, kWmShowWindow, 1);
  Processed(0, kWmUser2);
  SetText(kFormatLabel, Text(kFormatLabel));
}

bool FormatDialog::Pump() {
  // Messages posted while these are processed wait for the next round.
  auto batch = std::move(posted_);
  posted_.clear();
  for (const auto& [control, message] : batch) {
    if (Finished()) break;
    if (message.first == kBmClick) {
      Click(control);
    } else if (message.first == kBmSetCheck) {
      Check(control, message.second != 0);
    }
    Processed(control, message.first, message.second);
  }
  return !batch.empty();
}

void FormatDialog::Start() {
  status_ = "Formatting " + driveName_ + " ...";
  Changed();
  const int result = format_(Text(kFormatLabel), Checked(kFormatQuick));
  formatRan_ = true;
  lastFormat_ = result;
  if (result == -3) {
    status_ = "This drive cannot be formatted here.";
    End(result);
    return;
  }
  status_ = result >= 0 ? "Format complete." : "The format did not complete.";
  controls_[kFormatClose].text = "Close";
  controls_[kFormatClose].style = kBsPushButton;
  Changed();
  Processed(kFormatClose, kBmSetStyle, kBsPushButton, 1);
}

void FormatDialog::End(int result) {
  {
    std::lock_guard lock(mutex_);
    if (finished_) return;
    finished_ = true;
    result_ = result;
  }
  ended_.notify_all();
  Changed();
}

bool FormatDialog::Finished() const {
  std::lock_guard lock(mutex_);
  return finished_;
}

int FormatDialog::Result() const {
  std::lock_guard lock(mutex_);
  return result_;
}

int FormatDialog::Wait() {
  std::unique_lock lock(mutex_);
  ended_.wait(lock, [this] { return finished_; });
  return result_;
}

void FormatDialog::Processed(int control, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  const std::thread::id owner = OwnerOf(this);
  std::vector<WindowHook> hooks;
  {
    Windows& w = TheWindows();
    std::lock_guard lock(w.mutex);
    for (const auto& [handle, hook] : w.hooks)
      if (hook.first == owner) hooks.push_back(hook.second);
  }
  const ProcessedMessage record{this, control, message, wParam, lParam};
  for (const auto& hook : hooks) hook(0, record);
}

uintptr_t SetThreadHook(std::thread::id thread, WindowHook hook) {
  if (!hook) return 0;
  Windows& w = TheWindows();
  std::lock_guard lock(w.mutex);
  const uintptr_t handle = w.nextHook++;
  w.hooks[handle] = {thread, std::move(hook)};
  return handle;
}

void RemoveThreadHook(uintptr_t handle) {
  Windows& w = TheWindows();
  std::lock_guard lock(w.mutex);
  w.hooks.erase(handle);
}

void RequestDialog(std::thread::id thread, const std::shared_ptr<FormatDialog>& dialog) {
  Windows& w = TheWindows();
  std::lock_guard lock(w.mutex);
  w.requested.push_back({thread, dialog});
}

void ServeDialogs(UiService& ui) {
  Windows& w = TheWindows();
  std::vector<std::pair<std::thread::id, std::shared_ptr<FormatDialog>>> fresh;
  {
    std::lock_guard lock(w.mutex);
    fresh.swap(w.requested);
    w.open.insert(w.open.end(), fresh.begin(), fresh.end());
  }
  for (auto& [thread, dialog] : fresh) {
    ui.OpenFormatDialog(dialog);
    dialog->Open();
  }
  std::vector<std::shared_ptr<FormatDialog>> open;
  {
    std::lock_guard lock(w.mutex);
    for (auto& entry : w.open) open.push_back(entry.second);
  }
  // A dialog with nothing left to process waits for its user.
  for (auto& dialog : open)
    if (!dialog->Pump() && !dialog->Finished()) ui.FormatDialogIdle(*dialog);
  std::lock_guard lock(w.mutex);
  w.open.erase(std::remove_if(w.open.begin(), w.open.end(),
                              [](const auto& e) { return e.second->Finished(); }),
               w.open.end());
}

void EnumThreadWindows(std::thread::id thread, const std::function<bool(FormatDialog&)>& visit) {
  std::vector<std::shared_ptr<FormatDialog>> windows;
  {
    Windows& w = TheWindows();
    std::lock_guard lock(w.mutex);
    for (const auto& [owner, dialog] : w.open)
      if (owner == thread && !dialog->Finished()) windows.push_back(dialog);
  }
  for (auto& dialog : windows)
    if (!visit(*dialog)) return;
}

}  // namespace ui
