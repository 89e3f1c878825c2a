// Upper-case hex of ids and tags as they appear in stream names and messages.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace baleport::msg {

inline std::string Hex(uint32_t value, int digits = 8) {
  char text[16];
  std::snprintf(text, sizeof(text), "%0*X", digits, value);
  return text;
}

}  // namespace baleport::msg
