// The drive format dialog on Qt widgets: a view of a FormatDialog whose widgets
// carry the control identifiers (property "controlId") and whose user actions go
// to the model. It closes itself when the model ends.
#pragma once

#include <QDialog>
#include <map>
#include <memory>

#include "ui/FormatDialog.h"

class QLabel;

namespace ui {

class TFormatDlg : public QDialog {
  Q_OBJECT
 public:
  TFormatDlg(std::shared_ptr<FormatDialog> model, QWidget* parent = nullptr);
  ~TFormatDlg() override;
  QWidget* Control(int id) const;
  QLabel* StatusLine() const { return status_; }

 protected:
  void reject() override;  // Escape and the close box: the Close control

 private:
  void Refresh();
  std::shared_ptr<FormatDialog> model_;
  std::map<int, QWidget*> controls_;
  QLabel* status_ = nullptr;
};

}  // namespace ui
