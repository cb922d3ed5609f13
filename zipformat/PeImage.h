// Walking a PE image (a Windows program or library) without running it: its
// headers, sections, resource directory and where the image ends. Every
// offset read from the image is checked before use, so a damaged or hostile
// file yields "not found", never a read outside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zip {

// Resource type numbers.
constexpr uint32_t kResourceTypeIcon = 3;
constexpr uint32_t kResourceTypeGroupIcon = 14;
constexpr uint32_t kResourceTypeVersion = 16;

// Reads `count` bytes at `offset` into `buffer`; false when they are not all there.
using ByteSource = std::function<bool(uint64_t offset, void* buffer, size_t count)>;
// A source over bytes in memory, which must outlive it.
ByteSource MemorySource(std::span<const uint8_t> bytes);

struct PeSection {
  std::string name;  // up to 8 characters
  uint32_t virtualAddress = 0;
  uint32_t virtualSize = 0;
  uint32_t rawSize = 0;
  uint32_t rawOffset = 0;
};

// Where a resource's bytes lie.
struct ResourceData {
  uint32_t rva = 0;
  uint32_t size = 0;
};

class PeImage {
 public:
  explicit PeImage(const ByteSource& source) : source_(source) {}

  // Reads the headers and the section table; false when they do not describe
  // a PE32 or PE32+ image.
  bool Load();

  const std::vector<PeSection>& Sections() const { return sections_; }
  // How many data directories the optional header declares.
  uint32_t DataDirectoryCount() const { return dataDirectoryCount_; }
  uint32_t ResourceRva() const { return resourceRva_; }

  // The end of the last section's raw data: where data appended to the image begins.
  uint64_t ImageEnd() const;

  // The file position of `count` bytes at relative virtual address `rva`, when
  // a section holds them all in its raw data.
  std::optional<uint64_t> FilePosition(uint32_t rva, size_t count) const;
  bool ReadRva(uint32_t rva, void* buffer, size_t count) const;

  // The resource of `type` named `name` (the first name when nullopt), first language.
  std::optional<ResourceData> FindResource(uint32_t type, std::optional<uint32_t> name) const;
  // Its bytes.
  std::optional<std::vector<uint8_t>> ReadResource(uint32_t type,
                                                   std::optional<uint32_t> name = std::nullopt) const;

 private:
  std::optional<uint32_t> FindEntry(uint32_t directoryOffset, std::optional<uint32_t> id) const;

  const ByteSource& source_;
  uint32_t dataDirectoryCount_ = 0;
  uint32_t resourceRva_ = 0;
  std::vector<PeSection> sections_;
};

// The image's first icon group as the bytes of an .ico file, or nullopt when
// it has none or an image of it is missing.
std::optional<std::vector<uint8_t>> FirstIconFile(const PeImage& image);

}  // namespace zip
