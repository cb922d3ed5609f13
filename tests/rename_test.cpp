// Renaming members: the name and date rules, the refusals, stubs and comments
// in front, data descriptors of every form, progress and the undo copy.
#include <gtest/gtest.h>

#include "tests/support/CopyRenameFixture.h"
#include "tests/support/Noise.h"

namespace {

using namespace copyrename;

TEST_F(CopyRenameTest, RenameReplacesNamePartsAnywhereIgnoringCase) {
  const std::string tree =
      "docs/readme.txt docs/x.txt old/a.txt x/old/b.txt bold/c.txt data.txt a.txt";
  struct Case {
    std::vector<RenameItem> items;
    std::string expected;
  } cases[] = {
      {{{"docs/readme.txt", "docs/liesmich.txt"}},
       "docs/liesmich.txt docs/x.txt old/a.txt x/old/b.txt bold/c.txt data.txt a.txt"},
      {{{"old\\", "new\\"}},
       "docs/readme.txt docs/x.txt new/a.txt x/new/b.txt bnew/c.txt data.txt a.txt"},
      {{{"x/old/", "y/"}},
       "docs/readme.txt docs/x.txt old/a.txt y/b.txt bold/c.txt data.txt a.txt"},
      {{{"a.txt", "b.txt"}},
       "docs/readme.txt docs/x.txt old/b.txt x/old/b.txt bold/c.txt datb.txt b.txt"},
      {{{"DOCS\\", "d\\"}}, "d/readme.txt d/x.txt old/a.txt x/old/b.txt bold/c.txt data.txt a.txt"},
      // A directory request keeps only the directory part of its new name.
      {{{"old\\", "newdir"}}, "docs/readme.txt docs/x.txt a.txt x/b.txt bc.txt data.txt a.txt"},
      // Later requests see the earlier result, in the same separator form.
      {{{"old\\", "mid\\"}, {"mid\\a.txt", "end\\z.txt"}},
       "docs/readme.txt docs/x.txt end/z.txt x/mid/b.txt bmid/c.txt data.txt a.txt"},
      {{{"", "new\\"}}, tree},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    const auto before = ViewStoredZip(Use(CraftZip(Tree())));
    std::vector<std::string> messages;
    zip.OnMessage = [&](TZipBuilder*, int, const std::string& text) { messages.push_back(text); };
    ASSERT_EQ(Rename(c.items), 0) << zip.Message();
    zip.OnMessage = nullptr;
    const auto after = ViewStoredZip(ReadTextFile(path));
    ASSERT_TRUE(after.ok);
    EXPECT_EQ(Joined(after), c.expected);
    ASSERT_EQ(messages.size(), 7u);
    int64_t growth = 0;
    for (size_t i = 0; i < 7; ++i) {
      const auto &m = after.members[i], &old = before.members[i];
      EXPECT_EQ(m.localName, m.name);
      EXPECT_EQ(m.data, old.data);
      EXPECT_EQ(m.dosDateTime, old.dosDateTime);
      growth += static_cast<int64_t>(m.name.size()) - static_cast<int64_t>(old.name.size());
      EXPECT_EQ(messages[i],
                "Processing: " + old.name + (m.name != old.name ? " renamed to: " + m.name : ""));
    }
    EXPECT_EQ(int64_t{after.directorySize} - before.directorySize, growth);
    EXPECT_EQ(Files(), 1u);
    EXPECT_FALSE(zip.ZipRunning());
  }
}

TEST_F(CopyRenameTest, RenameRefusesAFileRequestWithoutNewFileNameBeforeAnything) {
  const std::string original = Use(CraftZip(Tree()));
  std::vector<RenameItem> items = {
      {"a/b.txt", "c.txt"}, {"docs/readme.txt", "docs/"}, {"x/y/", "z/"}};
  std::vector<RenameItem*> list = {&items[0], &items[1], &items[2]};
  EXPECT_EQ(zip.Rename(list, kDay1), -10);
  EXPECT_EQ(ReadTextFile(path), original);
  EXPECT_EQ(Files(), 1u);
  EXPECT_FALSE(zip.ZipRunning());
  // Requests up to the refused one are left normalised, the rest as they were.
  EXPECT_EQ(items[0].OldName + " " + items[1].OldName + " " + items[2].OldName,
            "a\\b.txt docs\\readme.txt x/y/");
}


TEST_F(CopyRenameTest, RenameDatesBothHeaders) {
  // Blocks with modification times of their own: NTFS times behind another tag
  // (modification time at byte 16), then a Unix timestamp (at byte 45).
  const std::string timesExtra = Le(0x000A, 2) + Le(36, 2) + Le(0, 4) + Le(7, 2) + Le(0, 2) +
                                 Le(1, 2) + Le(24, 2) + Le(111, 8) + Le(222, 8) + Le(333, 8) +
                                 Le(0x5455, 2) + Le(5, 2) + Le(1, 1) + Le(1, 4);
  struct Case {
    std::vector<RenameItem> items;
    uint32_t all;
    std::vector<uint32_t> expected;  // per member of the tree; 0: unchanged
    bool sealedAsked;                // a new date was asked for the time-checked member
  } cases[] = {
      {{}, kDay1, {kDay1, kDay1, kDay1, kDay1, kDay1, kDay1, kDay1}, true},
      {{{"docs\\", "docs\\", kDay2}}, kDay1, {kDay2, kDay2, kDay1, kDay1, kDay1, kDay1, kDay1}, true},
      {{{"a.txt", "a.txt", kDay2}}, 0, {0, 0, kDay2, 0, 0, kDay2, kDay2}, false},
      {{{"sealed", "sealed", kDay2}}, 0, {0, 0, 0, 0, 0, 0, 0}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.all);
    auto members = Tree();
    members[0].extra = timesExtra;
    // Its password check byte comes from its time, which must therefore stay.
    CraftedMember timeChecked("sealed.txt", "sealed", true);
    timeChecked.password = "pw";
    timeChecked.dataDescriptor = true;
    members.push_back(timeChecked);
    const auto before = ViewStoredZip(Use(CraftZip(members)));
    ASSERT_EQ(Rename(c.items, c.all), 0) << zip.Message();
    // The member that keeps its date is named in a warning.
    EXPECT_EQ(zip.ErrCode(), c.sealedAsked ? 10144 : 0);
    EXPECT_EQ(zip.Message().find("sealed.txt") != std::string::npos, c.sealedAsked) << zip.Message();
    const auto after = ViewStoredZip(ReadTextFile(path));
    ASSERT_EQ(after.members.size(), 8u);
    for (size_t i = 0; i < 8; ++i) {
      const uint32_t want = i < 7 && c.expected[i] ? c.expected[i] : before.members[i].dosDateTime;
      EXPECT_EQ(after.members[i].dosDateTime, want) << i;
      EXPECT_EQ(after.members[i].localDosDateTime, want) << i;
    }
    // Both blocks follow a new date alike; access and creation times stay.
    const std::string& extra = after.members[0].extra;
    ASSERT_EQ(extra.size(), timesExtra.size());
    EXPECT_EQ(extra.substr(24, 16), timesExtra.substr(24, 16));
    if (!c.expected[0]) {
      EXPECT_EQ(extra, timesExtra);
      continue;
    }
    EXPECT_NE(LoadLe(extra, 45, 4), 1u);
    EXPECT_EQ(LoadLe(extra, 16, 8), (LoadLe(extra, 45, 4) + 11644473600) * 10000000);
  }
}

TEST_F(CopyRenameTest, StubsAndCommentsStayInFront) {
  const std::string stub = "MZ" + std::string(998, '\x90');
  for (bool offsetsCountStub : {false, true}) {
    SCOPED_TRACE(offsetsCountStub);
    testsupport::ArchiveLayout layout{stub, offsetsCountStub, "archive comment"};
    Use(testsupport::CraftArchive(Tree(), layout).bytes);
    Use(destination, testsupport::CraftArchive(DestinationMembers(), layout).bytes);
    ASSERT_EQ(Rename({{"docs\\", "documents\\"}}), 0) << zip.Message();
    zip.SetFSpecArgs({"a.txt"});
    ASSERT_EQ(zip.CopyZippedFiles(&destination, false, OvrAlways), 0) << zip.Message();
    for (const std::string& file : {path, destinationPath}) {
      const std::string bytes = ReadTextFile(file);
      EXPECT_EQ(bytes.substr(0, stub.size()), stub);
      const auto view = ViewStoredZip(bytes);  // local headers read at the recorded offsets
      ASSERT_TRUE(view.ok);
      EXPECT_EQ(view.members[0].localOffset, stub.size());
      EXPECT_EQ(view.comment, "archive comment");
    }
    EXPECT_EQ(ViewStoredZip(ReadTextFile(path)).members[0].name, "documents/readme.txt");
    EXPECT_EQ(ViewStoredZip(ReadTextFile(destinationPath)).members.back().name, "a.txt");
    EXPECT_EQ(zip.ArchiveStart(), 1000);
    EXPECT_EQ(destination.ArchiveStart(), 1000);
  }
}

TEST_F(CopyRenameTest, DataDescriptorsOfEveryFormAndLongerLocalExtrasTravelWhole) {
  std::vector<CraftedMember> members;
  for (bool signature : {true, false})
    for (bool zip64 : {false, true}) {
      CraftedMember m(std::string("m") + (signature ? "s" : "n") + (zip64 ? "64" : "32") + ".txt",
                      std::string(700, 'd'), true);
      m.dataDescriptor = true;
      m.descriptorSignature = signature;
      m.descriptorZip64 = zip64;
      members.push_back(m);
    }
  members.back().password = "secret";
  members.push_back(SourceMembers()[2]);  // its local extra field is longer than its central one
  const auto before = ViewStoredZip(Use(CraftZip(members)));
  Use(destination, CraftZip(DestinationMembers()));
  ASSERT_EQ(Rename({{"s64", "S64"}}, kDay1), 0) << zip.Message();
  zip.SetFSpecArgs({"mS64.txt", "mn32.txt", "new2.txt"});
  ASSERT_EQ(zip.CopyZippedFiles(&destination, false, OvrAlways), 0) << zip.Message();
  const auto renamed = ViewStoredZip(ReadTextFile(path)),
             copied = ViewStoredZip(ReadTextFile(destinationPath));
  ASSERT_TRUE(renamed.ok && copied.ok);
  EXPECT_EQ(Joined(renamed), "ms32.txt mS64.txt mn32.txt mn64.txt new2.txt");
  EXPECT_EQ(Joined(copied), "own.txt same.txt dir/ mS64.txt mn32.txt new2.txt");
  const size_t lengths[] = {16, 24, 12, 20};
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const auto& m = renamed.members[i];
    EXPECT_EQ(m.data, before.members[i].data);
    EXPECT_EQ(m.descriptor.substr(0, lengths[i]),
              before.members[i].descriptor.substr(0, lengths[i]));
    // The next local header follows the descriptor directly.
    EXPECT_EQ(m.descriptor.substr(lengths[i], 4), std::string("PK\x03\x04", 4));
  }
  EXPECT_EQ(copied.members[3].descriptor.substr(0, 28),
            renamed.members[1].descriptor.substr(0, 28));
  EXPECT_EQ(copied.members[4].descriptor.substr(0, 16),
            renamed.members[2].descriptor.substr(0, 16));
  EXPECT_EQ(copied.members[5].localExtra, renamed.members[4].localExtra);  // with the new time
  EXPECT_EQ(copied.members[5].extra, "");
}

// Members that pass unchanged travel as ranges of the file, joined where they
// follow one another: renaming one member among hundreds takes a range copy or
// two, and renaming it back gives the archive byte for byte.
TEST_F(CopyRenameTest, UnchangedMembersTravelAsFewRangesByteForByte) {
  std::vector<CraftedMember> members = Tree();
  for (uint32_t i = 0; i < 300; ++i)
    members.push_back({"many/m" + std::to_string(i), testsupport::Noise(20000, i)});
  CraftedMember described("described.txt", "with a descriptor", true);
  described.dataDescriptor = true;
  members.push_back(described);
  const std::string original = Use(CraftZip(members));
  files.Reset();
  ASSERT_EQ(Rename({{"data.txt", "moved.txt"}}), 0) << zip.Message();
  EXPECT_GE(files.RangeCopies(), 1u);
  EXPECT_LE(files.RangeCopies(), 2u);
  EXPECT_NE(ReadTextFile(path), original);
  ASSERT_EQ(Rename({{"moved.txt", "data.txt"}}), 0) << zip.Message();
  EXPECT_EQ(ReadTextFile(path), original);
}

TEST_F(CopyRenameTest, RenameRefusesDamageAndSpannedSets) {
  const auto built = testsupport::CraftArchive(Tree(), {});
  auto damaged = [&](const char* signature, uint32_t from) {
    std::string bytes = built.bytes;
    bytes[bytes.find(std::string(signature, 4), from + 4) + 3] = 9;
    return bytes;
  };
  testsupport::ArchiveLayout lastVolume;
  lastVolume.thisDisk = lastVolume.centralDisk = 1;
  struct Case {
    std::string bytes;
    int message;
  } cases[] = {
      {testsupport::CraftArchive(Tree(), lastVolume).bytes, 10141},
      {damaged("PK\x01\x02", built.centralOffset), 11015},
      {damaged("PK\x03\x04", 0), 11014},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.message);
    Use(CraftZip(Tree()));
    testsupport::WriteTextFile(path, c.bytes);  // damaged after the listing
    EXPECT_EQ(Rename({{"a", "b"}}, kDay1), -7);
    EXPECT_EQ(zip.ErrCode(), c.message);
    EXPECT_EQ(ReadTextFile(path), c.bytes);
    EXPECT_EQ(Files(), 1u);
    EXPECT_EQ(zip.Count(), 7);  // the listing of before
  }
  fs::remove(path);
  EXPECT_EQ(Rename({{"a", "b"}}), -7);
  EXPECT_EQ(zip.ErrCode(), 11001);
  EXPECT_EQ(Files(), 0u);
}

TEST_F(CopyRenameTest, RenameReportsProgressAndKeepsAnUndoCopy) {
  const std::string original = Use(CraftZip(Tree()));
  zip.HowToDelete = htdAllowUndo;
  std::ostringstream events;
  int64_t total = 0, done = 0;
  zip.OnProgress = [&](TZipBuilder*, ProgressType type, const std::string& name, int64_t size) {
    if (type == ptBytesDone) done += size;
    if (type == ptTotalBytes) total = size;
    if (type != ptBytesDone) events << type << ":" << name << " ";
  };
  ASSERT_EQ(Rename({{"docs\\", "d\\"}}), 0);
  EXPECT_EQ(events.str().substr(0, 34), "3: 4: 0:d\\readme.txt 0:d\\x.txt 0:o");
  EXPECT_EQ(events.str().substr(events.str().size() - 4), " 2: ");
  // Every local header with its name and data; the total counted the names
  // before the two renamings shortened them by 3 bytes each.
  EXPECT_EQ(done, total + 7 * 30 - 2 * 3);
  EXPECT_EQ(ReadTextFile(dir / "data/Trash/files/s.zip"), original);
}

}  // namespace
