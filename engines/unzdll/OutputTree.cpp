#include "engines/unzdll/OutputTree.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>

#include "platform/Paths.h"

namespace unzdll {

OutputDirectory::OutputDirectory(platform::FileSystem& files, std::string path)
    : files_(files), path_(std::move(path)), handle_(files.OpenDirectory(path_)) {}

OutputDirectory::~OutputDirectory() {
  if (handle_ != platform::kInvalidHandle) files_.Close(handle_);
}

PendingFile::PendingFile(platform::FileSystem& files, platform::TemporaryFile file,
                         std::shared_ptr<const OutputDirectory> directory, std::string name)
    : files_(files), file_(std::move(file)), directory_(std::move(directory)), name_(std::move(name)) {}

PendingFile::~PendingFile() { Discard(); }

bool PendingFile::Write(const uint8_t* data, size_t size) {
  return files_.Write(file_.Handle(), data, size) == static_cast<int64_t>(size);
}

bool PendingFile::Finish(uint32_t dosDateTime, uint32_t mode) {
  if (!file_.IsOpen()) return false;
  files_.SetFileDosTime(file_.Handle(), dosDateTime);
  if (!file_.SetPermissions(mode)) {
    Discard();
    return false;
  }
  finished_ = true;
  return true;
}

bool PendingFile::MoveInto() {
  if (!finished_ || !file_.IsOpen()) return false;
  // The name replaces a link at the target rather than writing through it.
  if (!file_.PublishIn(directory_->Handle(), directory_->Path(), name_)) {
    Discard();
    return false;
  }
  return true;
}

void PendingFile::Discard() { file_.Discard(); }

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

std::shared_ptr<const OutputDirectory> OutputTree::DirectoryOf(const std::vector<std::string>& parts) {
  std::string path = PathOf(parts, parts.size() - 1);
  auto found = openDirectories_.find(path);
  if (found != openDirectories_.end()) return found->second;
  if (openDirectories_.size() >= kOpenDirectories) openDirectories_.clear();
  auto directory = std::make_shared<const OutputDirectory>(files_, path);
  openDirectories_.emplace(std::move(path), directory);
  return directory;
}

std::unique_ptr<PendingFile> OutputTree::CreatePending(std::shared_ptr<const OutputDirectory> directory,
                                                       const std::string& name, uint32_t mode) {
  // A new file, never an existing one, never through a link; nobody can open
  // it before its checks pass (unnamed, or private until Finish).
  platform::TemporaryFile file(files_, directory->Handle(), directory->Path(), mode);
  if (!file.IsOpen()) return nullptr;
  return std::make_unique<PendingFile>(files_, std::move(file), std::move(directory), name);
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

}  // namespace unzdll
