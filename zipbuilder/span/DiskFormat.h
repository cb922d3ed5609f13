// The drive format worker: a thread that runs the format dialog for the builder
// whose format is running (one per process) with a hook on its own thread that
// drives the dialog's controls.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "ui/FormatDialog.h"

class TZipBuilder;

class TSHFormatThread {
 public:
  // Refused (terminated at once) while another format runs. The body starts now
  // unless `createSuspended`; then Resume() starts it.
  TSHFormatThread(TZipBuilder* builder, bool createSuspended);
  ~TSHFormatThread();
  TSHFormatThread(const TSHFormatThread&) = delete;
  TSHFormatThread& operator=(const TSHFormatThread&) = delete;

  void Resume();
  // Waits for the body to end; the object stays valid until destroyed.
  void WaitFor();
  bool Finished() const { return finished_; }
  bool Terminated() const { return terminated_; }
  std::thread::id ThreadID() const { return threadId_; }

  // The hook on the worker's thread: presets and locks controls of the dialog,
  // keeps its label field on the volume label and, unless ConfirmErase is set,
  // presses Start once and Close when it becomes a plain push button.
  static void CallWndRetProc(int code, const ui::ProcessedMessage& message);

 private:
  void Execute();
  TZipBuilder* builder_;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  std::thread thread_;
  std::thread::id threadId_;
};
