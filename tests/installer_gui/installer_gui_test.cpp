// The installer's window as designed, driven with real clicks on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <map>

#include "tests/installer/InstallerHarness.h"
#include "tests/support/FileTree.h"
#include "installer/TfrMain.h"

namespace {

using installer::TfrMain;
using testsupport::InstallerHarness;

// A scripted UI that, like the window's, lets the window handle its events while
// the engine calls back.
struct PumpingUi : ui::ScriptedUi {
  void ProcessMessages() override {
    ScriptedUi::ProcessMessages();
    QApplication::processEvents();
  }
};

std::unique_ptr<TfrMain> OpenWindow(InstallerHarness& h, ui::UiService* ui = nullptr) {
  auto window = std::make_unique<TfrMain>(
      installer::InstallerSetup{&h.env, ui ? ui : &h.ui, nullptr, h.ProgramPath()});
  window->show();
  QApplication::processEvents();
  return window;
}

TEST(InstallerWindow, LaidOutAsDesigned) {
  InstallerHarness h;
  h.InstallDemo("Update of Bravik Demo to version 6.10\ndemo.exe\n", "6.05");
  ASSERT_TRUE(h.MakePackage({{"version.ver", "bin\\demo.exe\n6.00\n6.10\n"}}));
  auto w = OpenWindow(h);
  ASSERT_TRUE(w->Shown());
  EXPECT_TRUE(h.ui.boxes.empty());
  EXPECT_EQ(w->Logic().Startup(), installer::StartupState::Ready);
  EXPECT_EQ(w->memoBericht->toPlainText(), "Update of Bravik Demo to version 6.10\n");
  EXPECT_EQ(w->memoBericht->verticalScrollBar()->value(), 0);  // the message's first line shows
  EXPECT_EQ(w->edPath->text(), "C:\\Program Files\\Demo");

  EXPECT_EQ(w->windowTitle(), "Bravik-Solen");
  EXPECT_EQ(w->size(), QSize(368, 161));
  EXPECT_EQ(w->minimumSize(), w->maximumSize());  // not resizable
  Qt::WindowFlags flags = w->windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(flags.testFlag(Qt::MSWindowsFixedSizeDialogHint));
  EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Dialog);

  QRect screen = w->screen()->availableGeometry();
  EXPECT_LE(std::abs(w->frameGeometry().center().x() - screen.center().x()), 1);
  EXPECT_LE(std::abs(w->frameGeometry().center().y() - screen.center().y()), 1);

  EXPECT_EQ(w->memoBericht->geometry(), QRect(16, 7, 345, 38));
  EXPECT_EQ(w->edPath->geometry(), QRect(24, 54, 329, 59));
  EXPECT_EQ(w->BitBtn1->geometry(), QRect(224, 122, 97, 33));
  EXPECT_EQ(w->BitBtn2->geometry(), QRect(32, 122, 97, 33));

  EXPECT_EQ(w->BitBtn1->text(), "OK");
  EXPECT_EQ(w->BitBtn2->text(), "Cancel");
  EXPECT_TRUE(w->BitBtn1->isDefault());
  EXPECT_FALSE(w->BitBtn2->isDefault());
  EXPECT_FALSE(w->BitBtn1->icon().isNull());
  EXPECT_FALSE(w->BitBtn2->icon().isNull());
  EXPECT_TRUE(w->BitBtn1->isEnabled());

  EXPECT_EQ(w->font().pixelSize(), 11);
  EXPECT_EQ(w->memoBericht->font().pixelSize(), 13);
  EXPECT_TRUE(w->memoBericht->font().bold());
  EXPECT_EQ(w->edPath->font().pixelSize(), 13);
  EXPECT_TRUE(w->edPath->font().bold());
  EXPECT_TRUE(w->edPath->wordWrap());
  EXPECT_EQ(w->memoBericht->frameShape(), QFrame::NoFrame);

  // Tab order: memo, OK, Cancel; the label takes no focus.
  w->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
  w->memoBericht->setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), w->BitBtn1);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), w->BitBtn2);
  EXPECT_EQ(w->edPath->focusPolicy(), Qt::NoFocus);

  QString shot = QString(ZB_SCREENSHOT_DIR) + "/installer_window.png";
  EXPECT_TRUE(w->grab().save(shot));
  EXPECT_TRUE(std::filesystem::exists(shot.toStdString()));
}

TEST(InstallerWindow, ShowsTheDescriptorAndDirectory) {
  InstallerHarness h;
  h.AddAppPath("demo.exe");
  h.WriteDescriptor("Update to 6.10\ndemo.exe\n");
  auto w = OpenWindow(h);
  // No package: the fatal box, after the texts were shown.
  ASSERT_EQ(h.ui.boxes.size(), 1u);
  EXPECT_EQ(h.ui.boxes[0].text, "Package incomplete !");
  EXPECT_EQ(w->memoBericht->toPlainText(), "Update to 6.10\n");
  EXPECT_EQ(w->edPath->text(), "C:\\Program Files\\Demo");
  EXPECT_FALSE(w->isVisible());
}

TEST(InstallerWindow, CancelClickEndsWithoutInstalling) {
  InstallerHarness h;
  auto w = OpenWindow(h);
  QTest::mouseClick(w->BitBtn2, Qt::LeftButton);
  EXPECT_EQ(w->Logic().Run(), installer::RunState::Cancelled);
  EXPECT_FALSE(w->isVisible());
  EXPECT_TRUE(h.ui.boxes.empty());
  EXPECT_EQ(w->Logic().ExitStatus(), installer::kExitStartupError);  // there was no descriptor
}

TEST(InstallerWindow, EscapeActsAsCancel) {
  InstallerHarness h;
  auto w = OpenWindow(h);
  QTest::keyClick(w.get(), Qt::Key_Escape);
  EXPECT_EQ(w->Logic().Run(), installer::RunState::Cancelled);
}

TEST(InstallerWindow, OkClickInstallsThePackage) {
  InstallerHarness h;
  h.InstallDemo("Update to 6.10\ndemo.exe\nbin\\demo.exe\n", "6.05");
  ASSERT_TRUE(h.MakePackage({{"version.ver", "bin\\demo.exe\n6.00\n6.10\n"}, {"bin/demo.exe", "6.10"}}));
  auto w = OpenWindow(h);
  ASSERT_EQ(w->Logic().Startup(), installer::StartupState::Ready);
  QTest::mouseClick(w->BitBtn1, Qt::LeftButton);
  EXPECT_EQ(w->Logic().Run(), installer::RunState::Succeeded);
  ASSERT_EQ(h.ui.boxes.size(), 1u);
  EXPECT_EQ(h.ui.boxes[0].text, "Success !\n\nFiles installed !");
  EXPECT_EQ(testsupport::ReadTextFile(h.InstallDirNative() + "/bin/demo.exe"), "6.10");
  ASSERT_EQ(h.shell.launches.size(), 1u);
  EXPECT_EQ(h.shell.launches[0].file, "C:\\Program Files\\Demo\\bin\\demo.exe");
  EXPECT_FALSE(w->isVisible());
  EXPECT_EQ(w->Logic().ExitStatus(), installer::kExitInstalled);
}

TEST(InstallerWindow, EnterOnTheFocusedCancelCancels) {
  InstallerHarness h;
  auto w = OpenWindow(h);
  w->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
  w->BitBtn2->setFocus();
  QTest::keyClick(w->BitBtn2, Qt::Key_Return);
  EXPECT_EQ(w->Logic().Run(), installer::RunState::Cancelled);
  EXPECT_FALSE(w->isVisible());
  EXPECT_TRUE(h.ui.boxes.empty());
}

TEST(InstallerWindow, OkClickedTwiceDuringTheRunInstallsOnce) {
  // Enough members that the engine calls back, and the window handles its events,
  // many times during the run; the second click comes then.
  InstallerHarness h;
  h.InstallDemo("Update to 6.10\ndemo.exe\nbin\\demo.exe\n", "6.05");
  std::map<std::string, std::string> files = {{"version.ver", "bin\\demo.exe\n6.00\n6.10\n"}};
  for (int i = 0; i < 200; ++i)
    files["data/f" + std::to_string(i) + ".txt"] = std::string(20000, 'a' + i % 26);
  ASSERT_TRUE(h.MakePackage(files));
  PumpingUi ui;
  auto w = OpenWindow(h, &ui);
  ASSERT_EQ(w->Logic().Startup(), installer::StartupState::Ready);

  bool clickedDuringRun = false, okEnabled = true, cancelEnabled = true;
  QTimer::singleShot(0, w.get(), [&] {
    clickedDuringRun = w->Logic().Run() == installer::RunState::Running;
    okEnabled = w->BitBtn1->isEnabled();
    cancelEnabled = w->BitBtn2->isEnabled();
    QTest::mouseClick(w->BitBtn1, Qt::LeftButton);
  });
  QTest::mouseClick(w->BitBtn1, Qt::LeftButton);

  EXPECT_TRUE(clickedDuringRun);
  EXPECT_FALSE(okEnabled);
  EXPECT_TRUE(cancelEnabled);  // Cancel stops the run and rolls it back
  EXPECT_EQ(w->Logic().Run(), installer::RunState::Succeeded);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Success !\n\nFiles installed !");
  EXPECT_EQ(h.shell.launches.size(), 1u);
  EXPECT_EQ(testsupport::ReadTextFile(h.InstallDirNative() + "/data/f199.txt"),
            std::string(20000, 'a' + 199 % 26));
}

TEST(InstallerWindow, CancelDuringTheRunRestoresThePreviousVersion) {
  const struct {
    const char* name;
    std::function<void(TfrMain&)> cancel;
  } ways[] = {{"Cancel clicked", [](TfrMain& w) { QTest::mouseClick(w.BitBtn2, Qt::LeftButton); }},
              {"Escape", [](TfrMain& w) { QTest::keyClick(&w, Qt::Key_Escape); }}};
  for (const auto& way : ways) {
    SCOPED_TRACE(way.name);
    InstallerHarness h;
    h.InstallDemo("Update to 6.10\ndemo.exe\nbin\\demo.exe\n", "6.05");
    std::map<std::string, std::string> files = {{"version.ver", "bin\\demo.exe\n6.00\n6.10\n"},
                                                {"bin/demo.exe", "6.10"}};
    for (int i = 0; i < 200; ++i) files["data/f" + std::to_string(i) + ".txt"] = std::string(20000, 'a' + i % 26);
    ASSERT_TRUE(h.MakePackage(files));
    auto before = testsupport::FileTreeState(h.InstallDirNative());
    PumpingUi ui;
    auto w = OpenWindow(h, &ui);
    ASSERT_EQ(w->Logic().Startup(), installer::StartupState::Ready);
    QTimer::singleShot(0, w.get(), [&] { way.cancel(*w); });
    QTest::mouseClick(w->BitBtn1, Qt::LeftButton);

    EXPECT_EQ(w->Logic().Run(), installer::RunState::Cancelled);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "The previous version was restored.");
    EXPECT_TRUE(h.shell.launches.empty());
    EXPECT_EQ(testsupport::FileTreeState(h.InstallDirNative()), before);
    EXPECT_EQ(w->Logic().ExitStatus(), installer::kExitNotInstalled);
  }
}

TEST(InstallerWindow, BelowTheMinimumDisablesOk) {
  InstallerHarness h;
  h.InstallDemo("Update to 6.20\ndemo.exe\n", "6.05");
  ASSERT_TRUE(h.MakePackage({{"version.ver", "bin\\demo.exe\n6.10\n6.20\n"}}));
  auto w = OpenWindow(h);
  EXPECT_FALSE(w->BitBtn1->isEnabled());
  EXPECT_EQ(w->focusWidget(), w->BitBtn2);
  EXPECT_EQ(w->memoBericht->toPlainText(), "Update of installed version not available!");
  EXPECT_EQ(w->edPath->text(), "Base installation must be 6.10 or Higher!");
  QTest::mouseClick(w->BitBtn2, Qt::LeftButton);
  EXPECT_EQ(w->Logic().ExitStatus(), installer::kExitBelowMinimum);
  EXPECT_TRUE(w->grab().save(QString(ZB_SCREENSHOT_DIR) + "/installer_window_ok_disabled.png"));
}

}  // namespace

int main(int argc, char** argv) {
  // Test discovery runs the program without the test's environment.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
