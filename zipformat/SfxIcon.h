// The self-extractor stub's replaceable icon: one 32 by 32 image of 16 colours,
// held as icon resource 1 and given as an .ico file of that one image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace zip {

constexpr uint32_t kSfxIconImageSize = 744;
constexpr size_t kSfxIconImageOffset = 22;  // in the .ico file: header and one entry
constexpr size_t kSfxIconFileSize = kSfxIconImageOffset + kSfxIconImageSize;

// The file position of the stub's icon image: icon resource 1 (first language),
// exactly kSfxIconImageSize bytes, in the resource directory of the ".rsrc"
// section. Nullopt when the stub has none or its headers point outside it.
std::optional<uint64_t> FindSfxIconImage(std::span<const uint8_t> stub);

}  // namespace zip
