// The extract command record as the engine receives it, in both layouts, and
// the extraction operations around it.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "platform/DynamicLibrary.h"
#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "tests/support/RecordingEngineFixture.h"

namespace {

using testsupport::RecordAs;

struct ExtractRecordsTest : testsupport::RecordingEngineFixture {
  void SetUp() override {
    PrepareArchive({testsupport::TestMember("Docs/Read Me.txt", "hello world"),
                    testsupport::TestMember("b.bin", std::string(300, 'b'))});
  }
};

TEST_F(ExtractRecordsTest, CurrentLayoutFieldByField) {
  UseVersion(160, 2);
  NameArchiveUnlisted();
  zip.Trace = true;
  zip.Verbose = false;
  zip.CodePage = cpOEM;
  zip.ExtrOptions = ExtrOpts{ExtrFreshen, ExtrUpdate, ExtrDirNames, ExtrOverWrite, ExtrTest};
  zip.Password = std::string(100, 'p');
  zip.SetPasswordReqCount(7);
  zip.OwnerWindow = 0x1234;
  zip.ExtrBaseDir = dir.path();
  zip.SetFSpecArgs({"*.txt", "b.bin"});
  zip.Extract();

  EXPECT_EQ(zip.SuccessCount(), 2);
  ASSERT_EQ(engine.Execs().size(), 1u);
  const auto& rec = engine.Execs()[0];
  EXPECT_FALSE(rec.isZip);
  EXPECT_FALSE(rec.oldLayout);
  auto r = RecordAs<UnzParams>(rec.bytes);
  EXPECT_EQ(r.fHandle, 0x1234u);
  EXPECT_EQ(r.fCaller, static_cast<void*>(&zip));
  EXPECT_EQ(r.fVersion, 160u);
  EXPECT_EQ(r.ZCallbackFunc, &TZipBuilder::ZCallback);
  EXPECT_EQ(r.fTraceEnabled, 1u);
  EXPECT_EQ(r.fWantedCodePage, 2u);
  EXPECT_EQ(r.fReserved0, 0u);
  EXPECT_EQ(rec.password, std::string(81, 'p'));
  EXPECT_EQ(r.fTest, 1u);
  EXPECT_EQ(r.fComments, 0u);
  EXPECT_EQ(r.fConvert, 0u);
  EXPECT_EQ(r.fQuiet, 1u);
  EXPECT_EQ(r.fVerboseEnabled, 1u) << "trace switches verbose on";
  EXPECT_EQ(r.fUpdate, 1u);
  EXPECT_EQ(r.fFreshen, 0u) << "update wins over freshen";
  EXPECT_EQ(r.fDirectories, 1u);
  EXPECT_EQ(r.fOverwrite, 1u);
  EXPECT_EQ(r.fArgc, 2u);
  EXPECT_EQ(rec.archiveName, archive);
  EXPECT_EQ(rec.specs, (std::vector<std::string>{"*.txt", "b.bin"}));
  for (const auto& entry : rec.specEntries)
    for (size_t i = sizeof(char*); i < entry.size(); ++i) EXPECT_EQ(entry[i], 0) << i;
  EXPECT_EQ(r.fReserved1, 0u);
  EXPECT_EQ(r.fUseOutStream, 0u);
  EXPECT_EQ(r.fUseInStream, 0u);
  EXPECT_EQ(r.fPwdReqCount, 7u);
  ASSERT_EQ(rec.extractDirBlock.size(), 261u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(rec.extractDirBlock.data())), dir.path());
  for (uint8_t b : r.fReserved2) EXPECT_EQ(b, 0);
  EXPECT_EQ(r.fSeven, 7u);

  EXPECT_TRUE(zip.FSpecArgs().empty()) << "an extraction consumes its specifications";
  EXPECT_FALSE(zip.UnzDllLoaded()) << "loaded for the call, unloaded after it";
  EXPECT_FALSE(zip.UnzipRunning());
}

TEST_F(ExtractRecordsTest, MissingBaseDirectoryFallsBackToTheCurrentDirectory) {
  UseVersion(160);
  NameArchiveUnlisted();
  zip.ExtrBaseDir = dir / "does-not-exist";
  zip.Extract();
  ASSERT_EQ(engine.Execs().size(), 1u);
  std::string base(reinterpret_cast<const char*>(engine.Execs()[0].extractDirBlock.data()));
  EXPECT_EQ(base, platform::PosixFileSystem().GetCurrentDirectory());
}

TEST_F(ExtractRecordsTest, RequestCountOnlyForVersion160AndLater) {
  UseVersion(155);
  NameArchiveUnlisted();
  zip.SetPasswordReqCount(9);
  zip.Password = "pw";
  zip.Extract();
  ASSERT_EQ(engine.Execs().size(), 1u);
  EXPECT_FALSE(engine.Execs()[0].oldLayout);
  EXPECT_EQ(RecordAs<UnzParams>(engine.Execs()[0].bytes).fPwdReqCount, 0u);
}

TEST_F(ExtractRecordsTest, OlderLayoutBelowVersion152) {
  UseVersion(151, 1);
  NameArchiveUnlisted();
  zip.Verbose = true;
  zip.ExtrOptions = ExtrOpts{ExtrFreshen};
  zip.Password = "short";
  zip.SetFSpecArgs({"a", "b", "c"});
  testsupport::DirtyStack();  // the record is built on the stack: all of it must be zeroed
  zip.Extract();
  ASSERT_EQ(engine.Execs().size(), 1u);
  const auto& rec = engine.Execs()[0];
  EXPECT_TRUE(rec.oldLayout);
  auto r = RecordAs<UnzParamsOld>(rec.bytes);
  EXPECT_EQ(r.fSeven, 7u);
  EXPECT_EQ(r.fArgc, 3u);
  EXPECT_EQ(r.fFreshen, 1u);
  EXPECT_EQ(r.fVerboseEnabled, 1u);
  EXPECT_EQ(r.fTraceEnabled, 0u);
  EXPECT_EQ(rec.specs, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_NE(r.FNV[2], nullptr);
  for (size_t i = 3; i < kOldSpecTableSize; ++i) ASSERT_EQ(r.FNV[i], nullptr) << i;
  EXPECT_EQ(rec.password, "short");
  EXPECT_EQ(zip.SuccessCount(), 1);
}

TEST_F(ExtractRecordsTest, OlderEngineUnattendedEncryptingWithoutPasswordGetsTildes) {
  UseVersion(151);
  NameArchiveUnlisted();
  zip.AddOptions = AddOpts{AddEncrypt};
  zip.OnPasswordError = [](TZipBuilder*, bool, std::string&, const std::string&, uint32_t&, TPasswordButton&) {};
  zip.Extract();
  ASSERT_EQ(engine.Execs().size(), 1u);
  EXPECT_EQ(engine.Execs()[0].password, std::string(80, '~'));
}

TEST_F(ExtractRecordsTest, TooManySpecificationsForTheOlderLayoutAreRefused) {
  UseVersion(151);
  NameArchiveUnlisted();
  zip.SetFSpecArgs(std::vector<std::string>(kOldSpecTableSize + 1, "x"));
  zip.Extract();
  EXPECT_TRUE(engine.Execs().empty());
  EXPECT_EQ(zip.ErrCode(), 10501);
  EXPECT_TRUE(zip.FSpecArgs().empty());
}

TEST_F(ExtractRecordsTest, UnattendedWithoutAnyPasswordSourceAsksNoPasswords) {
  UseVersion(160);
  NameArchiveUnlisted();
  zip.SetPasswordReqCount(5);
  std::vector<int> reports;
  zip.OnMessage = [&](TZipBuilder* z, int, const std::string&) { reports.push_back(z->ErrCode()); };
  zip.Extract();
  ASSERT_EQ(engine.Execs().size(), 1u);
  EXPECT_EQ(RecordAs<UnzParams>(engine.Execs()[0].bytes).fPwdReqCount, 0u);
  EXPECT_EQ(reports, std::vector<int>{10502});
  EXPECT_EQ(zip.ErrCode(), 10502);
  EXPECT_EQ(zip.PasswordReqCount(), 5u) << "restored after the run";
}

// The real loader, with a look at the component whenever it unloads a library.
class UnloadWatch : public platform::DynamicLibraries {
 public:
  std::function<void()> onFree;
  platform::LibraryHandle Load(const std::string& name) override { return real().Load(name); }
  void* GetProcAddress(platform::LibraryHandle library, const std::string& symbol) override {
    return real().GetProcAddress(library, symbol);
  }
  void Free(platform::LibraryHandle library) override {
    if (onFree) onFree();
    real().Free(library);
  }

 private:
  static platform::DynamicLibraries& real() { return *platform::DefaultEnv().libraries; }
};

TEST_F(ExtractRecordsTest, RequestCountIsBackBeforeTheEngineIsUnloaded) {
  UseVersion(160);
  UnloadWatch libraries;
  platform::Env env = platform::DefaultEnv();
  env.libraries = &libraries;
  TZipBuilder watched(&env, &ui);
  watched.SetDLLDirectory(dir.path());
  watched.Unattended = true;
  watched.Designing = true;
  watched.SetFileName(archive);
  watched.Designing = false;
  watched.SetPasswordReqCount(5);
  std::vector<uint32_t> countAtUnload;
  std::vector<bool> runningAtUnload;
  libraries.onFree = [&] {
    countAtUnload.push_back(watched.PasswordReqCount());
    runningAtUnload.push_back(watched.UnzipRunning());
  };
  watched.Extract();
  ASSERT_EQ(engine.Execs().size(), 1u);
  EXPECT_EQ(RecordAs<UnzParams>(engine.Execs()[0].bytes).fPwdReqCount, 0u);
  EXPECT_EQ(countAtUnload, std::vector<uint32_t>{5});
  EXPECT_EQ(runningAtUnload, std::vector<bool>{true}) << "the run ends after the unload";
  EXPECT_FALSE(watched.UnzipRunning());
}

TEST_F(ExtractRecordsTest, StreamModesNeedVersion160) {
  UseVersion(151);
  zip.SetFileName(archive);
  EXPECT_EQ(zip.ExtractFileToStream("b.bin"), nullptr);
  EXPECT_EQ(zip.ErrCode(), 10503);
  TMemoryStream input;
  input.Write("abcdef", 6);
  EXPECT_EQ(zip.ExtractStreamToStream(&input, 10), nullptr);
  EXPECT_EQ(zip.ErrCode(), 10503);
  EXPECT_TRUE(engine.Execs().empty());
}

TEST_F(ExtractRecordsTest, FileToStreamFindsTheMemberIgnoringCase) {
  recording::Config config;
  config.result = 1;
  config.outputData = {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'};
  engine.Configure(config);
  zip.SetFileName(archive);
  ASSERT_EQ(zip.Count(), 2) << zip.Message();
  TZipStream* stream = zip.ExtractFileToStream("docs\\READ me.TXT");
  ASSERT_EQ(stream, &zip.ZipStream());
  ASSERT_EQ(engine.Execs().size(), 1u);
  auto r = RecordAs<UnzParams>(engine.Execs()[0].bytes);
  EXPECT_EQ(r.fUseOutStream, 1u);
  EXPECT_EQ(r.fOutStreamSize, 11u);
  EXPECT_EQ(r.fArgc, 1u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(stream->Memory()), 11), "hello world");
}

TEST_F(ExtractRecordsTest, FileToStreamWithoutMatchDoesNotCallTheEngine) {
  UseVersion(160, 1);
  zip.SetFileName(archive);
  EXPECT_EQ(zip.ExtractFileToStream("nothing.txt"), nullptr);
  EXPECT_TRUE(engine.Execs().empty());
  EXPECT_EQ(zip.SuccessCount(), 0);

  // No name and no specification left: nothing to compare, reported.
  EXPECT_EQ(zip.ExtractFileToStream(""), nullptr);
  EXPECT_EQ(zip.ErrCode(), 10501);
  EXPECT_TRUE(engine.Execs().empty());
}

TEST_F(ExtractRecordsTest, StreamToStreamHandsOverTheInputAndRefusesItsOwnStream) {
  recording::Config config;
  config.result = 1;
  config.outputData = {'x', 'y', 'z'};
  engine.Configure(config);
  TMemoryStream input;
  input.Write("compressed", 10);
  TZipStream* out = zip.ExtractStreamToStream(&input, 3);
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(engine.Execs().size(), 1u);
  const auto& rec = engine.Execs()[0];
  auto r = RecordAs<UnzParams>(rec.bytes);
  EXPECT_EQ(r.fUseInStream, 1u);
  EXPECT_EQ(r.fInStreamSize, 10u);
  EXPECT_EQ(std::string(rec.inStream.begin(), rec.inStream.end()), "compressed");
  EXPECT_EQ(r.fOutStreamSize, 3u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(out->Memory()), 3), "xyz");

  EXPECT_EQ(zip.ExtractStreamToStream(&zip.ZipStream(), 3), nullptr);
  EXPECT_EQ(zip.ErrCode(), 10306);

  UseVersion(160, 0);  // the engine fails: the stream is emptied
  EXPECT_EQ(zip.ExtractStreamToStream(&input, 3), nullptr);
  EXPECT_EQ(zip.ZipStream().Size(), 0);
}

TEST_F(ExtractRecordsTest, ScriptedCallbacksReachTheEventsDuringTheCall) {
  recording::Config config;
  config.script = {{kActionMemberCount, 0, 1, 0, "", ""},
                   {kActionMemberBegin, 0, 11, 0, "Docs/Read Me.txt", ""},
                   {kActionMessage, 300, 0, 0, "something failed", ""},
                   {kActionPassword, 0, 20, 0, "Docs/Read Me.txt", ""}};
  engine.Configure(config);
  NameArchiveUnlisted();
  std::vector<std::string> began;
  zip.OnProgress = [&](TZipBuilder*, ProgressType t, const std::string& n, int64_t) {
    if (t == ptMemberBegin) began.push_back(n);
  };
  zip.OnPasswordError = [](TZipBuilder*, bool, std::string& pw, const std::string&, uint32_t& rep, TPasswordButton&) {
    pw = "guess";
    rep = 20;
  };
  zip.Extract();
  EXPECT_EQ(began, std::vector<std::string>{"Docs\\Read Me.txt"});
  EXPECT_EQ(zip.ErrCode(), 44);
  EXPECT_EQ(zip.EngineErrCode(), 300);
  ASSERT_EQ(engine.Played().size(), 4u);
  EXPECT_EQ(engine.Played()[3].text, "guess");
  EXPECT_EQ(engine.Played()[3].errorCode, 1);
  EXPECT_EQ(engine.Played()[3].fileSize, 15);
}

TEST_F(ExtractRecordsTest, HandlerExceptionDuringTheCallIsReportedAsEngineAbort) {
  recording::Config config;
  config.script = {{kActionMemberBegin, 0, 1, 0, "a", ""}, {kActionMemberBegin, 0, 1, 0, "b", ""}};
  engine.Configure(config);
  NameArchiveUnlisted();
  zip.OnProgress = [](TZipBuilder*, ProgressType, const std::string&, int64_t) { throw std::runtime_error("x"); };
  zip.Extract();
  EXPECT_EQ(zip.ErrCode(), 10501);
  EXPECT_EQ(engine.Played().size(), 1u) << "the engine was told to stop";
  EXPECT_FALSE(zip.Cancel);
  EXPECT_FALSE(zip.UnzipRunning());
}

// The 260-character limit is the base directory's: output to memory writes no
// file and works from a current directory of any length.
TEST_F(ExtractRecordsTest, OnlyExtractionIntoFilesNeedsAShortCurrentDirectory) {
  recording::Config config;
  config.result = 1;
  config.outputData = {'x', 'y', 'z'};
  engine.Configure(config);
  zip.Password = "pw";  // no warning about passwords nobody can give
  zip.SetFileName(archive);
  ASSERT_EQ(zip.Count(), 2);
  TMemoryStream input;
  input.Write("compressed", 10);
  const struct {
    const char* what;
    std::function<bool()> run;  // true when it gave a result
    int32_t errCode;
  } cases[] = {
      {"member to memory", [&] { return zip.ExtractFileToStream("b.bin") != nullptr; }, 0},
      {"memory to memory", [&] { return zip.ExtractStreamToStream(&input, 3) != nullptr; }, 0},
      {"into files",
       [&] {
         zip.Extract();
         return zip.SuccessCount() == 1;
       },
       10501},
  };
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::path deep = dir.path();
  while (deep.string().size() < 300) deep /= std::string(60, 'd');
  std::filesystem::create_directories(deep);
  std::filesystem::current_path(deep);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const size_t calls = engine.Execs().size();
    EXPECT_EQ(c.run(), c.errCode == 0);
    EXPECT_EQ(zip.ErrCode(), c.errCode) << zip.Message();
    EXPECT_EQ(engine.Execs().size(), calls + (c.errCode == 0 ? 1 : 0));
  }
  std::filesystem::current_path(previous);
}

TEST_F(ExtractRecordsTest, PreconditionsStopBeforeTheEngine) {
  UseVersion(160);
  zip.Designing = true;
  zip.SetFileName(dir / "missing.zip");
  zip.Extract();
  EXPECT_EQ(zip.ErrCode(), 10102);

  zip.SetFileName(archive);
  zip.SetLastDiskNumber(2);
  zip.SetFSpecArgs({"x"});
  zip.Extract();
  // Taken for a set, the archive is joined first: its numbered first volume is missing.
  EXPECT_EQ(zip.ErrCode(), 11001);
  EXPECT_TRUE(engine.Execs().empty());
}

}  // namespace
