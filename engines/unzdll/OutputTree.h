// The directory tree members are written into. Every path is below the base;
// directories are created as needed and a symbolic link on the way is refused,
// so nothing is ever written through a link.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "engines/unzdll/MemberDecoder.h"
#include "platform/FileSystem.h"
#include "platform/TemporaryFile.h"

namespace unzdll {

enum class TreeStatus { Ok, Unsafe, Failed };

// A member being written: a new private file in its target's directory, unnamed
// where the file system allows, that takes the target's place only by Commit.
// Destroying it uncommitted removes it; a killed run leaves nothing of it.
class PendingFile : public OutputSink {
 public:
  PendingFile(platform::FileSystem& files, platform::TemporaryFile file);
  ~PendingFile() override;
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  bool Write(const uint8_t* data, size_t size) override;
  // Sets date, time and permissions; false on failure.
  bool Finish(uint32_t dosDateTime, uint32_t mode);
  // Puts the finished file in the place of `target` and closes it; the file is
  // removed when that fails.
  bool MoveInto(const std::string& target);
  bool Commit(const std::string& target, uint32_t dosDateTime, uint32_t mode) {
    return Finish(dosDateTime, mode) && MoveInto(target);
  }
  void Discard();

 private:
  platform::FileSystem& files_;
  platform::TemporaryFile file_;
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
  // Creates the temporary file for a member whose directories exist; null on
  // failure. Safe to call from several threads at once.
  // The file is private (0600) until PendingFile::Finish gives it its mode.
  // An open file per member waiting to be committed: the callers keep their
  // number bounded.
  std::unique_ptr<PendingFile> CreatePending(const std::vector<std::string>& parts);
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
  uint64_t tempSeed_;
  std::atomic<uint64_t> tempCounter_{0};
  // Permission bits seen to survive file creation, and bits seen removed by the
  // process's file mask: learnt from the first files made, then no more looking.
};

}  // namespace unzdll
