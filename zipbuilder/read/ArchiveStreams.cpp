#include "zipbuilder/read/ArchiveStreams.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "zipbuilder/core/ZipErrors.h"
#include "zipbuilder/core/ResultCodes.h"

namespace {

// Ranges below this move through the buffers: for them a read into the buffer
// that is there already costs fewer calls than a copy of their own.
constexpr uint64_t kSmallRange = 16 * 1024;

// Records less than this apart are read in order, the bytes between them read
// along: a read call costs about as much as copying that many bytes.
constexpr size_t kReadThrough = 16 * 1024;

// The most a fill reads again of the bytes before it: a header read in part.
constexpr size_t kMostKept = 4 * 1024;

constexpr int64_t kNothingWanted = INT64_MAX;

}  // namespace

int64_t MoveBlocks(platform::FileSystem& files, platform::FileHandle in, platform::FileHandle out,
                   int64_t count, const std::function<void(int64_t)>& afterBlock) {
  int64_t done = 0;
  while (count < 0 || done < count) {
    const int64_t piece = count < 0 ? kMoveBlock : std::min(count - done, kMoveBlock);
    const int64_t moved = files.CopyRange(in, out, piece);
    if (moved < 0) return kMoveFailed;
    done += moved;
    if (moved > 0 && afterBlock) afterBlock(moved);
    if (moved < piece) break;
  }
  return done;
}

bool FailedWriting(int error) {
#ifdef EDQUOT
  if (error == EDQUOT) return true;
#endif
  return error == ENOSPC || error == EFBIG;
}

ArchiveReader::ArchiveReader(platform::FileSystem& files, platform::FileHandle handle,
                             size_t bufferSize)
    : files_(files), handle_(handle), buffer_(new uint8_t[bufferSize]), capacity_(bufferSize) {
  bufferStart_ = std::max<int64_t>(files_.Seek(handle_, 0, platform::SeekFrom::Current), 0);
}

bool ArchiveReader::SeekTo(int64_t position, size_t readAhead) {
  const int64_t bufferEnd = bufferStart_ + static_cast<int64_t>(end_);
  if (position >= bufferStart_ && position <= bufferEnd) {
    begin_ = static_cast<size_t>(position - bufferStart_);
    fillAtLeast_ = position + static_cast<int64_t>(readAhead) > bufferEnd ? readAhead : 0;
    return true;
  }
  if (position < 0) return false;
  // A short step forward goes on reading in order, with fills that grow until
  // the records ahead come with them; anything else starts small again. The
  // bytes stepped over come along when a writer waits for them.
  const bool inOrder = position > bufferEnd &&
                       position - bufferEnd < static_cast<int64_t>(std::max(nextFill_, kReadThrough));
  if (!inOrder) nextFill_ = kFirstFill;
  const int64_t from = inOrder ? FillStart(position, std::min(kReadThrough, capacity_ / 4)) : position;
  fillAtLeast_ = readAhead;
  bufferStart_ = position;
  begin_ = end_ = 0;
  fillFrom_ = from < position ? from : kNoFillFrom;
  return true;
}

int64_t ArchiveReader::FillStart(int64_t position, size_t most) {
  if (!passTo_ || end_ == 0) return position;
  const int64_t wanted = passTo_->TakeBuffered(*this, bufferStart_, buffer_.get(), end_);
  return wanted <= position && position - wanted <= static_cast<int64_t>(most) ? wanted : position;
}

bool ArchiveReader::Fill() {
  const int64_t next = bufferStart_ + static_cast<int64_t>(end_);
  // The bytes a writer copying from this file waits for are written before
  // they go; the few it may take next (the header just read) come again.
  const int64_t from =
      fillFrom_ != kNoFillFrom ? fillFrom_ : FillStart(next, std::min(kMostKept, capacity_ / 4));
  fillFrom_ = kNoFillFrom;
  const auto before = static_cast<size_t>(next - from);
  bufferStart_ = next;
  begin_ = end_ = 0;
  const size_t size = std::min(std::max(nextFill_, fillAtLeast_) + before, capacity_);
  fillAtLeast_ = 0;
  const int64_t got = files_.ReadAt(handle_, buffer_.get(), size, static_cast<uint64_t>(from));
  if (got < 0) return false;
  // Grows up to the buffer and stays there: doubling on would wrap to nothing.
  nextFill_ = std::min(nextFill_ * 2, capacity_);
  if (static_cast<size_t>(got) <= before) return true;  // nothing at `next`: the end of the file
  bufferStart_ = from;
  begin_ = before;
  end_ = static_cast<size_t>(got);
  return true;
}

int64_t ArchiveReader::ReadSome(void* destination, size_t count) {
  auto* out = static_cast<uint8_t*>(destination);
  size_t done = 0;
  while (done < count) {
    if (begin_ == end_ && count - done >= std::min(nextFill_, capacity_)) {
      // Reads no smaller than the next fill go straight to their destination.
      const int64_t at = bufferStart_ + static_cast<int64_t>(end_);
      const int64_t got = files_.ReadAt(handle_, out + done, count - done, static_cast<uint64_t>(at));
      if (got < 0) return kReadFailed;
      bufferStart_ = at + got;
      begin_ = end_ = 0;
      fillFrom_ = kNoFillFrom;
      return static_cast<int64_t>(done) + got;
    }
    if (begin_ == end_) {
      if (!Fill()) return kReadFailed;
      if (end_ == 0) break;
    }
    const size_t take = std::min(count - done, end_ - begin_);
    std::memcpy(out + done, buffer_.get() + begin_, take);
    begin_ += take;
    done += take;
  }
  return static_cast<int64_t>(done);
}

bool ArchiveReader::Read(void* destination, size_t count) {
  return ReadSome(destination, count) == static_cast<int64_t>(count);
}

int64_t ArchiveReader::Size() {
  if (size_ == -2) size_ = std::max<int64_t>(files_.Size(handle_), -1);
  return size_;
}

int64_t ArchiveReader::MoveTo(platform::FileHandle out, int64_t from, int64_t count,
                              const std::function<void(int64_t)>& afterBlock) {
  begin_ = end_ = 0;
  nextFill_ = kFirstFill;
  fillAtLeast_ = 0;
  fillFrom_ = kNoFillFrom;
  bufferStart_ = from;
  if (from < 0 || files_.Seek(handle_, from, platform::SeekFrom::Begin) != from) return kMoveFailed;
  const int64_t moved = MoveBlocks(files_, handle_, out, count, afterBlock);
  if (moved > 0) bufferStart_ += moved;
  return moved;
}

ArchiveWriter::ArchiveWriter(platform::FileSystem& files, platform::FileHandle handle,
                             size_t bufferSize)
    : files_(files), handle_(handle), buffer_(new uint8_t[bufferSize]), capacity_(bufferSize) {}

ArchiveWriter::~ArchiveWriter() {
  if (pending_.in && pending_.in->passTo_ == this) pending_.in->passTo_ = nullptr;
}

void ArchiveWriter::Write(const void* data, size_t count, int messageId) {
  MovePending(messageId);
  Append(data, count, messageId);
  if (onWrite) onWrite(static_cast<int64_t>(count));
}

void ArchiveWriter::Append(const void* data, size_t count, int messageId) {
  if (used_ + count > capacity_) FlushBuffer(messageId);
  if (count >= capacity_) {
    if (files_.Write(handle_, data, count) != static_cast<int64_t>(count))
      throw EZipBuilder(messageId);
    flushed_ += static_cast<int64_t>(count);
  } else if (count != 0) {  // an empty part may come with no address at all
    std::memcpy(buffer_.get() + used_, data, count);
    used_ += count;
  }
}

bool ArchiveWriter::StartRecord(ArchiveReader& in, int64_t from, uint64_t size) {
  const bool continues = pending_.count != 0 && pending_.in == &in &&
                         pending_.from + static_cast<int64_t>(pending_.count) == from;
  if (continues) return in.SeekTo(from);
  MovePending(kMsgOutputWriteError);
  return in.SeekTo(from, size < kSmallRange ? static_cast<size_t>(size) : 0);
}

void ArchiveWriter::Copy(ArchiveReader& in, int64_t from, uint64_t count, int readError) {
  if (count == 0) return;
  const int64_t size = in.Size();
  if (from < 0 || size < from || count > static_cast<uint64_t>(size - from)) throw EZipBuilder(readError);
  if (count >= static_cast<uint64_t>(kMoveBlock)) {
    // Moved now, and told piece by piece as it moves.
    MovePending(kMsgOutputWriteError);
    StartPending(in, from, count, readError);
    MovePending(kMsgOutputWriteError, onWrite);
    return;
  }
  if (pending_.count != 0 && pending_.in == &in &&
      pending_.from + static_cast<int64_t>(pending_.count) == from) {
    pending_.count += count;
  } else {
    MovePending(kMsgOutputWriteError);
    StartPending(in, from, count, readError);
  }
  if (onWrite) onWrite(static_cast<int64_t>(count));
}

void ArchiveWriter::StartPending(ArchiveReader& in, int64_t from, uint64_t count, int readError) {
  // A writer offers itself to one reader at a time, the one of its pending range.
  if (pending_.in && pending_.in != &in && pending_.in->passTo_ == this) pending_.in->passTo_ = nullptr;
  pending_ = {&in, from, count, readError};
  in.passTo_ = this;
}

int64_t ArchiveWriter::TakeBuffered(ArchiveReader& in, int64_t at, const uint8_t* bytes, size_t count) {
  if (pending_.in != &in || pending_.count == 0) return kNothingWanted;
  const int64_t end = at + static_cast<int64_t>(count);
  const int64_t rangeEnd = pending_.from + static_cast<int64_t>(pending_.count);
  if (pending_.from >= end || rangeEnd <= at) return pending_.from;  // none of it among these bytes
  FlushBuffer(kMsgOutputWriteError);
  if (pending_.from < at) {  // bytes the reading passed over
    MoveRange(in, pending_.from, at - pending_.from, pending_.readError);
    pending_.count -= static_cast<uint64_t>(at - pending_.from);
    pending_.from = at;
  }
  const auto size = static_cast<size_t>(std::min(rangeEnd, end) - pending_.from);
  if (files_.Write(handle_, bytes + (pending_.from - at), size) != static_cast<int64_t>(size))
    throw EZipBuilder(kMsgOutputWriteError);
  flushed_ += static_cast<int64_t>(size);
  pending_.from += static_cast<int64_t>(size);
  pending_.count -= size;
  return pending_.from;
}

void ArchiveWriter::MoveRange(ArchiveReader& in, int64_t from, int64_t count, int readError) {
  const int64_t moved = files_.Seek(in.handle_, from, platform::SeekFrom::Begin) == from
                            ? MoveBlocks(files_, in.handle_, handle_, count)
                            : kMoveFailed;
  if (moved < 0 && FailedWriting(files_.LastError())) throw EZipBuilder(kMsgOutputWriteError);
  if (moved != count) throw EZipBuilder(readError);
  flushed_ += moved;
}

void ArchiveWriter::MovePending(int messageId, const std::function<void(int64_t)>& afterBlock) {
  if (pending_.count == 0) return;
  const Range range = pending_;
  pending_ = {};
  if (range.in->passTo_ == this) range.in->passTo_ = nullptr;
  if (range.count < kSmallRange) {
    // Read straight into the buffer.
    if (used_ + range.count > capacity_) FlushBuffer(messageId);
    if (!range.in->SeekTo(range.from) || !range.in->Read(buffer_.get() + used_, range.count))
      throw EZipBuilder(range.readError);
    used_ += range.count;
    return;
  }
  FlushBuffer(messageId);
  const auto count = static_cast<int64_t>(range.count);
  const int64_t moved = range.in->MoveTo(handle_, range.from, count, afterBlock);
  if (moved < 0 && FailedWriting(files_.LastError())) throw EZipBuilder(messageId);
  if (moved != count) throw EZipBuilder(range.readError);
  flushed_ += moved;
}

void ArchiveWriter::Flush(int messageId) {
  MovePending(messageId);
  FlushBuffer(messageId);
}

void ArchiveWriter::FlushBuffer(int messageId) {
  if (used_ == 0) return;
  if (files_.Write(handle_, buffer_.get(), used_) != static_cast<int64_t>(used_)) throw EZipBuilder(messageId);
  flushed_ += static_cast<int64_t>(used_);
  used_ = 0;
}
