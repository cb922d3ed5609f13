#include "zipformat/ExtraField.h"

#include "zipformat/ByteOrder.h"
#include "zipformat/Signatures.h"

namespace zip {

std::optional<ExtraBlock> ExtraFieldReader::Next() {
  if (status_ != Status::kOk || area_.size() - pos_ < 4) return std::nullopt;
  const uint8_t* p = area_.data() + pos_;
  const uint16_t length = Load16(p + 2);
  if (length > area_.size() - pos_ - 4) {
    status_ = Status::kBadExtraField;
    return std::nullopt;
  }
  ExtraBlock block{Load16(p), area_.subspan(pos_ + 4, length)};
  pos_ += 4 + size_t{length};
  return block;
}

std::optional<std::span<const uint8_t>> FindExtra(std::span<const uint8_t> area, uint16_t id) {
  ExtraFieldReader reader(area);
  while (auto block = reader.Next())
    if (block->id == id) return block->data;
  return std::nullopt;
}

std::vector<uint8_t> WithoutExtra(std::span<const uint8_t> area, uint16_t id) {
  std::vector<uint8_t> out;
  out.reserve(area.size());
  size_t pos = 0;
  ExtraFieldReader reader(area);
  while (auto block = reader.Next()) {
    const size_t blockSize = 4 + block->data.size();
    if (block->id != id) out.insert(out.end(), area.begin() + pos, area.begin() + pos + blockSize);
    pos += blockSize;
  }
  out.insert(out.end(), area.begin() + pos, area.end());
  return out;
}

Status DecodeZip64Extra(std::span<const uint8_t> data, Zip64Fields wanted, Zip64Values& out) {
  size_t pos = 0;
  auto take64 = [&](bool want, uint64_t& field) {
    if (!want) return true;
    if (data.size() - pos < 8) return false;
    field = Load64(data.data() + pos);
    pos += 8;
    return true;
  };
  if (!take64(wanted.uncompressed, out.uncompressed) ||
      !take64(wanted.compressed, out.compressed) || !take64(wanted.offset, out.offset))
    return Status::kBadZip64;
  if (wanted.disk) {
    if (data.size() - pos < 4) return Status::kBadZip64;
    out.disk = Load32(data.data() + pos);
  }
  return Status::kOk;
}

std::vector<uint8_t> EncodeZip64Extra(Zip64Fields present, const Zip64Values& v) {
  std::vector<uint8_t> out;
  Append16(out, kExtraZip64);
  Append16(out, 0);  // length, set below
  if (present.uncompressed) Append64(out, v.uncompressed);
  if (present.compressed) Append64(out, v.compressed);
  if (present.offset) Append64(out, v.offset);
  if (present.disk) Append32(out, v.disk);
  Store16(out.data() + 2, static_cast<uint16_t>(out.size() - 4));
  return out;
}

Zip64Fields CentralZip64Fields(const Zip64Values& v) {
  Zip64Fields f;
  f.uncompressed = v.uncompressed >= kSaturated32;
  f.compressed = v.compressed >= kSaturated32;
  f.offset = v.offset >= kSaturated32;
  return f;
}

std::optional<uint32_t> DecodeTimestampExtra(std::span<const uint8_t> data) {
  // A flags byte; bit 0 says the modification time comes first.
  if (data.size() < 5 || !(data[0] & 1)) return std::nullopt;
  return Load32(data.data() + 1);
}

Status DecodeNtfsExtra(std::span<const uint8_t> data, NtfsTimes& out) {
  constexpr uint16_t kTimesTag = 0x0001;
  constexpr size_t kTimesSize = 24;
  if (data.size() < 4) return Status::kTruncated;
  for (size_t at = 4; data.size() - at >= 4;) {
    const uint16_t tag = Load16(data.data() + at), size = Load16(data.data() + at + 2);
    at += 4;
    if (size > data.size() - at) return Status::kBadExtraField;
    if (tag == kTimesTag) {
      if (size < kTimesSize) return Status::kTruncated;
      out.modification = Load64(data.data() + at);
      out.access = Load64(data.data() + at + 8);
      out.creation = Load64(data.data() + at + 16);
      out.at = at;
      return Status::kOk;
    }
    at += size;
  }
  return Status::kNotFound;
}

std::optional<UnixOwner> DecodeUnixOwnerExtra(std::span<const uint8_t> data) {
  // Version 1, then a length-prefixed uid and a length-prefixed gid.
  if (data.size() < 1 || data[0] != 1) return std::nullopt;
  size_t pos = 1;
  auto takeId = [&](uint64_t& id) {
    if (pos >= data.size()) return false;
    const size_t width = data[pos++];
    if (width > 8 || data.size() - pos < width) return false;
    id = 0;
    for (size_t k = 0; k < width; ++k) id |= uint64_t{data[pos + k]} << (8 * k);
    pos += width;
    return true;
  };
  UnixOwner owner;
  if (!takeId(owner.uid) || !takeId(owner.gid)) return std::nullopt;
  return owner;
}

std::optional<UnixExtra> DecodeUnixExtra(std::span<const uint8_t> data) {
  if (data.size() < 12) return std::nullopt;
  UnixExtra u;
  u.accessTime = Load32(data.data());
  u.modificationTime = Load32(data.data() + 4);
  u.uid = Load16(data.data() + 8);
  u.gid = Load16(data.data() + 10);
  u.variable = data.subspan(12);
  return u;
}

std::optional<AesExtra> DecodeAesExtra(std::span<const uint8_t> data) {
  if (data.size() < 7 || data[2] != 'A' || data[3] != 'E') return std::nullopt;
  AesExtra aes;
  aes.version = Load16(data.data());
  if (aes.version != 1 && aes.version != 2) return std::nullopt;
  aes.strength = data[4];
  aes.method = Load16(data.data() + 5);
  return aes;
}

std::vector<uint8_t> EncodeAesExtra(const AesExtra& aes) {
  std::vector<uint8_t> out;
  Append16(out, kExtraAes);
  Append16(out, 7);
  Append16(out, aes.version);
  out.push_back('A');
  out.push_back('E');
  out.push_back(aes.strength);
  Append16(out, aes.method);
  return out;
}

std::optional<UnicodePathExtra> DecodeUnicodePathExtra(std::span<const uint8_t> data) {
  constexpr size_t kNameAt = 5;  // after the version byte and the CRC
  if (data.size() <= kNameAt || data[0] != 1) return std::nullopt;
  return UnicodePathExtra{Load32(data.data() + 1), data.subspan(kNameAt)};
}

}  // namespace zip
