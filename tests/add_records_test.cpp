// The add command record (and its use for deleting) as the engine receives it,
// checked field by field through the recording engine.
#include <gtest/gtest.h>

#include "tests/support/RecordingEngineFixture.h"

namespace {

using testsupport::RecordAs;

struct AddRecordsTest : testsupport::RecordingEngineFixture {
  void SetUp() override {
    PrepareArchive({testsupport::TestMember("a.txt", "hello")});
    NameArchiveUnlisted();
  }
};

TEST_F(AddRecordsTest, CurrentLayoutFieldByField) {
  UseVersion(160);
  zip.OwnerWindow = 0x42;
  zip.Trace = true;
  zip.AddCompLevel = 6;
  zip.AddOptions = AddOpts{AddFreshen, AddUpdate, AddEncrypt, AddHiddenFiles, AddMove, AddZipTime, AddForceDOS,
                           AddRecurseDirs, AddArchiveOnly, AddResetArchive, AddVolume};
  zip.Password = std::string(100, 'x');
  zip.TempDir = "/var/tmp";
  zip.CodePage = cpOEM;
  zip.HowToDelete = htdAllowUndo;
  zip.SetRootDir(dir.path());
  zip.SetFSpecArgs({"|flat/*.txt", ">deep", "plain<", "own<pw1", ">both<pw2"});
  zip.SetFSpecArgsExcl({"*.bak", "tmp/*"});
  zip.Add();

  EXPECT_TRUE(zip.FSpecArgs().empty());
  EXPECT_TRUE(zip.FSpecArgsExcl().empty());
  ASSERT_EQ(engine.Execs().size(), 1u);
  const auto& rec = engine.Execs()[0];
  ASSERT_TRUE(rec.isZip);
  EXPECT_FALSE(rec.oldLayout);
  auto r = RecordAs<ZipParams>(rec.bytes);
  EXPECT_EQ(r.fHandle, 0x42u);
  EXPECT_EQ(r.fCaller, static_cast<void*>(&zip));
  EXPECT_EQ(r.fVersion, 160u);
  EXPECT_EQ(r.ZCallbackFunc, &TZipBuilder::ZCallback);
  EXPECT_EQ(r.fTraceEnabled, 1u);
  EXPECT_EQ(rec.password, std::string(81, 'x'));
  EXPECT_EQ(rec.suffixes, ".gif:.png:.z:.zip:.zoo:.arc:.lzh:.arj:.taz:.tgz:.lha:.rar:.ace:.cab:.gz:.gzip:.jar");
  EXPECT_EQ(r.fEncrypt, 1u);
  EXPECT_EQ(r.fSystem, 1u);
  EXPECT_EQ(r.fVolume, 1u);
  EXPECT_EQ(r.fNoDirEntries, 1u) << "AddSeparateDirs absent";
  EXPECT_EQ(r.fVerboseEnabled, 1u) << "trace switches verbose on";
  EXPECT_EQ(r.fQuiet, 1u);
  EXPECT_EQ(r.fLevel, 6);
  EXPECT_EQ(r.fJunkDir, 1u) << "AddDirNames absent";
  EXPECT_EQ(r.fRecurse, 1u);
  EXPECT_EQ(r.fGrow, 1u);
  EXPECT_EQ(r.fForce, 1u);
  EXPECT_EQ(r.fMove, 1u);
  EXPECT_EQ(r.fDeleteEntries, 0u);
  EXPECT_EQ(r.fUpdate, 1u);
  EXPECT_EQ(r.fFreshen, 0u) << "update wins over freshen";
  EXPECT_EQ(r.fLatestTime, 1u);
  EXPECT_EQ(r.fArgc, 5u);
  EXPECT_EQ(rec.archiveName, archive);
  EXPECT_EQ(rec.tempDir, "/var/tmp");
  EXPECT_EQ(r.fArchiveFilesOnly, 1u);
  EXPECT_EQ(r.fResetArchiveBit, 1u);
  EXPECT_EQ(r.fTotExFileSpecs, 2u);
  EXPECT_EQ(rec.exclusions, (std::vector<std::string>{"*.bak", "tmp/*"}));
  EXPECT_EQ(r.fHowToMove, 1u);
  EXPECT_EQ(r.fWantedCodePage, 2u);
  EXPECT_EQ(r.fSeven, 7u);

  // Markers: "|" and ">" set recursion and vanish; "<" at the end turns
  // encryption off and stays; "<" with text gives the entry's own password.
  struct Expected {
    std::string spec;
    uint16_t recurse;
    uint32_t encrypt;
    std::optional<std::string> password;
  } expected[] = {{"flat/*.txt", 0, 1, std::string(81, 'x')},
                  {"deep", 1, 1, std::string(81, 'x')},
                  {"plain<", 1, 0, std::nullopt},
                  {"own", 1, 1, "pw1"},
                  {"both", 1, 1, "pw2"}};
  ASSERT_EQ(rec.specs.size(), 5u);
  for (size_t i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    auto entry = RecordAs<ZipFileData>(rec.specEntries[i]);
    EXPECT_EQ(rec.specs[i], expected[i].spec);
    EXPECT_EQ(entry.fRecurse, expected[i].recurse);
    EXPECT_EQ(entry.fEncrypt, expected[i].encrypt);
    EXPECT_EQ(rec.specPasswords[i], expected[i].password);
    EXPECT_EQ(rec.specRootDirs[i], zip.RootDir());
  }
}

TEST_F(AddRecordsTest, SuffixListsAndEmptyPassword) {
  UseVersion(160);
  struct Case {
    AddStoreExts suffixes;
    std::optional<std::string> expected;
  } cases[] = {{AddStoreExts{}, std::nullopt},
               {AddStoreExts{assEXE}, ".exe"},
               {AddStoreExts{assJAR, assGIF, assGZ}, ".gif:.gz:.jar"}};
  for (const Case& c : cases) {
    zip.AddStoreSuffixes = c.suffixes;
    zip.SetFSpecArgs({"x"});
    zip.Add();
    ASSERT_FALSE(engine.Execs().empty());
    EXPECT_EQ(engine.Execs().back().suffixes, c.expected);
    EXPECT_EQ(engine.Execs().back().password, std::nullopt) << "empty Password gives null";
  }
}

TEST_F(AddRecordsTest, Version151GetsOnlyTheTempDirAndOlderEnginesTheOldLayout) {
  zip.TempDir = "/var/tmp";
  zip.SetZipComment("note");
  zip.AddOptions = AddOpts{AddArchiveOnly, AddRecurseDirs};
  UseVersion(151);
  zip.SetFSpecArgsExcl({"*.bak"});
  zip.SetFSpecArgs({">a", "b"});
  zip.Add();
  ASSERT_EQ(engine.Execs().size(), 1u);
  auto r = RecordAs<ZipParams>(engine.Execs()[0].bytes);
  EXPECT_EQ(engine.Execs()[0].tempDir, "/var/tmp");
  EXPECT_EQ(r.fArchComment, nullptr);
  EXPECT_EQ(r.fArchiveFilesOnly, 0u);
  EXPECT_EQ(r.fTotExFileSpecs, 0u);
  EXPECT_EQ(r.fSeven, 7u);

  UseVersion(150);
  zip.SetFSpecArgs({">a", "b<pw"});
  testsupport::DirtyStack();  // the record is built on the stack: all of it must be zeroed
  zip.Add();
  ASSERT_EQ(engine.Execs().size(), 1u);
  const auto& old = engine.Execs()[0];
  EXPECT_TRUE(old.oldLayout);
  EXPECT_EQ(old.bytes.size(), sizeof(ZipParamsOld));
  const auto oldRecord = RecordAs<ZipParamsOld>(old.bytes);
  EXPECT_EQ(oldRecord.fSeven, 7u);
  for (size_t i = 2; i < kOldSpecTableSize; ++i) ASSERT_EQ(oldRecord.FDS[i], nullptr) << i;
  EXPECT_EQ(old.specs, (std::vector<std::string>{">a", "b<pw"})) << "plain copies, no markers read";
}

TEST_F(AddRecordsTest, StreamsNeedVersion160) {
  UseVersion(151);
  zip.ZipStream().SetSize(10);
  zip.AddStreamToFile("member.txt", 0x12345678, 0x20);
  EXPECT_EQ(zip.ErrCode(), 10305);
  EXPECT_TRUE(engine.Execs().empty());

  UseVersion(160);
  zip.AddStreamToFile("member.txt", 0, 0x21);
  ASSERT_EQ(engine.Execs().size(), 1u);
  auto r = RecordAs<ZipParams>(engine.Execs()[0].bytes);
  EXPECT_EQ(r.fUseInStream, 1u);
  EXPECT_EQ(r.fStrFileAttr, 0x21u);
  EXPECT_NE(r.fStrFileDate, 0u) << "date-time 0 records the current time";
  EXPECT_EQ(engine.Execs()[0].specs, std::vector<std::string>{"member.txt"});

  zip.AddStreamToFile("wild*.txt", 1, 0);
  EXPECT_EQ(zip.ErrCode(), 10307);
}

TEST_F(AddRecordsTest, DeleteChangesOnlyItsFields) {
  UseVersion(160);
  zip.AddOptions = AddOpts{AddRecurseDirs, AddMove, AddEncrypt, AddFreshen, AddUpdate};
  zip.Password = "pw";
  zip.SetFSpecArgs({">keep/*.txt", "|b"});
  zip.SetFSpecArgsExcl({"x"});
  zip.Delete();
  EXPECT_TRUE(zip.FSpecArgs().empty());
  EXPECT_TRUE(zip.FSpecArgsExcl().empty());
  ASSERT_EQ(engine.Execs().size(), 1u);
  const auto& rec = engine.Execs()[0];
  auto r = RecordAs<ZipParams>(rec.bytes);
  EXPECT_EQ(r.fDeleteEntries, 1u);
  EXPECT_EQ(r.fJunkDir, 0u);
  EXPECT_EQ(r.fRecurse, 0u);
  EXPECT_EQ(r.fGrow, 0u);
  EXPECT_EQ(r.fMove, 0u);
  EXPECT_EQ(r.fUpdate, 0u);
  EXPECT_EQ(r.fFreshen, 0u);
  EXPECT_EQ(r.fEncrypt, 0u);
  EXPECT_EQ(rec.password, "pw");
  EXPECT_EQ(rec.exclusions, std::vector<std::string>{"x"});
  EXPECT_EQ(rec.specs, (std::vector<std::string>{">keep/*.txt", "|b"})) << "lines unchanged";
  for (size_t i = 0; i < rec.specEntries.size(); ++i) {
    auto entry = RecordAs<ZipFileData>(rec.specEntries[i]);
    EXPECT_EQ(entry.fRecurse, 0u);
    EXPECT_EQ(entry.fEncrypt, 0u);
    EXPECT_EQ(rec.specPasswords[i], std::nullopt);
  }
}

TEST_F(AddRecordsTest, SpannedAddReadsTheArchiveItselfWhereTheEngineCan) {
  // Current engines read the kept members from the archive, so no named copy
  // exists while they run; older ones get a copy under the temporary name.
  zip.TempDir = dir.path();
  for (int version : {160, 150}) {
    UseVersion(version);
    zip.AddOptions = AddOpts{AddDiskSpan};
    zip.SetFSpecArgs({"b"});
    zip.Add();
    ASSERT_EQ(engine.Execs().size(), 1u) << version;
    const auto& rec = engine.Execs()[0];
    EXPECT_NE(rec.archiveName, archive) << version;
    EXPECT_EQ(rec.keepFrom, version > 150 ? std::optional<std::string>(archive) : std::nullopt) << version;
  }
}

TEST_F(AddRecordsTest, EarlyStopsReachNoEngine) {
  UseVersion(160);
  zip.Add();
  EXPECT_EQ(zip.ErrCode(), 10301);
  zip.Delete();
  EXPECT_EQ(zip.ErrCode(), 10401);
  zip.AddOptions = AddOpts{AddEncrypt};
  zip.SetFSpecArgs({"a"});
  zip.Add();
  EXPECT_EQ(zip.ErrCode(), 10302);
  EXPECT_EQ(zip.FSpecArgs().size(), 1u) << "kept after an early stop";
  zip.AddOptions = AddOpts{AddDiskSpan, AddFreshen};
  zip.Add();
  EXPECT_EQ(zip.ErrCode(), 10303);
  EXPECT_TRUE(engine.Execs().empty());
}

}  // namespace
