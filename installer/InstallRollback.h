// Keeps an installation undoable. Before the package is extracted, every file it
// will replace gets a second name in a backup folder (a hard link, or the file
// itself moved there where the file system has no links: no copy of the data),
// and the journal records what was kept and what the run will create. After a
// failure, or at the next start after a killed run, everything is put back.
//
// The backup folder is a hidden folder inside the installation directory: it is
// on the same file system as the files it keeps (a parent could be another
// mount, or not writable), and the installation directory alone names it, so
// the next start finds it before it opens any package. It never outlives a run.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "installer/RollbackJournal.h"
#include "platform/FileKeeping.h"
#include "platform/FileSystem.h"

namespace installer {

// The backup folder's name inside the installation directory.
extern const char* const kRollbackFolder;

using StepLog = std::function<void(const std::string&)>;

class InstallRollback {
 public:
  InstallRollback(platform::FileSystem& files, platform::FileKeeping& keeping, std::string installDirectory,
                  StepLog log = {});

  // Before extracting the members `names` (as listed, "\" separated): records
  // and keeps what they will touch. False: the installation is as it was and
  // Error() says why.
  bool Prepare(const std::vector<std::string>& names);
  // After a successful run: the backups and the journal go.
  bool Commit();
  // After a failed or cancelled run: every kept file back, everything the run
  // created removed, directory modes and times as before. False when something
  // could not be put back; the journal then stays for the next start.
  bool RollBack();
  const std::string& Error() const { return error_; }

  enum class Recovery { NothingFound, Restored, Completed, Failed };
  // At start-up: a journal left by a killed run is finished: rolled back, or,
  // when that run had succeeded, its backups removed.
  static Recovery Recover(platform::FileSystem& files, platform::FileKeeping& keeping,
                          const std::string& installDirectory, StepLog log = {});

 private:
  std::string PathOf(const std::string& relative) const;
  std::string FolderPath() const;
  std::string BackupPath(uint64_t number) const;
  bool Fail(const std::string& what);
  void Note(const std::string& line) const;
  bool Plan(const std::vector<std::string>& names, std::vector<JournalRecord>& records);
  bool Undo(const std::vector<JournalRecord>& records);
  bool FinishSuccess(const std::vector<JournalRecord>& records);
  void RemoveTree(const std::string& path);

  JournalRecord DirectoryRecord(const std::string& relative, const platform::FileInfo& info);
  void RestoreDirectory(const JournalRecord& record);
  platform::FileSystem& files_;
  platform::FileKeeping& keeping_;
  std::string directory_;
  StepLog log_;
  JournalWriter journal_;
  std::vector<JournalRecord> records_;
  std::string error_;
};

}  // namespace installer
