// Temporary files that are named only when complete, the fault-injecting
// decorator, failure reasons per thread, and the default environment.
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
#include "platform/Umask.h"
#include "tests/support/FaultInjectingFileSystem.h"
#include "tests/support/TempDir.h"
#include "tests/support/FilesFixture.h"

namespace {

using namespace platform;
using testsupport::FilesTest;

struct WithoutUnnamedFiles : FaultInjectingFileSystem {
  using FaultInjectingFileSystem::FaultInjectingFileSystem;
  UnnamedFile CreateUnnamedFile(const std::string& dir) override {
    return FileSystem::CreateUnnamedFile(dir);
  }
  bool NameFile(const UnnamedFile& file, const std::string& target) override {
    return FileSystem::NameFile(file, target);
  }
};

// A temporary file has no name until it is complete, and then replaces its
// target in one step; where the file system has no unnamed files, a private
// named file stands in and is removed just the same when not published.
TEST_F(FilesTest, TemporaryFileTakesItsNameOnlyWhenPublished) {
  const std::string target = Make("t.zip", "old");
  auto entries = [&] {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
      names.insert(e.path().filename());
    return names;
  };
  WithoutUnnamedFiles named{files};
  for (FileSystem* fs : {&files, static_cast<FileSystem*>(&named)}) {
    const bool fallback = fs == &named;
    SCOPED_TRACE(fallback);
    {
      TemporaryFile dropped(*fs, dir.path());
      ASSERT_TRUE(dropped.IsOpen());
      EXPECT_EQ(entries().size(), fallback ? 2u : 1u);
    }
    EXPECT_EQ(entries(), std::set<std::string>{"t.zip"});
    TemporaryFile temporary(*fs, dir.path());
    EXPECT_EQ(fs->Write(temporary.Handle(), "new", 3), 3);
    EXPECT_EQ(std::filesystem::status(temporary.Path()).permissions() & std::filesystem::perms::all,
              std::filesystem::perms(0600));
    ASSERT_TRUE(temporary.Publish(target));
    EXPECT_FALSE(temporary.IsOpen());
    EXPECT_EQ(testsupport::ReadTextFile(target), "new");
    EXPECT_EQ(entries(), std::set<std::string>{"t.zip"});
    testsupport::WriteTextFile(target, "old");
  }
  TemporaryFile elsewhere(files, dir / "missing");
  EXPECT_FALSE(elsewhere.IsOpen());
  EXPECT_EQ(files.LastError(), ENOENT);
}

// In a directory held open, a file is made with its final permission bits,
// appears under its name only when published (straight under it when the name
// is free, in one step over a file or a link there, whose target stays as it
// was), and leaves nothing else behind.
TEST_F(FilesTest, TemporaryFileInAnOpenDirectory) {
  std::filesystem::create_directory(dir / "d");
  const std::string inside = dir / "d";
  const std::string elsewhere = Make("elsewhere.txt", "keep");
  std::filesystem::create_symlink(elsewhere, inside + "/link.txt");
  std::filesystem::create_directory_symlink(inside, dir / "dirlink");
  EXPECT_EQ(files.OpenDirectory(dir / "dirlink"), kInvalidHandle) << "a link is no directory to hold";
  EXPECT_EQ(files.OpenDirectory(dir / "missing"), kInvalidHandle);
  const FileHandle held = files.OpenDirectory(inside);
  ASSERT_NE(held, kInvalidHandle);
  struct Case {
    const char* name;
    const char* before;  // what is at the name first, when anything
  } cases[] = {{"new.txt", nullptr}, {"old.txt", "old"}, {"link.txt", nullptr}};
  for (const Case& c : cases) {
    if (c.before) testsupport::WriteTextFile(inside + "/" + c.name, c.before);
    TemporaryFile temporary(files, held, inside, 0640);
    ASSERT_TRUE(temporary.IsOpen()) << c.name;
    EXPECT_EQ(files.Write(temporary.Handle(), "new", 3), 3);
    EXPECT_TRUE(temporary.SetPermissions(0640));
    ASSERT_TRUE(temporary.PublishIn(held, inside, c.name)) << c.name;
    const std::string path = inside + "/" + c.name;
    EXPECT_FALSE(std::filesystem::is_symlink(path)) << c.name;
    EXPECT_EQ(testsupport::ReadTextFile(path), "new") << c.name;
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
              std::filesystem::perms(0640) & ~std::filesystem::perms(CurrentUmask()))
        << c.name;
  }
  EXPECT_EQ(testsupport::ReadTextFile(elsewhere), "keep");
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(inside)) names.insert(e.path().filename());
  EXPECT_EQ(names, (std::set<std::string>{"link.txt", "new.txt", "old.txt"}));
  files.Close(held);
}

TEST_F(FilesTest, ReadAtReadsFromAnyOffsetShortOnlyAtTheEnd) {
  FileHandle h = Open(Make("r.txt", "0123456789"), Access::Read, Share::ReadWrite);
  char buffer[8];
  EXPECT_EQ(files.ReadAt(h, buffer, 4, 6), 4);
  EXPECT_EQ(std::string(buffer, 4), "6789");
  EXPECT_EQ(files.ReadAt(h, buffer, 8, 7), 3);
  EXPECT_EQ(std::string(buffer, 3), "789");
  EXPECT_EQ(files.ReadAt(h, buffer, 2, 0), 2);
  EXPECT_EQ(std::string(buffer, 2), "01");
  files.Close(h);
}

// ---- the fault-injecting decorator ----

struct FaultTest : FilesTest {
  FaultInjectingFileSystem faults{PosixFileSystem()};
};

TEST_F(FaultTest, PassesCallsThroughAndCountsThem) {
  std::string path = Make("f.txt", std::string(10000, 'x'));
  FileHandle h = faults.Open(path, Access::Read, Share::Read, Disposition::OpenExisting);
  ASSERT_NE(h, kInvalidHandle);
  char buf[8192];
  EXPECT_EQ(faults.Read(h, buf, 8192), 8192);
  EXPECT_EQ(faults.Read(h, buf, 8192), 1808);
  EXPECT_EQ(faults.Seek(h, 0, SeekFrom::Begin), 0);
  faults.Close(h);
  EXPECT_EQ(faults.Calls(FaultInjectingFileSystem::Op::Open), 1u);
  EXPECT_EQ(faults.Calls(FaultInjectingFileSystem::Op::Read), 2u);
  EXPECT_EQ(faults.Calls(FaultInjectingFileSystem::Op::Seek), 1u);
  EXPECT_EQ(faults.Calls(FaultInjectingFileSystem::Op::Write), 0u);
  EXPECT_EQ(faults.ReadSizes(), (std::vector<int64_t>{8192, 1808}));
  EXPECT_EQ(faults.Reads()[1].requested, 8192u);
  EXPECT_EQ(faults.InjectedFailures(), 0u);
}

TEST_F(FaultTest, FailsTheNthCallOfEachKindSeparately) {
  std::string path = Make("f.txt", "abcdef");
  faults.FailNth(FaultInjectingFileSystem::Op::Open, 2);
  faults.FailNth(FaultInjectingFileSystem::Op::Read, 2);
  FileHandle h = faults.Open(path, Access::Read, Share::ReadWrite, Disposition::OpenExisting);
  ASSERT_NE(h, kInvalidHandle);
  EXPECT_EQ(faults.Open(path, Access::Read, Share::ReadWrite, Disposition::OpenExisting),
            kInvalidHandle);
  FileHandle third = faults.Open(path, Access::Read, Share::ReadWrite, Disposition::OpenExisting);
  EXPECT_NE(third, kInvalidHandle);
  char c;
  EXPECT_EQ(faults.Read(h, &c, 1), 1);
  EXPECT_EQ(faults.Read(h, &c, 1), -1);
  EXPECT_EQ(faults.Read(h, &c, 1), 1);
  EXPECT_EQ(c, 'b');  // the failed read moved nothing
  EXPECT_EQ(faults.InjectedFailures(), 2u);
  EXPECT_TRUE(faults.Reads()[1].injected);
  EXPECT_EQ(faults.ReadSizes(), (std::vector<int64_t>{1, 1}));
  faults.Close(h);
  faults.Close(third);
}

TEST_F(FaultTest, FailsEveryCallFromTheNthOn) {
  FileHandle h = faults.Open(dir / "w.bin", Access::ReadWrite, Share::None, Disposition::CreateNew);
  faults.FailFrom(FaultInjectingFileSystem::Op::Write, 2);
  faults.FailFrom(FaultInjectingFileSystem::Op::Seek, 1);
  EXPECT_EQ(faults.Write(h, "ab", 2), 2);
  EXPECT_EQ(faults.Write(h, "cd", 2), -1);
  EXPECT_EQ(faults.Write(h, "ef", 2), -1);
  EXPECT_EQ(faults.Seek(h, 0, SeekFrom::Begin), -1);
  EXPECT_EQ(faults.Seek(h, 0, SeekFrom::End), -1);
  EXPECT_EQ(faults.Size(h), 2);
  faults.FailNth(FaultInjectingFileSystem::Op::Write, 0);
  EXPECT_EQ(faults.Write(h, "gh", 2), 2);
  faults.Close(h);
  EXPECT_EQ(testsupport::ReadTextFile(dir / "w.bin"), "abgh");
  faults.Reset();
  EXPECT_EQ(faults.Calls(FaultInjectingFileSystem::Op::Write), 0u);
  EXPECT_TRUE(faults.Writes().empty());
}

TEST_F(FaultTest, AFailedWriteCanBeShort) {
  FileHandle h = faults.Open(dir / "s.bin", Access::Write, Share::None, Disposition::CreateNew);
  faults.FailNth(FaultInjectingFileSystem::Op::Write, 1);
  faults.SetShortWriteBytes(3);
  EXPECT_EQ(faults.Write(h, "abcdef", 6), 3);
  faults.Close(h);
  EXPECT_EQ(testsupport::ReadTextFile(dir / "s.bin"), "abc");
  EXPECT_EQ(faults.WriteSizes(), (std::vector<int64_t>{3}));
}

TEST_F(FilesTest, FailuresKeepTheirReasonPerThreadUntilTheNextFailure) {
  const std::string file = Make("f.txt", "f");
  struct Case {
    const char* what;
    std::function<bool()> fails;
    int reason;
  };
  const Case cases[] = {
      {"open a missing file",
       [&] { return Open(dir / "missing", Access::Read, Share::ReadWrite) == kInvalidHandle; },
       ENOENT},
      {"open a directory",
       [&] { return Open(dir.path(), Access::Read, Share::ReadWrite) == kInvalidHandle; }, EISDIR},
      {"create an existing file anew",
       [&] {
         return Open(file, Access::Write, Share::None, Disposition::CreateNew) == kInvalidHandle;
       },
       EEXIST},
      {"make an existing directory", [&] { return !files.CreateDirectory(dir.path()); }, EEXIST},
      {"remove a missing file", [&] { return !files.DeleteFile(dir / "missing"); }, ENOENT},
      {"move onto an existing file",
       [&] { return !files.MoveFile(Make("g.txt", "g"), file, false); }, EEXIST},
      {"list a file", [&] { return !files.ListDirectory(file).has_value(); }, ENOTDIR},
      {"read a closed handle", [&] { return files.Read(12345, nullptr, 1) < 0; }, EBADF},
      {"temporary name in a missing directory",
       [&] { return files.GetTempFileName(dir / "none", "zb").empty(); }, ENOENT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(c.fails());
    EXPECT_EQ(files.LastError(), c.reason);
    // A call that succeeds leaves the reason of the last failure in place.
    EXPECT_TRUE(files.Stat(file).has_value());
    EXPECT_EQ(files.LastError(), c.reason);
  }
  // Another thread's failures are its own.
  std::thread([&] {
    EXPECT_EQ(files.LastError(), 0);
    EXPECT_FALSE(files.DeleteFile(dir.path()));
  }).join();
  EXPECT_EQ(files.LastError(), ENOENT);
  EXPECT_EQ(WithReason("Cannot open a.zip", ENOENT), "Cannot open a.zip: " + ErrorText(ENOENT));
  EXPECT_EQ(WithReason("Cannot open a.zip", 0), "Cannot open a.zip");
  EXPECT_NE(ErrorText(ENOSPC), ErrorText(ENOENT));
}

TEST_F(FaultTest, InjectedFailuresCarryAReason) {
  FileHandle h = faults.Open(dir / "r.bin", Access::ReadWrite, Share::None, Disposition::CreateNew);
  faults.FailNth(FaultInjectingFileSystem::Op::Write, 1);
  faults.FailNth(FaultInjectingFileSystem::Op::Read, 1);
  EXPECT_EQ(faults.Write(h, "ab", 2), -1);
  EXPECT_EQ(faults.LastError(), ENOSPC);
  EXPECT_EQ(faults.Read(h, nullptr, 1), -1);
  EXPECT_EQ(faults.LastError(), EIO);
  faults.Close(h);
  EXPECT_EQ(faults.Open(dir / "none", Access::Read, Share::ReadWrite, Disposition::OpenExisting),
            kInvalidHandle);
  EXPECT_EQ(faults.LastError(), ENOENT);  // a real failure of the inner file system
}

TEST(EnvTest, TheDefaultEnvIsCompleteAndAnIncompleteOneIsRefused) {
  EXPECT_TRUE(DefaultEnv().Complete());
  EXPECT_EQ(&RequireComplete(DefaultEnv()), &DefaultEnv());
  const std::function<void(Env&)> clear[] = {
      [](Env& e) { e.files = nullptr; },     [](Env& e) { e.drives = nullptr; },
      [](Env& e) { e.registry = nullptr; },  [](Env& e) { e.shell = nullptr; },
      [](Env& e) { e.libraries = nullptr; }, [](Env& e) { e.clock = nullptr; },
      [](Env& e) { e.security = nullptr; }};
  for (size_t missing = 0; missing < std::size(clear); ++missing) {
    Env env = DefaultEnv();
    clear[missing](env);
    EXPECT_FALSE(env.Complete()) << missing;
    EXPECT_THROW(RequireComplete(env), std::invalid_argument) << missing;
  }
}

}  // namespace
