// The Windows build of the command-line tool (zipbuilder.exe, with ZIPDLL.DLL
// and UNZDLL.DLL beside it) under Wine, checked from Linux: what it adds
// (plain, traditional and AES encryption) the peers accept, what the peers made it extracts to the same tree, and a wrong
// password or a damaged member end it with the statuses the Linux build gives.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/FileTree.h"
#include "tests/support/PeerTools.h"
#include "tests/support/TempDir.h"
#include "tests/support/WineSession.h"

namespace {

using namespace testsupport;
namespace fs = std::filesystem;

const std::string kWindowsTool = std::string(ZB_WINDOWS_BIN_DIR) + "/zipbuilder.exe";

const auto* const kSession = ::testing::AddGlobalTestEnvironment(new WineSession([] {
  for (const char* tool : {"unzip", "7z", "zip", "python3"})
    if (!HaveTool(tool)) return std::string(tool);
  return fs::exists(kWindowsTool) ? std::string() : kWindowsTool + " (scripts/build-windows.sh)";
}));

struct ZipBuilderExeTest : ::testing::Test {
  TempDir dir;
  void SetUp() override {
    fs::create_directories(dir / "tree/docs/deep");
    WriteTextFile(dir / "tree/readme.txt", "read me\n");
    WriteTextFile(dir / "tree/Gr\xc3\xbc\xc3\x9f\x65 \xe2\x82\xac.txt", "non-ASCII name\n");
    std::string text;
    for (int i = 0; i < 40000; ++i) text += "line " + std::to_string(i * 7919 % 1000) + "\n";
    WriteTextFile(dir / "tree/docs/big.txt", text);
    std::string noise;
    uint32_t x = 7;
    for (int i = 0; i < 70000; ++i) noise += static_cast<char>((x = x * 1664525 + 1013904223) >> 24);
    WriteTextFile(dir / "tree/docs/deep/noise.bin", noise);
    WriteTextFile(dir / "tree/empty.txt", "");
  }
  // Runs the Windows tool in the test's directory (Wine's Z: drive).
  CommandResult Windows(const std::string& arguments) {
    return RunIn(dir.path(), std::string("env -u DISPLAY timeout 300 ") + kWine + " " + ShellQuote(kWindowsTool) +
                                 " " + arguments);
  }
  CommandResult Linux(const std::string& arguments) {
    return RunIn(dir.path(), ShellQuote(ZipBuilderTool()) + " " + arguments);
  }
};

TEST_F(ZipBuilderExeTest, AddedTreesPassThePeers) {
  for (const std::string password : {"", "S3cret pass"}) {
    SCOPED_TRACE(password);
    fs::remove(dir / "out.zip");
    const std::string p = ShellQuote(password);
    CommandResult add = Windows("add -r " + (password.empty() ? "" : "-P " + p + " ") + "out.zip tree");
    ASSERT_EQ(add.status, 0) << add.out << add.err;
    const std::string checks[] = {
        "unzip -t " + (password.empty() ? "" : "-P " + p + " ") + "out.zip",
        "7z t -p" + p + " out.zip",
        password.empty() ? "python3 -m zipfile -t out.zip"
                         : "python3 -c 'import zipfile,sys; z=zipfile.ZipFile(\"out.zip\"); "
                           "z.setpassword(sys.argv[1].encode()); sys.exit(z.testzip() is not None)' " + p};
    for (const std::string& check : checks) {
      CommandResult run = RunIn(dir.path(), check);
      EXPECT_EQ(run.status, 0) << check << "\n" << run.out << run.err;
    }
    fs::remove_all(dir / "restored");
    fs::create_directories(dir / "restored");
    ASSERT_EQ(RunIn(dir / "restored", "unzip -q " + (password.empty() ? "" : "-P " + p + " ") + "../out.zip").status, 0);
    EXPECT_EQ(FileTree(dir / "restored/tree"), FileTree(dir / "tree"));
  }
  // AES through the system's own cryptography: 7z reads it back (unzip has no AES).
  CommandResult aes = Windows("add -r --aes -P 'AES pass' aes.zip tree");
  ASSERT_EQ(aes.status, 0) << aes.out << aes.err;
  EXPECT_EQ(RunIn(dir.path(), "7z x -bd -p'AES pass' -oaes aes.zip >/dev/null").status, 0);
  EXPECT_EQ(FileTree(dir / "aes/tree"), FileTree(dir / "tree"));
}

TEST_F(ZipBuilderExeTest, PeerArchivesExtractToTheTreeOf7z) {
  const struct {
    const char* maker;
    const char* command;  // makes peer.zip from tree/
    const char* password;
  } peers[] = {
      {"zip", "zip -qr peer.zip tree", ""},
      {"zip, traditional encryption", "zip -qr -P pw1 peer.zip tree", "pw1"},
      {"7z, deflate", "7z a -tzip -bd peer.zip tree >/dev/null", ""},
      {"7z, traditional encryption", "7z a -tzip -bd -ppw2 -mem=ZipCrypto peer.zip tree >/dev/null", "pw2"},
      {"7z, AES-256", "7z a -tzip -bd -ppw3 -mem=AES256 peer.zip tree >/dev/null", "pw3"},
      {"python", "python3 -c 'import shutil; shutil.make_archive(\"peer\", \"zip\", \".\", \"tree\")'", ""},
  };
  for (const auto& peer : peers) {
    SCOPED_TRACE(peer.maker);
    fs::remove(dir / "peer.zip");
    fs::remove_all(dir / "ours");
    fs::remove_all(dir / "theirs");
    ASSERT_EQ(RunIn(dir.path(), peer.command).status, 0);
    const std::string p = ShellQuote(peer.password);
    ASSERT_EQ(RunIn(dir.path(), "7z x -bd -p" + p + " -otheirs peer.zip >/dev/null").status, 0);
    CommandResult extract =
        Windows(std::string("extract ") + (*peer.password ? "-P " + p + " " : "") + "-d ours peer.zip");
    EXPECT_EQ(extract.status, 0) << extract.out << extract.err;
    EXPECT_EQ(FileTree(dir / "ours/tree"), FileTree(dir / "theirs/tree"));
    EXPECT_EQ(FileTree(dir / "ours/tree"), FileTree(dir / "tree"));
  }
}

TEST_F(ZipBuilderExeTest, WrongPasswordsAndDamageEndAsOnLinux) {
  ASSERT_EQ(RunIn(dir.path(), "7z a -tzip -bd -pright -mem=AES256 aes.zip tree >/dev/null && "
                              "zip -qr -P right traditional.zip tree && zip -qr plain.zip tree").status, 0);
  // One byte of the deflated big.txt turned over, past its local header.
  std::string bytes = ReadTextFile(dir / "plain.zip");
  const size_t member = bytes.find("tree/docs/big.txt");
  ASSERT_NE(member, std::string::npos);
  bytes[member + 17 + 200] ^= 0x55;
  WriteTextFile(dir / "damaged.zip", bytes);
  const char* const runs[] = {"test -P wrong aes.zip", "test -P wrong traditional.zip", "test damaged.zip",
                              "extract -P wrong -d out1 aes.zip", "extract -d out2 damaged.zip"};
  for (const char* arguments : runs) {
    SCOPED_TRACE(arguments);
    CommandResult linux = Linux(arguments), windows = Windows(arguments);
    EXPECT_NE(linux.status, 0) << linux.out << linux.err;
    EXPECT_EQ(windows.status, linux.status) << windows.out << windows.err;
  }
}

}  // namespace
