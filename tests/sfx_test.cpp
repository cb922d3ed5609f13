// Self-extractors: the settings header, the stub's icon, conversion both ways,
// the empty self-extractor, detection of archives usable in place.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Env.h"
#include "platform/PeResources.h"
#include "tests/support/CraftedZip.h"
#include "tests/support/SfxFixture.h"
#include "tests/support/TempDir.h"
#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"
#include "zipformat/SfxIcon.h"

namespace {

using namespace testsupport;
namespace fs = std::filesystem;

std::vector<uint8_t> Bytes(const std::string& s) {
  return {s.begin(), s.end()};
}
uint16_t Le16(const std::string& s, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8);
}
uint32_t Le32(const std::string& s, size_t at) {
  return static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8 |
         static_cast<uint8_t>(s[at + 2]) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3])) << 24;
}

const std::vector<CraftedMember> kMembers = {{"a.txt", "alpha"},
                                             {"dir/b.txt", std::string(3000, 'b'), true}};

struct SfxTest : ::testing::Test {
  TempDir dir;
  ui::ScriptedUi ui;
  TZipBuilder zip{nullptr, &ui};
  std::string stub = BuildStub();

  void SetUp() override {
    zip.Unattended = true;
    zip.HowToDelete = htdFinal;
    WriteTextFile(dir / "stub.bin", stub);
    zip.SFXPath = dir / "stub.bin";
  }
  // Writes `bytes` as `name` and names it on the component (which lists it).
  std::string Open(const std::string& name, const std::string& bytes) {
    WriteTextFile(dir / name, bytes);
    zip.SetFileName(dir / name);
    return dir / name;
  }
  std::string Exe() { return ReadTextFile(dir / "a.exe"); }
};

TEST_F(SfxTest, HeaderLayoutAndFlagsFollowTheStringsAndOptions) {
  struct Case {
    std::string caption, defaultDir, commandLine, message;
    SFXOpts options;
    OvrOpts mode;
    size_t headerSize;
    uint8_t flags;
  } cases[] = {
      {"", "", "", "", SFXOpts{SFXCheckSize}, OvrConfirm, 12, 0x00},
      {"abcde", "", "", "", SFXOpts{SFXCheckSize}, OvrConfirm, 20, 0x00},
      {"ab", "c", "", "d", SFXOpts{}, OvrNever, 16, 0x30},
      {std::string(255, 'c'), std::string(255, 'd'), std::string(255, 'k'), std::string(255, 'm'),
       SFXOpts{SFXAskCmdLine, SFXAskFiles, SFXAutoRun, SFXHideOverWriteBox, SFXCheckSize,
               SFXNoSuccessMsg},
       OvrAlways, 1032, 0xCF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.headerSize);
    std::string archive = Open("a.zip", CraftZip(kMembers));
    zip.SFXCaption = c.caption;
    zip.SFXDefaultDir = c.defaultDir;
    zip.SFXCommandLine = c.commandLine;
    zip.SFXMessage = c.message;
    zip.SFXOptions = c.options;
    zip.SFXOverWriteMode = c.mode;
    ASSERT_EQ(zip.ConvertSFX(), 0) << zip.Message();
    std::string exe = Exe();
    std::string header = exe.substr(stub.size(), c.headerSize);
    std::string expected = std::string("MPV") + char(c.flags) + '\0' + '\1' +
                           char(c.headerSize & 0xFF) + char(c.headerSize >> 8);
    for (const std::string* s : {&c.caption, &c.defaultDir, &c.commandLine, &c.message})
      expected += char(s->size()) + *s;
    expected.resize(c.headerSize, '\0');
    EXPECT_EQ(header, expected);
    EXPECT_EQ(exe.substr(0, stub.size()), stub);
    EXPECT_FALSE(fs::exists(archive));
    EXPECT_EQ(zip.ZipFileName(), dir / "a.exe");
    EXPECT_EQ(zip.ArchiveStart(), static_cast<int32_t>(stub.size() + c.headerSize));
    EXPECT_EQ(zip.Count(), 2);
    fs::remove(dir / "a.exe");
  }
}

TEST_F(SfxTest, RefusalsLeaveNothingWritten) {
  Open("a.zip", CraftZip(kMembers));
  zip.SFXCommandLine = std::string(256, 'k');
  EXPECT_EQ(zip.ConvertSFX(), -9);
  EXPECT_EQ(zip.ErrCode(), 10801);
  EXPECT_NE(
      zip.Message().find("exceeds 255 characters!\r\nSFXCaption + SFXDefaultDir + SFXCommandLine + "
                         "SFXMessage = 279"),
      std::string::npos)
      << zip.Message();
  EXPECT_FALSE(fs::exists(dir / "a.exe"));

  zip.SFXCommandLine.clear();
  Open("a.cab", CraftZip(kMembers));
  EXPECT_EQ(zip.ConvertSFX(), -9);
  EXPECT_EQ(zip.ErrCode(), 10803);
  EXPECT_TRUE(fs::exists(dir / "a.cab"));

  zip.SetFileName(dir / "missing.zip");
  EXPECT_EQ(zip.ConvertSFX(), -9);
  EXPECT_EQ(zip.ErrCode(), 10102);
  EXPECT_EQ(fs::directory_iterator(dir.path()) == fs::directory_iterator(), false);
  for (const auto& entry : fs::directory_iterator(dir.path()))
    EXPECT_NE(entry.path().extension(), ".exe") << entry.path();
}

TEST_F(SfxTest, MixedCaseZipExtensionAndStubSearchOrder) {
  Open("Mixed.ZiP", CraftZip(kMembers));
  ASSERT_EQ(zip.ConvertSFX(), 0);
  EXPECT_TRUE(fs::exists(dir / "Mixed.exe"));
  EXPECT_EQ(zip.SFXPath, dir / "stub.bin");
  // A stub path that does not exist is passed over; the search goes on (and here
  // reaches the programs' directory when the real stub was built).
  zip.SFXPath = dir / "none.bin";
  Open("b.zip", CraftZip(kMembers));
  int result = zip.ConvertSFX();
  if (RealStub32().empty()) {
    EXPECT_EQ(result, -9);
    EXPECT_EQ(zip.ErrCode(), 10802);
    EXPECT_EQ(zip.SFXPath, "");
  } else {
    EXPECT_EQ(result, 0);
    EXPECT_EQ(fs::canonical(zip.SFXPath), fs::canonical(RealStub32()));
  }
}

TEST_F(SfxTest, IconReplacementCases) {
  const std::string single = BuildIcon({{}});
  ASSERT_EQ(single.size(), 766u);
  struct Case {
    const char* what;
    StubSpec stub;
    std::string icon;
    int result;
  } cases[] = {
      {"replaced in place", {}, single, 0},
      {"64-bit stub", StubSpec{.wide = true}, single, 0},
      {"two images", {}, BuildIcon({{}, {.fill = 1}}), -12},
      {"256 colours", {}, BuildIcon({{.bitsPerPixel = 8}}), -12},
      {"no .rsrc section", StubSpec{.withResources = false}, single, -10},
      {"image of 766 bytes", StubSpec{.iconSize = 766}, single, -10},
      {"icon group, not image", StubSpec{.iconType = 14}, single, -10},
      {"image 2, not 1", StubSpec{.iconName = 2}, single, -10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string thisStub = BuildStub(c.stub);
    WriteTextFile(dir / "stub.bin", thisStub);
    Open("a.zip", CraftZip(kMembers));
    zip.SetSFXIcon(TIcon{Bytes(c.icon)});
    EXPECT_EQ(zip.ConvertSFX(), c.result);
    EXPECT_EQ(fs::exists(dir / "a.exe"), c.result == 0);
    EXPECT_EQ(fs::exists(dir / "a.zip"), c.result != 0);
    if (c.result != 0) continue;
    std::string exe = Exe();
    const size_t at = 0x200 + 0x58;  // where BuildStub puts the image
    EXPECT_EQ(exe.substr(at, 744), single.substr(22, 744));
    EXPECT_EQ(exe.substr(0, at), thisStub.substr(0, at));
    EXPECT_EQ(exe.substr(at + 744, thisStub.size() - at - 744), thisStub.substr(at + 744));
    fs::remove(dir / "a.exe");
  }
}

TEST_F(SfxTest, HostileStubOffsetsAreRefusedWithinTheBuffer) {
  struct Case {
    const char* what;
    StubSpec stub;
  } cases[] = {
      {"type directory far outside", StubSpec{.typeEntryOffset = 0x80000000u | 0x7FFFFFF0u}},
      {"data entry outside", StubSpec{.typeEntryOffset = 0x00FFFFF0u}},
      {"directory entries beyond the section", StubSpec{.iconType = 5, .rootEntryCount = 0xFFFF}},
      {"directory pointing at itself", StubSpec{.languageLoop = true}},
      {"PE header beyond the file", StubSpec{.peOffset = 0xFFFFFFF0u}},
      {"section table beyond the file", StubSpec{.withResources = false, .sectionCount = 0xFFFF}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = BuildStub(c.stub);
    EXPECT_FALSE(zip::FindSfxIconImage(Bytes(bytes)));
    WriteTextFile(dir / "stub.bin", bytes);
    Open("a.zip", CraftZip(kMembers));
    zip.SetSFXIcon(TIcon{Bytes(BuildIcon({{}}))});
    EXPECT_EQ(zip.ConvertSFX(), -10);
  }
  // Cut short anywhere, the sound stub is refused rather than read past its end.
  std::string sound = BuildStub();
  for (size_t cut :
       {size_t{0}, size_t{63}, size_t{0x80 + 20}, size_t{0x200 + 0x20}, size_t{0x200 + 0x50}})
    EXPECT_FALSE(zip::FindSfxIconImage(Bytes(sound.substr(0, cut)))) << cut;
  EXPECT_EQ(zip::FindSfxIconImage(Bytes(sound)), uint64_t{0x258});
}

TEST_F(SfxTest, StructureWarningArchiveIsAppendedUnshifted) {
  ArchiveLayout layout;
  layout.stub = std::string(500, 'J');
  std::string original = CraftArchive(kMembers, layout).bytes;
  Open("a.zip", original);
  ASSERT_TRUE(zip.StructureWarning());
  zip.SFXCaption.clear();
  ASSERT_EQ(zip.ConvertSFX(), 0) << zip.Message();
  std::string exe = Exe();
  EXPECT_EQ(exe.size(), stub.size() + 12 + original.size());
  EXPECT_EQ(exe.substr(stub.size() + 12), original);
}

TEST_F(SfxTest, EmptySelfExtractorSecondForm) {
  zip.SetFileName(dir / "new.exe");
  zip.SFXCaption = "abc";  // H = 16
  ASSERT_EQ(zip.ConvertSFX(true), 0) << zip.Message();
  std::string exe = ReadTextFile(dir / "new.exe");
  ASSERT_EQ(exe.size(), stub.size() + 16 + 22);
  std::string record = exe.substr(stub.size() + 16);
  EXPECT_EQ(Le32(record, 0), 0x06054B50u);
  EXPECT_EQ(Le32(record, 16), stub.size() + 16);
  EXPECT_EQ(record.substr(4, 12), std::string(12, '\0'));
  EXPECT_EQ(record.substr(20), std::string(2, '\0'));
  EXPECT_EQ(zip.ZipFileName(), dir / "new.exe");
}

TEST_F(SfxTest, AddingToAMissingExeCreatesTheSelfExtractorOrReports10304) {
  zip.SetFileName(dir / "new.exe");
  zip.SFXCaption = std::string(300, 'c');
  zip.SetFSpecArgs({"whatever.txt"});
  zip.Add();
  EXPECT_EQ(zip.ErrCode(), 10304);
  EXPECT_EQ(zip.Message(), "Error -9 occurred during Auto SFX creation.");
  EXPECT_FALSE(fs::exists(dir / "new.exe"));
}

TEST_F(SfxTest, ExistingOutputIsKeptOnFailureAndTrashedOnlyAfterSuccess) {
  ScopedEnv trash("XDG_DATA_HOME", dir / "data");
  zip.HowToDelete = htdAllowUndo;
  WriteTextFile(dir / "a.exe", "old program");
  Open("a.zip", CraftZip(kMembers));
  zip.SetSFXIcon(TIcon{Bytes(BuildIcon({{}, {}}))});
  EXPECT_EQ(zip.ConvertSFX(), -12);
  EXPECT_EQ(Exe(), "old program");
  EXPECT_TRUE(fs::exists(dir / "a.zip"));
  for (const auto& entry : fs::directory_iterator(dir.path()))
    EXPECT_NE(entry.path().extension(), ".tmp") << "temporary left behind";

  zip.SetSFXIcon(TIcon{});
  ASSERT_EQ(zip.ConvertSFX(), 0);
  EXPECT_NE(Exe(), "old program");
  EXPECT_EQ(ReadTextFile(dir / "data/Trash/files/a.exe"), "old program");
  EXPECT_TRUE(fs::exists(dir / "data/Trash/files/a.zip"));
}

// Converts a.zip with the properties set by `configure`, resets them, and converts back.
struct RoundTrip : SfxTest {
  std::string original = CraftZip(kMembers);
  void ToSfx() {
    Open("a.zip", original);
    ASSERT_EQ(zip.ConvertSFX(), 0) << zip.Message();
  }
  void ResetProperties() {
    zip.SFXCaption = zip.SFXDefaultDir = zip.SFXCommandLine = "reset";
    zip.SFXMessage = "kept";
    zip.SFXOptions = SFXOpts{SFXAskFiles, SFXNoSuccessMsg};
    zip.SFXOverWriteMode = OvrAlways;
    zip.SetSFXIcon(TIcon{});
  }
};

TEST_F(RoundTrip, CurrentHeaderRestoresEveryProperty) {
  struct Case {
    SFXOpts options;
    OvrOpts mode;
  } cases[] = {
      {SFXOpts{SFXCheckSize}, OvrConfirm},
      {SFXOpts{}, OvrNever},
      {SFXOpts{SFXAskCmdLine, SFXAskFiles, SFXAutoRun, SFXHideOverWriteBox, SFXCheckSize,
               SFXNoSuccessMsg},
       OvrAlways},
      {SFXOpts{SFXAutoRun, SFXNoSuccessMsg}, OvrConfirm},
  };
  const std::string icon = BuildIcon({{.fill = 0x77}});
  for (const Case& c : cases) {
    zip.SFXCaption = std::string(200, 'C');
    zip.SFXDefaultDir = "C:\\Program Files\\Ü";
    zip.SFXCommandLine = "setup.exe /q";
    zip.SFXMessage = "Install now?";
    zip.SFXOptions = c.options;
    zip.SFXOverWriteMode = c.mode;
    zip.SetSFXIcon(TIcon{Bytes(icon)});
    ToSfx();
    ResetProperties();
    zip.SetFileName(dir / "a.exe");
    ASSERT_EQ(zip.ConvertZIP(), 0) << zip.Message();
    EXPECT_EQ(zip.SFXCaption, std::string(200, 'C'));
    EXPECT_EQ(zip.SFXDefaultDir, "C:\\Program Files\\Ü");
    EXPECT_EQ(zip.SFXCommandLine, "setup.exe /q");
    EXPECT_EQ(zip.SFXMessage, "Install now?");
    EXPECT_EQ(zip.SFXOptions, c.options);
    EXPECT_EQ(zip.SFXOverWriteMode, c.mode);
    EXPECT_TRUE(zip.SFXIcon().Empty());  // the stand-in stub has no icon group: kept as it was
    EXPECT_EQ(ReadTextFile(dir / "a.zip"), original);
    EXPECT_FALSE(fs::exists(dir / "a.exe"));
    EXPECT_EQ(zip.ZipFileName(), dir / "a.zip");
    EXPECT_EQ(zip.ArchiveStart(), 0);
    fs::remove(dir / "a.zip");
  }
}

TEST_F(RoundTrip, OldHeaderFormAndBothOverwriteBits) {
  zip.SFXCaption = "cap";
  zip.SFXDefaultDir = "dir";
  zip.SFXCommandLine = "run.exe";
  zip.SFXMessage = "m";  // H = 12 + 14 = 26 -> 28
  ToSfx();
  // The same room holds an old header: "MPU", flags, three lengths, three strings.
  std::string exe = Exe();
  std::string old =
      std::string("MPU") + char(0x80 | 0x18 | 0x01) + char(3) + char(3) + char(7) + "capdirrun.exe";
  old.resize(28, '\0');
  exe.replace(stub.size(), 28, old);
  WriteTextFile(dir / "a.exe", exe);
  ResetProperties();
  zip.SetFileName(dir / "a.exe");
  ASSERT_EQ(zip.ConvertZIP(), 0) << zip.Message();
  EXPECT_EQ(zip.SFXCaption, "cap");
  EXPECT_EQ(zip.SFXDefaultDir, "dir");
  EXPECT_EQ(zip.SFXCommandLine, "run.exe");
  EXPECT_EQ(zip.SFXMessage, "kept");
  EXPECT_EQ(zip.SFXOverWriteMode, OvrNever);                          // 0x08 and 0x10 together
  EXPECT_EQ(zip.SFXOptions, (SFXOpts{SFXAskCmdLine, SFXCheckSize}));  // 0x80 means nothing here
  EXPECT_EQ(ReadTextFile(dir / "a.zip"), original);
}

TEST_F(RoundTrip, RefusalsOfConvertZip) {
  Open("a.zip", original);
  EXPECT_EQ(zip.ConvertZIP(), -3);
  EXPECT_EQ(zip.ErrCode(), 10902);
  Open("plain.exe", original);
  EXPECT_EQ(zip.ConvertZIP(), -9);
  EXPECT_EQ(zip.ErrCode(), 10903);
  zip.SetFileName(dir / "gone.exe");
  EXPECT_EQ(zip.ConvertZIP(), -3);
  EXPECT_EQ(zip.ErrCode(), 10901);
  EXPECT_FALSE(fs::exists(dir / "plain.zip"));
  EXPECT_FALSE(fs::exists(dir / "gone.zip"));
}

TEST_F(SfxTest, IsZipSfxAnswers) {
  ArchiveLayout commented;
  commented.comment = "a comment";
  commented.stub = std::string(300, 'S');
  ArchiveLayout shifted = commented;
  shifted.offsetsCountStub = true;
  std::string marker = std::string(1000, '\0') + "InstallShield Self-Extracting Stub Program";
  std::string plain = CraftZip(kMembers);
  std::string lateSignature = std::string(100, 'x') + "PK\x05\x06" + std::string(10, '\0');
  struct Case {
    const char* what;
    std::string bytes;
    int result, errCode;
  } cases[] = {
      {"plain archive", plain, 1, 0},
      {"comment, offsets count the stub", CraftArchive(kMembers, shifted).bytes, 1, 0},
      {"comment, offsets relative to the archive", CraftArchive(kMembers, commented).bytes, 0, 0},
      {"installer stub marker", marker + plain, 0, 0},
      {"marker after 2048 bytes", std::string(2048, ' ') + marker + plain, 1, 0},
      {"signature too close to the end", lateSignature, 0, 0},
      {"ten bytes", "0123456789", -7, 11011},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteTextFile(dir / "f.bin", c.bytes);
    EXPECT_EQ(zip.IsZipSFX(dir / "f.bin"), c.result);
    EXPECT_EQ(zip.ErrCode(), c.errCode);
  }
  EXPECT_EQ(zip.IsZipSFX(dir / "missing.bin"), -7);
  EXPECT_EQ(zip.ErrCode(), 11001);
}

TEST(SfxRealStub, ThirtyTwoBitStubHasTheFixedLayoutAndItsIconReplacesInPlace) {
  const std::string path = RealStub32();
  if (path.empty()) GTEST_SKIP() << "ZipSFX.bin was not built (no MinGW-w64)";
  std::string image = ReadTextFile(path);
  const uint32_t pe = Le32(image, 60);
  ASSERT_EQ(Le32(image, pe), 0x00004550u);
  EXPECT_EQ(Le16(image, pe + 24), 0x10B);
  EXPECT_EQ(Le16(image, pe + 20), 224);
  // The header goes where the last section's raw data ends: the end of the file.
  uint16_t sections = Le16(image, pe + 6);
  uint64_t end = 0;
  for (uint16_t i = 0; i < sections; ++i)
    end = std::max<uint64_t>(
        end, uint64_t{Le32(image, pe + 248 + 40 * i + 20)} + Le32(image, pe + 248 + 40 * i + 16));
  EXPECT_EQ(end, image.size());
  ASSERT_TRUE(zip::FindSfxIconImage(Bytes(image)));
  ASSERT_TRUE(zip::FindSfxIconImage(Bytes(ReadTextFile(RealStub64()))));

  TempDir dir;
  ui::ScriptedUi ui;
  TZipBuilder zip{nullptr, &ui};
  zip.Unattended = true;
  zip.HowToDelete = htdFinal;
  zip.SFXPath = path;
  WriteTextFile(dir / "a.zip", CraftZip(kMembers));
  zip.SetFileName(dir / "a.zip");
  // Taken back from the stub as it is, the icon is one 744-byte image.
  auto own = platform::ExtractIconA(*platform::DefaultEnv().files, path);
  ASSERT_TRUE(own.icon);
  EXPECT_EQ(own.icon->size(), 766u);
  const std::string icon = BuildIcon({{.fill = 0x5A}});
  zip.SetSFXIcon(TIcon{Bytes(icon)});
  ASSERT_EQ(zip.ConvertSFX(), 0) << zip.Message();
  std::string exe = ReadTextFile(dir / "a.exe");
  uint64_t at = *zip::FindSfxIconImage(Bytes(image));
  EXPECT_EQ(exe.substr(at, 744), icon.substr(22));
  EXPECT_EQ(exe.substr(0, at), image.substr(0, at));
  auto back = platform::ExtractIconA(*platform::DefaultEnv().files, dir / "a.exe");
  ASSERT_TRUE(back.icon);
  EXPECT_EQ(*back.icon, Bytes(icon));
  zip.SetSFXIcon(TIcon{});
  ASSERT_EQ(zip.ConvertZIP(), 0);
  EXPECT_EQ(zip.SFXIcon().data, Bytes(icon));
}

}  // namespace
