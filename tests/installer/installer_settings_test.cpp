// The installer as a maker builds it with values of their own (the build gives
// this test's copy of the installer a caption, a package password and a floor
// with its message): start-up and the run use them.
#include <gtest/gtest.h>

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

}  // namespace
