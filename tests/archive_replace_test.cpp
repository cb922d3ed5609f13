// Replacing an archive by its rewritten version: one rename, an undo copy in
// the Trash on request, and the old archive untouched by every failure.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Env.h"
#include "tests/support/FaultInjectingEnv.h"
#include "tests/support/RecordingShell.h"
#include "tests/support/TempDir.h"
#include "zipbuilder/rewrite/ArchiveReplace.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadTextFile;
using testsupport::WriteTextFile;

struct ArchiveReplaceTest : ::testing::Test, testsupport::FaultInjectingEnv {
  testsupport::RecordingShell recordingShell;
  std::string archive = dir / "sub/a.zip";

  void SetUp() override {
    fs::create_directories(dir / "sub");
    WriteTextFile(archive, "old archive");
    fs::permissions(archive, fs::perms(0640));
  }
  platform::TemporaryFile NewVersion() {
    platform::TemporaryFile temporary = CreateTemporaryBeside(files, archive);
    WriteTextFile(temporary.Path(), "new archive");
    return temporary;
  }
  size_t FilesIn(const std::string& path) {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(path), fs::directory_iterator()));
  }
};

TEST_F(ArchiveReplaceTest, PrivateTemporaryBesideTheArchiveReplacesItInOneRename) {
  platform::TemporaryFile temporary = NewVersion(), second = CreateTemporaryBeside(files, archive);
  EXPECT_NE(temporary.Path(), second.Path());
  EXPECT_EQ(fs::status(temporary.Path()).permissions() & fs::perms::all, fs::perms(0600));
  EXPECT_EQ(FilesIn(dir / "sub"), 1u) << "no name until it is complete";
  EXPECT_FALSE(CreateTemporaryBeside(files, dir / "missing/a.zip").IsOpen());
  second.Discard();
  ASSERT_EQ(ReplaceArchive(env, temporary, archive, false), ReplaceOutcome::Replaced);
  EXPECT_EQ(ReadTextFile(archive), "new archive");
  EXPECT_EQ(fs::status(archive).permissions() & fs::perms::all, fs::perms(0640));  // the old mode
  EXPECT_EQ(FilesIn(dir / "sub"), 1u);
  EXPECT_EQ(files.Calls(platform::FaultInjectingFileSystem::Op::Move), 1u);
  EXPECT_FALSE(fs::exists(dir / "data/Trash"));
  // A new archive needs no undo copy (one would fail here).
  env.shell = &recordingShell;
  recordingShell.copyToTrashResult = 1;
  std::string fresh = dir / "sub/fresh.zip";
  platform::TemporaryFile first = CreateTemporaryBeside(files, fresh);
  WriteTextFile(first.Path(), "first");
  ASSERT_EQ(ReplaceArchive(env, first, fresh, true), ReplaceOutcome::Replaced);
  EXPECT_EQ(ReadTextFile(fresh), "first");
}

TEST_F(ArchiveReplaceTest, UndoCopyOfTheOldArchiveLandsInTheTrash) {
  platform::TemporaryFile temporary = NewVersion();
  ASSERT_EQ(ReplaceArchive(env, temporary, archive, true), ReplaceOutcome::Replaced);
  EXPECT_EQ(ReadTextFile(archive), "new archive");
  EXPECT_EQ(ReadTextFile(dir / "data/Trash/files/a.zip"), "old archive");
  EXPECT_NE(ReadTextFile(dir / "data/Trash/info/a.zip.trashinfo").find("Path=" + archive),
            std::string::npos);
  // A second replacement keeps both old versions.
  temporary = NewVersion();
  ASSERT_EQ(ReplaceArchive(env, temporary, archive, true), ReplaceOutcome::Replaced);
  EXPECT_EQ(ReadTextFile(dir / "data/Trash/files/a.zip"), "old archive");
  EXPECT_EQ(ReadTextFile(dir / "data/Trash/files/a.zip.2"), "new archive");
}

TEST_F(ArchiveReplaceTest, FailuresLeaveTheArchiveAndRemoveTheTemporary) {
  struct Case {
    const char* what;
    bool failRename;
    int trashResult;
    ReplaceOutcome expected;
  } cases[] = {
      {"rename fails", true, 0, ReplaceOutcome::RenameFailed},
      {"trash copy fails", false, 1, ReplaceOutcome::TrashCopyFailed},
  };
  env.shell = &recordingShell;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    files.Reset();
    if (c.failRename) files.FailNth(platform::FaultInjectingFileSystem::Op::Move, 1);
    recordingShell.copyToTrashResult = c.trashResult;
    platform::TemporaryFile temporary = NewVersion();
    EXPECT_EQ(ReplaceArchive(env, temporary, archive, true), c.expected);
    EXPECT_EQ(ReadTextFile(archive), "old archive");
    EXPECT_FALSE(temporary.IsOpen());
    EXPECT_EQ(FilesIn(dir / "sub"), 1u);
  }
  // The trash copy is made before the rename is tried.
  EXPECT_EQ(recordingShell.trashCopies, std::vector<std::string>{archive});
}

}  // namespace
