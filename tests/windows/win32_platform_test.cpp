// The Win32 platform layer under Wine: files through the wide calls (names
// outside ASCII, paths past the classic limit, open files renamed and
// deleted), temporary files, times and attributes, the registry's two views,
// drives, the Recycle Bin, starting programs, the administrator check,
// loading the engines, and what keeps an installation undoable.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/Drives.h"
#include "platform/DynamicLibrary.h"
#include "platform/Env.h"
#include "platform/FileKeeping.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/Security.h"
#include "platform/Shell.h"
#include "platform/TemporaryFile.h"
#include "platform/win32/WideText.h"
#include "platform/win32/WindowsApi.h"
#include "tests/support/CraftedZip.h"
#include "tests/support/TempDir.h"

namespace {

using namespace platform;
using testsupport::DosDateTime;
using testsupport::ReadTextFile;
using testsupport::TempDir;
using testsupport::WriteTextFile;

Env& env = DefaultEnv();
FileSystem& files = *env.files;

// Writes `text` into a new file `path` through the layer.
bool MakeFile(const std::string& path, const std::string& text) {
  FileHandle h = files.Open(path, Access::Write, Share::None, Disposition::CreateNew);
  if (h == kInvalidHandle) return false;
  const bool ok = files.Write(h, text.data(), text.size()) == static_cast<int64_t>(text.size());
  files.Close(h);
  return ok;
}

std::string ReadThrough(const std::string& path) {
  FileHandle h = files.Open(path, Access::Read, Share::ReadWrite, Disposition::OpenExisting);
  if (h == kInvalidHandle) return "<cannot open>";
  std::string text(static_cast<size_t>(files.Size(h)), '\0');
  text.resize(static_cast<size_t>(std::max<int64_t>(files.Read(h, text.data(), text.size()), 0)));
  files.Close(h);
  return text;
}

// A directory chain below `root` whose paths pass the classic 260-character limit.
std::string DeepDirectory(const std::string& root) {
  std::string path = root;
  for (int i = 0; i < 6; ++i) {
    path += "\\" + std::string(50, static_cast<char>('a' + i));
    EXPECT_TRUE(files.CreateDirectory(path)) << path;
  }
  return path;
}

TEST(Win32Files, NamesOutsideAsciiAndLongPathsGoThroughEveryCall) {
  TempDir dir;
  const std::string deep = DeepDirectory(dir.path());
  ASSERT_GT(deep.size() + 20, 260u);
  struct Case {
    std::string directory, name;
  } cases[] = {{dir.path(), "plain.txt"},
               {dir.path(), "Gr\xc3\xbc\xc3\x9f\x65 \xe2\x82\xac \xce\xb1\xce\xb2.txt"},
               {deep, "past the limit.txt"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = c.directory + "\\" + c.name;
    ASSERT_TRUE(MakeFile(path, "bytes of " + c.name));
    EXPECT_EQ(ReadThrough(path), "bytes of " + c.name);
    auto info = files.Stat(path);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->size, c.name.size() + 9);
    EXPECT_FALSE(info->isDirectory);
    auto listing = files.ListDirectory(c.directory);
    ASSERT_TRUE(listing);
    EXPECT_TRUE(std::any_of(listing->begin(), listing->end(), [&](const DirEntry& e) { return e.name == c.name; }));
    EXPECT_TRUE(files.MoveFile(path, path + ".moved", false));
    EXPECT_TRUE(files.DeleteFile(path + ".moved"));
    EXPECT_FALSE(files.GetAttributes(path + ".moved"));
    EXPECT_EQ(files.LastError(), ENOENT);
  }
}

TEST(Win32Files, DispositionsAndSharingGiveTheirReasons) {
  TempDir dir;
  const std::string existing = dir / "existing.txt", missing = dir / "missing.txt";
  ASSERT_TRUE(MakeFile(existing, "old"));
  struct Case {
    const char* what;
    std::string path;
    Disposition disposition;
    bool opens;
    int reason;
  } cases[] = {{"new over existing", existing, Disposition::CreateNew, false, EEXIST},
               {"existing missing", missing, Disposition::OpenExisting, false, ENOENT},
               {"always over existing", existing, Disposition::OpenAlways, true, 0},
               {"new where free", missing, Disposition::CreateNew, true, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FileHandle h = files.Open(c.path, Access::ReadWrite, Share::ReadWrite, c.disposition);
    EXPECT_EQ(h != kInvalidHandle, c.opens);
    if (h != kInvalidHandle) files.Close(h);
    else EXPECT_EQ(files.LastError(), c.reason);
  }
  // A reader that lets others read only keeps writers out; its file may still
  // be renamed and deleted while it is open.
  FileHandle reader = files.Open(existing, Access::Read, Share::Read, Disposition::OpenExisting);
  ASSERT_NE(reader, kInvalidHandle);
  EXPECT_EQ(files.Open(existing, Access::Write, Share::ReadWrite, Disposition::OpenExisting), kInvalidHandle);
  EXPECT_EQ(files.LastError(), EBUSY);
  EXPECT_TRUE(files.MoveFile(existing, dir / "renamed.txt", false));
  EXPECT_TRUE(files.DeleteFile(dir / "renamed.txt"));
  char buffer[3];
  EXPECT_EQ(files.Read(reader, buffer, 3), 3);
  files.Close(reader);
  EXPECT_FALSE(std::filesystem::exists(dir / "renamed.txt"));
}

TEST(Win32Files, TemporaryFilesReplaceTheirTargetOrLeaveNothing) {
  TempDir dir;
  WriteTextFile(dir / "target.zip", "old archive");
  {
    TemporaryFile published(files, dir.path());
    ASSERT_TRUE(published.IsOpen());
    ASSERT_EQ(files.Write(published.Handle(), "new archive", 11), 11);
    EXPECT_TRUE(published.Publish(dir / "target.zip"));
    TemporaryFile discarded(files, dir.path());
    ASSERT_TRUE(discarded.IsOpen());
    files.Write(discarded.Handle(), "lost", 4);
  }
  EXPECT_EQ(ReadTextFile(dir / "target.zip"), "new archive");
  auto listing = files.ListDirectory(dir.path());
  ASSERT_TRUE(listing);
  ASSERT_EQ(listing->size(), 1u);
  EXPECT_EQ(listing->front().name, "target.zip");
}

std::vector<std::string> Names(const std::string& dir) {
  std::vector<std::string> names;
  for (const DirEntry& e : files.ListDirectory(dir).value_or(std::vector<DirEntry>{})) names.push_back(e.name);
  return names;
}

// A temporary without a name is reached through its path as a second handle
// with a position of its own, whatever sharing the opener asks for; its
// metadata goes through that path too. Made new or taken over, it replaces its
// target when published.
TEST(Win32Files, UnnamedTemporariesAreReachedThroughTheirPathUntilNamed) {
  TempDir dir;
  struct Case {
    const char* what;
    bool adopted;
  } cases[] = {{"made new", false}, {"taken over", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteTextFile(dir / "target.zip", "old archive");
    if (c.adopted) WriteTextFile(dir / "kept.tmp", "");
    TemporaryFile temporary = c.adopted ? TemporaryFile::Adopt(files, dir / "kept.tmp") : TemporaryFile(files, dir.path());
    ASSERT_TRUE(temporary.IsOpen());
    EXPECT_FALSE(temporary.IsNamed());
    FileHandle second = files.Open(temporary.Path(), Access::Write, Share::None, Disposition::OpenExisting);
    ASSERT_NE(second, kInvalidHandle);
    EXPECT_EQ(files.Write(second, "new archive", 11), 11);
    char first[3];
    EXPECT_EQ(files.Read(temporary.Handle(), first, 3), 3) << "the first handle reads from its own position";
    EXPECT_EQ(std::string(first, 3), "new");
    files.Close(second);
    EXPECT_EQ(files.Open(temporary.Path(), Access::Read, Share::Read, Disposition::CreateNew), kInvalidHandle);
    EXPECT_EQ(files.LastError(), EEXIST);
    EXPECT_EQ(files.Stat(temporary.Path())->size, 11u);
    EXPECT_TRUE(files.Identify(temporary.Path()));
    EXPECT_NE(files.Identify(temporary.Path()), files.Identify(dir / "target.zip"));
    ASSERT_TRUE(files.SetPermissions(temporary.Path(), 0444));
    EXPECT_EQ(*files.GetAttributes(temporary.Path()) & kAttrReadOnly, kAttrReadOnly);
    ASSERT_TRUE(temporary.SetPermissions(0644));
    const auto identity = files.Identify(temporary.Path());
    ASSERT_TRUE(temporary.Publish(dir / "target.zip"));
    EXPECT_EQ(ReadTextFile(dir / "target.zip"), "new archive");
    EXPECT_EQ(files.Identify(dir / "target.zip"), identity);
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"target.zip"});
  }
  EXPECT_EQ(files.Open("\\\\?\\handle\\12x", Access::Read, Share::Read, Disposition::OpenExisting), kInvalidHandle);
}

// The helper run by the test below in a process of its own: it makes an
// unnamed temporary in ZB_UNNAMED_DIR, fills it, says so and waits to be killed.
TEST(Win32Helper, DISABLED_HoldsAnUnnamedTemporary) {
  const char* dir = std::getenv("ZB_UNNAMED_DIR");
  ASSERT_NE(dir, nullptr);
  TemporaryFile held(files, dir);
  ASSERT_TRUE(held.IsOpen());
  ASSERT_EQ(files.Write(held.Handle(), "partial", 7), 7);
  SetEvent(OpenEventW(EVENT_MODIFY_STATE, FALSE, L"zb-unnamed-held"));
  Sleep(60000);
}

TEST(Win32Files, AKilledRunLeavesNoUnnamedTemporaryBehind) {
  TempDir dir;
  testsupport::ScopedEnv where("ZB_UNNAMED_DIR", dir.path());
  HANDLE held = CreateEventW(nullptr, TRUE, FALSE, L"zb-unnamed-held");
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(self) +
                         L"\" --gtest_also_run_disabled_tests --gtest_filter=Win32Helper.DISABLED_HoldsAnUnnamedTemporary";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;  // its report is not wanted here
  PROCESS_INFORMATION child{};
  ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child));
  ASSERT_EQ(WaitForSingleObject(held, 30000), WAIT_OBJECT_0);
  EXPECT_EQ(Names(dir.path()).size(), 1u) << "the file is there until the run ends";
  TerminateProcess(child.hProcess, 9);
  WaitForSingleObject(child.hProcess, 30000);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  CloseHandle(held);
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{});
}

TEST(Win32Files, TimesAttributesAndIdentity) {
  TempDir dir;
  const std::string path = dir / "file.txt";
  ASSERT_TRUE(MakeFile(path, "x"));
  for (uint32_t stamp : {DosDateTime(1999, 12, 31, 23, 59, 58), DosDateTime(2024, 2, 29, 12, 0, 0),
                         DosDateTime(2107, 12, 31, 0, 0, 0)}) {
    EXPECT_EQ(UnixToDosDateTime(DosDateTimeToUnix(stamp)), stamp);
    ASSERT_TRUE(files.SetPathDosTime(path, stamp));
    EXPECT_EQ(files.Stat(path)->dosDateTime, stamp);
  }
  EXPECT_EQ(UnixToDosDateTime(0), DosDateTime(1980, 1, 1, 0, 0, 0));  // before 1980: its first day

  struct Case {
    uint32_t set, expected;
  } attributes[] = {{kAttrReadOnly | kAttrHidden, kAttrReadOnly | kAttrHidden},
                    {kAttrArchive | kAttrSystem, kAttrSystem},
                    {0, 0}};
  for (const Case& c : attributes) {
    ASSERT_TRUE(files.SetAttributes(path, c.set));
    // Wine on a Unix file system reports the archive bit on every file.
    EXPECT_EQ(*files.GetAttributes(path) & ~kAttrArchive, c.expected);
  }
  ASSERT_TRUE(files.SetPermissions(path, 0444));
  EXPECT_EQ(*files.GetAttributes(path) & kAttrReadOnly, kAttrReadOnly);
  EXPECT_EQ(files.Stat(path)->mode & 0222, 0u);
  ASSERT_TRUE(files.SetPermissions(path, 0644));
  EXPECT_EQ(*files.GetAttributes(path) & kAttrReadOnly, 0u);

  // Two spellings of one file are one file; another file is another.
  std::string otherSpelling = path;
  for (char& c : otherSpelling)
    if (c == '\\') c = '/';
  otherSpelling.replace(otherSpelling.size() - 8, 8, "FILE.TXT");
  ASSERT_TRUE(MakeFile(dir / "other.txt", "y"));
  EXPECT_EQ(files.Identify(path), files.Identify(otherSpelling));
  EXPECT_NE(files.Identify(path), files.Identify(dir / "other.txt"));
  EXPECT_FALSE(files.Identify(dir / "none"));
}

TEST(Win32Keeping, SecondNamesExactTimesAndDirectories) {
  TempDir dir;
  FileKeeping& keeping = DefaultFileKeeping();
  const std::string path = dir / "kept.txt";
  ASSERT_TRUE(MakeFile(path, "kept"));
  ASSERT_TRUE(keeping.CreateHardLink(path, dir / "second.txt"));
  EXPECT_EQ(ReadThrough(dir / "second.txt"), "kept");
  EXPECT_EQ(files.Identify(path), files.Identify(dir / "second.txt"));
  EXPECT_FALSE(keeping.CreateHardLink(path, dir / "second.txt")) << "the second name exists";
  EXPECT_FALSE(keeping.CreateHardLink(dir / "none", dir / "third.txt"));

  // Times come back to the 100 ns the system keeps, on files and directories.
  for (const std::string& item : {path, dir / "sub"}) {
    if (item != path) {
      ASSERT_TRUE(files.CreateDirectory(item));
    }
    for (ExactTime time : {ExactTime{1700000000, 123456700}, ExactTime{946684799, 0}, ExactTime{86400, 100}}) {
      SCOPED_TRACE(item + " " + std::to_string(time.seconds));
      ASSERT_TRUE(keeping.SetPathTime(item, time));
      EXPECT_EQ(keeping.GetPathTime(item), time);
    }
  }
  EXPECT_FALSE(keeping.GetPathTime(dir / "none"));
  EXPECT_FALSE(keeping.SetPathTime(dir / "none", ExactTime{86400, 0}));

  EXPECT_TRUE(keeping.SyncDirectory(dir.path()));
  EXPECT_FALSE(keeping.SyncDirectory(path)) << "not a directory";
  EXPECT_FALSE(keeping.SyncDirectory(dir / "none"));
}

TEST(Win32Paths, FullPathsKeepTheirDriveAndTrailingSeparator) {
  const std::string cwd = files.GetCurrentDirectory();
  struct Case {
    std::string given, expected;
  } cases[] = {{"C:\\a\\.\\b\\..\\c", "C:\\a\\c"},
               {"C:/a/b/", "C:\\a\\b\\"},
               {"sub\\..\\name.txt", cwd + "\\name.txt"},
               {"D:\\", "D:\\"}};
  for (const Case& c : cases) EXPECT_EQ(ExpandFileName(c.given), c.expected) << c.given;
  EXPECT_EQ(ToNativePath("a/b\\c"), "a\\b\\c");
}

// Writes a value with the system's own calls, in one view of the registry.
void WriteValue(RegistryRoot root, const wchar_t* key, REGSAM view, const wchar_t* name, DWORD type, const void* data,
                DWORD size) {
  HKEY opened;
  ASSERT_EQ(RegCreateKeyExW(RootKey(root), key, 0, nullptr, 0, KEY_WRITE | view, nullptr, &opened, nullptr), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(opened, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
  RegCloseKey(opened);
}

TEST(Win32Registry, ReadsStringsFromEitherView) {
  const wchar_t path[] = L"C:\\Program Files\\App";
  const DWORD number = 7;
  WriteValue(platform::HKEY_CURRENT_USER, L"Software\\ZipBuilderTests", KEY_WOW64_64KEY, L"Path", REG_SZ, path, sizeof path);
  WriteValue(platform::HKEY_CURRENT_USER, L"Software\\ZipBuilderTests", KEY_WOW64_64KEY, L"Count", REG_DWORD, &number,
             sizeof number);
  // Only in the 32-bit view, where a 32-bit program registers itself.
  const wchar_t old[] = L"C:\\Old App";
  WriteValue(platform::HKEY_LOCAL_MACHINE, L"Software\\ZipBuilderTests32", KEY_WOW64_32KEY, L"", REG_SZ, old, sizeof old);

  Registry& registry = *env.registry;
  struct Case {
    RegistryRoot root;
    std::string key, value;
    std::optional<RegValue> expected;
  } cases[] = {
      {platform::HKEY_CURRENT_USER, "Software\\ZipBuilderTests", "Path", RegValue{true, "C:\\Program Files\\App"}},
      {platform::HKEY_CURRENT_USER, "\\software\\zipbuildertests", "PATH", RegValue{true, "C:\\Program Files\\App"}},
      {platform::HKEY_CURRENT_USER, "Software\\ZipBuilderTests", "Count", RegValue{false, ""}},
      {platform::HKEY_CURRENT_USER, "Software\\ZipBuilderTests", "Missing", std::nullopt},
      {platform::HKEY_CURRENT_USER, "Software\\NoSuchKey", "Path", std::nullopt},
      {platform::HKEY_LOCAL_MACHINE, "Software\\ZipBuilderTests32", "", RegValue{true, "C:\\Old App"}},
  };
  for (const Case& c : cases) EXPECT_EQ(registry.ReadString(c.root, c.key, c.value), c.expected) << c.key << c.value;
  EXPECT_TRUE(registry.KeyExists(platform::HKEY_LOCAL_MACHINE, "Software\\ZipBuilderTests32"));
  EXPECT_FALSE(registry.KeyExists(platform::HKEY_CURRENT_USER, "Software\\NoSuchKey"));
}

TEST(Win32Drives, TheSystemDriveIsAFixedFormattedDisk) {
  DriveProvider& drives = *env.drives;
  EXPECT_EQ(drives.GetDriveType("C:\\"), kDriveFixed);
  EXPECT_TRUE(drives.GetLogicalDrives() & (1u << ('C' - 'A')));
  EXPECT_TRUE(drives.GetVolumeInformation("C:\\").ok);
  auto space = drives.GetDiskFreeSpace("C:\\");
  ASSERT_TRUE(space);
  EXPECT_GT(space->totalBytes, 0);
  EXPECT_TRUE(drives.IsDiskInDrive("C:\\"));
  EXPECT_FALSE(drives.CanFormatDrive("C:\\"));
  EXPECT_EQ(drives.FormatDrive("C:\\", "NEVER"), -3);
}

TEST(Win32Shell, ErasesIntoTheRecycleBinOrForGoodAndStartsPrograms) {
  TempDir dir;
  Shell& shell = *env.shell;
  struct Case {
    const char* name;
    bool allowUndo;
  } cases[] = {{"undoable.txt", true}, {"final.txt", false}};
  for (const Case& c : cases) {
    WriteTextFile(dir / c.name, c.name);
    EXPECT_EQ(shell.DeleteFile(dir / c.name, c.allowUndo), 0) << c.name;
    EXPECT_FALSE(std::filesystem::exists(dir / c.name)) << c.name;
  }
  WriteTextFile(dir / "kept.txt", "kept");
  EXPECT_EQ(shell.CopyToTrash(dir / "kept.txt"), 0);
  EXPECT_EQ(ReadTextFile(dir / "kept.txt"), "kept");
  EXPECT_EQ(shell.DeleteFile(dir / "missing.txt", true) == 0, false);
  EXPECT_GT(shell.Execute("open", "cmd.exe", "/c exit 0", dir.path()), 32);
}

TEST(Win32System, AdministratorAndEngineLibraries) {
  // Wine gives every prefix's user the administrators' rights.
  EXPECT_TRUE(env.security->IsAdministrator());
  DynamicLibraries& libraries = *env.libraries;
  struct Case {
    const char* library;
    std::vector<const char*> entries;
  } cases[] = {{"UNZDLL.DLL", {"UnzDllExec", "GetUnzDllVersion", "GetUnzDllPrivVersion"}},
               {"ZIPDLL.DLL", {"ZipDllExec", "GetZipDllVersion", "GetZipDllPrivVersion"}}};
  for (const Case& c : cases) {
    LibraryHandle handle = libraries.Load(c.library);  // found next to the program
    ASSERT_NE(handle, nullptr) << c.library;
    for (const char* entry : c.entries) EXPECT_NE(libraries.GetProcAddress(handle, entry), nullptr) << entry;
    EXPECT_EQ(libraries.GetProcAddress(handle, "NoSuchEntry"), nullptr);
    libraries.Free(handle);
  }
  EXPECT_EQ(libraries.Load("NOSUCHENGINE.DLL"), nullptr);
}

TEST(Win32Text, Utf8AndUtf16AtTheBoundary) {
  for (const std::string text : {"", "ascii", "Gr\xc3\xbc\xc3\x9f\x65", "\xf0\x9f\x93\xa6 box"})
    EXPECT_EQ(win32::Narrow(win32::Widen(text)), text);
  EXPECT_EQ(win32::WidePath("a/b"), L"a\\b");
  EXPECT_EQ(win32::WidePath("C:\\" + std::string(300, 'x')).rfind(L"\\\\?\\C:\\", 0), 0u);
  EXPECT_EQ(win32::ErrnoFromSystemError(ERROR_SHARING_VIOLATION), EBUSY);
  EXPECT_EQ(win32::ErrnoFromSystemError(ERROR_DISK_FULL), ENOSPC);
}

// The system's CP850 conversions and our table (what Linux uses) give the
// same text both ways: every byte, characters CP850 lacks, bytes that are no UTF-8.
TEST(Win32Text, TheOemCodePageAgreesWithOurTable) {
  std::string everyByte;
  for (int b = 1; b <= 0xFF; ++b) everyByte += static_cast<char>(b);
  const std::string oemCases[] = {everyByte, "", "Gr\x81\xe1" "e.txt", "\xb0\xb1\xb2\xdb\xff"};
  for (const std::string& oem : oemCases) EXPECT_EQ(OemToChar(oem), Cp850ToUtf8(oem)) << oem;
  const std::string textCases[] = {Cp850ToUtf8(everyByte), "\xe2\x82\xac 5", "a\xe6\x97\xa5\xe6\x9c\xac" "b",
                                   "\xf0\x9f\x98\x80", "\x81x\xe1", "\xc4\x81 \xce\xb1 \xe2\x80\x9cq\xe2\x80\x9d"};
  for (const std::string& text : textCases) EXPECT_EQ(CharToOem(text), Utf8ToCp850(text)) << text;
}

}  // namespace
