#include "ArchiveBytes.h"

#include "zipbuilder/ZipRecords.h"

namespace testsupport {

uint32_t Crc32Of(const std::string& data) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : data) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

namespace {

template <typename Record>
void Append(std::string& out, const Record& record) {
  uint8_t bytes[sizeof(Record)];
  zip::Encode(record, bytes);
  out.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

}  // namespace

BuiltArchive BuildArchive(const std::vector<TestMember>& members, const ArchiveLayout& layout) {
  BuiltArchive built;
  std::string& out = built.bytes;
  out = layout.stub;
  const uint32_t base = layout.offsetsCountStub ? 0 : static_cast<uint32_t>(layout.stub.size());
  std::vector<uint32_t> offsets;
  for (const auto& m : members) {
    offsets.push_back(static_cast<uint32_t>(out.size()) - base);
    zip::LocalFileHeader local{zip::kLocalHeaderSignature, 20, m.flags, 0, 0x6000, 0x5921, Crc32Of(m.data),
                               static_cast<uint32_t>(m.data.size()), static_cast<uint32_t>(m.data.size()),
                               static_cast<uint16_t>(m.name.size()), 0};
    Append(out, local);
    out += m.name + m.data;
  }
  built.centralOffset = static_cast<uint32_t>(out.size());
  for (size_t i = 0; i < members.size(); ++i) {
    const auto& m = members[i];
    zip::CentralFileHeader central{zip::kCentralHeaderSignature, m.version, m.hostSystem, 20, m.flags, 0,
                                   0x6000, 0x5921, Crc32Of(m.data), static_cast<uint32_t>(m.data.size()),
                                   static_cast<uint32_t>(m.data.size()), static_cast<uint16_t>(m.name.size()),
                                   static_cast<uint16_t>(m.extra.size()), static_cast<uint16_t>(m.comment.size()),
                                   0, 0, 0x20, offsets[i]};
    Append(out, central);
    out += m.name + m.extra + m.comment;
  }
  built.endOffset = static_cast<uint32_t>(out.size());
  const auto count = static_cast<uint16_t>(members.size());
  zip::ZipEndOfCentral end{zip::kEndOfCentralSignature, layout.thisDisk, layout.centralDisk, count, count,
                           built.endOffset - built.centralOffset, built.centralOffset - base,
                           static_cast<uint16_t>(layout.comment.size())};
  Append(out, end);
  out += layout.comment;
  return built;
}

}  // namespace testsupport
