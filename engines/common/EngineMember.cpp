#include "engines/common/EngineMember.h"

namespace engine {

bool Member::IsDirectory() const {
  if (!name.empty() && name.back() == '/') return true;
  return (externalAttributes & 0x10) && uncompressedSize == 0;
}

bool Member::IsSymlink() const {
  return (UnixMode() & 0170000) == 0120000;
}

Member MemberOf(const zip::CentralEntry& e) {
  Member m;
  m.versionMadeBy = e.header.VersionMadeBy0;
  m.host = e.header.VersionMadeBy1;
  m.versionNeeded = e.header.VersionNeed;
  m.flags = e.header.Flag;
  m.method = e.header.ComprMethod;
  m.dosDateTime = static_cast<uint32_t>(e.header.ModifDate) << 16 | e.header.ModifTime;
  m.crc = e.header.CRC32;
  m.compressedSize = e.compressedSize;
  m.uncompressedSize = e.uncompressedSize;
  m.internalAttributes = e.header.IntFileAtt;
  m.externalAttributes = e.header.ExtFileAtt;
  m.localHeaderOffset = e.localHeaderOffset;
  return m;
}

}  // namespace engine
