// Archives the `zip` command writes when it streams (input from a pipe, output to
// a pipe, ZIP64 forced): ZIP64 end records in small archives, ZIP64 extra fields
// in local and central headers, 24-byte data descriptors. The component lists
// them, and the compression engine adds to them and deletes from them; the peers
// then test the result and find every byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "tests/support/PeerTools.h"
#include "tests/support/TempDir.h"
#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"

namespace {

namespace fs = std::filesystem;
using testsupport::HaveTool;
using testsupport::RunIn;

struct Streamed {
  const char* name;
  const char* command;  // run in the test directory; writes s.zip
  std::map<std::string, std::string> members;
};

const Streamed kArchives[] = {
    {"input from a pipe",
     "printf 'hi\\n' | zip -q s.zip - && zip -q s.zip kept.txt",
     {{"-", "hi\n"}, {"kept.txt", "kept\n"}}},
    {"output to a pipe",
     "zip -q - kept.txt other.txt | cat > s.zip",
     {{"kept.txt", "kept\n"}, {"other.txt", "other\n"}}},
    {"both piped", "printf 'hi\\n' | zip -q - - | cat > s.zip", {{"-", "hi\n"}}},
    {"ZIP64 forced",
     "zip -q -fz s.zip kept.txt other.txt",
     {{"kept.txt", "kept\n"}, {"other.txt", "other\n"}}},
};

struct AddStreamedInteropTest : ::testing::Test {
  testsupport::TempDir dir;
  ui::ScriptedUi ui;
  TZipBuilder zip{nullptr, &ui};
  std::string archive = dir / "s.zip";

  void SetUp() override {
    for (const char* tool : {"zip", "unzip", "7z", "python3"})
      if (!HaveTool(tool)) GTEST_SKIP() << tool << " missing";
    zip.Unattended = true;
    zip.SetDLLDirectory(ZB_BINARY_DIR);
    testsupport::WriteTextFile(dir / "kept.txt", "kept\n");
    testsupport::WriteTextFile(dir / "other.txt", "other\n");
    testsupport::WriteTextFile(dir / "added.txt", "added by the engine\n");
  }

  std::set<std::string> Listed() {
    std::set<std::string> names;
    for (const auto& entry : zip.ZipDirEntryRecords()) names.insert(entry->FileName);
    return names;
  }

  // Every peer tests the archive clean and unzip extracts exactly `members`.
  void ExpectPeersRead(const std::map<std::string, std::string>& members) {
    for (const char* check : {"unzip -tq s.zip", "7z t s.zip", "python3 -m zipfile -t s.zip"}) {
      auto result = RunIn(dir.path(), check);
      EXPECT_EQ(result.status, 0) << check << "\n" << result.out << result.err;
    }
    fs::remove_all(dir / "out");
    auto unpacked = RunIn(dir.path(), "unzip -q s.zip -d out");
    ASSERT_EQ(unpacked.status, 0) << unpacked.err;
    std::map<std::string, std::string> found;
    for (const auto& e : fs::recursive_directory_iterator(dir / "out"))
      if (e.is_regular_file())
        found[fs::relative(e.path(), dir / "out").string()] = testsupport::ReadTextFile(e.path());
    EXPECT_EQ(found, members);
  }
};

TEST_F(AddStreamedInteropTest, AddingToAStreamedArchiveKeepsItsMembers) {
  for (const Streamed& s : kArchives) {
    SCOPED_TRACE(s.name);
    fs::remove(archive);
    ASSERT_EQ(RunIn(dir.path(), s.command).status, 0);
    zip.SetFileName(archive);
    EXPECT_EQ(zip.Count(), static_cast<int>(s.members.size()));
    zip.SetFSpecArgs({dir / "added.txt"});
    zip.AddOptions = AddOpts{};  // directory names left out: stored as "added.txt"
    zip.Add();
    EXPECT_EQ(zip.ErrCode(), 0) << zip.Message();
    EXPECT_EQ(zip.SuccessCount(), 1);
    std::map<std::string, std::string> expected = s.members;
    expected["added.txt"] = "added by the engine\n";
    EXPECT_EQ(zip.Count(), static_cast<int>(expected.size()));
    ExpectPeersRead(expected);
  }
}

TEST_F(AddStreamedInteropTest, DeletingFromAStreamedArchiveKeepsTheRest) {
  for (const Streamed& s : kArchives) {
    SCOPED_TRACE(s.name);
    fs::remove(archive);
    ASSERT_EQ(RunIn(dir.path(), s.command).status, 0);
    zip.SetFileName(archive);
    const std::string victim = s.members.begin()->first;
    zip.SetFSpecArgs({victim});
    zip.Delete();
    std::map<std::string, std::string> expected = s.members;
    expected.erase(victim);
    if (expected.empty()) {
      // The last member gone: an empty archive, which the peers may call empty.
      EXPECT_EQ(zip.SuccessCount(), 1) << zip.Message();
      EXPECT_EQ(zip.Count(), 0);
      continue;
    }
    EXPECT_EQ(zip.ErrCode(), 0) << zip.Message();
    EXPECT_EQ(zip.SuccessCount(), 1);
    EXPECT_EQ(Listed().count(victim), 0u);
    ExpectPeersRead(expected);
  }
}

}  // namespace
