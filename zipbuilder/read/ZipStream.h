// Memory streams: TMemoryStream keeps a growable block and a position;
// TZipStream adds SetPointer so that it can wrap an outside block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class TMemoryStream {
 public:
  virtual ~TMemoryStream() = default;

  int64_t Size() const { return static_cast<int64_t>(size_); }
  int64_t Position() const { return static_cast<int64_t>(position_); }
  // Grows or shrinks the block; the position is kept within it. False on allocation failure.
  bool SetSize(int64_t size);
  void SetPosition(int64_t position);
  void Clear();
  int64_t Read(void* buffer, int64_t count);
  int64_t Write(const void* buffer, int64_t count);
  uint8_t* Memory() { return memory_; }
  const uint8_t* Memory() const { return memory_; }

 protected:
  // Uses an outside block of `size` bytes; the stream does not own it and
  // cannot grow it beyond `size`.
  void SetPointer(void* buffer, int64_t size);

 private:
  std::vector<uint8_t> owned_;
  uint8_t* memory_ = nullptr;
  size_t size_ = 0;
  size_t position_ = 0;
  bool external_ = false;
};

class TZipStream : public TMemoryStream {
 public:
  TZipStream() { Clear(); }
  virtual void SetPointer(void* buffer, int64_t size) { TMemoryStream::SetPointer(buffer, size); }
};
