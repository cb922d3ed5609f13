// Buffered reading and writing for the operations that rewrite archives member
// by member: they move many small records, and a system call per record would
// cost more than the copying itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/FileSystem.h"

// Reads a file through one buffer. Positioning inside the buffered bytes costs
// no system call; positioning elsewhere seeks at once, so a failure shows where
// it happens. Reads grow from small after a seek to the whole buffer while the
// reading goes on in order, so that scattered records are not read ahead far.
class ArchiveReader {
 public:
  ArchiveReader(platform::FileSystem& files, platform::FileHandle handle,
                size_t bufferSize = size_t{1} << 20);

  // False when the file cannot be positioned there.
  bool SeekTo(int64_t position);
  int64_t Position() const { return bufferStart_ + static_cast<int64_t>(begin_); }
  // Exactly `count` bytes; false on a read error or at the end of the file.
  bool Read(void* destination, size_t count);
  // Up to `count` bytes, fewer only at the end of the file; -1 on a read error.
  int64_t ReadSome(void* destination, size_t count);
  // Hands the next `count` bytes to `sink` in pieces of the buffer, without
  // copying them; false on a read error or at the end of the file.
  bool Pass(uint64_t count, const std::function<void(const uint8_t*, size_t)>& sink);

 private:
  // Refills the empty buffer; false on a read error, true with nothing at the end.
  bool Fill();

  platform::FileSystem& files_;
  platform::FileHandle handle_;
  std::vector<uint8_t> buffer_;
  int64_t bufferStart_ = 0;  // file position of buffer_[0]
  size_t begin_ = 0, end_ = 0;
  static constexpr size_t kFirstFill = 4096;
  size_t nextFill_ = kFirstFill;
};

// Writes a file through one buffer. A write that fails, now or when the buffer
// is flushed, raises EZipBuilder with the identifier of the write that caused it.
class ArchiveWriter {
 public:
  ArchiveWriter(platform::FileSystem& files, platform::FileHandle handle,
                size_t bufferSize = size_t{1} << 20);

  void Write(const void* data, size_t count, int messageId);
  void Flush(int messageId);
  // Bytes written so far, buffered ones included: the position in the new file.
  int64_t Position() const { return flushed_ + static_cast<int64_t>(buffer_.size()); }
  // Told the size of every Write (progress).
  std::function<void(int64_t)> onWrite;

 private:
  platform::FileSystem& files_;
  platform::FileHandle handle_;
  std::vector<uint8_t> buffer_;
  size_t capacity_;
  int64_t flushed_ = 0;
};
