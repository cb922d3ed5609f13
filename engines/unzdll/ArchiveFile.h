// Positioned reads from the archive file through the platform file system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/FileSystem.h"

namespace unzdll {

// Where member data comes from: the archive file or a block in memory.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Size() const = 0;
  // Reads exactly `count` bytes at `offset`; false when the source is shorter or fails.
  virtual bool ReadAt(uint64_t offset, void* buffer, size_t count) = 0;
};

class MemorySource : public ByteSource {
 public:
  MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t offset, void* buffer, size_t count) override;

 private:
  const uint8_t* data_;
  size_t size_;
};

class ArchiveFile : public ByteSource {
 public:
  ArchiveFile(platform::FileSystem& files, const std::string& path);  // throws EngineError
  ~ArchiveFile();
  ArchiveFile(const ArchiveFile&) = delete;
  ArchiveFile& operator=(const ArchiveFile&) = delete;

  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t offset, void* buffer, size_t count) override;

 private:
  platform::FileSystem& files_;
  platform::FileHandle handle_;
  uint64_t size_ = 0;
};

}  // namespace unzdll
