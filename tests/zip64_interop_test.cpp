// ZIP64 archives written by Python's zipfile: a member beyond 4 GiB (zeros,
// deflated, made on the fly), more than 65,535 members, and members whose data
// descriptors carry 8-byte sizes. The engine extracts them; the component lists
// them.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "tests/support/PeerTools.h"
#include "tests/support/TempDir.h"
#include "tests/support/UnzEngineRunner.h"
#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

class Zip64Interop : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTool("python3")) GTEST_SKIP() << "python3 missing";
  }
  void Python(const std::string& script) {
    CommandResult r = RunIn(dir_.path(), "python3 -c " + ShellQuote(script));
    ASSERT_EQ(r.status, 0) << r.err;
  }
  TempDir dir_;
};

// Runs the engine in a child process; returns its result and the child's peak
// resident memory in KiB.
std::pair<int, long> RunMeasured(UnzRun& run) {
  const pid_t child = fork();
  if (child == 0) {
    RunUnzEngine(run);
    _exit(run.result < 0 ? 255 : run.result);
  }
  int status = 0;
  struct rusage usage {};
  wait4(child, &status, 0, &usage);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, usage.ru_maxrss};
}

TEST_F(Zip64Interop, MemberOfFiveGibibytesExtractsInBoundedMemory) {
  constexpr uint64_t kSize = 5ull << 30;
  Python(
      "import zipfile\n"
      "z = zipfile.ZipFile('big.zip', 'w', zipfile.ZIP_DEFLATED, compresslevel=1)\n"
      "z.writestr('before.txt', b'small one')\n"
      "zero = bytes(8 << 20)\n"
      "with z.open('big.bin', 'w', force_zip64=True) as f:\n"
      "  for i in range(" +
      std::to_string(kSize >> 23) +
      "): f.write(zero)\n"
      "z.writestr('after.txt', b'behind the big one')\n"
      "z.close()\n");
  const std::string out = dir_ / "out";
  fs::create_directories(out);
  UnzRun run;
  run.archive = dir_ / "big.zip";
  run.baseDir = out;
  auto [result, peakKiB] = RunMeasured(run);
  EXPECT_EQ(result, 3);
  EXPECT_LT(peakKiB, 64 * 1024) << "peak resident memory in KiB";
  std::printf("5 GiB member: peak resident memory %ld KiB\n", peakKiB);
  EXPECT_EQ(fs::file_size(out + "/big.bin"), kSize);
  EXPECT_EQ(ReadTextFile(out + "/after.txt"), "behind the big one");
  fs::remove(out + "/big.bin");

  // The component lists it: the sizes in its records keep their 32-bit width,
  // and the 64-bit accessors give the true ones.
  ui::ScriptedUi ui;
  TZipBuilder zip{nullptr, &ui};
  zip.Unattended = true;
  zip.SetFileName(dir_ / "big.zip");
  ASSERT_EQ(zip.Count(), 3);
  EXPECT_EQ(zip.ZipDirEntryRecords()[2]->FileName, "after.txt");
  EXPECT_EQ(zip.ZipDirEntryRecords()[1]->UncompressedSize64(), kSize);
  // The command line shows the true size from the ZIP64 block, in the totals too.
  CommandResult list = RunIn(dir_.path(), std::string(ZB_BINARY_DIR) + "/zipbuilder list big.zip");
  EXPECT_NE(list.out.find("\n5368709120 "), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("\n5368709147 "), std::string::npos) << list.out;
}

TEST_F(Zip64Interop, SeventyThousandMembersListAndExtract) {
  constexpr int kMembers = 70000;
  Python(
      "import zipfile\n"
      "z = zipfile.ZipFile('many.zip', 'w')\n"
      "for i in range(" +
      std::to_string(kMembers) +
      "): z.writestr('d%02d/m%05d' % (i % 50, i), str(i))\n"
      "z.close()\n");
  ui::ScriptedUi ui;
  TZipBuilder zip{nullptr, &ui};
  zip.Unattended = true;
  zip.SetFileName(dir_ / "many.zip");
  ASSERT_EQ(zip.Count(), kMembers);
  EXPECT_EQ(zip.ZipDirEntryRecords()[kMembers - 1]->FileName, "d49\\m69999");

  const std::string out = dir_ / "out";
  fs::create_directories(out);
  UnzRun run;
  run.archive = dir_ / "many.zip";
  run.baseDir = out;
  ASSERT_TRUE(RunUnzEngine(run));
  EXPECT_EQ(run.result, kMembers);
  EXPECT_EQ(ReadTextFile(out + "/d00/m00000"), "0");
  EXPECT_EQ(ReadTextFile(out + "/d49/m69999"), "69999");
  EXPECT_EQ(ReadTextFile(out + "/d17/m65567"), "65567");
}

TEST_F(Zip64Interop, DataDescriptorsWithEightByteSizes) {
  // Written to a pipe, Python puts sizes and CRCs in descriptors behind the data;
  // forced ZIP64, the descriptors carry 8-byte sizes.
  CommandResult r =
      RunIn(dir_.path(), "python3 -c " +
                             ShellQuote("import sys, zipfile\n"
                                        "z = zipfile.ZipFile(sys.stdout.buffer, 'w', "
                                        "zipfile.ZIP_DEFLATED)\n"
                                        "for n in ('one.txt', 'two.txt'):\n"
                                        "  with z.open(n, 'w', force_zip64=True) as f:\n"
                                        "    f.write(n.encode() * 50000)\n"
                                        "z.close()\n") +
                             " | cat > piped.zip");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string bytes = ReadTextFile(dir_ / "piped.zip");
  ASSERT_NE(bytes.find("PK\7\10"), std::string::npos) << "no data descriptor written";
  for (bool test : {false, true}) {
    const std::string out = dir_ / (test ? "tested" : "out");
    fs::create_directories(out);
    UnzRun run;
    run.archive = dir_ / "piped.zip";
    run.baseDir = out;
    run.test = test;
    ASSERT_TRUE(RunUnzEngine(run));
    EXPECT_EQ(run.result, 2);
    EXPECT_EQ(run.Count(kActionSkipped), 0);
  }
  std::string want;
  for (int i = 0; i < 50000; ++i) want += "two.txt";
  EXPECT_TRUE(ReadTextFile(dir_ / "out/two.txt") == want);
}

}  // namespace
