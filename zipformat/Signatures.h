// The format's constants: record signatures and sizes, flag bits, extra-field
// ids and host systems. Compression methods are in Methods.h.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zip {

// Record signatures.
constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr uint32_t kCentralHeaderSignature = 0x02014B50;
constexpr uint32_t kEndOfCentralSignature = 0x06054B50;
constexpr uint32_t kZip64EndSignature = 0x06064B50;
constexpr uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr uint32_t kDataDescriptorSignature = 0x08074B50;
// The same value alone at the start of a spanned set's first volume.
constexpr uint32_t kSpannedSetMarker = kDataDescriptorSignature;

// Sizes of the fixed parts.
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kZip64EndSize = 56;  // without an extensible data sector
constexpr size_t kZip64LocatorSize = 20;
constexpr size_t kMaxCommentSize = 0xFFFF;
// The end record lies within this many bytes of the end of an archive.
constexpr size_t kEndSearchWindow = kEndRecordSize + kMaxCommentSize;

// Values that say "the true value is in a ZIP64 record".
constexpr uint16_t kSaturated16 = 0xFFFF;
constexpr uint32_t kSaturated32 = 0xFFFFFFFF;
// "Version needed to extract" of a member or archive that uses ZIP64 records.
constexpr uint16_t kZip64VersionNeeded = 45;

// General purpose flag bits.
constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDataDescriptor = 0x0008;
constexpr uint16_t kFlagStrongEncryption = 0x0040;  // a cipher this system cannot read
constexpr uint16_t kFlagUtf8 = 0x0800;

// Extra-field ids.
constexpr uint16_t kExtraZip64 = 0x0001;
constexpr uint16_t kExtraNtfs = 0x000A;       // Windows times in 100 ns units since 1601
constexpr uint16_t kExtraUnix = 0x000D;       // times, owner and link target
constexpr uint16_t kExtraTimestamp = 0x5455;  // Unix times in seconds
constexpr uint16_t kExtraUnixOwner = 0x7875;  // user and group ids of any width
constexpr uint16_t kExtraAes = 0x9901;        // AES encryption parameters
constexpr uint16_t kExtraUnicodePath = 0x7075;  // UTF-8 name beside the stored one

// Host systems (second version-made-by byte).
constexpr uint8_t kHostDos = 0;
constexpr uint8_t kHostUnix = 3;
constexpr uint8_t kHostOs2 = 6;
constexpr uint8_t kHostNtfs = 11;

}  // namespace zip
