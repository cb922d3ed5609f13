// Renaming and copying members of archives the peer tools wrote (data
// descriptors of every form they write, encrypted members, comments, a stub
// adjusted with zip -A, a ZIP64 end record): the peers accept the results and
// give back every renamed or copied member byte for byte. Also the command line.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/PeerTools.h"
#include "tests/support/TempDir.h"
#include "tools/ExitStatus.h"
#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"

namespace {

namespace fs = std::filesystem;
using testsupport::RunIn;
using testsupport::ShellQuote;

struct PeerArchive {
  const char* file;
  const char* member;    // a member name as stored
  const char* original;  // its file below src/
  const char* password;  // "" for none
};

const PeerArchive kArchives[] = {
    {"z.zip", "sub/long.txt", "sub/long.txt", ""},   // comment, Unix timestamp extra fields
    {"ze.zip", "sub/x.bin", "sub/x.bin", "secret"},  // traditional encryption
    {"zd.zip", "sub/x.bin", "sub/x.bin", ""},        // streamed: 16-byte descriptors
    {"zs.zip", "-", "sub/long.txt", ""},             // streamed from a pipe: ZIP64 descriptor
    {"sfx.exe", "a.txt", "a.txt", ""},               // stub, offsets adjusted by zip -A
    {"s.zip", "sub/x.bin", "sub/x.bin", ""},         // 7-Zip, NTFS times
    {"b.zip", "sub/long.txt", "sub/long.txt", ""},   // bsdtar streamed: descriptors, zero padding
    {"p.zip", "sub/x.bin", "sub/x.bin", ""},         // zipfile on a pipe: descriptors, comment
};

struct CopyRenameInterop : ::testing::Test {
  static inline testsupport::TempDir* dir = nullptr;

  static void SetUpTestSuite() {
    dir = new testsupport::TempDir;
    const std::string script = R"sh(
set -e
mkdir -p src/sub
printf 'hello\n' > src/a.txt
seq 1 30000 > src/sub/long.txt
head -c 70000 /dev/urandom > src/sub/x.bin
(cd src && zip -q -r ../z.zip a.txt sub && printf 'archive comment\n' | zip -q -z ../z.zip)
(cd src && zip -q -r -P secret ../ze.zip a.txt sub)
(cd src && zip -q -r - a.txt sub | cat > ../zd.zip)
zip -q - - < src/sub/long.txt | cat > zs.zip
head -c 3000 /dev/urandom > stub && cat stub z.zip > sfx.exe && zip -q -A sfx.exe
(cd src && 7z a -tzip -bd -bso0 ../s.zip a.txt sub)
(cd src && bsdtar --format zip -cf - a.txt sub > ../b.zip)
(cd src && python3 -c "
import sys, zipfile
class Pipe:
    def write(self, b): return sys.stdout.buffer.write(b)
    def flush(self): pass
with zipfile.ZipFile(Pipe(), 'w', zipfile.ZIP_DEFLATED) as z:
    z.comment = b'written on a pipe'
    for name in ('a.txt', 'sub/long.txt', 'sub/x.bin'): z.write(name)
" > ../p.zip)
)sh";
    auto made = RunIn(dir->path(), script);
    ASSERT_EQ(made.status, 0) << made.err;
  }
  static void TearDownTestSuite() {
    delete dir;
    dir = nullptr;
  }

  std::string Work(const std::string& name) const { return *dir / ("work-" + name); }
  void Fresh(const std::string& from, const std::string& to) const {
    fs::copy_file(*dir / from, Work(to), fs::copy_options::overwrite_existing);
  }

  // Every peer accepts the archive, and `member` extracts to the file `original`.
  static void ExpectPeersAccept(const std::string& archive, const std::string& member,
                                const std::string& original, const std::string& password) {
    const std::string a = ShellQuote(archive), pw = password.empty() ? "" : ShellQuote(password);
    auto unzipTest = RunIn(dir->path(), "unzip -tq " + (pw.empty() ? "" : "-P " + pw + " ") + a);
    EXPECT_EQ(unzipTest.status, 0) << unzipTest.out << unzipTest.err;
    auto sevenTest =
        RunIn(dir->path(), "7z t -bd " + (pw.empty() ? std::string("-p-") : "-p" + pw) + " " + a);
    EXPECT_EQ(sevenTest.status, 0) << sevenTest.out << sevenTest.err;
    if (pw.empty()) {
      auto pythonTest = RunIn(dir->path(), "python3 -m zipfile -t " + a);
      EXPECT_EQ(pythonTest.status, 0) << pythonTest.out << pythonTest.err;
    }
    auto same =
        RunIn(dir->path(), "unzip -p " + (pw.empty() ? "" : "-P " + pw + " ") + a + " " +
                               ShellQuote(member) + " | cmp - " + ShellQuote("src/" + original));
    EXPECT_EQ(same.status, 0) << same.out << same.err;
  }
};

TEST_F(CopyRenameInterop, PeersAcceptRenamedArchives) {
  for (const auto& peer : kArchives) {
    SCOPED_TRACE(peer.file);
    Fresh(peer.file, peer.file);
    ui::ScriptedUi ui;
    TZipBuilder zip{nullptr, &ui};
    zip.Unattended = true;
    zip.HowToDelete = htdFinal;
    zip.SetFileName(Work(peer.file));
    ASSERT_GT(zip.Count(), 0);
    const int count = zip.Count();
    std::vector<RenameItem> items = {{peer.member, std::string("renamed/") + peer.member + ".new"}};
    std::vector<RenameItem*> list = {&items[0]};
    ASSERT_EQ(
        zip.Rename(list, (uint32_t{(2011 - 1980) << 9 | 5 << 5 | 6} << 16) | (7 << 11 | 8 << 5)), 0)
        << zip.Message();
    EXPECT_EQ(zip.Count(), count);
    ExpectPeersAccept(Work(peer.file), std::string("renamed/") + peer.member + ".new",
                      peer.original, peer.password);
    auto listed = RunIn(
        dir->path(), std::string("unzip -l ") + ShellQuote(Work(peer.file)) + " | grep 'renamed/'");
    // zip -P checks passwords against the stored time of its members: they keep it.
    const bool redated = listed.out.find("2011-05-06 07:08") != std::string::npos;
    EXPECT_EQ(redated, std::string(peer.password).empty()) << listed.out;
  }
}

TEST_F(CopyRenameInterop, PeersAcceptArchivesCopiedInto) {
  for (const auto& peer : kArchives) {
    for (const char* target : {"s.zip", "sfx.exe", "p.zip"}) {
      if (std::string(peer.file) == target) continue;
      SCOPED_TRACE(std::string(peer.file) + " into " + target);
      Fresh(peer.file, "source");
      Fresh(target, "destination");
      ui::ScriptedUi ui;
      TZipBuilder source{nullptr, &ui}, destination{nullptr, &ui};
      for (TZipBuilder* z : {&source, &destination}) {
        z->Unattended = true;
        z->HowToDelete = htdFinal;
        z->SetDLLDirectory(ZB_BINARY_DIR);
      }
      source.SetFileName(Work("source"));
      destination.SetFileName(Work("destination"));
      const int count = destination.Count();
      const std::string listed = TZipBuilder::ReplaceForwardSlash(peer.member);
      const bool streamed =
          listed == "-";  // the only member of its archive, new to every destination
      source.SetFSpecArgs(streamed ? std::vector<std::string>{listed}
                                   : std::vector<std::string>{listed, "A.TXT"});
      ASSERT_EQ(source.CopyZippedFiles(&destination, true, OvrAlways), 0) << source.Message();
      EXPECT_EQ(destination.Count(),
                count + (streamed ? 1 : 0));  // the others replace members of their name
      ExpectPeersAccept(Work("destination"), peer.member, peer.original, peer.password);
      if (!streamed) ExpectPeersAccept(Work("destination"), "a.txt", "a.txt", peer.password);
      // Deleted from the source by the engine, which left the rest readable.
      auto left = RunIn(dir->path(), "unzip -Z1 " + ShellQuote(Work("source")));
      EXPECT_EQ(left.out.find(std::string(peer.member) + "\n"), std::string::npos) << left.out;
    }
  }
}

TEST_F(CopyRenameInterop, Zip64EndRecordOfManyMembersIsRewritten) {
  auto made = RunIn(dir->path(), R"(python3 -c "
import zipfile
with zipfile.ZipFile('many.zip', 'w') as z:
    for i in range(65600): z.writestr('d%03d/m%05d.txt' % (i // 1000, i), str(i))
")");
  ASSERT_EQ(made.status, 0) << made.err;
  ui::ScriptedUi ui;
  TZipBuilder zip{nullptr, &ui};
  zip.Unattended = true;
  zip.HowToDelete = htdFinal;
  zip.SetFileName(*dir / "many.zip");
  ASSERT_EQ(zip.Count(), 65600);
  std::vector<RenameItem> items = {{"d065\\m65599.txt", "last\\one.txt"}};
  std::vector<RenameItem*> list = {&items[0]};
  ASSERT_EQ(zip.Rename(list, 0), 0) << zip.Message();
  EXPECT_EQ(zip.Count(), 65600);
  auto check = RunIn(dir->path(), R"(python3 -c "
import zipfile
z = zipfile.ZipFile('many.zip')
assert len(z.infolist()) == 65600, len(z.infolist())
assert z.read('last/one.txt') == b'65599'
assert z.testzip() is None
" && unzip -tq many.zip)");
  EXPECT_EQ(check.status, 0) << check.out << check.err;
}

TEST_F(CopyRenameInterop, CommandLine) {
  const std::string tool = ShellQuote(std::string(ZB_BINARY_DIR) + "/zipbuilder");
  Fresh("z.zip", "cli.zip");
  Fresh("s.zip", "cli-dest.zip");
  const std::string a = ShellQuote(Work("cli.zip")), d = ShellQuote(Work("cli-dest.zip"));
  struct Case {
    std::string args;
    int status;
    std::string output;  // expected in stdout or stderr
  } cases[] = {
      {"rename --help", kExitOk, "usage: zipbuilder rename"},
      {"copy --help", kExitOk, "usage: zipbuilder copy"},
      {"rename", kExitUsage, "usage"},
      {"rename " + a, kExitUsage, "nothing to do"},
      {"rename " + a + " nameonly", kExitUsage, "OLD=NEW"},
      {"rename -t 2011-02-30T10:00 " + a, kExitUsage, "not a date"},
      {"rename -t 1979-12-31T23:59 " + a, kExitUsage, "not a date"},
      {"rename -x " + a + " a=b", kExitUsage, "usage"},
      {"rename " + a + " sub/long.txt=sub/", kExitError, "file name part"},
      {"rename missing.zip a=b", kExitNoArchive, "does not exist"},
      {"rename -t 2011-05-06T07:08:10 " + a + " sub/=dir/", kExitOk,
       "sub/long.txt renamed to: dir/long.txt"},
      {"copy " + a + " " + d, kExitUsage, "usage"},
      {"copy -o -n " + a + " " + d + " a.txt", kExitUsage, "usage"},
      {"copy missing.zip " + d + " a.txt", kExitNoArchive, "does not exist"},
      {"copy " + a + " " + d + " nowhere.txt", kExitError, "is not present in"},
      // A new destination is made, and goes again when nothing reaches it.
      {"copy " + a + " unmade.zip nowhere.txt", kExitError, "is not present in"},
      {"copy " + a + " fresh.zip dir\\\\long.txt", kExitOk, "1 of 1 member copied"},
      {"copy -n " + a + " " + d + " a.txt dir\\\\long.txt", kExitOk, "kept: a.txt"},
      {"copy " + a + " " + d + " a.txt < /dev/null", kExitWarning, "0 of 1 member copied"},  // nobody to ask
      {"copy -o -m " + a + " " + d + " a.txt", kExitOk,
       "1 of 1 member copied and deleted from the source"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    auto run = RunIn(dir->path(), tool + " " + c.args);
    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    EXPECT_NE((run.out + run.err).find(c.output), std::string::npos) << run.out << run.err;
  }
  EXPECT_FALSE(std::filesystem::exists(*dir / "unmade.zip"));
  auto check = RunIn(dir->path(), "unzip -l " + a + " && unzip -l " + d + " && unzip -tq " + d +
                                      " && unzip -tq " + a + " && unzip -tq fresh.zip");
  EXPECT_EQ(check.status, 0) << check.out << check.err;
  EXPECT_NE(check.out.find("2011-05-06 07:08   dir/long.txt"), std::string::npos) << check.out;
  EXPECT_EQ(check.out.find(" a.txt\n"), check.out.rfind(" a.txt\n"))
      << "a.txt only in the destination";
}

}  // namespace
