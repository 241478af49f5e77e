#pragma once
// A colour as the programs store it: red in the low byte, green in the second, blue in the
// third. The top byte is kept but never taken as a colour channel.
#include <cstdint>

struct TColor {
  std::uint32_t Value = 0;

  constexpr TColor() = default;
  constexpr explicit TColor(std::uint32_t value) : Value(value) {}
  static constexpr TColor FromRgb(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return TColor(red | (std::uint32_t{green} << 8) | (std::uint32_t{blue} << 16));
  }

  constexpr std::uint8_t Red() const { return Value & 0xFF; }
  constexpr std::uint8_t Green() const { return (Value >> 8) & 0xFF; }
  constexpr std::uint8_t Blue() const { return (Value >> 16) & 0xFF; }

  friend constexpr bool operator==(TColor, TColor) = default;
};

inline constexpr TColor clBlack{0x000000};
inline constexpr TColor clMaroon{0x000080};
inline constexpr TColor clGreen{0x008000};
inline constexpr TColor clOlive{0x008080};
inline constexpr TColor clNavy{0x800000};
inline constexpr TColor clPurple{0x800080};
inline constexpr TColor clTeal{0x808000};
inline constexpr TColor clGray{0x808080};
inline constexpr TColor clSilver{0xC0C0C0};
inline constexpr TColor clRed{0x0000FF};
inline constexpr TColor clLime{0x00FF00};
inline constexpr TColor clYellow{0x00FFFF};
inline constexpr TColor clBlue{0xFF0000};
inline constexpr TColor clFuchsia{0xFF00FF};
inline constexpr TColor clAqua{0xFFFF00};
inline constexpr TColor clWhite{0xFFFFFF};
