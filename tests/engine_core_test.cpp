// The engines' cores linked directly, without their shared-library wrappers: a
// callback of the test's own and a file system that fails on purpose.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engines/zipdll/ArchiveUpdate.h"
#include "engines/unzdll/CentralDirectory.h"
#include "engines/unzdll/Extractor.h"
#include "engines/zipdll/ArchiveRecords.h"
#include "engines/common/EngineError.h"
#include "engines/common/EntryGuard.h"
#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "tests/support/CraftedZip.h"
#include "tests/support/FaultInjectingFileSystem.h"
#include "tests/support/TempDir.h"

namespace {

using testsupport::CraftZip;
using testsupport::ReadTextFile;
using testsupport::WriteTextFile;

struct Call {
  int32_t action, error;
  std::string text;
};
std::vector<Call>* calls = nullptr;
int32_t stopAnswer = 0;  // answered to the first member begin

int32_t Record(ZCallBackStruct* r) {
  calls->push_back({r->ActionCode, r->ErrorCode, r->FileNameOrMsg});
  return r->ActionCode == kActionMemberBegin ? stopAnswer : kCallbackContinue;
}

class EngineCoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    calls = &seen;
    std::filesystem::create_directory(out);
  }
  void TearDown() override { calls = nullptr; }

  int32_t Extract(const std::string& archive) {
    engine::EngineCallback callback(Record, this, 0, false);
    unzdll::ExtractOptions options;
    options.archive = archive;
    options.baseDirectory = out;
    return engine::GuardedEntry(callback, [&] {
      return unzdll::Extractor(options, callback, *platform::DefaultEnv().files).Run();
    });
  }
  std::vector<std::string> Messages(int32_t code) const {
    std::vector<std::string> texts;
    for (const Call& c : seen)
      if (c.action == kActionMessage && c.error == code) texts.push_back(c.text);
    return texts;
  }

  testsupport::TempDir dir;
  std::string out = dir / "out";
  std::vector<Call> seen;
};

TEST_F(EngineCoreTest, AnyNonZeroCallbackAnswerStopsTheExtraction) {
  const std::string archive = dir / "a.zip";
  WriteTextFile(archive, CraftZip({{"a.txt", "alpha"}, {"b.txt", "beta"}}));
  for (int32_t answer : {0, 1, 2, -1}) {
    SCOPED_TRACE(answer);
    seen.clear();
    std::filesystem::remove_all(out);
    stopAnswer = answer;
    const int32_t result = Extract(archive);
    EXPECT_EQ(result, answer == 0 ? 2 : 0);
    EXPECT_EQ(std::filesystem::exists(dir / "out/a.txt"), answer == 0);
    EXPECT_EQ(Messages(kEngineAborted).size(), answer == 0 ? 0u : 1u);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().action, kActionBatchEnd);
  }
  stopAnswer = 0;
}

TEST_F(EngineCoreTest, FailuresNameTheirReason) {
  EXPECT_EQ(Extract(dir / "missing.zip"), 0);
  ASSERT_EQ(Messages(kEngineOpenError).size(), 1u);
  EXPECT_EQ(Messages(kEngineOpenError)[0],
            "Cannot open archive " + dir / "missing.zip" + ": " + platform::ErrorText(ENOENT));
}

TEST_F(EngineCoreTest, AFullDiskWhileAddingLeavesTheArchiveAsItWasAndSaysWhy) {
  const std::string archive = dir / "b.zip";
  const std::string original = CraftZip({{"old.txt", "old"}});
  WriteTextFile(archive, original);
  WriteTextFile(dir / "new.txt", std::string(5000, 'n'));
  platform::FaultInjectingFileSystem faults(*platform::DefaultEnv().files);
  faults.FailFrom(platform::FaultInjectingFileSystem::Op::Write, 2);

  zipdll::AddRequest request;
  request.archive = archive;
  zipdll::FileSpec spec;
  spec.spec = dir / "new.txt";
  request.specs.push_back(spec);
  zipdll::EngineSession session(Record, this, 0, false);
  try {
    zipdll::RunAdd(faults, *platform::DefaultEnv().shell, request, session);
    ADD_FAILURE() << "the add went through";
  } catch (const engine::EngineError& e) {
    EXPECT_EQ(e.Code(), kEngineWriteError);
    EXPECT_EQ(std::string(e.what()),
              "Cannot write the temporary archive: " + platform::ErrorText(ENOSPC));
  }
  EXPECT_EQ(ReadTextFile(archive), original);
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    files += entry.is_regular_file();
  EXPECT_EQ(files, 2u);  // b.zip and new.txt: no temporary file left behind
}

// A file that grows after being collected: the bytes appended just before its
// read number `growAtRead` (counting from 1).
class GrowingFileSystem : public platform::FaultInjectingFileSystem {
 public:
  GrowingFileSystem(platform::FileSystem& inner, std::string path, std::string growth, int growAtRead)
      : FaultInjectingFileSystem(inner), path_(std::move(path)), growth_(std::move(growth)),
        readsLeft_(growAtRead) {}
  platform::FileHandle Open(const std::string& path, platform::Access access, platform::Share share,
                            platform::Disposition disposition, uint32_t mode) override {
    platform::FileHandle h = FaultInjectingFileSystem::Open(path, access, share, disposition, mode);
    if (path == path_) input_ = h;
    return h;
  }
  int64_t Read(platform::FileHandle h, void* buffer, size_t count) override {
    if (h == input_ && --readsLeft_ == 0)
      grew_ = static_cast<bool>(std::ofstream(path_, std::ios::app | std::ios::binary) << growth_);
    return FaultInjectingFileSystem::Read(h, buffer, count);
  }
  bool Grew() const { return grew_; }

 private:
  std::string path_, growth_;
  platform::FileHandle input_ = platform::kInvalidHandle;
  int readsLeft_;
  bool grew_ = false;
};

// The engine reads what it adds letting others only read: Windows refuses
// writers meanwhile, so there the file is stored as it was; POSIX lets them write.
#ifdef _WIN32
constexpr bool kWritersKeptOut = true;
#else
constexpr bool kWritersKeptOut = false;
#endif

// The header tells the truth about what was stored: the size read whole when
// the file was held in memory, everything read when it was streamed; an
// encrypted streamed file, read once for its CRC and once for its data, is
// refused when the two differ. Where writers are kept out, it does not grow.
TEST_F(EngineCoreTest, AFileThatGrowsWhileAddedGetsATrueHeaderOrARefusal) {
  const std::string before(3000, 'a'), growth(2000, 'b');
  struct Case {
    const char* name;
    const char* wholeBufferLimit;
    bool encrypted;
    int growAtRead;
    std::optional<std::string> stored;  // nullopt: refused
  };
  const Case cases[] = {
      {"held in memory", nullptr, false, 1, before},
      {"streamed", "100", false, 1, before + growth},
      {"streamed, grown while read", "100", false, 2, before + growth},
      // Reads 1 and 2 take the CRC up to the end; the data is read from 3 on.
      {"streamed and encrypted", "100", true, 3, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::ScopedEnv limit("ZIPDLL_WHOLE_BUFFER_LIMIT",
                                 c.wholeBufferLimit ? std::optional<std::string>(c.wholeBufferLimit)
                                                    : std::nullopt);
    const std::string input = dir / "log.txt", archive = dir / "g.zip";
    std::filesystem::remove(archive);
    std::filesystem::remove_all(out);
    std::filesystem::create_directory(out);
    WriteTextFile(input, before);
    GrowingFileSystem files(*platform::DefaultEnv().files, input, growth, c.growAtRead);
    zipdll::AddRequest request;
    request.archive = archive;
    zipdll::FileSpec spec;
    spec.spec = input;
    spec.encrypt = c.encrypted;
    spec.password = "pw";
    request.specs.push_back(spec);
    request.junkDirs = true;
    zipdll::EngineSession session(Record, this, 0, false);
    try {
      zipdll::RunAdd(files, *platform::DefaultEnv().shell, request, session);
      ASSERT_TRUE(c.stored.has_value() || kWritersKeptOut) << "the add went through";
    } catch (const engine::EngineError& e) {
      EXPECT_FALSE(c.stored.has_value()) << e.what();
      EXPECT_NE(std::string(e.what()).find("changed while being added"), std::string::npos);
      EXPECT_FALSE(std::filesystem::exists(archive));
      continue;
    }
    EXPECT_EQ(files.Grew(), !kWritersKeptOut);
    const std::string expected = kWritersKeptOut ? before : *c.stored;
    if (c.encrypted) {  // no password to extract it with: the size its header tells
      const std::string bytes = ReadTextFile(archive);
      unzdll::MemorySource source(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
      EXPECT_EQ(unzdll::ReadCentralDirectory(source, 0).members.at(0).uncompressedSize, expected.size());
      continue;
    }
    seen.clear();
    EXPECT_EQ(Extract(archive), 1);
    EXPECT_TRUE(ReadTextFile(out + "/log.txt") == expected);
  }
}

// Both engines read the end record by one rule: the last one whose comment fits
// in the file, else the last one with its comment cut short by the end of the
// file (the directory before it is whole); trailing bytes are ignored.
TEST_F(EngineCoreTest, BothEnginesFindTheEndRecordByOneRule) {
  const std::string kFalseRecord =
      std::string("PK\x05\x06", 4) + std::string(16, '\0') + std::string("\x40\x00", 2);
  struct Case {
    const char* name;
    std::string tail;         // appended to a two-member archive without comment
    uint16_t claimedComment;  // comment length written into the end record
    std::string keptComment;  // what the compression engine keeps of it
  };
  const Case cases[] = {
      {"comment fits", "hello", 5, "hello"},
      {"comment cut short", "hel", 5, "hel"},
      {"garbage behind", "hello junk", 5, "hello"},
      // The false record's comment would run past the end: it does not count.
      {"a false record inside the comment", kFalseRecord, 22, kFalseRecord},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bytes = CraftZip({{"a.txt", "alpha"}, {"b.txt", "beta"}});
    bytes[bytes.size() - 2] = static_cast<char>(c.claimedComment & 0xFF);
    bytes[bytes.size() - 1] = static_cast<char>(c.claimedComment >> 8);
    bytes += c.tail;
    unzdll::MemorySource source(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    EXPECT_EQ(unzdll::ReadCentralDirectory(source, 0).members.size(), 2u);

    const std::string path = dir / "c.zip";
    WriteTextFile(path, bytes);
    platform::FileSystem& files = *platform::DefaultEnv().files;
    platform::FileHandle h = files.Open(path, platform::Access::Read, platform::Share::Read,
                                        platform::Disposition::OpenExisting);
    ASSERT_NE(h, platform::kInvalidHandle);
    zipdll::ExistingArchive archive = zipdll::ReadArchive(files, h);
    files.Close(h);
    EXPECT_EQ(archive.members.size(), 2u);
    EXPECT_EQ(archive.comment, c.keptComment);
  }
  // No bytes at all, not even an address: no end record, refused cleanly.
  unzdll::MemorySource nothing(nullptr, 0);
  EXPECT_THROW(unzdll::ReadCentralDirectory(nothing, 0), engine::EngineError);
}

}  // namespace
