// Hostile archives against the decompression engine: names and links that
// would leave the base directory, links already in the target tree, members
// that lie about their sizes, failed overwrites, damaged directories.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/CraftedZip.h"
#include "tests/support/Noise.h"
#include "tests/support/TempDir.h"
#include "tests/support/UnzEngineRunner.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

class UnzDllSafetyTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(base_); }

  UnzRun Extract(const std::vector<CraftedMember>& members) {
    std::string archive = root_ / "hostile.zip";
    WriteTextFile(archive, CraftZip(members));
    UnzRun run;
    run.archive = archive;
    run.baseDir = base_;
    run.overwrite = true;
    EXPECT_TRUE(RunUnzEngine(run));
    return run;
  }
  // Every file below the test's root except the archive and the base's content.
  std::vector<std::string> Outside() const {
    std::vector<std::string> found;
    for (auto& e : fs::recursive_directory_iterator(root_.path())) {
      std::string rel = fs::relative(e.path(), root_.path()).generic_string();
      if (rel == "hostile.zip" || rel == "work" || rel == "work/base" || rel.rfind("work/base/", 0) == 0) continue;
      if (rel == "elsewhere") continue;
      found.push_back(rel);
    }
    return found;
  }
  std::vector<std::string> InBase() const {
    std::vector<std::string> found;
    for (auto& e : fs::recursive_directory_iterator(base_)) found.push_back(fs::relative(e.path(), base_).generic_string());
    std::sort(found.begin(), found.end());
    return found;
  }
  static void ExpectUnsafeSkip(const UnzRun& run, size_t count) {
    auto skips = run.Of(kActionSkipped);
    ASSERT_EQ(skips.size(), count);
    for (const auto& s : skips) {
      EXPECT_EQ(s.value, kSkipUnsafeName) << s.text;
      EXPECT_EQ(s.error, kEngineUnsafeName) << s.text;
    }
    EXPECT_EQ(run.Messages(kEngineUnsafeName).size(), count);
  }

  TempDir root_;
  std::string base_ = root_ / "work/base";
};

TEST_F(UnzDllSafetyTest, NamesThatLeaveTheBaseAreSkipped) {
  const char* names[] = {"../evil",  "a/../../evil", "/tmp/evil-abs", "C:\\evil",  "c:evil",
                         "..\\evil", "sub/..",       "\\evil-root",   "./../evil"};
  std::vector<CraftedMember> members;
  for (const char* name : names) members.emplace_back(name, "x");
  members.emplace_back("fine/./ok..txt", "kept");
  UnzRun run = Extract(members);
  EXPECT_EQ(run.result, 1);
  ExpectUnsafeSkip(run, std::size(names));
  EXPECT_EQ(InBase(), (std::vector<std::string>{"fine", "fine/ok..txt"}));
  EXPECT_TRUE(Outside().empty());
  EXPECT_FALSE(fs::exists("/tmp/evil-abs"));
}

TEST_F(UnzDllSafetyTest, LinksPointingOutsideAreNotCreated) {
  auto link = [](const std::string& name, const std::string& target) {
    CraftedMember m(name, target);
    m.unixMode = 0120777;
    return m;
  };
  UnzRun run = Extract({link("abs", "/etc/passwd"), link("up", "../outside"), link("deep/up2", "../../x"),
                        link("zigzag", "sub/../../x"), link("drive", "C:\\x"), {"sub/target", "t"},
                        link("inside", "sub/target"), link("sub/back", "../sub/target")});
  EXPECT_EQ(run.result, 3);
  ExpectUnsafeSkip(run, 5);
  EXPECT_TRUE(fs::is_symlink(base_ + "/inside"));
  EXPECT_EQ(fs::read_symlink(base_ + "/inside").string(), "sub/target");
  EXPECT_EQ(ReadTextFile(base_ + "/sub/back"), "t");
  for (const char* name : {"abs", "up", "deep/up2", "zigzag", "drive"})
    EXPECT_FALSE(fs::exists(fs::symlink_status(base_ + "/" + name))) << name;
}

TEST_F(UnzDllSafetyTest, NeverWritesThroughALinkInTheTree) {
  std::string elsewhere = root_ / "elsewhere";
  fs::create_directory(elsewhere);
  WriteTextFile(elsewhere + "/victim", "precious");
  fs::create_directory_symlink(elsewhere, base_ + "/d");
  fs::create_symlink(elsewhere + "/victim", base_ + "/f");

  // A member through the linked directory is refused; one named like the linked
  // file replaces the link, never the file it points at.
  UnzRun run = Extract({{"d/victim", "overwritten"}, {"d/new", "planted"}, {"f", "replaces the link"}});
  EXPECT_EQ(run.result, 1);
  ExpectUnsafeSkip(run, 2);
  EXPECT_EQ(ReadTextFile(elsewhere + "/victim"), "precious");
  EXPECT_FALSE(fs::exists(elsewhere + "/new"));
  EXPECT_FALSE(fs::is_symlink(base_ + "/f"));
  EXPECT_EQ(ReadTextFile(base_ + "/f"), "replaces the link");

  // A link member followed by a file through it: the second is refused.
  UnzRun chained = Extract({[] {
                              CraftedMember m("hop", ".");
                              m.unixMode = 0120777;
                              return m;
                            }(),
                            {"hop/through", "no"}});
  ExpectUnsafeSkip(chained, 1);
  EXPECT_FALSE(fs::exists(base_ + "/through"));
}

TEST_F(UnzDllSafetyTest, SizeLiesAreStoppedAndLeaveNoFile) {
  std::string text(200000, 'z');
  std::string big = Noise(17u << 20, 99);  // compressed data above the whole-member bound: streamed
  auto lying = [](const std::string& name, const std::string& data, bool deflate, uint32_t declared) {
    CraftedMember m(name, data, deflate);
    m.declaredSize = declared;
    return m;
  };
  UnzRun run = Extract({lying("bomb", text, true, 1000), lying("short", text, true, 300000),
                        lying("stored-long", "abcdef", false, 3), lying("stored-short", "abc", false, 6),
                        lying("streamed", big, true, 1u << 20), {"honest", "ok"}});
  EXPECT_EQ(run.result, 1);
  auto skips = run.Of(kActionSkipped);
  ASSERT_EQ(skips.size(), 5u);
  for (const auto& s : skips) {
    EXPECT_EQ(s.value, kSkipFormatWrong) << s.text;
    EXPECT_EQ(s.error, kEngineSizeError) << s.text;
  }
  EXPECT_EQ(InBase(), std::vector<std::string>{"honest"});
}

TEST_F(UnzDllSafetyTest, AFailedOverwriteKeepsTheExistingFile) {
  WriteTextFile(base_ + "/keep.txt", "old content");
  CraftedMember bad("keep.txt", std::string(5000, 'n'), true);
  bad.declaredCrc = 1;
  CraftedMember damaged("also.txt", "x", true);
  damaged.declaredSize = 999999;
  WriteTextFile(base_ + "/also.txt", "old too");
  UnzRun run = Extract({bad, damaged});
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(ReadTextFile(base_ + "/keep.txt"), "old content");
  EXPECT_EQ(ReadTextFile(base_ + "/also.txt"), "old too");
  EXPECT_EQ(InBase(), (std::vector<std::string>{"also.txt", "keep.txt"}));  // no temporary left
}

TEST_F(UnzDllSafetyTest, UnbelievableSizeIsNotRequestedAsMemory) {
  CraftedMember m("huge", "tiny", true);
  m.declaredSize = 0xFFFFFFF0u;
  std::string archive = root_ / "hostile.zip";
  WriteTextFile(archive, CraftZip({m}));
  UnzRun run;
  run.archive = archive;
  run.toMemory = true;
  run.provideBlock = false;
  ASSERT_TRUE(RunUnzEngine(run));
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(run.Count(kActionOutputMemory), 0);
  EXPECT_EQ(run.Messages(kEngineSizeError).size(), 1u);
}

TEST_F(UnzDllSafetyTest, DamagedArchivesFailCleanly) {
  std::string good = CraftZip({{"a", std::string(3000, 'a'), true}, {"b", "bee"}});
  std::vector<std::string> damaged = {
      good.substr(0, good.size() / 2),             // cut short: no end record
      good.substr(0, good.size() - 30),            // end record cut
      std::string(100, '\0'),                      // not an archive
      "",                                          // empty file
  };
  // Central directory offset pointing past the file.
  std::string offset = good;
  offset[offset.size() - 6] = '\x7F';
  damaged.push_back(offset);
  // Entry count larger than the directory holds.
  std::string count = good;
  count[count.size() - 12] = '\x09';
  count[count.size() - 14] = '\x09';
  damaged.push_back(count);
  for (size_t i = 0; i < damaged.size(); ++i) {
    std::string archive = root_ / "hostile.zip";
    WriteTextFile(archive, damaged[i]);
    UnzRun run;
    run.archive = archive;
    run.baseDir = base_;
    ASSERT_TRUE(RunUnzEngine(run));
    EXPECT_EQ(run.result, 0) << i;
    EXPECT_EQ(run.Messages(kEngineBadArchive).size(), 1u) << i;
    EXPECT_TRUE(InBase().empty()) << i;
  }
  // A local header offset pointing into the directory damages only its member.
  std::string local = good;
  size_t central = local.rfind(std::string("PK\x01\x02", 4));
  local[central + 42] = '\x40';
  WriteTextFile(root_ / "hostile.zip", local);
  UnzRun run;
  run.archive = root_ / "hostile.zip";
  run.baseDir = base_;
  ASSERT_TRUE(RunUnzEngine(run));
  EXPECT_EQ(run.result, 1);
  EXPECT_EQ(run.Of(kActionSkipped).size(), 1u);
}

}  // namespace
