#include "ZipFormat.h"

#include <algorithm>

#include "EngineSession.h"

namespace zipdll {
namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

[[noreturn]] void Damaged(const std::string& what) {
  throw EngineError(kEngineBadArchive, "Archive damaged or not a ZIP file: " + what);
}

void ReadAt(platform::FileSystem& fs, platform::FileHandle h, uint64_t offset, void* buffer, size_t size) {
  if (fs.Seek(h, static_cast<int64_t>(offset), platform::SeekFrom::Begin) < 0 ||
      fs.Read(h, buffer, size) != static_cast<int64_t>(size)) {
    throw EngineError(kEngineReadError, "Cannot read the archive");
  }
}

}  // namespace

void PutLe16(std::string& out, uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}

void PutLe32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

ExistingArchive ReadArchive(platform::FileSystem& fs, platform::FileHandle h) {
  ExistingArchive archive;
  int64_t fileSize = fs.Size(h);
  if (fileSize < 22) Damaged("too short");
  if (static_cast<uint64_t>(fileSize) > kZip32Limit) {
    throw EngineError(kEngineUnsupported, "Archives of 4 GiB or more are not supported");
  }
  archive.fileDosTime = fs.GetFileDosTime(h).value_or(0);

  // The end record lies in the last 22 + 65535 bytes.
  size_t tailSize = static_cast<size_t>(std::min<int64_t>(fileSize, 22 + 65535));
  uint64_t tailStart = static_cast<uint64_t>(fileSize) - tailSize;
  std::vector<uint8_t> tail(tailSize);
  ReadAt(fs, h, tailStart, tail.data(), tailSize);
  size_t end = std::string::npos;
  for (size_t i = tailSize - 22 + 1; i-- > 0;) {
    if (Le32(&tail[i]) == kEndSignature && i + 22 + Le16(&tail[i + 20]) <= tailSize) {
      end = i;
      break;
    }
  }
  if (end == std::string::npos) Damaged("no end of central directory");
  const uint8_t* e = &tail[end];
  if (Le16(e + 4) != 0 || Le16(e + 6) != 0) {
    throw EngineError(kEngineUnsupported, "Spanned archives cannot be updated");
  }
  uint32_t count = Le16(e + 10);
  uint32_t centralSize = Le32(e + 12);
  uint32_t centralOffset = Le32(e + 16);
  archive.comment.assign(reinterpret_cast<const char*>(e + 22), Le16(e + 20));
  uint64_t endPos = tailStart + end;
  if (static_cast<uint64_t>(centralSize) > endPos) Damaged("central directory size");
  // A stub in front of the archive shifts every stored offset by the same amount.
  uint64_t centralPos = endPos - centralSize;
  if (centralPos < centralOffset) Damaged("central directory offset");
  uint64_t shift = centralPos - centralOffset;

  std::vector<uint8_t> central(centralSize);
  if (centralSize) ReadAt(fs, h, centralPos, central.data(), centralSize);
  size_t pos = 0;
  archive.prefixSize = centralPos;
  for (uint32_t i = 0; i < count; ++i) {
    if (pos + 46 > central.size() || Le32(&central[pos]) != kCentralSignature) Damaged("central header");
    const uint8_t* c = &central[pos];
    size_t nameLen = Le16(c + 28), extraLen = Le16(c + 30), commentLen = Le16(c + 32);
    if (pos + 46 + nameLen + extraLen + commentLen > central.size()) Damaged("central header length");
    ExistingMember m;
    MemberHeader& hd = m.header;
    hd.madeBy = Le16(c + 4);
    hd.versionNeeded = Le16(c + 6);
    hd.flags = Le16(c + 8);
    hd.method = Le16(c + 10);
    hd.dosDateTime = Le32(c + 12);
    hd.crc = Le32(c + 16);
    hd.compressedSize = Le32(c + 20);
    hd.size = Le32(c + 24);
    hd.internalAttributes = Le16(c + 36);
    hd.externalAttributes = Le32(c + 38);
    hd.localOffset = Le32(c + 42);
    const char* text = reinterpret_cast<const char*>(c + 46);
    hd.name.assign(text, nameLen);
    hd.extra.assign(text + nameLen, extraLen);
    hd.comment.assign(text + nameLen + extraLen, commentLen);
    if (hd.compressedSize == kZip32Limit || hd.size == kZip32Limit || hd.localOffset == kZip32Limit) {
      throw EngineError(kEngineUnsupported, "Zip64 members are not supported: " + hd.name);
    }
    pos += 46 + nameLen + extraLen + commentLen;

    m.rawStart = hd.localOffset + shift;
    uint8_t local[30];
    if (m.rawStart + 30 > centralPos) Damaged("local header offset of " + hd.name);
    ReadAt(fs, h, m.rawStart, local, sizeof local);
    if (Le32(local) != kLocalSignature) Damaged("local header of " + hd.name);
    uint64_t dataEnd = m.rawStart + 30 + Le16(local + 26) + Le16(local + 28) + hd.compressedSize;
    if (hd.flags & kFlagDescriptor) {
      uint8_t sig[4] = {0, 0, 0, 0};
      if (dataEnd + 4 <= centralPos) ReadAt(fs, h, dataEnd, sig, 4);
      dataEnd += Le32(sig) == kDescriptorSignature ? 16 : 12;
    }
    if (dataEnd > centralPos) Damaged("member data of " + hd.name);
    m.rawEnd = dataEnd;
    archive.prefixSize = std::min(archive.prefixSize, m.rawStart);
    archive.members.push_back(std::move(m));
  }
  return archive;
}

namespace {

// The fields local and central headers have in common, version needed to size.
void PutSharedHeaderFields(std::string& out, const MemberHeader& m) {
  PutLe16(out, m.versionNeeded);
  PutLe16(out, m.flags);
  PutLe16(out, m.method);
  PutLe32(out, m.dosDateTime);
  PutLe32(out, m.crc);
  PutLe32(out, static_cast<uint32_t>(m.compressedSize));
  PutLe32(out, static_cast<uint32_t>(m.size));
}

}  // namespace

std::string LocalHeaderBytes(const MemberHeader& m) {
  std::string out;
  PutLe32(out, kLocalSignature);
  PutSharedHeaderFields(out, m);
  PutLe16(out, static_cast<uint16_t>(m.name.size()));
  PutLe16(out, 0);
  out += m.name;
  return out;
}

std::string CentralHeaderBytes(const MemberHeader& m) {
  std::string out;
  PutLe32(out, kCentralSignature);
  PutLe16(out, m.madeBy);
  PutSharedHeaderFields(out, m);
  PutLe16(out, static_cast<uint16_t>(m.name.size()));
  PutLe16(out, static_cast<uint16_t>(m.extra.size()));
  PutLe16(out, static_cast<uint16_t>(m.comment.size()));
  PutLe16(out, 0);  // disk number start
  PutLe16(out, m.internalAttributes);
  PutLe32(out, m.externalAttributes);
  PutLe32(out, static_cast<uint32_t>(m.localOffset));
  out += m.name;
  out += m.extra;
  out += m.comment;
  return out;
}

std::string EndRecordBytes(uint64_t count, uint64_t centralSize, uint64_t centralOffset,
                           const std::string& comment) {
  if (count > 0xFFFF) throw EngineError(kEngineUnsupported, "More than 65535 members are not supported");
  if (centralOffset + centralSize > kZip32Limit) {
    throw EngineError(kEngineUnsupported, "The archive would reach 4 GiB, which is not supported");
  }
  std::string out;
  PutLe32(out, kEndSignature);
  PutLe16(out, 0);
  PutLe16(out, 0);
  PutLe16(out, static_cast<uint16_t>(count));
  PutLe16(out, static_cast<uint16_t>(count));
  PutLe32(out, static_cast<uint32_t>(centralSize));
  PutLe32(out, static_cast<uint32_t>(centralOffset));
  std::string text = comment.substr(0, 0xFFFF);
  PutLe16(out, static_cast<uint16_t>(text.size()));
  out += text;
  return out;
}

}  // namespace zipdll
