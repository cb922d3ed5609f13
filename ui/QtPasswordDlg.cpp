#include "ui/QtPasswordDlg.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

namespace ui {

namespace {

constexpr int kButtonPitch = 124;
constexpr int kMaxPasswordLength = 80;

// The standard glyph of a button, chosen by the modal result it gives.
QStyle::StandardPixmap GlyphFor(int modalResult) {
  switch (modalResult) {
    case kIdOk: return QStyle::SP_DialogOkButton;
    case kIdCancel: return QStyle::SP_DialogCancelButton;
    case kIdAbort: return QStyle::SP_DialogAbortButton;
    default: return QStyle::SP_DialogNoButton;  // "Cancel all"
  }
}

}  // namespace

TPasswordDlg::TPasswordDlg(const std::vector<DialogButton>& buttons, QWidget* owner) : QDialog(owner) {
  const int n = static_cast<int>(buttons.size());
  setFixedSize(n * kButtonPitch + 35, 137);
  QFont dialogFont("Arial");
  dialogFont.setPixelSize(12);
  dialogFont.setBold(true);
  setFont(dialogFont);
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

  prompt_ = new QLabel(this);
  prompt_->setGeometry(20, 8, 297, 18);
  prompt_->setWordWrap(false);

  entry_ = new QLineEdit(this);
  entry_->setGeometry(20, 40, n * kButtonPitch - 10, entry_->sizeHint().height());
  entry_->setEchoMode(QLineEdit::Password);
  entry_->setStyleSheet("QLineEdit { lineedit-password-character: 42; }");  // "*"
  entry_->setMaxLength(kMaxPasswordLength);

  for (int j = 0; j < n; ++j) {
    const DialogButton& spec = buttons[static_cast<size_t>(j)];
    auto* button = new QPushButton(QString::fromStdString(spec.caption), this);
    button->setGeometry(j * kButtonPitch + 20, 72, 114, 28);
    button->setIcon(style()->standardIcon(GlyphFor(spec.modalResult)));
    button->setDefault(spec.isDefault);
    button->setAutoDefault(spec.isDefault);
    int result = spec.modalResult;
    connect(button, &QPushButton::clicked, this, [this, result] {
      modalResult_ = result;
      done(result);
    });
    buttons_.push_back(button);
  }
}

TPasswordDlg::~TPasswordDlg() = default;  // the widgets are children of the dialog

void TPasswordDlg::reject() {
  modalResult_ = kIdCancel;
  done(kIdCancel);
}

std::string TPasswordDlg::ShowModalPwdDlg(const std::string& caption, const std::string& prompt) {
  setWindowTitle(QString::fromStdString(caption));
  prompt_->setText(QString::fromStdString(prompt));
  modalResult_ = kIdCancel;
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  exec();
  return modalResult_ == kIdOk ? entry_->text().toStdString() : std::string();
}

}  // namespace ui
