#include "platform/TemporaryFile.h"

#include <utility>

namespace platform {

TemporaryFile::TemporaryFile(FileSystem& files, const std::string& dir)
    : files_(&files), file_(files.CreateUnnamedFile(dir)) {}

TemporaryFile::TemporaryFile(FileSystem& files, FileHandle dir, const std::string& dirPath, uint32_t mode)
    : files_(&files), file_(files.CreateUnnamedFileIn(dir, dirPath, mode)) {}

TemporaryFile TemporaryFile::Adopt(FileSystem& files, const std::string& path) {
  TemporaryFile adopted;
  adopted.files_ = &files;
  adopted.file_ = files.AdoptAsUnnamed(path);
  return adopted;
}

TemporaryFile::TemporaryFile(TemporaryFile&& other) noexcept
    : files_(other.files_), file_(std::exchange(other.file_, UnnamedFile{})) {}

TemporaryFile& TemporaryFile::operator=(TemporaryFile&& other) noexcept {
  if (this != &other) {
    Discard();
    files_ = other.files_;
    file_ = std::exchange(other.file_, UnnamedFile{});
  }
  return *this;
}

bool TemporaryFile::Publish(const std::string& target) {
  if (!IsOpen()) return false;
  if (!files_->NameFile(file_, target)) return false;
  files_->Close(file_.handle);
  file_ = UnnamedFile{};
  return true;
}

bool TemporaryFile::PublishIn(FileHandle dir, const std::string& dirPath, const std::string& name) {
  if (!IsOpen()) return false;
  if (!files_->NameFileIn(file_, dir, dirPath, name)) return false;
  files_->Close(file_.handle);
  file_ = UnnamedFile{};
  return true;
}

bool TemporaryFile::SetPermissions(uint32_t mode) {
  return IsOpen() && files_->SetUnnamedFilePermissions(file_, mode);
}

void TemporaryFile::Discard() {
  if (!IsOpen()) return;
  files_->Close(file_.handle);
  if (file_.named) files_->DeleteFile(file_.path);
  file_ = UnnamedFile{};
}

}  // namespace platform
