// The decompression engine's order: members past the first are written by
// worker threads, yet the caller sees events, questions and files in the
// archive's order, and a stop leaves only the files it reported.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/Noise.h"
#include "tests/support/UnzDllFixture.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

// Members past the first are written by worker threads; what the caller sees
// must still follow the archive's order.
TEST_F(UnzDllTest, ManyMembersAreReportedInArchiveOrder) {
  std::vector<CraftedMember> members;
  for (int i = 0; i < 100; ++i) {
    std::string name = "d" + std::to_string(i % 5) + "/f" + std::to_string(i) + ".txt";
    members.push_back({name, Repeated(100 + i * 997), i % 3 != 0});
  }
  members[50] = {"d0/big.bin", Noise(18u << 20, 3), false};  // streamed
  members[70].declaredCrc = 0x12345678;                       // discarded on the CRC question
  members.push_back({"d1/f1.txt", "second copy"});          // the same path again, asked about
  UnzRun run = RunOn(Archive(members));
  run.crcAnswer = 0;
  run.overwriteAnswer = true;
  Run(run);
  EXPECT_EQ(run.result, 100);

  // Each member's bytes come in one report, or in steps for the streamed one,
  // member after member.
  std::vector<intptr_t> bytes;
  for (const auto& e : run.Of(kActionBytesDone)) bytes.push_back(e.value);
  size_t next = 0;
  for (const CraftedMember& m : members) {
    intptr_t sum = 0;
    while (next < bytes.size() && sum < static_cast<intptr_t>(m.data.size())) sum += bytes[next++];
    EXPECT_EQ(sum, static_cast<intptr_t>(m.data.size())) << m.name;
  }
  EXPECT_EQ(next, bytes.size());

  // Questions come in order, each between its member's begin and the next one's report.
  auto crc = run.Of(kActionCrcError);
  ASSERT_EQ(crc.size(), 1u);
  EXPECT_EQ(crc[0].text, members[70].name);
  auto asked = run.Of(kActionOverwrite);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].text, "d1/f1.txt");
  EXPECT_EQ(ReadTextFile(out_ + "/d1/f1.txt"), "second copy");
  EXPECT_FALSE(fs::exists(out_ + "/" + members[70].name));
  EXPECT_TRUE(ReadTextFile(out_ + "/d0/big.bin") == members[50].data);
  EXPECT_EQ(ReadTextFile(out_ + "/d4/f99.txt"), members[99].data);
  EXPECT_EQ(Tree().size(), 99u + 5u) << "99 files in 5 directories, no temporary file";
}

// However the members are spread over the workers, the caller sees one
// member's begin, bytes, messages and skip before the next member begins.
TEST_F(UnzDllTest, EachMembersEventsComeTogetherInMemberOrder) {
  std::vector<CraftedMember> members;
  for (int i = 0; i < 60; ++i)
    members.push_back({"f" + std::to_string(i), Repeated(i % 7 == 0 ? 400000 : 50 + i), i % 2 == 0});
  members[10] = {"big.bin", Noise(17u << 20, 5), false};  // streamed in steps
  members[20] = {"../outside", "refused before it is queued"};
  members[30].declaredCrc = 0x12345678;  // a skip report (and a question) on the report
  members[40] = {"f39", "the same name again"};
  const std::string archive = Archive(members);
  for (bool test : {false, true}) {
    SCOPED_TRACE(test ? "testing" : "extracting");
    fs::remove_all(out_);
    UnzRun run = RunOn(archive);
    run.test = test;
    run.crcAnswer = 0;
    run.overwriteAnswer = true;
    Run(run);
    int member = -1;
    std::vector<intptr_t> bytes(members.size(), 0);
    for (const EngineEvent& e : run.events) {
      if (e.action == kActionMemberBegin) {
        ++member;
        ASSERT_LT(member, static_cast<int>(members.size()));
        EXPECT_EQ(e.text, members[member].name);
      } else if (e.action == kActionBytesDone) {
        ASSERT_GE(member, 0);
        bytes[member] += e.value;
      } else if (e.action != kActionMemberCount && e.action != kActionTotalBytes && e.action != kActionBatchEnd) {
        ASSERT_GE(member, 0);
        EXPECT_NE(e.text.find(members[member].name.substr(members[member].name.rfind('/') + 1)), std::string::npos)
            << "event " << e.action << " \"" << e.text << "\" while " << members[member].name << " runs";
      }
    }
    EXPECT_EQ(member + 1, static_cast<int>(members.size()));
    for (size_t i = 0; i < members.size(); ++i) {
      const bool refused = i == 20 && !test;  // testing writes nothing, so any name will do
      EXPECT_EQ(bytes[i], refused ? 0 : static_cast<intptr_t>(members[i].data.size())) << members[i].name;
    }
  }
}

TEST_F(UnzDllTest, APathTakenByAnEarlierMemberDecidesInArchiveOrder) {
  // A file, then members that need it to be a directory, then the file again.
  UnzRun run = RunOn(Archive({{"x", "file"}, {"x/y", "under"}, {"x/", ""}, {"x", "again"}}));
  Run(run);
  EXPECT_EQ(run.result, 1);
  EXPECT_EQ(Tree(), std::vector<std::string>{"x"});
  EXPECT_EQ(ReadTextFile(out_ + "/x"), "file") << "kept: overwriting was not allowed";
  EXPECT_EQ(run.Count(kActionOverwrite), 1);
  EXPECT_EQ(run.Count(kActionSkipped), 3);
}

TEST_F(UnzDllTest, StoppingWhileMembersAreQueuedLeavesOnlyReportedFiles) {
  std::vector<CraftedMember> members;
  for (int i = 0; i < 40; ++i) members.push_back({"f" + std::to_string(i), Repeated(5000 + i), true});
  for (int stopAt : {2, 20, 39}) {
    fs::remove_all(out_);
    UnzRun run = RunOn(Archive(members));
    run.stopOnAction = kActionMemberBegin;
    run.stopOnCall = stopAt;
    Run(run);
    std::vector<std::string> tree = Tree();
    EXPECT_EQ(static_cast<int32_t>(tree.size()), run.result) << stopAt;
    EXPECT_LT(run.result, stopAt);
    for (const std::string& name : tree) EXPECT_EQ(name[0], 'f') << "left behind: " << name;
    EXPECT_EQ(run.Count(kActionBytesDone), run.result);
    EXPECT_EQ(run.Messages(kEngineAborted).size(), 1u);
  }
}

}  // namespace
