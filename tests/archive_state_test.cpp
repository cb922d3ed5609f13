// Nothing of one archive reaches another, and nothing is cut or counted wrongly
// on the way: the per-archive state of a listing, the archive comment's bytes,
// the end of a rewritten comment, the CRC of a file that changes while it is
// added, and an extraction directory too long for the command record.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Env.h"
#include "tests/support/FaultInjectingFileSystem.h"
#include "tests/support/ArchiveBytes.h"
#include "tests/support/RecordingEngineFixture.h"
#include "tests/support/TempDir.h"
#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"

namespace {

using testsupport::ArchiveLayout;
using testsupport::BuildArchive;
using testsupport::ReadTextFile;
using testsupport::TestMember;
using testsupport::WriteTextFile;

struct ArchiveStateTest : ::testing::Test {
  testsupport::TempDir dir;
  ui::ScriptedUi ui;
  TZipBuilder zip{nullptr, &ui};

  void SetUp() override {
    zip.Unattended = true;
    zip.SetDLLDirectory(ZB_BINARY_DIR);
  }
  std::string Write(const std::string& name, const std::string& bytes) {
    WriteTextFile(dir / name, bytes);
    return dir / name;
  }
  // The comment bytes at the end of an archive without trailing data.
  static std::string StoredComment(const std::string& bytes) {
    size_t end = bytes.rfind("PK\x05\x06");
    return end == std::string::npos ? "?" : bytes.substr(end + 22);
  }
};

// A listing that finds no archive, or one it cannot read, leaves nothing of the
// archive listed before: the next add would write its comment into a new archive.
TEST_F(ArchiveStateTest, ListingForgetsThePreviousArchive) {
  ArchiveLayout spannedWithComment;
  spannedWithComment.comment = "comment of A";
  spannedWithComment.thisDisk = spannedWithComment.centralDisk = 1;
  const std::string archiveA =
      Write("a.zip", BuildArchive({{"x.txt", "x"}}, spannedWithComment).bytes);
  for (const std::string& next :
       {dir / "missing.zip", Write("damaged.zip", "PK\x05\x06 not an archive")}) {
    SCOPED_TRACE(next);
    zip.SetFileName(archiveA);
    ASSERT_EQ(zip.RawZipComment(), "comment of A");
    ASSERT_EQ(zip.LastDiskNumber(), 1);
    zip.SetFileName(next);
    EXPECT_EQ(zip.RawZipComment(), "");
    EXPECT_EQ(zip.GetZipComment(), "");
    EXPECT_EQ(zip.LastDiskNumber(), 0);
    EXPECT_EQ(zip.EndOfCentralOffset(), 0);
    EXPECT_FALSE(zip.Spanned());
  }
  // Adding to the missing archive now creates it without A's comment.
  zip.SetFileName(dir / "new.zip");
  zip.SetFSpecArgs({Write("f.txt", "data")});
  zip.Add();
  ASSERT_EQ(zip.SuccessCount(), 1) << zip.Message();
  EXPECT_EQ(StoredComment(ReadTextFile(dir / "new.zip")), "");
}

// The comment is bytes with a length: a zero byte inside it survives listing,
// reading and the next add.
TEST_F(ArchiveStateTest, CommentWithAZeroByteSurvivesAnAdd) {
  const std::string comment("abc\0def", 7);
  ArchiveLayout layout;
  layout.comment = comment;
  const std::string archive = Write("c.zip", BuildArchive({{"x.txt", "x"}}, layout).bytes);
  zip.SetFileName(archive);
  EXPECT_EQ(zip.RawZipComment(), comment);
  EXPECT_EQ(zip.GetZipComment(), comment);
  zip.SetFSpecArgs({Write("f.txt", "data")});
  zip.Add();
  ASSERT_EQ(zip.SuccessCount(), 1) << zip.Message();
  EXPECT_EQ(StoredComment(ReadTextFile(archive)), comment);
  EXPECT_EQ(zip.RawZipComment(), comment);
}

// The archive with its new comment is written beside it and takes its place
// only when complete: a failed write is reported as one, and the archive and
// its comment stay as they were.
TEST_F(ArchiveStateTest, SetZipCommentReportsAFailedWriteAndKeepsTheArchive) {
  platform::FaultInjectingFileSystem files{platform::PosixFileSystem()};
  platform::Env env = platform::DefaultEnv();
  env.files = &files;
  TZipBuilder faulty{&env, &ui};
  faulty.Unattended = true;
  ArchiveLayout layout;
  layout.comment = "a long comment to be replaced";
  const std::string bytes = BuildArchive({{"x.txt", "x"}}, layout).bytes;
  const std::string archive = Write("s.zip", bytes);
  faulty.SetFileName(archive);
  std::vector<int> reported;
  faulty.OnMessage = [&](TZipBuilder* z, int, const std::string&) {
    reported.push_back(z->ErrCode());
  };
  for (uint64_t nth : {1, 2, 3}) {
    SCOPED_TRACE(nth);
    reported.clear();
    files.Reset();
    files.FailNth(platform::FaultInjectingFileSystem::Op::Write, nth);
    faulty.SetZipComment("short");
    EXPECT_EQ(reported, (std::vector<int>{11010}));
    EXPECT_EQ(files.InjectedFailures(), 1u);
    EXPECT_TRUE(testsupport::ReadTextFile(archive) == bytes);
    EXPECT_EQ(faulty.GetZipComment(), "a long comment to be replaced");
  }
}

// A file that changes while it is compressed is stored with the CRC of the
// bytes that were compressed, so it reads back intact.
TEST_F(ArchiveStateTest, StreamedMemberTakesItsCrcFromTheBytesCompressed) {
  testsupport::ScopedEnv streamAll("ZIPDLL_WHOLE_BUFFER_LIMIT", "0");
  const size_t chunk = 1 << 20;
  const std::string source = Write("big.bin", std::string(3 * chunk, 'a'));
  const std::string stored = std::string(chunk, 'a') + std::string(2 * chunk, 'b');
  bool changed = false;
  zip.OnProgress = [&](TZipBuilder*, ProgressType type, const std::string&, int64_t) {
    if (type != ptBytesDone || changed) return;
    changed = true;
    std::string bytes = ReadTextFile(source);
    bytes.replace(chunk, 2 * chunk, 2 * chunk, 'b');
    WriteTextFile(source, bytes);
  };
  zip.SetFileName(dir / "big.zip");
  zip.SetFSpecArgs({source});
  zip.Add();
  ASSERT_TRUE(changed);
  ASSERT_EQ(zip.SuccessCount(), 1) << zip.Message();
  ASSERT_EQ(zip.Count(), 1);
  EXPECT_EQ(zip.ZipDirEntryRecords()[0]->Crc32, testsupport::Crc32Of(stored));
  zip.OnProgress = nullptr;
  TZipStream* out = zip.ExtractFileToStream("big.bin");
  ASSERT_NE(out, nullptr) << zip.Message();
  EXPECT_TRUE(std::string(reinterpret_cast<const char*>(out->Memory()), out->Size()) == stored);
}

struct BaseDirectoryTest : testsupport::RecordingEngineFixture {};

// The record's base directory block holds 260 characters: a longer directory is
// refused with a message, never cut to another directory.
TEST_F(BaseDirectoryTest, LongerThanTheRecordHoldsIsRefused) {
  PrepareArchive({testsupport::TestMember("a.txt", "a")});
  UseVersion(160, 1);
  NameArchiveUnlisted();
  std::string deep = dir.path();
  while (deep.size() <= 260) deep += "/" + std::string(40, 'd');
  std::filesystem::create_directories(deep);
  zip.ExtrBaseDir = deep;
  zip.Extract();
  EXPECT_TRUE(engine.Execs().empty()) << "the engine got a cut directory";
  EXPECT_EQ(zip.ErrCode(), 10501);
  EXPECT_NE(zip.Message().find("longer than 260"), std::string::npos) << zip.Message();
  EXPECT_EQ(zip.SuccessCount(), 0);

  zip.ExtrBaseDir = deep.substr(0, deep.rfind('/'));  // at most 260: handed over whole
  ASSERT_LE(zip.ExtrBaseDir.size(), 260u);
  zip.Extract();
  ASSERT_EQ(engine.Execs().size(), 1u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(engine.Execs()[0].extractDirBlock.data())),
            zip.ExtrBaseDir);
}

// Adding a stream to a stream lists the archive again when something was added.
TEST_F(BaseDirectoryTest, StreamToStreamAddListsAgain) {
  PrepareArchive({testsupport::TestMember("a.txt", "a")});
  UseVersion(160, 1);
  zip.SetFileName(archive);
  int listings = 0;
  zip.OnDirUpdate = [&](TZipBuilder*) { ++listings; };
  TMemoryStream input;
  input.Write("payload", 7);
  ASSERT_NE(zip.AddStreamToStream(&input), nullptr);
  EXPECT_EQ(listings, 1);
}

}  // namespace
