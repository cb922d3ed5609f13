#include <sys/mman.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <cstdint>
#include <cstdlib>

#include "platform/LargeMemory.h"

namespace platform {
namespace {

constexpr size_t kLargePage = 2u << 20;

}  // namespace

void* AllocateLarge(size_t size) {
  if (size < kLargePage) return std::malloc(size ? size : 1);
  if (size > SIZE_MAX - kLargePage) return nullptr;  // no rounding up past the largest size
  // Whole large pages, aligned to them, so the kernel can back them with such pages.
  const size_t rounded = (size + kLargePage - 1) / kLargePage * kLargePage;
  void* block = std::aligned_alloc(kLargePage, rounded);
#ifdef MADV_HUGEPAGE
  if (block) ::madvise(block, rounded, MADV_HUGEPAGE);  // advice only: failing is harmless
#endif
  return block;
}

void FreeLarge(void* block) { std::free(block); }

void KeepFreedMemory() {
#ifdef __GLIBC__
  // Blocks up to 32 MiB come from the heap rather than a mapping of their
  // own, and the heap's top is given back only past 256 MiB unused.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
}

}  // namespace platform
