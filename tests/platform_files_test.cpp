// The POSIX file system: share modes, 64-bit seeks, end of file, DOS times,
// attributes, deleting, moving, temporary names and private directories.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <set>
#include <stdexcept>
#include <thread>

#include "platform/Clock.h"
#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/TemporaryFile.h"
#include "tests/support/FaultInjectingFileSystem.h"
#include "tests/support/Noise.h"
#include "tests/support/TempDir.h"
#include "tests/support/FilesFixture.h"

namespace {

using namespace platform;
using testsupport::FilesTest;


TEST_F(FilesTest, ReadsAndWritesThroughHandles) {
  std::string path = dir / "a.bin";
  FileHandle h = Open(path, Access::ReadWrite, Share::None, Disposition::CreateNew);
  ASSERT_NE(h, kInvalidHandle);
  EXPECT_EQ(files.Write(h, "abcdef", 6), 6);
  EXPECT_EQ(files.Seek(h, 2, SeekFrom::Begin), 2);
  char buf[8] = {};
  EXPECT_EQ(files.Read(h, buf, sizeof buf), 4);
  EXPECT_EQ(std::string(buf, 4), "cdef");
  EXPECT_EQ(files.Read(h, buf, sizeof buf), 0);
  EXPECT_EQ(files.Size(h), 6);
  files.Close(h);
  // CreateNew refuses an existing file; OpenExisting a missing one; a directory is no file.
  EXPECT_EQ(Open(path, Access::Write, Share::None, Disposition::CreateNew), kInvalidHandle);
  EXPECT_EQ(Open(dir / "missing", Access::Read, Share::ReadWrite), kInvalidHandle);
  EXPECT_EQ(Open(dir.path(), Access::Read, Share::ReadWrite), kInvalidHandle);
  // CreateAlways empties, OpenAlways keeps.
  h = Open(path, Access::Write, Share::None, Disposition::OpenAlways);
  EXPECT_EQ(files.Size(h), 6);
  files.Close(h);
  h = Open(path, Access::Write, Share::None, Disposition::CreateAlways);
  EXPECT_EQ(files.Size(h), 0);
  files.Close(h);
}

// A second opener while the first holds the file: admitted or refused, and a
// refused opener that would have emptied the file leaves it as it was.
TEST_F(FilesTest, ShareModesOfTwoOpeners) {
  struct Case {
    Access firstAccess;
    Share firstShare;
    Access access;
    Share share;
    Disposition disposition;
    bool admitted;
  };
  const Disposition kOpen = Disposition::OpenExisting, kEmpty = Disposition::CreateAlways;
  const Case cases[] = {
      // A reader denying writers blocks every writer and welcomes every reader.
      {Access::Read, Share::Read, Access::Write, Share::None, kOpen, false},
      {Access::Read, Share::Read, Access::Write, Share::ReadWrite, kOpen, false},
      {Access::Read, Share::Read, Access::ReadWrite, Share::ReadWrite, kOpen, false},
      {Access::Read, Share::Read, Access::Write, Share::ReadWrite, kEmpty, false},
      {Access::Read, Share::Read, Access::Read, Share::Read, kOpen, true},
      {Access::Read, Share::Read, Access::Read, Share::ReadWrite, kOpen, true},
      // A writer sharing reading admits only readers that share writing.
      {Access::Write, Share::Read, Access::Read, Share::ReadWrite, kOpen, true},
      {Access::Write, Share::Read, Access::Read, Share::Read, kOpen, false},
      {Access::Write, Share::Read, Access::Write, Share::ReadWrite, kOpen, false},
      // An opener denying all blocks everyone.
      {Access::Read, Share::None, Access::Read, Share::ReadWrite, kOpen, false},
      // Openers sharing everything get along, writers included, but not with one denying what they do.
      {Access::ReadWrite, Share::ReadWrite, Access::Write, Share::ReadWrite, kOpen, true},
      {Access::ReadWrite, Share::ReadWrite, Access::Read, Share::Read, kOpen, false},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE("case " + std::to_string(n));
    const std::string path = Make("shared" + std::to_string(n++) + ".txt", "content");
    FileHandle first = Open(path, c.firstAccess, c.firstShare);
    ASSERT_NE(first, kInvalidHandle);
    FileHandle second = Open(path, c.access, c.share, c.disposition);
    EXPECT_EQ(second != kInvalidHandle, c.admitted);
    if (second != kInvalidHandle) files.Close(second);
    files.Close(first);
    if (!c.admitted) {
      EXPECT_EQ(testsupport::ReadTextFile(path), "content");
    }
    // Closing releases the file to anyone.
    FileHandle alone = Open(path, Access::Write, Share::None);
    EXPECT_NE(alone, kInvalidHandle);
    files.Close(alone);
  }
}

TEST_F(FilesTest, SeeksBeyondFourGibibytesOnASparseFile) {
  std::string path = dir / "big.bin";
  FileHandle h = Open(path, Access::ReadWrite, Share::None, Disposition::CreateAlways);
  ASSERT_NE(h, kInvalidHandle);
  const int64_t far = (int64_t{5} << 30) + 123;  // 5 GiB + 123
  ASSERT_EQ(files.Seek(h, far, SeekFrom::Begin), far);
  ASSERT_EQ(files.Write(h, "tail", 4), 4);
  EXPECT_EQ(files.Size(h), far + 4);
  EXPECT_EQ(files.Seek(h, -4, SeekFrom::End), far);
  char buf[4];
  EXPECT_EQ(files.Read(h, buf, 4), 4);
  EXPECT_EQ(std::string(buf, 4), "tail");
  EXPECT_EQ(files.Seek(h, -int64_t{4} << 30, SeekFrom::Current), far + 4 - (int64_t{4} << 30));
  EXPECT_EQ(files.Seek(h, -1, SeekFrom::Begin), -1);
  // Cut back below 4 GiB at the current position.
  ASSERT_EQ(files.Seek(h, 10, SeekFrom::Begin), 10);
  EXPECT_TRUE(files.SetEndOfFile(h));
  EXPECT_EQ(files.Size(h), 10);
  files.Close(h);
}

TEST_F(FilesTest, SetEndOfFileCutsAndExtends) {
  std::string path = Make("e.txt", "0123456789");
  FileHandle h = Open(path, Access::ReadWrite, Share::None);
  files.Seek(h, 4, SeekFrom::Begin);
  EXPECT_TRUE(files.SetEndOfFile(h));
  EXPECT_EQ(files.Size(h), 4);
  files.Seek(h, 8, SeekFrom::Begin);
  EXPECT_TRUE(files.SetEndOfFile(h));
  EXPECT_EQ(files.Size(h), 8);
  EXPECT_TRUE(files.Sync(h));
  files.Close(h);
  EXPECT_EQ(testsupport::ReadTextFile(path), std::string("0123\0\0\0\0", 8));
}

TEST_F(FilesTest, DosDateAndTimeRoundTripThroughHandlesAndPaths) {
  std::string path = Make("t.txt", "t");
  // 2019-07-14 15:26:48 local time
  const uint32_t stamp =
      ((2019u - 1980) << 25) | (7u << 21) | (14u << 16) | (15u << 11) | (26u << 5) | 24u;
  FileHandle h = Open(path, Access::Write, Share::None);
  EXPECT_TRUE(files.SetFileDosTime(h, stamp));
  EXPECT_EQ(files.GetFileDosTime(h), stamp);
  files.Close(h);
  EXPECT_EQ(files.Stat(path)->dosDateTime, stamp);
  EXPECT_EQ(files.Stat(path)->unixTime, DosDateTimeToUnix(stamp));

  const uint32_t other =
      ((2001u - 1980) << 25) | (1u << 21) | (2u << 16) | (3u << 11) | (4u << 5) | 5u;
  EXPECT_TRUE(files.SetPathDosTime(path, other));
  h = Open(path, Access::Read, Share::ReadWrite);
  EXPECT_EQ(files.GetFileDosTime(h), other);
  files.Close(h);
  EXPECT_FALSE(files.SetPathDosTime(dir / "missing", other));
}

TEST_F(FilesTest, AttributesOfFilesAndDirectories) {
  std::string file = Make("plain.txt", "p");
  std::string hidden = Make(".hidden", "h");
  files.CreateDirectory(dir / "sub");
  EXPECT_EQ(files.GetAttributes(file), kAttrArchive);
  EXPECT_EQ(files.GetAttributes(hidden), kAttrArchive | kAttrHidden);
  EXPECT_EQ(files.GetAttributes(dir / "sub"), kAttrDirectory);
  EXPECT_FALSE(files.GetAttributes(dir / "missing"));
  EXPECT_FALSE(files.GetAttributes(""));

  EXPECT_TRUE(files.SetAttributes(file, kAttrReadOnly));
  EXPECT_EQ(files.GetAttributes(file), kAttrArchive | kAttrReadOnly);
  EXPECT_EQ(files.Stat(file)->mode & 0222, 0u);
  EXPECT_TRUE(files.SetAttributes(file, kAttrNormal));
  EXPECT_EQ(files.GetAttributes(file), kAttrArchive);
  EXPECT_FALSE(files.SetAttributes(dir / "missing", kAttrNormal));

  auto info = files.Stat(dir / "sub");
  ASSERT_TRUE(info);
  EXPECT_TRUE(info->isDirectory);
  EXPECT_TRUE(files.SetPermissions(file, 0640));
  EXPECT_EQ(files.Stat(file)->mode & 07777, 0640u);
}

TEST_F(FilesTest, SymbolicLinksAreSeenByStatAndFollowedByGetAttributes) {
  std::string target = Make("target.txt", "t");
  ASSERT_TRUE(files.CreateSymlink(target, dir / "link"));
  EXPECT_TRUE(files.Stat(dir / "link")->isSymlink);
  EXPECT_EQ(files.GetAttributes(dir / "link"), kAttrArchive);
  ASSERT_TRUE(files.CreateSymlink(dir / "nowhere", dir / "dangling"));
  EXPECT_TRUE(files.Stat(dir / "dangling"));
  EXPECT_FALSE(files.GetAttributes(dir / "dangling"));
}

TEST_F(FilesTest, DeleteRemovesFilesAndFailsForMissingOnes) {
  std::string path = Make("d.txt", "d");
  EXPECT_TRUE(files.DeleteFile(path));
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_FALSE(files.DeleteFile(path));
  files.CreateDirectory(dir / "sub");
  EXPECT_FALSE(files.DeleteFile(dir / "sub"));
  EXPECT_FALSE(files.CreateDirectory(dir / "sub"));
  EXPECT_TRUE(files.RemoveDirectory(dir / "sub"));
}

TEST_F(FilesTest, MoveRefusesAnExistingDestinationUnlessReplacing) {
  std::string from = Make("from.txt", "new");
  std::string to = Make("to.txt", "old");
  EXPECT_FALSE(files.MoveFile(from, to, false));
  EXPECT_EQ(testsupport::ReadTextFile(from), "new");
  EXPECT_EQ(testsupport::ReadTextFile(to), "old");
  EXPECT_TRUE(files.MoveFile(from, to, true));
  EXPECT_FALSE(std::filesystem::exists(from));
  EXPECT_EQ(testsupport::ReadTextFile(to), "new");
  EXPECT_TRUE(files.MoveFile(to, dir / "fresh.txt", false));
  EXPECT_EQ(testsupport::ReadTextFile(dir / "fresh.txt"), "new");
  EXPECT_FALSE(files.MoveFile(dir / "missing", dir / "x", false));
  // Directories move too.
  files.CreateDirectory(dir / "d1");
  EXPECT_TRUE(files.MoveFile(dir / "d1", dir / "d2", false));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "d2"));
  files.CreateDirectory(dir / "d3");
  EXPECT_FALSE(files.MoveFile(dir / "d2", dir / "d3", false));
}

TEST_F(FilesTest, ListsADirectoryWithoutDotEntries) {
  Make("one.txt", "1");
  files.CreateDirectory(dir / "two");
  auto list = files.ListDirectory(dir.path());
  ASSERT_TRUE(list);
  std::set<std::string> names;
  for (const auto& e : *list) names.insert(e.name + (e.info.isDirectory ? "/" : ""));
  EXPECT_EQ(names, (std::set<std::string>{"one.txt", "two/"}));
  EXPECT_FALSE(files.ListDirectory(dir / "missing"));
}

TEST_F(FilesTest, CurrentDirectory) {
  std::string cwd = files.GetCurrentDirectory();
  ASSERT_TRUE(files.SetCurrentDirectory(dir.path()));
  EXPECT_EQ(files.GetCurrentDirectory(), std::filesystem::canonical(dir.path()).string());
  EXPECT_FALSE(files.SetCurrentDirectory(dir / "missing"));
  files.SetCurrentDirectory(cwd);
}

TEST_F(FilesTest, TempPathIsTmpdirOrTheUsersOwnDirectory) {
  {
    testsupport::ScopedEnv tmp("TMPDIR", dir.path());
    EXPECT_EQ(files.GetTempPath(), dir.path() + "/");
  }
  {
    testsupport::ScopedEnv tmp("TMPDIR", dir.path() + "/");
    EXPECT_EQ(files.GetTempPath(), dir.path() + "/");
  }
  testsupport::ScopedEnv tmp("TMPDIR", std::nullopt);
  std::string own = files.GetTempPath();
  ASSERT_EQ(own, "/tmp/zipbuilder-" + std::to_string(::getuid()) + "/");
  struct stat st;
  ASSERT_EQ(::lstat(own.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(st.st_uid, ::getuid());
}

TEST_F(FilesTest, APrivateDirectoryIsTheUsersAlone) {
  std::string made = dir / "made";
  EXPECT_EQ(UserPrivateDirectory(made), made + "/");
  EXPECT_EQ(std::filesystem::status(made).permissions(), std::filesystem::perms::owner_all);
  EXPECT_EQ(UserPrivateDirectory(made), made + "/");  // and again, as it is

  std::filesystem::create_directory(dir / "open");
  std::filesystem::permissions(dir / "open", std::filesystem::perms(0755));
  std::filesystem::create_directory_symlink(made, dir / "link");
  Make("file", "x");
  for (const char* name : {"open", "link", "file"})
    EXPECT_EQ(UserPrivateDirectory(dir / name), "") << name;
  if (::geteuid() == 0) {  // another user's directory, which only root can make here
    std::filesystem::create_directory(dir / "theirs", made);
    ASSERT_EQ(::chown((dir / "theirs").c_str(), 65534, 65534), 0);
    EXPECT_EQ(UserPrivateDirectory(dir / "theirs"), "");
  }
}

TEST_F(FilesTest, TempDirectoriesAreNewAndPrivate) {
  std::string first = files.MakeTempDirectory(dir.path(), "zbv");
  std::string second = files.MakeTempDirectory(dir.path() + "/", "zbv");
  ASSERT_FALSE(first.empty());
  EXPECT_NE(first, second);
  EXPECT_EQ(first.rfind(dir / "zbv", 0), 0u) << first;
  EXPECT_EQ(first.back(), '/');
  EXPECT_EQ(std::filesystem::status(first).permissions(), std::filesystem::perms::owner_all);
  EXPECT_EQ(files.MakeTempDirectory(dir / "missing", "zbv"), "");

  testsupport::ScopedEnv wine("WINEPREFIX", dir.path());
  std::filesystem::create_directories(dir / "dosdevices/c:/Temp");
  std::string windows = files.MakeTempDirectory("C:\\TEMP", "zbv");
  ASSERT_EQ(windows.rfind("C:\\TEMP\\zbv", 0), 0u) << windows;
  EXPECT_EQ(windows.back(), '\\');
  EXPECT_TRUE(std::filesystem::is_directory(ToNativePath(windows)));
}

TEST_F(FilesTest, OnlyRegularFilesOpenAndOpeningNeverBlocks) {
  std::string fifo = dir / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string target = Make("target", "text");
  std::filesystem::create_symlink(target, dir / "link");
  std::filesystem::create_directory(dir / "sub");
  struct Case {
    std::string path;
    Access access;
    bool opens;
  } cases[] = {{fifo, Access::Read, false},        {fifo, Access::Write, false},
               {"/dev/null", Access::Read, false}, {dir / "sub", Access::Read, false},
               {dir / "link", Access::Read, true}, {target, Access::ReadWrite, true}};
  for (const auto& c : cases) {
    FileHandle h = Open(c.path, c.access, Share::ReadWrite);
    EXPECT_EQ(h != kInvalidHandle, c.opens) << c.path;
    if (h == kInvalidHandle) continue;
    char buf[8];
    EXPECT_EQ(files.Read(h, buf, sizeof buf), 4) << c.path;
    files.Close(h);
  }
}

TEST_F(FilesTest, TempFileNameCreatesAUniquePrivateFile) {
  std::set<std::string> names;
  for (int i = 0; i < 5; ++i) {
    std::string name = files.GetTempFileName(dir.path(), "zbxyz");
    ASSERT_FALSE(name.empty());
    EXPECT_EQ(name.rfind(dir.path() + "/zbx", 0), 0u) << name;
    EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
    auto info = files.Stat(name);
    ASSERT_TRUE(info) << name;
    EXPECT_EQ(info->size, 0u);
    EXPECT_EQ(info->mode & 0777, 0600u);
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 5u);
  EXPECT_EQ(files.GetTempFileName(dir.path() + "\\", "a").rfind(dir.path() + "\\a", 0), 0u);
  EXPECT_EQ(files.GetTempFileName(dir / "missing", "zb"), "");
}

// A range copy from the input's position to the output's, both advancing:
// inside the kernel where it can, read and written where it cannot (a pipe is
// no regular file; another file system may refuse the call).
TEST_F(FilesTest, CopyRangeFromAnyInputToAnyFileSystem) {
  const std::string text = testsupport::Noise((3 << 20) + 100);
  const std::string source = Make("from.bin", text);
  // Memory (where the system has it) when the test directory is on a disk.
  const std::string other =
      files.MakeTempDirectory(std::filesystem::is_directory("/dev/shm") ? "/dev/shm/" : dir / "", "zbcopy");
  ASSERT_FALSE(other.empty());
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  const std::string piped = text.substr(0, 60000);  // within the pipe's own buffer
  ASSERT_EQ(::write(pipeEnds[1], piped.data(), piped.size()), static_cast<ssize_t>(piped.size()));
  ::close(pipeEnds[1]);
  struct Case {
    const char* what;
    FileHandle in;
    std::string target;
    int64_t skip, count, copied;
    std::string expected;
  } cases[] = {
      {"same directory", Open(source, Access::Read, Share::Read), dir / "to.bin", 7, 3 << 20, 3 << 20,
       text.substr(7, 3 << 20)},
      {"to the end", Open(source, Access::Read, Share::Read), dir / "end.bin", 1000, 4 << 20,
       static_cast<int64_t>(text.size()) - 1000, text.substr(1000)},
      {"another file system", Open(source, Access::Read, Share::Read), other + "to.bin", 0,
       static_cast<int64_t>(text.size()), static_cast<int64_t>(text.size()), text},
      {"from a pipe", pipeEnds[0], dir / "piped.bin", 0, 1 << 20, 60000, piped},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_NE(c.in, kInvalidHandle);
    if (c.skip) {
      ASSERT_EQ(files.Seek(c.in, c.skip, SeekFrom::Begin), c.skip);
    }
    FileHandle out = Open(c.target, Access::Write, Share::None, Disposition::CreateNew);
    ASSERT_NE(out, kInvalidHandle);
    ASSERT_EQ(files.Write(out, "head", 4), 4);
    EXPECT_EQ(files.CopyRange(c.in, out, c.count), c.copied);
    EXPECT_EQ(files.Seek(out, 0, SeekFrom::Current), 4 + c.copied);
    files.Close(out);
    files.Close(c.in);
    EXPECT_EQ(testsupport::ReadTextFile(c.target), "head" + c.expected);
  }
  std::filesystem::remove_all(other);
}

// A file system without unnamed files: the base class's stand-ins.
}  // namespace
