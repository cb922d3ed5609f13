// A set of an enumeration as a bit set: bit n stands for ordinal n.
#pragma once

#include <cstdint>
#include <initializer_list>

template <typename E, typename Bits = uint32_t>
class EnumSet {
 public:
  constexpr EnumSet() = default;
  constexpr EnumSet(std::initializer_list<E> values) {
    for (E v : values) Include(v);
  }
  static constexpr EnumSet FromBits(Bits bits) {
    EnumSet s;
    s.bits_ = bits;
    return s;
  }
  constexpr bool Contains(E v) const { return (bits_ >> static_cast<unsigned>(v)) & 1u; }
  constexpr EnumSet& Include(E v) {
    bits_ = static_cast<Bits>(bits_ | (Bits{1} << static_cast<unsigned>(v)));
    return *this;
  }
  constexpr EnumSet& Exclude(E v) {
    bits_ = static_cast<Bits>(bits_ & ~(Bits{1} << static_cast<unsigned>(v)));
    return *this;
  }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr Bits ToBits() const { return bits_; }
  constexpr bool operator==(const EnumSet&) const = default;

 private:
  Bits bits_ = 0;
};
