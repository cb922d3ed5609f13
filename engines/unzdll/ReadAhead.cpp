#include "engines/unzdll/ReadAhead.h"

#include <algorithm>
#include <new>

namespace unzdll {

SpareBlocks::Bytes SpareBlocks::Take(size_t size) {
  // A short run (one member far from the next, say) takes only its own size: a
  // whole block for it would hold a large page for one small member.
  if (!Reused(size)) return Allocate(size);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!kept_.empty()) {
      Bytes bytes = std::move(kept_.back());
      kept_.pop_back();
      return bytes;
    }
  }
  return Allocate(ReadAhead::kBlockSize);
}

void SpareBlocks::Give(Bytes bytes, size_t size) {
  if (!Reused(size)) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (kept_.size() < kKept) kept_.push_back(std::move(bytes));
}

bool SpareBlocks::Reused(size_t size) { return size > ReadAhead::kBlockSize / 2; }

SpareBlocks::Bytes SpareBlocks::Allocate(size_t size) {
  Bytes bytes(static_cast<uint8_t*>(platform::AllocateLarge(size)));
  if (!bytes) throw std::bad_alloc();
  return bytes;
}

ReadAhead::ReadAhead(ByteSource& source, const std::vector<Member>& members, const std::vector<size_t>& order,
                     uint64_t dataLimit)
    : source_(source), members_(members), order_(order), dataLimit_(std::min(dataLimit, source.Size())) {}

uint64_t ReadAhead::SpanEnd(const Member& m) const {
  const uint64_t room = dataLimit_ - m.localHeaderOffset;
  return m.localHeaderOffset + std::min<uint64_t>(room, kLocalHeaderSize + kLocalNamesGuess + m.compressedSize);
}

std::shared_ptr<const ArchiveBlock> ReadAhead::For(size_t position) {
  const Member& first = members_[order_[position]];
  const uint64_t start = first.localHeaderOffset;
  if (start >= dataLimit_) return nullptr;
  uint64_t end = SpanEnd(first);
  if (block_ && block_->Find(start, end - start)) return block_;
  if (end - start > kLargestMember) return nullptr;
  // The members after it join the block while each starts soon after the one
  // before it ends (the smallest extent: fixed header and data), up to the
  // block's size.
  uint64_t previousEnd = start + kLocalHeaderSize + first.compressedSize;
  for (size_t next = position + 1; next < order_.size(); ++next) {
    const Member& m = members_[order_[next]];
    if (m.localHeaderOffset < previousEnd || m.localHeaderOffset - previousEnd > kLargestGap ||
        m.localHeaderOffset >= dataLimit_)
      break;
    const uint64_t spanEnd = SpanEnd(m);
    if (spanEnd - start > kBlockSize) break;
    end = std::max(end, spanEnd);
    previousEnd = m.localHeaderOffset + kLocalHeaderSize + m.compressedSize;
  }
  auto block = std::make_shared<ArchiveBlock>(start, static_cast<size_t>(end - start), spares_);
  if (!source_.ReadAt(start, block->bytes_.get(), block->size_)) return nullptr;
  ++blocksRead_;
  block_ = std::move(block);
  return block_;
}

}  // namespace unzdll
