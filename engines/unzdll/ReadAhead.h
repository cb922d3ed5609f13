// Member data read ahead by the calling thread in large sequential blocks: the
// workers take small members' local headers and data from memory instead of
// reading each member on its own. A block holds a run of members that follow
// one another in the file in the order they are extracted; a member out of that
// order, or a large one, is read by its worker as before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "engines/unzdll/ArchiveFile.h"
#include "engines/unzdll/CentralDirectory.h"
#include "platform/LargeMemory.h"

namespace unzdll {

// Block memory that has been used, kept for the next blocks: fresh memory
// costs a page fault per page on first use.
class SpareBlocks {
 public:
  using Bytes = std::unique_ptr<uint8_t[], platform::LargeMemoryFree>;
  Bytes Take(size_t size);
  void Give(Bytes bytes, size_t size);
  static constexpr size_t kKept = 4;

 private:
  // Blocks of more than half the full size are made full-sized and reused.
  static bool Reused(size_t size);
  static Bytes Allocate(size_t size);
  std::mutex mutex_;
  std::vector<Bytes> kept_;  // each of ReadAhead::kBlockSize bytes
};

// Bytes of the archive from `offset` on, never changed once read: several
// workers read one block at once.
class ArchiveBlock {
 public:
  ArchiveBlock(uint64_t offset, size_t size, std::shared_ptr<SpareBlocks> spares)
      : offset_(offset), size_(size), spares_(std::move(spares)), bytes_(spares_->Take(size)) {}
  ~ArchiveBlock() { spares_->Give(std::move(bytes_), size_); }
  ArchiveBlock(const ArchiveBlock&) = delete;
  ArchiveBlock& operator=(const ArchiveBlock&) = delete;
  uint64_t Offset() const { return offset_; }
  size_t Size() const { return size_; }
  // The bytes [at, at + count) when the block holds all of them, else null.
  const uint8_t* Find(uint64_t at, uint64_t count) const {
    if (at < offset_ || at - offset_ > size_ || count > size_ - (at - offset_)) return nullptr;
    return bytes_.get() + (at - offset_);
  }

 private:
  friend class ReadAhead;
  uint64_t offset_;
  size_t size_;
  std::shared_ptr<SpareBlocks> spares_;
  SpareBlocks::Bytes bytes_;  // not zero-filled: the read fills it
};

class ReadAhead {
 public:
  // `order`: indexes into `members` in the order they are handed out; member
  // data lies before `dataLimit`.
  ReadAhead(ByteSource& source, const std::vector<Member>& members, const std::vector<size_t>& order,
            uint64_t dataLimit);

  // The block holding the local header and data of members[order[position]]
  // (by its central sizes, with room for the local name and extra field),
  // read with the members after it when it is not read yet; null for a large
  // member, one past the data, or when the read fails (the worker reads it
  // and reports the failure).
  std::shared_ptr<const ArchiveBlock> For(size_t position);

  size_t BlocksRead() const { return blocksRead_; }

  static constexpr size_t kBlockSize = 2u << 20;  // a large page
  // Members whose span is larger go without a block.
  static constexpr uint64_t kLargestMember = kBlockSize / 4;
  // A run goes on past at most this many bytes between one member's data and
  // the next member's header (its name, extra field, data descriptor, or
  // members not selected).
  static constexpr uint64_t kLargestGap = 4u << 10;
  // Room beyond the local header's fixed part for its name and extra field.
  static constexpr uint64_t kLocalNamesGuess = 1024;

 private:
  // Where the member's local header, names and data surely end, within the data.
  uint64_t SpanEnd(const Member& m) const;

  ByteSource& source_;
  const std::vector<Member>& members_;
  const std::vector<size_t>& order_;
  uint64_t dataLimit_;
  std::shared_ptr<SpareBlocks> spares_ = std::make_shared<SpareBlocks>();
  std::shared_ptr<const ArchiveBlock> block_;
  size_t blocksRead_ = 0;
};

}  // namespace unzdll
