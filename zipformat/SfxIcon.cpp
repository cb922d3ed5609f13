#include "zipformat/SfxIcon.h"

#include "zipformat/PeImage.h"

namespace zip {

std::optional<uint64_t> FindSfxIconImage(std::span<const uint8_t> stub) {
  const ByteSource source = MemorySource(stub);
  PeImage image(source);
  if (!image.Load()) return std::nullopt;
  const uint32_t root = image.ResourceRva();
  bool inResourceSection = false;
  for (const PeSection& s : image.Sections())
    if (s.name == ".rsrc") {
      inResourceSection = root != 0 && root >= s.virtualAddress && root - s.virtualAddress < s.rawSize;
      break;
    }
  if (!inResourceSection) return std::nullopt;
  auto icon = image.FindResource(kResourceTypeIcon, 1);
  if (!icon || icon->size != kSfxIconImageSize) return std::nullopt;
  auto at = image.FilePosition(icon->rva, kSfxIconImageSize);
  if (!at || *at > stub.size() || stub.size() - *at < kSfxIconImageSize) return std::nullopt;
  return at;
}

}  // namespace zip
