#pragma once

#include <cstdint>
#include <initializer_list>
#include <type_traits>

// A set of values of an enumeration whose values lie in 0..63.
template <class Enum>
class TSet {
  static_assert(std::is_enum_v<Enum>, "TSet holds enumeration values");

public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<Enum> Values) {
    for (Enum v : Values) FBits |= Bit(v);
  }

  constexpr bool Contains(Enum Value) const { return (FBits & Bit(Value)) != 0; }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr TSet& Include(Enum Value) {
    FBits |= Bit(Value);
    return *this;
  }
  constexpr TSet& Exclude(Enum Value) {
    FBits &= ~Bit(Value);
    return *this;
  }
  constexpr uint64_t Bits() const { return FBits; }

  constexpr TSet operator+(TSet Other) const { return FromBits(FBits | Other.FBits); }
  constexpr TSet operator-(TSet Other) const { return FromBits(FBits & ~Other.FBits); }
  constexpr TSet operator*(TSet Other) const { return FromBits(FBits & Other.FBits); }
  constexpr bool operator==(const TSet&) const = default;

  static constexpr TSet FromBits(uint64_t Bits) {
    TSet s;
    s.FBits = Bits;
    return s;
  }

private:
  static constexpr uint64_t Bit(Enum Value) { return uint64_t{1} << static_cast<unsigned>(Value); }
  uint64_t FBits = 0;
};
