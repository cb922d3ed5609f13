// Windows paths: separators, drive letters through the Wine prefix,
// drive roots, expansion and extensions.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "tests/support/TempDir.h"

namespace {

using namespace platform;

TEST(PathsTest, WinePrefixComesFromTheEnvironmentOrHome) {
  {
    testsupport::ScopedEnv wine("WINEPREFIX", "/opt/prefix");
    EXPECT_EQ(WinePrefix(), "/opt/prefix");
  }
  testsupport::ScopedEnv wine("WINEPREFIX", std::nullopt);
  testsupport::ScopedEnv home("HOME", "/home/someone");
  EXPECT_EQ(WinePrefix(), "/home/someone/.wine");
}

TEST(PathsTest, WhatADriveLetterIs) {
  EXPECT_TRUE(HasDriveLetter("z:"));
  EXPECT_FALSE(HasDriveLetter("1:\\x"));
  EXPECT_FALSE(HasDriveLetter("C"));
  EXPECT_FALSE(HasDriveLetter("/c:/x"));
}

TEST(PathsTest, ADriveLetterPathReachesTheFileThroughTheDosdevicesLink) {
  testsupport::TempDir dir;
  testsupport::ScopedEnv wine("WINEPREFIX", dir / "prefix");
  std::filesystem::create_directories(dir / "drive_c/Folder");
  std::filesystem::create_directories(dir / "prefix/dosdevices");
  std::filesystem::create_directory_symlink(dir / "drive_c", dir / "prefix/dosdevices/c:");
  testsupport::WriteTextFile(dir / "drive_c/Folder/f.txt", "hello");

  FileSystem& files = PosixFileSystem();
  auto info = files.Stat("C:\\Folder\\f.txt");
  ASSERT_TRUE(info);
  EXPECT_EQ(info->size, 5u);
  EXPECT_TRUE(files.GetAttributes("c:/Folder/../Folder/f.txt"));
  FileHandle h =
      files.Open("C:\\Folder\\new.txt", Access::Write, Share::None, Disposition::CreateNew);
  ASSERT_NE(h, kInvalidHandle);
  files.Close(h);
  EXPECT_TRUE(std::filesystem::exists(dir / "drive_c/Folder/new.txt"));
}

// Drive letters map into dosdevices with either separator; ".." stops at the
// drive root, and host paths keep theirs.
TEST(PathsTest, DrivePathsMapIntoDosdevices) {
  testsupport::ScopedEnv wine("WINEPREFIX", "/p");
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\Program Files\\App\\a.exe", "/p/dosdevices/c:/Program Files/App/a.exe"},
      {"c:/Program Files/App", "/p/dosdevices/c:/Program Files/App"},
      {"D:\\", "/p/dosdevices/d:/"},
      {"D:", "/p/dosdevices/d:"},
      {"C:x\\y", "/p/dosdevices/c:/x/y"},
      {"dir\\sub/x.txt", "dir/sub/x.txt"},
      {"/abs\\path", "/abs/path"},
      {"C:\\..\\..\\outside", "/p/dosdevices/c:/outside"},
      {"C:\\Program Files\\..\\..\\..\\x\\.\\y", "/p/dosdevices/c:/x/y"},
      {"d:/a/b/../../../..", "/p/dosdevices/d:"},
      {"C:..\\x", "/p/dosdevices/c:/x"},
      {"C:\\a\\..\\", "/p/dosdevices/c:/"},
      {"C:\\a\\\\b\\", "/p/dosdevices/c:/a/b/"},
      {"../host/x", "../host/x"},  // not a drive path: untouched
  };
  for (const auto& [path, native] : cases) EXPECT_EQ(ToNativePath(path), native) << path;
}

TEST(PathsTest, DrivePathComponentsFindEntriesIgnoringCase) {
  testsupport::TempDir dir;
  testsupport::ScopedEnv wine("WINEPREFIX", dir.path());
  std::string c = dir / "dosdevices/c:";
  std::filesystem::create_directories(c + "/Program Files/App/bin");
  std::filesystem::create_directories(c + "/Both/data");
  std::filesystem::create_directories(c + "/Both/DATA");
  std::filesystem::create_directories(c + "/Both/Only");
  testsupport::WriteTextFile(c + "/Program Files/App/bin/Stra\xc3\x9f"
                                 "e.exe",
                             "x");
  const std::pair<const char*, std::string> cases[] = {
      {"C:\\PROGRAM FILES\\app\\Bin\\App.exe",
       c + "/Program Files/App/bin/App.exe"},  // new name kept as given
      {"c:\\program files\\APP\\BIN\\STRA\xc3\x9f"
       "E.EXE",
       c + "/Program Files/App/bin/Stra\xc3\x9f"
           "e.exe"},
      {"C:\\both\\DATA\\x", c + "/Both/DATA/x"},      // an exact match first
      {"C:\\both\\Data\\x", c + "/Both/DATA/x"},      // else the first in byte order
      {"C:\\BOTH\\new\\ONLY", c + "/Both/new/ONLY"},  // below a missing one, names stay as given
      {"C:\\Program Files\\..\\PROGRAM FILES\\app\\", c + "/Program Files/App/"},
  };
  for (const auto& [path, native] : cases) EXPECT_EQ(ToNativePath(path), native) << path;
}

TEST(PathsTest, RegistryPathsWithoutDriveLetterLieOnDriveC) {
  const std::pair<const char*, const char*> cases[] = {
      {"\\Program Files\\App", "C:\\Program Files\\App"},
      {"/Program Files/App", "C:/Program Files/App"},
      {"Program Files\\App", "C:\\Program Files\\App"},
      {"D:\\App", "D:\\App"},
      {"", ""},
  };
  for (const auto& [path, onC] : cases) EXPECT_EQ(OnSystemDrive(path), onC) << path;
}

TEST(PathsTest, SeparatorsAndJoining) {
  EXPECT_TRUE(IsPathSeparator('\\'));
  EXPECT_TRUE(IsPathSeparator('/'));
  EXPECT_FALSE(IsPathSeparator(':'));
  EXPECT_EQ(LastSeparator("a\\b/c"), 3u);
  EXPECT_EQ(LastSeparator("C:name"), 1u);
  EXPECT_EQ(LastSeparator("C:name", false), std::string::npos);
  EXPECT_EQ(JoinPath("a", "b"), "a/b");
  EXPECT_EQ(JoinPath("a\\", "b"), "a\\b");
  EXPECT_EQ(JoinPath("", "b"), "b");
}

// The splitters, extension changes, drive roots and the expansion of paths that
// do not depend on the current directory.
TEST(PathsTest, PathFunctionsOnFixedPaths) {
  using Function = std::string (*)(const std::string&);
  const auto toZip = [](const std::string& p) { return ChangeFileExt(p, ".zip"); };
  const auto noExt = [](const std::string& p) { return ChangeFileExt(p, ""); };
  const struct {
    const char* function;
    Function call;
    const char* path;
    const char* expected;
  } cases[] = {
      {"ExtractFilePath", ExtractFilePath, "C:\\dir\\file.txt", "C:\\dir\\"},
      {"ExtractFilePath", ExtractFilePath, "dir/file.txt", "dir/"},
      {"ExtractFilePath", ExtractFilePath, "file.txt", ""},
      {"ExtractFilePath", ExtractFilePath, "C:file.txt", "C:"},
      {"ExtractFileName", ExtractFileName, "C:\\dir\\file.txt", "file.txt"},
      {"ExtractFileName", ExtractFileName, "C:file.txt", "file.txt"},
      {"ExtractFileName", ExtractFileName, "dir/", ""},
      {"ExtractFileExt", ExtractFileExt, "C:\\d.ir\\file.tar.gz", ".gz"},
      {"ExtractFileExt", ExtractFileExt, "C:\\d.ir\\file", ""},
      {"ChangeFileExt .zip", toZip, "C:\\dir\\archive.tar.gz", "C:\\dir\\archive.tar.zip"},
      {"ChangeFileExt .zip", toZip, "C:\\d.ir\\setup", "C:\\d.ir\\setup.zip"},
      {"ChangeFileExt .zip", toZip, "/tmp/zbt1A2B.tmp", "/tmp/zbt1A2B.zip"},
      {"ChangeFileExt none", noExt, "name.txt", "name"},
      {"ExtractDriveRoot", ExtractDriveRoot, "C:\\Program Files\\x", "C:\\"},
      {"ExtractDriveRoot", ExtractDriveRoot, "d:/x", "d:\\"},
      {"ExtractDriveRoot", ExtractDriveRoot, "E:", "E:\\"},
      {"ExtractDriveRoot", ExtractDriveRoot, "/home/user/a.zip", "\\"},
      {"ExtractDriveRoot", ExtractDriveRoot, "relative\\a.zip", "\\"},
      {"ExpandFileName", ExpandFileName, "C:\\a\\.\\b\\..\\c", "C:\\a\\c"},
      {"ExpandFileName", ExpandFileName, "C:/a/b/../../..", "C:\\"},
      {"ExpandFileName", ExpandFileName, "C:\\..\\x", "C:\\x"},
      {"ExpandFileName", ExpandFileName, "C:", "C:\\"},
      {"ExpandFileName", ExpandFileName, "C:\\a\\b\\", "C:\\a\\b\\"},
      {"ExpandFileName", ExpandFileName, "/x/./y/../z", "/x/z"},
      {"ExpandFileName", ExpandFileName, "/x\\y", "/x/y"},
      {"ExpandFileName", ExpandFileName, "/", "/"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.call(c.path), c.expected) << c.function << "(" << c.path << ")";
}

TEST(PathsTest, ExpandFileNameResolvesRelativePathsAgainstTheCurrentDirectory) {
  testsupport::TempDir dir;
  std::string cwd = PosixFileSystem().GetCurrentDirectory();
  ASSERT_TRUE(PosixFileSystem().SetCurrentDirectory(dir.path()));
  std::string here = PosixFileSystem().GetCurrentDirectory();
  EXPECT_EQ(ExpandFileName("a/./b/../c.txt"), here + "/a/c.txt");
  EXPECT_EQ(ExpandFileName("a\\b\\"), here + "/a/b/");
  EXPECT_EQ(ExpandFileName("."), here);
  EXPECT_EQ(ExpandFileName(""), here);
  EXPECT_EQ(ExpandFileName(".."),
            ExtractFilePath(here).substr(0, ExtractFilePath(here).size() - 1));
  PosixFileSystem().SetCurrentDirectory(cwd);
}

}  // namespace
