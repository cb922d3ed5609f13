// A growable byte buffer that is never zero-filled (whatever is read or decoded
// into it overwrites it) and never shrinks until released.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "platform/LargeMemory.h"

namespace unzdll {

struct RawBuffer {
  static constexpr size_t kSmallest = 64u << 10;
  std::unique_ptr<uint8_t[], platform::LargeMemoryFree> data;
  size_t capacity = 0;
  // Room for `size` bytes; what was in it is lost when it grows. It grows at
  // least twofold: every new area costs page faults when first used.
  uint8_t* Reserve(size_t size) {
    if (size > capacity || !data) {
      const size_t grown = std::max({size, capacity * 2, kSmallest});
      data.reset();
      data.reset(static_cast<uint8_t*>(platform::AllocateLarge(grown)));
      if (!data) {
        capacity = 0;
        throw std::bad_alloc();
      }
      capacity = grown;
    }
    return data.get();
  }
  void Release() { *this = RawBuffer(); }
};

}  // namespace unzdll
