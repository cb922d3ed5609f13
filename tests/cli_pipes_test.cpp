// The command line on pipes: archives read from standard input and written to
// standard output, member data to standard output, names from standard input;
// each compared with what zip and unzip give, and no temporary file left.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/PeerTools.h"
#include "tests/support/TempDir.h"
#include "tools/ExitStatus.h"

namespace {

using testsupport::RunIn;

TEST(CliPipesTest, ArchivesAndMembersThroughPipes) {
  if (!testsupport::HaveTool("zip") || !testsupport::HaveTool("unzip")) GTEST_SKIP() << "zip and unzip needed";
  testsupport::TempDir dir;
  std::filesystem::create_directories(dir / "tmp");
  std::filesystem::create_directories(dir / "t/sub");
  testsupport::WriteTextFile(dir / "t/a.txt", std::string(5000, 'a') + "\n");
  testsupport::WriteTextFile(dir / "t/sub/b.txt", "bee\n");
  testsupport::WriteTextFile(dir / "names", "t/a.txt\nt/sub/b.txt\n");
  const std::string tool = "TMPDIR=" + (dir / "tmp") + " " + std::string(ZB_BINARY_DIR) + "/zipbuilder";
  struct Case {
    std::string ours, peers;  // shell commands whose standard output must agree
    int status;
  } cases[] = {
      {tool + " add -q -@ named.zip < names && unzip -Z1 named.zip",
       "zip -q -@ peer.zip < names && unzip -Z1 peer.zip", kExitOk},
      {tool + " add -q -r - t > piped.zip && unzip -tq piped.zip >/dev/null && unzip -p piped.zip",
       "unzip -p peer.zip", kExitOk},
      {tool + " extract -p peer.zip", "unzip -p peer.zip", kExitOk},
      {tool + " extract -p peer.zip 't/sub/*'", "unzip -p peer.zip 't/sub/*'", kExitOk},
      {"cat peer.zip | " + tool + " extract -p -", "unzip -p peer.zip", kExitOk},
      {"cat peer.zip | " + tool + " list - | grep -c txt", "echo 2", kExitOk},
      {tool + " list peer.zip | grep -c ' t/sub/b.txt$'", "echo 1", kExitOk},  // shown with /
      {"cat peer.zip | " + tool + " test - >/dev/null && echo tested", "echo tested", kExitOk},
      {"cat peer.zip | " + tool + " extract -d out - && cat out/t/a.txt out/t/sub/b.txt",
       "cat t/a.txt t/sub/b.txt", kExitOk},
      {tool + " extract -p peer.zip nothing", "true", kExitNothingMatched},
      {"echo garbage | " + tool + " list -", "true", kExitError},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ours);
    auto peers = RunIn(dir.path(), c.peers);
    auto ours = RunIn(dir.path(), c.ours);
    EXPECT_EQ(ours.status, c.status) << ours.err;
    EXPECT_EQ(ours.out, peers.out);
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir / "tmp")) << "temporary files left";
}

}  // namespace
