// Turns one member's stored, deflated or bzip2 (and possibly encrypted) data into
// its bytes, checking them against the declared size as they come. Small stored and
// deflated members go through libdeflate in one piece; large ones stream through
// zlib in bounded memory. Bzip2 members always stream through libbz2.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "ArchiveFile.h"
#include "CentralDirectory.h"
#include "common/ZipCrypto.h"

namespace unz {

class OutputSink {
 public:
  virtual ~OutputSink() = default;
  virtual bool Write(const uint8_t* data, size_t size) = 0;  // false on failure
};

enum class DecodeStatus {
  Ok,
  TooLong,      // more data than declared
  TooShort,     // the data ended before the declared size
  BadData,      // not a valid stream
  ReadError,
  WriteError,
  Stopped,      // the progress function asked to stop
  Unsupported,  // compression method
};

struct DecodeResult {
  DecodeStatus status = DecodeStatus::Ok;
  uint32_t crc = 0;
  uint64_t size = 0;  // bytes produced
};

struct MemberData {
  uint64_t start = 0;  // first byte after any encryption header
  uint64_t size = 0;   // compressed bytes from `start`
  uint16_t method = 0;
  uint64_t declaredSize = 0;
  engine::ZipCrypto* cipher = nullptr;  // keyed past the encryption header, or null
};

// The member's data as its central header describes it; `start` still to be located.
inline MemberData DataOf(const Member& m) {
  MemberData data;
  data.size = m.compressedSize;
  data.method = m.method;
  data.declaredSize = m.uncompressedSize;
  return data;
}

// Told the bytes produced since its last call; answers false to stop.
using ProgressFunction = std::function<bool(uint64_t)>;

constexpr uint16_t kMethodStored = 0, kMethodDeflate = 8, kMethodBzip2 = 12;

inline bool SupportedMethod(uint16_t method) {
  return method == kMethodStored || method == kMethodDeflate || method == kMethodBzip2;
}
// Members whose compressed plus expanded size stays below this are decoded in one piece.
constexpr uint64_t kWholeMemberLimit = 16u << 20;

// True when Decode takes the member in one piece rather than streaming it.
inline bool DecodedWhole(const MemberData& data) {
  // libbz2 streams with bounded buffers whatever the member's size.
  if (data.method == kMethodBzip2) return false;
  return data.size <= kWholeMemberLimit && data.declaredSize <= kWholeMemberLimit - data.size;
}

class MemberDecoder {
 public:
  MemberDecoder();
  ~MemberDecoder();
  MemberDecoder(const MemberDecoder&) = delete;
  MemberDecoder& operator=(const MemberDecoder&) = delete;

  DecodeResult Decode(ByteSource& source, const MemberData& data, OutputSink& sink,
                      const ProgressFunction& progress);
  // Decodes a member whose `data.size` bytes (still encrypted, if they are) the
  // caller has read into `in`; they are decrypted in place. Only for members
  // within the whole-member bound.
  DecodeResult DecodeRead(uint8_t* in, const MemberData& data, OutputSink& sink, const ProgressFunction& progress);
  // Frees buffers grown beyond what small members need.
  void ReleaseLargeBuffers();
  static constexpr size_t kKeptBuffer = 4u << 20;

 private:
  DecodeResult DecodeWhole(ByteSource& source, const MemberData& data, OutputSink& sink,
                           const ProgressFunction& progress);
  DecodeResult StreamStored(ByteSource& source, const MemberData& data, OutputSink& sink,
                            const ProgressFunction& progress);
  DecodeResult StreamDeflated(ByteSource& source, const MemberData& data, OutputSink& sink,
                              const ProgressFunction& progress);
  DecodeResult StreamBzip2(ByteSource& source, const MemberData& data, OutputSink& sink,
                           const ProgressFunction& progress);
  uint8_t* InputBuffer(size_t size);
  uint8_t* OutputBuffer(size_t size);

  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace unz
