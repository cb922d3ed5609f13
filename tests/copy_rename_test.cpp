// Renaming members and copying members between archives: the name and date
// rules, overwrite modes, the refusals, stubs, data descriptors of every form,
// progress and messages, deleting from the source only once the destination
// holds the members, and failures at every step leaving the archives as they were.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>
#include <sstream>

#include "platform/Env.h"
#include "support/CraftedZip.h"
#include "support/FaultInjectingEnv.h"
#include "support/PeerTools.h"
#include "support/StoredZipView.h"
#include "support/TempDir.h"
#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"

namespace {

namespace fs = std::filesystem;
using Op = platform::FaultInjectingFileSystem::Op;
using testsupport::CraftedMember;
using testsupport::CraftZip;
using testsupport::ReadTextFile;
using testsupport::ViewStoredZip;

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

std::vector<CraftedMember> DestinationMembers() {
  return {{"own.txt", "destination's own"}, {"same.txt", "destination's same"}, {"dir/", ""}};
}

std::vector<CraftedMember> SourceMembers() {
  CraftedMember secret("Same.TXT", "source's same", true), described("new1.txt", "11111", true),
      longLocalExtra("new2.txt", "two");
  secret.password = "pw";
  described.dataDescriptor = true;
  described.descriptorSignature = false;
  longLocalExtra.localExtra = std::string("\x55\x54\x05\x00\x01\x00\x00\x00\x00", 9);
  return {secret, described, longLocalExtra, {"other.txt", "not asked for"}};
}

std::string Joined(const testsupport::StoredZipView& view) {
  std::string names;
  for (const auto& m : view.members) names += (names.empty() ? "" : " ") + m.name;
  return names;
}

struct CopyRenameTest : ::testing::Test, testsupport::FaultInjectingEnv {
  ui::ScriptedUi ui;
  TZipBuilder zip{&env, &ui}, destination{&env, &ui};
  std::string path = dir / "src/s.zip", destinationPath = dir / "dst/d.zip";

  void SetUp() override {
    fs::create_directories(dir / "src");
    fs::create_directories(dir / "dst");
    for (TZipBuilder* z : {&zip, &destination}) {
      z->Unattended = true;
      z->HowToDelete = htdFinal;
      z->SetDLLDirectory(ZB_BINARY_DIR);
    }
  }
  std::string Use(TZipBuilder& z, const std::string& bytes) {
    testsupport::WriteTextFile(&z == &zip ? path : destinationPath, bytes);
    z.SetFileName(&z == &zip ? path : destinationPath);
    return bytes;
  }
  std::string Use(const std::string& bytes) { return Use(zip, bytes); }
  int Rename(std::vector<RenameItem> items, uint32_t dateTime = 0) {
    std::vector<RenameItem*> list;
    for (auto& item : items) list.push_back(&item);
    return zip.Rename(list, dateTime);
  }
  int Copy(std::vector<std::string> names, OvrOpts mode, bool deleteFromSource = false) {
    zip.SetFSpecArgs(names);
    return zip.CopyZippedFiles(&destination, deleteFromSource, mode);
  }
  size_t Files() {
    size_t n = 0;
    for (const char* sub : {"src", "dst"})
      n += static_cast<size_t>(
          std::distance(fs::directory_iterator(dir / sub), fs::directory_iterator()));
    return n;
  }
  // Fails the n-th call of each kind in turn, from the first until a run meets no
  // failure: each run ends with both archives either as `before` or as `after`
  // (then with result 0), and no temporary file left.
  void ExpectAllOrNothing(const std::string& source, const std::string& target,
                          const std::function<int()>& run) {
    files.Reset();
    Use(zip, source);
    Use(destination, target);
    ASSERT_EQ(run(), 0) << zip.Message();
    const std::string sourceAfter = ReadTextFile(path), targetAfter = ReadTextFile(destinationPath);
    for (Op op : {Op::Open, Op::Read, Op::Write, Op::Seek, Op::Move}) {
      int failed = 0;
      for (uint64_t n = 1; n < 200; ++n) {
        SCOPED_TRACE(testing::Message() << "op " << static_cast<int>(op) << " call " << n);
        files.Reset();
        Use(zip, source);
        Use(destination, target);
        files.Reset();
        files.FailNth(op, n);
        const int result = run();
        if (files.InjectedFailures() == 0) break;
        failed += result != 0;
        EXPECT_EQ(ReadTextFile(path), result ? source : sourceAfter);
        EXPECT_EQ(ReadTextFile(destinationPath), result ? target : targetAfter);
        EXPECT_TRUE(result == 0 || (result == -7 && zip.ErrCode() != 0)) << result;
        EXPECT_EQ(Files(), 2u);
        EXPECT_FALSE(zip.ZipRunning());
      }
      EXPECT_GT(failed, 0) << "op " << static_cast<int>(op);
    }
  }
};

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

// Little-endian bytes of `v`, and back.
std::string Le(uint64_t v, int width) {
  std::string b;
  for (int i = 0; i < width; ++i) b += static_cast<char>(v >> (8 * i));
  return b;
}
uint64_t LoadLe(const std::string& bytes, size_t at, int width) {
  uint64_t v = 0;
  for (int i = 0; i < width; ++i) v |= uint64_t{static_cast<uint8_t>(bytes[at + i])} << (8 * i);
  return v;
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

TEST_F(CopyRenameTest, CopyOverwriteModesDecideSameNamedMembers) {
  struct Case {
    OvrOpts mode;
    std::optional<bool> handlerAnswer;  // none: no handler, the box answers
    int boxAnswer;
    bool replaced;
  } cases[] = {
      {OvrAlways, std::nullopt, 0, true},
      {OvrNever, std::nullopt, 0, false},
      {OvrConfirm, true, 0, true},
      {OvrConfirm, false, 0, false},
      {OvrConfirm, std::nullopt, ui::kIdYes, true},
      {OvrConfirm, std::nullopt, ui::kIdNo, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.mode << " " << c.boxAnswer << " " << c.handlerAnswer.value_or(2));
    const std::string sourceBytes = Use(CraftZip(SourceMembers()));
    const std::string targetBytes = Use(destination, CraftZip(DestinationMembers()));
    ui.boxes.clear();
    std::vector<std::string> asked;
    zip.OnCopyZipOverwrite = nullptr;
    if (c.handlerAnswer)
      zip.OnCopyZipOverwrite = [&](TZipBuilder* sender, const std::string& name, bool& overwrite) {
        EXPECT_EQ(sender, &destination);
        EXPECT_FALSE(overwrite);
        asked.push_back(name);
        overwrite = *c.handlerAnswer;
      };
    if (c.boxAnswer) ui.boxAnswers = {c.boxAnswer};
    ASSERT_EQ(Copy({"new2.txt", "SAME.txt", "New1.txt", "new2.TXT"}, c.mode), 0) << zip.Message();

    const auto view = ViewStoredZip(ReadTextFile(destinationPath));
    ASSERT_TRUE(view.ok);
    // Destination order (a replaced member keeps its place), then the new ones in request order.
    EXPECT_EQ(Joined(view), std::string("own.txt ") + (c.replaced ? "Same.TXT" : "same.txt") +
                                " dir/ new2.txt new1.txt");
    const auto supplier =
        ViewStoredZip(c.replaced ? sourceBytes : targetBytes).members[c.replaced ? 0 : 1];
    EXPECT_EQ(view.members[1].data, supplier.data);
    EXPECT_EQ(view.members[4].data, ViewStoredZip(sourceBytes).members[1].data);
    for (const auto& m : view.members) EXPECT_EQ(m.localName, m.name);
    EXPECT_EQ(zip.FSpecArgs(),
              c.replaced ? std::vector<std::string>{} : std::vector<std::string>{"same.txt"});
    EXPECT_EQ(asked.size(), c.handlerAnswer ? 1u : 0u);
    EXPECT_EQ(ui.boxes.size(), c.boxAnswer ? 1u : 0u);
    if (c.boxAnswer) {
      EXPECT_EQ(ui.boxes[0].text, "Overwrite file 'same.txt' in '" + destinationPath + "' ?");
      EXPECT_EQ(ui.boxes[0].style, ui::kMbYesNo | ui::kMbIconQuestion | ui::kMbDefButton2);
    }
    EXPECT_EQ(ReadTextFile(path), sourceBytes);
    EXPECT_EQ(destination.Count(), 4);  // listed anew; the directory entry is not listed
    EXPECT_EQ(Files(), 2u);
  }
}

TEST_F(CopyRenameTest, CopyRefusalsLeaveBothArchives) {
  const std::string sourceBytes = Use(CraftZip(SourceMembers()));
  const std::string targetBytes = Use(destination, CraftZip(DestinationMembers()));
  TZipBuilder sameName{&env, &ui};
  sameName.Unattended = true;
  fs::create_directories(dir / "other");
  fs::create_symlink(path, dir / "other/S.ZIP");  // the same file under another name
  sameName.SetFileName(dir / "other/S.ZIP");
  struct Case {
    TZipBuilder* target;
    std::vector<std::string> names;
    int message;
    std::string text;
  } cases[] = {
      {&zip, {"new1.txt"}, 10180, "Source archive is the same as the destination archive!"},
      {&sameName, {"new1.txt"}, 10180, ""},
      {&destination,
       {"new1.txt", "nowhere.txt"},
       10183,
       "File 'nowhere.txt' is not present in '" + path + "'!"},
      {&destination,
       {"own.txt"},
       10183,
       ""},  // only the destination holds it: nothing to replace it with
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    zip.SetFSpecArgs(c.names);
    EXPECT_EQ(zip.CopyZippedFiles(c.target, true, OvrAlways), -7);
    EXPECT_EQ(zip.ErrCode(), c.message);
    EXPECT_TRUE(c.text.empty() || zip.Message() == c.text) << zip.Message();
    EXPECT_EQ(zip.FSpecArgs(), c.names);
    EXPECT_EQ(ReadTextFile(path) + ReadTextFile(destinationPath), sourceBytes + targetBytes);
    EXPECT_EQ(Files(), 2u);
  }
  fs::remove(destinationPath);
  EXPECT_EQ(Copy({"new1.txt"}, OvrAlways), -7);
  EXPECT_EQ(zip.ErrCode(), 10185);
  EXPECT_EQ(Files(), 1u);
}

TEST_F(CopyRenameTest, NestedCallsDuringARunChangeNothing) {
  const std::string sourceBytes = Use(CraftZip(SourceMembers()));
  Use(destination, CraftZip(DestinationMembers()));
  std::vector<int> nested;
  auto nest = [&] {
    std::vector<RenameItem> items = {{"new", "old"}};
    std::vector<RenameItem*> list = {&items[0]};
    nested.push_back(zip.Rename(list, kDay2));
    nested.push_back(zip.CopyZippedFiles(&destination, true, OvrAlways));
  };
  zip.OnCopyZipOverwrite = [&](TZipBuilder*, const std::string&, bool& overwrite) {
    nest();
    overwrite = true;
  };
  zip.OnMessage = [&](TZipBuilder*, int, const std::string&) { nest(); };
  ASSERT_EQ(Copy({"same.txt"}, OvrConfirm), 0);
  EXPECT_EQ(ReadTextFile(path), sourceBytes);
  ASSERT_EQ(Rename({{"other", "another"}}), 0);
  EXPECT_EQ(Joined(ViewStoredZip(ReadTextFile(path))), "Same.TXT new1.txt new2.txt another.txt");
  EXPECT_EQ(nested, std::vector<int>(10, -6));
}

TEST_F(CopyRenameTest, CopyDeletesFromTheSourceOnlyOnceTheDestinationHoldsTheMembers) {
  const std::string sourceBytes = Use(CraftZip(SourceMembers()));
  const std::string targetBytes = Use(destination, CraftZip(DestinationMembers()));
  files.FailNth(Op::Move, 1);  // the new destination cannot take the old one's place
  EXPECT_EQ(Copy({"new1.txt"}, OvrAlways, true), -7);
  EXPECT_EQ(zip.ErrCode(), 11048);
  EXPECT_EQ(ReadTextFile(path) + ReadTextFile(destinationPath), sourceBytes + targetBytes);
  EXPECT_EQ(zip.FSpecArgs(), std::vector<std::string>{"new1.txt"});

  ASSERT_EQ(Copy({"new1.txt", "same.txt"}, OvrNever, true), 0) << zip.Message();
  // The kept name stays in the source, and is what FSpecArgs holds afterwards.
  EXPECT_EQ(Joined(ViewStoredZip(ReadTextFile(path))), "Same.TXT new2.txt other.txt");
  EXPECT_EQ(zip.FSpecArgs(), std::vector<std::string>{"same.txt"});
  EXPECT_EQ(Joined(ViewStoredZip(ReadTextFile(destinationPath))), "own.txt same.txt dir/ new1.txt");
}

TEST_F(CopyRenameTest, InjectedFailuresLeaveTheOldArchivesOrTheWholeResult) {
  const std::string source = CraftZip(SourceMembers()), target = CraftZip(DestinationMembers());
  {
    SCOPED_TRACE("rename");
    ExpectAllOrNothing(CraftZip(Tree()), target, [&] {
      return Rename({{"docs\\", "d\\"}}, kDay1);
    });
  }
  {
    SCOPED_TRACE("copy");
    ExpectAllOrNothing(source, target, [&] { return Copy({"new1.txt", "same.txt"}, OvrAlways); });
  }
}

// The reader's read size grows to its buffer and stays there: archives well
// past the size where it once wrapped to nothing rename and copy whole.
TEST_F(CopyRenameTest, ArchivesOverSixtyFourMegabytesRenameAndCopy) {
  Use(CraftZip({{"big.bin", std::string((64 << 20) + 12345, '\0')}, {"after.txt", "after"}}));
  Use(destination, CraftZip(DestinationMembers()));
  ASSERT_EQ(Rename({{"after", "later"}}), 0) << zip.Message();
  zip.SetFSpecArgs({"big.bin", "later.txt"});
  ASSERT_EQ(zip.CopyZippedFiles(&destination, false, OvrAlways), 0) << zip.Message();
  for (TZipBuilder* z : {&zip, &destination}) {
    const auto& listed = z->ZipDirEntryRecords();
    ASSERT_GE(listed.size(), 2u);
    EXPECT_EQ(listed.back()->FileName, "later.txt");
    EXPECT_EQ(listed[listed.size() - 2]->FileName, "big.bin");
    EXPECT_EQ(listed[listed.size() - 2]->UncompressedSize, (64u << 20) + 12345);
  }
  if (!testsupport::HaveTool("unzip")) GTEST_SKIP() << "no unzip to test with";
  for (const std::string& file : {path, destinationPath}) {
    auto tested = testsupport::RunIn(dir.path(), "unzip -tq " + testsupport::ShellQuote(file));
    EXPECT_EQ(tested.status, 0) << tested.out << tested.err;
  }
}

// Removal from the source takes the very entries copied: not every name the
// request would match again (letter case, wildcards), not a same-named twin,
// and nothing when nothing was copied.
TEST_F(CopyRenameTest, RemovalFromTheSourceTakesExactlyTheEntriesCopied) {
  const std::vector<CraftedMember> source = {{"Readme.txt", "1"}, {"README.TXT", "2"},
                                             {"abc", "3"},        {"axe", "4"},
                                             {"a*", "5"},         {"dup.txt", "6"},
                                             {"dup.txt", "7"},    {"own.txt", "8"}};
  struct Case {
    std::vector<std::string> names;
    OvrOpts mode;
    std::string sourceAfter, destinationAdded;
  } cases[] = {
      {{"readme.txt"}, OvrAlways, "README.TXT abc axe a* dup.txt dup.txt own.txt", " Readme.txt"},
      {{"a*"}, OvrAlways, "Readme.txt README.TXT abc axe dup.txt dup.txt own.txt", " a*"},
      {{"dup.txt"}, OvrAlways, "Readme.txt README.TXT abc axe a* dup.txt own.txt", " dup.txt"},
      // The destination keeps its own: nothing copied, nothing removed.
      {{"own.txt"}, OvrNever, "Readme.txt README.TXT abc axe a* dup.txt dup.txt own.txt", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.names[0]);
    const std::string sourceBytes = Use(CraftZip(source));
    Use(destination, CraftZip(DestinationMembers()));
    ASSERT_EQ(Copy(c.names, c.mode, true), 0) << zip.Message();
    const auto left = ViewStoredZip(ReadTextFile(path));
    ASSERT_TRUE(left.ok);
    EXPECT_EQ(Joined(left), c.sourceAfter);
    if (c.destinationAdded.empty()) {
      EXPECT_EQ(ReadTextFile(path), sourceBytes);
    }
    EXPECT_EQ(Joined(ViewStoredZip(ReadTextFile(destinationPath))),
              "own.txt same.txt dir/" + c.destinationAdded);
    if (c.names[0] == "dup.txt") {
      EXPECT_EQ(left.members[5].data, "7");  // the first one went
    }
    EXPECT_EQ(zip.Count(), static_cast<int>(left.members.size()));
    EXPECT_EQ(Files(), 2u);
  }
}

// A volume of a spanned set is neither copied from nor into: its members'
// headers name other volumes.
TEST_F(CopyRenameTest, CopyRefusesVolumesOfSpannedSets) {
  testsupport::ArchiveLayout lastVolume;
  lastVolume.thisDisk = lastVolume.centralDisk = 2;
  const std::string volume = testsupport::CraftArchive(SourceMembers(), lastVolume).bytes;
  // An archive of one volume whose member claims to start on another.
  auto built = testsupport::CraftArchive(SourceMembers(), {});
  const size_t new1 = built.bytes.find(std::string("PK\x01\x02", 4), built.centralOffset + 4);
  built.bytes[new1 + 34] = 1;
  struct Case {
    std::string source, target;
  } cases[] = {{volume, CraftZip(DestinationMembers())},
               {CraftZip(SourceMembers()), volume},
               {built.bytes, CraftZip(DestinationMembers())}};
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    const std::string sourceBytes = Use(c.source);
    const std::string targetBytes = Use(destination, c.target);
    EXPECT_EQ(Copy({"new1.txt"}, OvrAlways, true), -7);
    EXPECT_EQ(zip.ErrCode(), 10186);
    EXPECT_EQ(zip.Message(), "Copying is not implemented for a spanned zip file");
    EXPECT_EQ(ReadTextFile(path) + ReadTextFile(destinationPath), sourceBytes + targetBytes);
    EXPECT_EQ(Files(), 2u);
  }
}

// A name longer than any buffer of old travels like the others, and does not
// hold the others up.
TEST_F(CopyRenameTest, LongNamesTravelWithTheRest) {
  const std::string longName(9000, 'n');
  Use(CraftZip({{longName, "long"}, {"a.txt", "a"}}));
  Use(destination, CraftZip(DestinationMembers()));
  ASSERT_EQ(Rename({{"a.txt", "b.txt"}}, kDay1), 0) << zip.Message();
  zip.SetFSpecArgs({longName, "b.txt"});
  ASSERT_EQ(zip.CopyZippedFiles(&destination, false, OvrAlways), 0) << zip.Message();
  for (const std::string& file : {path, destinationPath}) {
    const auto view = ViewStoredZip(ReadTextFile(file));
    ASSERT_TRUE(view.ok);
    ASSERT_GE(view.members.size(), 2u);
    const auto& m = view.members[view.members.size() - 2];
    EXPECT_EQ(m.name, longName);
    EXPECT_EQ(m.localName, longName);
    EXPECT_EQ(m.data, "long");
    EXPECT_EQ(view.members.back().name, "b.txt");
  }
}

// Renaming and copying compare names as every lookup of the component does:
// letter case by the locale's rules, beyond ASCII too.
TEST_F(CopyRenameTest, NamesCompareByTheLocalesCaseRules) {
  CraftedMember umlaut("\xc3\xa4rger/x.txt", "source's"), other("\xc3\xb6l.txt", "oil");
  umlaut.flags = other.flags = 0x800;  // UTF-8 names
  CraftedMember theirs("\xc3\x84RGER/X.TXT", "destination's");
  theirs.flags = 0x800;
  struct Case {
    const char* what;
    std::function<int()> run;
    std::string source, destination;
  } cases[] = {
      {"rename",
       [&] { return Rename({{"\xc3\x84RGER\\", "anger\\"}, {"\xc3\x96L", "Oil"}}); },
       "anger/x.txt Oil.txt", "\xc3\x84RGER/X.TXT"},
      {"copy",
       [&] { return Copy({"\xc3\x84rger\\X.txt", "\xc3\x96L.TXT"}, OvrAlways); },
       "\xc3\xa4rger/x.txt \xc3\xb6l.txt", "\xc3\xa4rger/x.txt \xc3\xb6l.txt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Use(CraftZip({umlaut, other}));
    Use(destination, CraftZip({theirs}));
    ASSERT_EQ(c.run(), 0) << zip.Message();
    EXPECT_EQ(Joined(ViewStoredZip(ReadTextFile(path))), c.source);
    EXPECT_EQ(Joined(ViewStoredZip(ReadTextFile(destinationPath))), c.destination);
    EXPECT_TRUE(zip.FSpecArgs().empty());
  }
}

// A copy started while the destination runs an operation of its own (from
// that operation's event) touches nothing: the running one finishes as asked.
TEST_F(CopyRenameTest, CopyIntoADestinationThatIsBusyChangesNothing) {
  const std::string sourceBytes = Use(CraftZip(SourceMembers()));
  Use(destination, CraftZip(DestinationMembers()));
  std::vector<int> nested;
  destination.OnMessage = [&](TZipBuilder*, int, const std::string&) {
    zip.SetFSpecArgs({"new1.txt"});
    nested.push_back(zip.CopyZippedFiles(&destination, true, OvrAlways));
  };
  std::vector<RenameItem> items = {{"own", "mine"}};
  std::vector<RenameItem*> list = {&items[0]};
  ASSERT_EQ(destination.Rename(list, 0), 0) << destination.Message();
  EXPECT_EQ(nested, std::vector<int>(3, -6));
  EXPECT_EQ(Joined(ViewStoredZip(ReadTextFile(destinationPath))), "mine.txt same.txt dir/");
  EXPECT_EQ(ReadTextFile(path), sourceBytes);
  EXPECT_EQ(zip.FSpecArgs(), std::vector<std::string>{"new1.txt"});
  EXPECT_EQ(Files(), 2u);
  // The other way round: the destination's own operations wait for the copy.
  destination.OnMessage = nullptr;
  zip.OnCopyZipOverwrite = [&](TZipBuilder*, const std::string&, bool& overwrite) {
    nested.push_back(destination.Rename(list, 0));
    overwrite = true;
  };
  ASSERT_EQ(Copy({"same.txt"}, OvrConfirm), 0) << zip.Message();
  EXPECT_EQ(nested.back(), -6);
  EXPECT_EQ(Joined(ViewStoredZip(ReadTextFile(destinationPath))), "mine.txt Same.TXT dir/");
}

// A write that fails, as on a full disk, is reported as a write error whatever
// was being written, and leaves every archive as it was.
TEST_F(CopyRenameTest, AFullDiskIsAWriteError) {
  auto members = SourceMembers();
  members.push_back({"large.bin", std::string(1536 << 10, 'L')});  // written past the buffer
  const std::string source = CraftZip(members), target = CraftZip(DestinationMembers());
  const std::set<int> writeErrors = {11010, 11028, 11029, 11030, 11020};
  struct Case {
    const char* what;
    std::function<int()> run;
  } cases[] = {
      {"rename", [&] { return Rename({{"new", "old"}}, kDay1); }},
      {"copy", [&] { return Copy({"large.bin", "new1.txt"}, OvrAlways); }},
      {"copy and remove", [&] { return Copy({"large.bin"}, OvrAlways, true); }},
  };
  files.SetShortWriteBytes(0);
  for (const auto& c : cases) {
    int failures = 0;
    for (uint64_t n = 1; n < 50; ++n) {
      SCOPED_TRACE(testing::Message() << c.what << ", writes fail from the " << n << "th");
      files.Reset();
      Use(zip, source);
      Use(destination, target);
      files.FailFrom(Op::Write, n);
      const int result = c.run();
      files.FailFrom(Op::Write, 0);
      if (result == 0) break;
      ++failures;
      EXPECT_EQ(result, -7);
      EXPECT_TRUE(writeErrors.count(zip.ErrCode())) << zip.ErrCode() << " " << zip.Message();
      EXPECT_TRUE(ReadTextFile(path) == source && ReadTextFile(destinationPath) == target);
      EXPECT_EQ(Files(), 2u);
    }
    EXPECT_GT(failures, 0) << c.what;
  }
  files.SetShortWriteBytes(std::nullopt);
}

}  // namespace
