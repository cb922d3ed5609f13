#include "engines/unzdll/MemberDecoder.h"

#include "engines/unzdll/DecodeSteps.h"
#include "engines/unzdll/RawBuffer.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <new>

namespace unzdll {

uint32_t Crc(uint32_t crc, const uint8_t* data, size_t size) { return libdeflate_crc32(crc, data, size); }

namespace {

// Outcomes that damaged data can cause.
bool DamageSign(DecodeStatus status) {
  return status == DecodeStatus::BadData || status == DecodeStatus::TooLong || status == DecodeStatus::TooShort;
}

}  // namespace

struct MemberDecoder::Impl {
  libdeflate_decompressor* whole = nullptr;
  z_stream stream{};
  bool streamReady = false;
  RawBuffer input, output;
};

MemberDecoder::MemberDecoder() : impl_(std::make_unique<Impl>()) {
  impl_->whole = libdeflate_alloc_decompressor();
  if (!impl_->whole) throw std::bad_alloc();
}

MemberDecoder::~MemberDecoder() {
  libdeflate_free_decompressor(impl_->whole);
  if (impl_->streamReady) inflateEnd(&impl_->stream);
}

void MemberDecoder::ReleaseLargeBuffers() {
  for (RawBuffer* b : {&impl_->input, &impl_->output})
    if (b->capacity > kKeptBuffer) b->Release();
}

uint8_t* MemberDecoder::InputBuffer(size_t size) { return impl_->input.Reserve(size); }
uint8_t* MemberDecoder::OutputBuffer(size_t size) { return impl_->output.Reserve(size); }

DecodeResult MemberDecoder::Decode(ByteSource& source, const MemberData& data, OutputSink& sink,
                                   const ProgressFunction& progress) {
  if (!SupportedMethod(data.method)) return {DecodeStatus::Unsupported};
  // Both sizes count against the bound: the declared one is untrusted, but the
  // buffer made from it is then small anyway.
  if (DecodedWhole(data)) return DecodeWhole(source, data, sink, progress);
  ChunkReader reader(source, data, InputBuffer(kStreamChunk));
  ProgressMeter meter(progress);
  DecodeResult result = Stream(reader, data, sink, meter);
  // Nothing of an encrypted member is kept before its code is checked; data
  // that fails to decode is checked too, to tell damage from a bad stream.
  if (result.status == DecodeStatus::Ok || DamageSign(result.status))
    if (DecodeStatus status = reader.Authenticate(); status != DecodeStatus::Ok) return {status};
  if (result.status != DecodeStatus::Ok) return result;
  if (!meter.Flush()) result.status = DecodeStatus::Stopped;
  return result;
}

DecodeResult MemberDecoder::Stream(ChunkReader& reader, const MemberData& data, OutputSink& sink,
                                   ProgressMeter& meter) {
  switch (data.method) {
    case kMethodStored: return StreamStored(reader, data, sink, meter);
    case kMethodDeflate: return StreamDeflated(reader, data, sink, meter);
    case kMethodDeflate64: return StreamDeflate64(reader, data, sink, meter);
    case kMethodBzip2: return StreamBzip2(reader, data, sink, meter);
    case kMethodLzma: return StreamLzma(reader, data, sink, meter);
    case kMethodZstd: return StreamZstd(reader, data, sink, meter);
    case kMethodXz: return StreamXz(reader, data, sink, meter);
  }
  return {DecodeStatus::Unsupported};
}

DecodeResult MemberDecoder::DecodeWhole(ByteSource& source, const MemberData& data, OutputSink& sink,
                                        const ProgressFunction& progress) {
  const size_t inSize = static_cast<size_t>(data.size);
  uint8_t* in = InputBuffer(inSize);
  if (!source.ReadAt(data.start, in, inSize)) return {DecodeStatus::ReadError};
  return DecodeRead(in, data, sink, progress);
}

DecodeResult MemberDecoder::DecodeRead(uint8_t* in, const MemberData& data, OutputSink& sink,
                                       const ProgressFunction& progress) {
  if (!data.cipher) return DecodePlain(in, data, sink, progress);
  // Checked before anything is decrypted; DecodePlain checks plain data itself.
  if (data.method != kMethodStored && data.method != kMethodDeflate) return {DecodeStatus::Unsupported};
  if (!DecodedWhole(data)) return {DecodeStatus::Unsupported};
  data.cipher->Decrypt(in, static_cast<size_t>(data.size));
  // The whole member went through the cipher: its code can be checked first.
  if (!data.cipher->Authentic()) return {DecodeStatus::NotAuthentic};
  MemberData plain = data;
  plain.cipher = nullptr;
  return DecodePlain(in, plain, sink, progress);
}

DecodeResult MemberDecoder::DecodePlain(const uint8_t* in, const MemberData& data, OutputSink& sink,
                                        const ProgressFunction& progress) {
  if (data.method != kMethodStored && data.method != kMethodDeflate) return {DecodeStatus::Unsupported};
  if (!DecodedWhole(data) || data.cipher) return {DecodeStatus::Unsupported};
  const size_t inSize = static_cast<size_t>(data.size);
  const uint8_t* out = in;
  size_t outSize = inSize;
  if (data.method == kMethodStored) {
    if (inSize > data.declaredSize) return {DecodeStatus::TooLong};
    if (inSize < data.declaredSize) return {DecodeStatus::TooShort};
  } else {
    uint8_t* buffer = OutputBuffer(static_cast<size_t>(data.declaredSize));
    size_t usedIn = 0;
    // An output area of exactly the declared size: a member that expands past it
    // reports insufficient space, which is the size check itself.
    libdeflate_result r = libdeflate_deflate_decompress_ex(impl_->whole, in, inSize, buffer,
                                                           static_cast<size_t>(data.declaredSize), &usedIn, &outSize);
    if (r == LIBDEFLATE_INSUFFICIENT_SPACE) return {DecodeStatus::TooLong};
    if (r != LIBDEFLATE_SUCCESS) return {DecodeStatus::BadData};
    if (outSize < data.declaredSize) return {DecodeStatus::TooShort, 0, outSize};
    out = buffer;
  }
  DecodeResult result{DecodeStatus::Ok, Crc(0, out, outSize), outSize};
  if (outSize && !sink.Write(out, outSize)) return {DecodeStatus::WriteError};
  if (progress && outSize && !progress(outSize)) result.status = DecodeStatus::Stopped;
  return result;
}

DecodeResult MemberDecoder::StreamStored(ChunkReader& reader, const MemberData& data, OutputSink& sink,
                                         ProgressMeter& meter) {
  if (data.size > data.declaredSize) return {DecodeStatus::TooLong};
  if (data.size < data.declaredSize) return {DecodeStatus::TooShort};
  uint8_t* chunk = reader.Buffer();
  DecodeResult result;
  while (!reader.AtEnd()) {
    size_t n = 0;
    if (!reader.Next(n)) return {DecodeStatus::ReadError};
    if (DecodeStatus status = Accept(chunk, n, data, result, sink, meter); status != DecodeStatus::Ok)
      return {status};
  }
  return result;
}

DecodeResult MemberDecoder::StreamDeflated(ChunkReader& reader, const MemberData& data, OutputSink& sink,
                                           ProgressMeter& meter) {
  z_stream& z = impl_->stream;
  if (!impl_->streamReady) {
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) throw std::bad_alloc();
    impl_->streamReady = true;
  } else {
    inflateReset(&z);
  }
  uint8_t* in = reader.Buffer();
  uint8_t* out = OutputBuffer(kStreamChunk);
  DecodeResult result;
  z.avail_in = 0;
  for (;;) {
    if (z.avail_in == 0 && !reader.AtEnd()) {
      size_t n = 0;
      if (!reader.Next(n)) return {DecodeStatus::ReadError};
      z.next_in = in;
      z.avail_in = static_cast<uInt>(n);
    }
    z.next_out = out;
    z.avail_out = static_cast<uInt>(kStreamChunk);
    int rc = inflate(&z, Z_NO_FLUSH);
    size_t produced = kStreamChunk - z.avail_out;
    if (rc == Z_DATA_ERROR || rc == Z_NEED_DICT || rc == Z_MEM_ERROR) return {DecodeStatus::BadData};
    if (DecodeStatus status = Accept(out, produced, data, result, sink, meter); status != DecodeStatus::Ok)
      return {status};
    if (rc == Z_STREAM_END) break;
    // No progress possible: the input ran out before the stream's end.
    if (rc == Z_BUF_ERROR || (produced == 0 && z.avail_in == 0 && reader.AtEnd()))
      return {DecodeStatus::TooShort};
  }
  if (result.size < data.declaredSize) return {DecodeStatus::TooShort};
  return result;
}

}  // namespace unzdll
