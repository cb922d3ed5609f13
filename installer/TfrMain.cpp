// The main window: client area 368 x 161, dialog border, always on top, centred.
#include "installer/TfrMain.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <exception>

#include "installer/MakerSettings.h"
#include "ui/UiService.h"

namespace installer {

namespace {

// The design's font, or a sans font of the same pixel height where it is missing.
QFont DesignFont(int pixelHeight, bool bold) {
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPixelSize(pixelHeight);
  font.setBold(bold);
  if (QFontInfo(font).family() != QStringLiteral("MS Sans Serif")) {
    font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
  }
  return font;
}

// The classic colour of an active window border, the memo's background.
const QColor kActiveBorder(0xB4, 0xB4, 0xB4);

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }

}  // namespace

TfrMain::TfrMain(InstallerSetup setup, QWidget* parent) : QDialog(parent), ui_(*setup.ui) {
  setup.view = this;
  installer_ = std::make_unique<Installer>(setup);

  setWindowTitle(QString::fromUtf8(kCompanyCaption));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
  setFixedSize(368, 161);
  setFont(DesignFont(11, false));

  memoBericht = new QPlainTextEdit(this);
  memoBericht->setObjectName(QStringLiteral("memoBericht"));
  memoBericht->setGeometry(16, 7, 345, 38);
  memoBericht->setFrameShape(QFrame::NoFrame);
  memoBericht->setTabChangesFocus(true);
  memoBericht->document()->setDocumentMargin(1);  // an edit control's narrow margin
  memoBericht->setFont(DesignFont(13, true));
  memoBericht->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  memoBericht->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  QPalette memoPalette = memoBericht->palette();
  memoPalette.setColor(QPalette::Base, kActiveBorder);
  memoBericht->setPalette(memoPalette);

  edPath = new QLabel(this);
  edPath->setObjectName(QStringLiteral("edPath"));
  edPath->setGeometry(24, 54, 329, 59);
  edPath->setTextFormat(Qt::PlainText);
  edPath->setWordWrap(true);
  edPath->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  edPath->setFont(DesignFont(13, true));

  BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this);
  BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
  BitBtn1->setGeometry(224, 122, 97, 33);
  BitBtn1->setDefault(true);
  BitBtn1->setAutoDefault(true);

  BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Cancel"), this);
  BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
  BitBtn2->setGeometry(32, 122, 97, 33);
  // Enter on the focused Cancel cancels; elsewhere Enter stays with OK.
  BitBtn2->setAutoDefault(true);

  setTabOrder(memoBericht, BitBtn1);
  setTabOrder(BitBtn1, BitBtn2);
  memoBericht->setFocus();

  connect(BitBtn1, &QPushButton::clicked, this, [this] { RunHandler(&Installer::BitBtn1Click); });
  connect(BitBtn2, &QPushButton::clicked, this, [this] { RunHandler(&Installer::BitBtn2Click); });
}

TfrMain::~TfrMain() = default;

void TfrMain::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (formShown_) return;
  formShown_ = true;
  if (QScreen* screen = this->screen()) {
    QRect area = screen->availableGeometry();
    move(area.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
  }
  RunHandler(&Installer::FormShow);
}

void TfrMain::reject() {
  // Escape and the close box act as Cancel, and like it do nothing during the run.
  if (!terminated_ && BitBtn2->isEnabled()) RunHandler(&Installer::BitBtn2Click);
}

// An exception that escapes a handler is shown as the application shows any.
void TfrMain::RunHandler(void (Installer::*handler)()) {
  try {
    (installer_.get()->*handler)();
  } catch (const std::exception& e) {
    ui_.MessageBox(e.what(), ui::ApplicationTitle(), ui::kMbIconError);
  }
}

std::string TfrMain::Caption() { return windowTitle().toStdString(); }

void TfrMain::AddMessageLine(const std::string& line) {
  memoBericht->appendPlainText(FromUtf8(line));
  // Adding a line leaves the view where it was: at the message's first line.
  memoBericht->moveCursor(QTextCursor::Start);
}

void TfrMain::ClearMessage() { memoBericht->clear(); }

std::string TfrMain::PathCaption() { return edPath->text().toStdString(); }

void TfrMain::SetPathCaption(const std::string& text) { edPath->setText(FromUtf8(text)); }

void TfrMain::SetOkEnabled(bool enabled) { BitBtn1->setEnabled(enabled); }

void TfrMain::SetButtonsEnabled(bool enabled) {
  BitBtn1->setEnabled(enabled);
  BitBtn2->setEnabled(enabled);
}

void TfrMain::FocusCancel() { BitBtn2->setFocus(); }

void TfrMain::Hide() { hide(); }

void TfrMain::Terminate() {
  terminated_ = true;
  hide();
  // Ends the message loop once control returns to it, as the application's
  // Terminate does.
  QTimer::singleShot(0, qApp, [] { QCoreApplication::quit(); });
}

}  // namespace installer
