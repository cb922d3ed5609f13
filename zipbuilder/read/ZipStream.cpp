#include "zipbuilder/read/ZipStream.h"

#include <algorithm>
#include <cstring>
#include <new>

bool TMemoryStream::SetSize(int64_t size) {
  if (size < 0) return false;
  size_t n = static_cast<size_t>(size);
  if (external_) {
    if (n > size_) return false;
    size_ = n;
  } else {
    try {
      owned_.resize(n);
    } catch (const std::bad_alloc&) {
      return false;
    }
    memory_ = owned_.empty() ? nullptr : owned_.data();
    size_ = n;
  }
  position_ = std::min(position_, size_);
  return true;
}

void TMemoryStream::SetPosition(int64_t position) {
  position_ = position < 0 ? 0 : static_cast<size_t>(position);
}

void TMemoryStream::Clear() {
  owned_.clear();
  owned_.shrink_to_fit();
  memory_ = nullptr;
  size_ = position_ = 0;
  external_ = false;
}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || position_ >= size_) return 0;
  size_t n = std::min(static_cast<size_t>(count), size_ - position_);
  std::memcpy(buffer, memory_ + position_, n);
  position_ += n;
  return static_cast<int64_t>(n);
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  size_t end = position_ + static_cast<size_t>(count);
  if (end > size_ && !SetSize(static_cast<int64_t>(end))) return 0;
  std::memcpy(memory_ + position_, buffer, static_cast<size_t>(count));
  position_ = end;
  return count;
}

void TMemoryStream::SetPointer(void* buffer, int64_t size) {
  owned_.clear();
  memory_ = static_cast<uint8_t*>(buffer);
  size_ = size < 0 ? 0 : static_cast<size_t>(size);
  position_ = 0;
  external_ = true;
}
