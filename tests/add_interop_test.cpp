// Archives the component writes, checked by the peer tools: unzip, 7z and
// Python's zipfile test them, unzip restores the original tree (names, bytes,
// dates within 2 seconds), encrypted ones with the password; the component's
// own listing agrees with the peer's.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>

#include "tests/support/FileTree.h"
#include "tests/support/PeerTools.h"
#include "tests/support/TempDir.h"
#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"

namespace {

namespace fs = std::filesystem;
using testsupport::FileTree;
using testsupport::HaveTool;
using testsupport::RunIn;
using testsupport::ShellQuote;
using testsupport::WriteTextFile;

struct AddInteropTest : ::testing::Test {
  testsupport::TempDir dir;
  ui::ScriptedUi ui;
  TZipBuilder zip{nullptr, &ui};
  std::string archive;

  void SetUp() override {
    for (const char* tool : {"unzip", "7z", "python3"})
      if (!HaveTool(tool)) GTEST_SKIP() << tool << " missing";
    zip.Unattended = true;
    zip.SetDLLDirectory(ZB_BINARY_DIR);
    fs::create_directories(dir / "tree/docs/deep");
    fs::create_directories(dir / "tree/empty dir");
    WriteTextFile(dir / "tree/readme.txt", "read me\n");
    WriteTextFile(dir / "tree/docs/big.txt", [] {
      std::string s;
      for (int i = 0; i < 40000; ++i) s += "line " + std::to_string(i * 7919 % 1000) + "\n";
      return s;
    }());
    WriteTextFile(dir / "tree/docs/deep/bytes.bin", [] {
      std::string s;
      uint32_t x = 7;
      for (int i = 0; i < 70000; ++i) s += static_cast<char>((x = x * 1664525 + 1013904223) >> 24);
      return s;
    }());
    WriteTextFile(dir / "tree/docs/pic.png", std::string(5000, 'p'));
    WriteTextFile(dir / "tree/Gr\xc3\xbc\xc3\x9f\x65 \xe2\x82\xac.txt", "unicode name");
    WriteTextFile(dir / "tree/empty.txt", "");
    archive = dir / "out.zip";
  }

  void AddTree(const std::string& password = "", EncryptionOpts encryption = encTraditional) {
    fs::current_path(dir.path());
    zip.AddEncryption = encryption;
    zip.SetFileName(archive);
    zip.AddOptions = AddOpts{AddDirNames, AddRecurseDirs, AddSeparateDirs};
    if (!password.empty()) zip.AddOptions.Include(AddEncrypt);
    zip.Password = password;
    zip.SetFSpecArgs({"tree"});
    zip.Add();
    ASSERT_GT(zip.SuccessCount(), 0) << zip.Message();
  }
  void ExpectPeersAccept(const std::string& password) {
    std::string p = ShellQuote(password);
    auto unzip = RunIn(dir.path(), "unzip -t " + (password.empty() ? "" : "-P " + p + " ") + "out.zip");
    EXPECT_EQ(unzip.status, 0) << unzip.out << unzip.err;
    auto sevenZip = RunIn(dir.path(), "7z t -p" + p + " out.zip");
    EXPECT_EQ(sevenZip.status, 0) << sevenZip.out << sevenZip.err;
    auto python = RunIn(dir.path(), password.empty() ? "python3 -m zipfile -t out.zip"
                                                     : "python3 -c 'import zipfile,sys; z=zipfile.ZipFile(\"out.zip\"); "
                                                       "z.setpassword(sys.argv[1].encode()); "
                                                       "sys.exit(z.testzip() is not None)' " + p);
    EXPECT_EQ(python.status, 0) << python.out << python.err;
  }
  void ExpectUnzipRestoresTree(const std::string& password) {
    fs::create_directories(dir / "restored");
    auto r = RunIn(dir / "restored", "unzip -q " + (password.empty() ? "" : "-P " + ShellQuote(password) + " ") +
                                         ShellQuote(archive));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(FileTree(dir / "restored/tree"), FileTree(dir / "tree"));
    EXPECT_TRUE(fs::is_directory(dir / "restored/tree/empty dir"));
    for (const auto& [name, bytes] : FileTree(dir / "tree")) {
      auto original = fs::last_write_time(fs::path(dir / "tree") / name);
      auto restored = fs::last_write_time(fs::path(dir / "restored/tree") / name);
      auto difference = original > restored ? original - restored : restored - original;
      EXPECT_LE(difference, std::chrono::seconds(2)) << name;
    }
  }
};

TEST_F(AddInteropTest, PlainArchivePassesPeersAndRestoresTheTree) {
  AddTree();
  ExpectPeersAccept("");
  ExpectUnzipRestoresTree("");
  // The component's listing agrees with Python's view of the archive.
  auto names = RunIn(dir.path(),
                     "python3 -c 'import zipfile; [print(i.filename) for i in zipfile.ZipFile(\"out.zip\").infolist() "
                     "if not i.is_dir()]'");
  std::string ours;
  for (const auto& e : zip.ZipDirEntryRecords()) {
    std::string name = e->FileName;
    for (char& c : name)
      if (c == '\\') c = '/';
    ours += name + "\n";
  }
  EXPECT_EQ(ours, names.out);
}

// The best level beyond 9: smaller than 9 gives, and the peers read it.
TEST_F(AddInteropTest, BestLevelIsSmallerThanLevelNine) {
  AddTree();
  const auto levelNine = fs::file_size(archive);
  fs::remove(archive);
  zip.AddCompLevel = kLevelBest;
  AddTree();
  ExpectPeersAccept("");
  ExpectUnzipRestoresTree("");
  EXPECT_LT(fs::file_size(archive), levelNine);
}

// Symbolic links: followed by default; with AddStoreSymLinks stored as links,
// which unzip makes again as links (one into the tree, one dangling).
TEST_F(AddInteropTest, SymbolicLinksAreFollowedOrStoredAsLinks) {
  fs::create_symlink("readme.txt", dir / "tree/to-readme");
  fs::create_symlink("../nowhere", dir / "tree/dangling");
  for (const bool store : {false, true}) {
    SCOPED_TRACE(store ? "stored as links" : "followed");
    fs::remove(archive);
    fs::remove_all(dir / "restored");
    zip.AddStoreSymLinks = store;
    AddTree();
    ExpectPeersAccept("");
    fs::create_directories(dir / "restored");
    ASSERT_EQ(RunIn(dir / "restored", "unzip -q " + ShellQuote(archive)).status, 0);
    EXPECT_EQ(fs::is_symlink(dir / "restored/tree/to-readme"), store);
    EXPECT_EQ(testsupport::ReadTextFile(dir / "restored/tree/to-readme"), "read me\n");
    EXPECT_EQ(fs::is_symlink(dir / "restored/tree/dangling"), store) << "a dangling link is skipped when followed";
    if (store) {
      EXPECT_EQ(fs::read_symlink(dir / "restored/tree/dangling"), "../nowhere");
    }
  }
}

TEST_F(AddInteropTest, EncryptedArchiveNeedsThePassword) {
  AddTree("S3cret pass");
  ExpectPeersAccept("S3cret pass");
  auto wrong = RunIn(dir.path(), "unzip -t -P wrong out.zip");
  EXPECT_NE(wrong.status, 0);
  ExpectUnzipRestoresTree("S3cret pass");
}

TEST_F(AddInteropTest, UpdatedAndDeletedArchivesStayValid) {
  AddTree();
  WriteTextFile(dir / "tree/readme.txt", "changed and longer than before\n");
  fs::last_write_time(dir / "tree/readme.txt", fs::file_time_type::clock::now() + std::chrono::hours(1));
  zip.AddOptions = AddOpts{AddDirNames, AddUpdate};
  zip.SetFSpecArgs({"tree/readme.txt", "tree/empty.txt"});
  zip.Add();
  EXPECT_EQ(zip.SuccessCount(), 1) << "only the newer file";
  zip.SetFSpecArgs({"*.bin"});
  zip.Delete();
  EXPECT_EQ(zip.SuccessCount(), 1);
  ExpectPeersAccept("");
  fs::remove(dir / "tree/docs/deep/bytes.bin");
  ExpectUnzipRestoresTree("");
}

TEST_F(AddInteropTest, PeerArchivesCanBeUpdated) {
  if (!HaveTool("zip")) GTEST_SKIP() << "zip missing";
  auto made = RunIn(dir.path(), "zip -q -r out.zip tree");
  ASSERT_EQ(made.status, 0) << made.err;
  WriteTextFile(dir / "extra.txt", "extra");
  zip.SetFileName(archive);
  zip.AddOptions = AddOpts{AddDirNames};
  zip.SetFSpecArgs({dir / "extra.txt"});
  zip.Add();
  EXPECT_EQ(zip.SuccessCount(), 1) << zip.Message();
  ExpectPeersAccept("");
  auto list = RunIn(dir.path(), "unzip -l out.zip");
  EXPECT_NE(list.out.find("extra.txt"), std::string::npos);
  EXPECT_NE(list.out.find("tree/docs/big.txt"), std::string::npos);
}

// AES: 7-Zip names the key length and accepts only the right password; bsdtar
// and the component restore the tree. Small members take the CRC-carrying form.
TEST_F(AddInteropTest, AesArchivesPassPeersAndRestoreTheTree) {
  if (!HaveTool("bsdtar")) GTEST_SKIP() << "bsdtar missing";
  WriteTextFile(dir / "tree/tiny.txt", "19 bytes of text...");
  const struct {
    EncryptionOpts encryption;
    const char* method;
    bool streamed;  // members written through the streaming path
  } cases[] = {{encAES128, "AES-128", false}, {encAES192, "AES-192", false},
               {encAES256, "AES-256", false}, {encAES256, "AES-256", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.method) + (c.streamed ? " streamed" : ""));
    fs::remove(archive);
    fs::remove_all(dir / "restored");
    fs::remove_all(dir / "ours");
    {
      std::optional<testsupport::ScopedEnv> streamAll;
      if (c.streamed) streamAll.emplace("ZIPDLL_WHOLE_BUFFER_LIMIT", "0");
      AddTree("S3cret pass", c.encryption);
    }
    auto sevenZip = RunIn(dir.path(), "7z t -p'S3cret pass' out.zip");
    EXPECT_EQ(sevenZip.status, 0) << sevenZip.out << sevenZip.err;
    auto listing = RunIn(dir.path(), "7z l -slt -p'S3cret pass' out.zip");
    EXPECT_NE(listing.out.find(std::string("Method = ") + c.method), std::string::npos) << listing.out;
    EXPECT_NE(RunIn(dir.path(), "7z t -pwrong out.zip").status, 0);
    fs::create_directories(dir / "restored");
    auto bsdtar = RunIn(dir / "restored", "bsdtar -xf ../out.zip --passphrase 'S3cret pass'");
    ASSERT_EQ(bsdtar.status, 0) << bsdtar.err;
    EXPECT_TRUE(FileTree(dir / "restored/tree") == FileTree(dir / "tree"));
    fs::create_directories(dir / "ours");
    zip.Password = "S3cret pass";
    zip.ExtrBaseDir = dir / "ours";
    zip.ExtrOptions = ExtrOpts{ExtrDirNames};
    zip.SetFSpecArgs({"*"});
    zip.Extract();
    EXPECT_EQ(zip.ErrCode(), 0) << zip.Message();
    EXPECT_TRUE(FileTree(dir / "ours/tree") == FileTree(dir / "tree"));
  }
}

// A changed byte of encrypted data fails the authentication code: 7-Zip and the
// component report an error and the component leaves no file behind.
TEST_F(AddInteropTest, AesArchiveWithAFlippedByteFails) {
  AddTree("S3cret pass", encAES256);
  std::string bytes = testsupport::ReadTextFile(archive);
  const size_t name = bytes.find("tree/docs/big.txt");
  ASSERT_NE(name, std::string::npos);
  bytes[name + 200] ^= 0x01;  // past the name, extra field, salt and verifier
  WriteTextFile(archive, bytes);
  EXPECT_NE(RunIn(dir.path(), "7z t -p'S3cret pass' out.zip").status, 0);
  fs::create_directories(dir / "ours");
  zip.SetFileName(archive);
  zip.Password = "S3cret pass";
  zip.ExtrBaseDir = dir / "ours";
  zip.ExtrOptions = ExtrOpts{ExtrDirNames};
  zip.SetFSpecArgs({"tree/docs/big.txt"});
  zip.Extract();
  EXPECT_EQ(zip.SuccessCount(), 0);
  EXPECT_FALSE(fs::exists(dir / "ours/tree/docs/big.txt"));
}

// --best tries every member: a compressible file with a suffix that level 9
// stores (.gz here) is deflated, and the peers read the result.
TEST_F(AddInteropTest, CommandLineBestCompressesStoredSuffixes) {
  const std::string tool = ShellQuote(testsupport::ZipBuilderTool());
  WriteTextFile(dir / "notes.gz", std::string(20000, 'z'));
  for (const auto& [options, method] : {std::pair{"-9", "Store"}, std::pair{"--best", "Deflate"}}) {
    SCOPED_TRACE(options);
    const std::string name = std::string("level") + options + ".zip";
    ASSERT_EQ(RunIn(dir.path(), tool + " add -q " + options + " " + name + " notes.gz").status, 0);
    const auto listing = RunIn(dir.path(), "7z l -slt " + name);
    EXPECT_NE(listing.out.find(std::string("Method = ") + method), std::string::npos) << listing.out;
    EXPECT_EQ(RunIn(dir.path(), "unzip -tq " + name).status, 0);
  }
}

// The command line asks for AES with --aes and refuses it without a password.
TEST_F(AddInteropTest, CommandLineWritesAes256) {
  const std::string tool = ShellQuote(testsupport::ZipBuilderTool());
  EXPECT_NE(RunIn(dir.path(), tool + " add -r --aes cli.zip tree").status, 0);
  EXPECT_NE(RunIn(dir.path(), tool + " add -r --aes=100 -P pw cli.zip tree").status, 0);
  auto added = RunIn(dir.path(), tool + " add -q -r --aes -P pw cli.zip tree");
  ASSERT_EQ(added.status, 0) << added.err;
  auto listing = RunIn(dir.path(), "7z l -slt -ppw cli.zip");
  EXPECT_NE(listing.out.find("Method = AES-256 Deflate"), std::string::npos) << listing.out;
  EXPECT_EQ(RunIn(dir.path(), "7z t -ppw cli.zip").status, 0);
}

}  // namespace
