/* The whole-buffer deflate calls the engines make, for a build where the
 * library that provides them is missing (the Windows build): the same names
 * and meanings, carried out by zlib in DeflateThroughZlib.cpp. Only what the
 * engines call is here. */
#ifndef ZB_DEFLATE_THROUGH_ZLIB_H
#define ZB_DEFLATE_THROUGH_ZLIB_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

struct libdeflate_compressor;
struct libdeflate_decompressor;

enum libdeflate_result {
  LIBDEFLATE_SUCCESS = 0,
  LIBDEFLATE_BAD_DATA = 1,
  LIBDEFLATE_SHORT_OUTPUT = 2,
  LIBDEFLATE_INSUFFICIENT_SPACE = 3
};

/* Levels 1 to 12; zlib's 9 stands for those above it. Null without memory. */
struct libdeflate_compressor* libdeflate_alloc_compressor(int level);
/* Raw deflate of `in` into at most `outAvail` bytes: the size written, 0 when
 * it does not fit. */
size_t libdeflate_deflate_compress(struct libdeflate_compressor* c, const void* in, size_t inSize,
                                   void* out, size_t outAvail);
void libdeflate_free_compressor(struct libdeflate_compressor* c);

struct libdeflate_decompressor* libdeflate_alloc_decompressor(void);
/* Inflates one whole raw deflate stream: INSUFFICIENT_SPACE when its output
 * passes `outAvail`, BAD_DATA when it is damaged or ends early. */
enum libdeflate_result libdeflate_deflate_decompress_ex(struct libdeflate_decompressor* d, const void* in,
                                                        size_t inSize, void* out, size_t outAvail,
                                                        size_t* actualIn, size_t* actualOut);
void libdeflate_free_decompressor(struct libdeflate_decompressor* d);

uint32_t libdeflate_crc32(uint32_t crc, const void* data, size_t size);

#ifdef __cplusplus
}
#endif

#endif
