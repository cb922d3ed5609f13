// Turns one member's (possibly encrypted) data into its bytes, checking them
// against the declared size as they come. Small stored and deflated members go
// through libdeflate in one piece; large ones stream through zlib in bounded
// memory. The other methods always stream: bzip2 through libbz2, LZMA and xz
// through liblzma, zstd through libzstd, Deflate64 through our own decoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "engines/unzdll/ArchiveFile.h"
#include "engines/unzdll/CentralDirectory.h"
#include "engines/unzdll/MemberCipher.h"

namespace unzdll {

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
  Stopped,        // the progress function asked to stop
  Unsupported,    // compression method
  NotAuthentic,   // the encrypted data fails its authentication code
  TooMuchMemory,  // the stream asks for more memory than a member may take
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
  MemberCipher* cipher = nullptr;  // keyed past the encryption header, or null
  bool endMarker = false;          // LZMA: the stream ends with an end marker (flag bit 1)
};

// The member's data as its central header describes it; `start` still to be located.
inline MemberData DataOf(const Member& m) {
  MemberData data;
  data.size = m.compressedSize;
  data.method = m.DataMethod();
  data.declaredSize = m.uncompressedSize;
  data.endMarker = m.flags & 0x0002;
  return data;
}

// Told the bytes produced since its last call; answers false to stop.
using ProgressFunction = std::function<bool(uint64_t)>;

using zip::kMethodBzip2, zip::kMethodDeflate, zip::kMethodDeflate64, zip::kMethodLzma, zip::kMethodStored,
    zip::kMethodXz, zip::kMethodZstd;

inline bool SupportedMethod(uint16_t method) {
  switch (method) {
    case kMethodStored:
    case kMethodDeflate:
    case kMethodDeflate64:
    case kMethodBzip2:
    case kMethodLzma:
    case kMethodZstd:
    case kMethodXz:
      return true;
    default:
      return false;
  }
}
// No stream may make its decoder take more memory than this (dictionaries,
// windows). Fuzzing builds lower it to stay within the fuzzer's own limit.
#ifndef ZB_DECODER_MEMORY_LIMIT
#define ZB_DECODER_MEMORY_LIMIT (1ull << 30)
#endif
constexpr uint64_t kDecoderMemoryLimit = ZB_DECODER_MEMORY_LIMIT;
// Members whose compressed plus expanded size stays below this are decoded in one piece.
constexpr uint64_t kWholeMemberLimit = 16u << 20;

// True when Decode takes the member in one piece rather than streaming it.
inline bool DecodedWhole(const MemberData& data) {
  // The other methods stream with bounded buffers whatever the member's size.
  if (data.method != kMethodStored && data.method != kMethodDeflate) return false;
  return data.size <= kWholeMemberLimit && data.declaredSize <= kWholeMemberLimit - data.size;
}

class ChunkReader;
class ProgressMeter;

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
  // DecodeRead for data that is not encrypted (`data.cipher` null), left as it is.
  DecodeResult DecodePlain(const uint8_t* in, const MemberData& data, OutputSink& sink,
                           const ProgressFunction& progress);
  // Frees buffers grown beyond what members decoded whole need.
  void ReleaseLargeBuffers();
  static constexpr size_t kKeptBuffer = kWholeMemberLimit;

 private:
  DecodeResult DecodeWhole(ByteSource& source, const MemberData& data, OutputSink& sink,
                           const ProgressFunction& progress);
  // Each takes the member's data from `reader` and hands its bytes to Accept.
  DecodeResult Stream(ChunkReader& reader, const MemberData& data, OutputSink& sink,
                      ProgressMeter& meter);
  DecodeResult StreamStored(ChunkReader& reader, const MemberData& data, OutputSink& sink,
                            ProgressMeter& meter);
  DecodeResult StreamDeflated(ChunkReader& reader, const MemberData& data, OutputSink& sink,
                              ProgressMeter& meter);
  DecodeResult StreamBzip2(ChunkReader& reader, const MemberData& data, OutputSink& sink,
                           ProgressMeter& meter);
  DecodeResult StreamLzma(ChunkReader& reader, const MemberData& data, OutputSink& sink,
                          ProgressMeter& meter);
  DecodeResult StreamXz(ChunkReader& reader, const MemberData& data, OutputSink& sink,
                        ProgressMeter& meter);
  DecodeResult StreamZstd(ChunkReader& reader, const MemberData& data, OutputSink& sink,
                          ProgressMeter& meter);
  DecodeResult StreamDeflate64(ChunkReader& reader, const MemberData& data, OutputSink& sink,
                               ProgressMeter& meter);
  uint8_t* InputBuffer(size_t size);
  uint8_t* OutputBuffer(size_t size);

  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace unzdll
