// The run's log: `setup --log FILE` and `/LOG=FILE` write one timestamped line
// per step, read back here from the real program's runs.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "tests/installer/InstallerHarness.h"

namespace {

using testsupport::InstallerHarness;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(InstallerLog, EveryStepIsALine) {
  const struct {
    const char* name;
    const char* option;  // "%s" stands for the log's path
    bool damaged;        // the package's second member has a wrong CRC
    int status;
    std::vector<std::string> steps;  // found in this order, each in a line of its own
  } cases[] = {
      {"installed", "--log %s", false, 0,
       {"setup started unattended", "descriptor ", "registry key HKEY_LOCAL_MACHINE\\Software", "member version.ver: 23 bytes, CRC ",
        "versions compared: installed 6.05 (605), minimum 6.00 (600), update 6.10 (610)",
        "installing into C:\\Program Files\\Demo", "backed up bin/demo.exe", "member bin\\demo.exe: 15 bytes, CRC ",
        "backup removed", "outcome: installed", "exit status 0"}},
      {"failed, Windows spelling", "/LOG=%s", true, 4,
       {"setup started unattended", "versions compared:", "backed up bin/demo.exe", "rolling back",
        "restored bin/demo.exe", "rollback complete", "outcome: failed", "previous version restored",
        "exit status 4"}},
  };
  const std::regex stamp(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} .+$)");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    InstallerHarness h;
    h.InstallDemo("Update to 6.10\ndemo.exe\n", "6.05");
    testsupport::CraftedMember main("bin/demo.exe", "the new program");
    if (c.damaged) main.declaredCrc = 1;
    h.CraftPackage({{"version.ver", "bin\\demo.exe\n6.00\n6.10\n"}, main, {"doc/new.txt", "new"}});
    std::string program = h.CopyProgram();
    std::string log = h.Root() + "/setup.log";
    std::string option = c.option;
    option.replace(option.find("%s"), 2, testsupport::ShellQuote(log));
    auto result = testsupport::RunIn(h.Root(), testsupport::ShellQuote(program) + " --unattended " + option);
    EXPECT_EQ(result.status, c.status) << result.out << result.err;

    std::vector<std::string> lines = Lines(testsupport::ReadTextFile(log));
    ASSERT_FALSE(lines.empty());
    for (const std::string& line : lines) EXPECT_TRUE(std::regex_match(line, stamp)) << line;
    size_t at = 0;
    for (const std::string& step : c.steps) {
      while (at < lines.size() && lines[at].find(step) == std::string::npos) ++at;
      EXPECT_LT(at, lines.size()) << "no line, or not in order: " << step;
    }
  }
}

TEST(InstallerLog, ALogThatCannotBeWrittenEndsTheProgram) {
  InstallerHarness h;
  std::string program = h.CopyProgram();
  auto result = testsupport::RunIn(h.Root(), testsupport::ShellQuote(program) + " --unattended --log " +
                                                 testsupport::ShellQuote(h.Root() + "/missing/setup.log"));
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("setup: cannot write the log"), std::string::npos) << result.err;
}

}  // namespace
