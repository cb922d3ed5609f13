#include "installer/InstallRollback.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <set>

#include "platform/Paths.h"

namespace installer {

const char* const kRollbackFolder = ".setup-rollback";

namespace {

const char* const kJournalName = "journal";
constexpr uint32_t kPermissionBits = 07777;

// The path components a member name is written to, as the extraction engine
// takes them ("." and empty components dropped, control characters as "_");
// nullopt for a name it refuses to write (absolute, drive letter, "..").
std::optional<std::vector<std::string>> TargetComponents(const std::string& name) {
  if (name.empty() || platform::IsPathSeparator(name[0]) || (name.size() >= 2 && name[1] == ':'))
    return std::nullopt;
  std::vector<std::string> parts;
  std::string part;
  auto flush = [&] {
    if (!part.empty() && part != ".") parts.push_back(part);
    part.clear();
  };
  for (char c : name) {
    if (platform::IsPathSeparator(c)) {
      flush();
    } else {
      auto byte = static_cast<unsigned char>(c);
      part += byte < 0x20 || byte == 0x7F ? '_' : c;
    }
  }
  flush();
  if (std::find(parts.begin(), parts.end(), "..") != parts.end()) return std::nullopt;
  return parts;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Deepest paths first, so that a parent is dealt with after what is inside it.
std::vector<const JournalRecord*> DeepestFirst(const std::vector<JournalRecord>& records, JournalStep step) {
  std::vector<const JournalRecord*> found;
  for (const JournalRecord& record : records)
    if (record.step == step && record.path != ".") found.push_back(&record);
  std::stable_sort(found.begin(), found.end(),
                   [](const JournalRecord* a, const JournalRecord* b) { return a->path.size() > b->path.size(); });
  return found;
}

}  // namespace

InstallRollback::InstallRollback(platform::FileSystem& files, platform::FileKeeping& keeping,
                                 std::string installDirectory, StepLog log)
    : files_(files),
      keeping_(keeping),
      directory_(std::move(installDirectory)),
      log_(std::move(log)),
      journal_(files) {}

std::string InstallRollback::PathOf(const std::string& relative) const {
  return relative == "." ? directory_ : platform::JoinPath(directory_, relative);
}

std::string InstallRollback::FolderPath() const { return platform::JoinPath(directory_, kRollbackFolder); }

std::string InstallRollback::BackupPath(uint64_t number) const {
  return platform::JoinPath(FolderPath(), std::to_string(number));
}

bool InstallRollback::Fail(const std::string& what) {
  error_ = what;
  Note("backup failed: " + what);
  return false;
}

void InstallRollback::Note(const std::string& line) const {
  if (log_) log_(line);
}

bool InstallRollback::Plan(const std::vector<std::string>& names, std::vector<JournalRecord>& records) {
  // Inside a drive-letter path names are found ignoring case: two spellings are one target.
  bool ignoreCase = platform::HasDriveLetter(directory_);
  auto key = [ignoreCase](const std::string& path) { return ignoreCase ? Lower(path) : path; };
  std::set<std::string> seen, created;
  uint64_t backups = 0;
  for (const std::string& name : names) {
    std::optional<std::vector<std::string>> parts = TargetComponents(name);
    if (!parts || parts->empty()) continue;
    if (Lower((*parts)[0]) == kRollbackFolder) return Fail("the package writes into " + FolderPath());
    bool isDirectory = platform::IsPathSeparator(name.back());
    size_t directories = isDirectory ? parts->size() : parts->size() - 1;
    std::string relative;
    bool insideNew = false, blocked = false;
    for (size_t i = 0; i < directories && !insideNew && !blocked; ++i) {
      relative = relative.empty() ? (*parts)[i] : relative + "/" + (*parts)[i];
      if (created.count(key(relative))) insideNew = true;
      if (insideNew || !seen.insert(key(relative)).second) continue;
      std::optional<platform::FileInfo> info = files_.Stat(PathOf(relative));
      if (!info) {
        records.push_back({JournalStep::NewDirectory, relative});
        created.insert(key(relative));
        insideNew = true;
      } else if (info->isDirectory) {
        records.push_back(DirectoryRecord(relative, *info));
      } else {
        blocked = true;  // a file where a directory should be: the engine writes nothing below it
      }
    }
    // Whatever lands inside a new directory goes with it.
    if (isDirectory || insideNew || blocked) continue;
    relative = relative.empty() ? parts->back() : relative + "/" + parts->back();
    if (!seen.insert(key(relative)).second) continue;
    std::optional<platform::FileInfo> info = files_.Stat(PathOf(relative));
    if (!info) {
      records.push_back({JournalStep::NewFile, relative});
    } else if (!info->isDirectory) {
      JournalRecord backup{JournalStep::Backup, relative};
      backup.backup = ++backups;
      records.push_back(backup);
    }
  }
  return true;
}

JournalRecord InstallRollback::DirectoryRecord(const std::string& relative, const platform::FileInfo& info) {
  platform::ExactTime time = keeping_.GetPathTime(PathOf(relative)).value_or(platform::ExactTime{info.unixTime, 0});
  return {JournalStep::Directory, relative, info.mode & kPermissionBits, time.seconds, time.nanoseconds};
}

void InstallRollback::RestoreDirectory(const JournalRecord& record) {
  files_.SetPermissions(PathOf(record.path), record.mode);
  keeping_.SetPathTime(PathOf(record.path), {record.seconds, record.nanoseconds});
}

bool InstallRollback::Prepare(const std::vector<std::string>& names) {
  std::optional<platform::FileInfo> root = files_.Stat(directory_);
  if (!root || !root->isDirectory) return Fail("no installation directory " + directory_);
  std::vector<JournalRecord> records = {DirectoryRecord(".", *root)};
  if (!Plan(names, records)) return false;

  std::string folder = FolderPath();
  if (files_.Stat(folder)) return Fail(folder + " is left from an earlier run");
  if (!files_.CreateDirectory(folder))
    return Fail(platform::WithReason("cannot create " + folder, files_.LastError()));
  files_.SetPermissions(folder, 0700);
  records_ = {records.front()};
  if (!journal_.Create(platform::JoinPath(folder, kJournalName))) {
    std::string reason = platform::WithReason("cannot create the journal in " + folder, files_.LastError());
    Undo(records_);
    return Fail(reason);
  }
  // Until its first line lands, the journal's folder keeps the directory's time.
  keeping_.SetPathTime(folder, {records.front().seconds, records.front().nanoseconds});
  if (!journal_.Append(records)) {
    std::string reason = platform::WithReason("cannot write the journal in " + folder, files_.LastError());
    Undo(records_);
    return Fail(reason);
  }
  records_ = records;
  // The folder's entry is durable before any file is replaced; its own entries
  // (the journal, the backups) are synced once, after the last backup.
  keeping_.SyncDirectory(directory_);

  for (const JournalRecord& record : records_) {
    if (record.step != JournalStep::Backup) continue;
    std::string target = PathOf(record.path), backup = BackupPath(record.backup);
    if (!keeping_.CreateHardLink(target, backup) && !files_.MoveFile(target, backup, false)) {
      std::string reason = platform::WithReason("cannot keep " + target, files_.LastError());
      Undo(records_);
      return Fail(reason);
    }
    Note("backed up " + record.path);
  }
  // The backups are durable before any file they keep is replaced.
  keeping_.SyncDirectory(folder);
  return true;
}

bool InstallRollback::Commit() {
  if (!journal_.Append({JournalRecord{JournalStep::Done}})) return false;
  return FinishSuccess(records_);
}

bool InstallRollback::RollBack() {
  Note("rolling back");
  return Undo(records_);
}

bool InstallRollback::FinishSuccess(const std::vector<JournalRecord>& records) {
  bool complete = true;
  for (const JournalRecord& record : records) {
    if (record.step != JournalStep::Backup) continue;
    std::string backup = BackupPath(record.backup);
    if (!files_.Stat(backup)) continue;
    // A file moved aside (no hard links) that the run did not replace goes back.
    bool replaced = files_.Stat(PathOf(record.path)).has_value();
    if (!(replaced ? files_.DeleteFile(backup) : files_.MoveFile(backup, PathOf(record.path), false)))
      complete = false;
  }
  if (!complete) return false;
  journal_.Close();
  RemoveTree(FolderPath());
  keeping_.SyncDirectory(directory_);
  Note("backup removed");
  return true;
}

bool InstallRollback::Undo(const std::vector<JournalRecord>& records) {
  bool complete = true;
  for (const JournalRecord& record : records) {
    if (record.step != JournalStep::NewFile) continue;
    std::string target = PathOf(record.path);
    std::optional<platform::FileInfo> info = files_.Stat(target);
    if (!info || info->isDirectory) continue;
    if (files_.DeleteFile(target)) {
      Note("removed " + record.path);
    } else {
      complete = false;
    }
  }
  for (const JournalRecord& record : records) {
    if (record.step != JournalStep::Backup) continue;
    std::string backup = BackupPath(record.backup);
    if (!files_.Stat(backup)) continue;  // never kept: the file was not touched
    if (files_.MoveFile(backup, PathOf(record.path), true)) {
      Note("restored " + record.path);
    } else {
      complete = false;
    }
  }
  for (const JournalRecord* record : DeepestFirst(records, JournalStep::NewDirectory)) {
    std::optional<platform::FileInfo> info = files_.Stat(PathOf(record->path));
    if (!info || !info->isDirectory || info->isSymlink) continue;
    RemoveTree(PathOf(record->path));
    Note("removed " + record->path);
  }
  for (const JournalRecord* record : DeepestFirst(records, JournalStep::Directory)) RestoreDirectory(*record);
  if (!complete) {
    journal_.Close();
    Note("rollback incomplete: the journal stays for the next start");
    return false;
  }
  journal_.Close();
  RemoveTree(FolderPath());
  for (const JournalRecord& record : records)
    if (record.step == JournalStep::Directory && record.path == ".") RestoreDirectory(record);
  keeping_.SyncDirectory(directory_);
  Note("rollback complete");
  return true;
}

void InstallRollback::RemoveTree(const std::string& path) {
  if (auto entries = files_.ListDirectory(path)) {
    for (const platform::DirEntry& entry : *entries) {
      std::string inner = platform::JoinPath(path, entry.name);
      if (entry.info.isDirectory && !entry.info.isSymlink) {
        RemoveTree(inner);
      } else {
        files_.DeleteFile(inner);
      }
    }
  }
  files_.RemoveDirectory(path);
}

InstallRollback::Recovery InstallRollback::Recover(platform::FileSystem& files, platform::FileKeeping& keeping,
                                                   const std::string& installDirectory, StepLog log) {
  InstallRollback rollback(files, keeping, installDirectory, std::move(log));
  std::string folder = rollback.FolderPath();
  std::optional<platform::FileInfo> folderInfo = files.Stat(folder);
  if (!folderInfo || !folderInfo->isDirectory) return Recovery::NothingFound;
  rollback.Note("found the journal of an interrupted run in " + folder);
  std::string journal = platform::JoinPath(folder, kJournalName);
  std::optional<std::vector<JournalRecord>> read = ReadJournal(files, journal);
  // A journal that is there but cannot be read says nothing: the backups stay.
  if (!read && files.Stat(journal)) return Recovery::Failed;
  std::vector<JournalRecord> records = read.value_or(std::vector<JournalRecord>{});
  if (!records.empty() && records.back().step == JournalStep::Done)
    return rollback.FinishSuccess(records) ? Recovery::Completed : Recovery::Failed;
  if (records.empty()) {
    // Killed before the journal's first line: only the folder was made, and it
    // holds the directory's time.
    std::optional<platform::FileInfo> root = files.Stat(installDirectory);
    platform::ExactTime time = keeping.GetPathTime(folder).value_or(platform::ExactTime{folderInfo->unixTime, 0});
    records.push_back(
        {JournalStep::Directory, ".", root ? root->mode & kPermissionBits : 0755, time.seconds, time.nanoseconds});
  }
  return rollback.Undo(records) ? Recovery::Restored : Recovery::Failed;
}

}  // namespace installer
