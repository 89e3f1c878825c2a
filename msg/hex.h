// Upper-case hex of ids and tags as they appear in stream names and messages.
#pragma once

#include <cstdint>
#include <string>

namespace baleport::msg {

// By hand rather than with snprintf: every value stream's name is made with it.
inline std::string Hex(uint32_t value, int digits = 8) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  int n = 1;
  while (n < 8 && (value >> (4 * n)) != 0) ++n;
  std::string text(static_cast<size_t>(n > digits ? n : digits), '0');
  for (size_t i = text.size(); value != 0; value >>= 4) text[--i] = kDigits[value & 0xF];
  return text;
}

}  // namespace baleport::msg
