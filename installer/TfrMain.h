// The installer's main window in Qt widgets, laid out as its form design says. The
// checks and the run are Installer's; this class shows them.
#pragma once

#include <QDialog>
#include <memory>

#include "installer/Installer.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace installer {

class TfrMain : public QDialog, public InstallerView {
 public:
  // `setup.view` is ignored: the window is the view.
  explicit TfrMain(InstallerSetup setup, QWidget* parent = nullptr);
  ~TfrMain() override;

  Installer& Logic() { return *installer_; }

  // InstallerView
  std::string Caption() override;
  void AddMessageLine(const std::string& line) override;
  void ClearMessage() override;
  std::string PathCaption() override;
  void SetPathCaption(const std::string& text) override;
  void SetOkEnabled(bool enabled) override;
  void SetButtonsEnabled(bool enabled) override;
  void FocusCancel() override;
  void Hide() override;
  void Terminate() override;

  // Controls, named as in the design.
  QPlainTextEdit* memoBericht = nullptr;
  QLabel* edPath = nullptr;
  QPushButton* BitBtn1 = nullptr;
  QPushButton* BitBtn2 = nullptr;

  // True once FormShow has run.
  bool Shown() const { return formShown_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void reject() override;  // Escape and the close box act as Cancel

 private:
  void RunHandler(void (Installer::*handler)());

  ui::UiService& ui_;
  std::unique_ptr<Installer> installer_;
  bool formShown_ = false;
  bool terminated_ = false;
};

}  // namespace installer
