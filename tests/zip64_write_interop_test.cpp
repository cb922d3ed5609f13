// Writing archives that need ZIP64 records, and writing again archives that have
// them: 70,000 files added through the command line, then a member deleted,
// one renamed and one copied out; archives of zip -fz and of Python's
// force_zip64 through every writing command. The three peers accept each result
// and give back every member byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "tests/support/PeerTools.h"
#include "tests/support/SfxFixture.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::CommandResult;
using testsupport::MemberDigests;
using testsupport::PeerTestFailures;
using testsupport::RunIn;
using testsupport::ShellQuote;

bool HavePeers() {
  for (const char* tool : {"zip", "unzip", "7z", "python3"})
    if (!testsupport::HaveTool(tool)) return false;
  return true;
}

class Zip64WriteInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HavePeers()) GTEST_SKIP() << "peer tools missing";
  }
  CommandResult Tool(const std::string& arguments) {
    return RunIn(dir_.path(), ShellQuote(testsupport::ZipBuilderTool()) + " " + arguments);
  }
  // The member count as zipinfo, Python, 7-Zip and our list command see it.
  void ExpectMembers(const std::string& archive, size_t count) {
    SCOPED_TRACE(archive);
    const std::string n = std::to_string(count);
    EXPECT_EQ(RunIn(dir_.path(), "zipinfo -1 " + archive + " | wc -l").out, n + "\n");
    EXPECT_EQ(RunIn(dir_.path(), "python3 -c 'import sys, zipfile; "
                                 "print(len(zipfile.ZipFile(sys.argv[1]).infolist()))' " + archive)
                  .out,
              n + "\n");
    EXPECT_NE(RunIn(dir_.path(), "7z l " + archive).out.find(" " + n + " files"), std::string::npos);
    EXPECT_NE(Tool("list " + archive).out.find(" " + n + " files\n"), std::string::npos);
  }
  // The count alone, for the archives checked by the peers already.
  size_t ZipinfoCount(const std::string& archive) {
    return std::stoul(RunIn(dir_.path(), "zipinfo -1 " + archive + " | wc -l").out);
  }
  // True when the archive ends in a ZIP64 end record and its locator.
  bool HasZip64End(const std::string& archive) {
    const std::string bytes = testsupport::ReadTextFile(dir_ / archive);
    return bytes.find(std::string("PK\x06\x07", 4)) != std::string::npos;
  }
  testsupport::TempDir dir_;
};

TEST_F(Zip64WriteInterop, SeventyThousandFilesAddedThenDeletedRenamedAndCopied) {
  ASSERT_EQ(RunIn(dir_.path(), "python3 -c " + ShellQuote("import os\n"
                                                          "for d in range(70):\n"
                                                          "  os.makedirs('src/d%02d' % d)\n"
                                                          "  for i in range(1000):\n"
                                                          "    with open('src/d%02d/f%03d' % (d, i), 'w') as f:\n"
                                                          "      f.write('%d %d' % (d, i))\n"))
                .status,
            0);
  CommandResult add = Tool("add -r -D -q many.zip src");
  ASSERT_EQ(add.status, 0) << add.err;
  fs::remove_all(dir_ / "src");
  EXPECT_TRUE(HasZip64End("many.zip"));
  EXPECT_EQ(PeerTestFailures(dir_.path(), "many.zip"), "");
  ExpectMembers("many.zip", 70000);

  ASSERT_EQ(Tool("delete many.zip src/d10/f010").status, 0);
  ASSERT_EQ(Tool("rename many.zip src/d20/f020=renamed.txt").status, 0);
  ASSERT_EQ(Tool("copy many.zip one.zip src/d30/f030").status, 0);
  for (const char* archive : {"many.zip", "one.zip"})
    EXPECT_EQ(PeerTestFailures(dir_.path(), archive), "") << archive;
  EXPECT_EQ(ZipinfoCount("many.zip"), 69999u);
  EXPECT_EQ(ZipinfoCount("one.zip"), 1u);
  EXPECT_FALSE(HasZip64End("one.zip")) << "written only where the result needs it";
  EXPECT_EQ(RunIn(dir_.path(), "unzip -p many.zip renamed.txt").out, "20 20");
  EXPECT_EQ(RunIn(dir_.path(), "unzip -p one.zip src/d30/f030").out, "30 30");
  EXPECT_EQ(RunIn(dir_.path(), "unzip -l many.zip src/d10/f010").status, 11) << "deleted";
}

// Deleting below 65,535 members drops the ZIP64 end record; adding above keeps
// it, and a spanned set of the archive and the archive joined from it carry it.
TEST_F(Zip64WriteInterop, EndRecordFollowsTheMemberCount) {
  ASSERT_EQ(RunIn(dir_.path(), "python3 -c " + ShellQuote("import zipfile\n"
                                                          "z = zipfile.ZipFile('p.zip', 'w')\n"
                                                          "for i in range(65536): z.writestr('m%05d' % i, '')\n"
                                                          "z.close()\n"))
                .status,
            0);
  ASSERT_TRUE(HasZip64End("p.zip"));
  struct Step {
    const char* command;
    size_t members;
    bool zip64;
  };
  const Step steps[] = {
      {"delete p.zip m00001 m00002", 65534, false},
      {"add -q p.zip new.txt", 65535, true},
  };
  testsupport::WriteTextFile(dir_ / "new.txt", "new");
  for (const Step& s : steps) {
    SCOPED_TRACE(s.command);
    ASSERT_EQ(Tool(s.command).status, 0);
    EXPECT_EQ(HasZip64End("p.zip"), s.zip64);
    EXPECT_EQ(PeerTestFailures(dir_.path(), "p.zip"), "");
    EXPECT_EQ(ZipinfoCount("p.zip"), s.members);
  }
  ASSERT_EQ(Tool("split -s 1m p.zip set.zip").status, 0);
  std::string last = RunIn(dir_.path(), "ls set0*.zip | tail -1").out;
  last.pop_back();
  EXPECT_NE(last, "set001.zip");
  EXPECT_TRUE(HasZip64End(last)) << "on the last volume";
  ASSERT_EQ(Tool("join set001.zip joined.zip").status, 0);
  EXPECT_TRUE(HasZip64End("joined.zip"));
  EXPECT_EQ(PeerTestFailures(dir_.path(), "joined.zip"), "");
  EXPECT_EQ(ZipinfoCount("joined.zip"), 65535u);
}

// Every writing command on archives that carry ZIP64 records of the peers' making.
TEST_F(Zip64WriteInterop, PeerZip64ArchivesThroughEveryWriter) {
  const std::string make = R"sh(
set -e
mkdir -p t/sub
seq 1 20000 > t/a.txt
head -c 30000 /dev/urandom > t/sub/b.bin
echo hello > t/c.txt
echo new > new.txt
printf 'archive comment\n' | zip -q -fz -r -z fz.zip t
python3 -c "
import zipfile
with zipfile.ZipFile('py.zip', 'w', zipfile.ZIP_DEFLATED) as z:
    z.comment = b'python comment'
    for n in ('t/a.txt', 't/sub/b.bin', 't/c.txt'):
        i = zipfile.ZipInfo(n)
        i.compress_type = zipfile.ZIP_DEFLATED
        i.comment = b'about ' + n.encode()
        with z.open(i, 'w', force_zip64=True) as f:
            f.write(open(n, 'rb').read())
"
)sh";
  ASSERT_EQ(RunIn(dir_.path(), make).status, 0);
  testsupport::WriteTextFile(dir_ / "stub.bin", testsupport::BuildStub());

  struct Operation {
    const char* name;
    std::string commands;  // run on in.zip; the result is out.zip
    const char* removed;   // member gone from the result ("" none)
    const char* added;     // member new in the result ("" none)
    const char* renamedTo;  // t/a.txt's new name ("" none)
  };
  const Operation operations[] = {
      {"add", "cp in.zip out.zip && $ZB add -q out.zip new.txt", "", "new.txt", ""},
      {"delete", "cp in.zip out.zip && $ZB delete out.zip t/c.txt", "t/c.txt", "", ""},
      {"rename", "cp in.zip out.zip && $ZB rename out.zip t/a.txt=t/z.txt", "", "", "t/z.txt"},
      {"copy", "$ZB copy in.zip out.zip t/a.txt t/sub/b.bin t/c.txt", "", "", ""},
      {"split and join", "$ZB split -s 16k in.zip s.zip && $ZB join s001.zip out.zip", "", "", ""},
      {"sfx and unsfx",
       "cp in.zip out.zip && $ZB sfx --stub stub.bin out.zip && $ZB unsfx out.exe", "", "", ""},
      {"sfx", "cp in.zip x.zip && $ZB sfx --stub stub.bin x.zip && mv x.exe out.zip", "", "", ""},
  };
  for (const char* source : {"fz.zip", "py.zip"}) {
    std::map<std::string, std::string> original = MemberDigests(dir_.path(), source);
    ASSERT_EQ(original.size() >= 3, true) << source;
    for (const Operation& op : operations) {
      SCOPED_TRACE(std::string(source) + ": " + op.name);
      RunIn(dir_.path(), "rm -f out.zip out.exe s0*.zip && cp " + std::string(source) + " in.zip");
      CommandResult r = RunIn(dir_.path(), "ZB=" + ShellQuote(testsupport::ZipBuilderTool()) +
                                               "; " + op.commands);
      ASSERT_EQ(r.status, 0) << r.out << r.err;
      EXPECT_EQ(PeerTestFailures(dir_.path(), "out.zip"), "");
      std::map<std::string, std::string> want = original;
      if (*op.removed) want.erase(op.removed);
      if (*op.added)
        want[op.added] = "4 " + RunIn(dir_.path(), std::string("sha256sum ") + op.added).out.substr(0, 64);
      if (*op.renamedTo) {
        want[op.renamedTo] = want["t/a.txt"];
        want.erase("t/a.txt");
      }
      if (std::string(op.name) == "copy") std::erase_if(want, [](auto& m) { return m.first.back() == '/'; });
      EXPECT_EQ(MemberDigests(dir_.path(), "out.zip"), want);
    }
  }
}

}  // namespace
