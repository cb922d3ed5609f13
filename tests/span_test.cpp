// Spanned sets on fake drives: numbered files on a fixed drive and volumes on
// small removable disks, written from a single-file archive and joined back to
// it byte for byte; prompts, labels, the overwrite and space questions, the
// status event with every status and action, failures on the second volume.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <tuple>

#include "platform/Drives.h"
#include "tests/support/FakeDrives.h"
#include "tests/support/FaultInjectingFileSystem.h"
#include "tests/support/CraftedZip.h"
#include "tests/support/FakeDriveEnv.h"
#include "tests/support/Noise.h"
#include "tests/support/PromptUi.h"
#include "tests/support/TempDir.h"
#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"
#include "zipformat/VolumeNames.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Noise;
using testsupport::ReadTextFile;
using testsupport::WriteTextFile;

// About 100 kB in five members: one larger than a 40 kB volume, one with its
// sizes in a data descriptor, a comment on a member and on the archive.
std::string SourceArchive() {
  std::vector<testsupport::CraftedMember> members = {
      {"readme.txt", std::string(3000, 'r')},
      {"dir/big.bin", Noise(52000, 1)},
      {"dir/text.txt", std::string(60000, 't'), true},
      {"later.bin", Noise(30000, 2)},
      {"tail.bin", Noise(9000, 3)}};
  members[2].dataDescriptor = true;
  members[3].comment = "member comment";
  testsupport::ArchiveLayout layout;
  layout.comment = "the archive's comment";
  return testsupport::CraftArchive(members, layout).bytes;
}

struct SpanTest : ::testing::Test, testsupport::FakeDriveEnv {
  testsupport::PromptUi ui;
  TZipBuilder zip{&env, &ui};
  std::string source = SourceArchive();
  std::string sourcePath = dir / "source.zip";
  std::vector<int> reported;

  void SetUp() override {
    WriteTextFile(sourcePath, source);
    drives.AddDrive('A', platform::kDriveRemovable);
    zip.SetMinFreeVolSize(1000);
    zip.OnMessage = [this](TZipBuilder* z, int, const std::string& text) {
      if (text.rfind("Copying: ", 0) != 0) reported.push_back(z->ErrCode());
    };
  }

  platform::FakeDrives::Disk NewDisk(const std::string& name, int64_t size = 40000) {
    platform::FakeDrives::Disk disk{dir / name, "", 0, size, size};
    return disk;
  }
  // Inserts the disks named in `script`, one for each box shown.
  void InsertOnEachBox(std::vector<platform::FakeDrives::Disk> script) {
    ui.onBox = [this, script](size_t n) {
      if (n <= script.size()) drives.Insert('A', script[n - 1]);
    };
  }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& b : ui.boxes) texts.push_back(b.text);
    return texts;
  }
  std::string Join(const std::string& volume, int expectedResult = 0) {
    std::string out = dir / "joined.zip";
    EXPECT_EQ(zip.ReadSpan(volume, out), expectedResult) << zip.Message();
    return out.empty() ? "" : ReadTextFile(out);
  }
};

TEST(SpanNames, VolumeNumbersLabelsAndNumberedNames) {
  EXPECT_EQ(zip::VolumeNumber(0), "001");
  EXPECT_EQ(zip::VolumeNumber(41), "042");
  EXPECT_EQ(zip::VolumeNumber(999), "000");
  EXPECT_EQ(zip::VolumeLabel(1), "PKBACK# 002");
  struct {
    const char* label;
    int number;
  } labels[] = {{"PKBACK# 001", 1}, {"PKBACK# 7", 7},   {"PKBACK# 12", 12}, {"PKBACK# 0x1", -1},
                {"PKBACK# ", -1},   {"BACKUP 003", -1}, {"PKBACK#003", -1}, {"PKBACK# 0123", 12}};
  for (const auto& c : labels) EXPECT_EQ(zip::LabelNumber(c.label, -1), c.number) << c.label;
  EXPECT_EQ(zip::NumberedName("C:\\sets\\backup.zip", 2), "C:\\sets\\backup003.zip");
  EXPECT_EQ(zip::NumberedName("/tmp/x.y/set", 0), "/tmp/x.y/set001");
  EXPECT_EQ(zip::NumberBeforeExtension("/d/backup012.zip"), 12);
  EXPECT_EQ(zip::NumberBeforeExtension("/d/a.zip"), 0);
  EXPECT_EQ(zip::NumberBeforeExtension("/d/setab1.zip"), 0);
}

TEST_F(SpanTest, NumberedFilesJoinBackByteForByte) {
  struct Case {
    int32_t maxVolume;
    int32_t keepFree;
    int volumes;
  } cases[] = {{40000, 0, 3}, {40000, 10000, 3}, {25000, 0, 4}, {0, 0, 1}, {12000, 3000, 9}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "max " << c.maxVolume << " keep " << c.keepFree);
    fs::remove_all(dir / "set");
    fs::create_directories(dir / "set");
    zip.SetMaxVolumeSize(c.maxVolume);
    zip.SetFreeOnDisk1(c.keepFree);
    ASSERT_EQ(zip.WriteSpan(sourcePath, dir / "set/a.zip"), 0) << zip.Message();
    EXPECT_EQ(zip.DiskNr(), c.volumes - 1);
    uintmax_t total = 0;
    for (int v = 0; v < c.volumes; ++v) {
      std::string name = dir / ("set/" + zip::NumberedName("a.zip", v));
      ASSERT_TRUE(fs::exists(name)) << name;
      uintmax_t size = fs::file_size(name);
      total += size;
      if (c.maxVolume) {
        EXPECT_LE(size, uintmax_t(c.maxVolume - (v == 0 ? c.keepFree : 0))) << name;
      }
    }
    EXPECT_FALSE(fs::exists(dir / ("set/" + zip::NumberedName("a.zip", c.volumes))));
    EXPECT_EQ(total, source.size() + 4);
    EXPECT_EQ(ReadTextFile(dir / "set/a001.zip").substr(0, 8),
              std::string("PK\x07\x08PK\x03\x04", 8));
    EXPECT_TRUE(Join(dir / ("set/" + zip::NumberedName("a.zip", c.volumes - 1))) == source);
  }
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(SpanTest, JoiningFromAVolumeThatIsNotTheLast) {
  fs::create_directories(dir / "set");
  zip.SetMaxVolumeSize(40000);
  ASSERT_EQ(zip.WriteSpan(sourcePath, dir / "set/a.zip"), 0);
  struct {
    std::string name;
    int error;
    std::string text;
  } cases[] = {{"a001.zip", 11037,
                "This is the first disk in a backup set,\nplease insert the last disk of this set"},
               {"a002.zip", 11038,
                "This is the 2th disk in a backup set,\nplease insert the last disk of this set"},
               {"a009.zip", 11001, "Input file does not exist: " + dir / "set/a009.zip"}};
  zip.Unattended = true;
  for (const auto& c : cases) {
    std::string out = dir / "out.zip";
    EXPECT_EQ(zip.ReadSpan(dir / ("set/" + c.name), out), -7) << c.name;
    EXPECT_EQ(zip.ErrCode(), c.error) << c.name;
    EXPECT_EQ(zip.Message(), c.text);
    EXPECT_EQ(out, "");
    EXPECT_FALSE(fs::exists(dir / "out.zip"));
  }
}

TEST_F(SpanTest, JoinedFileNaming) {
  fs::create_directories(dir / "set");
  fs::create_directories(dir / "temp");
  zip.SetMaxVolumeSize(40000);
  ASSERT_EQ(zip.WriteSpan(sourcePath, dir / "set/a.zip"), 0);
  zip.HowToDelete = htdFinal;
  WriteTextFile(dir / "x.tmp", "old");
  std::string named = dir / "x.tmp";
  ASSERT_EQ(zip.ReadSpan(dir / "set/a003.zip", named), 0);
  EXPECT_EQ(named, dir / "x.zip");
  EXPECT_FALSE(fs::exists(dir / "x.tmp"));
  EXPECT_TRUE(ReadTextFile(named) == source);

  zip.TempDir = dir / "temp";
  std::string temporary = dir / "elsewhere/";
  ASSERT_EQ(zip.ReadSpan(dir / "set/a003.zip", temporary), 0);
  std::replace(temporary.begin(), temporary.end(), '\\', '/');
  EXPECT_EQ(fs::path(temporary).parent_path(), fs::path(dir / "temp"));
  EXPECT_EQ(fs::path(temporary).extension(), ".zip");
  EXPECT_TRUE(ReadTextFile(temporary) == source);
  EXPECT_EQ(fs::status(temporary).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(SpanTest, FailuresOnTheSecondVolumeLeaveNothingBehind) {
  using Op = platform::FaultInjectingFileSystem::Op;
  platform::FaultInjectingFileSystem faulty(*env.files);
  env.files = &faulty;
  TZipBuilder failing{&env, &ui};
  failing.Unattended = true;
  failing.SetMaxVolumeSize(40000);
  failing.SetMinFreeVolSize(1000);
  fs::create_directories(dir / "set");
  fs::create_directories(dir / "temp");
  failing.TempDir = dir / "temp";

  // Writing: the second volume cannot be created, or its first write fails;
  // the first one, complete, goes too.
  for (Op op : {Op::Open, Op::Write}) {
    faulty.Reset();
    fs::remove_all(dir / "set");
    fs::create_directories(dir / "set");
    // Opens: the input, then volume 1, then volume 2. Writes: 4 + about 40000 bytes fill volume 1.
    uint64_t nth = op == Op::Open ? 3 : 0;
    if (op == Op::Write) {
      faulty.FailNth(Op::Write, 0);
      ASSERT_EQ(failing.WriteSpan(sourcePath, dir / "set/probe.zip"), 0);
      uint64_t volumeOneWrites = 0;
      int64_t bytes = 0;
      for (const auto& w : faulty.Writes()) {
        bytes += w.result;
        ++volumeOneWrites;
        if (bytes >= 40000) break;
      }
      faulty.Reset();
      nth = volumeOneWrites + 1;
    }
    faulty.FailNth(op, nth);
    EXPECT_EQ(failing.WriteSpan(sourcePath, dir / "set/a.zip"), -7);
    EXPECT_EQ(failing.ErrCode(), op == Op::Open ? 11009 : 11010);
    EXPECT_TRUE(ReadTextFile(sourcePath) == source);
    EXPECT_FALSE(fs::exists(dir / "set/a001.zip"));  // named only once the set is complete
  }

  // Joining: each read and each write in turn fails; a failed join leaves neither
  // its output nor a temporary file, a join the failure did not disturb is whole.
  faulty.Reset();
  fs::remove_all(dir / "set");
  fs::create_directories(dir / "set");
  ASSERT_EQ(failing.WriteSpan(sourcePath, dir / "set/a.zip"), 0);
  faulty.Reset();
  std::string probe = dir / "temp/";
  ASSERT_EQ(failing.ReadSpan(dir / "set/a003.zip", probe), 0);
  std::replace(probe.begin(), probe.end(), '\\', '/');
  ASSERT_TRUE(fs::remove(probe));
  const uint64_t reads = faulty.Calls(Op::Read), writes = faulty.Calls(Op::Write);
  int failed = 0;
  for (Op op : {Op::Read, Op::Write}) {
    for (uint64_t nth = 1; nth <= (op == Op::Read ? reads : writes); ++nth) {
      faulty.Reset();
      faulty.FailNth(op, nth);
      std::string out = dir / "temp/";
      if (failing.ReadSpan(dir / "set/a003.zip", out) != 0) {
        ++failed;
        EXPECT_EQ(out, "") << nth;
        EXPECT_TRUE(fs::is_empty(dir / "temp")) << nth;
      } else {
        std::replace(out.begin(), out.end(), '\\', '/');
        EXPECT_TRUE(ReadTextFile(out) == source) << nth;
        fs::remove(out);
      }
    }
  }
  EXPECT_GT(failed, static_cast<int>(reads + writes) / 2);
}

TEST_F(SpanTest, ThreeRemovableDisksWithPromptsAndLabels) {
  auto disk1 = NewDisk("d1"), disk2 = NewDisk("d2"), disk3 = NewDisk("d3");
  drives.Insert('A', disk1);
  InsertOnEachBox({disk1, disk2, disk3});
  ASSERT_EQ(zip.WriteSpan(sourcePath, "A:\\set.zip"), 0) << zip.Message();
  EXPECT_EQ(BoxTexts(),
            (std::vector<std::string>{"Please insert disk volume 1 of 3\nin drive: A",
                                      "Please insert disk volume 2 of 3\nin drive: A",
                                      "Please insert disk volume 3 of 3\nin drive: A"}));
  for (const char* name : {"d1", "d2", "d3"})
    EXPECT_TRUE(fs::exists(dir / (std::string(name) + "/set.zip"))) << name;
  EXPECT_EQ(drives.LabelSetOn(dir / "d1"), "PKBACK# 001");
  EXPECT_EQ(drives.LabelSetOn(dir / "d2"), "PKBACK# 002");
  EXPECT_EQ(drives.LabelSetOn(dir / "d3"), "PKBACK# 003");

  // Join: the drive is empty, so the last disk is asked for first, then 1, 2, 3.
  drives.Eject('A');
  disk1.label = "PKBACK# 001", disk2.label = "PKBACK# 002", disk3.label = "PKBACK# 003";
  ui.boxes.clear();
  InsertOnEachBox({disk3, disk1, disk2, disk3});
  EXPECT_TRUE(Join("A:\\set.zip") == source);
  EXPECT_EQ(BoxTexts(),
            (std::vector<std::string>{"Please insert last disk\nin drive: A",
                                      "Please insert disk volume 1 of 3\nin drive: A",
                                      "Please insert disk volume 2 of 3\nin drive: A",
                                      "Please insert disk volume 3 of 3\nin drive: A"}));
}

// One volume of the set is written while the drive holds disks the script
// inserts, one per prompt; OnStatusDisk answers from a queue and records its calls.
TEST_F(SpanTest, StatusDiskEveryStatusAndAction) {
  auto input = fs::last_write_time(sourcePath);
  auto stamped = [&](const std::string& name, const std::string& label, int64_t size,
                     int64_t free) {
    auto disk = NewDisk(name, size);
    disk.label = label;
    disk.freeBytes = free;
    fs::create_directories(disk.directory);
    WriteTextFile(disk.directory + "/set.zip", "an older file");
    return disk;
  };
  struct Call {
    int previousDisk;
    std::string file;
    uint8_t status;
    bool operator==(const Call&) const = default;
  };
  const uint8_t previous = 1 << zdsPreviousDisk, same = 1 << zdsSameFileName,
                hasFiles = 1 << zdsHasFiles, empty = 1 << zdsEmpty,
                noSpace = 1 << zdsNotEnoughSpace;
  struct Case {
    const char* what;
    std::function<std::vector<platform::FakeDrives::Disk>()> disks;
    int32_t maxVolume;
    std::vector<TZipDiskAction> actions;
    int result;
    std::vector<Call> calls;
    int prompts;
  } cases[] = {
      {"previous disk, rejected, then a fresh one",
       [&] {
         auto old = stamped("p1", "PKBACK# 001", 40000, 30000);
         fs::last_write_time(old.directory + "/set.zip", input);
         return std::vector{NewDisk("p0", 200000), old, NewDisk("p2", 200000)};
       },
       60000,
       {zdaReject},
       0,
       {{1, "A:\\set.zip", uint8_t(previous | hasFiles)}},
       3},
      {"same name, overwritten",
       [&] { return std::vector{stamped("s1", "DATA", 40000, 200000)}; },
       0,
       {zdaOk},
       0,
       {{1, "A:\\set.zip", uint8_t(same | hasFiles)}},
       1},
      {"same name on an empty disk, erase answer overwrites",
       [&] { return std::vector{stamped("s2", "PKBACK# 7", 200000, 200000)}; },
       0,
       {zdaErase},
       0,
       {{7, "A:\\set.zip", uint8_t(same | empty)}},
       1},
      {"not enough space, ok asks for another disk",
       [&] {
         return std::vector{NewDisk("n1", 500), NewDisk("n2", 200000)};
       },
       0,
       {zdaOk},
       0,
       {{1, "A:\\set.zip", noSpace}},
       2},
      {"cancel",
       [&] { return std::vector{stamped("c1", "DATA", 40000, 30000)}; },
       0,
       {zdaCancel},
       -7,
       {{1, "A:\\set.zip", uint8_t(same | hasFiles)}},
       1},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    drives.Eject('A');
    ui.boxes.clear();
    reported.clear();
    std::vector<Call> calls;
    auto actions = c.actions;
    zip.OnStatusDisk = [&](TZipBuilder*, int previousDisk, const std::string& file,
                           TZipDiskStatus status, TZipDiskAction& action) {
      calls.push_back({previousDisk, file, status.ToBits()});
      action = actions.empty() ? zdaOk : actions.front();
      if (!actions.empty()) actions.erase(actions.begin());
    };
    auto disks = c.disks();
    zip.SetMaxVolumeSize(c.maxVolume);
    InsertOnEachBox(disks);
    EXPECT_EQ(zip.WriteSpan(sourcePath, "A:\\set.zip"), c.result) << zip.Message();
    EXPECT_EQ(calls, c.calls);
    EXPECT_EQ(static_cast<int>(ui.boxes.size()), c.prompts);
    if (c.result == 0) {
      EXPECT_EQ(zip.DiskAction(), c.actions.back());
    } else {
      EXPECT_EQ(zip.ErrCode(), 11007);
      EXPECT_EQ(reported, std::vector<int>{11007});
    }
  }
  // The status test of the space case deleted its new file again.
  EXPECT_FALSE(fs::exists(dir / "n1/set.zip"));
}

TEST_F(SpanTest, QuestionBoxesWithoutStatusEvent) {
  auto old = NewDisk("q1");
  old.label = "DATA";
  fs::create_directories(old.directory);
  WriteTextFile(old.directory + "/set.zip", "unrelated");
  auto tiny = NewDisk("q2", 500);
  // Volume 1: No to overwriting, Retry on the full disk, then a usable disk.
  ui.boxAnswers = {ui::kIdOk, ui::kIdNo, ui::kIdOk, ui::kIdRetry, ui::kIdOk};
  InsertOnEachBox({old, old, tiny, tiny, NewDisk("q3", 200000)});
  ASSERT_EQ(zip.WriteSpan(sourcePath, "A:\\set.zip"), 0) << zip.Message();
  ASSERT_EQ(ui.boxes.size(), 5u);
  EXPECT_EQ(ui.boxes[1].text,
            "There is already a file A:\\set.zip\nDo you want to overwrite this file");
  EXPECT_EQ(ui.boxes[1].caption, "Confirm");
  EXPECT_EQ(ui.boxes[1].style, 0x133u);
  EXPECT_EQ(ui.boxes[3].text, "This disk has not enough free space available");
  EXPECT_EQ(ui.boxes[3].style, 0x15u);
  EXPECT_EQ(ReadTextFile(dir / "q1/set.zip"), "unrelated");  // never overwritten
  EXPECT_EQ(ReadTextFile(dir / "q3/set.zip").size(), source.size() + 4);

  // Cancel in the overwrite box ends the run without a further box.
  ui.boxes.clear();
  reported.clear();
  ui.boxAnswers = {ui::kIdOk, ui::kIdCancel};
  InsertOnEachBox({old});
  EXPECT_EQ(zip.WriteSpan(sourcePath, "A:\\set.zip"), -7);
  EXPECT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(reported, std::vector<int>{11007});
}

TEST_F(SpanTest, UnattendedCannotAskForDisksOrOverwrite) {
  zip.Unattended = true;
  drives.Insert('A', NewDisk("u1"));
  EXPECT_EQ(zip.WriteSpan(sourcePath, "A:\\set.zip"), -7);
  EXPECT_EQ(zip.ErrCode(), 11025);
  // On a fixed drive no disk is asked for, but an existing volume file is not overwritten.
  fs::create_directories(dir / "set");
  WriteTextFile(dir / "set/a001.zip", "unrelated");
  EXPECT_EQ(zip.WriteSpan(sourcePath, dir / "set/a.zip"), -7);
  EXPECT_EQ(zip.ErrCode(), 11025);
  EXPECT_EQ(ReadTextFile(dir / "set/a001.zip"), "unrelated");
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(SpanTest, HeadersNeverSplitAndTooSmallVolumesStop) {
  fs::create_directories(dir / "set");
  // Volumes of 3000 bytes: every header lands whole on one volume; the join proves the offsets.
  zip.SetMaxVolumeSize(3000);
  ASSERT_EQ(zip.WriteSpan(sourcePath, dir / "set/a.zip"), 0);
  const int last = zip.DiskNr();
  EXPECT_GT(last, 30);
  EXPECT_TRUE(Join(dir / ("set/" + zip::NumberedName("a.zip", last))) == source);
  // A volume smaller than the first header with its name can never take it.
  fs::remove_all(dir / "set");
  fs::create_directories(dir / "set");
  zip.Unattended = true;
  zip.SetMaxVolumeSize(30);
  zip.SetMinFreeVolSize(10);
  EXPECT_EQ(zip.WriteSpan(sourcePath, dir / "set/a.zip"), -7);
  EXPECT_EQ(zip.ErrCode(), 11010);
  EXPECT_LE(std::distance(fs::directory_iterator(dir / "set"), fs::directory_iterator()), 1);
}

TEST_F(SpanTest, ProgressReportsEveryByteOnce) {
  fs::create_directories(dir / "set");
  zip.SetMaxVolumeSize(40000);
  int64_t bytes = 0, total = 0, members = -1, ends = 0;
  zip.OnProgress = [&](TZipBuilder*, ProgressType type, const std::string&, int64_t size) {
    if (type == ptBytesDone) bytes += size;
    if (type == ptTotalBytes) total = size;
    if (type == ptMemberCount) members = size;
    if (type == ptBatchEnd) ++ends;
  };
  ASSERT_EQ(zip.WriteSpan(sourcePath, dir / "set/a.zip"), 0);
  EXPECT_EQ(members, 5);
  EXPECT_EQ(total, static_cast<int64_t>(source.size()));
  EXPECT_EQ(bytes,
            static_cast<int64_t>(source.size()));  // the marker is written before counting starts
  EXPECT_EQ(ends, 1);
}

}  // namespace
