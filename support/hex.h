// Upper-case hex of ids, tags and offsets, as they appear in stream names and messages.
#pragma once

#include <cstdint>
#include <string>

namespace baleport {

// At least `digits` digits: Hex(0x1F, 4) is "001F". By hand rather than with snprintf:
// every value stream's name is made with it.
inline std::string Hex(uint64_t value, int digits = 8) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  int n = 1;
  while (n < 16 && (value >> (4 * n)) != 0) ++n;
  std::string text(static_cast<size_t>(n > digits ? n : digits), '0');
  for (size_t i = text.size(); value != 0; value >>= 4) text[--i] = kDigits[value & 0xF];
  return text;
}

// With the "0x" in front: HexNumber(0x21) is "0x21".
inline std::string HexNumber(uint64_t value, int digits = 1) { return "0x" + Hex(value, digits); }

}  // namespace baleport
