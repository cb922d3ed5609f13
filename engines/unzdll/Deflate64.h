// A decoder for Deflate64 streams: deflate with a 64 KiB window, length code 285
// carrying 16 extra bits (lengths 3 to 65538) and distance codes 30 and 31
// (distances up to 65536). It pulls its input in pieces and hands its output on
// in pieces, so memory stays at the window and one output span.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace unzdll {

class Deflate64Decoder {
 public:
  enum class Status { Done, BadData, Truncated, InputFailed, Stopped };
  // Gives the next piece of input, an empty one at the end; false when reading failed.
  using Input = std::function<bool(const uint8_t*& data, size_t& size)>;
  // Takes the next decoded bytes; false stops decoding.
  using Output = std::function<bool(const uint8_t* data, size_t size)>;

  Deflate64Decoder();
  ~Deflate64Decoder();
  Deflate64Decoder(const Deflate64Decoder&) = delete;
  Deflate64Decoder& operator=(const Deflate64Decoder&) = delete;

  // Decodes one stream, up to the end of its last block.
  Status Decode(const Input& input, const Output& output);

  static constexpr size_t kWindow = 65536;
  static constexpr size_t kMaxMatch = 65538;

 private:
  std::unique_ptr<uint8_t[]> buffer_;  // the window, then the bytes not yet handed on
};

}  // namespace unzdll
