// Memory for large buffers used over and over (a whole member, a block of an
// archive). Where the system offers large pages it is asked for them: the first
// use then costs one page fault per 2 MiB rather than one per 4 KiB. And the
// process's choice to keep large blocks it frees for reuse.
#pragma once

#include <cstddef>

namespace platform {

// A block of at least `size` bytes, not zero-filled; null when there is no memory.
void* AllocateLarge(size_t size);
// Frees a block from AllocateLarge.
void FreeLarge(void* block);

// For a short-lived process that frees large blocks and then asks for others:
// blocks it frees, large ones too, are kept and reused instead of going back to
// the system, where every page of them would cost a fault again when touched.
// Freeing many blocks at once then costs more (they are merged).
void KeepFreedMemory();

// For owners of such blocks (std::unique_ptr<uint8_t[], LargeMemoryFree>).
struct LargeMemoryFree {
  void operator()(void* block) const { FreeLarge(block); }
};

}  // namespace platform
