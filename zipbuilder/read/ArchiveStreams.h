// Buffered reading and writing for the operations that rewrite archives member
// by member: they move many small records, and a system call per record would
// cost more than the copying itself. Stored bytes that pass unchanged are
// written from the reader's buffer when the reading brought them there anyway,
// else copied from file to file by the file system where it can (MoveBlocks).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/FileSystem.h"

// The piece in which MoveBlocks moves bytes, and reports them moved.
constexpr int64_t kMoveBlock = int64_t{8} << 20;
// The buffers' size. Filled again and again rather than made large: every page
// of memory touched for the first time costs a fault, where a larger buffer
// would save only a read or write call per this many bytes.
constexpr size_t kStreamBuffer = size_t{128} << 10;
// What MoveBlocks and ArchiveReader::MoveTo return when a read or write failed.
constexpr int64_t kMoveFailed = -1;

// Moves `count` bytes (all to the end of the input when negative) from `in`'s
// position to `out`'s, both advancing, in pieces of kMoveBlock through
// FileSystem::CopyRange: inside the kernel, sharing blocks where the file
// system can, else read and written in large blocks. `afterBlock`, when set, is
// told the size of each piece once it is moved. Returns the bytes moved, fewer
// than `count` only at the end of the input; kMoveFailed on a failure.
int64_t MoveBlocks(platform::FileSystem& files, platform::FileHandle in, platform::FileHandle out,
                   int64_t count, const std::function<void(int64_t)>& afterBlock = nullptr);

// Whether the reason of a failed move (an errno value) lies with the output: a
// full disk or a file grown past its limit. Any other reason is the input's.
bool FailedWriting(int error);

class ArchiveWriter;

// Reads a file through one buffer, each read at its own position (the
// handle's position is used only by MoveTo). Positioning costs no system call.
// Reads grow from small after a seek to the whole buffer while the reading goes
// on in order, so that scattered records are not read ahead far.
class ArchiveReader {
 public:
  ArchiveReader(platform::FileSystem& files, platform::FileHandle handle,
                size_t bufferSize = kStreamBuffer);

  // False for a negative position; a position past the end fails the next read.
  // When the bytes there must be read, at least `readAhead` of them (up to the
  // buffer's size) are read at once.
  bool SeekTo(int64_t position, size_t readAhead = 0);
  int64_t Position() const { return bufferStart_ + static_cast<int64_t>(begin_); }
  // Exactly `count` bytes; false on a read error or at the end of the file.
  bool Read(void* destination, size_t count);
  // Up to `count` bytes, fewer only at the end of the file; -1 on a read error.
  int64_t ReadSome(void* destination, size_t count);
  // The file's size, taken once; -1 when it cannot be known.
  int64_t Size();
  // MoveBlocks of `count` bytes from position `from` to `out`; the reader goes on after them.
  int64_t MoveTo(platform::FileHandle out, int64_t from, int64_t count,
                 const std::function<void(int64_t)>& afterBlock);

 private:
  // Refills the empty buffer; false on a read error, true with nothing at the end.
  bool Fill();
  // Where a fill that is to serve `position` starts: before it, by at most
  // `most`, where the writer copying from this file waits for the bytes in
  // between. The writer is offered the buffer's bytes first, for they go.
  int64_t FillStart(int64_t position, size_t most);

  friend class ArchiveWriter;

  platform::FileSystem& files_;
  platform::FileHandle handle_;
  // Left uninitialised: a run that reads only small records touches a page or two of it.
  std::unique_ptr<uint8_t[]> buffer_;
  size_t capacity_;
  int64_t bufferStart_ = 0;  // file position of buffer_[0]
  size_t begin_ = 0, end_ = 0;
  static constexpr size_t kFirstFill = 512;  // a local header with a usual name and extra field
  size_t nextFill_ = kFirstFill;
  size_t fillAtLeast_ = 0;  // asked of the next fill alone (SeekTo's readAhead)
  int64_t size_ = -2;  // -2: not taken yet
  static constexpr int64_t kNoFillFrom = -1;
  int64_t fillFrom_ = kNoFillFrom;  // where the next fill starts, when before the position
  // The writer whose pending range comes from this file: offered the buffer's
  // bytes before a fill replaces them. A reader outlives the writers that copy from it.
  ArchiveWriter* passTo_ = nullptr;
};

// Writes a file through one buffer. A write that fails, now or when the buffer
// is flushed, raises EZipBuilder with the identifier of the write that caused it.
class ArchiveWriter {
 public:
  ArchiveWriter(platform::FileSystem& files, platform::FileHandle handle,
                size_t bufferSize = kStreamBuffer);
  ~ArchiveWriter();
  ArchiveWriter(const ArchiveWriter&) = delete;
  ArchiveWriter& operator=(const ArchiveWriter&) = delete;

  void Write(const void* data, size_t count, int messageId);
  // Positions `in` at a record of about `size` bytes at `from` that is to be
  // copied next. A pending range that the record does not continue is moved
  // first, while a small one may still be in the reader's buffer; a record that
  // starts a small range of its own is read whole by the first read, so that
  // its header and its bytes cost one read. False for a negative position.
  bool StartRecord(ArchiveReader& in, int64_t from, uint64_t size);
  // Appends `count` bytes of the file `in` reads, from its position `from` on,
  // as they are. Ranges that continue one another are joined and moved at once
  // when something else is written or flushed; large ones move through
  // MoveBlocks (small ones through the buffers, where that costs fewer calls).
  // Bytes of the range that `in` reads into its buffer meanwhile (reading the
  // headers in between) are written from there before it refills.
  // A range that reaches past the end of the input raises `readError` at once;
  // a failure while moving raises it too, or 11010 when the output failed.
  void Copy(ArchiveReader& in, int64_t from, uint64_t count, int readError);
  void Flush(int messageId);
  // Bytes written so far, buffered and pending ones included: the position in the new file.
  int64_t Position() const {
    return flushed_ + static_cast<int64_t>(used_) + static_cast<int64_t>(pending_.count);
  }
  // Told the size of every Write and Copy (progress); a large copy, once per
  // piece of MoveBlocks as it moves.
  std::function<void(int64_t)> onWrite;

 private:
  // Bytes into the buffer, flushing it first when they do not fit.
  void Append(const void* data, size_t count, int messageId);
  // Moves the pending range, if any, behind the buffered bytes; `afterBlock`
  // is told the pieces of a large one. A failed write raises `messageId`.
  void MovePending(int messageId, const std::function<void(int64_t)>& afterBlock = nullptr);
  void FlushBuffer(int messageId);

  friend class ArchiveReader;
  // The reader's buffered bytes `bytes` (`count` of them, from file position
  // `at`) are about to go: the pending range's part of them is written, and the
  // bytes before it moved. Returns the first position still wanted from `in`
  // (the pending range's end when it lies among them, for the next record may
  // continue it); INT64_MAX when none is.
  int64_t TakeBuffered(ArchiveReader& in, int64_t at, const uint8_t* bytes, size_t count);
  // Makes `count` bytes of `in` from `from` on the pending range, which is
  // offered `in`'s buffered bytes from now on.
  void StartPending(ArchiveReader& in, int64_t from, uint64_t count, int readError);
  // Moves `count` bytes of `in` from `from` by MoveBlocks, leaving `in`'s buffer as it is.
  void MoveRange(ArchiveReader& in, int64_t from, int64_t count, int readError);

  struct Range {
    ArchiveReader* in = nullptr;
    int64_t from = 0;
    uint64_t count = 0;
    int readError = 0;
  };
  platform::FileSystem& files_;
  platform::FileHandle handle_;
  std::unique_ptr<uint8_t[]> buffer_;  // written before it is read: never zero-filled
  size_t capacity_;
  size_t used_ = 0;
  int64_t flushed_ = 0;
  Range pending_;  // appended, not yet moved
};
