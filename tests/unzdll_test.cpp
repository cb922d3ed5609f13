// The decompression engine driven directly through its entry point, on
// archives crafted in the test: selection, progress, overwriting, freshen and
// update, test mode, passwords, CRC errors, stopping, memory input and output.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "tests/support/ArchiveBytes.h"
#include "tests/support/Noise.h"
#include "tests/support/UnzDllFixture.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

TEST_F(UnzDllTest, ReportsItsVersion) { EXPECT_EQ(UnzEngineVersion(), 160); }

TEST_F(UnzDllTest, ExtractsStoredAndDeflatedMembersWithDatesAndModes) {
  CraftedMember dirEntry{"sub/", ""};
  dirEntry.unixMode = 040750;
  CraftedMember script{"sub/run.sh", "#!/bin/sh\necho hi\n", true};
  script.unixMode = 0104755;  // setuid must not survive
  script.dosDateTime = DosDateTime(2001, 2, 3, 4, 5, 6);
  CraftedMember dosReadOnly{"ro.txt", "read only", false};
  dosReadOnly.host = 0;
  dosReadOnly.dosAttributes = 0x01;
  std::string text = Repeated(100000);
  UnzRun run = RunOn(Archive({dirEntry, script, {"plain.txt", text, true}, {"empty", ""}, dosReadOnly}));
  Run(run);

  EXPECT_EQ(run.result, 5);
  EXPECT_EQ(Tree(), (std::vector<std::string>{"empty", "plain.txt", "ro.txt", "sub/", "sub/run.sh"}));
  EXPECT_EQ(ReadTextFile(out_ + "/plain.txt"), text);
  EXPECT_EQ(ReadTextFile(out_ + "/sub/run.sh"), script.data);
  EXPECT_EQ(fs::status(out_ + "/ro.txt").permissions(), static_cast<fs::perms>(0444));
  if (kPosixPermissions) {
    EXPECT_EQ(fs::status(out_ + "/sub/run.sh").permissions(), static_cast<fs::perms>(0755));
    EXPECT_EQ(fs::status(out_ + "/sub").permissions(), static_cast<fs::perms>(0750));
  }
  // 2001-02-03 04:05:06 local time.
  std::tm tm{};
  tm.tm_year = 101, tm.tm_mon = 1, tm.tm_mday = 3, tm.tm_hour = 4, tm.tm_min = 5, tm.tm_sec = 6, tm.tm_isdst = -1;
  auto written = fs::last_write_time(out_ + "/sub/run.sh");
  auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
      fs::file_time_type::clock::to_sys(written).time_since_epoch());
  EXPECT_EQ(seconds.count(), std::mktime(&tm));
}

TEST_F(UnzDllTest, ReportsProgressInOrder) {
  std::string big = Repeated(3 << 20);
  UnzRun run = RunOn(Archive({{"a.txt", "alpha", true}, {"big.txt", big, true}, {"c", "gamma"}}));
  Run(run);
  ASSERT_EQ(run.result, 3);
  ASSERT_GE(run.events.size(), 6u);
  EXPECT_EQ(run.events[0].action, kActionMemberCount);
  EXPECT_EQ(run.events[0].value, 3);
  EXPECT_EQ(run.events[1].action, kActionTotalBytes);
  EXPECT_EQ(run.events[1].value, static_cast<intptr_t>(big.size() + 10));
  EXPECT_EQ(run.events.back().action, kActionBatchEnd);
  auto begins = run.Of(kActionMemberBegin);
  ASSERT_EQ(begins.size(), 3u);
  EXPECT_EQ(begins[1].text, "big.txt");
  EXPECT_EQ(begins[1].value, static_cast<intptr_t>(big.size()));
  intptr_t bytes = 0;
  for (const auto& e : run.Of(kActionBytesDone)) bytes += e.value;
  EXPECT_EQ(bytes, static_cast<intptr_t>(big.size() + 10));
}

TEST_F(UnzDllTest, SelectsMembersBySpecification) {
  std::string archive = Archive({{"README", "r"}, {"a.txt", "a"}, {"B.TXT", "b"}, {"sub/c.txt", "c"}, {"sub/d.bin", "d"}});
  struct Case {
    std::vector<std::string> specs;
    std::vector<std::string> tree;
  } cases[] = {
      {{}, {"B.TXT", "README", "a.txt", "sub/", "sub/c.txt", "sub/d.bin"}},
      {{"*.*"}, {"B.TXT", "README", "a.txt", "sub/", "sub/c.txt", "sub/d.bin"}},
      {{"*.txt"}, {"B.TXT", "a.txt", "sub/", "sub/c.txt"}},
      {{"sub\\*"}, {"sub/", "sub/c.txt", "sub/d.bin"}},
      {{"?.TXT", "readme"}, {"B.TXT", "README", "a.txt"}},
  };
  for (const Case& c : cases) {
    fs::remove_all(out_);
    fs::create_directory(out_);
    UnzRun run = RunOn(archive);
    run.specs = c.specs;
    Run(run);
    EXPECT_EQ(Tree(), c.tree) << (c.specs.empty() ? "(none)" : c.specs[0]);
    EXPECT_EQ(run.result, static_cast<int32_t>(std::count_if(c.tree.begin(), c.tree.end(), [](auto& n) {
                return n.back() != '/';
              })));
  }
  UnzRun none = RunOn(archive);
  none.specs = {"*.doc"};
  Run(none);
  EXPECT_EQ(none.result, 0);
  EXPECT_EQ(none.Messages(kEngineNothingToDo).size(), 1u);
}

TEST_F(UnzDllTest, JunkedDirectoriesPutEveryFileIntoTheBase) {
  UnzRun run = RunOn(Archive({{"x/", ""}, {"x/y/one", "1"}, {"two", "2"}}));
  run.keepDirectories = false;
  Run(run);
  EXPECT_EQ(run.result, 2);
  EXPECT_EQ(Tree(), (std::vector<std::string>{"one", "two"}));
}

TEST_F(UnzDllTest, AsksBeforeOverwritingAndHonoursTheAnswer) {
  CraftedMember member{"skip.txt", "new"};
  CraftedMember second{"f.txt", "new f"};
  std::string archive = Archive({member, second});
  WriteTextFile(out_ + "/f.txt", "old f");
  fs::last_write_time(out_ + "/f.txt", fs::file_time_type::clock::now() - std::chrono::hours(24 * 365 * 40));

  UnzRun keep = RunOn(archive);  // overwriting off, no answer: the default stands
  Run(keep);
  EXPECT_EQ(keep.result, 1);
  EXPECT_EQ(ReadTextFile(out_ + "/f.txt"), "old f");
  auto asked = keep.Of(kActionOverwrite);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].value, 0);
  EXPECT_EQ(asked[0].error, 0x10000 | 1);  // older, file index 1
  auto skipped = keep.Of(kActionSkipped);
  ASSERT_EQ(skipped.size(), 1u);
  EXPECT_EQ(skipped[0].value, kSkipNoOverwrite);

  UnzRun replace = RunOn(archive);
  replace.overwriteAnswer = true;
  Run(replace);
  EXPECT_EQ(replace.result, 2);
  EXPECT_EQ(ReadTextFile(out_ + "/f.txt"), "new f");

  UnzRun declined = RunOn(archive);
  declined.overwrite = true;
  declined.overwriteAnswer = false;
  WriteTextFile(out_ + "/f.txt", "mine");
  Run(declined);
  EXPECT_EQ(declined.Of(kActionOverwrite).at(0).value, 1);  // asked with overwriting on
  EXPECT_EQ(ReadTextFile(out_ + "/f.txt"), "mine");
}

TEST_F(UnzDllTest, FreshenAndUpdateCompareDates) {
  CraftedMember older{"older.txt", "from archive"};
  older.dosDateTime = DosDateTime(1990, 1, 1, 0, 0, 0);
  CraftedMember newer{"newer.txt", "from archive"};
  newer.dosDateTime = DosDateTime(2030, 1, 1, 0, 0, 0);
  CraftedMember absent{"absent.txt", "from archive"};
  std::string archive = Archive({older, newer, absent});
  for (bool freshen : {true, false}) {
    fs::remove_all(out_);
    fs::create_directory(out_);
    WriteTextFile(out_ + "/older.txt", "on disk");
    WriteTextFile(out_ + "/newer.txt", "on disk");
    UnzRun run = RunOn(archive);
    (freshen ? run.freshen : run.update) = true;
    Run(run);
    EXPECT_EQ(ReadTextFile(out_ + "/older.txt"), "on disk");
    EXPECT_EQ(ReadTextFile(out_ + "/newer.txt"), "from archive");
    EXPECT_EQ(fs::exists(out_ + "/absent.txt"), !freshen);
    std::map<std::string, intptr_t> reasons;
    for (const auto& e : run.Of(kActionSkipped)) reasons[e.text] = e.value;
    EXPECT_EQ(reasons["older.txt"], kSkipFileExists);
    if (freshen) {
      EXPECT_EQ(reasons["absent.txt"], kSkipOnFreshen);
    }
    EXPECT_EQ(run.result, freshen ? 1 : 2);
  }
}

TEST_F(UnzDllTest, TestModeWritesNothingAndFindsDamage) {
  CraftedMember bad{"bad", "payload", true};
  bad.declaredCrc = 0x12345678;
  UnzRun run = RunOn(Archive({{"good", Repeated(5000), true}, bad, {"dir/", ""}}));
  run.test = true;
  Run(run);
  EXPECT_EQ(run.result, 2);
  EXPECT_TRUE(Tree().empty());
  EXPECT_EQ(run.Messages(kEngineCrcError).size(), 1u);
}

TEST_F(UnzDllTest, PasswordsFromTheRecordAndFromRequests) {
  CraftedMember first{"first", Repeated(4000), true};
  first.password = "sesame";
  CraftedMember second{"second", "two", false};
  second.password = "sesame";
  second.dataDescriptor = true;  // check byte from the time
  std::string archive = Archive({first, second});

  UnzRun given = RunOn(archive);
  given.password = "sesame";
  Run(given);
  EXPECT_EQ(given.result, 2);
  EXPECT_EQ(given.Count(kActionPassword), 0);
  EXPECT_EQ(ReadTextFile(out_ + "/first"), first.data);

  fs::remove_all(out_);
  UnzRun asked = RunOn(archive);
  asked.passwordRequests = 3;
  asked.passwordAnswers = {"wrong", "also wrong", "sesame"};
  Run(asked);
  EXPECT_EQ(asked.result, 2);
  auto requests = asked.Of(kActionPassword);
  ASSERT_EQ(requests.size(), 3u);  // the third answer is remembered for the second member
  EXPECT_EQ(requests[0].value, 3);
  EXPECT_EQ(requests[1].value, 2);
  EXPECT_EQ(requests[2].value, 1);
  EXPECT_EQ(requests[0].text, "first");
  EXPECT_EQ(ReadTextFile(out_ + "/second"), "two");
}

TEST_F(UnzDllTest, WrongPasswordSkipsTheMemberAfterTheAllowedRequests) {
  CraftedMember a{"a", "secret a", true};
  a.password = "right";
  CraftedMember b{"b", "secret b", true};
  b.password = "right";
  std::string archive = Archive({a, b, {"open", "free"}});

  UnzRun run = RunOn(archive);
  run.password = "wrong";
  run.passwordRequests = 2;
  run.passwordAnswers = {"bad1", "bad2", std::nullopt};
  Run(run);
  EXPECT_EQ(run.result, 1);
  EXPECT_EQ(run.Count(kActionPassword), 3);  // two for a, one (answered with nothing) for b
  EXPECT_FALSE(fs::exists(out_ + "/a"));
  EXPECT_FALSE(fs::exists(out_ + "/b"));
  EXPECT_EQ(run.Messages(kEngineBadPassword).size(), 2u);
  for (const auto& e : run.Of(kActionSkipped)) EXPECT_EQ(e.value, kSkipBadPassword);

  fs::remove_all(out_);
  UnzRun cancelled = RunOn(archive);
  cancelled.passwordRequests = 5;
  cancelled.cancelAllPasswords = true;
  Run(cancelled);
  EXPECT_EQ(cancelled.Count(kActionPassword), 1);  // "cancel all" ends the asking
  EXPECT_EQ(cancelled.result, 1);
}

TEST_F(UnzDllTest, AWrongPasswordPassingTheCheckByteIsNotTheEnd) {
  CraftedMember member{"m.txt", Repeated(30000), true};
  member.password = "genuine";
  std::string lucky;  // wrong, yet its header check byte matches
  for (int i = 0; lucky.empty(); ++i) {
    std::string candidate = std::to_string(i);
    candidate.append("-wrong");
    if (PassesPasswordCheck(member, candidate)) lucky = candidate;
  }
  ASSERT_TRUE(PassesPasswordCheck(member, "genuine"));
  UnzRun run = RunOn(Archive({member}));
  run.password = lucky;
  run.passwordRequests = 2;
  run.passwordAnswers = {"genuine"};
  Run(run);
  EXPECT_EQ(run.result, 1);
  EXPECT_EQ(run.Count(kActionPassword), 1);
  EXPECT_EQ(run.Count(kActionCrcError), 0);
  EXPECT_EQ(ReadTextFile(out_ + "/m.txt"), member.data);
}

TEST_F(UnzDllTest, CrcErrorAnswersDecideTheMembersFate) {
  CraftedMember bad{"bad.txt", Repeated(2000), true};
  bad.declaredCrc = 0xDEADBEEF;
  std::string archive = Archive({bad});
  struct Case {
    int32_t answer;
    bool kept;
    size_t messages;
  } cases[] = {{1, true, 0}, {0, false, 0}, {2, false, 1}};
  for (const Case& c : cases) {
    fs::remove_all(out_);
    UnzRun run = RunOn(archive);
    run.crcAnswer = c.answer;
    Run(run);
    auto asked = run.Of(kActionCrcError);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(static_cast<uint32_t>(asked[0].error), Crc32Of(bad.data));
    EXPECT_EQ(static_cast<uint32_t>(asked[0].value), 0xDEADBEEFu);
    EXPECT_EQ(fs::exists(out_ + "/bad.txt"), c.kept) << c.answer;
    EXPECT_EQ(run.result, c.kept ? 1 : 0);
    EXPECT_EQ(run.Messages(kEngineCrcError).size(), c.messages);
    EXPECT_EQ(Tree().size(), c.kept ? 1u : 0u) << "no temporary file is left";
  }
}

TEST_F(UnzDllTest, StopsWhenTheCallbackSaysSoAndLeavesNoPartialFile) {
  std::string big = Noise(20u << 20);  // streamed: above the whole-member bound
  UnzRun run = RunOn(Archive({{"first", "done"}, {"big", big, true}, {"last", "never"}}));
  run.stopOnAction = kActionBytesDone;
  run.stopOnCall = 3;  // one for "first", then inside "big"
  Run(run);
  EXPECT_EQ(run.result, 1);
  EXPECT_EQ(Tree(), std::vector<std::string>{"first"});
  EXPECT_EQ(run.Messages(kEngineAborted).size(), 1u);
  EXPECT_EQ(run.Count(kActionBatchEnd), 1);
}

TEST_F(UnzDllTest, LargeMembersStreamWithTheirChecks) {
  std::string big = Noise(18u << 20, 7);
  UnzRun run = RunOn(Archive({{"big.bin", big, true}, {"big.raw", big, false}}));
  Run(run);
  EXPECT_EQ(run.result, 2);
  EXPECT_TRUE(ReadTextFile(out_ + "/big.bin") == big);
  EXPECT_TRUE(ReadTextFile(out_ + "/big.raw") == big);
}

TEST_F(UnzDllTest, ExtractsOneMemberToMemory) {
  std::string archive = Archive({{"dir/", ""}, {"one.txt", "first text", true}, {"two.txt", "second"}});
  UnzRun given = RunOn(archive);
  given.specs = {"*.txt"};
  given.toMemory = true;
  given.outSize = 10;
  Run(given);
  EXPECT_EQ(given.result, 1);
  EXPECT_EQ(given.MemoryText(), "first text");
  EXPECT_EQ(given.Count(kActionOutputMemory), 0);
  EXPECT_TRUE(Tree().empty());

  UnzRun asking = RunOn(archive);
  asking.specs = {"two.txt"};
  asking.toMemory = true;
  asking.provideBlock = false;
  Run(asking);
  EXPECT_EQ(asking.result, 1);
  ASSERT_EQ(asking.Count(kActionOutputMemory), 1);
  EXPECT_EQ(asking.Of(kActionOutputMemory)[0].value, 6);
  EXPECT_EQ(asking.MemoryText(), "second");
}

TEST_F(UnzDllTest, ExpandsAStreamFromMemory) {
  std::string text = Repeated(70000);
  for (bool deflate : {true, false}) {
    UnzRun run;
    run.fromMemory = run.toMemory = true;
    run.input = CraftStream(text, deflate);
    run.outSize = static_cast<uint32_t>(text.size());
    Run(run);
    EXPECT_EQ(run.result, 1);
    EXPECT_TRUE(run.MemoryText() == text);
  }
  UnzRun damaged;
  damaged.fromMemory = damaged.toMemory = true;
  damaged.input = CraftStream(text, true);
  damaged.input[0] ^= 1;  // the CRC
  damaged.outSize = static_cast<uint32_t>(text.size());
  damaged.provideBlock = false;
  damaged.crcAnswer = 2;
  Run(damaged);
  EXPECT_EQ(damaged.result, 0);
  EXPECT_EQ(damaged.Count(kActionOutputMemory), 1);
  EXPECT_EQ(damaged.Count(kActionCrcError), 1);
}

// The archive's own members, behind a stub and when a cut download has lost
// the end of the comment (not those of an archive stored in it).
TEST_F(UnzDllTest, ExtractsTheArchivesOwnMembers) {
  const std::string cut = dir_ / "cut.zip", cutBehindStub = dir_ / "cut-stub.zip";
  WriteTextFile(cut, CutArchiveHoldingAnArchive().bytes);
  WriteTextFile(cutBehindStub, CutArchiveHoldingAnArchive(std::string(4096, 'M')).bytes);
  const struct {
    const char* what;
    std::string archive;
    std::vector<std::string> tree;
  } cases[] = {
      {"behind a stub", Archive({{"inside.txt", "behind a stub", true}}, std::string(4096, 'M')),
       {"inside.txt"}},
      {"cut download holding an archive", cut, {"inner.zip", "own.txt"}},
      {"the same behind a stub", cutBehindStub, {"inner.zip", "own.txt"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(out_);
    UnzRun run = RunOn(c.archive);
    Run(run);
    EXPECT_EQ(run.result, static_cast<int32_t>(c.tree.size()));
    EXPECT_EQ(Tree(), c.tree);
  }
  EXPECT_EQ(ReadTextFile(out_ + "/own.txt"), "own");
}

TEST_F(UnzDllTest, ConvertsOemNamesOfDosMembers) {
  CraftedMember dos{"\x84rger.txt", "a"};  // CP850 0x84 is a-umlaut
  dos.host = 0;
  CraftedMember utf8{"\xC3\xB6l.txt", "b"};  // marked UTF-8
  utf8.host = 0;
  utf8.flags = 0x800;
  CraftedMember unixName{"caf\xC3\xA9.txt", "c"};
  UnzRun run = RunOn(Archive({dos, utf8, unixName}));
  Run(run);
  EXPECT_EQ(run.result, 3);
  EXPECT_EQ(Tree(), (std::vector<std::string>{"caf\xC3\xA9.txt", "\xC3\xA4rger.txt", "\xC3\xB6l.txt"}));
  EXPECT_EQ(run.Of(kActionMemberBegin).at(0).text, "\xC3\xA4rger.txt");
}

TEST_F(UnzDllTest, RefusesAMalformedRecord) {
  UnzRun run = RunOn(Archive({{"x", "y"}}));
  run.seven = 6;
  Run(run);
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(run.Messages(kEngineBadParameters).size(), 1u);
  EXPECT_TRUE(Tree().empty());
}

TEST_F(UnzDllTest, PermissionsPassThroughTheFileMask) {
  // Modes the usual file mask cuts, before and after ones it keeps: a stored
  // 0777 is not made world-writable under 022.
  const uint32_t modes[] = {0644, 0777, 0600, 0666, 0444, 0755, 0707, 0640};
  const mode_t previousMask = umask(022);
  std::vector<CraftedMember> members;
  for (uint32_t mode : modes) {
    members.push_back({"m" + std::to_string(mode), "x", true});
    members.back().unixMode = 0100000 | mode;
  }
  UnzRun run = RunOn(Archive(members));
  Run(run);
  EXPECT_EQ(run.result, static_cast<int32_t>(std::size(modes)));
  for (uint32_t mode : modes)
    EXPECT_EQ(fs::status(out_ + "/m" + std::to_string(mode)).permissions(), static_cast<fs::perms>(mode & ~022u))
        << std::oct << mode;
  umask(previousMask);
}

}  // namespace
