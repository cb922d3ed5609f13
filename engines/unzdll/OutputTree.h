// The directory tree members are written into. Every path is below the base;
// directories are created as needed and a symbolic link on the way is refused,
// so nothing is ever written through a link.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engines/unzdll/MemberDecoder.h"
#include "platform/FileSystem.h"
#include "platform/TemporaryFile.h"

namespace unzdll {

enum class TreeStatus { Ok, Unsafe, Failed };

// A directory of the tree held open while members are written into it: files
// are made and named relative to it, not through its path.
class OutputDirectory {
 public:
  OutputDirectory(platform::FileSystem& files, std::string path);
  ~OutputDirectory();
  OutputDirectory(const OutputDirectory&) = delete;
  OutputDirectory& operator=(const OutputDirectory&) = delete;

  // kInvalidHandle where it could not be held open: the path serves then.
  platform::FileHandle Handle() const { return handle_; }
  const std::string& Path() const { return path_; }

 private:
  platform::FileSystem& files_;
  std::string path_;
  platform::FileHandle handle_;
};

// A member being written: a new private file in its target's directory, unnamed
// where the file system allows, that takes the target's place only by Commit.
// Destroying it uncommitted removes it; a killed run leaves nothing of it.
class PendingFile : public OutputSink {
 public:
  PendingFile(platform::FileSystem& files, platform::TemporaryFile file,
              std::shared_ptr<const OutputDirectory> directory, std::string name);
  ~PendingFile() override;
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  bool Write(const uint8_t* data, size_t size) override;
  // Sets date, time and permissions; false on failure.
  bool Finish(uint32_t dosDateTime, uint32_t mode);
  // Puts the finished file in the place of its target (its name in its
  // directory) and closes it; the file is removed when that fails.
  bool MoveInto();
  bool Commit(uint32_t dosDateTime, uint32_t mode) { return Finish(dosDateTime, mode) && MoveInto(); }
  void Discard();

 private:
  platform::FileSystem& files_;
  platform::TemporaryFile file_;
  std::shared_ptr<const OutputDirectory> directory_;
  std::string name_;
  bool finished_ = false;
};

class OutputTree {
 public:
  OutputTree(platform::FileSystem& files, std::string base);

  const std::string& Base() const { return base_; }
  std::string PathOf(const std::vector<std::string>& parts, size_t count) const;
  std::string PathOf(const std::vector<std::string>& parts) const { return PathOf(parts, parts.size()); }

  // True for a directory this run created: whatever is in it, this run put there.
  bool CreatedThisRun(const std::string& directory) const { return createdDirectories_.count(directory) != 0; }
  bool IsKnownDirectory(const std::string& path) const { return knownDirectories_.count(path) != 0; }
  void NoteCreated(const std::string& directory) { createdDirectories_.insert(directory); }
  // Makes sure the first `count` components exist as real directories.
  TreeStatus EnsureDirectories(const std::vector<std::string>& parts, size_t count);
  // The directory a member's file goes into, held open; its directories must
  // exist. Only a few are kept open here at a time (a member being written
  // keeps its own).
  std::shared_ptr<const OutputDirectory> DirectoryOf(const std::vector<std::string>& parts);
  // Creates the temporary file for a member named `name` in `directory`; null
  // on failure. Safe to call from several threads at once.
  // A file with a name while written is private (0600) until PendingFile::Finish
  // gives it its `mode`; an unnamed one has it at once.
  // An open file per member waiting to be committed: the callers keep their
  // number bounded.
  std::unique_ptr<PendingFile> CreatePending(std::shared_ptr<const OutputDirectory> directory,
                                             const std::string& name, uint32_t mode);
  // Creates a symbolic link through a temporary name, replacing what is at the target.
  bool CreateLink(const std::vector<std::string>& parts, const std::string& linkTarget);

  // Directory dates and permissions are set last, after their content is written.
  void RememberDirectory(const std::string& path, uint32_t dosDateTime, uint32_t mode);
  void FinishDirectories();

 private:
  std::string TempPathIn(const std::vector<std::string>& parts);

  platform::FileSystem& files_;
  std::string base_;
  std::unordered_set<std::string> knownDirectories_;
  std::unordered_set<std::string> createdDirectories_;
  struct DirectoryStamp {
    std::string path;
    uint32_t dosDateTime;
    uint32_t mode;
  };
  std::vector<DirectoryStamp> stamps_;
  static constexpr size_t kOpenDirectories = 64;
  std::unordered_map<std::string, std::shared_ptr<const OutputDirectory>> openDirectories_;
  uint64_t tempSeed_;
  std::atomic<uint64_t> tempCounter_{0};
  // Permission bits seen to survive file creation, and bits seen removed by the
  // process's file mask: learnt from the first files made, then no more looking.
};

}  // namespace unzdll
