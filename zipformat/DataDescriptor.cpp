#include "zipformat/DataDescriptor.h"

#include "zipformat/ByteOrder.h"
#include "zipformat/ExtraField.h"
#include "zipformat/Signatures.h"

namespace zip {

DescriptorValues DecodeDataDescriptor(std::span<const uint8_t> bytes, DescriptorForm form) {
  const uint8_t* p = bytes.data() + (form.signature ? 4 : 0);
  DescriptorValues v;
  v.crc = Load32(p);
  v.compressedSize = form.zip64 ? Load64(p + 4) : Load32(p + 4);
  v.uncompressedSize = form.zip64 ? Load64(p + 12) : Load32(p + 8);
  return v;
}

std::optional<DescriptorForm> MeasureDataDescriptor(std::span<const uint8_t> bytes,
                                                    const DescriptorValues& expected) {
  const bool signature = bytes.size() >= 4 && Load32(bytes.data()) == kDataDescriptorSignature;
  // With a signature first: a CRC equal to the signature value is possible, so
  // the unsigned forms are tried too when the signed ones disagree.
  const DescriptorForm forms[] = {
      {16, true, false}, {24, true, true}, {12, false, false}, {20, false, true}};
  for (const DescriptorForm& form : forms) {
    if (form.signature && !signature) continue;
    if (bytes.size() < form.length) continue;
    DescriptorValues v = DecodeDataDescriptor(bytes, form);
    if (v.crc == expected.crc && v.compressedSize == expected.compressedSize &&
        v.uncompressedSize == expected.uncompressedSize)
      return form;
  }
  const DescriptorForm fallback =
      signature ? DescriptorForm{16, true, false} : DescriptorForm{12, false, false};
  if (bytes.size() >= fallback.length) return fallback;
  return std::nullopt;
}

size_t EncodeDataDescriptor(const DescriptorValues& v, bool zip64, uint8_t* out) {
  Store32(out, kDataDescriptorSignature);
  Store32(out + 4, v.crc);
  if (zip64) {
    Store64(out + 8, v.compressedSize);
    Store64(out + 16, v.uncompressedSize);
    return 24;
  }
  Store32(out + 8, static_cast<uint32_t>(v.compressedSize));
  Store32(out + 12, static_cast<uint32_t>(v.uncompressedSize));
  return 16;
}

DescriptorForm PrescribedDataDescriptor(std::span<const uint8_t> localExtra, uint32_t firstWord) {
  DescriptorForm form;
  form.signature = firstWord == kDataDescriptorSignature;
  form.zip64 = FindExtra(localExtra, kExtraZip64).has_value();
  form.length = (form.signature ? 4 : 0) + 4 + (form.zip64 ? 16 : 8);
  return form;
}

}  // namespace zip
