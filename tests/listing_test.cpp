// Listing the central directory and writing the archive comment, on archives
// built byte by byte.
#include <gtest/gtest.h>

#include "tests/support/ArchiveBytes.h"
#include "tests/support/TempDir.h"
#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"

using testsupport::ArchiveLayout;
using testsupport::BuildArchive;
using testsupport::TestMember;

namespace {

struct ListingTest : ::testing::Test {
  testsupport::TempDir dir;
  ui::ScriptedUi ui;
  TZipBuilder zip{nullptr, &ui};
  int dirUpdates = 0;
  std::vector<std::pair<int, std::string>> newNames;
  std::vector<int> messages;

  void SetUp() override {
    zip.OnDirUpdate = [this](TZipBuilder*) { ++dirUpdates; };
    zip.OnNewName = [this](TZipBuilder*, int seqNo, ZipDirEntry& e) { newNames.emplace_back(seqNo, e.FileName); };
    zip.OnMessage = [this](TZipBuilder* z, int, const std::string&) { messages.push_back(z->ErrCode()); };
  }

  std::string Write(const std::string& bytes, const std::string& name = "a.zip") {
    std::string path = dir / name;
    testsupport::WriteTextFile(path, bytes);
    return path;
  }
};

TEST_F(ListingTest, EndRecordAloneListsNoMembers) {
  zip.SetFileName(Write(BuildArchive({}).bytes));
  EXPECT_EQ(zip.Count(), 0);
  EXPECT_EQ(zip.ArchiveStart(), 0);
  EXPECT_EQ(zip.CentralDirOffset(), 0);
  EXPECT_EQ(dirUpdates, 1);
  EXPECT_TRUE(newNames.empty());
  EXPECT_TRUE(messages.empty());
}

TEST_F(ListingTest, MissingFileEmptiesTheListWithoutMessage) {
  zip.SetFileName(Write(BuildArchive({{"x.txt", "data"}}).bytes));
  ASSERT_EQ(zip.Count(), 1);
  zip.SetFileName(dir / "missing.zip");
  EXPECT_EQ(zip.Count(), 0);
  EXPECT_EQ(dirUpdates, 2);
  EXPECT_TRUE(messages.empty());
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ListingTest, MembersCarryTheirCentralHeaderFields) {
  TestMember m{"dir/file.txt", "hello world", "about it", std::string("UT\x05\x00\x01\x02\x03\x04\x05", 9)};
  m.flags = 1;
  m.hostSystem = 3;
  zip.SetFileName(Write(BuildArchive({m}).bytes));
  ASSERT_EQ(zip.Count(), 1);
  const ZipDirEntry& e = *zip.ZipDirEntryRecords()[0];
  EXPECT_EQ(e.FileName, "dir\\file.txt");
  EXPECT_EQ(e.FileComment, "about it");
  EXPECT_EQ(+e.UncompressedSize, 11u);
  EXPECT_EQ(+e.CompressedSize, 11u);
  EXPECT_EQ(+e.Crc32, testsupport::Crc32Of("hello world"));
  EXPECT_EQ(+e.HostSystem, 3);
  EXPECT_EQ(+e.VersionMadeBy, 20);
  EXPECT_EQ(+e.NameLength, 12);
  EXPECT_EQ(+e.ExtraLength, 9);
  EXPECT_EQ(+e.CommentLength, 8);
  EXPECT_EQ(+e.ModDate, 0x5921);
  EXPECT_EQ(+e.ExternalAttributes, 0x20u);
  EXPECT_TRUE(e.Encrypted);
  EXPECT_EQ(std::string(e.ExtraData.begin(), e.ExtraData.end()), m.extra);
  EXPECT_EQ(newNames, (std::vector<std::pair<int, std::string>>{{1, "dir\\file.txt"}}));
}

TEST_F(ListingTest, DirectoryOnlyEntriesAreSkippedUnlessWanted) {
  std::string path = Write(BuildArchive({{"dir/", ""}, {"dir/a.txt", "a"}}).bytes);
  struct Case {
    bool useDirOnly;
    std::vector<std::pair<int, std::string>> names;
    int skipped;
  } cases[] = {
      {false, {{2, "dir\\a.txt"}}, 1},
      {true, {{1, "dir\\"}, {2, "dir\\a.txt"}}, 0},
  };
  for (const auto& c : cases) {
    newNames.clear();
    zip.UseDirOnlyEntries = c.useDirOnly;
    zip.SetFileName(path);
    EXPECT_EQ(newNames, c.names) << c.useDirOnly;
    EXPECT_EQ(zip.Count(), static_cast<int>(c.names.size()));
    EXPECT_EQ(zip.SkippedDirCount(), c.skipped);
  }
}

TEST_F(ListingTest, StubInFrontWithAndWithoutAdjustedOffsets) {
  for (bool adjusted : {false, true}) {
    messages.clear();
    ArchiveLayout layout;
    layout.stub = std::string(1000, 'S');
    layout.offsetsCountStub = adjusted;
    auto built = BuildArchive({{"a.txt", "aaa"}, {"b.txt", "bb"}}, layout);
    zip.SetFileName(Write(built.bytes));
    EXPECT_EQ(zip.Count(), 2) << adjusted;
    EXPECT_EQ(zip.ArchiveStart(), 1000) << adjusted;
    EXPECT_EQ(zip.StructureWarning(), !adjusted);
    EXPECT_EQ(zip.CentralDirOffset(), static_cast<int32_t>(built.centralOffset));
    EXPECT_EQ(zip.EndOfCentralOffset(), static_cast<int32_t>(built.endOffset));
    EXPECT_EQ(messages, adjusted ? std::vector<int>{} : std::vector<int>{10203});
  }
}

TEST_F(ListingTest, BrokenCentralDirectoriesStopWithTheirMessage) {
  auto built = BuildArchive({{"first.txt", "1", "c1", "xy"}, {"second.txt", "2"}});
  // Each case spoils one field; lengths beyond the file make a read come up short.
  struct Case {
    const char* what;
    size_t offset;  // in the file
    int width;
    uint32_t value;
    int id;
  } cases[] = {
      {"signature", built.centralOffset, 4, 0x02014B51u, 11015},
      {"fixed part", built.endOffset + 10, 2, 3, 11013},  // one entry more than there are
      {"name", built.centralOffset + 28, 2, 1000, 11017},
      {"extra", built.centralOffset + 30, 2, 1000, 10201},
      {"comment", built.centralOffset + 32, 2, 1000, 11022},
  };
  for (const auto& c : cases) {
    std::string bytes = built.bytes;
    auto* p = reinterpret_cast<uint8_t*>(&bytes[c.offset]);
    if (c.width == 2) zip::Store16(p, static_cast<uint16_t>(c.value));
    else zip::Store32(p, c.value);
    messages.clear();
    dirUpdates = 0;
    zip.SetFileName(Write(bytes));
    EXPECT_EQ(zip.ErrCode(), c.id) << c.what;
    EXPECT_EQ(messages, std::vector<int>{c.id}) << c.what;
    EXPECT_EQ(zip.ZipFileName(), "") << c.what;
    EXPECT_EQ(zip.Count(), 0) << c.what;
    EXPECT_EQ(dirUpdates, 1) << c.what;
  }
}

TEST_F(ListingTest, NamesFromDosHostsAreConvertedButUtf8NamesAreNot) {
  TestMember dos{"\x81" "ber.txt", "x"};  // CP850 0x81 is u-umlaut
  TestMember utf8{"\xC3\xBC" "ber.txt", "x"};
  utf8.flags = 0x0800;
  TestMember unixName{"\x81" "raw", "x"};
  unixName.hostSystem = 3;
  zip.SetFileName(Write(BuildArchive({dos, utf8, unixName}).bytes));
  ASSERT_EQ(zip.Count(), 3);
  EXPECT_EQ(zip.ZipDirEntryRecords()[0]->FileName, "\xC3\xBC" "ber.txt");
  EXPECT_EQ(zip.ZipDirEntryRecords()[1]->FileName, "\xC3\xBC" "ber.txt");
  EXPECT_EQ(zip.ZipDirEntryRecords()[2]->FileName, "\x81" "raw");
}

TEST_F(ListingTest, LongNamesAreReadWhole) {
  std::string longName = std::string(300, 'n') + "/" + std::string(200, 'm');
  zip.SetFileName(Write(BuildArchive({{longName, "x"}, {"next", "y"}}).bytes));
  ASSERT_EQ(zip.Count(), 2);
  EXPECT_EQ(zip.ZipDirEntryRecords()[0]->FileName, std::string(300, 'n') + "\\" + std::string(200, 'm'));
  EXPECT_EQ(zip.ZipDirEntryRecords()[1]->FileName, "next");
}

TEST_F(ListingTest, HostileCountsAndSizesFailCleanly) {
  auto built = BuildArchive({{"a", "b"}});
  struct Case {
    const char* what;
    size_t field;  // offset in the end record
    int width;
    uint32_t value;
    int id;
  } cases[] = {
      {"entry count beyond the file", 10, 2, 65535, 11013},
      {"directory larger than the file", 12, 4, 0xFFFFFF00u, 10201},
  };
  for (const auto& c : cases) {
    std::string bytes = built.bytes;
    auto* p = reinterpret_cast<uint8_t*>(&bytes[built.endOffset + c.field]);
    if (c.width == 2) zip::Store16(p, static_cast<uint16_t>(c.value));
    else zip::Store32(p, c.value);
    zip.SetFileName(Write(bytes));
    EXPECT_EQ(zip.ErrCode(), c.id) << c.what;
    EXPECT_EQ(zip.Count(), 0) << c.what;
  }
}

struct CommentTest : ListingTest {};

TEST_F(CommentTest, WritingReplacesTheCommentAndCutsTheFile) {
  ArchiveLayout layout;
  layout.comment = "an old and rather long comment";
  auto built = BuildArchive({{"a.txt", "abc"}}, layout);
  std::string path = Write(built.bytes + "trailing junk");
  zip.SetFileName(path);
  EXPECT_EQ(zip.GetZipComment(), "an old and rather long comment");

  zip.SetZipComment("new");
  EXPECT_EQ(zip.GetZipComment(), "new");
  std::string after = testsupport::ReadTextFile(path);
  EXPECT_EQ(after.size(), built.endOffset + 22 + 3);
  EXPECT_EQ(after.substr(after.size() - 3), "new");

  zip.SetZipComment("");
  after = testsupport::ReadTextFile(path);
  EXPECT_EQ(after.size(), built.endOffset + 22u);
  EXPECT_EQ(zip::Load16(reinterpret_cast<const uint8_t*>(&after[built.endOffset + 20])), 0);
  zip.SetFileName(path);
  EXPECT_EQ(zip.Count(), 1);
  EXPECT_EQ(zip.GetZipComment(), "");
}

TEST_F(CommentTest, CommentsAreConvertedToTheOemCodePage) {
  std::string path = Write(BuildArchive({{"a.txt", "abc"}}).bytes);  // host 0: OEM names
  zip.SetFileName(path);
  zip.SetZipComment("\xC3\xBC");  // u-umlaut in UTF-8
  std::string after = testsupport::ReadTextFile(path);
  EXPECT_EQ(after.back(), '\x81');
  zip.SetFileName(path);
  EXPECT_EQ(zip.GetZipComment(), "\xC3\xBC");
}

TEST_F(CommentTest, OverlongCommentIsCutToTheField) {
  std::string path = Write(BuildArchive({{"a.txt", "abc"}}).bytes);
  zip.CodePage = cpNone;
  zip.SetFileName(path);
  zip.SetZipComment(std::string(70000, 'c'));
  zip.SetFileName(path);
  EXPECT_EQ(zip.GetZipComment(), std::string(65535, 'c'));
  EXPECT_EQ(zip.Count(), 1);
}

TEST_F(CommentTest, WithoutArchiveTheCommentIsRefused) {
  zip.SetZipComment("text");
  EXPECT_EQ(zip.ErrCode(), 11001);
  EXPECT_EQ(zip.GetZipComment(), "");
}

TEST_F(CommentTest, MovedEndRecordIsReported) {
  std::string path = Write(BuildArchive({{"a.txt", "abc"}}).bytes);
  zip.SetFileName(path);
  testsupport::WriteTextFile(path, "short");
  zip.SetZipComment("text");
  EXPECT_EQ(zip.ErrCode(), 11011);
  EXPECT_EQ(zip.GetZipComment(), "");
  EXPECT_EQ(testsupport::ReadTextFile(path), "short");
}

}  // namespace
