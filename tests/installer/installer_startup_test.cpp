// Start-up outcomes that need no package: rights, descriptor forms, registry keys,
// the missing package.
#include <gtest/gtest.h>

#include "tests/installer/InstallerHarness.h"

namespace {

using installer::StartupState;
using testsupport::InstallerHarness;

const char* kAppKey = "demo.exe";

void ExpectOneFatalBox(InstallerHarness& h, const std::string& text, const std::string& caption = "") {
  ASSERT_EQ(h.ui.boxes.size(), 1u);
  EXPECT_EQ(h.ui.boxes[0].text, text);
  EXPECT_EQ(h.ui.boxes[0].caption, caption);
  EXPECT_EQ(h.ui.boxes[0].style, 0x10u);
  EXPECT_EQ(h.Installer().Startup(), StartupState::Ended);
  EXPECT_TRUE(h.view.terminated);
}

TEST(InstallerStartup, NotAnAdministratorEndsBeforeTheDescriptorIsRead) {
  InstallerHarness h;
  h.security.administrator = false;
  h.WriteDescriptor("Update\ndemo.exe\n\n");
  h.Start();
  ExpectOneFatalBox(h, "Login as Administrator!");
  EXPECT_EQ(h.view.message, "");
  EXPECT_EQ(h.Installer().zipContainer.Password, "");
}

TEST(InstallerStartup, MissingDescriptorLeavesTheWindowWaitingWithoutAMessage) {
  InstallerHarness h;
  h.Start();
  EXPECT_TRUE(h.ui.boxes.empty());
  EXPECT_EQ(h.Installer().Startup(), StartupState::NoDescriptor);
  EXPECT_EQ(h.view.message, "");
  EXPECT_EQ(h.view.path, "");
  EXPECT_TRUE(h.view.okEnabled);
  EXPECT_FALSE(h.view.terminated);
  EXPECT_EQ(h.Installer().zipContainer.Password, "KmqTelvora");
  EXPECT_EQ(h.Installer().TempPath, h.TempDirectory());
}

TEST(InstallerStartup, CompanionFilesAreTheProgramPathWithNewExtensions) {
  InstallerHarness h;
  h.Start();
  EXPECT_EQ(h.Installer().DescriptorPath(), h.DescriptorPath());
  EXPECT_EQ(h.Installer().ArchivePath(), h.ArchivePath());

  ui::ScriptedUi ui;
  installer::HeadlessView view;
  installer::Installer noExtension(installer::InstallerSetup{&h.env, &ui, &view, "/opt/pkg/setup"});
  EXPECT_EQ(noExtension.DescriptorPath(), "/opt/pkg/setup.DAT");
  EXPECT_EQ(noExtension.ArchivePath(), "/opt/pkg/setup.cab");
}

TEST(InstallerStartup, AppPathsFormWithoutItsKeyEnds) {
  InstallerHarness h;
  h.AddAppPath("other.exe");
  h.WriteDescriptor("Update 6.10\ndemo.exe\nreadme.exe\n");
  h.Start();
  ExpectOneFatalBox(h, "Application not installed !");
  EXPECT_EQ(h.view.message, "Update 6.10\n\n");
  EXPECT_EQ(h.Installer().AppKey, "demo.exe");
}

TEST(InstallerStartup, AppPathsFormReadsPathAndFollowUpThenWantsThePackage) {
  InstallerHarness h;
  h.AddAppPath(kAppKey);
  h.WriteDescriptor("Update 6.10\r\ndemo.exe\r\nreadme.exe\r\n");
  h.Start();
  ExpectOneFatalBox(h, "Package incomplete !");
  EXPECT_EQ(h.view.message, "Update 6.10\n\n");
  EXPECT_EQ(h.view.path, InstallerHarness::kInstallDir);
  EXPECT_EQ(h.Installer().AppKey, "demo.exe");
  EXPECT_EQ(h.Installer().FollowUp, "readme.exe");
}

TEST(InstallerStartup, AppPathsEntryWithoutPathValueGivesAnEmptyDirectory) {
  InstallerHarness h;
  h.AddMachineValue("Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\demo.exe", "", "C:\\x\\demo.exe");
  h.WriteDescriptor("Update\ndemo.exe\n");  // two lines: no follow-up
  h.Start();
  ExpectOneFatalBox(h, "Package incomplete !");
  EXPECT_EQ(h.view.path, "");
  EXPECT_EQ(h.Installer().FollowUp, "");
}

TEST(InstallerStartup, RegistryFormReadsTheNamedValue) {
  InstallerHarness h;
  h.AddMachineValue("Software\\Bravik\\Demo", "InstallDir", "C:\\Program Files\\Demo");
  h.WriteDescriptor("Update\n:HKEY_LOCAL_MACHINE\nSoftware\\Bravik\\Demo\nInstallDir\n");
  h.Start();
  ExpectOneFatalBox(h, "Package incomplete !");
  EXPECT_EQ(h.view.path, "C:\\Program Files\\Demo");
  EXPECT_EQ(h.Installer().AppKey, "InstallDir");
  EXPECT_EQ(h.Installer().FollowUp, "");
}

TEST(InstallerStartup, RegistryFormKeyMissingNamesTheKey) {
  // Lower case is not recognised and selects HKEY_CURRENT_USER, where the key is not.
  for (const char* rootLine : {":HKEY_LOCAL_MACHINE", ":hkey_local_machine", ":HKEY_USERS"}) {
    SCOPED_TRACE(rootLine);
    InstallerHarness h;
    h.AddMachineValue("Software\\Bravik\\Other", "InstallDir", "C:\\x");
    h.WriteDescriptor(std::string("Update\n") + rootLine + "\nSoftware\\Bravik\\Demo\nInstallDir\n");
    h.Start();
    ExpectOneFatalBox(h, "Software\\Bravik\\Demo\n Registration Key not found!");
  }
}

TEST(InstallerStartup, ValueOfAnotherTypeFallsIntoTheGuard) {
  InstallerHarness h;
  h.AddMachineValue("Software\\Bravik\\Demo", "InstallDir", "00000001", false);
  h.WriteDescriptor("Update\n:HKEY_LOCAL_MACHINE\nSoftware\\Bravik\\Demo\nInstallDir\n");
  h.Start();
  ExpectOneFatalBox(h, "File [" + h.DescriptorPath() + "] not found!");
}

TEST(InstallerStartup, LongDescriptorLineIsReadInPieces) {
  // A 300-character first line: its last 46 characters become line 2, the App Paths key.
  InstallerHarness h;
  std::string tail(46, 'k');
  h.AddAppPath(tail);
  h.WriteDescriptor(std::string(254, 'm') + tail + "\ndemo.exe\n");
  h.Start();
  ExpectOneFatalBox(h, "Package incomplete !");
  EXPECT_EQ(h.Installer().AppKey, tail);
  EXPECT_EQ(h.Installer().FollowUp, "demo.exe");
}

}  // namespace
