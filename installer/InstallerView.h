// What the installer's logic asks of its main window. The Qt window implements it;
// unattended runs and tests use HeadlessView.
#pragma once

#include <string>

#include "installer/MakerSettings.h"

namespace installer {

class InstallerView {
 public:
  virtual ~InstallerView() = default;
  virtual std::string Caption() = 0;                       // the window's caption
  virtual void AddMessageLine(const std::string& line) = 0;  // a line of memoBericht
  virtual void ClearMessage() = 0;                         // empties memoBericht
  virtual std::string PathCaption() = 0;                   // edPath's caption
  virtual void SetPathCaption(const std::string& text) = 0;
  virtual void SetOkEnabled(bool enabled) = 0;  // BitBtn1
  // BitBtn1 and BitBtn2 together: off while the installation runs, so that a
  // second click or Escape handled during the run starts or ends nothing.
  virtual void SetButtonsEnabled(bool enabled) = 0;
  virtual void FocusCancel() = 0;               // gives the focus to BitBtn2
  virtual void Hide() = 0;                      // hides the main window
  virtual void Terminate() = 0;                 // ends the application
};

// A window without a screen: keeps what the logic sets, for unattended runs and tests.
class HeadlessView : public InstallerView {
 public:
  std::string caption = kCompanyCaption;
  std::string message;  // the lines of memoBericht, each followed by "\n"
  std::string path;
  bool okEnabled = true;
  bool cancelEnabled = true;
  bool cancelFocused = false;
  bool hidden = false;
  bool terminated = false;

  std::string Caption() override { return caption; }
  void AddMessageLine(const std::string& line) override { message += line + "\n"; }
  void ClearMessage() override { message.clear(); }
  std::string PathCaption() override { return path; }
  void SetPathCaption(const std::string& text) override { path = text; }
  void SetOkEnabled(bool enabled) override { okEnabled = enabled; }
  void SetButtonsEnabled(bool enabled) override { okEnabled = cancelEnabled = enabled; }
  void FocusCancel() override { cancelFocused = true; }
  void Hide() override { hidden = true; }
  void Terminate() override { terminated = true; }
};

}  // namespace installer
