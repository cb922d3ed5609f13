// Drives, disks and prompts on a fake removable drive: presence, the wanted
// volume, the prompts and OnGetNextDisk, and listing a set whose central
// directory lies on an earlier disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <tuple>

#include "platform/Drives.h"
#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "tests/support/ArchiveBytes.h"
#include "tests/support/FakeDriveEnv.h"
#include "tests/support/FakeDrives.h"
#include "tests/support/PromptUi.h"
#include "tests/support/TempDir.h"
#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"

namespace {

struct VolumesTest : ::testing::Test, testsupport::FakeDriveEnv {
  testsupport::PromptUi ui;
  TZipBuilder zip{&env, &ui};
  std::vector<int> messages;

  void SetUp() override {
    drives.AddDrive('A', platform::kDriveRemovable);
    drives.AddDrive('C', platform::kDriveFixed);
    zip.OnMessage = [this](TZipBuilder* z, int, const std::string&) { messages.push_back(z->ErrCode()); };
  }

  platform::FakeDrives::Disk Disk(const std::string& name, const std::string& label) {
    return {dir / name, label};
  }

  int RaisedBy(const std::function<void()>& action) {
    try {
      action();
    } catch (const EZipBuilder& e) {
      return e.Ident();
    }
    return 0;
  }
};

TEST_F(VolumesTest, FixedDrivesNeverPrompt) {
  for (const char* root : {"C:\\", "\\"}) {
    drives.Insert('C', Disk("c", ""));
    zip.SetDriveRoot(root);
    zip.SetNewDisk(true);
    EXPECT_EQ(zip.CheckForDisk(), platform::kDriveFixed) << root;
    EXPECT_FALSE(zip.NewDisk()) << root;
  }
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(VolumesTest, PresenceAndDriveChecks) {
  struct Case {
    const char* what;
    std::string root;
    bool insert;
    bool formatted;
    bool eraseAllowed;
    int raised;
    bool present;
  } cases[] = {
      {"disk in drive", "A:\\", true, true, false, 0, true},
      {"empty drive", "A:\\", false, true, false, 0, false},
      {"unformatted disk", "A:\\", true, false, false, 0, false},
      {"unformatted disk, may be erased", "A:\\", true, false, true, 0, true},
      {"path without drive letter", "\\", false, true, false, 0, true},
      {"not a letter", "1:\\", false, true, false, 11003, false},
      {"undefined letter", "Q:\\", false, true, false, 11004, false},
  };
  for (const auto& c : cases) {
    drives.Eject('A');
    if (c.insert) {
      auto disk = Disk("a", "LABEL");
      disk.formatted = c.formatted;
      drives.Insert('A', disk);
    }
    zip.AddOptions = c.eraseAllowed ? AddOpts{AddDiskSpanErase} : AddOpts{};
    zip.SetDriveRoot(c.root);
    bool present = false;
    EXPECT_EQ(RaisedBy([&] { present = zip.IsDiskPresent(); }), c.raised) << c.what;
    EXPECT_EQ(present, c.present) << c.what;
  }
}

TEST_F(VolumesTest, IsDiskPresentReadsLabelSerialAndSpace) {
  auto disk = Disk("a", "PKBACK# 002");
  disk.serial = 0x1234ABCD;
  disk.size = 1457664;
  disk.freeBytes = 1000;
  drives.Insert('A', disk);
  zip.SetDriveRoot("A:\\");
  ASSERT_TRUE(zip.IsDiskPresent());
  EXPECT_EQ(zip.VolumeName(), "PKBACK# 002");
  EXPECT_EQ(zip.VolumeSerial(), 0x1234ABCDu);
  EXPECT_EQ(zip.SizeOfDisk(), 1457664);
  EXPECT_EQ(zip.FreeOnDisk(), 1000);

  drives.DiskIn('A')->size = -1;  // size unreadable: no usable disk
  EXPECT_FALSE(zip.IsDiskPresent());
  EXPECT_EQ(zip.SizeOfDisk(), -1);
  EXPECT_EQ(zip.FreeOnDisk(), -1);
}

TEST_F(VolumesTest, RightDiskByLabelOrByNumberedFileName) {
  zip.SetDiskNr(2);
  struct Case {
    std::string label;
    bool right;
  } cases[] = {{"PKBACK# 003", true}, {"PKBACK# 004", false}, {"BACKUP 003", false}, {"", false}};
  for (const auto& c : cases) {
    drives.Insert('A', Disk("a", c.label));
    zip.SetDriveRoot("A:\\");
    zip.IsDiskPresent();
    EXPECT_EQ(zip.IsRightDisk(platform::kDriveRemovable), c.right) << c.label;
  }
  zip.SetDiskNr(3);
  zip.SetInFileName("C:\\sets\\backup003.zip");
  EXPECT_TRUE(zip.IsRightDisk(platform::kDriveFixed));
  EXPECT_EQ(zip.InFileName(), "C:\\sets\\backup004.zip");
}

TEST_F(VolumesTest, LastDiskPromptHasAStopSign) {
  zip.SetDriveRoot("A:\\");
  zip.SetDiskNr(-1);
  ui.onBox = [&](size_t) { drives.Insert('A', Disk("a", "PKBACK# 003")); };
  EXPECT_EQ(zip.CheckForDisk(), platform::kDriveRemovable);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Please insert last disk\nin drive: A");
  EXPECT_EQ(ui.boxes[0].style, ui::kMbOkCancel | ui::kMbIconError);
}

TEST_F(VolumesTest, OnGetNextDiskTakesThePlaceOfTheBox) {
  zip.SetDriveRoot("A:\\");
  zip.SetDiskNr(-1);
  zip.SetLastDiskNumber(65535);
  std::vector<std::tuple<int, int, std::string>> calls;
  zip.OnGetNextDisk = [&](TZipBuilder*, int seqNo, int total, const std::string& drive, bool& cancel) {
    calls.emplace_back(seqNo, total, drive);
    cancel = calls.size() == 2;
  };
  // The first answer inserts nothing, so the second round asks again and is cancelled.
  try {
    zip.CheckForDisk();
    ADD_FAILURE() << "no error raised";
  } catch (const EZipBuilder& e) {
    EXPECT_EQ(e.Ident(), 11007);
    EXPECT_FALSE(e.DisplayMsg());
  }
  EXPECT_EQ(calls, (std::vector<std::tuple<int, int, std::string>>{{0, 65536, "A"}, {0, 65536, "A"}}));
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(VolumesTest, UnattendedCannotAskForADisk) {
  zip.SetDriveRoot("A:\\");
  zip.Unattended = true;
  EXPECT_EQ(RaisedBy([&] { zip.CheckForDisk(); }), 11025);
}

TEST_F(VolumesTest, CancelledBoxRaisesUserCanceled) {
  zip.SetDriveRoot("A:\\");
  ui.boxAnswers = {ui::kIdCancel};
  EXPECT_EQ(RaisedBy([&] { zip.CheckForDisk(); }), 11007);
  ui.boxAnswers = {0};
  EXPECT_EQ(RaisedBy([&] { zip.CheckForDisk(); }), 11006);
}

TEST_F(VolumesTest, GetNewDiskAsksUntilTheWantedVolumeIsIn) {
  for (const char* name : {"vol1", "vol2", "vol3"}) std::filesystem::create_directories(dir / name);
  testsupport::WriteTextFile(dir / "vol1/set.zip", "first volume");
  testsupport::WriteTextFile(dir / "vol2/set.zip", "second volume");
  testsupport::WriteTextFile(dir / "vol3/set.zip", "third volume");
  drives.Insert('A', Disk("vol3", "PKBACK# 003"));
  zip.SetDriveRoot("A:\\");
  zip.SetInFileName("A:\\set.zip");
  zip.SetLastDiskNumber(2);
  // First the wrong disk goes in, then the right one.
  ui.onBox = [&](size_t n) {
    drives.Insert('A', n == 1 ? Disk("vol2", "PKBACK# 002") : Disk("vol1", "PKBACK# 001"));
  };
  zip.GetNewDisk(0);
  ASSERT_EQ(ui.boxes.size(), 2u);
  for (const auto& box : ui.boxes) EXPECT_EQ(box.text, "Please insert disk volume 1 of 3\nin drive: A");
  ASSERT_NE(zip.InFileHandle(), platform::kInvalidHandle);
  char buffer[32] = {};
  EXPECT_EQ(env.files->Read(zip.InFileHandle(), buffer, sizeof buffer), 12);
  EXPECT_EQ(std::string(buffer), "first volume");
}

// A set of two removable disks: members and central directory on the first, the
// end record alone on the second.
struct SpannedListingTest : VolumesTest {
  void SetUp() override {
    VolumesTest::SetUp();
    auto built = testsupport::BuildArchive({{"one.txt", "1111"}, {"two.txt", "22"}});
    std::string first = built.bytes.substr(0, built.endOffset);
    std::string last = built.bytes.substr(built.endOffset);
    auto* end = reinterpret_cast<uint8_t*>(last.data());
    zip::Store16(end + 4, 1);  // this disk
    zip::Store16(end + 6, 0);  // disk of the central directory
    std::filesystem::create_directories(dir / "disk1");
    std::filesystem::create_directories(dir / "disk2");
    testsupport::WriteTextFile(dir / "disk1/set.zip", first);
    testsupport::WriteTextFile(dir / "disk2/set.zip", last);
    drives.Insert('A', Disk("disk2", "PKBACK# 002"));
  }
};

TEST_F(SpannedListingTest, CentralDirectoryIsReadFromTheFirstDisk) {
  std::vector<std::pair<int, int>> asked;
  zip.OnGetNextDisk = [&](TZipBuilder*, int seqNo, int total, const std::string&, bool&) {
    asked.emplace_back(seqNo, total);
    drives.Insert('A', Disk("disk1", "PKBACK# 001"));
  };
  zip.SetFileName("A:\\set.zip");
  ASSERT_EQ(zip.Count(), 2);
  EXPECT_EQ(zip.ZipDirEntryRecords()[1]->FileName, "two.txt");
  EXPECT_TRUE(zip.Spanned());
  EXPECT_FALSE(zip.StructureWarning());
  EXPECT_EQ(zip.LastDiskNumber(), 1);
  EXPECT_EQ(asked, (std::vector<std::pair<int, int>>{{1, 2}}));
  EXPECT_TRUE(messages.empty());
}

TEST_F(SpannedListingTest, CancellingTheDiskRequestIsReportedWithoutBox) {
  zip.OnGetNextDisk = [](TZipBuilder*, int, int, const std::string&, bool& cancel) { cancel = true; };
  zip.SetFileName("A:\\set.zip");
  EXPECT_EQ(messages, std::vector<int>{11007});
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(zip.ZipFileName(), "");
  EXPECT_EQ(zip.Count(), 0);
}

}  // namespace
