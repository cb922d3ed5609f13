// Output sinks besides files: nothing (testing), a caller's memory block, a string.
#pragma once

#include <cstring>
#include <string>

#include "engines/unzdll/MemberDecoder.h"

namespace unzdll {

class NullSink : public OutputSink {
 public:
  bool Write(const uint8_t*, size_t) override { return true; }
};

class MemorySink : public OutputSink {
 public:
  MemorySink(uint8_t* block, size_t capacity) : block_(block), capacity_(capacity) {}
  bool Write(const uint8_t* data, size_t size) override {
    if (size > capacity_ - used_) return false;
    std::memcpy(block_ + used_, data, size);
    used_ += size;
    return true;
  }

 private:
  uint8_t* block_;
  size_t capacity_;
  size_t used_ = 0;
};

class StringSink : public OutputSink {
 public:
  bool Write(const uint8_t* data, size_t size) override {
    text.append(reinterpret_cast<const char*>(data), size);
    return true;
  }
  std::string text;
};

}  // namespace unzdll
