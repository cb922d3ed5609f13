// Archives the peers write with the methods beyond deflate (Deflate64, bzip2,
// LZMA, xz, zstd, AES in its three strengths), extracted by the engine and by `7z x`:
// the trees must agree. Plus what must fail: wrong AES passwords and damaged
// AES data, which leave no file behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "tests/support/FileTree.h"
#include "tests/support/PeerArchivesFixture.h"
#include "tests/support/UnzEngineRunner.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

// Fails unless 7-Zip lists every member named `name` with a method line containing `method`.
void ExpectMethod(const std::string& archive, const std::string& name, const std::string& method) {
  CommandResult r = RunIn(".", "7z l -slt " + ShellQuote(archive));
  const size_t at = r.out.find("Path = " + name + "\n");
  ASSERT_NE(at, std::string::npos) << archive << " lacks " << name;
  const size_t line = r.out.find("Method = ", at);
  ASSERT_NE(line, std::string::npos);
  EXPECT_NE(r.out.substr(line, r.out.find('\n', line) - line).find(method), std::string::npos)
      << archive << ": " << name << " is not " << method;
}

class MethodsInteropTest : public PeerArchivesTest {
 protected:
  void SetUp() override {
    MakeSource({"7z", "bsdtar", "python3"}, 3u << 20, 9);  // large.txt: several chunks and progress steps
    if (IsSkipped()) return;
    WriteTextFile(src_ + "/tiny.txt", "x");
  }

  // Extracts with 7z and with the engine (and tests with the engine); the trees must agree.
  void Compare(const std::string& archive, const std::string& what,
               const std::string& password = "") {
    std::string expected = dir_ / ("7z-" + std::to_string(++runs_));
    std::string actual = dir_ / ("engine-" + std::to_string(runs_));
    fs::create_directories(actual);
    CommandResult peer =
        RunIn(dir_.path(), "7z x -bso0 -bsp0 -y -p" + ShellQuote(password) + " -o" +
                               ShellQuote(expected) + " " + ShellQuote(archive));
    ASSERT_EQ(peer.status, 0) << what << peer.err;
    UnzRun run = UnzRun::Of(archive, actual, password);
    ASSERT_TRUE(RunUnzEngine(run));
    EXPECT_EQ(run.Count(kActionSkipped), 0) << what;
    for (const std::string& message : run.Messages(kEngineBadArchive))
      ADD_FAILURE() << what << ": " << message;
    const auto want = FileTree(expected, TreeEntries::WithDirectories);
    EXPECT_EQ(run.result, static_cast<int32_t>(want.size())) << what;
    EXPECT_TRUE(FileTree(actual, TreeEntries::WithDirectories) == want) << what;

    UnzRun test = UnzRun::Of(archive, "", password, true);
    ASSERT_TRUE(RunUnzEngine(test));
    EXPECT_EQ(test.result, run.result) << what << " tested";
  }

  int runs_ = 0;
};

TEST_F(MethodsInteropTest, EveryMethodOfThePeersExtractsLike7z) {
  struct Case {
    const char* writer;
    const char* method;  // as 7z lists sub/large.txt
    const char* password;
  } cases[] = {
      {"7z a -tzip -mm=Deflate64 -bso0 -bsp0 @ .", "Deflate64", ""},
      {"7z a -tzip -mm=Deflate64 -mx9 -bso0 -bsp0 @ .", "Deflate64", ""},
      {"7z a -tzip -mm=BZip2 -bso0 -bsp0 @ .", "BZip2", ""},
      {"7z a -tzip -mm=LZMA -bso0 -bsp0 @ .", "LZMA", ""},
      {"7z a -tzip -mm=LZMA:eos -bso0 -bsp0 @ .", "LZMA", ""},
      {"7z a -tzip -mm=xz -bso0 -bsp0 @ .", "xz", ""},
      {"7z a -tzip -mem=AES256 -pSecret-256 -bso0 -bsp0 @ .", "AES-256 Deflate", "Secret-256"},
      {"7z a -tzip -mem=AES192 -mm=LZMA -pSecret-192 -bso0 -bsp0 @ .", "AES-192 LZMA",
       "Secret-192"},
      {"7z a -tzip -mem=AES128 -mx0 -pSecret-128 -bso0 -bsp0 @ .", "AES-128 Store", "Secret-128"},
      {"7z a -tzip -mem=AES256 -mm=Deflate64 -pD64 -bso0 -bsp0 @ .", "AES-256 Deflate64", "D64"},
      {"bsdtar --format zip --options zip:encryption=aes256 --passphrase bsd-256 -cf @ a.txt "
       "empty.txt tiny.txt sub",
       "AES-256 Deflate", "bsd-256"},
      {"bsdtar --format zip --options zip:encryption=aes128 --passphrase bsd-128 -cf @ a.txt "
       "empty.txt tiny.txt sub",
       "AES-128 Deflate", "bsd-128"},
      // zipfile has no zstd writer of its own: its members go through libzstd by ctypes.
      {"python3 -c \"import ctypes,os,sys,zipfile\n"
       "lib=ctypes.CDLL('libzstd.so.1')\n"
       "S=ctypes.c_size_t\n"
       "lib.ZSTD_compressBound.restype=lib.ZSTD_compress.restype=S\n"
       "lib.ZSTD_compressBound.argtypes=[S]\n"
       "lib.ZSTD_compress.argtypes=[ctypes.c_void_p,S,ctypes.c_char_p,S,ctypes.c_int]\n"
       "class Zstd:\n"
       "  def __init__(self): self.parts=[]\n"
       "  def compress(self,data): self.parts.append(bytes(data)); return b''\n"
       "  def flush(self):\n"
       "    data=b''.join(self.parts); out=ctypes.create_string_buffer(lib.ZSTD_compressBound(len(data)))\n"
       "    n=lib.ZSTD_compress(out,len(out),data,len(data),3)\n"
       "    return out.raw[:n]\n"
       "zipfile._check_compression=lambda method: None\n"
       "plain=zipfile._get_compressor\n"
       "zipfile._get_compressor=lambda method,level=None: Zstd() if method==93 else plain(method,level)\n"
       "z=zipfile.ZipFile(sys.argv[1],'w',93)\n"
       "for d,ds,fs in sorted(os.walk('.')):\n"
       "  [z.write(os.path.join(d,n)) for n in sorted(ds+fs)]\n"
       "z.close()\" @",
       "zstd", ""},
      {"python3 -c \"import os,sys,zipfile\n"
       "z=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_LZMA)\n"
       "for d,ds,fs in sorted(os.walk('.')):\n"
       "  [z.write(os.path.join(d,n)) for n in sorted(ds+fs)]\n"
       "z.close()\" @",
       "LZMA", ""},
  };
  for (const Case& c : cases) {
    std::string archive = Write(c.writer);
    ExpectMethod(archive, "sub/large.txt", c.method);
    Compare(archive, c.writer, c.password);
  }
}

TEST_F(MethodsInteropTest, VerboseListingNamesMethodAndEncryption) {
  const std::string tool = ShellQuote(std::string(ZB_BINARY_DIR) + "/zipbuilder") + " list -v ";
  struct Case {
    const char* writer;
    const char* columns;  // method and encryption of the large member
  } cases[] = {
      {"7z a -tzip -mem=AES256 -pPW -bso0 -bsp0 @ sub", "Deflate  AES-256 AE-2 "},
      {"bsdtar --format zip --options zip:encryption=aes128 --passphrase PW -cf @ sub", "Deflate  AES-128 AE-1 "},
      {"7z a -tzip -mem=AES192 -mm=LZMA -pPW -bso0 -bsp0 @ sub", "LZMA     AES-192 AE-2 "},
      {"7z a -tzip -mem=ZipCrypto -mm=BZip2 -pPW -bso0 -bsp0 @ sub", "BZip2    Traditional "},
      {"7z a -tzip -mm=xz -bso0 -bsp0 @ sub", "XZ       -  "},
      {"7z a -tzip -mm=Deflate64 -bso0 -bsp0 @ sub", "Defl64   -  "},
  };
  for (const Case& c : cases) {
    CommandResult listed = RunIn(dir_.path(), tool + ShellQuote(Write(c.writer)));
    ASSERT_EQ(listed.status, 0) << c.writer << listed.err;
    const size_t line = listed.out.find("large.txt\n");
    ASSERT_NE(line, std::string::npos) << listed.out;
    const std::string text = listed.out.substr(listed.out.rfind('\n', line) + 1, line - listed.out.rfind('\n', line));
    EXPECT_NE(text.find(c.columns), std::string::npos) << c.writer << ": " << text;
  }
}

class AesFailureTest : public MethodsInteropTest {
 protected:
  UnzRun Extract(const std::string& archive, const std::string& out, bool test = false) {
    fs::create_directories(out);
    UnzRun run;
    run.archive = archive;
    run.baseDir = out;
    run.test = test;
    return run;
  }
};

TEST_F(AesFailureTest, WrongPasswordAsksThenFailsWithoutAFile) {
  for (const char* writer :
       {"7z a -tzip -mem=AES256 -pRight -bso0 -bsp0 @ .",
        "bsdtar --format zip --options zip:encryption=aes128 --passphrase Right -cf @ a.txt sub"}) {
    std::string archive = Write(writer);
    std::string out = dir_ / ("wrong-" + std::to_string(archives_));
    UnzRun run = Extract(archive, out);
    run.specs = {"a.txt"};
    run.password = "Wrong";
    run.passwordRequests = 3;
    run.passwordAnswers = {"nope", "still wrong", std::nullopt};
    ASSERT_TRUE(RunUnzEngine(run));
    EXPECT_EQ(run.result, 0) << writer;
    EXPECT_EQ(run.Count(kActionPassword), 3) << writer;
    EXPECT_EQ(run.Messages(kEngineBadPassword).size(), 1u) << writer;
    EXPECT_TRUE(fs::is_empty(out)) << writer;

    // The right one, given when asked, opens every member after it.
    UnzRun asked = Extract(archive, out + "-asked");
    asked.passwordRequests = 2;
    asked.passwordAnswers = {"nope", "Right"};
    ASSERT_TRUE(RunUnzEngine(asked));
    EXPECT_EQ(asked.Count(kActionPassword), 2) << writer;
    EXPECT_EQ(asked.Count(kActionSkipped), 0) << writer;
    EXPECT_EQ(ReadTextFile(out + "-asked/sub/large.txt"), ReadTextFile(src_ + "/sub/large.txt"))
        << writer;
  }
}

TEST_F(AesFailureTest, MembersUnderAnotherPasswordAskForItOnce) {
  // Members after the first under a password that worked are unlocked on the
  // worker threads; those it does not open come back and ask, once.
  std::string archive = Write("7z a -tzip -mem=AES256 -pOne -bso0 -bsp0 @ a.txt tiny.txt");
  ASSERT_EQ(RunIn(src_, "7z a -tzip -mem=AES128 -pTwo -bso0 -bsp0 " + ShellQuote(archive) + " sub")
                .status,
            0);
  UnzRun run = Extract(archive, dir_ / "two");
  run.password = "One";
  run.passwordRequests = 3;
  run.passwordAnswers = {"Two"};
  ASSERT_TRUE(RunUnzEngine(run));
  EXPECT_EQ(run.Count(kActionPassword), 1);
  EXPECT_EQ(run.Count(kActionSkipped), 0);
  EXPECT_EQ(ReadTextFile(dir_ / "two/tiny.txt"), "x");
  EXPECT_EQ(ReadTextFile(dir_ / "two/sub/large.txt"), ReadTextFile(src_ + "/sub/large.txt"));
  EXPECT_EQ(ReadTextFile(dir_ / "two/sub/deep/noise.bin"),
            ReadTextFile(src_ + "/sub/deep/noise.bin"));
}

TEST_F(AesFailureTest, DamagedDataFailsItsAuthenticationWithoutAFile) {
  // Stored, so a flipped byte still decodes and only the code can tell.
  std::string stored =
      Write("7z a -tzip -mem=AES256 -mx0 -pRight -bso0 -bsp0 @ a.txt sub/large.txt");
  std::string deflated = Write(
      "bsdtar --format zip --options zip:encryption=aes256 --passphrase Right -cf @ "
      "a.txt sub/large.txt");
  struct Case {
    const char* what;
    const std::string* archive;
    const char* member;
    double where;  // fraction into the member's data; beyond 1: into its code
  } cases[] = {
      {"small stored", &stored, "a.txt", 0.5},
      {"large stored", &stored, "sub/large.txt", 0.9},
      {"small stored, code", &stored, "a.txt", 2},
      {"large deflated, code", &deflated, "sub/large.txt", 2},
      {"small deflated, first byte", &deflated, "a.txt", 0},
  };
  for (const Case& c : cases) {
    std::string bytes = ReadTextFile(*c.archive);
    // The member's local header, then its data up to the next local or central header.
    const std::string name = c.member;
    size_t local = bytes.find("PK\3\4");
    while (bytes.compare(local + 30, name.size(), name) != 0)
      local = bytes.find("PK\3\4", local + 4);
    const size_t start = local + 30 +
                         (static_cast<uint8_t>(bytes[local + 26]) | bytes[local + 27] << 8) +
                         (static_cast<uint8_t>(bytes[local + 28]) | bytes[local + 29] << 8);
    size_t end = std::min(bytes.find("PK\3\4", start), bytes.find("PK\1\2", start));
    if (bytes.compare(end - 16, 4, "PK\7\10") == 0) end -= 16;  // data descriptor
    const size_t dataStart = start + 18,
                 dataEnd = end - 10;  // past salt and verifier, before the code
    const size_t at = c.where > 1
                          ? end - 3
                          : dataStart + static_cast<size_t>((dataEnd - dataStart - 1) * c.where);
    bytes[at] ^= 0x20;
    std::string archive = dir_ / ("damaged-" + std::to_string(&c - cases) + ".zip");
    WriteTextFile(archive, bytes);
    for (bool test : {false, true}) {
      std::string out = dir_ / ("out-" + std::to_string(&c - cases) + (test ? "-t" : ""));
      UnzRun run = Extract(archive, out, test);
      run.specs = {c.member};
      run.password = "Right";
      ASSERT_TRUE(RunUnzEngine(run));
      EXPECT_EQ(run.result, 0) << c.what;
      EXPECT_EQ(run.Count(kActionPassword), 0) << c.what;
      ASSERT_EQ(run.Count(kActionSkipped), 1) << c.what;
      EXPECT_EQ(run.Of(kActionSkipped)[0].value, kSkipFormatWrong) << c.what;
      const auto messages = run.Messages(kEngineBadArchive);
      ASSERT_EQ(messages.size(), 1u) << c.what;
      EXPECT_NE(messages[0].find("Authentication"), std::string::npos)
          << c.what << ": " << messages[0];
      EXPECT_FALSE(fs::exists(out + "/" + c.member)) << c.what;
    }
  }
}

}  // namespace
