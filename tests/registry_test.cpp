// The registry read from the registry files of a Wine prefix, and the in-memory fake.
#include "platform/Registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>

#include "platform/Env.h"
#include "tests/support/FakeRegistry.h"
#include "tests/support/TempDir.h"

namespace {

using platform::HKEY_CLASSES_ROOT;
using platform::HKEY_CURRENT_CONFIG;
using platform::HKEY_CURRENT_USER;
using platform::HKEY_LOCAL_MACHINE;
using platform::HKEY_PERFORMANCE_DATA;
using platform::HKEY_USERS;
using platform::RegValue;

const char* kSystemReg = R"(WINE REGISTRY Version 2
;; All keys relative to \\Machine

#arch=win32

[Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Bravik.exe] 1700000000
#time=1da0a1b2c3d4e5f
@="C:\\Program Files\\Bravik\\Bravik.exe"
"Path"="C:\\Program Files\\Bravik"
"Expand"=str(2):"%ProgramFiles%\\Bravik"
"Count"=dword:00000010
"Blob"=hex:01,02,03,\
  04,05
"Multi"=str(7):"one\0two\0"
"Escapes"="quote \" backslash \\ tab\t cr\r lf\n e-acute \xe9 euro \x20ac end"
"HexString"=hex(1):41,00,42,00,00,00
"HexExpand"=hex(2):25,00,54,00,25,00,00,00
"HexNone"=hex(0):
"EmbeddedNul"="before\0after"
"@"="a value named at"

[Software\\Wine\\Drives] 1700000000
"a:"="floppy"
"d:"="cdrom"

[Software\\Classes\\.zip] 1700000000
@="ZipFolder"

[System\\ControlSet001\\Hardware Profiles\\Current\\Software\\Fonts] 1700000000
"LogPixels"=dword:00000060
"FontName"="Tahoma"

[System\\CurrentControlSet] 1700000000
#time=1da0a1b2c3d4e5f
#link
"SymbolicLinkValue"=hex(6):5c,00,52,00,65,00,67,00,69,00,73,00,74,00,72,00,79,00,\
  5c,00,4d,00,61,00,63,00,68,00,69,00,6e,00,65,00,5c,00,53,00,79,00,73,00,74,\
  00,65,00,6d,00,5c,00,43,00,6f,00,6e,00,74,00,72,00,6f,00,6c,00,53,00,65,00,\
  74,00,30,00,30,00,31,00

[Software\\Brackets\\a\[1\]] 1700000000
"x"="y"
)";

const char* kUserReg = R"(WINE REGISTRY Version 2
;; All keys relative to \\User\\S-1-5-21-0-0-0-1000

[Software\\Bravik\\Settings] 1700000000
"InstallDir"="C:\\Users\\me\\Bravik"
"Stra\x00dfe"="street"
)";

const char* kUserdefReg = R"(WINE REGISTRY Version 2
;; All keys relative to \\User\\.Default

[Control Panel\\Desktop] 1700000000
"Wallpaper"="none"
)";

struct RegistryFileTest : ::testing::Test {
  testsupport::TempDir prefix;
  testsupport::ScopedEnv wine{"WINEPREFIX", prefix.path()};
  platform::Registry& reg = platform::PosixRegistry();

  void SetUp() override {
    testsupport::WriteTextFile(prefix / "system.reg", kSystemReg);
    testsupport::WriteTextFile(prefix / "user.reg", kUserReg);
    testsupport::WriteTextFile(prefix / "userdef.reg", kUserdefReg);
  }

  static constexpr const char* kApp =
      "\\Software\\Microsoft\\Windows\\Currentversion\\App Paths\\Bravik.exe";
};

TEST_F(RegistryFileTest, TheDefaultEnvCarriesThePosixRegistry) {
  EXPECT_EQ(platform::DefaultEnv().registry, &platform::PosixRegistry());
}

TEST_F(RegistryFileTest, ReadsAStringValueOfHklmThroughAnAppPathsKey) {
  ASSERT_TRUE(reg.KeyExists(HKEY_LOCAL_MACHINE, kApp));
  EXPECT_EQ(reg.ReadString(HKEY_LOCAL_MACHINE, kApp, "Path"),
            (RegValue{true, "C:\\Program Files\\Bravik"}));
}

TEST_F(RegistryFileTest, KeysAndValueNamesCompareCaseInsensitively) {
  const char* shouted = "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\APP PATHS\\BRAVIK.EXE";
  EXPECT_TRUE(reg.KeyExists(HKEY_LOCAL_MACHINE, shouted));
  EXPECT_EQ(reg.ReadString(HKEY_LOCAL_MACHINE, shouted, "pATH"),
            (RegValue{true, "C:\\Program Files\\Bravik"}));
  // Beyond ASCII too: "Straße" (written with the escape \x00df) is found as "STRAßE".
  EXPECT_EQ(reg.ReadString(HKEY_CURRENT_USER, "Software\\Bravik\\Settings",
                           "STRA\xc3\x9f"
                           "E")
                ->text,
            "street");
}

TEST_F(RegistryFileTest, KeysWorkWithAndWithoutLeadingOrTrailingBackslash) {
  EXPECT_TRUE(reg.KeyExists(HKEY_LOCAL_MACHINE, "Software\\Wine\\Drives"));
  EXPECT_TRUE(reg.KeyExists(HKEY_LOCAL_MACHINE, "\\Software\\Wine\\Drives"));
  EXPECT_TRUE(reg.KeyExists(HKEY_LOCAL_MACHINE, "Software\\Wine\\Drives\\"));
  EXPECT_EQ(reg.ReadString(HKEY_LOCAL_MACHINE, "\\Software\\Wine\\Drives", "d:")->text, "cdrom");
}

TEST_F(RegistryFileTest, KeysThatOnlyHaveSubkeysExist) {
  // Wine does not write a section for a key with subkeys but no values.
  EXPECT_TRUE(reg.KeyExists(HKEY_LOCAL_MACHINE, "Software"));
  EXPECT_TRUE(reg.KeyExists(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows"));
  EXPECT_TRUE(reg.KeyExists(HKEY_LOCAL_MACHINE, ""));
  EXPECT_FALSE(reg.ReadString(HKEY_LOCAL_MACHINE, "Software", "Path"));
}

TEST_F(RegistryFileTest, ExpandableStringsAreStringsTakenAsStored) {
  EXPECT_EQ(reg.ReadString(HKEY_LOCAL_MACHINE, kApp, "Expand"),
            (RegValue{true, "%ProgramFiles%\\Bravik"}));
}

TEST_F(RegistryFileTest, EveryOtherTypeIsAnotherType) {
  for (const char* name : {"Count", "Blob", "Multi", "HexNone"}) {
    auto value = reg.ReadString(HKEY_LOCAL_MACHINE, kApp, name);
    ASSERT_TRUE(value) << name;
    EXPECT_FALSE(value->isString) << name;
    EXPECT_EQ(value->text, "") << name;
  }
  // A value after a hex value with continuation lines is still read.
  EXPECT_TRUE(reg.ReadString(HKEY_LOCAL_MACHINE, kApp, "Multi"));
}

TEST_F(RegistryFileTest, StringsWrittenAsHexAreStillStrings) {
  // Wine writes REG_SZ and REG_EXPAND_SZ data it cannot write as text as hex(1) and hex(2).
  EXPECT_EQ(reg.ReadString(HKEY_LOCAL_MACHINE, kApp, "HexString"), (RegValue{true, "AB"}));
  EXPECT_EQ(reg.ReadString(HKEY_LOCAL_MACHINE, kApp, "HexExpand"), (RegValue{true, "%T%"}));
}

TEST_F(RegistryFileTest, EscapesAreDecodedToUtf8) {
  EXPECT_EQ(reg.ReadString(HKEY_LOCAL_MACHINE, kApp, "Escapes")->text,
            "quote \" backslash \\ tab\t cr\r lf\n e-acute \xc3\xa9 euro \xe2\x82\xac end");
  // A string is cut at its first NUL, as RegQueryValueExA's reader does.
  EXPECT_EQ(reg.ReadString(HKEY_LOCAL_MACHINE, kApp, "EmbeddedNul")->text, "before");
  // Escaped brackets in a key name.
  EXPECT_TRUE(reg.KeyExists(HKEY_LOCAL_MACHINE, "Software\\Brackets\\a[1]"));
}

TEST_F(RegistryFileTest, TheDefaultValueIsTheEmptyName) {
  EXPECT_EQ(reg.ReadString(HKEY_LOCAL_MACHINE, kApp, "")->text,
            "C:\\Program Files\\Bravik\\Bravik.exe");
  EXPECT_EQ(reg.ReadString(HKEY_LOCAL_MACHINE, kApp, "@")->text, "a value named at");
  EXPECT_FALSE(reg.ReadString(HKEY_LOCAL_MACHINE, "Software\\Wine\\Drives", ""));
}

TEST_F(RegistryFileTest, MissingKeysAndValuesAreReportedAsMissing) {
  EXPECT_FALSE(reg.KeyExists(HKEY_LOCAL_MACHINE, "Software\\Nobody"));
  EXPECT_FALSE(reg.KeyExists(HKEY_LOCAL_MACHINE, "Software\\Wine\\Drives\\x"));
  EXPECT_FALSE(reg.ReadString(HKEY_LOCAL_MACHINE, "Software\\Nobody", "Path"));
  EXPECT_FALSE(reg.ReadString(HKEY_LOCAL_MACHINE, kApp, "Nothing"));
  // A key of the user's file is not one of the machine's.
  EXPECT_FALSE(reg.KeyExists(HKEY_LOCAL_MACHINE, "Software\\Bravik\\Settings"));
  EXPECT_FALSE(reg.KeyExists(HKEY_PERFORMANCE_DATA, ""));
}

TEST_F(RegistryFileTest, CurrentUserIsUserReg) {
  EXPECT_EQ(reg.ReadString(HKEY_CURRENT_USER, "Software\\Bravik\\Settings", "InstallDir")->text,
            "C:\\Users\\me\\Bravik");
  EXPECT_FALSE(reg.KeyExists(HKEY_CURRENT_USER, "Software\\Wine\\Drives"));
}

TEST_F(RegistryFileTest, UsersHoldsTheDefaultUserAndTheCurrentUsersSid) {
  EXPECT_TRUE(reg.KeyExists(HKEY_USERS, ""));
  EXPECT_EQ(reg.ReadString(HKEY_USERS, ".DEFAULT\\Control Panel\\Desktop", "Wallpaper")->text,
            "none");
  EXPECT_EQ(
      reg.ReadString(HKEY_USERS, "S-1-5-21-0-0-0-1000\\Software\\Bravik\\Settings", "InstallDir")
          ->text,
      "C:\\Users\\me\\Bravik");
  EXPECT_FALSE(reg.KeyExists(HKEY_USERS, "S-1-5-21-9-9-9-1001"));
}

TEST_F(RegistryFileTest, ClassesRootIsTheMachinesSoftwareClasses) {
  EXPECT_EQ(reg.ReadString(HKEY_CLASSES_ROOT, ".zip", "")->text, "ZipFolder");
}

TEST_F(RegistryFileTest, CurrentConfigGoesThroughTheCurrentControlSetLink) {
  EXPECT_TRUE(reg.KeyExists(HKEY_CURRENT_CONFIG, ""));
  EXPECT_EQ(reg.ReadString(HKEY_CURRENT_CONFIG, "Software\\Fonts", "FontName")->text, "Tahoma");
  EXPECT_FALSE(reg.ReadString(HKEY_CURRENT_CONFIG, "Software\\Fonts", "LogPixels")->isString);
  EXPECT_TRUE(reg.KeyExists(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Hardware Profiles"));
}

TEST_F(RegistryFileTest, AMissingPrefixHasNoKeys) {
  testsupport::TempDir empty;
  testsupport::ScopedEnv other("WINEPREFIX", empty.path());
  EXPECT_FALSE(reg.KeyExists(HKEY_LOCAL_MACHINE, ""));
  EXPECT_FALSE(reg.KeyExists(HKEY_LOCAL_MACHINE, "Software"));
  EXPECT_FALSE(reg.ReadString(HKEY_CURRENT_USER, "Software\\Bravik\\Settings", "InstallDir"));
}

TEST_F(RegistryFileTest, AChangedFileIsReadAgain) {
  EXPECT_EQ(reg.ReadString(HKEY_LOCAL_MACHINE, "Software\\Wine\\Drives", "a:")->text, "floppy");
  testsupport::WriteTextFile(
      prefix / "system.reg",
      "WINE REGISTRY Version 2\n[Software\\\\Wine\\\\Drives] 1\n\"a:\"=\"network\"\n");
  // Make sure the modification time differs even on a file system with coarse times.
  std::filesystem::last_write_time(
      prefix / "system.reg", std::filesystem::file_time_type::clock::now() + std::chrono::hours(1));
  EXPECT_EQ(reg.ReadString(HKEY_LOCAL_MACHINE, "Software\\Wine\\Drives", "a:")->text, "network");
  EXPECT_FALSE(reg.KeyExists(HKEY_LOCAL_MACHINE, kApp));
}

TEST_F(RegistryFileTest, TheFilesAreNeverWritten) {
  auto before = std::filesystem::last_write_time(prefix / "system.reg");
  reg.KeyExists(HKEY_LOCAL_MACHINE, kApp);
  reg.ReadString(HKEY_LOCAL_MACHINE, kApp, "Path");
  EXPECT_EQ(std::filesystem::last_write_time(prefix / "system.reg"), before);
  EXPECT_EQ(testsupport::ReadTextFile(prefix / "system.reg"), kSystemReg);
}

TEST_F(RegistryFileTest, KeysNestLikeWindowsAllowsAndNoDeeper) {
  // 20,000 levels in 60 KB: skipped with its value, without stalling the keys after it.
  // 512 levels, the deepest Windows nests, and 513 just beyond it.
  // The key "k\k\...\k" of `levels` levels, written with `separator`.
  auto path = [](size_t levels, const std::string& separator) {
    std::string key = "k";
    for (size_t i = 1; i < levels; ++i) key += separator + "k";
    return key;
  };
  std::string text = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n";
  for (size_t levels : {20000u, 512u, 513u})
    text += "[" + path(levels, "\\\\") + "]\n\"v\"=\"" + std::to_string(levels) + "\"\n";
  text += "[After]\n\"v\"=\"after\"\n";
  testsupport::WriteTextFile(prefix / "system.reg", text);
  auto unescaped = [&](size_t levels) { return path(levels, "\\"); };
  EXPECT_EQ(reg.ReadString(HKEY_LOCAL_MACHINE, unescaped(512), "v"), (RegValue{true, "512"}));
  EXPECT_FALSE(reg.ReadString(HKEY_LOCAL_MACHINE, unescaped(513), "v"));
  EXPECT_FALSE(reg.KeyExists(HKEY_LOCAL_MACHINE, unescaped(20000)));
  EXPECT_EQ(reg.ReadString(HKEY_LOCAL_MACHINE, "After", "v"), (RegValue{true, "after"}));
}

TEST_F(RegistryFileTest, OnlyRegularFilesAreRead) {
  // A FIFO in the place of a file reads as a missing file, at once.
  std::filesystem::remove(prefix / "system.reg");
  ASSERT_EQ(::mkfifo((prefix / "system.reg").c_str(), 0600), 0);
  std::filesystem::remove(prefix / "user.reg");
  std::filesystem::create_directory(prefix / "user.reg");
  EXPECT_FALSE(reg.KeyExists(HKEY_LOCAL_MACHINE, kApp));
  EXPECT_FALSE(reg.KeyExists(HKEY_CURRENT_USER, ""));
  EXPECT_TRUE(reg.KeyExists(HKEY_USERS, ".DEFAULT\\Control Panel\\Desktop"));
}

TEST(FakeRegistryTest, AnswersLikeTheRealOne) {
  platform::FakeRegistry fake;
  fake.SetString(HKEY_LOCAL_MACHINE, "\\Software\\App Paths\\X.exe", "Path", "C:\\X");
  fake.SetOther(HKEY_LOCAL_MACHINE, "Software\\App Paths\\X.exe", "Count");
  fake.AddKey(HKEY_CURRENT_USER, "Software\\Empty");
  EXPECT_TRUE(fake.KeyExists(HKEY_LOCAL_MACHINE, "software\\app paths\\x.EXE"));
  EXPECT_TRUE(fake.KeyExists(HKEY_LOCAL_MACHINE, "Software"));
  EXPECT_TRUE(fake.KeyExists(HKEY_CURRENT_USER, "Software\\Empty\\"));
  EXPECT_FALSE(fake.KeyExists(HKEY_CURRENT_USER, "Software\\App Paths"));
  EXPECT_EQ(fake.ReadString(HKEY_LOCAL_MACHINE, "Software\\App Paths\\X.exe", "PATH"),
            (RegValue{true, "C:\\X"}));
  EXPECT_EQ(fake.ReadString(HKEY_LOCAL_MACHINE, "Software\\App Paths\\X.exe", "count"),
            (RegValue{false, ""}));
  EXPECT_FALSE(fake.ReadString(HKEY_LOCAL_MACHINE, "Software\\App Paths\\X.exe", "Other"));
}

}  // namespace
