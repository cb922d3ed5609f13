// split --naming: the numbered set and the split-archive naming that zip -s and
// 7-Zip read, each checked with the peers.
#include <gtest/gtest.h>

#include "tests/support/PeerTools.h"
#include "tests/support/TempDir.h"
#include "tools/ExitStatus.h"

namespace {

using testsupport::RunIn;

TEST(CliSplitNamingTest, VolumesAreNamedAsTheirReadersExpect) {
  for (const char* tool : {"zip", "unzip", "7z"})
    if (!testsupport::HaveTool(tool)) GTEST_SKIP() << tool << " needed";
  testsupport::TempDir dir;
  const std::string zb = testsupport::ZipBuilderTool();
  ASSERT_EQ(RunIn(dir.path(), "head -c 300000 /dev/urandom > r.bin && seq 1 50000 > n.txt && "
                              "zip -q a.zip r.bin n.txt").status, 0);
  struct Case {
    std::string command;  // run in a fresh copy of the directory
    int status;
    std::string check;    // must then succeed; empty for none
  } cases[] = {
      {zb + " split --naming zip -s 100k a.zip set.zip", kExitOk,
       "ls set.z01 set.z02 set.z03 set.zip && ! ls set00* && 7z t set.zip"},
      {zb + " split --naming zip -s 100k a.zip set.zip", kExitOk,
       "zip -q -s 0 set.zip --out joined.zip && unzip -tq joined.zip"},
      {zb + " split -s 100k a.zip set.zip", kExitOk, "ls set001.zip set004.zip && ! ls set.z01"},
      {zb + " split --naming numbered -s 100k a.zip set.zip", kExitOk, "ls set001.zip set004.zip"},
      {zb + " split --naming tar -s 100k a.zip set.zip", kExitUsage, "! ls set*"},
      {zb + " split --naming zip -s 100k a.zip a.zip", kExitUsage, "unzip -tq a.zip"},
      {zb + " split --help", kExitOk, ""},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    const std::string run = "run" + std::to_string(n++);
    ASSERT_EQ(RunIn(dir.path(), "mkdir " + run + " && cp a.zip " + run).status, 0);
    auto ours = RunIn(dir / run, c.command);
    EXPECT_EQ(ours.status, c.status) << ours.err;
    if (c.check.empty()) continue;
    auto check = RunIn(dir / run, c.check);
    EXPECT_EQ(check.status, 0) << check.out << check.err;
  }
}

}  // namespace
