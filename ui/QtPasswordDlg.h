// TPasswordDlg: the modal password dialog, built in code. A masked entry of at
// most 80 characters under a prompt, and a row of buttons, each closing the
// dialog with its own modal result.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "ui/UiService.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace ui {

class TPasswordDlg : public QDialog {
  Q_OBJECT

 public:
  // `buttons` in the order they are shown; the first is normally OK.
  explicit TPasswordDlg(const std::vector<DialogButton>& buttons, QWidget* owner = nullptr);
  ~TPasswordDlg() override;

  // Shows the dialog modally; the entered text when closed with modal result 1, else "".
  virtual std::string ShowModalPwdDlg(const std::string& caption, const std::string& prompt);
  // The modal result the dialog was last closed with (2 for the close box or Escape).
  int ModalResult() const { return modalResult_; }

  QLineEdit* Entry() const { return entry_; }
  QLabel* Prompt() const { return prompt_; }
  const std::vector<QPushButton*>& Buttons() const { return buttons_; }

  void reject() override;  // close box and Escape: modal result 2

 private:
  std::vector<QPushButton*> buttons_;
  QLineEdit* entry_ = nullptr;
  QLabel* prompt_ = nullptr;
  int modalResult_ = kIdCancel;
};

}  // namespace ui
