// Bzip2 members (method 12) through libbz2.
#include <bzlib.h>

#include <new>

#include "engines/unzdll/DecodeSteps.h"
#include "engines/unzdll/MemberDecoder.h"

namespace unzdll {

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

DecodeResult MemberDecoder::StreamBzip2(ChunkReader& reader, const MemberData& data, OutputSink& sink,
                                        ProgressMeter& meter) {
  Bzip2Stream stream;
  bz_stream& bz = stream.bz;
  uint8_t* in = reader.Buffer();
  uint8_t* out = OutputBuffer(kStreamChunk);
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
  return result;
}

}  // namespace unzdll
