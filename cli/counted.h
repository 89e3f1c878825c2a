// "1 message", "2 messages": counts in what the command line prints.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace baleport {

inline std::string Counted(int64_t count, std::string_view noun) {
  return std::to_string(count) + " " + std::string(noun) + (count == 1 ? "" : "s");
}

}  // namespace baleport
