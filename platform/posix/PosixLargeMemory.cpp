#include <sys/mman.h>

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

}  // namespace platform
