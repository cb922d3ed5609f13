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

// A whole input and output buffer handed to a zlib stream a piece at a time.
class Pieces {
 public:
  Pieces(z_stream& z, const void* in, size_t inSize, void* out, size_t outSize)
      : z_(z), in_(static_cast<const uint8_t*>(in)), out_(static_cast<uint8_t*>(out)),
        inSize_(inSize), outSize_(outSize), inLeft_(inSize), outLeft_(outSize) {
    z.avail_in = z.avail_out = 0;
  }
  // Moves the next piece of the remaining input and output into the stream.
  void Feed() {
    if (z_.avail_in == 0 && inLeft_ > 0) {
      z_.next_in = const_cast<Bytef*>(in_);
      z_.avail_in = static_cast<uInt>(std::min(inLeft_, kPiece));
      in_ += z_.avail_in;
      inLeft_ -= z_.avail_in;
    }
    if (z_.avail_out == 0 && outLeft_ > 0) {
      z_.next_out = out_;
      z_.avail_out = static_cast<uInt>(std::min(outLeft_, kPiece));
      out_ += z_.avail_out;
      outLeft_ -= z_.avail_out;
    }
  }
  bool InputHandedOver() const { return inLeft_ == 0; }
  bool InputDone() const { return z_.avail_in == 0 && inLeft_ == 0; }
  bool OutputFull() const { return z_.avail_out == 0 && outLeft_ == 0; }
  size_t Consumed() const { return inSize_ - inLeft_ - z_.avail_in; }
  size_t Produced() const { return outSize_ - outLeft_ - z_.avail_out; }

 private:
  z_stream& z_;
  const uint8_t* in_;
  uint8_t* out_;
  const size_t inSize_, outSize_;
  size_t inLeft_, outLeft_;
};

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
  Pieces pieces(z, in, inSize, out, outAvail);
  for (;;) {
    pieces.Feed();
    const int rc = deflate(&z, pieces.InputHandedOver() ? Z_FINISH : Z_NO_FLUSH);
    if (rc == Z_STREAM_END) return pieces.Produced();
    if (rc != Z_OK && rc != Z_BUF_ERROR) return 0;
    if (pieces.OutputFull()) return 0;  // does not fit
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
  Pieces pieces(z, in, inSize, out, outAvail);
  for (;;) {
    pieces.Feed();
    const int rc = inflate(&z, Z_NO_FLUSH);
    if (rc == Z_STREAM_END) {
      if (actualIn) *actualIn = pieces.Consumed();
      if (actualOut) *actualOut = pieces.Produced();
      return LIBDEFLATE_SUCCESS;
    }
    if (rc == Z_MEM_ERROR) throw std::bad_alloc();
    if (rc != Z_OK && rc != Z_BUF_ERROR) return LIBDEFLATE_BAD_DATA;
    // Output space used up with the stream still going: the data is longer.
    if (pieces.OutputFull()) {
      const bool inputDone = pieces.InputDone();
      // A stream that ends exactly at the space's end says so with one more call.
      uint8_t probe;
      z.next_out = &probe;
      z.avail_out = 1;
      const int last = inflate(&z, Z_NO_FLUSH);
      if (last == Z_STREAM_END && z.avail_out == 1) {
        if (actualIn) *actualIn = pieces.Consumed();
        if (actualOut) *actualOut = outAvail;
        return LIBDEFLATE_SUCCESS;
      }
      return last == Z_OK || last == Z_STREAM_END || (last == Z_BUF_ERROR && !inputDone)
                 ? LIBDEFLATE_INSUFFICIENT_SPACE
                 : LIBDEFLATE_BAD_DATA;
    }
    if (pieces.InputDone() && rc == Z_BUF_ERROR) return LIBDEFLATE_BAD_DATA;  // ends before its end
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
