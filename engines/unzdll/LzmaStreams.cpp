// LZMA (method 14) and xz (method 95) members through liblzma.
#include <lzma.h>

#include <cstdlib>
#include <new>

#include "engines/unzdll/DecodeSteps.h"
#include "engines/unzdll/MemberDecoder.h"

namespace unzdll {
namespace {

// The LZMA member's own header: version (2 bytes), properties size (2), properties.
constexpr size_t kLzmaHeaderSize = 4, kLzmaPropertiesSize = 5;

struct LzmaStream {
  lzma_stream z = LZMA_STREAM_INIT;
  void* options = nullptr;
  LzmaStream() = default;
  ~LzmaStream() {
    lzma_end(&z);
    std::free(options);
  }
  LzmaStream(const LzmaStream&) = delete;
  LzmaStream& operator=(const LzmaStream&) = delete;
};

DecodeStatus StartFailure(lzma_ret rc) {
  if (rc == LZMA_MEM_ERROR) throw std::bad_alloc();
  if (rc == LZMA_MEMLIMIT_ERROR) return DecodeStatus::TooMuchMemory;
  return DecodeStatus::BadData;
}

// Runs the prepared decoder over the rest of the member's data; z.next_in may
// already hold part of the first chunk. `sizeBound`: the decoder stops at the
// declared size, where it wants an end marker if anything follows.
DecodeResult Run(lzma_stream& z, ChunkReader& reader, uint8_t* out, const MemberData& data,
                 OutputSink& sink, ProgressMeter& meter, bool sizeBound) {
  DecodeResult result;
  for (;;) {
    if (z.avail_in == 0 && !reader.AtEnd()) {
      size_t n = 0;
      if (!reader.Next(n)) return {DecodeStatus::ReadError};
      z.next_in = reader.Buffer();
      z.avail_in = n;
    }
    z.next_out = out;
    z.avail_out = kStreamChunk;
    const lzma_action action = z.avail_in == 0 && reader.AtEnd() ? LZMA_FINISH : LZMA_RUN;
    const lzma_ret rc = lzma_code(&z, action);
    const size_t produced = kStreamChunk - z.avail_out;
    if (DecodeStatus status = Accept(out, produced, data, result, sink, meter);
        status != DecodeStatus::Ok)
      return {status};
    if (rc == LZMA_STREAM_END) break;
    if (rc == LZMA_OK) continue;
    // At the end of the input with nothing left to give: the stream was cut short.
    if (rc == LZMA_BUF_ERROR) return {DecodeStatus::TooShort};
    // The declared size reached and the stream going on: more data than declared.
    if (rc == LZMA_DATA_ERROR && sizeBound && result.size == data.declaredSize)
      return {DecodeStatus::TooLong};
    return {StartFailure(rc)};
  }
  if (result.size < data.declaredSize) return {DecodeStatus::TooShort};
  return result;
}

}  // namespace

DecodeResult MemberDecoder::StreamLzma(ChunkReader& reader, const MemberData& data,
                                       OutputSink& sink, ProgressMeter& meter) {
  size_t n = 0;
  if (!reader.Next(n)) return {DecodeStatus::ReadError};
  const uint8_t* in = reader.Buffer();
  if (n < kLzmaHeaderSize + kLzmaPropertiesSize || (in[2] | in[3] << 8) != kLzmaPropertiesSize)
    return {DecodeStatus::BadData};

  LzmaStream stream;
  lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
  if (lzma_ret rc =
          lzma_properties_decode(&filters[0], nullptr, in + kLzmaHeaderSize, kLzmaPropertiesSize);
      rc != LZMA_OK)
    return {StartFailure(rc)};
  stream.options = filters[0].options;
  auto* options = static_cast<lzma_options_lzma*>(filters[0].options);
  // No distance reaches back past the member's start: a dictionary beyond the
  // declared size would never be used, only allocated.
  if (options->dict_size > data.declaredSize)
    options->dict_size =
        std::max<uint32_t>(LZMA_DICT_SIZE_MIN, static_cast<uint32_t>(data.declaredSize));
  // The extended filter lets the stream end at the declared size, or earlier at
  // an end marker; with the marker flag set the size is left open and the
  // declared size is enforced as the bytes come.
  filters[0].id = LZMA_FILTER_LZMA1EXT;
  options->ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
  const uint64_t size = data.endMarker ? UINT64_MAX : data.declaredSize;
  options->ext_size_low = static_cast<uint32_t>(size);
  options->ext_size_high = static_cast<uint32_t>(size >> 32);
  if (lzma_raw_decoder_memusage(filters) > kDecoderMemoryLimit)
    return {DecodeStatus::TooMuchMemory};
  if (lzma_ret rc = lzma_raw_decoder(&stream.z, filters); rc != LZMA_OK) return {StartFailure(rc)};

  stream.z.next_in = in + kLzmaHeaderSize + kLzmaPropertiesSize;
  stream.z.avail_in = n - kLzmaHeaderSize - kLzmaPropertiesSize;
  return Run(stream.z, reader, OutputBuffer(kStreamChunk), data, sink, meter, !data.endMarker);
}

DecodeResult MemberDecoder::StreamXz(ChunkReader& reader, const MemberData& data, OutputSink& sink,
                                     ProgressMeter& meter) {
  LzmaStream stream;
  if (lzma_ret rc = lzma_stream_decoder(&stream.z, kDecoderMemoryLimit, 0); rc != LZMA_OK)
    return {StartFailure(rc)};
  return Run(stream.z, reader, OutputBuffer(kStreamChunk), data, sink, meter, false);
}

}  // namespace unzdll
