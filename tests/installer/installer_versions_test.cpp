// Start-up with a package: the version file and the version comparison.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/installer/InstallerHarness.h"

namespace {

using installer::StartupState;
using testsupport::InstallerHarness;

const char* kTooOld = "Base installation is too old!\n\nversion 4.x cannot be upgraded!";
const char* kOlder = "This update is older then installed version!\n\nInstallation not needed!";
const char* kNoBase = "No Base installation found!\n\nInstallation aborted!";

class InstallerVersions : public ::testing::Test {
 protected:
  void SetUp() override {
    h.AddAppPath("demo.exe");
    h.WriteDescriptor("Update to 6.10\ndemo.exe\nreadme.exe\n");
  }
  // A package whose version file names bin\demo.exe and the two version lines.
  void Package(const std::string& minimum, const std::string& update) {
    ASSERT_TRUE(h.MakePackage({{"version.ver", "bin\\demo.exe\n" + minimum + "\n" + update + "\n"},
                               {"bin/demo.exe", "new program"}}));
  }
  InstallerHarness h;
};

TEST_F(InstallerVersions, DecisionsInTheirOrder) {
  struct Case {
    const char* installed;
    const char* minimum;
    const char* update;
    StartupState state;
    std::string box;  // "" when the window waits without a message
    std::string caption;
  } cases[] = {
      {"6.05", "6.00", "6.10", StartupState::Ready, "", ""},
      {"6.10", "6.00", "6.10", StartupState::Ready, "", ""},  // the same version again
      {"5.99", "5.00", "6.10", StartupState::Ended, kTooOld, "Bravik-Solen"},
      {"6.2", "6.00", "6.10", StartupState::Ended, kTooOld, "Bravik-Solen"},     // 62 < 600
      {"0600", "6.00", "6.10", StartupState::Ended, kTooOld, "Bravik-Solen"},    // octal: 384
      {"6.20", "6.00", "6.10", StartupState::Ended, kOlder, "Bravik-Solen"},
      {"6.05", "$258", "0x262", StartupState::Ready, "", ""},  // hexadecimal 600 and 610
      {"V6.0", "6.00", "6.10", StartupState::Ended, kNoBase, "Bravik-Solen"},
      {"0", "6.00", "6.10", StartupState::Ended, kNoBase, "Bravik-Solen"},
      {"6.05", "6.00", "6.1a", StartupState::Ended, "[descriptor]", ""},
      {"6.05", "0", "6.10", StartupState::Ended, "[descriptor]", ""},
      {"6.05", "6.00", "", StartupState::Ended, "[descriptor]", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.installed) + " / " + c.minimum + " / " + c.update);
    InstallerHarness one;
    one.AddAppPath("demo.exe");
    one.WriteDescriptor("Update to 6.10\ndemo.exe\nreadme.exe\n");
    std::filesystem::create_directories(one.InstallDirNative() + "/bin");
    one.InstallProgram("bin/demo.exe", c.installed);
    ASSERT_TRUE(one.MakePackage(
        {{"version.ver", std::string("bin\\demo.exe\n") + c.minimum + "\n" + c.update + "\n"}}));
    one.Start();
    EXPECT_EQ(one.Installer().zipContainer.ErrCode(), 0);
    EXPECT_EQ(one.Installer().zipContainer.SuccessCount(), 1);  // the checks were made
    EXPECT_EQ(one.Installer().Startup(), c.state);
    std::string box = c.box == "[descriptor]" ? "File [" + one.DescriptorPath() + "] not found!" : c.box;
    if (box.empty()) {
      EXPECT_TRUE(one.ui.boxes.empty());
      EXPECT_TRUE(one.view.okEnabled);
      EXPECT_FALSE(one.view.terminated);
      EXPECT_EQ(one.view.message, "Update to 6.10\n\n");
      EXPECT_EQ(one.view.path, InstallerHarness::kInstallDir);
    } else {
      ASSERT_EQ(one.ui.boxes.size(), 1u);
      EXPECT_EQ(one.ui.boxes[0].text, box);
      EXPECT_EQ(one.ui.boxes[0].caption, c.caption);
      EXPECT_EQ(one.ui.boxes[0].style, 0x10u);
      EXPECT_TRUE(one.view.terminated);
    }
    // The version file is extracted below the temporary directory and removed again.
    EXPECT_TRUE(std::filesystem::is_empty(one.TempDirectory()));
  }
}

TEST_F(InstallerVersions, BelowTheMinimumLeavesOnlyCancel) {
  h.InstallProgram("bin/demo.exe", "6.05");
  Package("6.10", "6.20");
  h.Start();
  EXPECT_TRUE(h.ui.boxes.empty());
  EXPECT_EQ(h.Installer().zipContainer.SuccessCount(), 1);
  EXPECT_EQ(h.Installer().Startup(), StartupState::OkDisabled);
  EXPECT_EQ(h.view.message, "Update of installed version not available!\n");
  EXPECT_EQ(h.view.path, "Base installation must be 6.10 or Higher!");
  EXPECT_FALSE(h.view.okEnabled);
  EXPECT_TRUE(h.view.cancelFocused);
  EXPECT_FALSE(h.view.terminated);
}

TEST_F(InstallerVersions, NoInstalledProgramMeansNoBaseInstallation) {
  Package("6.00", "6.10");
  h.Start();
  ASSERT_EQ(h.ui.boxes.size(), 1u);
  EXPECT_EQ(h.ui.boxes[0].text, kNoBase);
  EXPECT_EQ(h.ui.boxes[0].caption, "Bravik-Solen");
  EXPECT_EQ(h.Installer().Startup(), StartupState::Ended);
}

TEST_F(InstallerVersions, PackageWithoutVersionFileSkipsTheChecks) {
  ASSERT_TRUE(h.MakePackage({{"bin/demo.exe", "new program"}}));
  h.Start();
  EXPECT_TRUE(h.ui.boxes.empty());
  EXPECT_EQ(h.Installer().zipContainer.SuccessCount(), 0);
  EXPECT_EQ(h.Installer().Startup(), StartupState::Ready);
  EXPECT_TRUE(h.view.okEnabled);
}

TEST_F(InstallerVersions, AVersionFileThatCannotBeExtractedIsNoMissingOne) {
  // Something planted where the version file used to go is no obstacle: the checks
  // run (and find the installation too old). A version file the engine cannot
  // extract (here: another password) ends start-up with the engine's reason.
  const std::string kCannot = "Cannot extract the version file!\n\n";
  struct Case {
    const char* name;
    const char* password;
    bool plant;
    std::string box;
  } cases[] = {{"planted directory", installer::kPackagePassword, true, kTooOld},
               {"wrong password", "not the package password", false, kCannot}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    InstallerHarness one;
    one.InstallDemo("Update to 6.10\ndemo.exe\n", "5.00");
    ASSERT_TRUE(one.MakePackage({{"version.ver", "bin\\demo.exe\n6.00\n6.10\n"}}, c.password));
    if (c.plant) std::filesystem::create_directories(one.TempDirectory() + "version.ver/x");
    one.Start();
    EXPECT_EQ(one.Installer().Startup(), StartupState::Ended);
    ASSERT_FALSE(one.ui.boxes.empty());
    const ui::RecordedBox& last = one.ui.boxes.back();
    EXPECT_EQ(last.text.substr(0, c.box.size()), c.box);
    EXPECT_EQ(last.caption, "Bravik-Solen");
    if (c.box == kCannot) {
      EXPECT_GT(last.text.size(), c.box.size() + 25) << "no reason given: " << last.text;
      EXPECT_EQ(last.text.substr(last.text.size() - 23), "\n\nInstallation aborted!");
    }
    std::filesystem::remove_all(one.TempDirectory() + "version.ver");
    EXPECT_TRUE(std::filesystem::is_empty(one.TempDirectory()));
  }
}

TEST_F(InstallerVersions, RegistryFormChecksTheSameWay) {
  InstallerHarness r;
  r.AddMachineValue("Software\\Bravik\\Demo", "InstallDir", InstallerHarness::kInstallDir);
  r.WriteDescriptor("Registry update\n:HKEY_LOCAL_MACHINE\nSoftware\\Bravik\\Demo\nInstallDir\n");
  std::filesystem::create_directories(r.InstallDirNative() + "/bin");
  r.InstallProgram("bin/demo.exe", "6.00");
  ASSERT_TRUE(r.MakePackage({{"version.ver", "bin\\demo.exe\n6.00\n6.10\n"}}));
  r.Start();
  EXPECT_EQ(r.Installer().zipContainer.SuccessCount(), 1);
  EXPECT_TRUE(r.ui.boxes.empty());
  EXPECT_EQ(r.Installer().Startup(), StartupState::Ready);
  EXPECT_EQ(r.view.path, InstallerHarness::kInstallDir);
  EXPECT_EQ(r.view.message, "Registry update\n\n");
}

}  // namespace
