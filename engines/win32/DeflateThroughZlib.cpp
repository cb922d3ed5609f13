// The whole-buffer deflate calls (libdeflate.h beside this file) on zlib's
// streams. zlib counts in 32-bit units: larger buffers go through in pieces.
#include "engines/win32/libdeflate.h"

#include <zlib.h>

#include <algorithm>
#include <new>

#include "engines/common/Crc32.h"

namespace {

constexpr size_t kPiece = 1u << 30;
constexpr int kRawWindowBits = -15;  // raw deflate: no zlib header or trailer
constexpr int kMemoryLevel = 8;

// Moves the next piece of the remaining input and output into the stream.
void Feed(z_stream& z, const uint8_t*& in, size_t& inLeft, uint8_t*& out, size_t& outLeft) {
  if (z.avail_in == 0 && inLeft > 0) {
    z.next_in = const_cast<Bytef*>(in);
    z.avail_in = static_cast<uInt>(std::min(inLeft, kPiece));
    in += z.avail_in;
    inLeft -= z.avail_in;
  }
  if (z.avail_out == 0 && outLeft > 0) {
    z.next_out = out;
    z.avail_out = static_cast<uInt>(std::min(outLeft, kPiece));
    out += z.avail_out;
    outLeft -= z.avail_out;
  }
}

}  // namespace

struct libdeflate_compressor {
  z_stream z{};
};

struct libdeflate_decompressor {
  z_stream z{};
};

extern "C" {

libdeflate_compressor* libdeflate_alloc_compressor(int level) {
  auto* c = new (std::nothrow) libdeflate_compressor;
  if (!c) return nullptr;
  if (deflateInit2(&c->z, std::clamp(level, 1, 9), Z_DEFLATED, kRawWindowBits, kMemoryLevel,
                   Z_DEFAULT_STRATEGY) != Z_OK) {
    delete c;
    return nullptr;
  }
  return c;
}

size_t libdeflate_deflate_compress(libdeflate_compressor* c, const void* in, size_t inSize, void* out,
                                   size_t outAvail) {
  z_stream& z = c->z;
  if (deflateReset(&z) != Z_OK) return 0;
  const auto* input = static_cast<const uint8_t*>(in);
  auto* output = static_cast<uint8_t*>(out);
  size_t inLeft = inSize, outLeft = outAvail;
  z.avail_in = z.avail_out = 0;
  for (;;) {
    Feed(z, input, inLeft, output, outLeft);
    const int rc = deflate(&z, inLeft == 0 ? Z_FINISH : Z_NO_FLUSH);
    if (rc == Z_STREAM_END) return outAvail - outLeft - z.avail_out;
    if (rc != Z_OK && rc != Z_BUF_ERROR) return 0;
    if (z.avail_out == 0 && outLeft == 0) return 0;  // does not fit
  }
}

void libdeflate_free_compressor(libdeflate_compressor* c) {
  if (!c) return;
  deflateEnd(&c->z);
  delete c;
}

libdeflate_decompressor* libdeflate_alloc_decompressor(void) {
  auto* d = new (std::nothrow) libdeflate_decompressor;
  if (!d) return nullptr;
  if (inflateInit2(&d->z, kRawWindowBits) != Z_OK) {
    delete d;
    return nullptr;
  }
  return d;
}

libdeflate_result libdeflate_deflate_decompress_ex(libdeflate_decompressor* d, const void* in, size_t inSize,
                                                   void* out, size_t outAvail, size_t* actualIn,
                                                   size_t* actualOut) {
  z_stream& z = d->z;
  if (inflateReset(&z) != Z_OK) return LIBDEFLATE_BAD_DATA;
  const auto* input = static_cast<const uint8_t*>(in);
  auto* output = static_cast<uint8_t*>(out);
  size_t inLeft = inSize, outLeft = outAvail;
  z.avail_in = z.avail_out = 0;
  for (;;) {
    Feed(z, input, inLeft, output, outLeft);
    const int rc = inflate(&z, Z_NO_FLUSH);
    if (rc == Z_STREAM_END) {
      if (actualIn) *actualIn = inSize - inLeft - z.avail_in;
      if (actualOut) *actualOut = outAvail - outLeft - z.avail_out;
      return LIBDEFLATE_SUCCESS;
    }
    if (rc == Z_MEM_ERROR) throw std::bad_alloc();
    if (rc != Z_OK && rc != Z_BUF_ERROR) return LIBDEFLATE_BAD_DATA;
    const bool outputFull = z.avail_out == 0 && outLeft == 0;
    const bool inputDone = z.avail_in == 0 && inLeft == 0;
    // Output space used up with the stream still going: the data is longer.
    if (outputFull) {
      // A stream that ends exactly at the space's end says so with one more call.
      uint8_t probe;
      z.next_out = &probe;
      z.avail_out = 1;
      const int last = inflate(&z, Z_NO_FLUSH);
      if (last == Z_STREAM_END && z.avail_out == 1) {
        if (actualIn) *actualIn = inSize - inLeft - z.avail_in;
        if (actualOut) *actualOut = outAvail;
        return LIBDEFLATE_SUCCESS;
      }
      return last == Z_OK || last == Z_STREAM_END || (last == Z_BUF_ERROR && !inputDone)
                 ? LIBDEFLATE_INSUFFICIENT_SPACE
                 : LIBDEFLATE_BAD_DATA;
    }
    if (inputDone && rc == Z_BUF_ERROR) return LIBDEFLATE_BAD_DATA;  // ends before its end
  }
}

void libdeflate_free_decompressor(libdeflate_decompressor* d) {
  if (!d) return;
  inflateEnd(&d->z);
  delete d;
}

uint32_t libdeflate_crc32(uint32_t crc, const void* data, size_t size) {
  return engine::Crc32Update(crc, data, size);
}

}  // extern "C"
