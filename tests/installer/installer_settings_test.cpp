// The installer as a maker builds it with values of their own (the build gives
// this test's copy of the installer a caption, a package password and a floor
// with its message): start-up and the run use them.
#include <gtest/gtest.h>

#include <filesystem>

#include "installer/PackageSignature.h"
#include "platform/Env.h"
#include "platform/Paths.h"
#include "tests/installer/InstallerHarness.h"

namespace {

using installer::StartupState;
using testsupport::InstallerHarness;

TEST(InstallerSettings, TheMakersValuesAreUsed) {
  const struct {
    const char* name;
    const char* installed;
    std::string password;
    StartupState state;
    std::string box;  // the first box start-up shows, "" for none
  } cases[] = {
      {"between the maker's floor and the default one", "5.50", installer::kPackagePassword, StartupState::Ready, ""},
      {"below the maker's floor", "4.90", installer::kPackagePassword, StartupState::Ended, "Too old for Acme!"},
      {"under the default password", "5.50", "KmqTelvora", StartupState::Ended, "Cannot extract the version file!"},
  };
  EXPECT_STREQ(installer::kPackagePassword, "acme-secret");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    InstallerHarness h;
    h.InstallDemo("Update\ndemo.exe\n", c.installed);
    ASSERT_TRUE(h.MakePackage({{"version.ver", "bin\\demo.exe\n5.00\n6.10\n"}, {"new.txt", "n"}}, c.password));
    h.Start();
    EXPECT_EQ(h.Installer().Startup(), c.state);
    if (c.box.empty()) {
      EXPECT_TRUE(h.ui.boxes.empty());
      h.Installer().BitBtn1Click();
      ASSERT_FALSE(h.ui.boxes.empty());
      EXPECT_EQ(h.ui.boxes.back().text, "Success !\n\nFiles installed !");
    } else {
      ASSERT_FALSE(h.ui.boxes.empty());
      EXPECT_EQ(h.ui.boxes.back().text.substr(0, c.box.size()), c.box);
    }
    EXPECT_EQ(h.ui.boxes.back().caption, "Acme Tools");
  }
}

// With the maker's key built in, only a package that key signed is read; without
// one, packages need no signature.
TEST(InstallerSettings, SignedPackagesAreCheckedWithTheMakersKey) {
  const installer::KeyPair maker = installer::NewKeyPair(), other = installer::NewKeyPair();
  const struct {
    const char* name;
    std::string installerKey, signingKey;  // signingKey "" leaves the package unsigned
    bool changedAfterSigning;
    StartupState state;
    bool swappedAfterTheCheck = false;  // the checked package is the one installed
  } cases[] = {
      {"signed by the maker", maker.publicKey, maker.privateKey, false, StartupState::Ready},
      {"unsigned", maker.publicKey, "", false, StartupState::Ended},
      {"signed by another key", maker.publicKey, other.privateKey, false, StartupState::Ended},
      {"changed after signing", maker.publicKey, maker.privateKey, true, StartupState::Ended},
      {"no key built in, unsigned", "", "", false, StartupState::Ready},
      {"swapped after the check", maker.publicKey, maker.privateKey, false, StartupState::Ready, true},
  };
  platform::FileSystem& files = *platform::DefaultEnv().files;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    InstallerHarness h;
    h.packagePublicKey = c.installerKey;
    h.InstallDemo("Update\ndemo.exe\n", "5.50");
    ASSERT_TRUE(h.MakePackage({{"version.ver", "bin\\demo.exe\n5.00\n6.10\n"}, {"new.txt", "n"}},
                              installer::kPackagePassword));
    if (!c.signingKey.empty()) {
      std::optional<std::string> signature = installer::SignFile(files, c.signingKey, h.ArchivePath());
      ASSERT_TRUE(signature);
      testsupport::WriteTextFile(platform::ChangeFileExt(h.ProgramPath(), ".sig"), *signature + "\n");
    }
    if (c.changedAfterSigning) {
      std::string bytes = testsupport::ReadTextFile(h.ArchivePath());
      bytes[bytes.size() / 2] ^= 0x20;
      testsupport::WriteTextFile(h.ArchivePath(), bytes);
    }
    h.Start();
    ASSERT_EQ(h.Installer().Startup(), c.state);
    if (c.state == StartupState::Ended) {
      ASSERT_FALSE(h.ui.boxes.empty());
      EXPECT_EQ(h.ui.boxes.back().text,
                "The package is not signed by the maker of this program!\n\nInstallation aborted!");
      EXPECT_FALSE(std::filesystem::exists(h.InstallDirNative() + "/new.txt"));
      continue;
    }
    if (c.swappedAfterTheCheck) {
      ASSERT_TRUE(h.MakePackage({{"new.txt", "swapped"}}, installer::kPackagePassword));
    }
    h.Installer().BitBtn1Click();
    EXPECT_EQ(testsupport::ReadTextFile(h.InstallDirNative() + "/new.txt"), "n");
  }
}

}  // namespace
