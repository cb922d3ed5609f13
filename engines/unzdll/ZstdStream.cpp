// Zstandard members (method 93) through libzstd.
#include <zstd.h>
#include <zstd_errors.h>

#include <bit>
#include <new>

#include "engines/unzdll/DecodeSteps.h"
#include "engines/unzdll/MemberDecoder.h"

namespace unzdll {
namespace {

// Windows up to the engine's memory limit.
constexpr int kMaxWindowLog = std::bit_width(kDecoderMemoryLimit) - 1;

struct ZstdContext {
  ZSTD_DCtx* context = ZSTD_createDCtx();
  ZstdContext() {
    if (!context) throw std::bad_alloc();
  }
  ~ZstdContext() { ZSTD_freeDCtx(context); }
  ZstdContext(const ZstdContext&) = delete;
  ZstdContext& operator=(const ZstdContext&) = delete;
};

}  // namespace

DecodeResult MemberDecoder::StreamZstd(ChunkReader& reader, const MemberData& data,
                                       OutputSink& sink, ProgressMeter& meter) {
  ZstdContext zstd;
  ZSTD_DCtx_setParameter(zstd.context, ZSTD_d_windowLogMax, kMaxWindowLog);
  uint8_t* out = OutputBuffer(kStreamChunk);
  ZSTD_inBuffer in{reader.Buffer(), 0, 0};
  DecodeResult result;
  size_t hint = 1;  // 0 once a frame is complete
  for (;;) {
    if (in.pos == in.size && !reader.AtEnd()) {
      size_t n = 0;
      if (!reader.Next(n)) return {DecodeStatus::ReadError};
      in = {reader.Buffer(), n, 0};
    }
    const size_t inBefore = in.pos;
    ZSTD_outBuffer outBuffer{out, kStreamChunk, 0};
    hint = ZSTD_decompressStream(zstd.context, &outBuffer, &in);
    if (ZSTD_isError(hint)) {
      const ZSTD_ErrorCode code = ZSTD_getErrorCode(hint);
      if (code == ZSTD_error_memory_allocation) throw std::bad_alloc();
      if (code == ZSTD_error_frameParameter_windowTooLarge) return {DecodeStatus::TooMuchMemory};
      return {DecodeStatus::BadData};
    }
    if (DecodeStatus status = Accept(out, outBuffer.pos, data, result, sink, meter);
        status != DecodeStatus::Ok)
      return {status};
    // Every frame complete and all data taken; frames may follow one another.
    if (hint == 0 && in.pos == in.size && reader.AtEnd()) break;
    // Nothing moved with the input all taken: the stream was cut short.
    if (outBuffer.pos == 0 && in.pos == inBefore && in.pos == in.size && reader.AtEnd())
      return {DecodeStatus::TooShort};
  }
  if (result.size < data.declaredSize) return {DecodeStatus::TooShort};
  return result;
}

}  // namespace unzdll
