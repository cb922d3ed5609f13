#include "ui/QtUi.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include "ui/QtFormatDlg.h"
#include "ui/QtPasswordDlg.h"

namespace ui {

namespace {

struct BoxButton {
  QMessageBox::StandardButton qt;
  int id;
};

// The buttons of a MessageBoxA style, in their order on the box.
std::vector<BoxButton> ButtonsOf(uint32_t style) {
  switch (style & 0xF) {
    case kMbOkCancel: return {{QMessageBox::Ok, kIdOk}, {QMessageBox::Cancel, kIdCancel}};
    case kMbAbortRetryIgnore:
      return {{QMessageBox::Abort, kIdAbort}, {QMessageBox::Retry, kIdRetry}, {QMessageBox::Ignore, kIdIgnore}};
    case kMbYesNoCancel:
      return {{QMessageBox::Yes, kIdYes}, {QMessageBox::No, kIdNo}, {QMessageBox::Cancel, kIdCancel}};
    case kMbYesNo: return {{QMessageBox::Yes, kIdYes}, {QMessageBox::No, kIdNo}};
    case kMbRetryCancel: return {{QMessageBox::Retry, kIdRetry}, {QMessageBox::Cancel, kIdCancel}};
    default: return {{QMessageBox::Ok, kIdOk}};
  }
}

QMessageBox::Icon IconOf(uint32_t style) {
  switch (style & 0xF0) {
    case kMbIconError: return QMessageBox::Critical;
    case kMbIconQuestion: return QMessageBox::Question;
    case kMbIconWarning: return QMessageBox::Warning;
    case kMbIconInformation: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

}  // namespace

int QtUi::MessageBox(const std::string& text, const std::string& caption, uint32_t style) {
  QMessageBox box(IconOf(style), QString::fromStdString(caption), QString::fromStdString(text));
  std::vector<BoxButton> buttons = ButtonsOf(style);
  for (const auto& b : buttons) box.addButton(b.qt);
  size_t defaultIndex = (style >> 8) & 0xF;  // MB_DEFBUTTON2 = 0x100, MB_DEFBUTTON3 = 0x200
  if (defaultIndex >= buttons.size()) defaultIndex = 0;
  box.setDefaultButton(buttons[defaultIndex].qt);
  if (style & kMbTopMost) box.setWindowFlags(box.windowFlags() | Qt::WindowStaysOnTopHint);
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  for (const auto& b : buttons)
    if (clicked && box.standardButton(clicked) == b.qt) return b.id;
  // Closed without a button: Cancel when the box has one, else the only button.
  for (const auto& b : buttons)
    if (b.id == kIdCancel) return kIdCancel;
  return buttons.size() == 1 ? buttons[0].id : kIdCancel;
}

PasswordAnswer QtUi::PasswordDialog(const std::string& caption, const std::string& prompt,
                                    const std::vector<DialogButton>& buttons) {
  TPasswordDlg dialog(buttons);
  PasswordAnswer answer;
  answer.text = dialog.ShowModalPwdDlg(caption, prompt);
  answer.modalResult = dialog.ModalResult();
  return answer;
}

void QtUi::ProcessMessages() { QApplication::processEvents(); }

void QtUi::OpenFormatDialog(const std::shared_ptr<FormatDialog>& dialog) {
  auto* window = new TFormatDlg(dialog, QApplication::activeWindow());
  window->setWindowModality(Qt::ApplicationModal);
  window->show();
}

void QtUi::SetCursor(int cursor) {
  int shown = GetCursor();
  if (cursor == shown) return;
  if (cursor == kCursorHourglass)
    QApplication::setOverrideCursor(Qt::WaitCursor);
  else if (shown == kCursorHourglass)
    QApplication::restoreOverrideCursor();
  UiService::SetCursor(cursor);
}

}  // namespace ui
