// Formatting before a volume is written: ZipFormat's results, the hook's rules on
// the dialog's controls, one format per process, the format rule of the set
// writer, and the platform's FormatDrive with its safety rules.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Drives.h"
#include "platform/Env.h"
#include "tests/support/FakeDrives.h"
#include "tests/support/CraftedZip.h"
#include "tests/support/FakeDriveEnv.h"
#include "tests/support/TempDir.h"
#include "ui/FormatDialog.h"
#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadTextFile;
using testsupport::WriteTextFile;

// Records the dialog's controls the first time it waits for its user, and lets
// the dialog change its label field then, as the shell's dialog does.
struct FormatUi : ui::ScriptedUi {
  struct Seen {
    bool capacityEnabled, labelEnabled, quickEnabled, quickChecked, systemChecked;
    std::string label, labelAfterChange;
  };
  std::vector<Seen> seen;
  std::function<void(const std::string& text)> onBox;
  int MessageBox(const std::string& text, const std::string& caption, uint32_t style) override {
    int answer = ScriptedUi::MessageBox(text, caption, style);
    if (onBox) onBox(text);
    return answer;
  }
  void FormatDialogIdle(ui::FormatDialog& d) override {
    Seen s{d.Enabled(ui::kFormatCapacity),
           d.Enabled(ui::kFormatLabel),
           d.Enabled(ui::kFormatQuick),
           d.Checked(ui::kFormatQuick),
           d.Checked(ui::kFormatSystemFiles),
           d.Text(ui::kFormatLabel),
           ""};
    d.SetText(ui::kFormatLabel, "CHANGED");
    s.labelAfterChange = d.Text(ui::kFormatLabel);
    seen.push_back(s);
    ScriptedUi::FormatDialogIdle(d);
  }
};

struct FormatTest : ::testing::Test, testsupport::FakeDriveEnv {
  FormatUi ui;
  TZipBuilder zip{&env, &ui};

  void SetUp() override {
    drives.AddDrive('A', platform::kDriveRemovable);
    drives.AddDrive('B', platform::kDriveFixed);
    drives.Insert('A', OldDisk("disk"));
  }
  platform::FakeDrives::Disk OldDisk(const std::string& name, int64_t size = 60000) {
    platform::FakeDrives::Disk disk{dir / name, "OLD", 7, size, size / 2};
    fs::create_directories(disk.directory);
    WriteTextFile(disk.directory + "/junk.txt", "old contents");
    return disk;
  }
  int Format(char drive, const std::string& label) {
    zip.SetDriveRoot(std::string(1, drive) + ":\\");
    zip.SetFormatTarget(drive - 'A', label);
    return zip.ZipFormat();
  }
};

TEST_F(FormatTest, ResultsAndTheHooksRules) {
  struct Case {
    const char* what;
    bool confirmErase;
    std::deque<ui::FormatAnswer> answers;
    std::optional<int> failure;
    bool available;
    int result;
    int formats;
    int dialogs;
  } cases[] = {
      {"hook starts and closes", false, {}, std::nullopt, true, 0, 1, 1},
      {"user starts, then closes",
       true,
       {ui::FormatAnswer::Start, ui::FormatAnswer::Close},
       std::nullopt,
       true,
       0,
       1,
       1},
      {"user closes without starting",
       true,
       {ui::FormatAnswer::Close},
       std::nullopt,
       true,
       -2,
       0,
       1},
      {"format fails", false, {}, -1, true, -1, 1, 1},
      {"formatting not available", false, {}, std::nullopt, false, -3, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    drives.Insert('A', OldDisk("disk"));
    drives.formatFailure = c.failure;
    drives.formatAvailable = c.available;
    drives.formats = 0;
    ui.formatDialogs.clear();
    ui.seen.clear();
    ui.formatAnswers = c.answers;
    zip.ConfirmErase = c.confirmErase;
    EXPECT_EQ(Format('A', "PKBACK# 002"), c.result);
    EXPECT_EQ(drives.formats, c.formats);
    EXPECT_EQ(static_cast<int>(ui.formatDialogs.size()), c.dialogs);
    EXPECT_EQ(fs::exists(dir / "disk/junk.txt"), c.result != 0);
    if (c.result == 0) {
      EXPECT_EQ(drives.DiskIn('A')->label, "PKBACK# 002");
    }
    for (const auto& s : ui.seen) {
      EXPECT_FALSE(s.capacityEnabled);
      EXPECT_FALSE(s.labelEnabled);
      EXPECT_FALSE(s.quickEnabled);
      EXPECT_TRUE(s.quickChecked);
      EXPECT_FALSE(s.systemChecked);
      EXPECT_EQ(s.label, "PKBACK# 002");
      EXPECT_EQ(s.labelAfterChange, "PKBACK# 002") << "the label field is set back";
    }
    // Only a waiting dialog meets the user: with the hook in charge nobody is asked.
    if (!c.confirmErase) {
      EXPECT_TRUE(ui.seen.empty() || c.failure);
    }
  }
}

// A label longer than the dialog's field (11 characters, as a disk label holds)
// is set at the field's length, and setting it settles the field.
TEST_F(FormatTest, ALabelLongerThanItsFieldSettles) {
  for (const std::string label : {"PKBACK# 0002", "A LABEL OF TWENTY-SIX CHARS"}) {
    SCOPED_TRACE(label);
    drives.Insert('A', OldDisk("disk"));
    ui.seen.clear();
    ui.formatAnswers = {ui::FormatAnswer::Start, ui::FormatAnswer::Close};
    zip.ConfirmErase = true;
    EXPECT_EQ(Format('A', label), 0);
    ASSERT_FALSE(ui.seen.empty());
    EXPECT_EQ(ui.seen[0].label, label.substr(0, 11));
    EXPECT_EQ(ui.seen[0].labelAfterChange, label.substr(0, 11));
    EXPECT_EQ(drives.DiskIn('A')->label, label.substr(0, 11));
  }
}

TEST_F(FormatTest, OneFormatAtATime) {
  TZipBuilder second{&env, &ui};
  int secondResult = 0;
  ui.onFormatDialog = [&](ui::FormatDialog&) { secondResult = second.ZipFormat(); };
  zip.ConfirmErase = false;
  EXPECT_EQ(Format('A', "PKBACK# 001"), 0);
  EXPECT_EQ(secondResult, -1);
  EXPECT_EQ(drives.formats, 1);
  ui.onFormatDialog = nullptr;
  // Once the first has ended, another builder may format.
  drives.Insert('A', OldDisk("disk"));
  second.ConfirmErase = false;
  second.SetDriveRoot("A:\\");
  second.SetFormatTarget(0, "PKBACK# 003");
  EXPECT_EQ(second.ZipFormat(), 0);
  EXPECT_EQ(drives.DiskIn('A')->label, "PKBACK# 003");
}

std::string SmallArchive() {
  std::string noise(70000, '\0');
  uint32_t x = 5;
  for (char& c : noise) c = static_cast<char>((x = x * 1664525 + 1013904223) >> 24);
  return testsupport::CraftZip({{"a.bin", noise}, {"b.txt", std::string(20000, 'b')}});
}

TEST_F(FormatTest, TheWriterFormatsEachDiskByTheRule) {
  WriteTextFile(dir / "source.zip", SmallArchive());
  zip.SetMinFreeVolSize(1000);
  zip.AddOptions = AddOpts{AddDiskSpanErase};
  struct Case {
    const char* what;
    bool nextDiskEvent;  // disks swapped by OnGetNextDisk rather than by the prompt box
    bool existingSet;    // the first disk holds a set.zip: OnStatusDisk answers zdaErase
    bool confirmErase;
    std::deque<ui::FormatAnswer> answers;
    std::optional<int> failure;
    bool available;
    int result;
    bool shown;  // the cancel is shown in a box
    int formats;
  } cases[] = {
      {"no disk event: every disk is formatted",
       false,
       false,
       false,
       {},
       std::nullopt,
       true,
       0,
       false,
       2},
      {"a disk event without an erase answer: none is",
       true,
       false,
       false,
       {},
       std::nullopt,
       true,
       0,
       false,
       0},
      {"an erase answer formats the next disk",
       true,
       true,
       false,
       {},
       std::nullopt,
       true,
       0,
       false,
       1},
      {"formatting not available: the set is written",
       false,
       false,
       false,
       {},
       std::nullopt,
       false,
       0,
       false,
       0},
      {"a format error ends with a shown cancel", false, false, false, {}, -1, true, -7, true, 1},
      {"a cancelled dialog ends without a box",
       false,
       false,
       true,
       {ui::FormatAnswer::Close},
       std::nullopt,
       true,
       -7,
       false,
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(dir / "w1");
    fs::remove_all(dir / "w2");
    auto first = OldDisk("w1"), second = OldDisk("w2");
    first.freeBytes = second.freeBytes = 60000;
    if (c.existingSet) WriteTextFile(first.directory + "/set.zip", "older set");
    drives.Eject('A');
    drives.formats = 0;
    drives.formatFailure = c.failure;
    drives.formatAvailable = c.available;
    zip.ConfirmErase = c.confirmErase;
    ui.formatAnswers = c.answers;
    ui.boxes.clear();
    const std::vector<platform::FakeDrives::Disk> disks{first, second};
    size_t next = 0;
    auto swap = [&] { drives.Insert('A', disks[std::min(next++, disks.size() - 1)]); };
    ui.onBox = nullptr;
    zip.OnGetNextDisk = nullptr;
    if (c.nextDiskEvent)
      zip.OnGetNextDisk = [&](TZipBuilder*, int, int, const std::string&, bool&) { swap(); };
    else
      ui.onBox = [&](const std::string& text) {
        if (text.rfind("Please insert", 0) == 0) swap();
      };
    zip.OnStatusDisk = [](TZipBuilder*, int, const std::string&, TZipDiskStatus,
                          TZipDiskAction& action) { action = zdaErase; };
    EXPECT_EQ(zip.WriteSpan(dir / "source.zip", "A:\\set.zip"), c.result) << zip.Message();
    EXPECT_EQ(drives.formats, c.formats);
    if (c.result == 0) {
      EXPECT_EQ(fs::exists(dir / "w2/junk.txt"), c.formats == 0);
      EXPECT_EQ(drives.LabelSetOn(dir / "w2"), "PKBACK# 002");
    } else {
      EXPECT_EQ(zip.ErrCode(), 11007);
      EXPECT_EQ(!ui.boxes.empty() && ui.boxes.back().text == "User canceled operation", c.shown);
    }
  }
}

// FormatDrive on the real prefix layout: a removable drive mapped to a
// directory is emptied and labelled; nothing else is touched.
TEST(PosixFormatDrive, OnlyRemovableDirectoriesAwayFromHomeAndPrefix) {
  testsupport::TempDir dir;
  const std::string prefix = dir / "prefix", home = dir / "home";
  fs::create_directories(prefix + "/dosdevices");
  fs::create_directories(home);
  testsupport::ScopedEnv prefixEnv("WINEPREFIX", prefix);
  testsupport::ScopedEnv homeEnv("HOME", home);
  WriteTextFile(prefix + "/system.reg",
                "WINE REGISTRY Version 2\n[Software\\\\Wine\\\\Drives] "
                "1\n\"a:\"=\"floppy\"\n\"f:\"=\"hd\"\n");
  struct Case {
    const char* what;
    char letter;
    std::string target;
    int result;
  } cases[] = {
      {"removable directory", 'a', dir / "floppy", 0},
      {"fixed drive", 'f', dir / "fixed", -3},
      {"the home directory", 'a', home, -3},
      {"the prefix", 'a', prefix, -3},
      {"a directory holding the prefix", 'a', dir.path(), -3},
      {"a directory inside the prefix", 'a', prefix + "/drive_c/floppy", -3},
      {"the root", 'a', "/", -3},
      {"a drive without a directory", 'a', dir / "missing", -3},
  };
  auto& drives = *platform::DefaultEnv().drives;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string link = prefix + "/dosdevices/" + c.letter + ":";
    fs::remove(link);
    if (c.target != dir / "missing") fs::create_directories(c.target);
    fs::create_directory_symlink(c.target, link);
    const bool ours = c.target == dir / "floppy" || c.target == dir / "fixed" ||
                      c.target == prefix + "/drive_c/floppy";
    if (ours) {
      fs::create_directories(c.target + "/sub");
      WriteTextFile(c.target + "/sub/file.txt", "data");
      WriteTextFile(c.target + "/top.txt", "data");
    }
    const std::string root = std::string(1, static_cast<char>(std::toupper(c.letter))) + ":\\";
    EXPECT_EQ(drives.CanFormatDrive(root), c.result == 0);
    EXPECT_EQ(drives.FormatDrive(root, "PKBACK# 001"), c.result);
    if (c.result == 0) {
      std::vector<std::string> left;
      for (const auto& e : fs::directory_iterator(c.target))
        left.push_back(e.path().filename().string());
      EXPECT_EQ(left, std::vector<std::string>{".windows-label"});
      EXPECT_EQ(drives.GetVolumeInformation(root).label, "PKBACK# 001");
    } else if (ours) {
      EXPECT_TRUE(fs::exists(c.target + "/sub/file.txt"));
    }
  }
  EXPECT_TRUE(fs::exists(prefix + "/system.reg"));
}

}  // namespace
