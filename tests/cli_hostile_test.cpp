// The command-line tool on odd and hostile archives: empty ones, names with
// control characters, special files, permissions wider than the umask,
// members sharing their data, and a run interrupted by a signal.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>
#include <tuple>

#include "tests/support/CraftedZip.h"
#include "tests/support/PeerTools.h"
#include "tests/support/TempDir.h"
#include "tests/support/Noise.h"
#include "tools/ExitStatus.h"

namespace {

using testsupport::CraftedMember;
using testsupport::CraftArchive;
using testsupport::CraftZip;
using testsupport::RunIn;
using testsupport::WriteTextFile;

const std::string kTool = std::string(ZB_BINARY_DIR) + "/zipbuilder";

struct CliHostileTest : ::testing::Test {
  testsupport::TempDir dir;
  void SetUp() override { umask(022); }
  testsupport::CommandResult Run(const std::string& args) {
    return RunIn(dir.path(), kTool + " " + args);
  }
  std::vector<std::string> Files(const std::string& sub) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir / sub))
      names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
};

// An archive of nothing is empty, not "nothing matched": a warning, status 1.
TEST_F(CliHostileTest, EmptyArchiveIsSaidToBeEmpty) {
  WriteTextFile(dir / "e.zip", CraftZip({}));
  for (const char* command : {"test e.zip", "extract -d out e.zip"}) {
    SCOPED_TRACE(command);
    auto r = Run(command);
    EXPECT_EQ(r.status, kExitWarning) << r.err;
    EXPECT_NE(r.err.find("e.zip is empty"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("Errors detected"), std::string::npos) << r.out;
  }
}

// Control characters never reach the terminal raw, nor become file names.
TEST_F(CliHostileTest, ControlCharactersAreEscapedAndReplaced) {
  WriteTextFile(dir / "c.zip", CraftZip({{"a\x1b[31mred\r\nx.txt", "hi"}}));
  auto listed = Run("list c.zip");
  EXPECT_EQ(listed.status, kExitOk);
  EXPECT_NE(listed.out.find("a\\x1b[31mred\\x0d\\x0ax.txt"), std::string::npos) << listed.out;
  EXPECT_EQ(listed.out.find('\x1b'), std::string::npos);
  auto extracted = Run("extract -d out c.zip");
  EXPECT_EQ(extracted.status, kExitWarning) << extracted.err;
  EXPECT_NE(extracted.err.find("replaced by \"_\""), std::string::npos) << extracted.err;
  EXPECT_EQ(extracted.err.find('\x1b'), std::string::npos);
  EXPECT_EQ(extracted.err.find('\r'), std::string::npos);
  EXPECT_EQ(Files("out"), std::vector<std::string>{"a_[31mred__x.txt"});
}

// Names and settings the tool prints reach the terminal escaped, whichever
// command prints them; failures name their cause, never a bare code.
TEST_F(CliHostileTest, EveryNameAndSettingPrintedIsEscaped) {
  const std::string hostile = "a\x1b[31mred\r.txt";
  WriteTextFile(dir / "c.zip", CraftZip({{hostile, "hi"}, {"plain.txt", "p"}}));
  WriteTextFile(dir / "d.zip", CraftZip({{hostile, "theirs"}}));
  WriteTextFile(dir / "e.zip", CraftZip({{"plain.txt", "p"}}));
  WriteTextFile(dir / "stub\x1b[2J.bin", "MZ" + std::string(510, '\x90'));
  const std::string q = testsupport::ShellQuote(hostile);
  auto expectClean = [](const testsupport::CommandResult& r) {
    const std::string printed = r.out + r.err;
    EXPECT_EQ(printed.find('\x1b'), std::string::npos) << printed;
    EXPECT_EQ(printed.find('\r'), std::string::npos) << printed;
    EXPECT_EQ(printed.find("(code"), std::string::npos) << printed;
  };
  struct Case {
    std::string args;
    int status;
    std::string expected;  // in stdout or stderr, escaped
  } cases[] = {
      {"copy -n d.zip c.zip " + q, kExitOk, "kept: a\\x1b[31mred\\x0d.txt"},
      {"rename c.zip " + testsupport::ShellQuote("red=blue\x1b[0m"), kExitOk,
       "a\\x1b[31mred\\x0d.txt renamed to: a\\x1b[31mblue\\x1b[0m\\x0d.txt"},
      {"rename c.zip " + q, kExitUsage, "'a\\x1b[31mred\\x0d.txt' is not of the form"},
      {"sfx --stub " + testsupport::ShellQuote("stub\x1b[2J.bin") + " --caption " +
           testsupport::ShellQuote("cap\x1b]0;title\x07") + " e.zip",
       kExitOk, "(stub stub\\x1b[2J.bin)"},
      {testsupport::ShellQuote("no\x1b[1mcommand"), kExitUsage, "unknown command 'no\\x1b[1mcommand'"},
      {"extract " + testsupport::ShellQuote("-\x1b[1m") + " c.zip", kExitUsage, "unknown option -\\x1b[1m"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    auto r = Run(c.args);
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    EXPECT_NE((r.out + r.err).find(c.expected), std::string::npos) << r.out << r.err;
    expectClean(r);
  }
  // unsfx: a failure without a report of its own says what failed; the
  // settings it prints once it succeeds are escaped.
  std::filesystem::create_directory(dir / "e.zip");
  auto failed = Run("unsfx e.exe");
  EXPECT_EQ(failed.status, kExitError) << failed.err;
  EXPECT_FALSE(failed.err.empty());
  expectClean(failed);
  std::filesystem::remove(dir / "e.zip");
  auto back = Run("unsfx e.exe");
  EXPECT_EQ(back.status, kExitOk) << back.err;
  EXPECT_NE(back.out.find("caption: cap\\x1b]0;title\\x07"), std::string::npos) << back.out;
  expectClean(back);
}

// An archive comment is printed as stored through a pipe, and escaped on a terminal.
TEST_F(CliHostileTest, CommentIsEscapedOnlyOnATerminal) {
  WriteTextFile(dir / "c.zip", CraftZip({{"plain.txt", "p"}}));
  ASSERT_EQ(RunIn(dir.path(), "printf 'x\\033[31mred\\n' | " + kTool + " comment c.zip -").status, kExitOk);
  EXPECT_EQ(Run("comment c.zip").out, "x\x1b[31mred\n");
  auto onTerminal = RunIn(dir.path(), "script -qec " + testsupport::ShellQuote(kTool + " comment c.zip") + " /dev/null");
  EXPECT_NE(onTerminal.out.find("x\\x1b[31mred"), std::string::npos) << onTerminal.out;
  EXPECT_EQ(onTerminal.out.find('\x1b'), std::string::npos) << onTerminal.out;
}

// On a terminal, extract asks per file: y and n for one, A and N for all still
// to come, r for this one under a new name (the old file stays).
TEST_F(CliHostileTest, OverwriteQuestionsOnATerminal) {
  WriteTextFile(dir / "two.zip", CraftZip({{"a.txt", "new a"}, {"b.txt", "new b"}}));
  std::filesystem::create_directory(dir / "out");
  const std::tuple<const char*, const char*, const char*, const char*> answers[] = {
      {"N", "old", "old", ""},           {"y\\nn", "new a", "old", ""}, {"n\\nA", "old", "new b", ""},
      {"A", "new a", "new b", ""},       {"r\\nsub/c.txt\\nn", "old", "old", "new a"}};
  for (const auto& [typed, a, b, renamed] : answers) {
    SCOPED_TRACE(typed);
    WriteTextFile(dir / "out/a.txt", "old");
    WriteTextFile(dir / "out/b.txt", "old");
    auto r = RunIn(dir.path(), "printf '" + std::string(typed) + "\\n' | script -qec " +
                                   testsupport::ShellQuote(kTool + " extract -d out two.zip") + " /dev/null");
    EXPECT_NE(r.out.find("replace a.txt? [y]es, [n]o, [A]ll, [N]one, [r]ename"), std::string::npos) << r.out;
    EXPECT_EQ(testsupport::ReadTextFile(dir / "out/a.txt"), a);
    EXPECT_EQ(testsupport::ReadTextFile(dir / "out/b.txt"), b);
    EXPECT_EQ(std::filesystem::exists(dir / "out/sub/c.txt"), *renamed != '\0');
    if (*renamed) {
      EXPECT_EQ(testsupport::ReadTextFile(dir / "out/sub/c.txt"), renamed);
    }
    EXPECT_EQ(Files("out").size(), *renamed ? 3u : 2u) << "no private directory left";
    std::filesystem::remove_all(dir / "out/sub");
  }
}

// FIFOs and devices are skipped with a warning; a FIFO with data (what a
// writer records for input read from a pipe) is that data and extracts as a
// regular file, as unzip does. Stored permissions pass through the umask (022).
TEST_F(CliHostileTest, SpecialFilesSkippedAndPermissionsThroughTheUmask) {
  CraftedMember fifo("fifo", ""), device("dev", ""), wide("wide.txt", "w"), bare("bare.txt", "b");
  CraftedMember piped("piped", "from a pipe");
  piped.unixMode = 0010666;
  fifo.unixMode = 0010666;
  device.unixMode = 0020666;
  wide.unixMode = 0100777;
  bare.host = 0;  // no Unix mode: the default for new files
  WriteTextFile(dir / "s.zip", CraftZip({fifo, device, wide, bare, piped}));
  auto r = Run("extract -d out s.zip");
  EXPECT_EQ(r.status, kExitWarning) << r.err;
  EXPECT_NE(r.err.find("skipped: fifo"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("skipped: dev"), std::string::npos) << r.err;
  EXPECT_EQ(Files("out"), (std::vector<std::string>{"bare.txt", "piped", "wide.txt"}));
  EXPECT_EQ(testsupport::ReadTextFile(dir / "out/piped"), "from a pipe");
  struct stat st {};
  ASSERT_EQ(stat((dir / "out/piped").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode, 0100644u);
  ASSERT_EQ(stat((dir / "out/wide.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
  ASSERT_EQ(stat((dir / "out/bare.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
}

// Central entries that share one local record (a bomb of 20 KB that expands
// a hundredfold per entry) are refused as damaged: only the first is written.
TEST_F(CliHostileTest, MembersSharingTheirDataAreRefused) {
  CraftedMember zeros("a.bin", std::string(200000, '\0'), true);
  std::string bytes = CraftZip({zeros});
  const size_t central = bytes.find("PK\x01\x02"), end = bytes.find("PK\x05\x06");
  const std::string entry = bytes.substr(central, end - central);
  std::string entries = entry;
  for (char name : {'b', 'c', 'd'}) {
    std::string copy = entry;
    copy[46] = name;  // the name's first byte
    entries += copy;
  }
  std::string record = bytes.substr(end);
  record[8] = record[10] = 4;  // entries on this disk and in all
  const uint32_t size = static_cast<uint32_t>(entries.size());
  for (int i = 0; i < 4; ++i) record[12 + i] = static_cast<char>(size >> (8 * i));
  WriteTextFile(dir / "o.zip", bytes.substr(0, central) + entries + record);

  auto extracted = Run("extract -d out o.zip");
  EXPECT_EQ(extracted.status, kExitError) << extracted.err;
  EXPECT_NE(extracted.err.find("overlaps"), std::string::npos) << extracted.err;
  EXPECT_EQ(Files("out"), std::vector<std::string>{"a.bin"});
  auto tested = Run("test o.zip");
  EXPECT_EQ(tested.status, kExitError) << tested.err;
}

// Starts the tool with `args` in `dir`, waits until it has a file open in
// `watched` other than `input` (its temporary output), sends it `signal` and
// returns its wait status; -1 when it ended (or was stopped) without one.
int SignalWhileWriting(const std::string& dir, const std::vector<std::string>& args,
                       const std::filesystem::path& watched, const std::string& input,
                       int signal) {
  const pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> argv{const_cast<char*>(kTool.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (chdir(dir.c_str()) == 0) execv(kTool.c_str(), argv.data());
    _exit(127);
  }
  const std::string prefix = watched.string() + "/", fds = "/proc/" + std::to_string(pid) + "/fd";
  bool writing = false;
  int status = 0;
  for (auto start = std::chrono::steady_clock::now();
       !writing && std::chrono::steady_clock::now() - start < std::chrono::seconds(20);) {
    if (waitpid(pid, &status, WNOHANG) == pid) return -1;
    std::error_code ec;
    for (std::filesystem::directory_iterator fd(fds, ec), end; !ec && fd != end; fd.increment(ec)) {
      const std::string target = std::filesystem::read_symlink(fd->path(), ec).string();
      if (!ec && target.rfind(prefix, 0) == 0 && target != prefix + input) writing = true;
      ec.clear();  // a descriptor closed meanwhile
    }
  }
  kill(pid, writing ? signal : SIGKILL);
  waitpid(pid, &status, 0);
  return writing ? status : -1;
}

// SIGINT or SIGTERM during an add or an extraction cancels it: the temporary
// file is removed, the archive is not created, the status tells the signal.
// Even SIGKILL leaves no temporary file: it has no name until it is complete.
TEST_F(CliHostileTest, InterruptedOrKilledRunsLeaveNoTemporaryFile) {
  WriteTextFile(dir / "big.bin", testsupport::Noise(48u << 20, 12345));
  setenv("ZIPDLL_WHOLE_BUFFER_LIMIT", "0", 1);  // the member streams through the run
  for (int signal : {SIGINT, SIGTERM, SIGKILL}) {
    SCOPED_TRACE(signal);
    const int status = SignalWhileWriting(dir.path(), {"add", "big.zip", "big.bin"}, dir.path(),
                                          "big.bin", signal);
    if (signal == SIGKILL) {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    } else {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == kExitSignalBase + signal) << status;
    }
    EXPECT_EQ(Files(""), std::vector<std::string>{"big.bin"});
  }
  unsetenv("ZIPDLL_WHOLE_BUFFER_LIMIT");
  ASSERT_EQ(Run("add -0 big.zip big.bin").status, 0);
  for (int signal : {SIGINT, SIGKILL}) {
    SCOPED_TRACE(signal);
    // A quick extraction can end before the polling sees its output open: such
    // a run proves nothing, and another is started.
    int status = -1;
    for (int attempt = 0; attempt < 5 && status == -1; ++attempt) {
      std::filesystem::remove_all(dir / "out");
      std::filesystem::create_directory(dir / "out");
      status = SignalWhileWriting(dir.path(), {"extract", "-d", "out", "big.zip"}, dir / "out", "", signal);
    }
    EXPECT_NE(status, -1) << "the extraction never wrote";
    EXPECT_EQ(Files("out"), std::vector<std::string>{});
  }
}

// Adding to, deleting from and renaming in an archive reached through a
// symbolic link rewrite the link's target, in its own directory, with its own mode; a new
// archive is made as the umask allows.
TEST_F(CliHostileTest, ArchiveThroughASymlinkReplacesTheTargetKeepingItsMode) {
  WriteTextFile(dir / "f1.txt", "one");
  WriteTextFile(dir / "f2.txt", "two");
  std::filesystem::create_directory(dir / "store");
  umask(077);
  ASSERT_EQ(Run("add store/a.zip f1.txt").status, 0);
  struct stat st {};
  ASSERT_EQ(stat((dir / "store/a.zip").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u) << "a new archive follows the umask";
  ASSERT_EQ(chmod((dir / "store/a.zip").c_str(), 0640), 0);
  umask(022);
  std::filesystem::create_symlink("store/a.zip", dir / "link.zip");
  for (const char* command :
       {"add link.zip f2.txt", "delete link.zip f1.txt", "rename link.zip f2.txt=f3.txt"}) {
    SCOPED_TRACE(command);
    auto r = Run(command);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.zip"));
    ASSERT_EQ(stat((dir / "store/a.zip").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(Files("store"), std::vector<std::string>{"a.zip"});
  }
  auto listed = Run("list store/a.zip");
  EXPECT_EQ(listed.out.find("f1.txt"), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("f3.txt"), std::string::npos) << listed.out;
}

// list, test and extract agree: what the reading commands call damaged, list
// does not pass with status 0; members of the same name extract with a warning.
// Every subcommand: --help is no error, an unknown option is a usage error, and
// a missing archive gives one status.
TEST_F(CliHostileTest, HelpAndMissingArchiveAgreeOnEverySubcommand) {
  const std::pair<const char*, const char*> commands[] = {
      {"add", "add m.zip f"},           {"list", "list m.zip"},       {"extract", "extract m.zip"},
      {"test", "test m.zip"},           {"delete", "delete m.zip a"}, {"rename", "rename m.zip a=b"},
      {"copy", "copy m.zip n.zip a"},   {"comment", "comment m.zip"}, {"sfx", "sfx m.zip"},
      {"unsfx", "unsfx m.exe"},         {"split", "split -s 64k m.zip s.zip"},
      {"join", "join m.zip o.zip"}};
  for (const auto& [name, missing] : commands) {
    SCOPED_TRACE(name);
    auto help = Run(std::string(name) + " --help");
    EXPECT_EQ(help.status, kExitOk) << help.err;
    EXPECT_EQ(help.out.rfind(std::string("usage: zipbuilder ") + name, 0), 0u) << help.out;
    EXPECT_EQ(Run(std::string(name) + " --bogus m.zip a b").status, kExitUsage);
    if (std::string(name) == "add") continue;  // adding makes the archive
    auto r = Run(missing);
    EXPECT_EQ(r.status, kExitNoArchive) << r.err;
    EXPECT_NE(r.err.find("m."), std::string::npos) << "names the archive: " << r.err;
  }
}

TEST_F(CliHostileTest, StatusesAgreeBetweenListTestAndExtract) {
  std::string zeroInName = CraftZip({{std::string("a\0b.txt", 7), "x"}});
  std::string commentPastEnd = CraftZip({{"c.txt", "x"}});
  commentPastEnd[commentPastEnd.size() - 2] = 40;  // claims 40 comment bytes, none follow
  WriteTextFile(dir / "zero.zip", zeroInName);
  WriteTextFile(dir / "short.zip", commentPastEnd);
  WriteTextFile(dir / "cut.zip", testsupport::CutArchiveHoldingAnArchive().bytes);
  // Listed with a report: a warning; not listed at all: an error, as for test and extract.
  const std::pair<const char*, int> listings[] = {
      {"zero.zip", kExitWarning}, {"short.zip", kExitError}, {"cut.zip", kExitWarning}};
  for (const auto& [archive, status] : listings) {
    SCOPED_TRACE(archive);
    auto r = Run(std::string("list ") + archive);
    EXPECT_EQ(r.status, status) << r.out << r.err;
    EXPECT_FALSE(r.err.empty());
  }
  // A cut download lists its own members, not those of an archive stored in it.
  auto cut = Run("list cut.zip");
  EXPECT_NE(cut.out.find("own.txt"), std::string::npos) << cut.out;
  EXPECT_EQ(cut.out.find("inner-a.txt"), std::string::npos) << cut.out;
  // Disk number 0xFFFF defers to a ZIP64 end record: without one the message
  // names the number; with one that gives disk 0 the archive reads as usual.
  testsupport::ArchiveLayout saturated;
  saturated.thisDisk = saturated.centralDisk = 0xFFFF;
  const testsupport::BuiltArchive disk = CraftArchive({{"d.txt", "x"}}, saturated);
  WriteTextFile(dir / "disk.zip", disk.bytes);
  for (const char* command : {"list disk.zip", "test disk.zip", "extract -d out disk.zip"}) {
    SCOPED_TRACE(command);
    auto r = Run(command);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("disk number 65535"), std::string::npos) << r.out << r.err;
    EXPECT_EQ(r.err.find("disk number 65535"), r.err.rfind("disk number 65535")) << "said once";
  }
  std::string zip64End(56, '\0'), locator(20, '\0');
  auto put = [](std::string& to, size_t at, uint64_t value, int size) {
    for (int i = 0; i < size; ++i) to[at + i] = static_cast<char>(value >> (8 * i));
  };
  put(zip64End, 0, 0x06064B50, 4);
  put(zip64End, 4, 44, 8);  // the record's size after this field
  put(zip64End, 24, 1, 8);  // entries on this disk
  put(zip64End, 32, 1, 8);  // entries in all
  put(zip64End, 40, disk.endOffset - disk.centralOffset, 8);
  put(zip64End, 48, disk.centralOffset, 8);
  put(locator, 0, 0x07064B50, 4);
  put(locator, 8, disk.endOffset, 8);
  put(locator, 16, 1, 4);  // disks in all
  WriteTextFile(dir / "disk64.zip", disk.bytes.substr(0, disk.endOffset) + zip64End + locator +
                                        disk.bytes.substr(disk.endOffset));
  auto zip64 = Run("test disk64.zip");
  EXPECT_EQ(zip64.status, kExitOk) << zip64.out << zip64.err;
  WriteTextFile(dir / "dup.zip", CraftZip({{"same.txt", "first"}, {"same.txt", "second"}}));
  auto r = Run("extract -o -d out dup.zip");
  EXPECT_EQ(r.status, kExitWarning) << r.err;
  EXPECT_NE(r.err.find("same name"), std::string::npos) << r.err;
}

}  // namespace
