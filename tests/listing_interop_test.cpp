// Listings of archives written by the peer tools agree with Python's zipfile on
// names, sizes, CRCs, methods and comments; comments we write, they read.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "tests/support/PeerTools.h"
#include "tests/support/TempDir.h"
#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"

using testsupport::RunIn;

namespace {

const char* const kReferenceLister = R"(import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    print(z.comment.hex())
    for i in z.infolist():
        print('%s|%d|%d|%08x|%d|%s' % (i.filename, i.file_size, i.compress_size, i.CRC, i.compress_type, i.comment.hex()))
)";

const char* const kPythonWriter = R"(import zipfile
with zipfile.ZipFile('py.zip', 'w') as z:
    z.comment = b'written by zipfile'
    z.writestr('folder/', b'')
    info = zipfile.ZipInfo('folder/deflated.txt')
    info.compress_type = zipfile.ZIP_DEFLATED
    info.comment = b'a member comment'
    z.writestr(info, b'squeeze me ' * 200)
    z.writestr('stored.bin', bytes(range(256)))
    z.writestr('gr\u00fc\u00dfe.txt', b'utf-8 name')
)";

std::string Hex(const std::string& bytes) {
  std::string out;
  char two[3];
  for (unsigned char c : bytes) {
    std::snprintf(two, sizeof two, "%02x", c);
    out += two;
  }
  return out;
}

struct InteropListing : ::testing::Test {
  static inline testsupport::TempDir* dir = nullptr;

  static void SetUpTestSuite() {
    dir = new testsupport::TempDir;
    const std::string script = R"sh(
set -e
mkdir -p src/sub src/empty
printf 'hello\n' > src/a.txt
head -c 20000 /dev/zero | tr '\0' 'z' > src/sub/long.txt
printf 'x' > src/sub/x.dat
(cd src && zip -q -r ../z.zip a.txt sub empty && printf 'archive comment\n' | zip -q -z ../z.zip)
(cd src && 7z a -tzip -bd -bso0 ../s.zip a.txt sub empty)
(cd src && bsdtar --format zip -cf ../b.zip a.txt sub empty)
(cd src && zip -q -r ../piped.zip a.txt sub empty && cat sub/long.txt | zip -q ../piped.zip -)
head -c 1000 /dev/urandom > stub
cat stub z.zip > stub_plain.zip
cp stub_plain.zip stub_adjusted.zip && zip -q -A stub_adjusted.zip
cp z.zip junk.zip && printf 'some junk after the end record' >> junk.zip
cp z.zip padded.zip && python3 -c "import os; n=os.path.getsize('padded.zip'); open('padded.zip','ab').write(bytes(-n % 512 or 512))"
)sh";
    testsupport::WriteTextFile(*dir / "make.sh", script);
    testsupport::WriteTextFile(*dir / "write.py", kPythonWriter);
    testsupport::WriteTextFile(*dir / "ref.py", kReferenceLister);
    auto made = RunIn(dir->path(), "sh make.sh && python3 write.py");
    ASSERT_EQ(made.status, 0) << made.err;
  }
  static void TearDownTestSuite() {
    delete dir;
    dir = nullptr;
  }

  void SetUp() override {
    for (const char* tool : {"zip", "unzip", "7z", "bsdtar", "python3"})
      if (!testsupport::HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";
  }

  // Our listing, in the reference lister's format.
  static std::string OurListing(TZipBuilder& zip) {
    std::ostringstream out;
    out << Hex(zip.GetZipComment()) << '\n';
    for (const auto& e : zip.ZipDirEntryRecords()) {
      std::string name = e->FileName;
      for (char& c : name)
        if (c == '\\') c = '/';
      char numbers[80];
      std::snprintf(numbers, sizeof numbers, "|%u|%u|%08x|%u|", e->UncompressedSize, e->CompressedSize,
                    e->Crc32, e->Method);
      out << name << numbers << Hex(e->FileComment) << '\n';
    }
    return out.str();
  }
};

TEST_F(InteropListing, AgreesWithZipfileOnEveryPeerArchive) {
  struct Case {
    const char* file;
    int archiveStart;
    bool structureWarning;
    std::vector<int> messages;
  } cases[] = {
      {"z.zip", 0, false, {}},
      {"s.zip", 0, false, {}},
      {"b.zip", 0, false, {}},
      {"py.zip", 0, false, {}},
      {"stub_plain.zip", 1000, true, {10203}},
      {"stub_adjusted.zip", 1000, false, {}},
      {"junk.zip", 0, false, {10204}},
      {"padded.zip", 0, false, {}},
      {"piped.zip", 0, false, {}},  // a member read from a pipe adds ZIP64 end records
  };
  for (const auto& c : cases) {
    ui::ScriptedUi ui;
    TZipBuilder zip{nullptr, &ui};
    zip.UseDirOnlyEntries = true;
    std::vector<int> messages;
    zip.OnMessage = [&](TZipBuilder* z, int, const std::string&) { messages.push_back(z->ErrCode()); };
    zip.SetFileName(*dir / c.file);
    ASSERT_EQ(zip.ZipFileName(), *dir / c.file) << c.file << ": " << zip.Message();
    auto reference = RunIn(dir->path(), std::string("python3 ref.py ") + c.file);
    ASSERT_EQ(reference.status, 0) << reference.err;
    EXPECT_EQ(OurListing(zip), reference.out) << c.file;
    EXPECT_GE(zip.Count(), 4) << c.file;
    EXPECT_EQ(zip.ArchiveStart(), c.archiveStart) << c.file;
    EXPECT_EQ(zip.StructureWarning(), c.structureWarning) << c.file;
    EXPECT_EQ(messages, c.messages) << c.file;
  }
}

TEST_F(InteropListing, NamesAgreeWithUnzipAndDirectoriesAreSkippedByDefault) {
  ui::ScriptedUi ui;
  TZipBuilder zip{nullptr, &ui};
  auto names = RunIn(dir->path(), "unzip -Z1 z.zip");
  ASSERT_EQ(names.status, 0);
  std::string ours, theirs;
  int directories = 0;
  std::istringstream lines(names.out);
  for (std::string line; std::getline(lines, line);) {
    if (line.back() == '/') ++directories;
    else theirs += line + '\n';
  }
  zip.SetFileName(*dir / "z.zip");
  for (const auto& e : zip.ZipDirEntryRecords()) {
    std::string name = e->FileName;
    for (char& c : name)
      if (c == '\\') c = '/';
    ours += name + '\n';
  }
  EXPECT_EQ(ours, theirs);
  EXPECT_EQ(zip.SkippedDirCount(), directories);
  EXPECT_GT(directories, 0);
}

TEST_F(InteropListing, CommandLineCommentIsReadByEveryPeer) {
  const std::string tool = std::string(ZB_BINARY_DIR) + "/zipbuilder";
  auto run = RunIn(dir->path(), "cp s.zip c.zip && " + tool + " comment c.zip 'set by zipbuilder' && " + tool +
                                    " comment c.zip && unzip -tq c.zip && 7z t -bd c.zip >/dev/null && "
                                    "python3 -m zipfile -t c.zip && unzip -z c.zip");
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("set by zipbuilder\n"), std::string::npos);
  EXPECT_NE(run.out.rfind("set by zipbuilder"), run.out.find("set by zipbuilder"));  // ours and unzip's

  auto fromStdin = RunIn(dir->path(), "printf 'two\\nlines' | " + tool + " comment c.zip - && unzip -z c.zip");
  ASSERT_EQ(fromStdin.status, 0) << fromStdin.err;
  EXPECT_NE(fromStdin.out.find("two\nlines"), std::string::npos);

  auto listed = RunIn(dir->path(), tool + " list -v c.zip");
  ASSERT_EQ(listed.status, 0) << listed.err;
  EXPECT_NE(listed.out.find("two\nlines"), std::string::npos);
  EXPECT_NE(listed.out.find("SkippedDirCount: 2"), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find(" 3 files\n"), std::string::npos) << listed.out;
}

// The command line's lines, column by column: sizes right-aligned in ten
// columns, the method in seven (and the encryption in sixteen), date and time
// with leading zeros, the CRC in eight hex digits, and the name with "/"
// between directories and its control bytes escaped.
TEST_F(InteropListing, CommandLineLinesColumnByColumn) {
  auto made = RunIn(dir->path(), "python3 -c \"import zipfile\n"
                                 "with zipfile.ZipFile('cols.zip', 'w') as z:\n"
                                 "    z.writestr(zipfile.ZipInfo('d/a\\x01b.txt', (2001, 2, 3, 4, 5, 6)), b'x' * 1234)\n"
                                 "    z.writestr(zipfile.ZipInfo('e/f.txt', (2099, 12, 31, 23, 59, 58)), b'')\"");
  ASSERT_EQ(made.status, 0) << made.err;
  const std::string tool = std::string(ZB_BINARY_DIR) + "/zipbuilder";
  const struct {
    const char* options;
    std::string lines;
  } cases[] = {
      {"",
       "    Length Compressed  Method   Date       Time   CRC-32    Name\n"
       "      1234       1234  Stored   2001-02-03 04:05  63fefa52  d/a\\x01b.txt\n"
       "         0          0  Stored   2099-12-31 23:59  00000000  e/f.txt\n"
       "      1234       1234  2 files\n"},
      {"-v ",
       "    Length Compressed  Method   Encryption       Date       Time   CRC-32    Name\n"
       "      1234       1234  Stored   -                2001-02-03 04:05  63fefa52  d/a\\x01b.txt\n"
       "         0          0  Stored   -                2099-12-31 23:59  00000000  e/f.txt\n"
       "      1234       1234  2 files\n"},
  };
  for (const auto& c : cases) {
    auto listed = RunIn(dir->path(), tool + " list " + c.options + "cols.zip");
    ASSERT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.out.substr(0, c.lines.size()), c.lines);
  }
}

TEST_F(InteropListing, CommandLineFailuresGoToStderr) {
  const std::string tool = std::string(ZB_BINARY_DIR) + "/zipbuilder";
  testsupport::WriteTextFile(*dir / "not.zip", std::string(300, 'n'));
  auto run = RunIn(dir->path(), tool + " list not.zip");
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.err.find("This archive is not a valid Zip archive"), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");
  auto missing = RunIn(dir->path(), tool + " comment missing.zip text");
  EXPECT_NE(missing.status, 0);
  EXPECT_NE(missing.err.find("Input file does not exist"), std::string::npos) << missing.err;
}

}  // namespace

namespace {

TEST_F(InteropListing, MoreThan65535MembersAreReadThroughTheZip64EndRecord) {
  auto made = RunIn(dir->path(), "python3 -c \"import zipfile\n"
                                 "with zipfile.ZipFile('many.zip', 'w') as z:\n"
                                 "    [z.writestr('m%05d' % i, b'') for i in range(70000)]\"");
  ASSERT_EQ(made.status, 0) << made.err;
  ui::ScriptedUi ui;
  TZipBuilder zip{nullptr, &ui};
  zip.SetFileName(*dir / "many.zip");
  ASSERT_EQ(zip.Count(), 70000) << zip.Message();
  EXPECT_EQ(zip.ZipDirEntryRecords().back()->FileName, "m69999");
  EXPECT_FALSE(zip.StructureWarning());
  EXPECT_TRUE(ui.boxes.empty());
}

}  // namespace
