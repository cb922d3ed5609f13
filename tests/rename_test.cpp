// Renaming members: the name and date rules, the refusals, a stub kept in
// front, data descriptors of every form, progress and messages, and failures
// at every step leaving the archive as it was.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Env.h"
#include "platform/FaultInjectingFileSystem.h"
#include "support/CraftedZip.h"
#include "support/StoredZipView.h"
#include "support/TempDir.h"
#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"

namespace {

namespace fs = std::filesystem;
using Op = platform::FaultInjectingFileSystem::Op;
using testsupport::CraftedMember;
using testsupport::ReadTextFile;
using testsupport::ViewStoredZip;
using testsupport::WriteTextFile;

const uint32_t kDay1 = testsupport::DosDateTime(2001, 2, 3, 4, 5, 6);
const uint32_t kDay2 = testsupport::DosDateTime(2010, 11, 12, 13, 14, 16);

std::vector<CraftedMember> Tree() {
  return {{"docs/readme.txt", "read me"},
          {"docs/x.txt", std::string(3000, 'x'), true},
          {"old/a.txt", "a"},
          {"x/old/b.txt", "b"},
          {"bold/c.txt", "c"},
          {"data.txt", "data"},
          {"a.txt", "top a"}};
}

struct RenameTest : ::testing::Test {
  testsupport::TempDir dir;
  testsupport::ScopedEnv data{"XDG_DATA_HOME", dir / "data"};
  platform::FaultInjectingFileSystem files{platform::PosixFileSystem()};
  platform::Env env = [this] {
    platform::Env e = platform::DefaultEnv();
    e.files = &files;
    return e;
  }();
  ui::ScriptedUi ui;
  TZipBuilder zip{&env, &ui};
  std::string path = dir / "work/a.zip";

  void SetUp() override {
    fs::create_directories(dir / "work");
    zip.Unattended = true;
    zip.HowToDelete = htdFinal;
  }
  std::string Use(const std::string& bytes) {
    WriteTextFile(path, bytes);
    zip.SetFileName(path);
    return bytes;
  }
  int Run(std::vector<RenameItem> items, uint32_t dateTime = 0) {
    std::vector<RenameItem*> list;
    for (auto& item : items) list.push_back(&item);
    return zip.Rename(list, dateTime);
  }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const auto& m : ViewStoredZip(ReadTextFile(path)).members) names.push_back(m.name);
    return names;
  }
  size_t FilesInWork() {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(dir / "work"), fs::directory_iterator()));
  }
};

TEST_F(RenameTest, NamePartsAreReplacedAnywhereIgnoringCase) {
  struct Case {
    const char* what;
    std::vector<RenameItem> items;
    std::vector<std::string> expected;
  } cases[] = {
      {"one file",
       {{"docs/readme.txt", "docs/liesmich.txt"}},
       {"docs/liesmich.txt", "docs/x.txt", "old/a.txt", "x/old/b.txt", "bold/c.txt", "data.txt",
        "a.txt"}},
      {"a directory, also inside other names",
       {{"old\\", "new\\"}},
       {"docs/readme.txt", "docs/x.txt", "new/a.txt", "x/new/b.txt", "bnew/c.txt", "data.txt",
        "a.txt"}},
      {"a directory written with slashes",
       {{"x/old/", "y/"}},
       {"docs/readme.txt", "docs/x.txt", "old/a.txt", "y/b.txt", "bold/c.txt", "data.txt",
        "a.txt"}},
      {"a substring of a file name",
       {{"a.txt", "b.txt"}},
       {"docs/readme.txt", "docs/x.txt", "old/b.txt", "x/old/b.txt", "bold/c.txt", "datb.txt",
        "b.txt"}},
      {"letter case ignored",
       {{"DOCS\\", "d\\"}},
       {"d/readme.txt", "d/x.txt", "old/a.txt", "x/old/b.txt", "bold/c.txt", "data.txt", "a.txt"}},
      {"a directory request keeps only the new directory part",
       {{"old\\", "newdir"}},
       {"docs/readme.txt", "docs/x.txt", "a.txt", "x/b.txt", "bc.txt", "data.txt", "a.txt"}},
      {"later requests see the earlier result in the same separator form",
       {{"old\\", "mid\\"}, {"mid\\a.txt", "end\\z.txt"}},
       {"docs/readme.txt", "docs/x.txt", "end/z.txt", "x/mid/b.txt", "bmid/c.txt", "data.txt",
        "a.txt"}},
      {"an empty old name matches nothing",
       {{"", "new\\"}},
       {"docs/readme.txt", "docs/x.txt", "old/a.txt", "x/old/b.txt", "bold/c.txt", "data.txt",
        "a.txt"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto before = ViewStoredZip(Use(testsupport::CraftZip(Tree())));
    std::vector<std::string> messages;
    zip.OnMessage = [&](TZipBuilder*, int code, const std::string& text) {
      EXPECT_EQ(code, 0);
      messages.push_back(text);
    };
    ASSERT_EQ(Run(c.items), 0) << zip.Message();
    zip.OnMessage = nullptr;
    const auto after = ViewStoredZip(ReadTextFile(path));
    ASSERT_TRUE(after.ok);
    ASSERT_EQ(after.members.size(), before.members.size());
    int64_t growth = 0;
    for (size_t i = 0; i < after.members.size(); ++i) {
      const auto& m = after.members[i];
      EXPECT_EQ(m.name, c.expected[i]);
      EXPECT_EQ(m.localName, m.name);
      EXPECT_EQ(m.data, before.members[i].data);
      EXPECT_EQ(m.dosDateTime, before.members[i].dosDateTime);
      growth +=
          static_cast<int64_t>(m.name.size()) - static_cast<int64_t>(before.members[i].name.size());
      const std::string renamed = m.name != before.members[i].name ? " renamed to: " + m.name : "";
      EXPECT_EQ(messages.at(i), "Processing: " + before.members[i].name + renamed);
    }
    EXPECT_EQ(int64_t{after.directorySize} - before.directorySize, growth);
    EXPECT_EQ(FilesInWork(), 1u);
    EXPECT_EQ(zip.ErrCode(), 0);
    EXPECT_FALSE(zip.ZipRunning());
  }
}

TEST_F(RenameTest, FileRequestWithoutNewFileNameIsRefusedBeforeAnything) {
  const std::string original = Use(testsupport::CraftZip(Tree()));
  std::vector<RenameItem> items = {
      {"a/b.txt", "c.txt"}, {"docs/readme.txt", "docs/"}, {"x/y/", "z/"}};
  std::vector<RenameItem*> list = {&items[0], &items[1], &items[2]};
  EXPECT_EQ(zip.Rename(list, kDay1), -10);
  EXPECT_EQ(ReadTextFile(path), original);
  EXPECT_EQ(FilesInWork(), 1u);
  EXPECT_FALSE(zip.ZipRunning());
  EXPECT_TRUE(ui.boxes.empty());
  // Requests up to the refused one are left normalised, the rest as they were.
  EXPECT_EQ(items[0].OldName, "a\\b.txt");
  EXPECT_EQ(items[1].OldName, "docs\\readme.txt");
  EXPECT_EQ(items[2].OldName, "x/y/");
}

TEST_F(RenameTest, DatesGoToBothHeaders) {
  struct Case {
    const char* what;
    std::vector<RenameItem> items;
    uint32_t all;
    std::vector<uint32_t> expected;  // per member of the tree; 0: unchanged
  } cases[] = {
      {"no requests, one date for all",
       {},
       kDay1,
       {kDay1, kDay1, kDay1, kDay1, kDay1, kDay1, kDay1}},
      {"a request's date wins for what it renames",
       {{"docs\\", "docs\\", kDay2}},
       kDay1,
       {kDay2, kDay2, kDay1, kDay1, kDay1, kDay1, kDay1}},
      {"a request's date alone", {{"a.txt", "a.txt", kDay2}}, 0, {0, 0, kDay2, 0, 0, kDay2, kDay2}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto members = Tree();
    // Its password check byte comes from its time, which must therefore stay.
    CraftedMember timeChecked("sealed.txt", "sealed", true);
    timeChecked.password = "pw";
    timeChecked.dataDescriptor = true;
    members.push_back(timeChecked);
    const auto before = ViewStoredZip(Use(testsupport::CraftZip(members)));
    ASSERT_EQ(Run(c.items, c.all), 0) << zip.Message();
    EXPECT_EQ(ViewStoredZip(ReadTextFile(path)).members.back().localDosDateTime,
              before.members.back().dosDateTime);
    const auto after = ViewStoredZip(ReadTextFile(path));
    ASSERT_EQ(after.members.size(), c.expected.size() + 1);
    for (size_t i = 0; i < c.expected.size(); ++i) {
      const uint32_t want = c.expected[i] ? c.expected[i] : before.members[i].dosDateTime;
      EXPECT_EQ(after.members[i].dosDateTime, want) << i;
      EXPECT_EQ(after.members[i].localDosDateTime, want) << i;
      EXPECT_EQ(after.members[i].name, before.members[i].name);
    }
  }
}

TEST_F(RenameTest, StubStaysInFrontAndOffsetsBecomeFilePositions) {
  const std::string stub = "MZ" + std::string(998, '\x90');
  for (bool offsetsCountStub : {false, true}) {
    SCOPED_TRACE(offsetsCountStub);
    testsupport::ArchiveLayout layout;
    layout.stub = stub;
    layout.offsetsCountStub = offsetsCountStub;
    layout.comment = "archive comment";
    const auto built = testsupport::CraftArchive(Tree(), layout);
    Use(built.bytes);
    ASSERT_EQ(zip.ArchiveStart(), 1000);
    ASSERT_EQ(Run({{"docs\\", "documents\\"}}), 0) << zip.Message();
    const std::string bytes = ReadTextFile(path);
    EXPECT_EQ(bytes.substr(0, stub.size()), stub);
    const auto view = ViewStoredZip(bytes);  // reads local headers at the recorded offsets
    ASSERT_TRUE(view.ok);
    EXPECT_EQ(view.members[0].localOffset, stub.size());
    EXPECT_EQ(view.members[0].name, "documents/readme.txt");
    EXPECT_EQ(view.comment, "archive comment");
    EXPECT_EQ(zip.ArchiveStart(), 1000);
    EXPECT_EQ(zip.Count(), 7);
  }
}

TEST_F(RenameTest, DataDescriptorsOfEveryFormAreCopiedWhole) {
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
  members.push_back({"last.txt", "after the descriptors"});
  const auto before = ViewStoredZip(Use(testsupport::CraftZip(members)));
  ASSERT_EQ(Run({{".txt", ".dat"}}, kDay1), 0) << zip.Message();
  const auto after = ViewStoredZip(ReadTextFile(path));
  ASSERT_TRUE(after.ok);
  ASSERT_EQ(after.members.size(), 5u);
  const size_t lengths[] = {16, 24, 12, 20};
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(after.members[i].name);
    EXPECT_EQ(after.members[i].data, before.members[i].data);
    EXPECT_EQ(after.members[i].descriptor.substr(0, lengths[i]),
              before.members[i].descriptor.substr(0, lengths[i]));
    // The next local header follows the descriptor directly.
    EXPECT_EQ(after.members[i].descriptor.substr(lengths[i], 4), std::string("PK\x03\x04", 4));
  }
  EXPECT_EQ(after.members[4].name, "last.dat");
  EXPECT_EQ(after.members[4].data, "after the descriptors");
}

TEST_F(RenameTest, RefusalsAndDamageLeaveTheArchiveAlone) {
  const auto built = testsupport::CraftArchive(Tree(), {});
  auto damaged = [&](const char* signature, uint32_t from) {
    std::string bytes = built.bytes;
    bytes[bytes.find(std::string(signature, 4), from + 4) + 3] = 9;
    return bytes;
  };
  auto spannedLast = [] {
    testsupport::ArchiveLayout layout;
    layout.thisDisk = layout.centralDisk = 1;
    return testsupport::CraftArchive(Tree(), layout).bytes;
  };
  struct Case {
    const char* what;
    std::string bytes;
    int message;
  } cases[] = {
      {"last volume of a spanned set", spannedLast(), 10141},
      {"a central header with a wrong signature", damaged("PK\x01\x02", built.centralOffset),
       11015},
      {"a local header with a wrong signature", damaged("PK\x03\x04", 0), 11014},
      {"a name longer than the name buffer", testsupport::CraftZip({{std::string(8193, 'n'), "x"}}),
       11017},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteTextFile(path, testsupport::CraftZip(Tree()));
    zip.SetFileName(path);
    const int count = zip.Count();
    WriteTextFile(path, c.bytes);  // damaged after the listing
    EXPECT_EQ(Run({{"a", "b"}}, kDay1), -7);
    EXPECT_EQ(zip.ErrCode(), c.message);
    EXPECT_EQ(ReadTextFile(path), c.bytes);
    EXPECT_EQ(FilesInWork(), 1u);
    EXPECT_EQ(zip.Count(), count);
    EXPECT_FALSE(zip.ZipRunning());
  }
  fs::remove(path);
  EXPECT_EQ(Run({{"a", "b"}}), -7);
  EXPECT_EQ(zip.ErrCode(), 11001);
  EXPECT_EQ(FilesInWork(), 0u);
}

TEST_F(RenameTest, NestedCallsDuringARunChangeNothing) {
  Use(testsupport::CraftZip(Tree()));
  TZipBuilder other{&env, &ui};
  std::vector<int> nested;
  zip.OnMessage = [&](TZipBuilder*, int, const std::string&) {
    std::vector<RenameItem> items = {{"docs\\", "other\\"}};
    std::vector<RenameItem*> list = {&items[0]};
    nested.push_back(zip.Rename(list, kDay2));
    nested.push_back(zip.CopyZippedFiles(&other, true, OvrAlways));
  };
  ASSERT_EQ(Run({{"old\\", "new\\"}}), 0);
  ASSERT_EQ(nested.size(), 14u);
  for (int code : nested) EXPECT_EQ(code, -6);
  const auto view = ViewStoredZip(ReadTextFile(path));
  EXPECT_EQ(view.members[0].name, "docs/readme.txt");
  EXPECT_EQ(view.members[2].name, "new/a.txt");
}

TEST_F(RenameTest, ProgressCountsMembersAndBytes) {
  Use(testsupport::CraftZip(Tree()));
  std::vector<std::pair<ProgressType, std::string>> events;
  int64_t total = 0, done = 0;
  zip.OnProgress = [&](TZipBuilder*, ProgressType type, const std::string& name, int64_t size) {
    if (type == ptBytesDone) {
      done += size;
      return;
    }
    if (type == ptTotalBytes) total = size;
    events.push_back({type, name});
  };
  ASSERT_EQ(Run({{"docs\\", "d\\"}}), 0);
  ASSERT_EQ(events.size(), 10u);
  EXPECT_EQ(events[0].first, ptMemberCount);
  EXPECT_EQ(events[1].first, ptTotalBytes);
  EXPECT_EQ(events[2], std::make_pair(ptMemberBegin, std::string("d\\readme.txt")));
  EXPECT_EQ(events[9].first, ptBatchEnd);
  // The member pass writes every local header with its name and data; the total
  // counted the names before the two renamings shortened them by 3 bytes each.
  EXPECT_EQ(done, total + 7 * 30 - 2 * 3);
}

TEST_F(RenameTest, UndoCopyOfTheOldArchiveGoesToTheTrash) {
  const std::string original = Use(testsupport::CraftZip(Tree()));
  zip.HowToDelete = htdAllowUndo;
  ASSERT_EQ(Run({{"docs\\", "d\\"}}), 0);
  EXPECT_EQ(ReadTextFile(dir / "data/Trash/files/a.zip"), original);
  EXPECT_EQ(Names()[0], "d/readme.txt");
}

TEST_F(RenameTest, InjectedFailuresLeaveTheOldArchiveOrTheWholeNewOne) {
  const std::string original = Use(testsupport::CraftZip(Tree()));
  ASSERT_EQ(Run({{"docs\\", "d\\"}}, kDay1), 0);
  const std::string renamed = ReadTextFile(path);
  for (Op op : {Op::Open, Op::Read, Op::Write, Op::Seek, Op::Move}) {
    int failedRuns = 0;
    for (uint64_t n = 1; n < 200; ++n) {
      SCOPED_TRACE(testing::Message() << "op " << static_cast<int>(op) << " call " << n);
      files.Reset();
      Use(original);
      files.Reset();
      files.FailNth(op, n);
      const int result = Run({{"docs\\", "d\\"}}, kDay1);
      if (files.InjectedFailures() == 0) break;
      const std::string now = ReadTextFile(path);
      if (result == 0) {
        EXPECT_EQ(now, renamed);
      } else {
        ++failedRuns;
        EXPECT_EQ(result, -7);
        EXPECT_EQ(now, original);
        EXPECT_NE(zip.ErrCode(), 0);
      }
      EXPECT_EQ(FilesInWork(), 1u);
      EXPECT_FALSE(zip.ZipRunning());
    }
    EXPECT_GT(failedRuns, 0) << "op " << static_cast<int>(op);
  }
}

}  // namespace
