// The shell: erasing to the freedesktop.org Trash or for good, and starting programs.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <thread>

#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "platform/Shell.h"
#include "tests/support/TempDir.h"

namespace {

using namespace platform;
namespace fs = std::filesystem;

struct ShellTest : ::testing::Test {
  testsupport::TempDir dir;
  testsupport::ScopedEnv data{"XDG_DATA_HOME", dir / "data"};
  Shell& shell = *DefaultEnv().shell;

  std::string Trash(const std::string& sub) const { return dir / ("data/Trash/" + sub); }
};

TEST_F(ShellTest, UndoableDeleteMovesTheFileToTheTrashWithItsInfo) {
  fs::create_directories(dir / "work");
  std::string path = dir / "work/a b%.txt";
  testsupport::WriteTextFile(path, "payload");
  EXPECT_EQ(shell.DeleteFile(path, true), 0);
  EXPECT_FALSE(fs::exists(path));
  EXPECT_EQ(testsupport::ReadTextFile(Trash("files/a b%.txt")), "payload");
  std::string info = testsupport::ReadTextFile(Trash("info/a b%.txt.trashinfo"));
  std::string encoded =
      dir / "work/a%20b%25.txt";  // the temporary directory's name needs no escapes
  EXPECT_EQ(info.substr(0, 13), "[Trash Info]\n");
  EXPECT_NE(info.find("\nPath=" + encoded + "\n"), std::string::npos) << info;
  EXPECT_TRUE(std::regex_search(
      info, std::regex("\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n")))
      << info;
}

TEST_F(ShellTest, ANameAlreadyInTheTrashGetsANewName) {
  for (const char* text : {"first", "second", "third"}) {
    testsupport::WriteTextFile(dir / "same.txt", text);
    ASSERT_EQ(shell.DeleteFile(dir / "same.txt", true), 0);
  }
  // A file left in files/ without its .trashinfo also keeps its name.
  testsupport::WriteTextFile(Trash("files/stray.txt"), "stray");
  testsupport::WriteTextFile(dir / "stray.txt", "mine");
  ASSERT_EQ(shell.DeleteFile(dir / "stray.txt", true), 0);
  EXPECT_EQ(testsupport::ReadTextFile(Trash("files/stray.txt")), "stray");

  std::map<std::string, std::string> byName;
  for (const auto& e : fs::directory_iterator(Trash("files")))
    byName[e.path().filename().string()] = testsupport::ReadTextFile(e.path().string());
  EXPECT_EQ(byName.size(), 5u);
  EXPECT_EQ(byName["same.txt"], "first");
  std::set<std::string> contents;
  for (const auto& [name, text] : byName) {
    contents.insert(text);
    if (name == "stray.txt") continue;
    std::string info = testsupport::ReadTextFile(Trash("info/" + name + ".trashinfo"));
    EXPECT_NE(
        info.find("Path=" + (name.rfind("same", 0) == 0 ? dir / "same.txt" : dir / "stray.txt")),
        std::string::npos)
        << name << ": " << info;
  }
  EXPECT_EQ(contents, (std::set<std::string>{"first", "second", "third", "stray", "mine"}));
}

TEST_F(ShellTest, RelativeAndDriveLetterPathsAreTrashedByTheirFullPath) {
  fs::create_directories(dir / "drive_c");
  fs::create_directories(dir / "prefix/dosdevices");
  fs::create_directory_symlink(dir / "drive_c", dir / "prefix/dosdevices/c:");
  testsupport::ScopedEnv wine("WINEPREFIX", dir / "prefix");
  testsupport::WriteTextFile(dir / "drive_c/doc.txt", "d");
  EXPECT_EQ(shell.DeleteFile("C:\\doc.txt", true), 0);
  EXPECT_FALSE(fs::exists(dir / "drive_c/doc.txt"));
  EXPECT_TRUE(fs::exists(Trash("files/doc.txt")));
  EXPECT_NE(
      testsupport::ReadTextFile(Trash("info/doc.txt.trashinfo")).find("/dosdevices/c%3A/doc.txt"),
      std::string::npos);

  std::string cwd = PosixFileSystem().GetCurrentDirectory();
  ASSERT_TRUE(PosixFileSystem().SetCurrentDirectory(dir.path()));
  testsupport::WriteTextFile(dir / "rel.txt", "r");
  EXPECT_EQ(shell.DeleteFile("rel.txt", true), 0);
  PosixFileSystem().SetCurrentDirectory(cwd);
  EXPECT_NE(testsupport::ReadTextFile(Trash("info/rel.txt.trashinfo"))
                .find("\nPath=" + fs::canonical(dir.path()).string() + "/rel.txt\n"),
            std::string::npos);
  EXPECT_TRUE(fs::exists(Trash("files/rel.txt")));
}

TEST_F(ShellTest, TrashingAMissingFileFailsAndLeavesNoInfo) {
  EXPECT_NE(shell.DeleteFile(dir / "missing.txt", true), 0);
  EXPECT_FALSE(fs::exists(Trash("info/missing.txt.trashinfo")));
}

// A Trash on another file system is filled by copying: whole copies with their
// mode, and no other file in the Trash (the copy is named only when complete).
TEST_F(ShellTest, TrashOnAnotherFileSystemGetsWholeCopies) {
  struct stat shm, here;
  if (::stat("/dev/shm", &shm) != 0 || ::stat(dir.path().c_str(), &here) != 0 ||
      shm.st_dev == here.st_dev)
    GTEST_SKIP() << "no second file system";
  const fs::path trashHome = "/dev/shm/shell-test-" + std::to_string(::getpid());
  testsupport::ScopedEnv other{"XDG_DATA_HOME", trashHome.string()};
  const std::string payload(300000, 'p');
  for (bool keep : {true, false}) {
    const std::string path = dir / (keep ? "kept.bin" : "moved.bin");
    testsupport::WriteTextFile(path, payload);
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(keep ? shell.CopyToTrash(path) : shell.DeleteFile(path, true), 0);
    EXPECT_EQ(fs::exists(path), keep);
    const fs::path copy = trashHome / "Trash/files" / fs::path(path).filename();
    EXPECT_EQ(testsupport::ReadTextFile(copy), payload);
    EXPECT_EQ(fs::status(copy).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(trashHome / "Trash/files"), {}), 2);
  fs::remove_all(trashHome);
}

TEST_F(ShellTest, FinalDeleteUnlinks) {
  testsupport::WriteTextFile(dir / "gone.txt", "g");
  EXPECT_EQ(shell.DeleteFile(dir / "gone.txt", false), 0);
  EXPECT_FALSE(fs::exists(dir / "gone.txt"));
  EXPECT_FALSE(fs::exists(Trash("files")));
  EXPECT_NE(shell.DeleteFile(dir / "gone.txt", false), 0);
}

TEST_F(ShellTest, ExecuteStartsANativeProgramDetachedInItsDirectory) {
  std::string script = dir / "run.sh";
  testsupport::WriteTextFile(script, "#!/bin/sh\npwd > out.txt\necho \"$1\" >> out.txt\n");
  fs::permissions(script, fs::perms::owner_all);
  fs::create_directories(dir / "cwd");
  EXPECT_GT(shell.Execute("open", script, "hello", dir / "cwd"), 32);
  std::string out;
  for (int i = 0; i < 200 && out.find('\n', out.find('\n') + 1) == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    out = testsupport::ReadTextFile(dir / "cwd/out.txt");
  }
  EXPECT_EQ(out, fs::canonical(dir / "cwd").string() + "\nhello\n");
  EXPECT_LE(shell.Execute("print", script, "", ""), 32);
}

}  // namespace
