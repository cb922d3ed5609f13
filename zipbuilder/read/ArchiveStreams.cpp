#include "zipbuilder/read/ArchiveStreams.h"

#include <algorithm>
#include <cstring>

#include "zipbuilder/core/ZipErrors.h"
#include "zipbuilder/core/ResultCodes.h"

ArchiveReader::ArchiveReader(platform::FileSystem& files, platform::FileHandle handle,
                             size_t bufferSize)
    : files_(files), handle_(handle), buffer_(bufferSize) {
  bufferStart_ = std::max<int64_t>(files_.Seek(handle_, 0, platform::SeekFrom::Current), 0);
}

bool ArchiveReader::SeekTo(int64_t position) {
  if (position >= bufferStart_ && position <= bufferStart_ + static_cast<int64_t>(end_)) {
    begin_ = static_cast<size_t>(position - bufferStart_);
    return true;
  }
  if (position < 0 || files_.Seek(handle_, position, platform::SeekFrom::Begin) != position)
    return false;
  bufferStart_ = position;
  begin_ = end_ = 0;
  nextFill_ = kFirstFill;
  return true;
}

bool ArchiveReader::Fill() {
  bufferStart_ += static_cast<int64_t>(end_);
  begin_ = end_ = 0;
  const int64_t got = files_.Read(handle_, buffer_.data(), std::min(nextFill_, buffer_.size()));
  if (got < 0) return false;
  // Grows up to the buffer and stays there: doubling on would wrap to nothing.
  nextFill_ = std::min(nextFill_ * 2, buffer_.size());
  end_ = static_cast<size_t>(got);
  return true;
}

int64_t ArchiveReader::ReadSome(void* destination, size_t count) {
  auto* out = static_cast<uint8_t*>(destination);
  size_t done = 0;
  while (done < count) {
    if (begin_ == end_ && count - done >= buffer_.size()) {
      // Large reads go straight to their destination.
      const int64_t got = files_.Read(handle_, out + done, count - done);
      if (got < 0) return kReadFailed;
      bufferStart_ += static_cast<int64_t>(end_) + got;
      begin_ = end_ = 0;
      return static_cast<int64_t>(done) + got;
    }
    if (begin_ == end_) {
      if (!Fill()) return kReadFailed;
      if (end_ == 0) break;
    }
    const size_t take = std::min(count - done, end_ - begin_);
    std::memcpy(out + done, buffer_.data() + begin_, take);
    begin_ += take;
    done += take;
  }
  return static_cast<int64_t>(done);
}

bool ArchiveReader::Read(void* destination, size_t count) {
  return ReadSome(destination, count) == static_cast<int64_t>(count);
}

bool ArchiveReader::Pass(uint64_t count, const std::function<void(const uint8_t*, size_t)>& sink) {
  while (count > 0) {
    if (begin_ == end_ && (!Fill() || end_ == 0)) return false;
    const size_t take = static_cast<size_t>(std::min<uint64_t>(count, end_ - begin_));
    sink(buffer_.data() + begin_, take);
    begin_ += take;
    count -= take;
  }
  return true;
}

ArchiveWriter::ArchiveWriter(platform::FileSystem& files, platform::FileHandle handle,
                             size_t bufferSize)
    : files_(files), handle_(handle), capacity_(bufferSize) {
  buffer_.reserve(capacity_);
}

void ArchiveWriter::Write(const void* data, size_t count, int messageId) {
  if (buffer_.size() + count > capacity_) Flush(messageId);
  if (count >= capacity_) {
    if (files_.Write(handle_, data, count) != static_cast<int64_t>(count))
      throw EZipBuilder(messageId);
    flushed_ += static_cast<int64_t>(count);
  } else {
    const auto* bytes = static_cast<const uint8_t*>(data);
    buffer_.insert(buffer_.end(), bytes, bytes + count);
  }
  if (onWrite) onWrite(static_cast<int64_t>(count));
}

void ArchiveWriter::Flush(int messageId) {
  if (buffer_.empty()) return;
  if (files_.Write(handle_, buffer_.data(), buffer_.size()) != static_cast<int64_t>(buffer_.size()))
    throw EZipBuilder(messageId);
  flushed_ += static_cast<int64_t>(buffer_.size());
  buffer_.clear();
}
