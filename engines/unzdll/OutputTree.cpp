#include "OutputTree.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>

#include "platform/Paths.h"

namespace unz {

PendingFile::PendingFile(platform::FileSystem& files, std::string tempPath, platform::FileHandle handle)
    : files_(files), tempPath_(std::move(tempPath)), handle_(handle) {}

PendingFile::~PendingFile() { Discard(); }

bool PendingFile::Write(const uint8_t* data, size_t size) {
  return files_.Write(handle_, data, size) == static_cast<int64_t>(size);
}

bool PendingFile::Finish(uint32_t dosDateTime, uint32_t mode) {
  if (handle_ == platform::kInvalidHandle) return false;
  files_.SetFileDosTime(handle_, dosDateTime);
  files_.Close(handle_);
  handle_ = platform::kInvalidHandle;
  if (!files_.SetPermissions(tempPath_, mode)) {
    Discard();
    return false;
  }
  finished_ = true;
  return true;
}

bool PendingFile::MoveInto(const std::string& target) {
  if (!finished_ || tempPath_.empty()) return false;
  // rename replaces a link at the target rather than writing through it.
  if (!files_.MoveFile(tempPath_, target, true)) {
    Discard();
    return false;
  }
  tempPath_.clear();
  return true;
}

void PendingFile::Discard() {
  if (handle_ != platform::kInvalidHandle) files_.Close(handle_);
  handle_ = platform::kInvalidHandle;
  if (!tempPath_.empty()) files_.DeleteFile(tempPath_);
  tempPath_.clear();
}

OutputTree::OutputTree(platform::FileSystem& files, std::string base)
    : files_(files), base_(std::move(base)) {
  std::random_device random;
  tempSeed_ = (static_cast<uint64_t>(random()) << 32) ^ random() ^
              static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
}

std::string OutputTree::PathOf(const std::vector<std::string>& parts, size_t count) const {
  std::string path = base_;
  for (size_t i = 0; i < count; ++i) path = platform::JoinPath(path, parts[i]);
  return path;
}

TreeStatus OutputTree::EnsureDirectories(const std::vector<std::string>& parts, size_t count) {
  std::string path = base_;
  for (size_t i = 0; i < count; ++i) {
    path = platform::JoinPath(path, parts[i]);
    if (knownDirectories_.count(path)) continue;
    std::optional<platform::FileInfo> info = files_.Stat(path);
    if (!info) {
      if (!files_.CreateDirectory(path)) return TreeStatus::Failed;
      createdDirectories_.insert(path);
    } else if (info->isSymlink) {
      return TreeStatus::Unsafe;
    } else if (!info->isDirectory) {
      return TreeStatus::Failed;
    }
    knownDirectories_.insert(path);
  }
  return TreeStatus::Ok;
}

std::string OutputTree::TempPathIn(const std::vector<std::string>& parts) {
  char name[40];
  std::snprintf(name, sizeof name, ".unz%016llx.tmp",
                static_cast<unsigned long long>(tempSeed_ + tempCounter_++ * 0x9E3779B97F4A7C15ull));
  return platform::JoinPath(PathOf(parts, parts.size() - 1), name);
}

std::unique_ptr<PendingFile> OutputTree::CreatePending(const std::vector<std::string>& parts) {
  // A fresh name opened exclusively and private (0600) until its checks pass:
  // never an existing file, never through a link. Finish gives the final mode.
  for (int attempt = 0; attempt < 4; ++attempt) {
    std::string temp = TempPathIn(parts);
    platform::FileHandle h = files_.Open(temp, platform::Access::Write, platform::Share::ReadWrite,
                                         platform::Disposition::CreateNew, 0600);
    if (h != platform::kInvalidHandle) return std::make_unique<PendingFile>(files_, temp, h);
  }
  return nullptr;
}

bool OutputTree::CreateLink(const std::vector<std::string>& parts, const std::string& linkTarget) {
  std::string temp = TempPathIn(parts);
  if (!files_.CreateSymlink(linkTarget, temp)) return false;
  if (!files_.MoveFile(temp, PathOf(parts), true)) {
    files_.DeleteFile(temp);
    return false;
  }
  return true;
}

void OutputTree::RememberDirectory(const std::string& path, uint32_t dosDateTime, uint32_t mode) {
  stamps_.push_back({path, dosDateTime, mode});
}

void OutputTree::FinishDirectories() {
  // Deepest first, so setting a parent's date is not undone by work inside it.
  std::stable_sort(stamps_.begin(), stamps_.end(),
                   [](const DirectoryStamp& a, const DirectoryStamp& b) { return a.path.size() > b.path.size(); });
  for (const auto& stamp : stamps_) {
    if (stamp.mode) files_.SetPermissions(stamp.path, stamp.mode);
    files_.SetPathDosTime(stamp.path, stamp.dosDateTime);
  }
  stamps_.clear();
}

}  // namespace unz
