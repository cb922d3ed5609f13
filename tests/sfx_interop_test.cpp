// Self-extractors made from the peers' archives: every peer still reads them,
// and converting back gives the original bytes.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/PeerTools.h"
#include "tests/support/SfxFixture.h"
#include "tests/support/TempDir.h"
#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"

namespace {

using namespace testsupport;
namespace fs = std::filesystem;

struct Peer {
  const char* tool;
  const char* command;  // makes a.zip from the directory "tree"
};

const Peer kPeers[] = {
    {"zip", "zip -qr a.zip tree"},
    {"7z", "7z a -tzip a.zip tree >/dev/null"},
    {"bsdtar", "bsdtar --format zip -cf a.zip tree"},
    {"python3", "python3 -m zipfile -c a.zip tree"},
};

const char* const kCheckers[] = {"unzip -tq a.exe", "7z t a.exe", "python3 -m zipfile -t a.exe"};

TEST(SfxInterop, PeerArchivesConvertBothWaysAndStayReadable) {
  std::string stub = RealStub32();
  for (const Peer& peer : kPeers) {
    SCOPED_TRACE(peer.tool);
    if (!HaveTool(peer.tool)) GTEST_SKIP() << peer.tool << " missing";
    TempDir dir;
    fs::create_directories(dir / "tree/sub");
    WriteTextFile(dir / "tree/readme.txt", "read me\n");
    std::string text;
    for (int i = 0; i < 4000; ++i) text += "line " + std::to_string(i) + "\n";
    WriteTextFile(dir / "tree/sub/long.txt", text);
    ASSERT_EQ(RunIn(dir.path(), peer.command).status, 0);
    const std::string original = ReadTextFile(dir / "a.zip");

    ui::ScriptedUi ui;
    TZipBuilder zip{nullptr, &ui};
    zip.Unattended = true;
    zip.HowToDelete = htdFinal;
    if (stub.empty()) {
      WriteTextFile(dir / "stub.bin", BuildStub());
      zip.SFXPath = dir / "stub.bin";
    } else {
      zip.SFXPath = stub;
    }
    zip.SFXCaption = "Peer archive";
    zip.SFXCommandLine = "readme.txt";
    zip.SetFileName(dir / "a.zip");
    ASSERT_EQ(zip.ConvertSFX(), 0) << zip.Message();
    EXPECT_EQ(zip.IsZipSFX(dir / "a.exe"), 1);
    for (const char* check : kCheckers) {
      CommandResult r = RunIn(dir.path(), check);
      EXPECT_EQ(r.status, 0) << check << "\n" << r.out << r.err;
    }
    CommandResult ours = RunIn(dir.path(), std::string(ZB_BINARY_DIR) + "/zipbuilder test a.exe");
    EXPECT_EQ(ours.status, 0) << ours.out << ours.err;

    ASSERT_EQ(zip.ConvertZIP(), 0) << zip.Message();
    EXPECT_EQ(ReadTextFile(dir / "a.zip"), original);
    EXPECT_EQ(zip.SFXCommandLine, "readme.txt");
  }
}

TEST(SfxInterop, FilesAddedToANewExeAreReadByThePeers) {
  TempDir dir;
  fs::create_directories(dir / "tree/sub");
  WriteTextFile(dir / "tree/sub/x.txt", std::string(5000, 'x'));
  WriteTextFile(dir / "tree/y.txt", "y");
  if (RealStub32().empty()) WriteTextFile(dir / "ZipSFX.bin", BuildStub());
  const std::string tool = std::string(ZB_BINARY_DIR) + "/zipbuilder";
  CommandResult add = RunIn(dir.path(), tool + " add -r a.exe tree");
  ASSERT_EQ(add.status, 0) << add.out << add.err;
  for (const char* check : kCheckers) {
    CommandResult r = RunIn(dir.path(), check);
    EXPECT_EQ(r.status, 0) << check << "\n" << r.out << r.err;
  }
  CommandResult list = RunIn(dir.path(), tool + " list a.exe");
  EXPECT_NE(list.out.find("x.txt"), std::string::npos) << list.out << list.err;
  CommandResult unsfx = RunIn(dir.path(), tool + " unsfx a.exe");
  ASSERT_EQ(unsfx.status, 0) << unsfx.out << unsfx.err;
  EXPECT_NE(unsfx.out.find("caption: Self-extracting Archive"), std::string::npos) << unsfx.out;
  EXPECT_EQ(RunIn(dir.path(), "unzip -tq a.zip").status, 0);
}

// 65,536 members: the end record's counts say "see the ZIP64 record". Both
// conversions carry that record along, its directory offset shifted.
TEST(SfxInterop, ArchivesWithSixtyFourBitRecordsConvertBothWays) {
  if (!HaveTool("python3")) GTEST_SKIP() << "python3 missing";
  TempDir dir;
  ASSERT_EQ(RunIn(dir.path(),
                  "python3 -c \"import zipfile\n"
                  "with zipfile.ZipFile('big.zip', 'w') as z:\n"
                  "    for i in range(65536): z.writestr('m%d' % i, '')\"")
                .status,
            0);
  const std::string original = ReadTextFile(dir / "big.zip");
  ui::ScriptedUi ui;
  TZipBuilder zip{nullptr, &ui};
  zip.Unattended = true;
  zip.HowToDelete = htdFinal;
  WriteTextFile(dir / "stub.bin", BuildStub());
  zip.SFXPath = dir / "stub.bin";
  zip.SetFileName(dir / "big.zip");
  ASSERT_EQ(zip.Count(), 65536);
  ASSERT_EQ(zip.ConvertSFX(), 0) << zip.Message();
  EXPECT_EQ(PeerTestFailures(dir.path(), "big.exe"), "");
  EXPECT_EQ(zip.Count(), 65536);
  ASSERT_EQ(zip.ConvertZIP(), 0) << zip.Message();
  EXPECT_TRUE(ReadTextFile(dir / "big.zip") == original) << "the round trip gives the archive back";
}

}  // namespace
