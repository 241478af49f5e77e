#pragma once
// A set of enumeration members stored as a bit mask, bit n for the member with ordinal n,
// so a set keeps the exact width and bit layout the port's persisted forms rely on.
#include <cstdint>
#include <initializer_list>
#include <type_traits>

namespace corvane {

template <typename E, typename Bits>
class EnumSet {
  static_assert(std::is_enum_v<E>, "EnumSet holds enumeration members");
  static_assert(std::is_unsigned_v<Bits>, "EnumSet stores its members in an unsigned word");

 public:
  using value_type = E;
  using bits_type = Bits;
  static constexpr int kCapacity = static_cast<int>(sizeof(Bits) * 8);

  constexpr EnumSet() = default;
  constexpr EnumSet(std::initializer_list<E> members) {
    for (E m : members) insert(m);
  }

  static constexpr EnumSet FromBits(Bits bits) {
    EnumSet s;
    s.bits_ = bits;
    return s;
  }

  constexpr Bits bits() const { return bits_; }
  constexpr bool empty() const { return bits_ == 0; }
  constexpr bool contains(E m) const { return (bits_ & Mask(m)) != 0; }

  constexpr EnumSet& insert(E m) {
    bits_ = static_cast<Bits>(bits_ | Mask(m));
    return *this;
  }
  constexpr EnumSet& erase(E m) {
    bits_ = static_cast<Bits>(bits_ & ~Mask(m));
    return *this;
  }

  constexpr int size() const {
    int n = 0;
    for (Bits b = bits_; b != 0; b = static_cast<Bits>(b & (b - 1))) ++n;
    return n;
  }

  friend constexpr EnumSet operator|(EnumSet a, EnumSet b) {
    return FromBits(static_cast<Bits>(a.bits_ | b.bits_));
  }
  friend constexpr EnumSet operator&(EnumSet a, EnumSet b) {
    return FromBits(static_cast<Bits>(a.bits_ & b.bits_));
  }
  friend constexpr EnumSet operator-(EnumSet a, EnumSet b) {
    return FromBits(static_cast<Bits>(a.bits_ & ~b.bits_));
  }
  friend constexpr bool operator==(EnumSet a, EnumSet b) = default;

 private:
  static constexpr Bits Mask(E m) { return static_cast<Bits>(Bits{1} << static_cast<unsigned>(m)); }

  Bits bits_ = 0;
};

}  // namespace corvane
