#include <cstdlib>

#include "platform/LargeMemory.h"

namespace platform {

// Large pages need a privilege ordinary users lack: plain memory here.
void* AllocateLarge(size_t size) { return std::malloc(size ? size : 1); }

void FreeLarge(void* block) { std::free(block); }

// The system heap keeps freed memory for reuse as it is.
void KeepFreedMemory() {}

}  // namespace platform
