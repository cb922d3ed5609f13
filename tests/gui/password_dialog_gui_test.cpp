// The password dialog's geometry, masking, length limit and modal results.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include "ui/QtPasswordDlg.h"

namespace {

std::vector<ui::DialogButton> ExtractButtons() {
  return {{"&Ok", ui::kIdOk, true, false}, {"&Cancel", ui::kIdCancel, false, true}, {"Cancel all", 9, false, true}};
}

std::vector<ui::DialogButton> AddButtons() {
  return {{"&Ok", ui::kIdOk, true, false}, {"&Cancel", ui::kIdCancel, false, true}};
}

TEST(PasswordDialog, GeometryFollowsTheNumberOfButtons) {
  struct Case {
    std::vector<ui::DialogButton> buttons;
    int width, entryWidth;
  } cases[] = {{ExtractButtons(), 407, 362}, {AddButtons(), 283, 238}};
  for (const auto& c : cases) {
    ui::TPasswordDlg dialog(c.buttons);
    EXPECT_EQ(dialog.width(), c.width);
    EXPECT_EQ(dialog.height(), 137);
    EXPECT_EQ(dialog.Entry()->x(), 20);
    EXPECT_EQ(dialog.Entry()->y(), 40);
    EXPECT_EQ(dialog.Entry()->width(), c.entryWidth);
    EXPECT_EQ(dialog.Prompt()->geometry(), QRect(20, 8, 297, 18));
    ASSERT_EQ(dialog.Buttons().size(), c.buttons.size());
    for (size_t j = 0; j < c.buttons.size(); ++j) {
      EXPECT_EQ(dialog.Buttons()[j]->geometry(), QRect(static_cast<int>(j) * 124 + 20, 72, 114, 28));
      EXPECT_EQ(dialog.Buttons()[j]->text().toStdString(), c.buttons[j].caption);
      EXPECT_FALSE(dialog.Buttons()[j]->icon().isNull()) << j;
    }
    EXPECT_TRUE(dialog.font().bold());
    EXPECT_EQ(dialog.font().pixelSize(), 12);
  }
}

TEST(PasswordDialog, KeepsEightyTypedCharactersAndMasksThem) {
  ui::TPasswordDlg dialog(ExtractButtons());
  dialog.show();
  QTest::keyClicks(dialog.Entry(), QString(90, QChar('x')));
  EXPECT_EQ(dialog.Entry()->text(), QString(80, QChar('x')));
  EXPECT_EQ(dialog.Entry()->displayText(), QString(80, QChar('*')));
}

// Presses button `index` once the modal loop runs; returns what ShowModalPwdDlg gave.
std::string PressDuringModal(ui::TPasswordDlg& dialog, int index, const QString& typed) {
  QTimer::singleShot(0, &dialog, [&dialog, index, typed] {
    QTest::keyClicks(dialog.Entry(), typed);
    if (index < 0)
      dialog.reject();
    else
      dialog.Buttons()[static_cast<size_t>(index)]->click();
  });
  return dialog.ShowModalPwdDlg("Password", "Enter Password ");
}

TEST(PasswordDialog, EachButtonClosesWithItsModalResult) {
  struct Case {
    int index;
    int result;
    std::string text;
  } cases[] = {{0, 1, "secret"}, {1, 2, ""}, {2, 9, ""}, {-1, 2, ""}};
  for (const auto& c : cases) {
    ui::TPasswordDlg dialog(ExtractButtons());
    EXPECT_EQ(PressDuringModal(dialog, c.index, "secret"), c.text) << c.index;
    EXPECT_EQ(dialog.ModalResult(), c.result) << c.index;
    EXPECT_EQ(dialog.windowTitle().toStdString(), "Password");
    EXPECT_EQ(dialog.Prompt()->text().toStdString(), "Enter Password ");
  }
}

TEST(PasswordDialog, AbortButtonGivesThree) {
  std::vector<ui::DialogButton> buttons = AddButtons();
  buttons.push_back({"Abort", ui::kIdAbort, false, false});
  ui::TPasswordDlg dialog(buttons);
  EXPECT_EQ(dialog.width(), 3 * 124 + 35);
  EXPECT_EQ(PressDuringModal(dialog, 2, "pw"), "");
  EXPECT_EQ(dialog.ModalResult(), 3);
}

}  // namespace

int main(int argc, char** argv) {
  // Test discovery runs the program without the test's environment.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
