// The installation run: success with and without a follow-up program, the four
// failure boxes, Cancel, and the unattended program.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "tests/installer/InstallerHarness.h"
#include "installer/UnattendedUi.h"

namespace {

using installer::RunState;
using installer::StartupState;
using testsupport::InstallerHarness;
namespace fs = std::filesystem;

const std::string kPayload = "the new program, version 6.10";

// The unattended program on `x`: its exit status, and what it printed.
int RunUnattendedOn(InstallerHarness& x, std::string& printed) {
  std::ostringstream out;
  installer::UnattendedUi ui(out);
  const int status = installer::RunUnattended(&x.env, ui, x.ProgramPath());
  printed = out.str();
  return status;
}

class InstallerRun : public ::testing::Test {
 protected:
  void Prepare(const std::string& descriptor, const std::string& password = installer::kPackagePassword) {
    h.InstallDemo(descriptor, "6.05");
    std::map<std::string, std::string> files = {{"bin/demo.exe", kPayload},
                                                {"doc/readme.txt", "read me"}};
    // A version file the wrong password hides would end start-up.
    if (password == installer::kPackagePassword)
      files["version.ver"] = "bin\\demo.exe\n6.00\n6.10\n";
    ASSERT_TRUE(h.MakePackage(files, password));
  }
  void PrepareAndStart(const std::string& descriptor, const std::string& password = installer::kPackagePassword) {
    Prepare(descriptor, password);
    h.Start();
  }
  // The real program beside the package, with the engine it extracts with; its path.
  std::string CopyProgram() {
    std::string dist = fs::path(h.ProgramPath()).parent_path().string();
    fs::copy_file(std::string(ZB_BINARY_DIR) + "/setup", dist + "/setup",
                  fs::copy_options::overwrite_existing);
    fs::copy_file(std::string(ZB_BINARY_DIR) + "/libunzdll.so", dist + "/libunzdll.so",
                  fs::copy_options::overwrite_existing);
    return dist + "/setup";
  }
  InstallerHarness h;
};

TEST_F(InstallerRun, SuccessInstallsEveryMemberAndStartsTheFollowUp) {
  PrepareAndStart("Update to 6.10\ndemo.exe\nbin\\readme.exe\n");
  ASSERT_EQ(h.Installer().Startup(), StartupState::Ready);
  h.ui.cursor = 5;
  h.ui.cursorHistory.clear();
  h.Installer().BitBtn1Click();

  EXPECT_EQ(h.Installer().Run(), RunState::Succeeded);
  ASSERT_EQ(h.ui.boxes.size(), 1u);
  EXPECT_EQ(h.ui.boxes[0].text, "Success !\n\nFiles installed !");
  EXPECT_EQ(h.ui.boxes[0].caption, "Bravik-Solen");
  EXPECT_EQ(h.ui.boxes[0].style, 0x30u);
  EXPECT_EQ(testsupport::ReadTextFile(h.InstallDirNative() + "/bin/demo.exe"), kPayload);
  EXPECT_EQ(testsupport::ReadTextFile(h.InstallDirNative() + "/doc/readme.txt"), "read me");
  EXPECT_EQ(testsupport::ReadTextFile(h.InstallDirNative() + "/version.ver"), "bin\\demo.exe\n6.00\n6.10\n");
  // The hourglass while extracting, then the cursor that was there before.
  ASSERT_FALSE(h.ui.cursorHistory.empty());
  EXPECT_EQ(h.ui.cursorHistory.front(), -11);
  EXPECT_EQ(h.ui.cursor, 5);
  EXPECT_TRUE(h.view.hidden);
  EXPECT_TRUE(h.view.terminated);

  ASSERT_EQ(h.shell.launches.size(), 1u);
  EXPECT_EQ(h.shell.launches[0].verb, "open");
  EXPECT_EQ(h.shell.launches[0].file, "C:\\Program Files\\Demo\\bin\\readme.exe");
  EXPECT_EQ(h.shell.launches[0].parameters, "");
  EXPECT_EQ(h.shell.launches[0].directory, "");
}

TEST_F(InstallerRun, NoFollowUpStartsNothing) {
  PrepareAndStart("Update\ndemo.exe\n");
  h.Installer().BitBtn1Click();
  EXPECT_EQ(h.Installer().Run(), RunState::Succeeded);
  EXPECT_TRUE(h.shell.launches.empty());
}

TEST_F(InstallerRun, InstallDirectoryEndingInABackslashGetsAnotherOne) {
  h.AddAppPath("demo.exe", std::string(InstallerHarness::kInstallDir) + "\\");
  h.WriteDescriptor("Update\ndemo.exe\nsetup2.exe\n");
  ASSERT_TRUE(h.MakePackage({{"a.txt", "a"}}));
  h.Start();
  h.Installer().BitBtn1Click();
  ASSERT_EQ(h.shell.launches.size(), 1u);
  EXPECT_EQ(h.shell.launches[0].file, "C:\\Program Files\\Demo\\\\setup2.exe");
}

TEST_F(InstallerRun, FailureShowsFourErrorBoxes) {
  // A package under another password and without a version file: no check at
  // start-up (OK enabled), and the run fails.
  PrepareAndStart("Update\ndemo.exe\nreadme.exe\n", "not the package password");
  ASSERT_EQ(h.Installer().Startup(), StartupState::Ready);
  size_t before = h.ui.boxes.size();
  h.Installer().BitBtn1Click();

  const TZipBuilder& zip = h.Installer().zipContainer;
  EXPECT_EQ(h.Installer().Run(), RunState::Failed);
  ASSERT_GE(h.ui.boxes.size(), before + 5);
  // Password errors come first, one box per request; the restored line last.
  for (size_t i = 0; i + 5 < h.ui.boxes.size(); ++i) {
    EXPECT_EQ(h.ui.boxes[i].text, "Password Error ");
    EXPECT_EQ(h.ui.boxes[i].style, 0x10u);
  }
  auto last = h.ui.boxes.end() - 5;
  EXPECT_EQ(last[4].text, "The previous version was restored.");
  EXPECT_EQ(last[4].style, 0x40u);
  EXPECT_EQ(last[0].text, "Error during installation!\n\nCheck if path is accessible and the demo.exe, is not running !");
  EXPECT_EQ(last[1].text, "Error " + std::to_string(zip.ErrCode()));
  EXPECT_EQ(last[2].text, "Error " + std::to_string(zip.EngineErrCode()));
  EXPECT_EQ(last[3].text, zip.Message());
  EXPECT_NE(zip.ErrCode(), 0);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(last[i].caption, "Bravik-Solen");
    EXPECT_EQ(last[i].style, 0x10u);
  }
  EXPECT_TRUE(h.shell.launches.empty());
  EXPECT_EQ(testsupport::ReadTextFile(h.InstallDirNative() + "/bin/demo.exe").substr(0, 2), "MZ");
  EXPECT_TRUE(h.view.terminated);
}

TEST_F(InstallerRun, CancelEndsWithoutExtracting) {
  PrepareAndStart("Update\ndemo.exe\nreadme.exe\n");
  h.Installer().BitBtn2Click();
  EXPECT_EQ(h.Installer().Run(), RunState::Cancelled);
  EXPECT_TRUE(h.ui.boxes.empty());
  EXPECT_TRUE(h.view.terminated);
  EXPECT_FALSE(fs::exists(h.InstallDirNative() + "/doc/readme.txt"));
  EXPECT_TRUE(h.shell.launches.empty());
}

TEST_F(InstallerRun, UnattendedExitStatus) {
  auto crafted = [](std::vector<testsupport::CraftedMember> members) {
    return [members](InstallerHarness& x) {
      x.AddAppPath("demo.exe");
      x.WriteDescriptor("Update\ndemo.exe\n");
      x.CraftPackage(members);
    };
  };
  testsupport::CraftedMember fifo("pipe", "");
  fifo.unixMode = 0010644;
  const std::string kSuccess = "Bravik-Solen: Success !\\n\\nFiles installed !\n";
  struct Case {
    const char* name;
    std::function<void(InstallerHarness&)> prepare;
    int status;
    std::string output;
  } cases[] = {
      {"installed",
       [](InstallerHarness& x) {
         x.InstallDemo("Update\ndemo.exe\n", "6.05");
         x.MakePackage({{"version.ver", "bin\\demo.exe\n6.00\n6.10\n"}, {"new.txt", "n"}});
       },
       0, "Bravik-Solen: Success !\\n\\nFiles installed !\n"},
      {"fatal", [](InstallerHarness& x) { x.WriteDescriptor("Update\ndemo.exe\n"); }, 1,
       ": Application not installed !\n"},
      {"ok disabled",
       [](InstallerHarness& x) {
         x.InstallDemo("Update\ndemo.exe\n", "6.05");
         x.MakePackage({{"version.ver", "bin\\demo.exe\n6.10\n6.20\n"}});
       },
       2,
       "setup: Update of installed version not available!\\n\\nBase installation must be 6.10 or "
       "Higher!\n"},
      {"run fails",
       [](InstallerHarness& x) {
         x.AddAppPath("demo.exe");
         x.WriteDescriptor("Update\ndemo.exe\n");
         x.MakePackage({{"new.txt", "n"}}, "wrong");
       },
       4, ""},
      // Warnings about members written in full are no failure; a member left out is.
      {"a name twice, both written", crafted({{"new.txt", "first"}, {"new.txt", "second"}}), 0, kSuccess},
      {"a control character replaced", crafted({{"new\x01.txt", "n"}}), 0, kSuccess},
      {"a special file left out", crafted({{"new.txt", "n"}, fifo}), 4, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    InstallerHarness x;
    c.prepare(x);
    std::string printed;
    EXPECT_EQ(RunUnattendedOn(x, printed), c.status);
    if (!c.output.empty()) {
      EXPECT_EQ(printed, c.output);
    }
    if (c.status == 4) {
      EXPECT_NE(printed.find("Bravik-Solen: Error during installation!\\n\\n"), std::string::npos);
    }
  }
}

// The real program, copied beside its package with the engine it extracts with.
TEST_F(InstallerRun, UnattendedProgramInstallsAZipPackage) {
  Prepare("Update to 6.10\ndemo.exe\n");
  std::string dist = fs::path(CopyProgram()).parent_path().string();
  auto result = testsupport::RunIn(dist, "./setup --unattended");
  EXPECT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_EQ(result.out, "Bravik-Solen: Success !\\n\\nFiles installed !\n");
  EXPECT_EQ(testsupport::ReadTextFile(h.InstallDirNative() + "/bin/demo.exe"), kPayload);
  EXPECT_EQ(testsupport::ReadTextFile(h.InstallDirNative() + "/doc/readme.txt"), "read me");
}

TEST_F(InstallerRun, OkRunsOnceAndCancelDoesNothingAfterIt) {
  PrepareAndStart("Update\ndemo.exe\nbin\\demo.exe\n");
  h.Installer().BitBtn1Click();
  EXPECT_FALSE(h.view.okEnabled);
  EXPECT_FALSE(h.view.cancelEnabled);
  h.Installer().BitBtn1Click();
  h.Installer().BitBtn2Click();
  EXPECT_EQ(h.Installer().Run(), RunState::Succeeded);
  EXPECT_EQ(h.ui.boxes.size(), 1u);
  EXPECT_EQ(h.shell.launches.size(), 1u);
}

// Windows finds names in the prefix ignoring case, takes a registry path without
// a drive letter as one on C: and never lets ".." climb above a drive's root: the
// update replaces the installed program, in its own directories.
TEST_F(InstallerRun, InstallsIntoThePrefixHoweverTheRegistrySpellsThePath) {
  const char* paths[] = {"\\Program Files\\Demo", "C:\\..\\..\\Program Files\\Demo",
                         "c:\\PROGRAM FILES\\demo", "Program Files\\Demo\\.\\..\\DEMO\\"};
  for (const char* path : paths) {
    SCOPED_TRACE(path);
    InstallerHarness x;
    x.AddAppPath("demo.exe", path);
    x.WriteDescriptor("Update\ndemo.exe\n");
    x.InstallProgram("bin/demo.exe", "6.05");
    ASSERT_TRUE(x.MakePackage(
        {{"version.ver", "BIN\\Demo.exe\n6.00\n6.10\n"}, {"BIN/DEMO.EXE", kPayload}}));
    std::string printed;
    EXPECT_EQ(RunUnattendedOn(x, printed), 0) << printed;
    EXPECT_EQ(testsupport::ReadTextFile(x.InstallDirNative() + "/bin/demo.exe"), kPayload);
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(x.InstallDirNative()))
      names.insert(entry.path().filename());
    EXPECT_EQ(names, (std::set<std::string>{"bin", "version.ver"}));
    for (const char* outside :
         {"/Program Files", "/prefix/Program Files", "/prefix/dosdevices/Program Files"})
      EXPECT_FALSE(fs::exists(x.Root() + outside)) << outside;
  }
}

TEST_F(InstallerRun, UnattendedSaysWhyItInstallsNothing) {
  struct Case {
    const char* name;
    std::function<void(InstallerHarness&)> prepare;
    std::string line;  // "%d" stands for the descriptor's path
  } cases[] = {
      {"no descriptor", [](InstallerHarness&) {}, "setup: File [%d] not found!"},
      {"descriptor is a directory",
       [](InstallerHarness& x) { fs::create_directory(x.DescriptorPath()); },
       "setup: File [%d] is not a regular file!"},
      {"no installation directory",
       [](InstallerHarness& x) {
         x.AddMachineValue("Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\demo.exe", "",
                           "x");
         x.WriteDescriptor("Update\ndemo.exe\n");
         x.MakePackage({{"new.txt", "n"}});
       },
       "setup: No installation directory: the registry names none!"},
      {"missing installation directory",
       [](InstallerHarness& x) {
         x.AddAppPath("demo.exe", "C:\\Program Files\\Gone");
         x.WriteDescriptor("Update\ndemo.exe\n");
         x.MakePackage({{"new.txt", "n"}});
       },
       "setup: Installation directory [C:\\Program Files\\Gone] does not exist!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    InstallerHarness x;
    c.prepare(x);
    std::string printed;
    EXPECT_EQ(RunUnattendedOn(x, printed), 1);
    std::string line = c.line;
    if (size_t at = line.find("%d"); at != std::string::npos)
      line.replace(at, 2, x.DescriptorPath());
    EXPECT_EQ(printed, line + "\n");
    EXPECT_FALSE(fs::exists(x.Root() + "/new.txt"));
  }
}

// A FIFO where a file is read would block the program for good: it must end, with
// a message, at once (the timeout only catches a program that hangs).
TEST_F(InstallerRun, FifosNeverBlockTheProgram) {
  Prepare("Update\ndemo.exe\n");
  std::string program = CopyProgram();
  std::string dist = fs::path(program).parent_path().string();
  std::string installed = h.InstallDirNative() + "/bin/demo.exe";
  fs::remove(installed);
  ASSERT_EQ(::mkfifo(installed.c_str(), 0600), 0);
  auto result = testsupport::RunIn(dist, "timeout 20 ./setup --unattended");
  EXPECT_EQ(result.status, 1) << result.out << result.err;
  EXPECT_EQ(result.out, "Bravik-Solen: No Base installation found!\\n\\nInstallation aborted!\n");

  fs::remove(dist + "/setup.DAT");
  ASSERT_EQ(::mkfifo((dist + "/setup.DAT").c_str(), 0600), 0);
  result = testsupport::RunIn(dist, "timeout 20 ./setup --unattended");
  EXPECT_EQ(result.status, 1) << result.out << result.err;
  EXPECT_EQ(result.out, "setup: File [" + dist + "/setup.DAT] is not a regular file!\n");
}

}  // namespace
