// Finding the end record, telling the volumes of a spanned set apart, the member
// table and copying a central directory with shifted offsets.
#include <gtest/gtest.h>

#include "platform/Drives.h"
#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "tests/support/ArchiveBytes.h"
#include "tests/support/FakeDriveEnv.h"
#include "tests/support/FakeDrives.h"
#include "tests/support/TempDir.h"
#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"

using testsupport::ArchiveLayout;
using testsupport::BuildArchive;

namespace {

struct EndRecordTest : ::testing::Test, testsupport::FakeDriveEnv {
  ui::ScriptedUi ui;
  TZipBuilder zip{&env, &ui};
  std::vector<int> messages;
  zip::ZipEndOfCentral record{};

  void SetUp() override {
    zip.OnMessage = [this](TZipBuilder* z, int, const std::string&) { messages.push_back(z->ErrCode()); };
  }

  // Opens `bytes` as the input archive and searches it.
  bool Search(const std::string& bytes, bool raise = true) {
    std::string path = dir / "in.zip";
    testsupport::WriteTextFile(path, bytes);
    zip.SetInFileName(path);
    return zip.CheckIfLastDisk(record, raise);
  }
};

TEST_F(EndRecordTest, RecordAtTheVeryEndIsFoundDirectly) {
  auto built = BuildArchive({{"a.txt", "abc"}});
  ASSERT_TRUE(Search(built.bytes));
  EXPECT_EQ(zip.EndOfCentralOffset(), static_cast<int32_t>(built.bytes.size() - 22));
  EXPECT_EQ(zip.ArchiveFileSize(), static_cast<int32_t>(built.bytes.size()));
  EXPECT_EQ(record.TotalEntries, 1);
  EXPECT_EQ(zip.RawZipComment(), "");
  EXPECT_FALSE(zip.Spanned());
}

TEST_F(EndRecordTest, TrailingBytesAreMeasuredAndWarnedAbout) {
  ArchiveLayout layout;
  layout.comment = "ten bytes!";
  auto built = BuildArchive({{"a.txt", "abc"}}, layout);
  const auto size = static_cast<int32_t>(built.bytes.size());
  const std::string padding(512 - built.bytes.size() % 512, '\0');
  struct Case {
    const char* what;
    std::string tail;
    bool warned;
  } cases[] = {
      {"comment only", "", false},
      {"text appended", std::string(100, 'j'), true},
      {"zero padding to a block", padding, false},
      {"zero padding past a block", padding + std::string(512, '\0'), true},
      {"padding that is not zero", std::string(padding.size(), 'x'), true},
  };
  for (const auto& c : cases) {
    messages.clear();
    ASSERT_TRUE(Search(built.bytes + c.tail)) << c.what;
    EXPECT_EQ(zip.ArchiveFileSize(), size) << c.what;
    EXPECT_EQ(zip.RealFileSize(), static_cast<int32_t>(size + c.tail.size())) << c.what;
    EXPECT_EQ(zip.EndOfCentralOffset(), static_cast<int32_t>(built.endOffset)) << c.what;
    EXPECT_EQ(zip.RawZipComment(), "ten bytes!") << c.what;
    EXPECT_EQ(messages, c.warned ? std::vector<int>{10204} : std::vector<int>{}) << c.what;
  }
}

TEST_F(EndRecordTest, CommentKeepsItsZeroBytesAndMayRunPastTheFile) {
  ArchiveLayout layout;
  layout.comment = std::string("before\0after", 12);
  ASSERT_TRUE(Search(BuildArchive({}, layout).bytes));
  EXPECT_EQ(zip.RawZipComment(), std::string("before\0after", 12));
  EXPECT_EQ(zip.GetZipComment(), std::string("before\0after", 12)) << "the property shows them too";

  layout.comment = "cut";
  auto built = BuildArchive({}, layout);
  zip::Store16(reinterpret_cast<uint8_t*>(&built.bytes[20]), 50);  // claims 50 bytes, 3 follow
  messages.clear();
  ASSERT_TRUE(Search(built.bytes));
  EXPECT_EQ(zip.RawZipComment(), "cut");
  EXPECT_EQ(zip.ArchiveFileSize(), 22 + 50);
  EXPECT_EQ(messages, std::vector<int>{10204});
}

// The archive's own end record, not a signature in its comment nor the record
// of an archive stored in it, also when its comment runs past the end of the file.
TEST_F(EndRecordTest, TheArchivesOwnRecordIsTaken) {
  ArchiveLayout trap;
  trap.comment = std::string("xx") + "PK\x05\x06" + std::string(18, '\x01') + "y";  // not the last 22 bytes
  const auto cut = testsupport::CutArchiveHoldingAnArchive();
  const auto cutBehindStub = testsupport::CutArchiveHoldingAnArchive(std::string(1000, 's'));
  const auto commented = BuildArchive({{"own.txt", "own"}}, trap);
  struct Case {
    const char* what;
    const testsupport::BuiltArchive& built;
    std::vector<std::string> names;
    std::vector<int> messages;  // of the search
  } cases[] = {
      {"cut download holding an archive", cut, {"inner.zip", "own.txt"}, {10204}},
      {"the same behind a stub", cutBehindStub, {"inner.zip", "own.txt"}, {10204}},
      {"signature in the comment", commented, {"own.txt"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    messages.clear();
    ASSERT_TRUE(Search(c.built.bytes));
    EXPECT_EQ(zip.EndOfCentralOffset(), static_cast<int32_t>(c.built.endOffset));
    EXPECT_EQ(messages, c.messages);
    zip.SetFileName(dir / "in.zip");
    std::vector<std::string> names;
    for (const auto& entry : zip.ZipDirEntryRecords()) names.push_back(entry->FileName);
    EXPECT_EQ(names, c.names);
  }
}

TEST_F(EndRecordTest, FilesWithoutRecordTellWhichVolumeTheyAre) {
  drives.AddDrive('A', platform::kDriveRemovable);
  const std::string spanMarker = std::string("PK\x07\x08", 4) + std::string("PK\x03\x04", 4) + std::string(40, 'd');
  struct Case {
    const char* what;
    std::string label;  // "" : a fixed drive without label
    std::string bytes;
    int id;
    int labelNumber;
  } cases[] = {
      {"first removable volume", "PKBACK# 001", spanMarker, 11037, 0},
      {"first split file", "", spanMarker, 11045, 0},
      {"third removable volume", "PKBACK# 003", std::string(100, 'x'), 11038, 3},
      {"no zip at all", "", std::string(100, 'x'), 11036, 0},
      {"shorter than a record", "", "PK", 11036, 0},
  };
  for (const auto& c : cases) {
    if (c.label.empty()) {
      zip.SetDriveRoot("\\");
    } else {
      drives.Insert('A', {dir / "disk", c.label});
      zip.SetDriveRoot("A:\\");
    }
    ASSERT_TRUE(zip.IsDiskPresent()) << c.what;
    for (bool raise : {true, false}) {
      messages.clear();
      try {
        EXPECT_FALSE(Search(c.bytes, raise)) << c.what;
        EXPECT_FALSE(raise) << c.what << ": no error raised";
      } catch (const EZipBuilder& e) {
        EXPECT_TRUE(raise) << c.what;
        EXPECT_EQ(e.Ident(), c.id) << c.what;
        EXPECT_TRUE(e.DisplayMsg());
        if (c.labelNumber) {
          EXPECT_NE(std::string(e.what()).find(std::to_string(c.labelNumber) + "th disk"), std::string::npos);
        }
      }
      EXPECT_TRUE(messages.empty()) << c.what;
    }
  }
}

TEST_F(EndRecordTest, MissingFileIsReportedOrRaised) {
  zip.SetInFileName(dir / "absent.zip");
  EXPECT_FALSE(zip.CheckIfLastDisk(record, false));
  EXPECT_EQ(messages, std::vector<int>{11002});
  try {
    zip.CheckIfLastDisk(record, true);
    ADD_FAILURE() << "no error raised";
  } catch (const EZipBuilder& e) {
    EXPECT_EQ(e.Ident(), 11001);
  }
}

TEST_F(EndRecordTest, MemberTableFindsNamesOfTheSameLengthIgnoringCase) {
  auto table = TZipBuilder::AllocSpanMem(4);
  ASSERT_EQ(table->size(), 4u);
  EXPECT_FALSE((*table)[0]->FileName.has_value());
  const char* names[] = {"other.txt", "dir/a.txt", "dir/b.txt", "\xE2\x84\xAA"};  // KELVIN SIGN
  for (int i = 0; i < 4; ++i) {
    (*table)[i]->FileName = names[i];
    (*table)[i]->FileNameLen = static_cast<uint16_t>(std::string(names[i]).size());
  }
  const struct {
    std::string name;
    int index;  // -1: not found
  } lookups[] = {
      {"DIR/A.TXT", 1}, {"dir/b.txt", 2},   {"DIR/A.TX", -1},
      {"k", -1},        {"K", -1},          {"\xE2\x84\xAA", 3},
  };
  for (const auto& l : lookups) {
    SCOPED_TRACE(l.name);
    const int length = static_cast<int>(l.name.size());
    if (l.index >= 0) {
      EXPECT_EQ(TZipBuilder::FindZipEntry(4, *table, l.name, length), l.index);
      continue;
    }
    try {
      TZipBuilder::FindZipEntry(4, *table, l.name, length);
      ADD_FAILURE() << "no error raised";
    } catch (const EZipBuilder& e) {
      EXPECT_EQ(e.Ident(), 11026);
    }
  }
  TZipBuilder::DeleteSpanMem(table);
  EXPECT_EQ(table, nullptr);
  TZipBuilder::DeleteSpanMem(table);  // none: ignored
}

TEST_F(EndRecordTest, CentralDirectoryIsCopiedWithShiftedOffsets) {
  ArchiveLayout layout;
  layout.comment = "kept";
  auto built = BuildArchive({{"a.txt", "abc", "note"}, {"b.txt", "defg"}}, layout);
  for (int32_t shift : {0, 1000}) {
    ASSERT_TRUE(Search(built.bytes));
    auto& files = *env.files;
    ASSERT_EQ(files.Seek(zip.InFileHandle(), record.CentralOffSet, platform::SeekFrom::Begin),
              record.CentralOffSet);
    std::string outPath = dir / "out.bin";
    platform::FileHandle out = files.Open(outPath, platform::Access::Write, platform::Share::None,
                                          platform::Disposition::CreateAlways);
    ASSERT_NE(out, platform::kInvalidHandle);
    EXPECT_EQ(zip.RWCentralDir(out, record, shift), 0);
    files.Close(out);

    std::string copy = testsupport::ReadTextFile(outPath);
    std::string expected = built.bytes.substr(built.centralOffset);
    ASSERT_EQ(copy.size(), expected.size());
    // Offsets of the two local headers and of the directory grow by the shift.
    const uint8_t* c = reinterpret_cast<const uint8_t*>(copy.data());
    const uint8_t* e = reinterpret_cast<const uint8_t*>(expected.data());
    const size_t second = 46 + 5 + 4;
    const size_t end = built.endOffset - built.centralOffset;
    EXPECT_EQ(zip::Load32(c + 42), zip::Load32(e + 42) + shift);
    EXPECT_EQ(zip::Load32(c + second + 42), zip::Load32(e + second + 42) + shift);
    EXPECT_EQ(zip::Load32(c + end + 16), zip::Load32(e + end + 16) + shift);
    if (shift == 0) {
      EXPECT_EQ(copy, expected);
    }
  }
}

TEST_F(EndRecordTest, CentralDirectoryCopyFailsQuietlyOnBrokenInput) {
  auto built = BuildArchive({{"a.txt", "abc"}});
  ASSERT_TRUE(Search(built.bytes));
  auto& files = *env.files;
  files.Seek(zip.InFileHandle(), 0, platform::SeekFrom::Begin);  // a local header, not a central one
  platform::FileHandle out = files.Open(dir / "out.bin", platform::Access::Write, platform::Share::None,
                                        platform::Disposition::CreateAlways);
  EXPECT_EQ(zip.RWCentralDir(out, record, 0), -2);
  files.Close(out);
  EXPECT_TRUE(messages.empty());
  EXPECT_TRUE(ui.boxes.empty());
}

}  // namespace
