// Asking for passwords through the UI service.
#include <gtest/gtest.h>

#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"

namespace {

struct PasswordsTest : ::testing::Test {
  ui::ScriptedUi ui;
  TZipBuilder zip{nullptr, &ui};
};

TEST_F(PasswordsTest, UnattendedShowsNoDialogAndReports) {
  zip.Unattended = true;
  EXPECT_EQ(zip.GetExtrPassword(), "");
  EXPECT_EQ(zip.ErrCode(), 10151);
  EXPECT_EQ(zip.Message(), "Error - no extract password given");
  EXPECT_EQ(zip.GetAddPassword(), "");
  EXPECT_EQ(zip.ErrCode(), 10150);
  EXPECT_EQ(zip.Message(), "Error - no add password given");
  EXPECT_TRUE(ui.passwordDialogs.empty());
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(PasswordsTest, ExtractDialogHasThreeButtonsFromTheMessageTable) {
  ui.passwordAnswers.push_back({ui::kIdOk, "open sesame"});
  EXPECT_EQ(zip.GetExtrPassword(), "open sesame");
  EXPECT_EQ(zip.Password, "open sesame") << "asked outside the callback: kept";
  ASSERT_EQ(ui.passwordDialogs.size(), 1u);
  const auto& dialog = ui.passwordDialogs[0];
  EXPECT_EQ(dialog.caption, "Password");
  EXPECT_EQ(dialog.prompt, "Enter Password ");
  ASSERT_EQ(dialog.buttons.size(), 3u);
  EXPECT_EQ(dialog.buttons[0].caption, "&Ok");
  EXPECT_EQ(dialog.buttons[0].modalResult, 1);
  EXPECT_TRUE(dialog.buttons[0].isDefault);
  EXPECT_EQ(dialog.buttons[1].caption, "&Cancel");
  EXPECT_EQ(dialog.buttons[1].modalResult, 2);
  EXPECT_EQ(dialog.buttons[2].caption, "Cancel all");
  EXPECT_EQ(dialog.buttons[2].modalResult, 9);
}

TEST_F(PasswordsTest, GetPasswordMapsModalResults) {
  struct Case {
    int modalResult;
    TPasswordButton button;
    std::string text;
  } cases[] = {{1, pwbOk, "typed"}, {2, pwbCancel, ""}, {9, pwbCancelAll, ""}, {3, pwbAbort, ""}, {7, pwbAbort, ""}};
  for (const auto& c : cases) {
    ui.passwordAnswers.push_back({c.modalResult, "typed"});
    std::string text = "stale";
    EXPECT_EQ(zip.GetPassword("c", "p", text, TPasswordButtons{pwbCancel, pwbCancelAll, pwbAbort}), c.button);
    EXPECT_EQ(text, c.text) << c.modalResult;
  }
  EXPECT_EQ(ui.passwordDialogs.back().buttons.size(), 4u);
  EXPECT_EQ(ui.passwordDialogs.back().buttons[3].caption, "Abort");
}

TEST_F(PasswordsTest, EmptyOkOrCancelLeavesPasswordAlone) {
  zip.Password = "before";
  ui.passwordAnswers.push_back({ui::kIdOk, ""});
  EXPECT_EQ(zip.GetExtrPassword(), "");
  ui.passwordAnswers.push_back({9, "ignored"});
  EXPECT_EQ(zip.GetExtrPassword(), "");
  EXPECT_EQ(zip.Password, "before");
}

TEST_F(PasswordsTest, AddPasswordIsConfirmed) {
  ui.passwordAnswers = {{ui::kIdOk, "Secret"}, {ui::kIdOk, "Secret"}};
  EXPECT_EQ(zip.GetAddPassword(), "Secret");
  EXPECT_EQ(zip.Password, "Secret");
  ASSERT_EQ(ui.passwordDialogs.size(), 2u);
  EXPECT_EQ(ui.passwordDialogs[0].buttons.size(), 2u);
  EXPECT_EQ(ui.passwordDialogs[1].prompt, "Confirm Password ");

  zip.Password.clear();
  ui.passwordAnswers = {{ui::kIdOk, "Secret"}, {ui::kIdOk, "secret"}};
  EXPECT_EQ(zip.GetAddPassword(), "");
  EXPECT_EQ(zip.ErrCode(), 10104);
  EXPECT_EQ(zip.Message(), "Error - passwords do NOT match\nPassword ignored");
  EXPECT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(zip.Password, "");

  ui.passwordAnswers = {{ui::kIdOk, "Secret"}, {ui::kIdCancel, ""}};
  EXPECT_EQ(zip.GetAddPassword(), "");
  EXPECT_EQ(ui.passwordDialogs.size(), 6u);
  ui.passwordAnswers = {{ui::kIdCancel, ""}};
  EXPECT_EQ(zip.GetAddPassword(), "");
  EXPECT_EQ(ui.passwordDialogs.size(), 7u) << "no confirmation after a cancelled first entry";
}

}  // namespace
