// Adding and deleting that fail halfway (a write failure injected into the
// engine's output, a cancel from an event handler) leave the archive byte for
// byte as it was, and leave no temporary file behind.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/support/PeerTools.h"
#include "tests/support/TempDir.h"
#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"

namespace {

using testsupport::ReadTextFile;
using testsupport::WriteTextFile;

struct AddFailureTest : ::testing::Test {
  testsupport::TempDir dir;
  ui::ScriptedUi ui;
  TZipBuilder zip{nullptr, &ui};
  std::string archive;
  std::string original;

  void SetUp() override {
    zip.Unattended = true;
    zip.SetDLLDirectory(ZB_BINARY_DIR);
    zip.AddOptions = AddOpts{AddDirNames, AddRecurseDirs};
    std::filesystem::create_directories(dir / "src/sub");
    for (int i = 0; i < 20; ++i)
      WriteTextFile(dir / ("src/sub/f" + std::to_string(i) + ".txt"), std::string(20000 + i, 'a' + i % 26));
    archive = dir / "a.zip";
    zip.SetFileName(archive);
    zip.SetFSpecArgs({dir / "src"});
    zip.Add();
    ASSERT_EQ(zip.SuccessCount(), 20) << zip.Message();
    original = ReadTextFile(archive);
    WriteTextFile(dir / "src/new.txt", std::string(50000, 'n'));
  }
  // Only the archive itself: no temporary file left in its directory.
  void ExpectUnchanged() {
    EXPECT_TRUE(ReadTextFile(archive) == original) << "the archive changed";
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
      if (e.is_regular_file()) ++files;
    EXPECT_EQ(files, 1);
  }
};

TEST_F(AddFailureTest, WriteFailureAtAnyPointLeavesTheArchiveUnchanged) {
  // At the start, inside the first header, halfway, and in the end record.
  size_t size = original.size();
  for (size_t limit : {size_t{0}, size_t{100}, size / 2, size + 10}) {
    SCOPED_TRACE(limit);
    testsupport::ScopedEnv fail("ZIPDLL_FAIL_WRITE_AFTER", std::to_string(limit));
    zip.SetFSpecArgs({dir / "src"});
    zip.Add();
    EXPECT_EQ(zip.SuccessCount(), 0);
    EXPECT_EQ(zip.ErrCode(), kEngineWriteError);
    ExpectUnchanged();
    if (limit > size / 2) continue;  // a deletion writes less than the original
    zip.SetFSpecArgs({"*f1.txt"});
    zip.Delete();
    EXPECT_EQ(zip.SuccessCount(), 0);
    EXPECT_EQ(zip.ErrCode(), kEngineWriteError);
    ExpectUnchanged();
  }
}

// An archive of more than 65,535 members (Python's, with a ZIP64 end record):
// a failed write in every record the engine writes for it, up to the last
// byte of the classic end record behind the ZIP64 ones.
TEST_F(AddFailureTest, WriteFailureInAZip64ArchiveLeavesItUnchanged) {
  if (!testsupport::HaveTool("python3")) GTEST_SKIP() << "python3 missing";
  ASSERT_EQ(testsupport::RunIn(dir.path(), "python3 -c " + testsupport::ShellQuote(
                                                "import zipfile\n"
                                                "z = zipfile.ZipFile('a.zip', 'w')\n"
                                                "for i in range(65540): z.writestr('m%05d' % i, 'x')\n"
                                                "z.close()\n"))
                .status,
            0);
  original = ReadTextFile(archive);
  // Where the records of the complete result lie.
  zip.SetFileName(archive);
  zip.SetFSpecArgs({dir / "src/new.txt"});
  zip.Add();
  ASSERT_EQ(zip.SuccessCount(), 1) << zip.Message();
  const std::string result = ReadTextFile(archive);
  const size_t zip64End = result.rfind(std::string("PK\x06\x06", 4));
  const size_t locator = result.rfind(std::string("PK\x06\x07", 4));
  const size_t end = result.rfind(std::string("PK\x05\x06", 4));
  ASSERT_NE(zip64End, std::string::npos);
  ASSERT_NE(locator, std::string::npos);
  WriteTextFile(archive, original);
  zip.SetFileName(archive);

  const struct {
    const char* where;
    size_t limit;
  } rows[] = {
      {"first member", 10},
      {"members copied", original.size() / 2},
      // 52 bytes per central header, 98 for the end records: into the new local header.
      {"new member", original.size() - 65540 * 52 - 98 + 20},
      {"central directory", zip64End - 100},
      {"ZIP64 end record", zip64End + 30},
      {"locator", locator + 10},
      {"end record", end + 10},
      {"last byte", result.size() - 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.where);
    testsupport::ScopedEnv fail("ZIPDLL_FAIL_WRITE_AFTER", std::to_string(row.limit));
    zip.SetFSpecArgs({dir / "src/new.txt"});
    zip.Add();
    EXPECT_EQ(zip.SuccessCount(), 0);
    EXPECT_EQ(zip.ErrCode(), kEngineWriteError);
    ExpectUnchanged();
  }
}

// A temporary directory on another file system: the new archive is copied
// beside the old one before it takes its place, and no temporary stays anywhere.
TEST_F(AddFailureTest, TemporaryOnAnotherFileSystemIsCopiedBesideTheArchive) {
  struct stat here {}, there {};
  if (stat("/dev/shm", &there) != 0 || stat(dir.path().c_str(), &here) != 0 ||
      here.st_dev == there.st_dev)
    GTEST_SKIP() << "no second file system";
  char pattern[] = "/dev/shm/zbtemp-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  zip.TempDir = pattern;
  zip.SetFSpecArgs({dir / "src/new.txt"});
  zip.Add();
  EXPECT_EQ(zip.SuccessCount(), 1) << zip.Message();
  EXPECT_EQ(zip.Count(), 21);
  EXPECT_TRUE(std::filesystem::is_empty(pattern));
  std::filesystem::remove(pattern);
  original = ReadTextFile(archive);
  ExpectUnchanged();
}

TEST_F(AddFailureTest, CancelDuringAddOrDeleteLeavesTheArchiveUnchanged) {
  for (ProgressType cancelOn : {ptMemberCount, ptMemberBegin, ptBytesDone}) {
    SCOPED_TRACE(static_cast<int>(cancelOn));
    zip.OnProgress = [&](TZipBuilder* z, ProgressType type, const std::string&, int64_t) {
      if (type == cancelOn) z->Cancel = true;
    };
    zip.SetFSpecArgs({dir / "src"});
    zip.Add();
    EXPECT_EQ(zip.SuccessCount(), 0);
    EXPECT_TRUE(zip.FSpecArgs().empty());
    EXPECT_FALSE(zip.Cancel) << "cleared at the end";
    ExpectUnchanged();
  }
  zip.OnProgress = [](TZipBuilder* z, ProgressType type, const std::string&, int64_t) {
    if (type == ptMemberBegin) z->Cancel = true;
  };
  zip.SetFSpecArgs({"*"});
  zip.Delete();
  EXPECT_EQ(zip.SuccessCount(), 0);
  ExpectUnchanged();
}

TEST_F(AddFailureTest, MoveKeepsSourcesWhenTheArchiveCannotBeWritten) {
  zip.AddOptions.Include(AddMove);
  testsupport::ScopedEnv fail("ZIPDLL_FAIL_WRITE_AFTER", std::string("1000"));
  zip.SetFSpecArgs({dir / "src/new.txt"});
  zip.Add();
  EXPECT_EQ(zip.SuccessCount(), 0);
  EXPECT_TRUE(std::filesystem::exists(dir / "src/new.txt"));
  EXPECT_TRUE(ReadTextFile(archive) == original);
}

TEST_F(AddFailureTest, DamagedArchiveIsNotOverwritten) {
  std::string damaged = original.substr(0, original.size() - 10);
  WriteTextFile(archive, damaged);
  original = damaged;
  zip.SetFSpecArgs({dir / "src/new.txt"});
  zip.Add();
  EXPECT_EQ(zip.SuccessCount(), 0);
  EXPECT_EQ(zip.ErrCode(), kEngineBadArchive);
  ExpectUnchanged();
}

}  // namespace
