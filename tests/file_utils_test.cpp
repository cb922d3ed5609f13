// The component's file utilities, run on the POSIX platform with a
// fault-injecting file system in front of it.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "tests/support/FaultInjectingEnv.h"
#include "tests/support/TempDir.h"
#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"

namespace {

using platform::Access;
using platform::Disposition;
using platform::FileHandle;
using platform::SeekFrom;
using platform::Share;
using Op = platform::FaultInjectingFileSystem::Op;
namespace fs = std::filesystem;

struct FileUtilsTest : ::testing::Test, testsupport::FaultInjectingEnv {
  ui::ScriptedUi ui;
  TZipBuilder zip{&env, &ui};

  std::string Make(const std::string& name, size_t size) {
    std::string text(size, ' ');
    for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + i % 26);
    testsupport::WriteTextFile(dir / name, text);
    return dir / name;
  }
  FileHandle OpenIn(const std::string& path) {
    return files.inner().Open(path, Access::Read, Share::Read, Disposition::OpenExisting);
  }
  FileHandle OpenOut(const std::string& path) {
    return files.inner().Open(path, Access::Write, Share::None, Disposition::CreateAlways);
  }
  std::string Trash(const std::string& sub) const { return dir / ("data/Trash/" + sub); }
};

TEST_F(FileUtilsTest, AppendSlash) {
  EXPECT_EQ(TZipBuilder::AppendSlash(""), "");
  EXPECT_EQ(TZipBuilder::AppendSlash("C:\\dir"), "C:\\dir\\");
  EXPECT_EQ(TZipBuilder::AppendSlash("C:\\dir\\"), "C:\\dir\\");
  EXPECT_EQ(TZipBuilder::AppendSlash("C:"), "C:\\");
  EXPECT_EQ(TZipBuilder::AppendSlash("/tmp"), "/tmp\\");
}

TEST_F(FileUtilsTest, ReplaceForwardSlash) {
  EXPECT_EQ(TZipBuilder::ReplaceForwardSlash("a/b/c.txt"), "a\\b\\c.txt");
  EXPECT_EQ(TZipBuilder::ReplaceForwardSlash("//x\\y/"), "\\\\x\\y\\");
  EXPECT_EQ(TZipBuilder::ReplaceForwardSlash(""), "");
}

TEST_F(FileUtilsTest, CopyBufferOfTenThousandBytesMoves8192Then1808) {
  FileHandle in = OpenIn(Make("src.bin", 20000));
  FileHandle out = OpenOut(dir / "dst.bin");
  EXPECT_EQ(zip.CopyBuffer(in, out, 10000), 0);
  EXPECT_EQ(files.ReadSizes(), (std::vector<int64_t>{8192, 1808}));
  EXPECT_EQ(files.WriteSizes(), (std::vector<int64_t>{8192, 1808}));
  EXPECT_EQ(ui.processMessagesCalls, 2);
  // Both files stay open, positioned after the copied bytes.
  EXPECT_EQ(files.inner().Seek(in, 0, SeekFrom::Current), 10000);
  EXPECT_EQ(files.inner().Seek(out, 0, SeekFrom::Current), 10000);
  files.inner().Close(in);
  files.inner().Close(out);
  EXPECT_EQ(testsupport::ReadTextFile(dir / "dst.bin"),
            testsupport::ReadTextFile(dir / "src.bin").substr(0, 10000));
}

TEST_F(FileUtilsTest, CopyBufferOfZeroBytesCopiesNothing) {
  FileHandle in = OpenIn(Make("src.bin", 100));
  FileHandle out = OpenOut(dir / "dst.bin");
  EXPECT_EQ(zip.CopyBuffer(in, out, 0), 0);
  EXPECT_EQ(files.WriteSizes(), std::vector<int64_t>{});
  EXPECT_EQ(files.inner().Seek(in, 0, SeekFrom::Current), 0);
  files.inner().Close(in);
  files.inner().Close(out);
  EXPECT_EQ(fs::file_size(dir / "dst.bin"), 0u);
}

TEST_F(FileUtilsTest, CopyBufferOfMinusOneCopiesToTheEnd) {
  FileHandle in = OpenIn(Make("src.bin", 20000));
  FileHandle out = OpenOut(dir / "dst.bin");
  files.inner().Seek(in, 1000, SeekFrom::Begin);  // from the current position
  EXPECT_EQ(zip.CopyBuffer(in, out, -1), 0);
  EXPECT_EQ(files.WriteSizes(), (std::vector<int64_t>{8192, 8192, 2616}));
  files.inner().Close(in);
  files.inner().Close(out);
  EXPECT_EQ(testsupport::ReadTextFile(dir / "dst.bin"),
            testsupport::ReadTextFile(dir / "src.bin").substr(1000));
}

TEST_F(FileUtilsTest, CopyBufferStopsWithoutErrorAtTheEndOfTheInput) {
  FileHandle in = OpenIn(Make("src.bin", 16384));
  FileHandle out = OpenOut(dir / "dst.bin");
  EXPECT_EQ(zip.CopyBuffer(in, out, 50000), 0);
  EXPECT_EQ(files.ReadSizes(), (std::vector<int64_t>{8192, 8192, 0}));
  EXPECT_EQ(files.WriteSizes(), (std::vector<int64_t>{8192, 8192}));
  files.inner().Close(in);
  files.inner().Close(out);
}

TEST_F(FileUtilsTest, CopyBufferFailsWithMinusTwoOnAReadOrWriteFailure) {
  FileHandle in = OpenIn(Make("src.bin", 20000));
  FileHandle out = OpenOut(dir / "dst.bin");
  files.FailNth(Op::Write, 2);
  EXPECT_EQ(zip.CopyBuffer(in, out, -1), -2);
  EXPECT_EQ(files.Calls(Op::Write), 2u);  // the copy stopped there
  files.Reset();
  files.FailNth(Op::Write, 1);
  files.SetShortWriteBytes(100);  // a short write counts as a failure too
  EXPECT_EQ(zip.CopyBuffer(in, out, -1), -2);
  files.Reset();
  files.FailNth(Op::Read, 1);
  EXPECT_EQ(zip.CopyBuffer(in, out, -1), -2);
  files.inner().Close(in);
  files.inner().Close(out);
}

TEST_F(FileUtilsTest, CopyFileCopiesContentsAndDateAndRaisesNoProgress) {
  std::string src = Make("src.bin", 20000);
  const uint32_t stamp =
      ((2015u - 1980) << 25) | (3u << 21) | (9u << 16) | (8u << 11) | (7u << 5) | 3u;
  ASSERT_TRUE(files.SetPathDosTime(src, stamp));
  int progress = 0;
  zip.OnProgress = [&](TZipBuilder*, ProgressType, const std::string&, int64_t) { ++progress; };
  EXPECT_EQ(zip.CopyFileA(src, dir / "dst.bin"), 0);
  EXPECT_EQ(testsupport::ReadTextFile(dir / "dst.bin"), testsupport::ReadTextFile(src));
  EXPECT_EQ(files.Stat(dir / "dst.bin")->dosDateTime, stamp);
  EXPECT_EQ(progress, 0);
  EXPECT_EQ(ui.cursor, ui::kCursorDefault);  // the wait cursor is back
  EXPECT_FALSE(ui.cursorHistory.empty());
}

TEST_F(FileUtilsTest, CopyFileOfAMissingSourceReturnsMinusThreeAndCreatesNothing) {
  EXPECT_EQ(zip.CopyFileA(dir / "missing.bin", dir / "dst.bin"), -3);
  EXPECT_FALSE(fs::exists(dir / "dst.bin"));
  EXPECT_EQ(files.Calls(Op::Open), 0u);
  // A source that cannot be opened: -3 too, and an existing destination is left alone.
  std::string src = Make("src.bin", 10);
  Make("dst.bin", 5);
  files.FailNth(Op::Open, 1);
  EXPECT_EQ(zip.CopyFileA(src, dir / "dst.bin"), -3);
  EXPECT_EQ(fs::file_size(dir / "dst.bin"), 5u);
  EXPECT_EQ(ui.cursor, ui::kCursorDefault);
}

TEST_F(FileUtilsTest, AnExistingDestinationIsErasedWithHowToDeleteFirst) {
  std::string src = Make("src.bin", 300);
  testsupport::WriteTextFile(dir / "dst.bin", "old contents");
  zip.HowToDelete = htdAllowUndo;
  EXPECT_EQ(zip.CopyFileA(src, dir / "dst.bin"), 0);
  EXPECT_EQ(fs::file_size(dir / "dst.bin"), 300u);
  EXPECT_EQ(testsupport::ReadTextFile(Trash("files/dst.bin")), "old contents");
  EXPECT_TRUE(fs::exists(Trash("info/dst.bin.trashinfo")));

  testsupport::WriteTextFile(dir / "final.bin", "old");
  zip.HowToDelete = htdFinal;
  EXPECT_EQ(zip.CopyFileA(src, dir / "final.bin"), 0);
  EXPECT_FALSE(fs::exists(Trash("files/final.bin")));
}

TEST_F(FileUtilsTest, AnInjectedWriteFailureGivesMinusTwoAndNoPartialDestination) {
  std::string src = Make("src.bin", 30000);
  files.FailNth(Op::Write, 2);
  EXPECT_EQ(zip.CopyFileA(src, dir / "dst.bin"), -2);
  EXPECT_FALSE(fs::exists(dir / "dst.bin"));
  EXPECT_EQ(files.WriteSizes(), (std::vector<int64_t>{8192}));
  // The source is untouched and closed again: a writer may open it.
  EXPECT_EQ(fs::file_size(src), 30000u);
  FileHandle h = files.inner().Open(src, Access::Write, Share::None, Disposition::OpenExisting);
  EXPECT_NE(h, platform::kInvalidHandle);
  files.inner().Close(h);
}

TEST_F(FileUtilsTest, ADestinationThatCannotBeCreatedGivesMinusOne) {
  std::string src = Make("src.bin", 10);
  files.FailNth(Op::Open, 2);
  EXPECT_EQ(zip.CopyFileA(src, dir / "dst.bin"), -1);
  EXPECT_FALSE(fs::exists(dir / "dst.bin"));
  EXPECT_EQ(zip.CopyFileA(src, dir / "no/such/dir/dst.bin"), -1);
}

TEST_F(FileUtilsTest, SizesThatCannotBeTakenGiveMinusNineAndNoDestination) {
  std::string src = Make("src.bin", 10);
  files.FailNth(Op::Seek, 1);  // the destination's size
  EXPECT_EQ(zip.CopyFileA(src, dir / "dst.bin"), -9);
  EXPECT_FALSE(fs::exists(dir / "dst.bin"));
}

TEST_F(FileUtilsTest, EraseFileOfAMissingFileReturnsMinusOne) {
  EXPECT_EQ(zip.EraseFile(dir / "missing.txt", htdAllowUndo), -1);
  EXPECT_EQ(zip.EraseFile(dir / "missing.txt", htdFinal), -1);
  fs::create_directories(dir / "adir");
  EXPECT_EQ(zip.EraseFile(dir / "adir", htdFinal), -1);
  EXPECT_TRUE(fs::exists(dir / "adir"));
  EXPECT_FALSE(fs::exists(dir / "data/Trash"));  // the shell was not asked
}

TEST_F(FileUtilsTest, EraseFileWithUndoPutsTheFileInTheTrash) {
  std::string path = Make("doc.txt", 7);
  EXPECT_EQ(zip.EraseFile(path, htdAllowUndo), 0);
  EXPECT_FALSE(fs::exists(path));
  EXPECT_EQ(fs::file_size(Trash("files/doc.txt")), 7u);
  std::string info = testsupport::ReadTextFile(Trash("info/doc.txt.trashinfo"));
  EXPECT_NE(info.find("Path=" + path + "\n"), std::string::npos) << info;
  EXPECT_NE(info.find("DeletionDate="), std::string::npos) << info;
}

TEST_F(FileUtilsTest, EraseFileOfABareNameDeletesTheFileInTheCurrentDirectory) {
  std::string cwd = files.GetCurrentDirectory();
  ASSERT_TRUE(files.SetCurrentDirectory(dir.path()));
  Make("bare.txt", 3);
  Make("kept.txt", 3);
  int result = zip.EraseFile("bare.txt", htdFinal);
  int undoable = zip.EraseFile("kept.txt", htdAllowUndo);
  files.SetCurrentDirectory(cwd);
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(fs::exists(dir / "bare.txt"));
  EXPECT_EQ(undoable, 0);
  EXPECT_TRUE(fs::exists(Trash("files/kept.txt")));
  EXPECT_NE(testsupport::ReadTextFile(Trash("info/kept.txt.trashinfo"))
                .find("Path=" + fs::canonical(dir.path()).string() + "/kept.txt\n"),
            std::string::npos);
}

TEST_F(FileUtilsTest, MakeTempFileNameStoresTheBackslashIntoTempDir) {
  fs::create_directories(dir / "temp");
  zip.TempDir = dir / "temp";
  std::string name = zip.MakeTempFileName("zbt", ".zip");
  EXPECT_EQ(zip.TempDir, dir / "temp" + "\\");
  ASSERT_FALSE(name.empty());
  EXPECT_EQ(name.rfind(zip.TempDir + "zbt", 0), 0u) << name;
  EXPECT_EQ(name.substr(name.size() - 4), ".zip");
  EXPECT_FALSE(files.GetAttributes(name));
  EXPECT_TRUE(fs::is_empty(dir / "temp"));  // the reserved ".tmp" file is deleted again
  // Called again: TempDir keeps its single backslash; the extension may be anything.
  std::string other = zip.MakeTempFileName("zbt", ".$$$");
  EXPECT_EQ(zip.TempDir, dir / "temp" + "\\");
  EXPECT_EQ(other.substr(other.size() - 4), ".$$$");
  std::string bare = zip.MakeTempFileName("zbt", "");
  EXPECT_EQ(platform::ExtractFileExt(bare), "") << bare;
  EXPECT_EQ(bare.rfind(zip.TempDir + "zbt", 0), 0u) << bare;
}

TEST_F(FileUtilsTest, MakeTempFileNameUsesTheSystemTempPathWithoutTempDir) {
  testsupport::ScopedEnv tmp("TMPDIR", dir.path());
  zip.TempDir = "";
  std::string name = zip.MakeTempFileName("abc", ".tmp");
  EXPECT_EQ(name.rfind(dir.path() + "/abc", 0), 0u) << name;
  EXPECT_EQ(zip.TempDir, "");
  EXPECT_FALSE(files.GetAttributes(name));
}

TEST_F(FileUtilsTest, MakeTempFileNameInAMissingDirectoryIsEmpty) {
  zip.TempDir = dir / "missing";
  EXPECT_EQ(zip.MakeTempFileName("zbt", ".zip"), "");
}

}  // namespace
