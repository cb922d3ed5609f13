// Extraction through the component and the decompression engine, against what
// unzip makes of the same archives written by zip, 7z, bsdtar and Python; wrong
// passwords; and the exit statuses of the extract and test commands.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>

#include "tests/support/ArchiveBytes.h"
#include "tests/support/CraftedZip.h"
#include "tests/support/FileTree.h"
#include "tests/support/PeerTools.h"
#include "tests/support/TempDir.h"
#include "tools/ExitStatus.h"
#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"

namespace fs = std::filesystem;
using testsupport::RunIn;
using testsupport::ShellQuote;

namespace {

const char* const kFixtures = R"sh(
set -e
mkdir -p src/sub/deeper src/with\ space
printf 'hello\n' > src/a.txt
: > src/empty.txt
head -c 300000 /dev/urandom > src/sub/random.bin
head -c 200000 /dev/zero | tr '\0' 'q' > src/sub/deeper/repeat.txt
printf 'spaced\n' > 'src/with space/name.txt'
find src -type f -exec touch -d '2021-06-15 10:20:30' {} +
(cd src && zip -q -r ../zip.zip .)
(cd src && zip -q -r -P secret ../zip-enc.zip .)
# written to a pipe, so every member carries a data descriptor
(cd src && zip -q -r - . | cat > ../zip-stream.zip)
(cd src && 7z a -tzip -mm=Deflate -bd -bso0 ../7z.zip .)
(cd src && 7z a -tzip -psecret -mem=ZipCrypto -bd -bso0 ../7z-enc.zip .)
(cd src && bsdtar --format zip -cf ../bsdtar.zip a.txt empty.txt sub 'with space')
(cd src && python3 -c "
import os, zipfile
with zipfile.ZipFile('../python.zip', 'w', zipfile.ZIP_DEFLATED) as z:
    for root, dirs, files in os.walk('.'):
        for f in sorted(files):
            z.write(os.path.join(root, f))
")
)sh";

// The files a wrong password left below `root`. The traditional cipher's one-byte
// check passes a wrong password about once in 256 tries; for the empty member
// that yields a correct empty file, which is no fault.
std::map<std::string, std::string> WrittenWithAWrongPassword(const std::string& root) {
  auto tree = testsupport::FileTree(root);
  auto empty = tree.find("empty.txt");
  if (empty != tree.end() && empty->second.empty()) tree.erase(empty);
  return tree;
}

void ExpectSameTree(const std::string& ours, const std::string& reference) {
  auto a = testsupport::FileTree(ours), b = testsupport::FileTree(reference);
  ASSERT_FALSE(b.empty());
  ASSERT_EQ(a.size(), b.size());
  auto aTimes = testsupport::FileTimes(ours), bTimes = testsupport::FileTimes(reference);
  for (const auto& [name, bytes] : b) {
    auto it = a.find(name);
    ASSERT_NE(it, a.end()) << name;
    EXPECT_TRUE(it->second == bytes) << name;
    EXPECT_LE(std::llabs(aTimes[name] - bTimes[name]), 1) << name;
  }
}

struct ExtractInterop : ::testing::Test {
  static inline testsupport::TempDir* dir = nullptr;
  static inline bool ready = false;

  static void SetUpTestSuite() {
    dir = new testsupport::TempDir;
    auto made = RunIn(dir->path(), kFixtures);
    ready = made.status == 0;
    if (!ready) std::fprintf(stderr, "fixtures failed: %s\n", made.err.c_str());
  }
  static void TearDownTestSuite() {
    delete dir;
    dir = nullptr;
  }

  ui::ScriptedUi ui;
  TZipBuilder zip{nullptr, &ui};

  void SetUp() override {
    ASSERT_TRUE(ready);
    zip.Unattended = true;
    zip.SetDLLDirectory(ZB_BINARY_DIR);
  }

  // Extracts `archive` through the component into `target`; returns SuccessCount.
  int ExtractWithComponent(const std::string& archive, const std::string& target, const std::string& password) {
    fs::create_directories(target);
    zip.Password = password;
    zip.SetFileName(archive);
    zip.ExtrBaseDir = target;
    zip.ExtrOptions = ExtrOpts{ExtrDirNames, ExtrOverWrite};
    zip.SetFSpecArgs({"*"});
    zip.Extract();
    return zip.SuccessCount();
  }
};

TEST_F(ExtractInterop, PeerArchivesExtractToTheTreesUnzipGives) {
  struct Case {
    const char* archive;
    const char* password;
  } cases[] = {{"zip.zip", ""},       {"zip-enc.zip", "secret"}, {"zip-stream.zip", ""}, {"7z.zip", ""},
               {"7z-enc.zip", "secret"}, {"bsdtar.zip", ""},      {"python.zip", ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.archive);
    std::string name = c.archive;
    std::string ours = *dir / ("ours-" + name), theirs = *dir / ("unzip-" + name);
    auto ref = RunIn(dir->path(), "unzip -q -o " + std::string(*c.password ? "-P secret " : "") + ShellQuote(name) +
                                      " -d " + ShellQuote(theirs));
    ASSERT_EQ(ref.status, 0) << ref.err;
    int count = ExtractWithComponent(*dir / name, ours, c.password);
    EXPECT_GT(count, 0) << zip.Message();
    ExpectSameTree(ours, theirs);
  }
}

TEST_F(ExtractInterop, WrongPasswordIsAskedForThenFailsWithoutAFile) {
  for (const char* archive : {"zip-enc.zip", "7z-enc.zip"}) {
    SCOPED_TRACE(archive);
    int requests = 0;
    zip.OnPasswordError = [&](TZipBuilder*, bool, std::string& pw, const std::string&, uint32_t&, TPasswordButton&) {
      ++requests;
      pw = "still wrong";
    };
    zip.SetPasswordReqCount(2);
    std::string target = *dir / (std::string("wrong-") + archive);
    int count = ExtractWithComponent(*dir / archive, target, "wrong");
    EXPECT_GT(requests, 0);
    EXPECT_EQ(WrittenWithAWrongPassword(target).size(), 0u) << "no file, not even a partial one";
    EXPECT_NE(zip.ErrCode(), 0);
    EXPECT_FALSE(zip.Message().empty());
    const int emptyMember = fs::exists(fs::path(target) / "empty.txt") ? 1 : 0;
    EXPECT_LE(count, 3 + emptyMember) << "at most the three directory entries";
  }
}

TEST_F(ExtractInterop, MemberToMemoryMatchesTheFile) {
  zip.SetFileName(*dir / "zip.zip");
  TZipStream* stream = zip.ExtractFileToStream("SUB\\DEEPER\\Repeat.txt");
  ASSERT_NE(stream, nullptr) << zip.Message();
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(stream->Memory()), static_cast<size_t>(stream->Size())),
            testsupport::ReadTextFile(*dir / "src/sub/deeper/repeat.txt"));
}

TEST_F(ExtractInterop, CommandExitStatuses) {
  // A crafted archive with one member climbing out of the base directory.
  auto evil = testsupport::BuildArchive(
      {testsupport::TestMember("../escaped.txt", "bad"), testsupport::TestMember("fine.txt", "good")});
  testsupport::WriteTextFile(*dir / "evil.zip", evil.bytes);
  // A member in a method no engine reads, beside one that extracts.
  testsupport::CraftedMember unknown("ppmd.txt", "ppmd data");
  unknown.method = 98;
  testsupport::WriteTextFile(
      *dir / "unsupported.zip",
      testsupport::CraftZip({unknown, testsupport::CraftedMember("fine.txt", "good")}));
  const std::string tool = ShellQuote(std::string(ZB_BINARY_DIR) + "/zipbuilder");
  struct Case {
    std::string args;
    int status;
  } cases[] = {
      {"extract -d cli-plain zip.zip", kExitOk},
      {"test zip.zip", kExitOk},
      {"extract -d cli-enc -P secret zip-enc.zip", kExitOk},
      {"extract -d cli-wrong -P wrong zip-enc.zip", kExitError},
      {"test -P wrong 7z-enc.zip", kExitError},
      {"extract -d cli-none zip.zip 'nothing*'", kExitNothingMatched},
      {"extract -d cli-missing missing.zip", kExitNoArchive},
      {"extract -d cli-evil/inner evil.zip", kExitWarning},
      {"extract -d cli-plain -n zip.zip", kExitOk},
      {"extract -d cli-plain zip.zip < /dev/null", kExitWarning},  // nobody to ask: kept
      {"extract -d cli-unsupported unsupported.zip", kExitError},
      {"test unsupported.zip", kExitError},
  };
  for (const auto& c : cases) {
    auto run = RunIn(dir->path(), tool + " " + c.args);
    EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.err;
  }
  ExpectSameTree(*dir / "cli-plain", *dir / "src");
  EXPECT_TRUE(WrittenWithAWrongPassword(*dir / "cli-wrong").empty());
  EXPECT_FALSE(fs::exists(*dir / "cli-evil/escaped.txt"));
  EXPECT_TRUE(fs::exists(*dir / "cli-evil/inner/fine.txt"));
  EXPECT_TRUE(fs::exists(*dir / "cli-unsupported/fine.txt"));
  EXPECT_FALSE(fs::exists(*dir / "cli-unsupported/ppmd.txt"));
}

}  // namespace
