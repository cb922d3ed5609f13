// The journal of an installation run: one line per step, written and flushed to
// disk before the steps it describes are taken, so that a run that dies at any
// point can be undone by the next start. Paths are relative to the installation
// directory, "/" separated; "." is the directory itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace installer {

enum class JournalStep {
  Directory,     // an existing directory the run changes: its mode and time
  NewDirectory,  // a directory the run creates
  NewFile,       // a file the run creates
  Backup,        // an existing file the run replaces, kept as backup file `backup`
  Done,          // the run succeeded: the backups are no longer needed
};

struct JournalRecord {
  JournalStep step = JournalStep::Done;
  std::string path = {};
  uint32_t mode = 0;  // Directory
  int64_t seconds = 0;
  uint32_t nanoseconds = 0;
  uint64_t backup = 0;  // Backup
  bool operator==(const JournalRecord&) const = default;
};

// One line of the journal, with its line feed.
std::string FormatRecord(const JournalRecord& record);
// The record of one line (without its line feed); nullopt for anything else.
std::optional<JournalRecord> ParseRecord(const std::string& line);

// Appends records to a new journal file, each batch flushed before Append returns.
class JournalWriter {
 public:
  explicit JournalWriter(platform::FileSystem& files) : files_(files) {}
  ~JournalWriter() { Close(); }
  JournalWriter(const JournalWriter&) = delete;
  JournalWriter& operator=(const JournalWriter&) = delete;

  bool Create(const std::string& path);  // fails when the file exists
  bool Append(const std::vector<JournalRecord>& records);
  void Close();

 private:
  platform::FileSystem& files_;
  platform::FileHandle handle_ = platform::kInvalidHandle;
};

// The complete records of the journal at `path` (a last line cut short by a kill
// is no record); nullopt when the file cannot be read.
std::optional<std::vector<JournalRecord>> ReadJournal(platform::FileSystem& files, const std::string& path);

}  // namespace installer
