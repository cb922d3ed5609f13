// The compression engine driven directly through its command record and a test
// callback: what it selects, how it stores members, its callback traffic, and
// deleting. Archives are read back through the component's listing and the
// decompression engine.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "engines/ZipEngineApi.h"
#include "engines/common/Crc32.h"
#include "platform/DynamicLibrary.h"
#include "platform/Env.h"
#include "tests/support/TempDir.h"
#include "tests/support/Noise.h"
#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"

namespace {

using testsupport::ReadTextFile;
using testsupport::TempDir;
using testsupport::WriteTextFile;

struct Call {
  int action;
  int error;
  intptr_t value;
  std::string text;
};

// What the test callback saw, and how it answers.
struct CallbackScript {
  std::vector<Call> calls;
  int cancelAtAction = 0;  // answer 1 from the first call with this action on
  bool cancelled = false;
  std::optional<std::string> password;  // answer to action 8
};
CallbackScript* script = nullptr;

int32_t TestCallback(ZCallBackStruct* r) {
  script->calls.push_back({r->ActionCode, r->ErrorCode, r->FileSize, r->FileNameOrMsg});
  if (r->ActionCode == kActionPassword) {
    if (script->password) {
      std::snprintf(r->FileNameOrMsg, kCallbackTextSize, "%s", script->password->c_str());
      r->ErrorCode = 1;
    } else {
      r->ErrorCode = 0;
    }
  }
  if (script->cancelAtAction && r->ActionCode == script->cancelAtAction) script->cancelled = true;
  return script->cancelled ? 1 : 0;
}

struct Engine {
  platform::LibraryHandle library = nullptr;
  ZipDllExecFn exec = nullptr;
  DllVersionFn version = nullptr;
  Engine() {
    library = platform::DefaultEnv().libraries->Load(std::string(ZB_BINARY_DIR) + "/ZIPDLL.DLL");
    if (!library) return;
    exec = reinterpret_cast<ZipDllExecFn>(platform::DefaultEnv().libraries->GetProcAddress(library, "ZipDllExec"));
    version = reinterpret_cast<DllVersionFn>(
        platform::DefaultEnv().libraries->GetProcAddress(library, "GetZipDllVersion"));
  }
  ~Engine() {
    if (library) platform::DefaultEnv().libraries->Free(library);
  }
};

struct ZipDllTest : ::testing::Test {
  Engine engine;
  TempDir dir;
  CallbackScript calls;
  ZipParams record{};
  std::vector<ZipFileData> specs;
  std::vector<std::string> specTexts;
  std::vector<char*> exclusions;
  std::string archive;
  ui::ScriptedUi ui;

  void SetUp() override {
    ASSERT_TRUE(engine.exec && engine.version);
    script = &calls;
    archive = dir / "out.zip";
    std::filesystem::create_directories(dir / "tree/sub/deep");
    WriteTextFile(dir / "tree/a.txt", "alpha alpha alpha alpha alpha alpha\n");
    WriteTextFile(dir / "tree/b.gif", std::string(4000, 'g'));
    WriteTextFile(dir / "tree/.hidden", "secret dot file");
    WriteTextFile(dir / "tree/sub/c.txt", std::string(10000, 'c'));
    WriteTextFile(dir / "tree/sub/deep/d.log", "delta");
    std::filesystem::permissions(dir / "tree/a.txt", std::filesystem::perms(0640));
    record.fVersion = 160;
    record.ZCallbackFunc = &TestCallback;
    record.fLevel = 9;
    record.fGrow = 1;
    record.fQuiet = 1;
    record.fNoDirEntries = 1;
    record.fSeven = 7;
  }
  void TearDown() override { script = nullptr; }

  // One specification entry per text, relative to the temporary directory.
  void Specs(const std::vector<std::string>& texts, bool recurse) {
    specTexts = texts;
    specs.assign(texts.size(), ZipFileData{});
    for (size_t i = 0; i < texts.size(); ++i) {
      specs[i].fFileSpec = specTexts[i].data();
      specs[i].fRecurse = recurse ? 1 : 0;
      specs[i].fRootDir = const_cast<char*>(dir.path().c_str());
    }
    record.fFDS = specs.data();
    record.fArgc = static_cast<uint32_t>(specs.size());
  }
  int Run() {
    record.pZipFN = const_cast<char*>(archive.c_str());
    calls.calls.clear();
    return engine.exec(&record);
  }
  // Member name -> directory entry, as the component lists the archive.
  std::map<std::string, ZipDirEntry> Listing() {
    TZipBuilder zip(nullptr, &ui);
    zip.Unattended = true;
    zip.SetFileName(archive);
    std::map<std::string, ZipDirEntry> members;
    for (const auto& e : zip.ZipDirEntryRecords()) members[e->FileName] = *e;
    return members;
  }
  std::vector<int> Actions() const {
    std::vector<int> actions;
    for (const Call& c : calls.calls) actions.push_back(c.action);
    return actions;
  }
  bool HasMessage(int code) const {
    for (const Call& c : calls.calls)
      if (c.action == kActionMessage && c.error == code) return true;
    return false;
  }
};

TEST_F(ZipDllTest, ReportsVersion160) { EXPECT_EQ(engine.version(), 160); }

TEST_F(ZipDllTest, SelectionByRecursionHiddenFilesAndExclusions) {
  struct Case {
    const char* title;
    std::vector<std::string> specs;
    bool recurse, hidden, junk, dirEntries;
    std::vector<std::string> exclusions;
    std::vector<std::string> expected;
  } cases[] = {
      {"flat wildcard", {"tree/*.txt"}, false, false, false, false, {}, {"tree\\a.txt"}},
      {"recursive wildcard", {"tree/*.txt"}, true, false, false, false, {}, {"tree\\a.txt", "tree\\sub\\c.txt"}},
      {"star dot star means all", {"tree/*.*"}, true, false, false, false, {},
       {"tree\\a.txt", "tree\\b.gif", "tree\\sub\\c.txt", "tree\\sub\\deep\\d.log"}},
      {"directory with hidden files", {"tree"}, true, true, false, false, {},
       {"tree\\.hidden", "tree\\a.txt", "tree\\b.gif", "tree\\sub\\c.txt", "tree\\sub\\deep\\d.log"}},
      {"directory entries", {"tree/sub"}, true, false, false, true, {},
       {"tree\\sub\\", "tree\\sub\\c.txt", "tree\\sub\\deep\\", "tree\\sub\\deep\\d.log"}},
      {"junked paths", {"tree"}, true, false, true, true, {}, {"a.txt", "b.gif", "c.txt", "d.log"}},
      {"exclusions by name and path", {"tree"}, true, false, false, false, {"*.gif", "tree/sub/deep/*"},
       {"tree\\a.txt", "tree\\sub\\c.txt"}},
      {"single named file", {"tree/sub/c.txt"}, false, false, false, false, {}, {"tree\\sub\\c.txt"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    std::filesystem::remove(archive);
    Specs(c.specs, c.recurse);
    record.fSystem = c.hidden;
    record.fJunkDir = c.junk;
    record.fNoDirEntries = !c.dirEntries;
    std::vector<std::string> ex = c.exclusions;
    exclusions.clear();
    for (auto& e : ex) exclusions.push_back(e.data());
    record.fExFiles = exclusions.empty() ? nullptr : exclusions.data();
    record.fTotExFileSpecs = static_cast<uint32_t>(exclusions.size());
    EXPECT_EQ(Run(), static_cast<int>(c.expected.size()));
    std::vector<std::string> names;
    TZipBuilder zip(nullptr, &ui);
    zip.Unattended = true;
    zip.SetFileName(archive);
    for (const auto& e : zip.ZipDirEntryRecords()) names.push_back(e->FileName);
    // The listing leaves directory entries out; count them from the engine's progress.
    std::vector<std::string> begun;
    for (const Call& call : calls.calls)
      if (call.action == kActionMemberBegin) begun.push_back(zip.ReplaceForwardSlash(call.text));
    std::sort(begun.begin(), begun.end());
    std::vector<std::string> expected = c.expected;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(begun, expected);
  }
}

TEST_F(ZipDllTest, StoresMethodsAttributesAndUtf8Names) {
  WriteTextFile(dir / "tree/\xc3\xbc-umlaut.txt", std::string(3000, 'u'));
  WriteTextFile(dir / "tree/random.bin", testsupport::Noise(5000, 12345));
  char suffixes[] = ".zip:.gif";
  record.pSuffix = suffixes;
  Specs({"tree/*"}, false);
  ASSERT_EQ(Run(), 4) << "the hidden file and the subdirectory are not taken";
  auto members = Listing();
  ASSERT_EQ(members.size(), 4u);
  EXPECT_EQ(members["tree\\a.txt"].Method, 8);
  EXPECT_EQ(members["tree\\b.gif"].Method, 0) << "store suffix";
  EXPECT_EQ(members["tree\\random.bin"].Method, 0) << "incompressible data is stored";
  EXPECT_EQ(members["tree\\random.bin"].CompressedSize, 5000u);
  const ZipDirEntry& a = members["tree\\a.txt"];
  if (testsupport::kPosixPermissions) {
    EXPECT_EQ(a.HostSystem, 3);
    EXPECT_EQ((a.ExternalAttributes >> 16) & 0777, 0640u);
  } else {
    EXPECT_EQ(a.HostSystem, 11) << "NTFS";
  }
  EXPECT_EQ(a.ExternalAttributes & 0xFF, 0x20u) << "DOS archive attribute in the low byte";
  EXPECT_EQ(a.GeneralFlags & 0x0800, 0) << "ASCII names plain";
  EXPECT_EQ(a.Crc32, engine::Crc32Update(0, "alpha alpha alpha alpha alpha alpha\n", 36));
  ASSERT_TRUE(members.count("tree\\\xc3\xbc-umlaut.txt"));
  EXPECT_EQ(members["tree\\\xc3\xbc-umlaut.txt"].GeneralFlags & 0x0800, 0x0800);

  std::filesystem::remove(archive);
  record.fLevel = 0;
  Run();
  for (const auto& [name, e] : Listing()) EXPECT_EQ(e.Method, 0) << name << " at level 0";
}

TEST_F(ZipDllTest, ProgressOrderAndCountResult) {
  Specs({"tree/sub/*"}, true);
  ASSERT_EQ(Run(), 2);
  std::vector<int> expected = {kActionMemberCount, kActionTotalBytes, kActionMemberBegin, kActionBytesDone,
                               kActionMemberBegin, kActionBytesDone, kActionBatchEnd};
  EXPECT_EQ(Actions(), expected);
  EXPECT_EQ(calls.calls[0].value, 2);
  EXPECT_EQ(calls.calls[1].value, 10005);
}

TEST_F(ZipDllTest, FreshenUpdateAndReplace) {
  Specs({"tree/a.txt"}, false);
  ASSERT_EQ(Run(), 1);
  auto older = std::filesystem::last_write_time(dir / "tree/a.txt") - std::chrono::hours(1);
  std::filesystem::last_write_time(dir / "tree/a.txt", older);
  WriteTextFile(dir / "tree/new.txt", "new");

  Specs({"tree/a.txt", "tree/new.txt"}, false);
  record.fFreshen = 1;
  EXPECT_EQ(Run(), 0) << "freshen: a.txt is older, new.txt not in the archive";
  EXPECT_EQ(Listing().size(), 1u);
  record.fFreshen = 0;
  record.fUpdate = 1;
  EXPECT_EQ(Run(), 1) << "update adds new.txt only";
  EXPECT_EQ(Listing().size(), 2u);
  record.fUpdate = 0;
  WriteTextFile(dir / "tree/a.txt", "replaced");
  EXPECT_EQ(Run(), 2) << "plain add replaces both";
  auto members = Listing();
  EXPECT_EQ(members.size(), 2u);
  EXPECT_EQ(members["tree\\a.txt"].UncompressedSize, 8u);
}

TEST_F(ZipDllTest, EncryptionAsksForAPasswordWhenNoneIsGiven) {
  Specs({"tree/a.txt"}, false);
  specs[0].fEncrypt = 1;
  calls.password = "pw";
  ASSERT_EQ(Run(), 1);
  auto ask = std::find_if(calls.calls.begin(), calls.calls.end(),
                          [](const Call& c) { return c.action == kActionPassword; });
  ASSERT_NE(ask, calls.calls.end());
  EXPECT_EQ(ask->error & 1, 1) << "bit 0: a password for adding";
  auto members = Listing();
  EXPECT_TRUE(members["tree\\a.txt"].Encrypted);
  EXPECT_EQ(members["tree\\a.txt"].GeneralFlags & 1, 1);

  // No answer: nothing is written and the existing archive stays as it was.
  std::string before = ReadTextFile(archive);
  WriteTextFile(dir / "tree/a.txt", "changed");
  calls.password.reset();
  EXPECT_EQ(Run(), 0);
  EXPECT_TRUE(HasMessage(kEngineBadPassword));
  EXPECT_EQ(ReadTextFile(archive), before);
}

TEST_F(ZipDllTest, EntryPasswordNeedsNoQuestion) {
  Specs({"tree/a.txt"}, false);
  char password[] = "own";
  specs[0].fEncrypt = 1;
  specs[0].fFilePassword = password;
  ASSERT_EQ(Run(), 1);
  for (const Call& c : calls.calls) EXPECT_NE(c.action, kActionPassword);
  // Read the member back with the password through the decompression engine.
  TZipBuilder zip(nullptr, &ui);
  zip.Unattended = true;
  zip.SetDLLDirectory(ZB_BINARY_DIR);
  zip.SetFileName(archive);
  zip.Password = "own";
  TZipStream* s = zip.ExtractFileToStream("tree\\a.txt");
  ASSERT_NE(s, nullptr) << zip.Message();
  EXPECT_EQ(std::string(reinterpret_cast<char*>(s->Memory()), s->Size()), "alpha alpha alpha alpha alpha alpha\n");
}

TEST_F(ZipDllTest, DeleteBySpecificationWithExclusions) {
  Specs({"tree"}, true);
  ASSERT_EQ(Run(), 4);
  record.fDeleteEntries = 1;
  record.fGrow = 0;
  Specs({"*.txt"}, false);
  char keep[] = "tree/sub/*";
  exclusions = {keep};
  record.fExFiles = exclusions.data();
  record.fTotExFileSpecs = 1;
  EXPECT_EQ(Run(), 1);
  auto members = Listing();
  EXPECT_EQ(members.size(), 3u);
  EXPECT_FALSE(members.count("tree\\a.txt"));
  EXPECT_TRUE(members.count("tree\\sub\\c.txt"));

  Specs({"nothing*"}, false);
  std::string before = ReadTextFile(archive);
  EXPECT_EQ(Run(), 0);
  EXPECT_TRUE(HasMessage(kEngineNothingToDo));
  EXPECT_EQ(ReadTextFile(archive), before);
}

TEST_F(ZipDllTest, StreamToStreamHeaderAndSize) {
  std::string input(20000, 'z');
  std::vector<uint8_t> out(input.size() + kStreamHeaderSize);
  record.fUseInStream = 1;
  record.fInStream = input.data();
  record.fInStreamSize = static_cast<uint32_t>(input.size());
  record.fUseOutStream = 1;
  record.fOutStream = out.data();
  record.fOutStreamSize = static_cast<uint32_t>(out.size());
  ASSERT_EQ(Run(), 1);
  uint32_t crc = out[0] | out[1] << 8 | out[2] << 16 | static_cast<uint32_t>(out[3]) << 24;
  EXPECT_EQ(crc, engine::Crc32Update(0, input.data(), input.size()));
  EXPECT_EQ(out[4] | out[5] << 8, 8);
  EXPECT_LT(record.fOutStreamSize, 200u);
  EXPECT_GT(record.fOutStreamSize, kStreamHeaderSize);
}

TEST_F(ZipDllTest, StreamToFileUsesGivenNameDateAndAttributes) {
  std::string input = "stream member";
  record.fUseInStream = 1;
  record.fInStream = input.data();
  record.fInStreamSize = static_cast<uint32_t>(input.size());
  record.fStrFileDate = (44u << 25) | (3u << 21) | (15u << 16) | (10u << 11) | (20u << 5);  // 2024-03-15 10:20
  record.fStrFileAttr = 0x01;
  Specs({"docs/memo.txt"}, false);
  ASSERT_EQ(Run(), 1);
  auto members = Listing();
  ASSERT_TRUE(members.count("docs\\memo.txt"));
  const ZipDirEntry& e = members["docs\\memo.txt"];
  EXPECT_EQ((static_cast<uint32_t>(e.ModDate) << 16) | e.ModTime, record.fStrFileDate);
  EXPECT_EQ(e.ExternalAttributes & 0xFF, 0x01u);
  EXPECT_EQ(e.UncompressedSize, input.size());
}

TEST_F(ZipDllTest, MoveRemovesSourcesOnlyAfterSuccessAndZipTimeDatesTheArchive) {
  Specs({"tree/sub"}, true);
  record.fMove = 1;
  record.fNoDirEntries = 0;
  record.fLatestTime = 1;
  std::filesystem::last_write_time(dir / "tree/sub/c.txt",
                                   std::filesystem::file_time_type::clock::now() - std::chrono::hours(48));
  ASSERT_EQ(Run(), 4);
  EXPECT_FALSE(std::filesystem::exists(dir / "tree/sub"));
  EXPECT_TRUE(std::filesystem::exists(dir / "tree/a.txt"));
  auto members = Listing();
  uint32_t newest = 0;
  for (const auto& [name, e] : members) newest = std::max(newest, (uint32_t{e.ModDate} << 16) | e.ModTime);
  auto info = platform::DefaultEnv().files->Stat(archive);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->dosDateTime, newest);
}

TEST_F(ZipDllTest, ForcedDosNamesAndMissingFiles) {
  WriteTextFile(dir / "tree/long file name.text", "x");
  Specs({"tree/long file name.text", "tree/absent.txt"}, false);
  record.fForce = 1;
  EXPECT_EQ(Run(), 1);
  EXPECT_TRUE(HasMessage(kEngineFileNotFound));
  EXPECT_TRUE(Listing().count("TREE\\LONGFILE.TEX"));
}

}  // namespace
