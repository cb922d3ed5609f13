// setup.exe of the Windows build under Wine, in a fresh prefix set up as a
// user's machine is: the application registered with `wine reg add` (App Paths,
// and a key of the current user for the registry form) and installed with a
// version resource. Each case runs setup.exe --unattended (or /S) and then the Linux
// setup on the same prefix and package: both must end with the case's status,
// say the same lines, and leave the same installation. A run whose extraction
// fails after it replaced the installed program puts the program back.
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "tests/support/CraftedZip.h"
#include "tests/support/FileTree.h"
#include "tests/support/PeerTools.h"
#include "tests/support/TempDir.h"
#include "tests/support/WineSession.h"

namespace {

using namespace testsupport;
namespace fs = std::filesystem;

const std::string kWindowsBin = ZB_WINDOWS_BIN_DIR;
const std::string kLinuxBin = ZB_BINARY_DIR;
const char* const kPassword = "KmqTelvora";

const auto* const kSession = ::testing::AddGlobalTestEnvironment(new WineSession([] {
  if (!HaveTool("zip")) return std::string("zip");
  for (const std::string& file : {kWindowsBin + "/setup.exe", kWindowsBin + "/UNZDLL.DLL"})
    if (!fs::exists(file)) return file + " (scripts/build-windows.sh)";
  for (const std::string& file : {kLinuxBin + "/DemoApp605.exe", kLinuxBin + "/DemoApp599.exe"})
    if (!fs::exists(file)) return file + " (MinGW-w64 and its windres)";
  return std::string();
}));

struct Outcome {
  int status = -1;
  std::string out;  // without carriage returns
};

struct Case {
  const char* name;
  const char* descriptor;         // nullptr: no descriptor
  std::map<std::string, std::string> package;
  const char* password;
  const char* installedVersion;   // of bin\demo.exe
  int status;
  std::string line;               // a line both programs write
  bool installed;                 // the package's docs\new.txt lands in the installation
  bool damagedLast = false;       // a member whose CRC fails follows the package's files
};

class SetupExeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The registry as an application's own installer leaves it.
    for (const char* add :
         {"reg add \"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\demo.exe\" /v Path /d "
          "\"C:\\Program Files\\Demo\" /f",
          "reg add \"HKCU\\Software\\Bravik\\Demo\" /v InstallDir /d \"C:\\Program Files\\Demo\" /f"}) {
      CommandResult r = RunIn("/", std::string("env -u DISPLAY ") + kWine + " " + add);
      ASSERT_EQ(r.status, 0) << add << "\n" << r.out << r.err;
    }
    // The server writes the registry files when it stops; the Linux setup reads them.
    WineSession::StopServer();
    WineSession::StartServer();
  }

  void SetUp() override {
    prefix_ = std::getenv("WINEPREFIX");
    fs::create_directories(dir / "dist");
    fs::create_directories(dir / "tmp");
    for (const std::string& file : {kWindowsBin + "/setup.exe", kWindowsBin + "/UNZDLL.DLL",
                                    kLinuxBin + "/setup", kLinuxBin + "/libunzdll.so"})
      fs::copy_file(file, dir / ("dist/" + fs::path(file).filename().string()));
  }

  std::string InstallDir() const { return prefix_ + "/drive_c/Program Files/Demo"; }
  // The program with the case's version resource.
  static std::string InstalledProgram(const Case& c) {
    std::string digits = c.installedVersion;
    digits.erase(digits.find('.'), 1);
    return kLinuxBin + "/DemoApp" + digits + ".exe";
  }

  // The application as installed before the update, and the case's package.
  void Prepare(const Case& c) {
    fs::remove_all(InstallDir());
    fs::create_directories(InstallDir() + "/bin");
    fs::copy_file(InstalledProgram(c), InstallDir() + "/bin/demo.exe");
    fs::remove(dir / "dist/setup.DAT");
    if (c.descriptor) WriteTextFile(dir / "dist/setup.DAT", c.descriptor);
    fs::remove_all(dir / "staging");
    std::string names;
    for (const auto& [name, content] : c.package) {
      fs::create_directories((fs::path(dir / "staging") / name).parent_path());
      WriteTextFile(dir / ("staging/" + name), content);
      names += " " + ShellQuote(name);
    }
    fs::remove(dir / "dist/setup.cab");
    if (c.damagedLast) {
      std::vector<CraftedMember> members;
      for (const auto& [name, content] : c.package) members.emplace_back(name, content, true);
      members.emplace_back("data/damaged.bin", std::string(5000, 'd'), true);
      members.back().declaredCrc = 0x12345678;
      for (CraftedMember& m : members) m.password = c.password;
      WriteTextFile(dir / "dist/setup.cab", CraftZip(members));
      return;
    }
    ASSERT_EQ(RunIn(dir / "staging", "zip -q -P " + ShellQuote(c.password) + " ../dist/setup.cab" + names).status, 0);
  }

  // `option`: --unattended, or /S as Windows installers are told.
  Outcome Windows(const std::string& option) {
    CommandResult r = RunIn(dir / "dist", std::string("env -u DISPLAY timeout 120 ") + kWine + " setup.exe " + option);
    std::string out;
    for (char ch : r.out)
      if (ch != '\r') out += ch;
    // Paths as the Linux program says them.
    const std::string windowsDescriptor = WinePath(dir / "dist/setup.DAT");
    for (size_t at; (at = out.find(windowsDescriptor)) != std::string::npos;)
      out.replace(at, windowsDescriptor.size(), dir / "dist/setup.DAT");
    return Outcome{r.status, out};
  }

  Outcome Linux() {
    CommandResult r = RunIn(dir / "dist", "env TMPDIR=" + ShellQuote(dir / "tmp") + " timeout 120 ./setup --unattended");
    return Outcome{r.status, r.out};
  }

  // The follow-up program leaves started.txt beside itself; it runs detached.
  bool FollowUpStarted() const {
    for (int i = 0; i < 200 && !fs::exists(InstallDir() + "/bin/started.txt"); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return fs::exists(InstallDir() + "/bin/started.txt");
  }

  TempDir dir;
  std::string prefix_;
};

TEST_F(SetupExeTest, SameStatusesAndMessagesAsTheLinuxInstaller) {
  const std::map<std::string, std::string> kUpdate = {{"version.ver", "bin\\demo.exe\n6.00\n6.10\n"},
                                                      {"docs/new.txt", "new in 6.10\n"}};
  auto update = [&kUpdate](const char* versionFile) {
    std::map<std::string, std::string> files = kUpdate;
    files["version.ver"] = versionFile;
    return files;
  };
  const std::string kSuccess = "Bravik-Solen: Success !\\n\\nFiles installed !";
  std::map<std::string, std::string> replacing = kUpdate;  // the installed program first
  replacing["bin/demo.exe"] = "the new program";
  const Case cases[] = {
      {"installs and starts the follow-up", "Update to 6.10\ndemo.exe\nbin\\demo.exe\n", kUpdate, kPassword, "6.05",
       0, kSuccess, true},
      {"base too old", "Update to 6.10\ndemo.exe\n", kUpdate, kPassword, "5.99", 1,
       "Bravik-Solen: Base installation is too old!\\n\\nversion 4.x cannot be upgraded!", false},
      {"below the minimum", "Update to 6.20\ndemo.exe\n", update("bin\\demo.exe\n6.10\n6.20\n"), kPassword, "6.05", 2,
       "setup: Update of installed version not available!\\n\\nBase installation must be 6.10 or Higher!", false},
      {"older update", "Update to 6.01\ndemo.exe\n", update("bin\\demo.exe\n6.00\n6.01\n"), kPassword, "6.05", 1,
       "Bravik-Solen: This update is older then installed version!\\n\\nInstallation not needed!", false},
      {"registry form", "Update to 6.10\n:HKEY_CURRENT_USER\nSoftware\\Bravik\\Demo\nInstallDir\n", kUpdate,
       kPassword, "6.05", 0, kSuccess, true},
      {"wrong password on the version file", "Update to 6.10\ndemo.exe\n", kUpdate, "not the package password",
       "6.05", 1,
       "Bravik-Solen: Cannot extract the version file!\\n\\nPassword missing or wrong for version.ver\\n\\n"
       "Installation aborted!",
       false},
      {"wrong password, no version file", "Update to 6.10\ndemo.exe\n", {{"docs/new.txt", "new\n"}},
       "not the package password", "6.05", 4,
       "Bravik-Solen: Error during installation!\\n\\nCheck if path is accessible and the demo.exe, is not running !",
       false},
      {"missing descriptor", nullptr, kUpdate, kPassword, "6.05", 1,
       "setup: File [" + (dir / "dist/setup.DAT") + "] not found!", false},
      {"damaged member after the program was replaced", "Update to 6.10\ndemo.exe\n", replacing, kPassword, "6.05", 4,
       "Bravik-Solen: The previous version was restored.", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Prepare(c);
    const Outcome onWindows = Windows((&c - cases) % 2 ? "/S" : "--unattended");
    EXPECT_EQ(onWindows.status, c.status) << onWindows.out;
    EXPECT_NE(onWindows.out.find(c.line + "\n"), std::string::npos) << onWindows.out;
    EXPECT_EQ(fs::exists(InstallDir() + "/docs/new.txt"), c.installed);
    if (!c.installed) {
      EXPECT_EQ(FileTreeNames(InstallDir()), (std::vector<std::string>{"bin/", "bin/demo.exe"}));
      EXPECT_TRUE(ReadTextFile(InstallDir() + "/bin/demo.exe") == ReadTextFile(InstalledProgram(c)));
    }
    const bool followUp = std::string(c.descriptor ? c.descriptor : "").find("bin\\demo.exe") != std::string::npos;
    if (followUp) {
      EXPECT_TRUE(FollowUpStarted());
    }
    const auto windowsTree = FileTree(InstallDir());

    Prepare(c);
    const Outcome onLinux = Linux();
    EXPECT_EQ(onLinux.status, onWindows.status);
    EXPECT_EQ(onLinux.out, onWindows.out);
    if (followUp) {
      EXPECT_TRUE(FollowUpStarted());
    }
    EXPECT_EQ(FileTree(InstallDir()), windowsTree);
  }
}

TEST_F(SetupExeTest, WindowShowsThePackageOkInstallsCancelEnds) {
  const std::string shot = kLinuxBin + "/ScreenShot.exe";
  if (!fs::exists(shot) || !HaveTool("xvfb-run")) GTEST_SKIP() << "needs xvfb-run and ScreenShot.exe";
  Prepare(Case{"window", "Update to 6.10\ndemo.exe\n",
               {{"version.ver", "bin\\demo.exe\n6.00\n6.10\n"}, {"docs/new.txt", "new in 6.10\n"}}, kPassword,
               "6.05", 0, "", true});
  fs::copy_file(shot, dir / "dist/ScreenShot.exe");
  const std::string wine = kWine;
  // Each round: the window's controls and a screen shot, a button pressed, and
  // for OK the box that follows closed; then setup's exit status.
  auto round = [&](const std::string& name, const std::string& button, bool boxFollows) {
    std::string script = wine + " setup.exe & pid=$!; " + wine + " ScreenShot.exe Bravik-Solen " + name +
                         ".bmp 90 " + button + " >" + name + ".txt; ";
    if (boxFollows) script += wine + " ScreenShot.exe Bravik-Solen " + name + "-box.bmp 90 >" + name + "-box.txt; ";
    return script + "wait $pid; echo $? >" + name + ".status; ";
  };
  const std::string script = round("ok", "OK", true) + "rm -rf " + ShellQuote(InstallDir() + "/docs") + "; " +
                             round("cancel", "Cancel", false) + kWineServer + " -k";
  // The display changes: the running server belongs to the headless runs.
  WineSession::StopServer();
  CommandResult run =
      RunIn(dir / "dist", "timeout 300 xvfb-run -a -s '-screen 0 800x600x24' sh -c " + ShellQuote(script));
  WineSession::StartServer();
  ASSERT_EQ(run.status, 0) << run.out << run.err;

  // The window, as its controls say: message, installation directory, buttons.
  // The screen shot of the window is kept beside the build's programs.
  const std::string kept = kLinuxBin + "/../setup-window.bmp";
  fs::copy_file(dir / "dist/ok.bmp", kept, fs::copy_options::overwrite_existing);
  std::cout << "screen shot of the window: " << kept << "\n";
  auto lines = [this](const std::string& name) {
    std::string text;
    for (char c : ReadTextFile(dir / ("dist/" + name)))
      if (c != '\r') text += c;
    return text;
  };
  std::cout << "the window's controls (line breaks as |):\n" << lines("ok.txt");
  EXPECT_EQ(lines("ok.txt"), "Update to 6.10||\nC:\\Program Files\\Demo\nOK\nCancel\n");
  // The box after OK: its icon (no text), its button, its text.
  EXPECT_EQ(lines("ok-box.txt"), "\nOK\nSuccess !||Files installed !\n");
  EXPECT_EQ(ReadTextFile(dir / "dist/ok.status"), "0\n");
  EXPECT_EQ(ReadTextFile(dir / "dist/cancel.status"), "4\n");
  EXPECT_FALSE(fs::exists(InstallDir() + "/docs/new.txt")) << "Cancel installs nothing";
  // Not a blank screen: the window brings several colours.
  std::string image = ReadTextFile(dir / "dist/ok.bmp");
  ASSERT_GT(image.size(), 54u + 800 * 600 * 3 - 1);
  std::set<std::string> colours;
  for (size_t at = 54; at + 3 <= image.size() && colours.size() < 4; at += 3 * 97) colours.insert(image.substr(at, 3));
  EXPECT_GE(colours.size(), 3u);
}

}  // namespace
