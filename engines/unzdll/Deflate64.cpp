#include "engines/unzdll/Deflate64.h"

#include <array>
#include <cstring>

namespace unzdll {
namespace {

using Status = Deflate64Decoder::Status;

constexpr size_t kSpan = 256u << 10;  // decoded bytes handed on at a time, at most
constexpr size_t kCapacity = Deflate64Decoder::kWindow + kSpan + Deflate64Decoder::kMaxMatch;
constexpr int kMaxBits = 15;
constexpr int kLiteralCodes = 288, kDistanceCodes = 32, kLengthCodes = 19;

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                      15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                      67, 83, 99, 115, 131, 163, 195, 227, 3};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 16};
constexpr uint32_t kDistanceBase[32] = {1,    2,    3,    4,     5,     7,     9,     13,
                                        17,   25,   33,   49,    65,    97,    129,   193,
                                        257,  385,  513,  769,   1025,  1537,  2049,  3073,
                                        4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
constexpr uint8_t kDistanceExtra[32] = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                        7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};
constexpr uint8_t kLengthOrder[kLengthCodes] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                11, 4,  12, 3, 13, 2, 14, 1, 15};

// Unwinds the decoder when it cannot go on.
struct Stop {
  Status status;
};

class BitInput {
 public:
  explicit BitInput(const Deflate64Decoder::Input& input) : input_(input) {}
  // The next `n` bits (up to 16), least significant first.
  uint32_t Bits(int n) {
    while (count_ < n) {
      bits_ |= static_cast<uint64_t>(NextByte()) << count_;
      count_ += 8;
    }
    const uint32_t value = static_cast<uint32_t>(bits_ & ((1ull << n) - 1));
    bits_ >>= n;
    count_ -= n;
    return value;
  }
  void SkipToByte() { Bits(count_ % 8); }
  // Copies `n` whole bytes; call after SkipToByte.
  void Bytes(uint8_t* out, size_t n) {
    for (; n && count_ >= 8; --n) *out++ = static_cast<uint8_t>(Bits(8));
    while (n) {
      if (left_ == 0) Refill();
      const size_t take = std::min(n, left_);
      std::memcpy(out, next_, take);
      out += take;
      next_ += take;
      left_ -= take;
      n -= take;
    }
  }

 private:
  void Refill() {
    if (!input_(next_, left_)) throw Stop{Status::InputFailed};
    if (left_ == 0) throw Stop{Status::Truncated};
  }
  uint8_t NextByte() {
    if (left_ == 0) Refill();
    --left_;
    return *next_++;
  }
  const Deflate64Decoder::Input& input_;
  const uint8_t* next_ = nullptr;
  size_t left_ = 0;
  uint64_t bits_ = 0;
  int count_ = 0;
};

// A canonical Huffman code: how many codes of each length, and the symbols in
// code order.
struct Huffman {
  std::array<uint16_t, kMaxBits + 1> count{};
  std::array<uint16_t, kLiteralCodes> symbol{};

  // False when the lengths ask for more codes than exist.
  bool Build(const uint8_t* lengths, int n) {
    count.fill(0);
    for (int s = 0; s < n; ++s) ++count[lengths[s]];
    int left = 1;
    for (int len = 1; len <= kMaxBits; ++len) {
      left = left * 2 - count[len];
      if (left < 0) return false;
    }
    std::array<uint16_t, kMaxBits + 2> offset{};
    for (int len = 1; len <= kMaxBits; ++len) offset[len + 1] = offset[len] + count[len];
    for (int s = 0; s < n; ++s)
      if (lengths[s]) symbol[offset[lengths[s]]++] = static_cast<uint16_t>(s);
    return true;
  }

  int Decode(BitInput& in) const {
    int code = 0, first = 0, index = 0;
    for (int len = 1; len <= kMaxBits; ++len) {
      code |= static_cast<int>(in.Bits(1));
      const int n = count[len];
      if (code - first < n) return symbol[index + code - first];
      index += n;
      first = (first + n) << 1;
      code <<= 1;
    }
    throw Stop{Status::BadData};  // a code the lengths left unassigned
  }
};

class Inflater {
 public:
  Inflater(uint8_t* buffer, const Deflate64Decoder::Input& input,
           const Deflate64Decoder::Output& output)
      : out_(buffer), in_(input), output_(output) {}

  void Run() {
    bool last = false;
    while (!last) {
      last = in_.Bits(1);
      switch (in_.Bits(2)) {
        case 0:
          Stored();
          break;
        case 1:
          Fixed();
          break;
        case 2:
          Dynamic();
          break;
        default:
          throw Stop{Status::BadData};
      }
    }
    HandOn(false);
  }

 private:
  void Stored() {
    in_.SkipToByte();
    const uint32_t length = in_.Bits(16);
    if ((in_.Bits(16) ^ 0xFFFF) != length) throw Stop{Status::BadData};
    for (size_t left = length; left;) {
      MakeRoom();
      const size_t n = std::min(left, kCapacity - pos_);
      in_.Bytes(out_ + pos_, n);
      pos_ += n;
      left -= n;
    }
  }

  void Fixed() {
    uint8_t lengths[kLiteralCodes + kDistanceCodes];
    std::memset(lengths, 8, 144);
    std::memset(lengths + 144, 9, 112);
    std::memset(lengths + 256, 7, 24);
    std::memset(lengths + 280, 8, 8);
    std::memset(lengths + kLiteralCodes, 5, kDistanceCodes);
    literals_.Build(lengths, kLiteralCodes);
    distances_.Build(lengths + kLiteralCodes, kDistanceCodes);
    Codes();
  }

  void Dynamic() {
    const int literalCount = static_cast<int>(in_.Bits(5)) + 257;
    const int distanceCount = static_cast<int>(in_.Bits(5)) + 1;
    const int lengthCount = static_cast<int>(in_.Bits(4)) + 4;
    if (literalCount > 286) throw Stop{Status::BadData};
    uint8_t lengths[kLiteralCodes + kDistanceCodes] = {};
    for (int i = 0; i < lengthCount; ++i)
      lengths[kLengthOrder[i]] = static_cast<uint8_t>(in_.Bits(3));
    Huffman lengthCode;
    if (!lengthCode.Build(lengths, kLengthCodes)) throw Stop{Status::BadData};

    const int total = literalCount + distanceCount;
    std::memset(lengths, 0, sizeof lengths);
    for (int i = 0; i < total;) {
      const int symbol = lengthCode.Decode(in_);
      if (symbol < 16) {
        lengths[i++] = static_cast<uint8_t>(symbol);
        continue;
      }
      uint8_t value = 0;
      int repeat = 0;
      if (symbol == 16) {
        if (i == 0) throw Stop{Status::BadData};
        value = lengths[i - 1];
        repeat = 3 + static_cast<int>(in_.Bits(2));
      } else if (symbol == 17) {
        repeat = 3 + static_cast<int>(in_.Bits(3));
      } else {
        repeat = 11 + static_cast<int>(in_.Bits(7));
      }
      if (i + repeat > total) throw Stop{Status::BadData};
      std::memset(lengths + i, value, static_cast<size_t>(repeat));
      i += repeat;
    }
    if (lengths[256] == 0) throw Stop{Status::BadData};  // the block could never end
    if (!literals_.Build(lengths, literalCount) ||
        !distances_.Build(lengths + literalCount, distanceCount))
      throw Stop{Status::BadData};
    Codes();
  }

  void Codes() {
    for (;;) {
      const int symbol = literals_.Decode(in_);
      if (symbol < 256) {
        MakeRoom();
        out_[pos_++] = static_cast<uint8_t>(symbol);
        continue;
      }
      if (symbol == 256) return;
      if (symbol > 285) throw Stop{Status::BadData};
      const int l = symbol - 257;
      const size_t length = kLengthBase[l] + in_.Bits(kLengthExtra[l]);
      const int d = distances_.Decode(in_);
      const size_t distance = kDistanceBase[d] + in_.Bits(kDistanceExtra[d]);
      MakeRoom();
      // Everything before pos_ is history (the window is kept on every hand-on).
      if (distance > pos_) throw Stop{Status::BadData};
      uint8_t* to = out_ + pos_;
      const uint8_t* from = to - distance;
      if (distance >= length) {
        std::memcpy(to, from, length);
      } else {
        for (size_t i = 0; i < length; ++i) to[i] = from[i];
      }
      pos_ += length;
    }
  }

  // Hands decoded bytes on before the buffer could overflow, keeping the window.
  void MakeRoom() {
    if (pos_ + Deflate64Decoder::kMaxMatch > kCapacity) HandOn(true);
  }

  void HandOn(bool keepWindow) {
    if (pos_ > handed_ && !output_(out_ + handed_, pos_ - handed_)) throw Stop{Status::Stopped};
    handed_ = pos_;
    if (!keepWindow) return;
    const size_t keep = std::min(pos_, Deflate64Decoder::kWindow);
    std::memmove(out_, out_ + pos_ - keep, keep);
    pos_ = handed_ = keep;
  }

  uint8_t* out_;
  size_t pos_ = 0, handed_ = 0;
  BitInput in_;
  const Deflate64Decoder::Output& output_;
  Huffman literals_, distances_;
};

}  // namespace

Deflate64Decoder::Deflate64Decoder() : buffer_(new uint8_t[kCapacity]) {}
Deflate64Decoder::~Deflate64Decoder() = default;

Deflate64Decoder::Status Deflate64Decoder::Decode(const Input& input, const Output& output) {
  try {
    Inflater(buffer_.get(), input, output).Run();
  } catch (const Stop& stop) {
    return stop.status;
  }
  return Status::Done;
}

}  // namespace unzdll
