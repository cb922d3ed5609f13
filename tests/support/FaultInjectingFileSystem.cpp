#include "tests/support/FaultInjectingFileSystem.h"

#include <algorithm>

namespace platform {

void FaultInjectingFileSystem::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  plans_ = {};
  calls_ = {};
  injected_ = 0;
  rangeCopies_ = 0;
  injectedError_ = 0;
  shortWrite_.reset();
  reads_.clear();
  writes_.clear();
}

int FaultInjectingFileSystem::LastError() {
  std::lock_guard<std::mutex> lock(mutex_);
  return injectedError_ ? injectedError_ : inner_.LastError();
}

bool FaultInjectingFileSystem::Count(Op op) {
  std::lock_guard<std::mutex> lock(mutex_);
  uint64_t call = ++calls_[Index(op)];
  const Plan& plan = plans_[Index(op)];
  bool fail = plan.n != 0 && (call == plan.n || (plan.andAfter && call > plan.n));
  if (fail) ++injected_;
  injectedError_ = fail ? (op == Op::Write ? ENOSPC : EIO) : 0;
  return fail;
}

std::vector<int64_t> FaultInjectingFileSystem::Sizes(const std::vector<Transfer>& records) {
  std::vector<int64_t> sizes;
  for (const auto& r : records)
    if (r.result >= 0) sizes.push_back(r.result);
  return sizes;
}

FileHandle FaultInjectingFileSystem::Open(const std::string& path, Access access, Share share,
                                          Disposition disposition, uint32_t mode) {
  if (Count(Op::Open)) return kInvalidHandle;
  return inner_.Open(path, access, share, disposition, mode);
}

int64_t FaultInjectingFileSystem::Read(FileHandle h, void* buffer, size_t count) {
  if (Count(Op::Read)) {
    std::lock_guard<std::mutex> lock(mutex_);
    reads_.push_back({count, -1, true});
    return -1;
  }
  int64_t got = inner_.Read(h, buffer, count);
  std::lock_guard<std::mutex> lock(mutex_);
  reads_.push_back({count, got, false});
  return got;
}

int64_t FaultInjectingFileSystem::Write(FileHandle h, const void* buffer, size_t count) {
  if (Count(Op::Write)) {
    int64_t result = -1;
    if (shortWrite_) {
      size_t part = std::min(*shortWrite_, count);
      result = part ? inner_.Write(h, buffer, part) : 0;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    writes_.push_back({count, result, true});
    return result;
  }
  int64_t put = inner_.Write(h, buffer, count);
  std::lock_guard<std::mutex> lock(mutex_);
  writes_.push_back({count, put, false});
  return put;
}

int64_t FaultInjectingFileSystem::Seek(FileHandle h, int64_t offset, SeekFrom from) {
  if (Count(Op::Seek)) return -1;
  return inner_.Seek(h, offset, from);
}

}  // namespace platform
