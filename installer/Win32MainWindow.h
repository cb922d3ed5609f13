// The installer's main window on the Win32 windowing calls, laid out as its form
// design says: client area 368 x 161, dialog border, always on top, centred.
// The checks and the run are Installer's; this class shows them.
#pragma once

#include <memory>
#include <string>

#include "installer/Installer.h"
#include "ui/win32/Win32Window.h"

namespace installer {

class Win32MainWindow : public InstallerView {
 public:
  // `setup.view` is ignored: the window is the view.
  explicit Win32MainWindow(InstallerSetup setup);
  ~Win32MainWindow() override;

  Installer& Logic() { return *installer_; }
  // Shows the window (FormShow runs once it is on the screen) and runs the
  // program's messages until the application ends. False when the window
  // could not be made (no display).
  bool Run();

  // InstallerView
  std::string Caption() override { return caption_; }
  void AddMessageLine(const std::string& line) override;
  void ClearMessage() override;
  std::string PathCaption() override { return path_; }
  void SetPathCaption(const std::string& text) override;
  void SetOkEnabled(bool enabled) override;
  void SetButtonsEnabled(bool enabled) override;
  void FocusCancel() override;
  void Hide() override;
  void Terminate() override;

 private:
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  void RunHandler(void (Installer::*handler)());

  ui::UiService& ui_;
  std::unique_ptr<Installer> installer_;
  ui::win32::Win32Window window_;
  // Controls, named as in the design.
  HWND memoBericht = nullptr;
  HWND edPath = nullptr;
  HWND BitBtn1 = nullptr;
  HWND BitBtn2 = nullptr;
  std::string caption_;
  std::string message_;  // memoBericht's lines, "\r\n" between them
  std::string path_;     // edPath's caption
  bool terminated_ = false;
};

}  // namespace installer
