#include "engines/unzdll/Deflate64.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace unzdll {
namespace {

using Status = Deflate64Decoder::Status;

constexpr size_t kSpan = 256u << 10;  // decoded bytes handed on at a time, at most
constexpr size_t kCapacity = Deflate64Decoder::kWindow + kSpan + Deflate64Decoder::kMaxMatch;
constexpr size_t kCopySlack = 8;  // a match copied in words may write up to 7 bytes past its end
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

// The input as a 64-bit reservoir of bits, least significant first, refilled a
// word at a time while the current piece has eight bytes left. Past the end of
// the input it reads zero bits and counts them, so a decoder may look ahead by a
// whole code; consuming any of them means the stream was cut short.
class BitInput {
 public:
  explicit BitInput(const Deflate64Decoder::Input& input) : input_(input) {}

  // At least `n` (up to 32) bits in the reservoir.
  void Need(int n) {
    if (count_ >= n) return;
    if (left_ >= 8) {
      uint64_t word;
      std::memcpy(&word, next_, 8);  // little-endian hosts only, as the rest of the engine
      const int take = (63 - count_) >> 3;
      bits_ |= (word & ((1ull << (take * 8)) - 1)) << count_;
      next_ += take;
      left_ -= static_cast<size_t>(take);
      count_ += take * 8;
      return;
    }
    while (count_ < n) {
      bits_ |= static_cast<uint64_t>(NextByte()) << count_;
      count_ += 8;
    }
  }
  // The next bits without consuming them; call Need first.
  uint32_t Peek() const { return static_cast<uint32_t>(bits_); }
  void Consume(int n) {
    if (count_ - padding_ < n) throw Stop{Status::Truncated};
    bits_ >>= n;
    count_ -= n;
  }
  // Bits still to come from the input, not counting the zeros past its end.
  int RealBits() const { return count_ - padding_; }
  // The next `n` bits (up to 16), least significant first.
  uint32_t Bits(int n) {
    Need(n);
    const uint32_t value = static_cast<uint32_t>(bits_ & ((1ull << n) - 1));
    Consume(n);
    return value;
  }
  void SkipToByte() { Consume(count_ % 8); }
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
    if (ended_) throw Stop{Status::Truncated};
    if (!input_(next_, left_)) throw Stop{Status::InputFailed};
    if (left_ == 0) ended_ = true;
  }
  uint8_t NextByte() {
    if (left_ == 0 && !ended_) Refill();
    if (ended_) {
      padding_ += 8;
      return 0;
    }
    --left_;
    return *next_++;
  }
  const Deflate64Decoder::Input& input_;
  const uint8_t* next_ = nullptr;
  size_t left_ = 0;
  uint64_t bits_ = 0;
  int count_ = 0, padding_ = 0;
  bool ended_ = false;
};

// The decoding table of a canonical Huffman code. The next kPrimaryBits input
// bits index the primary part: an entry there is a symbol with its code length,
// or, for codes longer than that, the start of a second-level part indexed by
// the following bits. An entry of length zero is a code the lengths left
// unassigned.
template <int kPrimaryBits>
class Huffman {
 public:
  // False when the lengths ask for more codes than exist.
  bool Build(const uint8_t* lengths, int n) {
    std::array<uint16_t, kMaxBits + 1> count{};
    for (int s = 0; s < n; ++s) ++count[lengths[s]];
    int left = 1;
    for (int len = 1; len <= kMaxBits; ++len) {
      left = left * 2 - count[len];
      if (left < 0) return false;
    }
    std::array<uint16_t, kMaxBits + 2> offset{};
    for (int len = 1; len <= kMaxBits; ++len) offset[len + 1] = offset[len] + count[len];
    std::array<uint16_t, kLiteralCodes> sorted;  // symbols in code order
    for (int s = 0; s < n; ++s)
      if (lengths[s]) sorted[offset[lengths[s]]++] = static_cast<uint16_t>(s);

    table_.assign(kPrimarySize, 0);
    uint32_t code = 0;  // the canonical code, most significant bit first
    int next = 0;
    for (int len = 1; len <= kMaxBits; ++len, code <<= 1) {
      for (int i = 0; i < count[len]; ++i, ++code) {
        const uint32_t entry = Entry(sorted[next++], len);
        const uint32_t reversed = Reverse(code, len);
        if (len <= kPrimaryBits) {
          for (uint32_t at = reversed; at < kPrimarySize; at += 1u << len) table_[at] = entry;
          continue;
        }
        const uint32_t prefix = reversed & (kPrimarySize - 1);
        if (table_[prefix] == 0) {  // every code of this prefix shares one second-level part
          table_[prefix] = kLink | static_cast<uint32_t>(table_.size());
          table_.resize(table_.size() + kSecondarySize, 0);
        }
        const uint32_t base = table_[prefix] & kIndexMask;
        for (uint32_t at = reversed >> kPrimaryBits; at < kSecondarySize; at += 1u << (len - kPrimaryBits))
          table_[base + at] = entry;
      }
    }
    return true;
  }

  int Decode(BitInput& in) const {
    in.Need(kMaxBits);
    const uint32_t bits = in.Peek();
    uint32_t entry = table_[bits & (kPrimarySize - 1)];
    if (entry & kLink)
      entry = table_[(entry & kIndexMask) + ((bits >> kPrimaryBits) & (kSecondarySize - 1))];
    const int length = static_cast<int>(entry >> kLengthShift);
    if (length == 0)  // an unassigned code, or the input ended inside one
      throw Stop{in.RealBits() < kMaxBits ? Status::Truncated : Status::BadData};
    in.Consume(length);
    return static_cast<int>(entry & kIndexMask);
  }

 private:
  static constexpr uint32_t kPrimarySize = 1u << kPrimaryBits;
  static constexpr uint32_t kSecondarySize = 1u << (kMaxBits - kPrimaryBits);
  static constexpr uint32_t kLink = 1u << 31, kIndexMask = 0xFFFF;
  static constexpr int kLengthShift = 16;

  static uint32_t Entry(uint16_t symbol, int length) {
    return static_cast<uint32_t>(length) << kLengthShift | symbol;
  }
  static uint32_t Reverse(uint32_t code, int length) {
    uint32_t reversed = 0;
    for (int i = 0; i < length; ++i, code >>= 1) reversed = reversed << 1 | (code & 1);
    return reversed;
  }

  std::vector<uint32_t> table_;
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
    Huffman<7> lengthCode;
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
      if (distance >= 8) {  // in words: each word read lies wholly before the word written
        for (size_t i = 0; i < length; i += 8) std::memcpy(to + i, from + i, 8);
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
  Huffman<10> literals_;
  Huffman<8> distances_;
};

}  // namespace

Deflate64Decoder::Deflate64Decoder() : buffer_(new uint8_t[kCapacity + kCopySlack]) {}
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
