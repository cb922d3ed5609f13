#include "MemberDecoder.h"

#include <bzlib.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <new>

namespace unz {
namespace {

constexpr size_t kStreamChunk = 256u << 10;
constexpr uint64_t kProgressStep = 1u << 20;

uint32_t Crc(uint32_t crc, const uint8_t* data, size_t size) { return libdeflate_crc32(crc, data, size); }

// A growable raw buffer: never zero-filled, never shrunk.
struct Buffer {
  std::unique_ptr<uint8_t[]> data;
  size_t capacity = 0;
  uint8_t* Reserve(size_t size) {
    if (size > capacity || !data) {
      data.reset(new uint8_t[std::max<size_t>(size, 1)]);
      capacity = std::max<size_t>(size, 1);
    }
    return data.get();
  }
};

// Reports progress in steps rather than per chunk.
class ProgressMeter {
 public:
  explicit ProgressMeter(const ProgressFunction& progress) : progress_(progress) {}
  bool Add(uint64_t bytes) {
    pending_ += bytes;
    if (pending_ < kProgressStep) return true;
    return Flush();
  }
  bool Flush() {
    uint64_t bytes = pending_;
    pending_ = 0;
    return !progress_ || bytes == 0 || progress_(bytes);
  }

 private:
  const ProgressFunction& progress_;
  uint64_t pending_ = 0;
};

// Reads a member's compressed data in chunks into `buffer`, decrypting each.
class ChunkReader {
 public:
  ChunkReader(ByteSource& source, const MemberData& data, uint8_t* buffer)
      : source_(source), data_(data), buffer_(buffer) {}
  bool AtEnd() const { return consumed_ == data_.size; }
  // Reads the next chunk (none at the end) and gives its size; false on a read error.
  bool Next(size_t& n) {
    n = static_cast<size_t>(std::min<uint64_t>(kStreamChunk, data_.size - consumed_));
    if (n && !source_.ReadAt(data_.start + consumed_, buffer_, n)) return false;
    if (data_.cipher) data_.cipher->Decrypt(buffer_, n);
    consumed_ += n;
    return true;
  }

 private:
  ByteSource& source_;
  const MemberData& data_;
  uint8_t* buffer_;
  uint64_t consumed_ = 0;
};

// Takes `n` decoded bytes: held to the declared size, counted into the CRC,
// written and reported. Ok means decoding goes on.
DecodeStatus Accept(const uint8_t* out, size_t n, const MemberData& data, DecodeResult& result,
                    OutputSink& sink, ProgressMeter& meter) {
  if (n > data.declaredSize - result.size) return DecodeStatus::TooLong;
  if (n == 0) return DecodeStatus::Ok;
  result.crc = Crc(result.crc, out, n);
  if (!sink.Write(out, n)) return DecodeStatus::WriteError;
  result.size += n;
  return meter.Add(n) ? DecodeStatus::Ok : DecodeStatus::Stopped;
}

}  // namespace

struct MemberDecoder::Impl {
  libdeflate_decompressor* whole = nullptr;
  z_stream stream{};
  bool streamReady = false;
  Buffer input, output;
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
  for (Buffer* b : {&impl_->input, &impl_->output})
    if (b->capacity > kKeptBuffer) *b = Buffer();
}

uint8_t* MemberDecoder::InputBuffer(size_t size) { return impl_->input.Reserve(size); }
uint8_t* MemberDecoder::OutputBuffer(size_t size) { return impl_->output.Reserve(size); }

DecodeResult MemberDecoder::Decode(ByteSource& source, const MemberData& data, OutputSink& sink,
                                   const ProgressFunction& progress) {
  if (!SupportedMethod(data.method)) return {DecodeStatus::Unsupported};
  if (data.method == kMethodBzip2) return StreamBzip2(source, data, sink, progress);
  // Both sizes count against the bound: the declared one is untrusted, but the
  // buffer made from it is then small anyway.
  if (DecodedWhole(data)) return DecodeWhole(source, data, sink, progress);
  if (data.method == kMethodStored) return StreamStored(source, data, sink, progress);
  return StreamDeflated(source, data, sink, progress);
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
  if (data.method != kMethodStored && data.method != kMethodDeflate) return {DecodeStatus::Unsupported};
  if (!DecodedWhole(data)) return {DecodeStatus::Unsupported};
  const size_t inSize = static_cast<size_t>(data.size);
  if (data.cipher) data.cipher->Decrypt(in, inSize);

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

DecodeResult MemberDecoder::StreamStored(ByteSource& source, const MemberData& data, OutputSink& sink,
                                         const ProgressFunction& progress) {
  if (data.size > data.declaredSize) return {DecodeStatus::TooLong};
  if (data.size < data.declaredSize) return {DecodeStatus::TooShort};
  uint8_t* chunk = InputBuffer(kStreamChunk);
  ChunkReader reader(source, data, chunk);
  ProgressMeter meter(progress);
  DecodeResult result;
  while (!reader.AtEnd()) {
    size_t n = 0;
    if (!reader.Next(n)) return {DecodeStatus::ReadError};
    if (DecodeStatus status = Accept(chunk, n, data, result, sink, meter); status != DecodeStatus::Ok)
      return {status};
  }
  if (!meter.Flush()) result.status = DecodeStatus::Stopped;
  return result;
}

DecodeResult MemberDecoder::StreamDeflated(ByteSource& source, const MemberData& data, OutputSink& sink,
                                           const ProgressFunction& progress) {
  z_stream& z = impl_->stream;
  if (!impl_->streamReady) {
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) throw std::bad_alloc();
    impl_->streamReady = true;
  } else {
    inflateReset(&z);
  }
  uint8_t* in = InputBuffer(kStreamChunk);
  uint8_t* out = OutputBuffer(kStreamChunk);
  ChunkReader reader(source, data, in);
  ProgressMeter meter(progress);
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
  if (!meter.Flush()) result.status = DecodeStatus::Stopped;
  return result;
}

namespace {

// Ends a libbz2 decompression however the member's decoding ends.
struct Bzip2Stream {
  bz_stream bz{};
  Bzip2Stream() {
    // Fixed valid parameters leave only lack of memory as a cause of failure.
    if (BZ2_bzDecompressInit(&bz, 0, 0) != BZ_OK) throw std::bad_alloc();
  }
  ~Bzip2Stream() { BZ2_bzDecompressEnd(&bz); }
  Bzip2Stream(const Bzip2Stream&) = delete;
  Bzip2Stream& operator=(const Bzip2Stream&) = delete;
};

}  // namespace

DecodeResult MemberDecoder::StreamBzip2(ByteSource& source, const MemberData& data, OutputSink& sink,
                                        const ProgressFunction& progress) {
  Bzip2Stream stream;
  bz_stream& bz = stream.bz;
  uint8_t* in = InputBuffer(kStreamChunk);
  uint8_t* out = OutputBuffer(kStreamChunk);
  ChunkReader reader(source, data, in);
  ProgressMeter meter(progress);
  DecodeResult result;
  bz.avail_in = 0;
  for (;;) {
    if (bz.avail_in == 0 && !reader.AtEnd()) {
      size_t n = 0;
      if (!reader.Next(n)) return {DecodeStatus::ReadError};
      bz.next_in = reinterpret_cast<char*>(in);
      bz.avail_in = static_cast<unsigned>(n);
    }
    const unsigned inBefore = bz.avail_in;
    bz.next_out = reinterpret_cast<char*>(out);
    bz.avail_out = static_cast<unsigned>(kStreamChunk);
    int rc = BZ2_bzDecompress(&bz);
    size_t produced = kStreamChunk - bz.avail_out;
    if (rc == BZ_MEM_ERROR) throw std::bad_alloc();
    if (rc != BZ_OK && rc != BZ_STREAM_END) return {DecodeStatus::BadData};
    if (DecodeStatus status = Accept(out, produced, data, result, sink, meter); status != DecodeStatus::Ok)
      return {status};
    if (rc == BZ_STREAM_END) break;
    // Nothing moved: the input ran out before the stream's end.
    if (produced == 0 && bz.avail_in == inBefore) return {DecodeStatus::TooShort};
  }
  if (result.size < data.declaredSize) return {DecodeStatus::TooShort};
  if (!meter.Flush()) result.status = DecodeStatus::Stopped;
  return result;
}

}  // namespace unz
