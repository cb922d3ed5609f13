// Copying members between archives: overwrite modes, the refusals, deleting
// from the source only once the destination holds the members, and failures at
// every step leaving the archives as they were.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "tests/support/CopyRenameFixture.h"
#include "tests/support/Noise.h"

namespace {

using namespace copyrename;

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
    SCOPED_TRACE("rename behind a stub, the records written from the reader's buffer");
    std::vector<CraftedMember> records;
    for (uint32_t i = 0; i < 12; ++i) records.push_back({"m" + std::to_string(i), testsupport::Noise(3000, i)});
    ExpectAllOrNothing(CraftZip(records, std::string(20000, 's')), target, [&] { return Rename({{"m5", "n5"}}); });
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
  // The large member's bytes are told as they move, one event per block of 8 MiB.
  std::vector<int64_t> told;
  zip.OnProgress = [&](TZipBuilder*, ProgressType type, const std::string&, int64_t size) {
    if (type == ptBytesDone) told.push_back(size);
  };
  ASSERT_EQ(Rename({{"after", "later"}}), 0) << zip.Message();
  EXPECT_EQ(std::count(told.begin(), told.end(), int64_t{8} << 20), 8);
  EXPECT_LT(told.size(), 16u);
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

// Where an archive holds a name twice (letter case aside), its first member
// is the one copied and the one replaced.
TEST_F(CopyRenameTest, CopyTakesTheFirstMemberOfEachName) {
  Use(CraftZip({{"dup.txt", "source's first"}, {"DUP.TXT", "source's second"}}));
  Use(destination, CraftZip({{"Dup.txt", "mine"}, {"dup.TXT", "mine too"}}));
  ASSERT_EQ(Copy({"DUP.txt", "dup.TXT"}, OvrAlways), 0) << zip.Message();
  const auto view = ViewStoredZip(ReadTextFile(destinationPath));
  ASSERT_TRUE(view.ok);
  EXPECT_EQ(Joined(view), "dup.txt dup.TXT");
  EXPECT_EQ(view.members[0].data, "source's first");
  EXPECT_EQ(view.members[1].data, "mine too");
}

// Hundreds of lines, in any letter case and repeated, each find their member
// in both archives: the names are looked up in an index of the lines.
TEST_F(CopyRenameTest, ManyLinesFindTheirMembers) {
  std::vector<CraftedMember> theirs, mine;
  for (int i = 0; i < 300; ++i) theirs.push_back({"f" + std::to_string(i) + ".txt", "source " + std::to_string(i)});
  for (int i = 0; i < 150; ++i) mine.push_back({"F" + std::to_string(i) + ".TXT", "mine " + std::to_string(i)});
  Use(CraftZip(theirs));
  Use(destination, CraftZip(mine));
  std::vector<std::string> lines;
  for (int i = 299; i >= 0; --i) lines.push_back((i % 2 ? "F" : "f") + std::to_string(i) + ".Txt");
  lines.push_back("f7.txt");  // a repeat changes nothing
  ASSERT_EQ(Copy(lines, OvrAlways), 0) << zip.Message();
  const auto view = ViewStoredZip(ReadTextFile(destinationPath));
  ASSERT_TRUE(view.ok);
  ASSERT_EQ(view.members.size(), 300u);
  for (int i = 0; i < 150; ++i) EXPECT_EQ(view.members[i].data, "source " + std::to_string(i)) << i;  // in place
  for (int k = 150; k < 300; ++k) EXPECT_EQ(view.members[k].data, "source " + std::to_string(449 - k)) << k;  // as asked
  EXPECT_TRUE(zip.FSpecArgs().empty());
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

// Records are found where the directory says they lie, in any order, behind a
// stub or bytes no entry covers, and travel whole with their descriptors and
// local extra fields, whether read with their header or joined into ranges.
TEST_F(CopyRenameTest, RecordsTravelWholeFromEveryLayout) {
  struct Case {
    const char* what;
    std::string stub, gap;  // the gap lies in front of every member but the first
    bool descriptors;
    std::vector<std::string> requests;  // copied, in this order
  } cases[] = {
      {"in order", "", "", false, {"m0", "m1", "m2", "m3", "m4"}},
      {"out of order", "", "", false, {"m4", "m1", "m0", "m3"}},
      {"every other", "", "", true, {"m0", "m2", "m4"}},
      {"gaps", "", std::string(100, 'g'), false, {"m3", "m1", "m2"}},
      {"stub", "#!stub\n", "", false, {"m2", "m0", "m1"}},
      {"descriptors and gaps", "", std::string(30, 'g'), true, {"m1", "m2", "m4", "m0"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<CraftedMember> members;
    for (uint32_t i = 0; i < 5; ++i) {
      // m2 is larger than a range copied through the buffers.
      CraftedMember& m = members.emplace_back("m" + std::to_string(i), testsupport::Noise(i == 2 ? 40000 : 300 + i, i));
      m.dataDescriptor = c.descriptors;
      m.descriptorSignature = i % 2 == 0;
      if (i > 0) m.gapBefore = c.gap;
    }
    members[1].localExtra = std::string("\x55\x54\x05\x00\x01\x00\x00\x00\x00", 9);  // longer than the central one
    testsupport::ArchiveLayout layout;
    layout.stub = c.stub;
    layout.offsetsCountStub = true;  // the view takes offsets as file positions
    const auto source = ViewStoredZip(Use(testsupport::CraftArchive(members, layout).bytes));
    ASSERT_TRUE(source.ok);
    Use(destination, CraftZip(DestinationMembers()));
    ASSERT_EQ(Copy(c.requests, OvrAlways), 0) << zip.Message();
    const auto copied = ViewStoredZip(ReadTextFile(destinationPath));
    ASSERT_TRUE(copied.ok);
    ASSERT_EQ(copied.members.size(), 3 + c.requests.size());
    for (size_t k = 0; k < c.requests.size(); ++k) {
      const auto& from = source.members[static_cast<size_t>(c.requests[k][1] - '0')];
      const auto& to = copied.members[3 + k];
      EXPECT_EQ(to.name, from.name);
      EXPECT_EQ(to.data, from.data);
      EXPECT_EQ(to.localExtra, from.localExtra);
      EXPECT_EQ(to.descriptor.substr(0, 12), from.descriptor.substr(0, 12));
    }
    // Renaming reads every record in order; the gaps stay behind.
    ASSERT_EQ(Rename({{"m3", "n3"}}), 0) << zip.Message();
    const auto renamed = ViewStoredZip(ReadTextFile(path));
    ASSERT_TRUE(renamed.ok);
    EXPECT_EQ(Joined(renamed), "m0 m1 m2 n3 m4");
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(renamed.members[i].data, source.members[i].data);
  }
}

// A small record copied on its own costs one read: its header and its bytes
// come in together, the bytes moving on from the reader's buffer. Records a
// few KB apart are read in order, in reads that grow to hold many.
TEST_F(CopyRenameTest, RecordsAreReadInFewCalls) {
  std::vector<CraftedMember> members;
  for (uint32_t i = 0; i < 8; ++i) members.push_back({"m" + std::to_string(i), testsupport::Noise(3000, i)});
  const std::string source = CraftZip(members), target = CraftZip(DestinationMembers());
  auto readsCopying = [&](std::vector<std::string> names) {
    Use(zip, source);
    Use(destination, target);
    files.Reset();
    EXPECT_EQ(Copy(names, OvrAlways), 0) << zip.Message();
    return files.Calls(Op::Read);
  };
  const uint64_t one = readsCopying({"m1"});
  EXPECT_EQ(readsCopying({"m1", "m3", "m5", "m7"}), one + 3);
  const auto copied = ViewStoredZip(ReadTextFile(destinationPath));
  ASSERT_TRUE(copied.ok);
  EXPECT_EQ(copied.members[6].data, members[7].data);

  // Every byte is read once, a stub in front or not: what the headers' reading
  // brings into the buffer is written from there.
  members.clear();
  for (uint32_t i = 0; i < 64; ++i) members.push_back({"m" + std::to_string(i), testsupport::Noise(9000, i)});
  for (const std::string& stub : {std::string(), std::string(20000, 's')}) {  // a stub longer than a step read along
    SCOPED_TRACE(stub.size());
    const uint64_t size = Use(CraftZip(members, stub)).size();
    files.Reset();
    ASSERT_EQ(Rename({{"m63", "last"}}), 0) << zip.Message();
    EXPECT_LT(files.Calls(Op::Read), 32u);  // a read a record would take 64 and more
    const std::vector<int64_t> reads = files.ReadSizes();
    EXPECT_LT(std::accumulate(reads.begin(), reads.end(), uint64_t{0}), size + size / 8);
    EXPECT_EQ(ViewStoredZip(ReadTextFile(path)).members[40].data, members[40].data);
  }
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

