#include "ui/QtFormatDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace ui {

TFormatDlg::TFormatDlg(std::shared_ptr<FormatDialog> model, QWidget* parent)
    : QDialog(parent), model_(std::move(model)) {
  setWindowTitle(QString::fromStdString("Format " + model_->DriveName()));
  setAttribute(Qt::WA_DeleteOnClose);
  auto* layout = new QGridLayout(this);
  auto* capacity = new QComboBox(this);
  capacity->addItem(QString::fromStdString(model_->Text(kFormatCapacity)));
  auto* label = new QLineEdit(this);
  label->setMaxLength(11);
  auto* quick = new QCheckBox(QString::fromStdString(model_->Text(kFormatQuick)), this);
  auto* system = new QCheckBox(QString::fromStdString(model_->Text(kFormatSystemFiles)), this);
  auto* start = new QPushButton(this);
  auto* close = new QPushButton(this);
  status_ = new QLabel(this);
  layout->addWidget(new QLabel("Capacity:", this), 0, 0);
  layout->addWidget(capacity, 0, 1);
  layout->addWidget(new QLabel("Label:", this), 1, 0);
  layout->addWidget(label, 1, 1);
  layout->addWidget(quick, 2, 1);
  layout->addWidget(system, 3, 1);
  layout->addWidget(status_, 4, 0, 1, 2);
  layout->addWidget(start, 5, 0);
  layout->addWidget(close, 5, 1);
  controls_ = {{kFormatCapacity, capacity},  {kFormatLabel, label}, {kFormatQuick, quick},
               {kFormatSystemFiles, system}, {kFormatStart, start}, {kFormatClose, close}};
  for (auto& [id, widget] : controls_) widget->setProperty("controlId", id);

  connect(start, &QPushButton::clicked, this, [this] { model_->Click(kFormatStart); });
  connect(close, &QPushButton::clicked, this, [this] { model_->Click(kFormatClose); });
  connect(quick, &QCheckBox::clicked, this, [this] { model_->Click(kFormatQuick); });
  connect(system, &QCheckBox::clicked, this, [this] { model_->Click(kFormatSystemFiles); });
  connect(label, &QLineEdit::textEdited, this,
          [this](const QString& text) { model_->TypeText(kFormatLabel, text.toStdString()); });
  model_->onChange = [this] { Refresh(); };
  Refresh();
}

TFormatDlg::~TFormatDlg() {
  model_->onChange = nullptr;
}

QWidget* TFormatDlg::Control(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

void TFormatDlg::reject() {
  model_->Click(kFormatClose);
}

void TFormatDlg::Refresh() {
  for (auto& [id, widget] : controls_) {
    widget->setEnabled(model_->Enabled(id));
    const QString text = QString::fromStdString(model_->Text(id));
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
      if (edit->text() != text) edit->setText(text);
    } else if (auto* check = qobject_cast<QCheckBox*>(widget)) {
      check->setChecked(model_->Checked(id));
    } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
      button->setText(text);
    }
  }
  status_->setText(QString::fromStdString(model_->Status()));
  if (model_->Finished()) {
    model_->onChange = nullptr;
    // Closed from the event loop: the model may still be inside its own call.
    QTimer::singleShot(0, this, [this] { done(model_->Result()); });
  }
}

}  // namespace ui
