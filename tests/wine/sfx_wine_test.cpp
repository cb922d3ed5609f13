// The 64-bit self-extractor stub under Wine: silent extraction equals unzip's,
// hostile names write nothing outside the target, the command line runs when
// asked, and a screen shot of its first window under Xvfb.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>

#include "tests/support/CraftedZip.h"
#include "tests/support/PeerTools.h"
#include "tests/support/SfxFixture.h"
#include "tests/support/TempDir.h"
#include "tests/support/WineSession.h"
#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"

namespace {

using namespace testsupport;
namespace fs = std::filesystem;

const auto* const kSession =
    ::testing::AddGlobalTestEnvironment(new WineSession([] { return RealStub64().empty() ? "ZipSFX64.bin" : ""; }));

// Every regular file below `root`, by relative path, with its bytes.
std::map<std::string, std::string> Tree(const std::string& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file())
      files[fs::relative(entry.path(), root).string()] = ReadTextFile(entry.path());
  return files;
}

struct SfxWineTest : ::testing::Test {
  TempDir dir;
  ui::ScriptedUi ui;
  TZipBuilder zip{nullptr, &ui};
  void SetUp() override {
    zip.Unattended = true;
    zip.HowToDelete = htdFinal;
    zip.SFXPath = RealStub64();
  }
  // Converts dir/name.zip into dir/name.exe.
  void Convert(const std::string& name) {
    zip.SetFileName(dir / (name + ".zip"));
    ASSERT_EQ(zip.ConvertSFX(), 0) << zip.Message();
  }
  CommandResult RunStub(const std::string& exe, const std::string& switches) {
    return RunIn(dir.path(), std::string("env -u DISPLAY timeout 120 ") + kWine + " " +
                                 ShellQuote(exe) + " " + switches);
  }
};

TEST_F(SfxWineTest, SilentExtractionGivesUnzipsTree) {
  fs::create_directories(dir / "tree/sub/deeper");
  WriteTextFile(dir / "tree/top.txt", "top\n");
  WriteTextFile(dir / "tree/sub/Grüße.txt", "non-ASCII name\n");
  WriteTextFile(dir / "tree/sub/deeper/data.bin", std::string(200000, '\x7F') + "end");
  WriteTextFile(dir / "secret.txt", "only with the password\n");
  ASSERT_EQ(RunIn(dir.path(), "zip -qr mixed.zip tree && zip -q -P opensesame mixed.zip secret.txt")
                .status,
            0);
  ASSERT_EQ(RunIn(dir.path(), "unzip -q -P opensesame mixed.zip -d expected").status, 0);
  Convert("mixed");
  CommandResult run =
      RunStub(dir / "mixed.exe", "/s /p:opensesame " + ShellQuote("/d:" + WinePath(dir / "out")));
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  auto expected = Tree(dir / "expected");
  EXPECT_EQ(expected.size(), 4u);
  EXPECT_EQ(Tree(dir / "out"), expected);

  // Without the password the encrypted member fails and the status says so.
  run = RunStub(dir / "mixed.exe", "/s " + ShellQuote("/d:" + WinePath(dir / "nopass")));
  EXPECT_EQ(run.status, 1);
  EXPECT_FALSE(fs::exists(dir / "nopass/secret.txt"));
  EXPECT_TRUE(fs::exists(dir / "nopass/tree/top.txt"));
}

// An AES member, which the stub cannot decode, refuses the whole archive
// before a single file is written.
TEST_F(SfxWineTest, AesMembersAreRefusedBeforeAnythingIsWritten) {
  WriteTextFile(dir / "plain.txt", "readable\n");
  WriteTextFile(dir / "locked.txt", "AES only\n");
  ASSERT_EQ(RunIn(dir.path(), "zip -q aes.zip plain.txt && 7z a -tzip -mem=AES256 -ppw aes.zip locked.txt >/dev/null")
                .status,
            0);
  Convert("aes");
  CommandResult run = RunStub(dir / "aes.exe", "/s /p:pw " + ShellQuote("/d:" + WinePath(dir / "out")));
  EXPECT_EQ(run.status, 2) << run.out << run.err;
  EXPECT_FALSE(fs::exists(dir / "out/plain.txt"));
}

TEST_F(SfxWineTest, HostileNamesWriteNothingOutsideTheTarget) {
  std::vector<CraftedMember> members = {
      {"good.txt", "fine"},
      {"../climbed.txt", "out by one"},
      {"sub/../../climbed2.txt", "out by one, later"},
      {"..\\climbed3.txt", "backslash climb"},
      {WinePath(dir / "absolute.txt"), "drive-absolute"},
      {(dir / "absolute2.txt").substr(1), "root-relative"},
      {"/rooted.txt", "rooted"},
      {"sub/.../dots.txt", "dots"},
  };
  fs::create_directories(dir / "box");
  WriteTextFile(dir / "box/hostile.zip", CraftZip(members));
  zip.SetFileName(dir / "box/hostile.zip");
  ASSERT_EQ(zip.ConvertSFX(), 0) << zip.Message();
  CommandResult run =
      RunStub(dir / "box/hostile.exe", "/s " + ShellQuote("/d:" + WinePath(dir / "box/out")));
  EXPECT_EQ(run.status, 1) << run.out << run.err;
  EXPECT_EQ(ReadTextFile(dir / "box/out/good.txt"), "fine");
  std::vector<std::string> everything;
  for (const auto& entry : fs::recursive_directory_iterator(dir.path()))
    everything.push_back(fs::relative(entry.path(), dir.path()).string());
  std::sort(everything.begin(), everything.end());
  // "absolute2" names a path below the target when taken relative: that is where it may land.
  for (const std::string& path : everything)
    EXPECT_TRUE(path == "box" || path == "box/hostile.exe" || path.rfind("box/out", 0) == 0)
        << path;
  EXPECT_FALSE(fs::exists(dir / "climbed.txt"));
  EXPECT_FALSE(fs::exists(dir / "absolute.txt"));
  EXPECT_FALSE(fs::exists("/rooted.txt"));
}

TEST_F(SfxWineTest, CommandLineRunsAfterExtractionWhenAsked) {
  WriteTextFile(dir / "run.zip", CraftZip({{"payload.txt", "payload"}}));
  zip.SFXCommandLine = "cmd.exe /c copy payload.txt ran.txt";
  zip.SFXOptions = SFXOpts{SFXCheckSize};
  Convert("run");
  // Silent mode runs it only when told to (or with the header's auto-run option).
  CommandResult quiet = RunStub(dir / "run.exe", ShellQuote("/d:" + WinePath(dir / "a")));
  ASSERT_EQ(RunStub(dir / "run.exe", "/s " + ShellQuote("/d:" + WinePath(dir / "a"))).status, 0);
  EXPECT_TRUE(fs::exists(dir / "a/payload.txt"));
  EXPECT_FALSE(fs::exists(dir / "a/ran.txt"));
  ASSERT_EQ(RunStub(dir / "run.exe", "/s /r " + ShellQuote("/d:" + WinePath(dir / "b"))).status, 0);
  EXPECT_EQ(ReadTextFile(dir / "b/ran.txt"), "payload");

  zip.SetFileName(dir / "run.exe");
  ASSERT_EQ(zip.ConvertZIP(), 0);
  zip.SFXOptions.Include(SFXAutoRun);
  Convert("run");
  ASSERT_EQ(RunStub(dir / "run.exe", "/s " + ShellQuote("/d:" + WinePath(dir / "c"))).status, 0);
  EXPECT_EQ(ReadTextFile(dir / "c/ran.txt"), "payload");
  (void)quiet;
}

TEST_F(SfxWineTest, ScreenShotOfTheFirstWindow) {
  const std::string shot = std::string(ZB_BINARY_DIR) + "/ScreenShot.exe";
  if (!fs::exists(shot) || !HaveTool("xvfb-run"))
    GTEST_SKIP() << "needs xvfb-run and ScreenShot.exe";
  WriteTextFile(dir / "window.zip", CraftZip({{"a.txt", "a"}, {"b/c.txt", "c"}}));
  zip.SFXCaption = "Screen shot of the self-extractor";
  zip.SFXDefaultDir = "C:\\Extracted";
  zip.SFXOptions = SFXOpts{SFXCheckSize, SFXAskFiles};
  Convert("window");
  const std::string bmp = std::string(ZB_BINARY_DIR) + "/../sfx-first-window.bmp";
  fs::remove(bmp);
  // The display changes: the running server belongs to the headless runs.
  WineSession::StopServer();
  std::string script = std::string(kWine) + " " + ShellQuote(dir / "window.exe") + " & " + kWine +
                       " " + ShellQuote(shot) + " " + ShellQuote(zip.SFXCaption) + " " +
                       ShellQuote(WinePath(bmp)) + " 90; status=$?; wait; " + kWineServer +
                       " -k; exit $status";
  CommandResult run = RunIn(
      dir.path(), "timeout 300 xvfb-run -a -s '-screen 0 800x600x24' sh -c " + ShellQuote(script));
  WineSession::StartServer();
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  std::string image = ReadTextFile(bmp);
  ASSERT_GT(image.size(), 54u + 800 * 600 * 3 - 1);
  // Not a blank screen: the dialog brings several colours.
  std::set<std::string> colours;
  for (size_t at = 54; at + 3 <= image.size() && colours.size() < 4; at += 3 * 97)
    colours.insert(image.substr(at, 3));
  EXPECT_GE(colours.size(), 3u);
}

}  // namespace
