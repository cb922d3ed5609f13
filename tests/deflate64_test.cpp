// The Deflate64 decoder on streams zlib writes: without matches longer than 257
// bytes (whose length code means something else in Deflate64) a deflate stream
// decodes the same as Deflate64. Dynamic blocks with codes up to 15 bits long
// reach the decoder's second-level tables; input handed over in small pieces
// makes it refill inside codes.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "engines/unzdll/Deflate64.h"

namespace {

using unzdll::Deflate64Decoder;

std::string RawDeflate(const std::string& data, int strategy) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, -15, 9, strategy), Z_OK);
  std::string out(deflateBound(&z, data.size()), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

struct Decoded {
  Deflate64Decoder::Status status;
  std::string bytes;
};

Decoded Decode(const std::string& stream, size_t piece) {
  Deflate64Decoder decoder;
  Decoded d;
  size_t at = 0;
  d.status = decoder.Decode(
      [&](const uint8_t*& next, size_t& n) {
        next = reinterpret_cast<const uint8_t*>(stream.data()) + at;
        n = std::min(piece, stream.size() - at);
        at += n;
        return true;
      },
      [&](const uint8_t* bytes, size_t n) {
        d.bytes.append(reinterpret_cast<const char*>(bytes), n);
        return true;
      });
  return d;
}

// Words in a random order: many short matches, none near 258 bytes.
std::string Words(size_t size) {
  static const char* words[] = {"alpha ", "beta ", "gamma\n", "delta ", "epsilon ", "zeta ", "eta ", "theta\n"};
  std::mt19937 random(7);
  std::string text;
  while (text.size() < size) text += words[random() % 8] + std::to_string(random() % 1000);
  return text;
}

// Byte b about twice as rare as byte b - 1: the rarest get codes of 15 bits.
std::string Skewed(size_t size) {
  std::mt19937 random(11);
  std::string bytes;
  while (bytes.size() < size) {
    int b = 0;
    while (b < 40 && (random() & 1)) ++b;
    bytes += static_cast<char>('0' + b);
  }
  return bytes;
}

TEST(Deflate64Decoder, DecodesDynamicAndFixedBlocksInAnyPieces) {
  struct Case {
    const char* what;
    std::string data;
    int strategy;
  } cases[] = {
      {"words, matches", Words(400000), Z_DEFAULT_STRATEGY},
      {"words, fixed codes", Words(2000), Z_FIXED},
      {"skewed, literals only", Skewed(300000), Z_HUFFMAN_ONLY},
      {"empty", "", Z_DEFAULT_STRATEGY},
  };
  for (const Case& c : cases) {
    const std::string stream = RawDeflate(c.data, c.strategy);
    for (size_t piece : {size_t{1}, size_t{7}, stream.size() + 1}) {
      Decoded d = Decode(stream, piece);
      EXPECT_EQ(d.status, Deflate64Decoder::Status::Done) << c.what << ", pieces of " << piece;
      EXPECT_TRUE(d.bytes == c.data) << c.what << ", pieces of " << piece;
    }
  }
}

TEST(Deflate64Decoder, AStreamCutShortIsTruncatedNotDamaged) {
  const std::string stream = RawDeflate(Skewed(50000), Z_HUFFMAN_ONLY);
  for (size_t cut : {size_t{1}, size_t{2}, stream.size() / 2, stream.size() - 1}) {
    Decoded d = Decode(stream.substr(0, cut), 5);
    EXPECT_EQ(d.status, Deflate64Decoder::Status::Truncated) << "cut at " << cut;
  }
}

}  // namespace
