// ASCII case: the letters A to Z and a to z only, whatever the locale, for names the
// program compares (extensions, folder names in a store, address schemes).
#pragma once

#include <string>
#include <string_view>

namespace baleport {

constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

inline std::string AsciiLowercase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = AsciiLower(c);
  return lower;
}

}  // namespace baleport
