#include "tests/support/CraftedZip.h"

#include <zlib.h>

#include "tests/support/ArchiveBytes.h"

namespace testsupport {
namespace {

void Put16(std::string& out, uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// The traditional cipher, written out here on its own so the engine's copy is
// checked against an independent one.
class Cipher {
 public:
  explicit Cipher(const std::string& password) {
    for (unsigned char c : password) Update(c);
  }
  char Encrypt(char plain) {
    uint16_t t = static_cast<uint16_t>(k2_ | 2);
    char out = static_cast<char>(plain ^ static_cast<char>((static_cast<uint32_t>(t) * (t ^ 1u)) >> 8));
    Update(static_cast<unsigned char>(plain));
    return out;
  }
  char Decrypt(char sealed) {
    uint16_t t = static_cast<uint16_t>(k2_ | 2);
    char plain = static_cast<char>(sealed ^ static_cast<char>((static_cast<uint32_t>(t) * (t ^ 1u)) >> 8));
    Update(static_cast<unsigned char>(plain));
    return plain;
  }

 private:
  static uint32_t CrcByte(uint32_t crc, unsigned char b) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    return crc;
  }
  void Update(unsigned char c) {
    k0_ = CrcByte(k0_, c);
    k1_ = (k1_ + (k0_ & 0xFF)) * 134775813u + 1;
    k2_ = CrcByte(k2_, static_cast<unsigned char>(k1_ >> 24));
  }
  uint32_t k0_ = 0x12345678, k1_ = 0x23456789, k2_ = 0x34567890;
};

std::string EncryptionHeader(const CraftedMember& m, uint32_t crc) {
  std::string header(12, '\x5A');
  for (size_t i = 0; i < 11; ++i) header[i] = static_cast<char>(0x31 * (i + 7));
  header[11] = static_cast<char>(m.dataDescriptor ? (m.dosDateTime >> 8) & 0xFF : crc >> 24);
  return header;
}

}  // namespace

bool PassesPasswordCheck(const CraftedMember& member, const std::string& password) {
  std::string sealed = EncryptionHeader(member, Crc32Of(member.data));
  Cipher writer(*member.password);
  for (char& c : sealed) c = writer.Encrypt(c);
  // Decrypting is encrypting's inverse: plain = cipher ^ stream byte, keys fed with plain.
  Cipher reader(password);
  char last = 0;
  for (char c : sealed) last = reader.Decrypt(c);
  return last == EncryptionHeader(member, Crc32Of(member.data))[11];
}

std::string RawDeflate(const std::string& data) {
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, data.size()) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::string CraftStream(const std::string& data, bool deflate) {
  std::string out;
  Put32(out, Crc32Of(data));
  Put16(out, deflate ? 8 : 0);
  return out + (deflate ? RawDeflate(data) : data);
}

uint32_t DosDateTime(int year, int month, int day, int hour, int minute, int second) {
  uint32_t date = static_cast<uint32_t>((year - 1980) << 9 | month << 5 | day);
  uint32_t time = static_cast<uint32_t>(hour << 11 | minute << 5 | second / 2);
  return date << 16 | time;
}

BuiltArchive CraftArchive(const std::vector<CraftedMember>& members, const ArchiveLayout& layout) {
  const uint32_t base = layout.offsetsCountStub ? 0 : static_cast<uint32_t>(layout.stub.size());
  std::string body = layout.stub, central;
  for (const CraftedMember& m : members) {
    const uint32_t crc = Crc32Of(m.data);
    std::string payload = m.payload ? *m.payload : m.deflate ? RawDeflate(m.data) : m.data;
    uint16_t flags = m.flags;
    if (m.dataDescriptor) flags |= 0x0008;
    if (m.password) {
      flags |= 0x0001;
      std::string header = EncryptionHeader(m, crc);
      Cipher cipher(*m.password);
      std::string sealed = header + payload;
      for (char& c : sealed) c = cipher.Encrypt(c);
      payload = sealed;
    }
    const uint16_t method = m.method != 0xFFFF ? m.method : (m.deflate ? 8 : 0);
    const uint32_t writtenCrc = m.declaredCrc.value_or(crc);
    const uint32_t size = m.declaredSize.value_or(static_cast<uint32_t>(m.data.size()));
    body += m.gapBefore;
    const uint32_t offset = static_cast<uint32_t>(body.size()) - base;

    std::string local;
    Put32(local, 0x04034B50);
    Put16(local, 20);
    Put16(local, flags);
    Put16(local, method);
    Put32(local, m.dosDateTime);
    Put32(local, m.dataDescriptor ? 0 : writtenCrc);
    Put32(local, m.dataDescriptor ? 0 : static_cast<uint32_t>(payload.size()));
    Put32(local, m.dataDescriptor ? 0 : size);
    Put16(local, static_cast<uint32_t>(m.name.size()));
    Put16(local, static_cast<uint32_t>(m.localExtra.size()));
    body += local + m.name + m.localExtra + payload;
    if (m.dataDescriptor) {
      if (m.descriptorSignature) Put32(body, 0x08074B50);
      Put32(body, writtenCrc);
      for (uint32_t value : {static_cast<uint32_t>(payload.size()), size}) {
        Put32(body, value);
        if (m.descriptorZip64) Put32(body, 0);
      }
    }

    Put32(central, 0x02014B50);
    Put16(central, static_cast<uint32_t>(m.host) << 8 | m.version);
    Put16(central, 20);
    Put16(central, flags);
    Put16(central, method);
    Put32(central, m.dosDateTime);
    Put32(central, writtenCrc);
    Put32(central, static_cast<uint32_t>(payload.size()));
    Put32(central, size);
    Put16(central, static_cast<uint32_t>(m.name.size()));
    Put16(central, static_cast<uint32_t>(m.extra.size()));
    Put16(central, static_cast<uint32_t>(m.comment.size()));
    Put16(central, 0);
    Put16(central, 0);
    Put32(central, (m.host == 3 ? m.unixMode << 16 : 0) | m.dosAttributes);
    Put32(central, offset);
    central += m.name + m.extra + m.comment;
  }
  BuiltArchive built;
  built.centralOffset = static_cast<uint32_t>(body.size());
  built.endOffset = static_cast<uint32_t>(body.size() + central.size());
  std::string end;
  Put32(end, 0x06054B50);
  Put16(end, layout.thisDisk);
  Put16(end, layout.centralDisk);
  Put16(end, static_cast<uint32_t>(members.size()));
  Put16(end, static_cast<uint32_t>(members.size()));
  Put32(end, static_cast<uint32_t>(central.size()));
  Put32(end, built.centralOffset - base);
  Put16(end, static_cast<uint32_t>(layout.comment.size()));
  built.bytes = body + central + end + layout.comment;
  return built;
}

std::string CraftZip(const std::vector<CraftedMember>& members, const std::string& stub) {
  ArchiveLayout layout;
  layout.stub = stub;
  return CraftArchive(members, layout).bytes;
}

}  // namespace testsupport
