// -q and -v on every subcommand: quiet runs print only errors, warnings and the
// output asked for; verbose runs name each member they handle.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/support/PeerTools.h"
#include "tests/support/TempDir.h"
#include "tools/ExitStatus.h"

namespace {

using testsupport::RunIn;

TEST(CliVerbosityTest, QuietAndVerboseOnEverySubcommand) {
  testsupport::TempDir dir;
  const std::string zb = std::string(ZB_BINARY_DIR) + "/zipbuilder ";
  testsupport::WriteTextFile(dir / "f1.txt", std::string(70000, 'a'));
  testsupport::WriteTextFile(dir / "f2.txt", "second");
  ASSERT_EQ(RunIn(dir.path(), zb + "add -q a.zip f1.txt f2.txt").status, kExitOk);
  ASSERT_EQ(RunIn(dir.path(), zb + "comment a.zip hello").status, kExitOk);
  struct Case {
    std::string command;
    const char* inOutput;  // must be on stdout ("" for nothing at all)
    const char* inErrors;  // must be on stderr ("" for nothing at all)
  };
  const Case cases[] = {
      {"add -q q.zip f1.txt", "", ""},
      {"add -v v.zip f1.txt f2.txt", "", "adding: f2.txt"},
      {"list -q a.zip", "f1.txt", ""},
      {"list -v a.zip", "Encryption", ""},
      {"test -q a.zip", "No errors detected", ""},
      {"test -v a.zip", "No errors detected", "testing: f1.txt"},
      {"extract -q -d q a.zip", "", ""},
      {"extract -v -d v a.zip", "", "extracting: f2.txt"},
      {"comment -q a.zip", "hello", ""},
      {"copy -q a.zip c.zip f1.txt", "", ""},
      {"rename -q c.zip f1.txt=g1.txt", "", ""},
      {"delete -q v.zip f1.txt", "", ""},
      {"split -q -s 64k a.zip s.zip", "", ""},
      {"join -q s.zip j.zip", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    const auto r = RunIn(dir.path(), zb + c.command);
    EXPECT_EQ(r.status, kExitOk) << r.err;
    for (const auto& [text, seen] : {std::pair{c.inOutput, r.out}, std::pair{c.inErrors, r.err}}) {
      if (*text == '\0') EXPECT_EQ(seen, "");
      else EXPECT_NE(seen.find(text), std::string::npos) << seen;
    }
  }
  // A quiet listing is the member lines alone: no header, no totals.
  const auto listed = RunIn(dir.path(), zb + "list -q a.zip");
  EXPECT_EQ(listed.out.find("Length"), std::string::npos) << listed.out;
  EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), 2) << listed.out;
}

}  // namespace
