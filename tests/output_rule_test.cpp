// The command line's outputs against its inputs: no output may be a file the
// command reads (reached through a link, a hard link, another spelling, as a
// volume of the set, or the stub); such a command is refused and touches
// nothing. Then the other output faults: a directory as the joined archive, a
// spanned add to an existing archive, a re-split into fewer volumes, the stub
// looked for in the current directory, the mode of a new self-extractor, an
// unreadable volume, and the conversions after another operation.
// ZB_TOOL names another build's tool to run the command-line cases against.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "tests/support/CraftedZip.h"
#include "tests/support/FileTree.h"
#include "tests/support/Noise.h"
#include "tests/support/PeerTools.h"
#include "tests/support/TempDir.h"
#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"

namespace {

namespace fs = std::filesystem;
using testsupport::CraftZip;
using testsupport::FileTree;
using testsupport::Noise;
using testsupport::ReadTextFile;
using testsupport::RunIn;
using testsupport::WriteTextFile;
using testsupport::ZipBuilderTool;

struct OutputRuleTest : ::testing::Test {
  testsupport::TempDir dir;
  void SetUp() override {
    umask(022);
    fs::create_directories(dir / "tmp");
    fs::permissions(dir / "tmp", fs::perms::owner_all);
  }
  testsupport::CommandResult Run(const std::string& args) {
    return RunIn(dir.path(), "TMPDIR=" + dir / "tmp" + " " + ZipBuilderTool() + " " + args);
  }
  // a.zip: a small member and 40,000 bytes that do not compress.
  void MakeArchive(const std::string& name) {
    WriteTextFile(dir / name, CraftZip({{"m.txt", "hello"}, {"big.bin", Noise(40000, 7)}}));
  }
  // s001.zip to s003.zip from a.zip; the name of the last volume.
  std::string MakeSet() {
    MakeArchive("a.zip");
    auto r = Run("split -s 16k a.zip s.zip");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir / "s003.zip")) << r.err;
    return "s003.zip";
  }
  void Link(const std::string& target, const std::string& name) {
    fs::create_symlink(target, dir / name);
  }
  void HardLink(const std::string& target, const std::string& name) {
    fs::create_hard_link(dir / target, dir / name);
  }
};

struct AliasCase {
  const char* name;
  std::function<void(OutputRuleTest&)> setUp;
  const char* command;
  const char* refusal;  // what the report says
};

const char* const kSameFile = "is the same file as";
const char* const kSameArchive = "Source archive is the same as the destination archive";

const AliasCase kAliasCases[] = {
    {"CopyMoveToALinkToTheSource", [](OutputRuleTest& t) { t.MakeArchive("a.zip"); t.Link("a.zip", "d.zip"); },
     "copy -m -o a.zip d.zip m.txt", kSameArchive},
    {"CopyMoveToAHardLinkOfTheSource",
     [](OutputRuleTest& t) { t.MakeArchive("a.zip"); t.HardLink("a.zip", "d.zip"); },
     "copy -m -o a.zip d.zip m.txt", kSameArchive},
    {"CopyMoveToTheSourceSpelledThroughALinkedDirectory",
     [](OutputRuleTest& t) { t.MakeArchive("a.zip"); t.Link(".", "here"); },
     "copy -m -o a.zip here/a.zip m.txt", kSameArchive},
    {"JoinOverAVolumeOfTheSet", [](OutputRuleTest& t) { t.MakeSet(); }, "join -f s.zip s001.zip",
     kSameFile},
    {"JoinOverTheArchiveItself", [](OutputRuleTest& t) { t.MakeSet(); },
     "join -f s003.zip s003.zip", kSameFile},
    {"JoinOverALinkToAVolume", [](OutputRuleTest& t) { t.MakeSet(); t.Link("s002.zip", "o.zip"); },
     "join -f s.zip o.zip", kSameFile},
    {"JoinOverAHardLinkOfAVolume",
     [](OutputRuleTest& t) { t.MakeSet(); t.HardLink("s002.zip", "o.zip"); }, "join -f s.zip o.zip",
     kSameFile},
    {"SfxOverALinkToTheArchive", [](OutputRuleTest& t) { t.MakeArchive("a.zip"); t.Link("a.zip", "a.exe"); },
     "sfx a.zip", kSameFile},
    {"SfxOverAHardLinkOfTheArchive",
     [](OutputRuleTest& t) { t.MakeArchive("a.zip"); t.HardLink("a.zip", "a.exe"); }, "sfx a.zip",
     kSameFile},
    {"SfxOverItsStub",
     [](OutputRuleTest& t) {
       t.MakeArchive("a.zip");
       fs::copy_file(std::string(ZB_BINARY_DIR) + "/ZipSFX.bin", t.dir / "a.exe");
     },
     "sfx --stub a.exe a.zip", kSameFile},
    {"SfxOfAVolumeOfASet", [](OutputRuleTest& t) { t.MakeSet(); }, "sfx s003.zip",
     "can not be spanned"},
    {"UnsfxOverALinkToTheProgram",
     [](OutputRuleTest& t) {
       t.MakeArchive("e.zip");
       EXPECT_EQ(t.Run("sfx e.zip").status, 0);
       t.Link("e.exe", "e.zip");
     },
     "unsfx e.exe", kSameFile},
    {"UnsfxOverAHardLinkOfTheProgram",
     [](OutputRuleTest& t) {
       t.MakeArchive("e.zip");
       EXPECT_EQ(t.Run("sfx e.zip").status, 0);
       t.HardLink("e.exe", "e.zip");
     },
     "unsfx e.exe", kSameFile},
    {"SplitOverTheArchiveItself", [](OutputRuleTest& t) { t.MakeArchive("a001.zip"); },
     "split -s 16k a001.zip a.zip", kSameFile},
    {"SplitOverALinkToTheArchive", [](OutputRuleTest& t) { t.MakeArchive("a.zip"); t.Link("a.zip", "b001.zip"); },
     "split -s 16k a.zip b.zip", kSameFile},
    {"SplitOverAHardLinkOfTheArchive",
     [](OutputRuleTest& t) { t.MakeArchive("a.zip"); t.HardLink("a.zip", "b002.zip"); },
     "split -s 16k a.zip b.zip", kSameFile},
};

// Cases print as their names (test names in ctest).
void PrintTo(const AliasCase& c, std::ostream* out) { *out << c.name; }

struct AliasTable : OutputRuleTest, ::testing::WithParamInterface<AliasCase> {};

TEST_P(AliasTable, RefusedBeforeAnythingIsTouched) {
  const AliasCase& c = GetParam();
  c.setUp(*this);
  const auto before = FileTree(dir.path());
  const auto r = Run(c.command);
  EXPECT_NE(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.err.find(c.refusal), std::string::npos) << r.err;
  EXPECT_TRUE(FileTree(dir.path()) == before) << "the command touched its files";
}

INSTANTIATE_TEST_SUITE_P(Outputs, AliasTable, ::testing::ValuesIn(kAliasCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Two files whose names differ in letter case are two archives.
TEST_F(OutputRuleTest, NamesDifferingInCaseAreTwoArchives) {
  MakeArchive("a.zip");
  WriteTextFile(dir / "A.zip", CraftZip({{"other.txt", "x"}}));
  const auto r = Run("copy -o a.zip A.zip m.txt");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(Run("list A.zip").out.find("m.txt"), std::string::npos);
}

TEST_F(OutputRuleTest, JoinIntoADirectoryIsRefusedByName) {
  MakeSet();
  fs::create_directories(dir / "out.zip");
  for (const char* output : {"out.zip/", "out.zip"}) {
    SCOPED_TRACE(output);
    const auto r = Run(std::string("join -f s.zip ") + output);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find(std::string(output) + " is a directory"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_empty(dir / "tmp"));
    EXPECT_TRUE(fs::is_empty(dir / "out.zip"));
  }
}

// Spanning does not drop what the archive held.
TEST_F(OutputRuleTest, SpannedAddToAnExistingArchiveKeepsItsMembers) {
  MakeArchive("a.zip");
  WriteTextFile(dir / "n.txt", "new");
  const auto r = Run("add -s 16k a.zip n.txt");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto listed = Run("list a001.zip").out;  // the set, through its last volume
  for (const char* member : {"m.txt", "big.bin", "n.txt"})
    EXPECT_NE(listed.find(member), std::string::npos) << member << " in\n" << listed;
  EXPECT_TRUE(fs::is_empty(dir / "tmp"));
}

TEST_F(OutputRuleTest, StubIsNeverTakenFromTheCurrentDirectory) {
  MakeArchive("a.zip");
  WriteTextFile(dir / "ZipSFX.bin", "MZ planted");
  ASSERT_EQ(Run("sfx a.zip").status, 0);
  EXPECT_NE(ReadTextFile(dir / "a.exe").rfind("MZ planted", 0), 0u);
}

// A new program gets the mode the umask gives, not the link's.
TEST_F(OutputRuleTest, SfxThroughALinkedArchiveGetsTheUmasksMode) {
  fs::create_directories(dir / "real");
  MakeArchive("real/a.zip");
  Link("real/a.zip", "a.zip");
  ASSERT_EQ(Run("sfx a.zip").status, 0);
  struct stat st;
  ASSERT_EQ(::stat((dir / "a.exe").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST_F(OutputRuleTest, AMissingVolumeIsNamed) {
  MakeSet();
  fs::remove(dir / "s002.zip");
  const auto r = Run("join s003.zip j.zip");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("s002.zip"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir / "j.zip"));
}

// ---- the component: conversions work on the archive as last listed ----

struct ListedArchiveTest : ::testing::Test {
  testsupport::TempDir dir;
  ui::ScriptedUi ui;
  TZipBuilder zip{nullptr, &ui};
  void SetUp() override {
    zip.Unattended = true;
    zip.HowToDelete = htdFinal;
    zip.SetDLLDirectory(ZB_BINARY_DIR);
    zip.SFXPath = std::string(ZB_BINARY_DIR) + "/ZipSFX.bin";
    WriteTextFile(dir / "a.zip", CraftZip({{"listed.txt", "listed"}}));
    WriteTextFile(dir / "other.zip", CraftZip({{"other.txt", Noise(20000, 3)}}));
  }
};

TEST_F(ListedArchiveTest, ConvertSfxAfterWriteSpanConvertsTheListedArchive) {
  zip.SetFileName(dir / "a.zip");
  zip.SetMaxVolumeSize(16384);
  zip.SetMinFreeVolSize(1024);
  ASSERT_EQ(zip.WriteSpan(dir / "other.zip", dir / "set.zip"), 0) << zip.Message();
  ASSERT_EQ(zip.ConvertSFX(), 0) << zip.Message();
  ASSERT_EQ(zip.Count(), 1);
  EXPECT_EQ(zip.ZipDirEntryRecords()[0]->FileName, "listed.txt");
  EXPECT_TRUE(fs::exists(dir / "other.zip"));
}

TEST_F(ListedArchiveTest, ConvertZipAfterWriteSpanConvertsTheListedProgram) {
  zip.SetFileName(dir / "a.zip");
  ASSERT_EQ(zip.ConvertSFX(), 0) << zip.Message();
  zip.SetMaxVolumeSize(16384);
  zip.SetMinFreeVolSize(1024);
  ASSERT_EQ(zip.WriteSpan(dir / "other.zip", dir / "set.zip"), 0) << zip.Message();
  ASSERT_EQ(zip.ConvertZIP(), 0) << zip.Message();
  ASSERT_EQ(zip.Count(), 1);
  EXPECT_EQ(zip.ZipDirEntryRecords()[0]->FileName, "listed.txt");
  EXPECT_EQ(zip.ArchiveStart(), 0);
}

// The new, shorter set must not read as the old one.
TEST_F(ListedArchiveTest, ResplitIntoFewerVolumesRemovesTheOldHigherOnes) {
  zip.SetMinFreeVolSize(1024);
  zip.Unattended = false;  // the old volumes are overwritten by the handler's answer
  zip.OnStatusDisk = [](TZipBuilder*, int, const std::string&, TZipDiskStatus, TZipDiskAction& action) {
    action = zdaOk;  // overwrite the old volumes
  };
  zip.SetMaxVolumeSize(8192);
  ASSERT_EQ(zip.WriteSpan(dir / "other.zip", dir / "s.zip"), 0) << zip.Message();
  ASSERT_TRUE(fs::exists(dir / "s003.zip"));
  zip.SetMaxVolumeSize(16384);
  ASSERT_EQ(zip.WriteSpan(dir / "other.zip", dir / "s.zip"), 0) << zip.Message() << zip.ErrCode();
  const std::string last = dir / ("s00" + std::to_string(zip.DiskNr() + 1) + ".zip");
  EXPECT_FALSE(fs::exists(dir / ("s00" + std::to_string(zip.DiskNr() + 2) + ".zip")));
  std::string joined = dir / "j.zip";
  ASSERT_EQ(zip.ReadSpan(last, joined), 0) << zip.Message();
  EXPECT_EQ(ReadTextFile(joined), ReadTextFile(dir / "other.zip"));
}

// While busy, the answer claims no report that was never made.
TEST_F(ListedArchiveTest, IsZipSfxWhileBusyClaimsNoReport) {
  zip.SetFileName(dir / "a.zip");
  int answer = 99;
  zip.OnProgress = [&](TZipBuilder* z, ProgressType type, const std::string&, int64_t) {
    if (type == ptMemberCount) answer = z->IsZipSFX(dir / "a.zip");
  };
  std::vector<RenameItem*> none;
  ASSERT_EQ(zip.Rename(none, 0x5A8C6000), 0) << zip.Message();
  EXPECT_NE(answer, -7);
  EXPECT_NE(answer, 99);
  EXPECT_EQ(zip.ErrCode(), 0);
}

}  // namespace
