// Rollback of an installation run: the journal's lines, and an installed tree
// put back byte for byte (contents, modes, times) after a failed run, after a
// run killed before or during its extraction, and cleaned up after a success.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "installer/InstallRollback.h"
#include "installer/RollbackJournal.h"
#include "platform/Env.h"
#include "platform/FileKeeping.h"
#include "tests/support/FileTree.h"
#include "tests/support/TempDir.h"

namespace {

using installer::InstallRollback;
using installer::JournalRecord;
using installer::JournalStep;
namespace fs = std::filesystem;

platform::FileSystem& Files() { return platform::PosixFileSystem(); }
platform::FileKeeping& Keeping() { return platform::PosixFileKeeping(); }

TEST(RollbackJournal, RecordsReadBackAsWritten) {
  const JournalRecord records[] = {
      {JournalStep::Directory, ".", 0755, 1600000000, 123456789},
      {JournalStep::Directory, "bin/sub dir", 02775, 0, 0},
      {JournalStep::NewDirectory, "plugins"},
      {JournalStep::NewFile, "a file%with\tcontrol\x01 bytes"},
      {JournalStep::Backup, "bin/demo.exe", 0, 0, 0, 17},
      {JournalStep::Done, ""},
  };
  for (const JournalRecord& record : records) {
    std::string line = installer::FormatRecord(record);
    SCOPED_TRACE(line);
    ASSERT_EQ(line.back(), '\n');
    EXPECT_EQ(line.find('\n'), line.size() - 1);  // one line, whatever the path holds
    EXPECT_EQ(installer::ParseRecord(line.substr(0, line.size() - 1)), record);
  }
}

TEST(RollbackJournal, LinesThatAreNoRecord) {
  for (const char* line : {"", "dir 755 1", "backup x a", "backup 3", "new", "new a b", "frob a", "new a%2",
                           "new a%zz", "done extra"}) {
    SCOPED_TRACE(line);
    EXPECT_FALSE(installer::ParseRecord(line).has_value());
  }
  EXPECT_EQ(installer::ParseRecord("new a%20b")->path, "a b");
}

TEST(RollbackJournal, ALastLineCutShortIsLeftOut) {
  testsupport::TempDir dir;
  std::ofstream(dir / "journal") << "new a\nbackup 1 b\nnew c";
  auto records = installer::ReadJournal(Files(), dir / "journal");
  ASSERT_TRUE(records);
  ASSERT_EQ(records->size(), 2u);
  EXPECT_EQ((*records)[1].path, "b");
  EXPECT_FALSE(installer::ReadJournal(Files(), dir / "missing"));
}

// A file system without hard links: backups are moved aside instead.
class NoHardLinks : public platform::FileKeeping {
 public:
  bool CreateHardLink(const std::string&, const std::string&) override { return false; }
  bool SyncDirectory(const std::string& path) override { return real.SyncDirectory(path); }
  std::optional<platform::ExactTime> GetPathTime(const std::string& path) override { return real.GetPathTime(path); }
  bool SetPathTime(const std::string& path, platform::ExactTime time) override { return real.SetPathTime(path, time); }
  platform::FileKeeping& real = platform::PosixFileKeeping();
};


void SetTime(const std::string& path, int64_t seconds, long nanoseconds) {
  struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

// An installed program: files, a link, an empty folder, every time in the past.
class InstalledTree {
 public:
  InstalledTree() : app(root / "app") {
    fs::create_directories(app + "/bin");
    fs::create_directories(app + "/doc");
    fs::create_directories(app + "/data");
    Write("bin/demo.exe", "the old program", fs::perms(0755));
    Write("doc/readme.txt", "the old readme", fs::perms(0640));
    fs::create_symlink("bin/demo.exe", app + "/link");
    int64_t when = 1600000000;
    for (const char* path : {"bin/demo.exe", "doc/readme.txt", "link", "bin", "doc", "data", "."})
      SetTime(app + "/" + path, when += 1000, 123456789);
  }
  void Write(const std::string& relative, const std::string& content, fs::perms mode) {
    std::ofstream(app + "/" + relative) << content;
    fs::permissions(app + "/" + relative, mode);
  }
  // What the extraction does: new files take their target's place by a rename,
  // directories are made as needed.
  void Extract(const std::map<std::string, std::string>& writes) {
    for (const auto& [relative, content] : writes) {
      fs::path target = fs::path(app) / relative;
      if (content == "<dir>") {
        // A folder member gets the mode the package gives it.
        fs::create_directories(target);
        fs::permissions(target, fs::perms::owner_all);
        continue;
      }
      fs::create_directories(target.parent_path());
      std::ofstream(target.string() + ".part") << content;
      fs::rename(target.string() + ".part", target);
    }
  }

  testsupport::TempDir root;
  std::string app;
};

struct Update {
  const char* name;
  std::vector<std::string> members;            // names as the package lists them
  std::map<std::string, std::string> writes;  // what the extraction writes
};

const Update kUpdates[] = {
    {"replaces a file", {"bin\\demo.exe"}, {{"bin/demo.exe", "the new program"}}},
    {"a new file in a folder", {"doc\\new.txt"}, {{"doc/new.txt", "new"}}},
    {"new folders", {"plugins\\a\\b.dll", "plugins\\c.dll"}, {{"plugins/a/b.dll", "b"}, {"plugins/c.dll", "c"}}},
    {"folder members", {"data\\", "extra\\", "extra\\x.txt"}, {{"data", "<dir>"}, {"extra/x.txt", "x"}}},
    {"a link replaced by a file", {"link"}, {{"link", "no longer a link"}}},
    {"names as the engine takes them",
     {".\\bin\\.\\demo.exe", "odd\x01name.txt", "..\\outside.txt", "\\absolute.txt", "C:\\drive.txt"},
     {{"bin/demo.exe", "the new program"}, {"odd_name.txt", "odd"}}},
    {"a name twice", {"doc\\readme.txt", "doc/readme.txt"}, {{"doc/readme.txt", "the new readme"}}},
};

// How a run ends, and what must be left.
enum class Ending { RolledBack, KilledBeforeExtracting, KilledDuringExtraction, KilledAfterSuccess, Committed };

TEST(InstallRollback, EveryEndingLeavesTheTreeWhole) {
  const struct {
    const char* name;
    Ending ending;
  } endings[] = {{"rolled back", Ending::RolledBack},
                 {"killed before extracting", Ending::KilledBeforeExtracting},
                 {"killed during extraction", Ending::KilledDuringExtraction},
                 {"killed after success", Ending::KilledAfterSuccess},
                 {"committed", Ending::Committed}};
  NoHardLinks noLinks;
  for (bool links : {true, false}) {
    platform::FileKeeping& keeping = links ? Keeping() : noLinks;
    for (const Update& update : kUpdates) {
      for (const auto& ending : endings) {
        SCOPED_TRACE(std::string(update.name) + ", " + ending.name + (links ? "" : ", without hard links"));
        InstalledTree tree;
        auto before = testsupport::FileTreeState(tree.app);
        auto beforeFiles = testsupport::FileTree(tree.app);
        auto rollback = std::make_unique<InstallRollback>(Files(), keeping, tree.app);
        ASSERT_TRUE(rollback->Prepare(update.members)) << rollback->Error();
        EXPECT_TRUE(fs::exists(tree.app + "/" + installer::kRollbackFolder + "/journal"));

        if (ending.ending != Ending::KilledBeforeExtracting) tree.Extract(update.writes);
        InstallRollback::Recovery expected = InstallRollback::Recovery::Restored;
        switch (ending.ending) {
          case Ending::RolledBack:
            EXPECT_TRUE(rollback->RollBack());
            expected = InstallRollback::Recovery::NothingFound;
            break;
          case Ending::Committed:
            EXPECT_TRUE(rollback->Commit());
            expected = InstallRollback::Recovery::NothingFound;
            break;
          case Ending::KilledAfterSuccess:
            std::ofstream(tree.app + "/" + installer::kRollbackFolder + "/journal", std::ios::app) << "done\n";
            expected = InstallRollback::Recovery::Completed;
            break;
          default:
            break;
        }
        rollback.reset();  // a killed run's process is gone
        EXPECT_EQ(InstallRollback::Recover(Files(), keeping, tree.app), expected);
        EXPECT_FALSE(fs::exists(tree.app + "/" + installer::kRollbackFolder));

        if (ending.ending == Ending::Committed || ending.ending == Ending::KilledAfterSuccess) {
          // The update stays; the installed files it replaced are gone with the backup.
          std::map<std::string, std::string> wanted = beforeFiles;
          for (const auto& [relative, content] : update.writes)
            if (content != "<dir>") wanted[relative] = content;
          EXPECT_EQ(testsupport::FileTree(tree.app), wanted);
        } else {
          EXPECT_EQ(testsupport::FileTreeState(tree.app), before);
        }
      }
    }
  }
}

TEST(InstallRollback, APackageWritingIntoTheBackupFolderIsRefused) {
  InstalledTree tree;
  auto before = testsupport::FileTreeState(tree.app);
  InstallRollback rollback(Files(), Keeping(), tree.app);
  EXPECT_FALSE(rollback.Prepare({"bin\\demo.exe", ".SETUP-ROLLBACK\\journal"}));
  EXPECT_NE(rollback.Error().find(installer::kRollbackFolder), std::string::npos);
  EXPECT_EQ(testsupport::FileTreeState(tree.app), before);
}

TEST(InstallRollback, AJournalKilledBeforeItsFirstLineRestoresTheFolderTime) {
  InstalledTree tree;
  auto before = testsupport::FileTreeState(tree.app);
  std::string folder = tree.app + "/" + installer::kRollbackFolder;
  struct stat st;
  ASSERT_EQ(::stat(tree.app.c_str(), &st), 0);
  fs::create_directory(folder);
  std::ofstream(folder + "/journal").close();
  SetTime(folder, st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  EXPECT_EQ(InstallRollback::Recover(Files(), Keeping(), tree.app), InstallRollback::Recovery::Restored);
  EXPECT_EQ(testsupport::FileTreeState(tree.app), before);
}

TEST(InstallRollback, AFileThatCannotBePutBackKeepsTheJournal) {
  InstalledTree tree;
  InstallRollback rollback(Files(), Keeping(), tree.app);
  ASSERT_TRUE(rollback.Prepare({"bin\\demo.exe"}));
  tree.Extract({{"bin/demo.exe", "the new program"}});
  // Something the rollback cannot replace now stands at the target.
  fs::remove(tree.app + "/bin/demo.exe");
  fs::create_directories(tree.app + "/bin/demo.exe/inside");
  EXPECT_FALSE(rollback.RollBack());
  EXPECT_TRUE(fs::exists(tree.app + "/" + installer::kRollbackFolder + "/journal"));
  fs::remove_all(tree.app + "/bin/demo.exe");
  EXPECT_EQ(InstallRollback::Recover(Files(), Keeping(), tree.app), InstallRollback::Recovery::Restored);
  EXPECT_EQ(testsupport::ReadTextFile(tree.app + "/bin/demo.exe"), "the old program");
}

}  // namespace
