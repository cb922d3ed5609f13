// Archives written by the peer tools, extracted by the decompression engine and
// by `unzip`: the two trees must agree in names, bytes and dates.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>

#include "tests/support/FileTree.h"
#include "tests/support/PeerArchivesFixture.h"
#include "tests/support/UnzEngineRunner.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

void ExpectSameTrees(const std::string& expected, const std::string& actual, const std::string& what) {
  auto want = FileTree(expected, TreeEntries::WithDirectories);
  auto got = FileTree(actual, TreeEntries::WithDirectories);
  std::vector<std::string> wantNames, gotNames;
  for (auto& [name, e] : want) wantNames.push_back(name);
  for (auto& [name, e] : got) gotNames.push_back(name);
  ASSERT_EQ(gotNames, wantNames) << what;
  for (auto& [name, e] : want) EXPECT_TRUE(got[name] == e) << what << ": " << name;
  // unzip may use the exact time of an extra field; the DOS time has 2-second steps.
  auto gotTimes = FileTimes(actual);
  for (auto& [name, mtime] : FileTimes(expected))
    EXPECT_LE(std::abs(gotTimes[name] - mtime), 2) << what << ": " << name;
}

class UnzDllInteropTest : public PeerArchivesTest {
 protected:
  void SetUp() override {
    MakeSource({"zip", "unzip", "7z", "bsdtar", "python3"}, 18u << 20, 5);  // large.txt is streamed
    if (IsSkipped()) return;
    fs::create_directories(src_ + "/emptydir");
    WriteTextFile(src_ + "/spaces in name.txt", "blank");
    RunIn(src_, "touch -d '2019-07-04 10:11:13' a.txt sub/deep/noise.bin");
  }

  // Extracts `archive` with unzip and with the engine, and compares.
  void Compare(const std::string& archive, const std::string& what, const std::string& password = "") {
    std::string expected = dir_ / ("unzip-" + std::to_string(++runs_));
    std::string actual = dir_ / ("engine-" + std::to_string(runs_));
    fs::create_directories(actual);
    CommandResult unzip = RunIn(dir_.path(), "unzip -q -o " + (password.empty() ? "" : "-P " + password + " ") +
                                                 ShellQuote(archive) + " -d " + ShellQuote(expected));
    ASSERT_EQ(unzip.status, 0) << what << unzip.err;
    UnzRun run = UnzRun::Of(archive, actual, password);
    ASSERT_TRUE(RunUnzEngine(run));
    EXPECT_GT(run.result, 0) << what;
    EXPECT_EQ(run.Count(kActionSkipped), 0) << what;
    ExpectSameTrees(expected, actual, what);

    UnzRun test = UnzRun::Of(archive, "", password, true);
    ASSERT_TRUE(RunUnzEngine(test));
    EXPECT_EQ(test.result, run.result) << what << " tested";
  }

  int runs_ = 0;
};

TEST_F(UnzDllInteropTest, ArchivesOfThePeerToolsExtractLikeUnzip) {
  Compare(Write("zip -qr -9 -X @ ."), "zip");
  Compare(Write("python3 -c \"import os,sys,zipfile\n"
                "z=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED)\n"
                "for d,ds,fs in sorted(os.walk('.')):\n"
                "  [z.write(os.path.join(d,n)) for n in sorted(ds+fs)]\n"
                "z.close()\" @"),
          "python zipfile");
  Compare(Write("7z a -tzip -bso0 -bsp0 @ ."), "7z deflate");
  Compare(Write("bsdtar -a -cf @ ."), "bsdtar");
}

TEST_F(UnzDllInteropTest, EncryptedAndStreamedArchivesExtractLikeUnzip) {
  Compare(Write("zip -qr -P Pass-1 @ ."), "zip -P", "Pass-1");
  Compare(Write("7z a -tzip -mem=ZipCrypto -pSecret7 -bso0 -bsp0 @ ."), "7z ZipCrypto", "Secret7");
  // Written to a pipe: sizes and CRCs follow the data in descriptors.
  Compare(Write("zip -qr -P piped - . > @"), "zip to a pipe", "piped");
  Compare(Write("zip -qr - . > @"), "zip to a pipe, plain");
  // Read from a pipe: one member named "-".
  Compare(Write("cat sub/large.txt | zip -q -P fromstdin @ -"), "zip from a pipe", "fromstdin");
}

// Fails unless the compressible members of `archive` are bzip2-compressed (method
// 12); writers may store the random bytes.
void ExpectBzip2(const std::string& archive) {
  CommandResult r = RunIn(".", "python3 -c \"import sys,zipfile\n"
                               "z=zipfile.ZipFile(sys.argv[1])\n"
                               "m=[i for i in z.infolist() if i.filename.endswith(('a.txt','large.txt'))]\n"
                               "sys.exit(0 if len(m)==2 and all(i.compress_type==12 for i in m) else 1)\" " +
                                   ShellQuote(archive));
  EXPECT_EQ(r.status, 0) << archive << " has text members that are not bzip2";
}

constexpr const char* kPythonBzip2Writer =
    "python3 -c \"import os,sys,zipfile\n"
    "z=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_BZIP2)\n"
    "for d,ds,fs in sorted(os.walk('.')):\n"
    "  [z.write(os.path.join(d,n)) for n in sorted(ds+fs)]\n"
    "z.close()\" @";

TEST_F(UnzDllInteropTest, Bzip2ArchivesExtractLikeUnzip) {
  std::string python = Write(kPythonBzip2Writer);
  ExpectBzip2(python);
  EXPECT_EQ(RunIn(dir_.path(), "unzip -tq " + ShellQuote(python)).status, 0);
  Compare(python, "python zipfile bzip2");
  std::string encrypted = Write("7z a -tzip -mm=BZip2 -mem=ZipCrypto -pPW-bz2 -bso0 -bsp0 @ .");
  ExpectBzip2(encrypted);
  Compare(encrypted, "7z bzip2 ZipCrypto", "PW-bz2");
}

TEST_F(UnzDllInteropTest, Bzip2MemberToMemory) {
  std::string archive = Write(kPythonBzip2Writer);
  for (const char* name : {"a.txt", "sub/deep/noise.bin"}) {
    std::string want = ReadTextFile(src_ + "/" + name);
    UnzRun run;
    run.archive = archive;
    run.specs = {name};
    run.toMemory = true;
    run.provideBlock = false;  // asked for, at the declared size
    ASSERT_TRUE(RunUnzEngine(run));
    EXPECT_EQ(run.result, 1) << name;
    EXPECT_EQ(run.Count(kActionOutputMemory), 1) << name;
    EXPECT_TRUE(run.MemoryText() == want) << name;
  }
}

// A one-member bzip2 archive from Python, altered after writing.
TEST_F(UnzDllInteropTest, FaultyBzip2MembersAreStoppedWithoutAFile) {
  std::string text = ReadTextFile(src_ + "/a.txt");
  WriteTextFile(dir_ / "one.txt", text);
  std::string original = dir_ / "one.zip";
  ASSERT_EQ(RunIn(dir_.path(), "python3 -c \"import zipfile\n"
                               "zipfile.ZipFile('one.zip','w',zipfile.ZIP_BZIP2).write('one.txt')\"")
                .status,
            0);
  const std::string bytes = ReadTextFile(original);
  ASSERT_EQ(bytes.compare(0, 4, "PK\3\4"), 0);
  const size_t central = bytes.find("PK\1\2");
  ASSERT_NE(central, std::string::npos);
  auto put32 = [](std::string& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
  };
  // Both headers carry the uncompressed size: local at 22, central at 24.
  auto declare = [&](uint32_t size) {
    std::string b = bytes;
    put32(b, 22, size);
    put32(b, central + 24, size);
    return b;
  };
  const size_t dataStart = 30 + (static_cast<uint8_t>(bytes[26]) | static_cast<uint8_t>(bytes[27]) << 8) +
                           (static_cast<uint8_t>(bytes[28]) | static_cast<uint8_t>(bytes[29]) << 8);
  std::string damaged = bytes;
  for (size_t i = 0; i < 8; ++i) damaged[dataStart + (central - dataStart) / 2 + i] ^= 0x55;
  std::string magicless = bytes;
  magicless[dataStart] = 'X';  // not "BZh" any more

  struct Case {
    const char* what;
    std::string archive;
    int32_t error;
    bool unzipRejects;  // unzip -t checks the data, not the declared size
  } cases[] = {
      {"declared too small", declare(static_cast<uint32_t>(text.size() / 2)), kEngineSizeError, false},
      {"declared one byte short", declare(static_cast<uint32_t>(text.size() - 1)), kEngineSizeError, false},
      {"declared too large", declare(static_cast<uint32_t>(text.size() + 100)), kEngineSizeError, false},
      {"damaged stream", damaged, kEngineBadArchive, true},
      {"no stream signature", magicless, kEngineBadArchive, true},
  };
  for (const Case& c : cases) {
    std::string archive = dir_ / (std::string("faulty-") + std::to_string(&c - cases) + ".zip");
    WriteTextFile(archive, c.archive);
    if (c.unzipRejects) {
      EXPECT_NE(RunIn(dir_.path(), "unzip -tq " + ShellQuote(archive)).status, 0) << c.what << ": unzip -t agrees";
    }
    for (bool test : {false, true}) {
      std::string out = dir_ / (std::string("out-") + std::to_string(&c - cases) + (test ? "-t" : ""));
      fs::create_directories(out);
      UnzRun run = UnzRun::Of(archive, out, "", test);
      ASSERT_TRUE(RunUnzEngine(run));
      EXPECT_EQ(run.result, 0) << c.what;
      ASSERT_EQ(run.Count(kActionSkipped), 1) << c.what;
      EXPECT_EQ(run.Of(kActionSkipped)[0].error, c.error) << c.what;
      EXPECT_EQ(run.Of(kActionSkipped)[0].value, kSkipFormatWrong) << c.what;
      EXPECT_EQ(run.Messages(c.error).size(), 1u) << c.what;
      EXPECT_TRUE(fs::is_empty(out)) << c.what << (test ? " (test)" : "");
    }
  }
}

TEST_F(UnzDllInteropTest, WrongPasswordAsksThenFailsWithoutAFile) {
  std::string archive = Write("7z a -tzip -mem=ZipCrypto -pRight -bso0 -bsp0 @ .");
  std::string out = dir_ / "wrong";
  fs::create_directories(out);
  UnzRun run;
  run.archive = archive;
  run.baseDir = out;
  run.specs = {"a.txt"};
  run.password = "Wrong";
  run.passwordRequests = 3;
  run.passwordAnswers = {"nope", "still wrong", std::nullopt};
  ASSERT_TRUE(RunUnzEngine(run));
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(run.Count(kActionPassword), 3);
  EXPECT_EQ(run.Messages(kEngineBadPassword).size(), 1u);
  EXPECT_FALSE(fs::exists(out + "/a.txt"));
  EXPECT_TRUE(fs::is_empty(out));
}

}  // namespace
