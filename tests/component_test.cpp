// The component object: defaults, setter rules, the wait cursor and code pages.
#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "tests/support/ArchiveBytes.h"
#include "tests/support/TempDir.h"
#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"

namespace {

struct ComponentTest : ::testing::Test {
  ui::ScriptedUi ui;
  TZipBuilder zip{nullptr, &ui};
};

TEST_F(ComponentTest, NewComponentHasTheDocumentedDefaults) {
  EXPECT_EQ(zip.AddCompLevel, 9);
  EXPECT_EQ(zip.SFXOptions, SFXOpts{SFXCheckSize});
  EXPECT_EQ(zip.SFXCaption, "Self-extracting Archive");
  EXPECT_EQ(zip.MinFreeVolumeSize(), 65536);
  EXPECT_TRUE(zip.ConfirmErase);
  EXPECT_EQ(zip.HowToDelete, htdAllowUndo);
  EXPECT_EQ(zip.PasswordReqCount(), 1u);
  EXPECT_EQ(zip.VersionInfo(), "1.60 ");
  EXPECT_EQ(zip.Count(), 0);
  EXPECT_EQ(zip.CodePage, cpAUTO);
  EXPECT_FALSE(zip.Unattended);
  for (int v = assGIF; v <= assEXE; ++v)
    EXPECT_EQ(zip.AddStoreSuffixes.Contains(static_cast<AddStoreSuffix>(v)), v != assEXE) << v;
}

TEST_F(ComponentTest, SettersClampOrIgnoreOutOfRangeValues) {
  zip.SetPasswordReqCount(20);
  EXPECT_EQ(zip.PasswordReqCount(), 15u);
  zip.SetPasswordReqCount(0);
  EXPECT_EQ(zip.PasswordReqCount(), 0u);

  zip.SetMaxVolumeSize(1000);
  zip.SetMaxVolumeSize(-1);
  EXPECT_EQ(zip.MaxVolumeSize(), 1000);
  zip.SetFreeOnDisk1(77);
  zip.SetFreeOnDisk1(-5);
  EXPECT_EQ(zip.KeepFreeOnDisk1(), 77);
  zip.SetMinFreeVolSize(0);
  EXPECT_EQ(zip.MinFreeVolumeSize(), 65536);
  zip.SetMinFreeVolSize(-3);
  EXPECT_EQ(zip.MinFreeVolumeSize(), 65536);

  zip.SetVersionInfo("2.00");
  EXPECT_EQ(zip.VersionInfo(), "1.60 ");
}

TEST_F(ComponentTest, DirectorySettersNormaliseTheTrailingBackslash) {
  struct Case {
    const char* input;
    const char* dll;
    const char* root;
  } cases[] = {
      {"C:\\dlls\\", "C:\\dlls", "C:\\dlls\\"},
      {"C:\\dlls\\\\", "C:\\dlls\\", "C:\\dlls\\\\"},
      {"C:\\dlls", "C:\\dlls", "C:\\dlls\\"},
  };
  for (const auto& c : cases) {
    TZipBuilder z(nullptr, &ui);
    z.SetDLLDirectory(c.input);
    z.SetRootDir(c.input);
    EXPECT_EQ(z.DLLDirectory(), c.dll) << c.input;
    EXPECT_EQ(z.RootDir(), c.root) << c.input;
  }
  zip.SetRootDir("");
  EXPECT_EQ(zip.RootDir(), "");
}

TEST_F(ComponentTest, NestedWaitCursorRestoresTheOriginalOnceAtTheOutermostStop) {
  ui.cursor = 5;
  zip.StartWaitCursor();
  zip.StartWaitCursor();
  EXPECT_EQ(ui.cursor, ui::kCursorHourglass);
  zip.StopWaitCursor();
  EXPECT_EQ(ui.cursor, ui::kCursorHourglass);
  zip.StopWaitCursor();
  EXPECT_EQ(ui.cursor, 5);
  EXPECT_EQ(ui.cursorHistory, (std::vector<int>{ui::kCursorHourglass, 5}));
  zip.StopWaitCursor();  // below zero: nothing restored
  EXPECT_EQ(ui.cursorHistory.size(), 2u);
}

TEST_F(ComponentTest, ConvertOem2IsoFollowsHostVersionAndFlag) {
  const std::string oem = "caf\x82";  // CP850 0x82 is e-acute
  struct Case {
    CPOpts codePage;
    uint8_t host, version;
    uint16_t flags;
    bool converts;
  } cases[] = {
      {cpAUTO, 0, 20, 0, true},   {cpAUTO, 6, 20, 0, true},      {cpAUTO, 11, 50, 0, true},
      {cpAUTO, 11, 20, 0, false}, {cpAUTO, 3, 30, 0, false},     {cpNone, 0, 20, 0, false},
      {cpOEM, 3, 30, 0, true},    {cpAUTO, 0, 20, 0x0800, false}, {cpOEM, 0, 20, 0x0800, false},
  };
  for (const auto& c : cases) {
    zip.CodePage = c.codePage;
    zip.HostSystem = c.host;
    zip.HostVersion = c.version;
    zip.HostFlags = c.flags;
    std::string text = oem;
    zip.ConvertOem2Iso(text, cpdOEM2ISO);
    EXPECT_EQ(text, c.converts ? std::string("caf\xC3\xA9") : oem)
        << int(c.codePage) << " host " << int(c.host) << " version " << int(c.version);
    if (c.converts) {
      zip.ConvertOem2Iso(text, cpdISO2OEM);
      EXPECT_EQ(text, oem);
    }
  }
}

TEST_F(ComponentTest, CountIsZeroWithoutAnArchiveName) {
  zip.SetFileName("");
  EXPECT_EQ(zip.Count(), 0);
}

TEST_F(ComponentTest, CountIsZeroAfterTheNameIsClearedWhileRecordsRemain) {
  testsupport::TempDir dir;
  testsupport::WriteTextFile(dir / "two.zip",
                             testsupport::BuildArchive({{"a.txt", "alpha"}, {"b.txt", "beta"}}).bytes);
  zip.Unattended = true;
  zip.SetFileName(dir / "two.zip");
  ASSERT_EQ(zip.Count(), 2) << zip.Message();
  zip.Designing = true;  // the name changes without a new listing: the records stay
  zip.SetFileName("");
  EXPECT_EQ(zip.ZipDirEntryRecords().size(), 2u);
  EXPECT_EQ(zip.Count(), 0);
}

TEST_F(ComponentTest, ConvertOem2IsoStopsAtTheTerminatingZero) {
  zip.CodePage = cpOEM;
  std::string text("\x82\0\x82", 3);
  zip.ConvertOem2Iso(text, cpdOEM2ISO);
  EXPECT_EQ(text, std::string("\xC3\xA9\0\x82", 4));
}

TEST_F(ComponentTest, FileExistsAndDirExistsTellFilesFromDirectories) {
  testsupport::TempDir dir;
  testsupport::WriteTextFile(dir / "f.txt", "f");
  EXPECT_TRUE(zip.FileExists(dir / "f.txt"));
  EXPECT_FALSE(zip.FileExists(dir.path()));
  EXPECT_FALSE(zip.FileExists(dir / "missing"));
  EXPECT_FALSE(zip.FileExists(""));
  platform::FileSystem& files = *platform::DefaultEnv().files;
  EXPECT_TRUE(DirExists(dir.path(), files));
  EXPECT_FALSE(DirExists(dir / "f.txt", files));
  EXPECT_FALSE(DirExists(dir / "missing", files));
  EXPECT_FALSE(DirExists("", files));
}

TEST_F(ComponentTest, AnEnvironmentWithAMissingMemberIsRefusedAtConstruction) {
  platform::Env env = platform::DefaultEnv();
  env.drives = nullptr;
  EXPECT_THROW(TZipBuilder refused(&env, &ui), std::invalid_argument);
  env = platform::DefaultEnv();
  EXPECT_NO_THROW(TZipBuilder accepted(&env, &ui));
}

}  // namespace
