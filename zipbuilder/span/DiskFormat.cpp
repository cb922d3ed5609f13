// Formatting a removable disk before its volume is written: ZipFormat starts the
// worker and, on this (the GUI) thread, shows the dialog it asks for and
// processes events until the worker has finished; the worker's hook works the
// dialog's controls.
#include "zipbuilder/span/DiskFormat.h"

#include <chrono>
#include <memory>

#include "zipbuilder/ZipBuilder.h"
#include "zipbuilder/core/ResultCodes.h"
#include "platform/Drives.h"
#include "ui/UiService.h"

namespace {

// The builder whose format runs (none when idle), and the running hook.
std::atomic<TZipBuilder*> formatBuilder{nullptr};
std::atomic<uintptr_t> formatHook{0};

constexpr size_t kLabelFieldLength = 11;

}  // namespace

TSHFormatThread::TSHFormatThread(TZipBuilder* builder, bool createSuspended) : builder_(builder) {
  TZipBuilder* idle = nullptr;
  if (!formatBuilder.compare_exchange_strong(idle, builder)) {
    terminated_ = true;  // a format is running: this worker is refused
  } else {
    builder->format_.autoStart = true;
  }
  if (!createSuspended) Resume();
}

TSHFormatThread::~TSHFormatThread() {
  WaitFor();
  if (!terminated_) formatBuilder = nullptr;
}

void TSHFormatThread::Resume() {
  if (thread_.joinable() || finished_) return;
  thread_ = std::thread([this] { Execute(); });
  threadId_ = thread_.get_id();
}

void TSHFormatThread::WaitFor() {
  if (thread_.joinable()) thread_.join();
}

void TSHFormatThread::Execute() {
  if (terminated_) {
    finished_ = true;  // ZipFormat answers -1 for a refused worker
    return;
  }
  TZipBuilder& builder = *builder_;
  platform::DriveProvider& drives = builder.Drives();
  const std::string root =
      std::string(1, static_cast<char>('A' + builder.format_.driveNumber)) + ":\\";
  // Drives the platform cannot format show no dialog: the result stays -3.
  if (drives.CanFormatDrive(root)) {
    const uintptr_t hook = ui::SetThreadHook(std::this_thread::get_id(), CallWndRetProc);
    if (hook != 0) {
      formatHook = hook;
      auto dialog = std::make_shared<ui::FormatDialog>(
          builder.OwnerWindow, root.substr(0, 2), drives.GetVolumeInformation(root).label,
          [&drives, root](const std::string& label, bool) {
            return drives.FormatDrive(root, label);
          });
      ui::RequestDialog(std::this_thread::get_id(), dialog);
      builder.format_.result = dialog->Wait();
      ui::RemoveThreadHook(hook);
      formatHook = 0;
    }
  }
  builder.format_.state = 2;
  finished_ = true;
}

void TSHFormatThread::CallWndRetProc(int code, const ui::ProcessedMessage& message) {
  // Hooks of a thread are called one after another by the window system, so
  // there is no next hook to pass the call on to.
  if (code < 0) return;
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
  TZipBuilder* builder = formatBuilder;
  if (!builder) return;
  // Until ZipFormat has found the dialog, the dialog is the one of this thread
  // that processed the message (its controls announce themselves at once).
  ui::FormatDialog* dialog = builder->format_.dialog ? builder->format_.dialog : message.dialog;
  if (message.dialog != dialog) return;

  if (message.message == ui::kWmShowWindow || message.message == ui::kWmEnable) {
    switch (message.control) {
      case ui::kFormatCapacity:
        dialog->Enable(ui::kFormatCapacity, false);
        break;
      case ui::kFormatQuick:
        dialog->Check(ui::kFormatQuick, true);
        dialog->Enable(ui::kFormatQuick, false);
        break;
      case ui::kFormatLabel:
        dialog->Enable(ui::kFormatLabel, false);
        break;
      case ui::kFormatSystemFiles:
        dialog->Post(ui::kFormatSystemFiles, ui::kBmSetCheck, 0);
        break;
      default:
        break;
    }
  }
  if (message.message == ui::kWmUser2 && !builder->ConfirmErase && builder->format_.autoStart) {
    dialog->Post(ui::kFormatStart, ui::kBmClick, 0);
    builder->format_.autoStart = false;
  }
  // The field holds at most 11 characters, as a disk label does: the label is
  // compared and set at that length, so that setting it settles the field.
  const std::string label = builder->VolumeName().substr(0, kLabelFieldLength);
  if (message.message == ui::kWmSetText && message.control == ui::kFormatLabel &&
      dialog->Text(ui::kFormatLabel).substr(0, kLabelFieldLength) != label)
    dialog->SetText(ui::kFormatLabel, label);
  if (message.message == ui::kBmSetStyle && message.wParam == ui::kBsPushButton &&
      message.control == ui::kFormatClose && !builder->ConfirmErase)
    dialog->Post(ui::kFormatClose, ui::kBmClick, 0);
}

bool TZipBuilder::EnumThreadWndProc(ui::FormatDialog& window, TZipBuilder* builder) {
  if (window.Parent() != builder->OwnerWindow) return true;
  builder->format_.dialog = &window;
  builder->format_.state = 1;
  return false;
}

int TZipBuilder::ZipFormat() {
  // A refused worker must not disturb the running format: it is checked before
  // any state is reset.
  std::unique_ptr<TSHFormatThread> worker;
  try {
    worker = std::make_unique<TSHFormatThread>(this, true);
  } catch (...) {
    return kFormatNotRun;
  }
  if (worker->Terminated()) {
    worker->Resume();
    worker->WaitFor();
    return kFormatError;
  }
  format_.state = 0;
  format_.result = kFormatNotRun;
  format_.dialog = nullptr;
  worker->Resume();

  auto enumerate = [this](ui::FormatDialog& window) { return EnumThreadWndProc(window, this); };
  while (format_.state == 0) {
    ui_->ProcessMessages();
    ui::ServeDialogs(*ui_);
    ui::EnumThreadWindows(worker->ThreadID(), enumerate);
  }
  // The dialog lives on this thread: keep it going until the worker is done.
  while (!worker->Finished()) {
    ui_->ProcessMessages();
    ui::ServeDialogs(*ui_);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  worker.reset();
  format_.dialog = nullptr;
  return format_.result;
}
