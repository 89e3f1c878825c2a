#include "support/utf16_order.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace baleport {
namespace {

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Decodes the code point starting at s[i]; advances i. Invalid bytes become U+DC00+byte.
char32_t Decode(std::string_view s, size_t& i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  size_t len = 0;
  char32_t cp = 0, min = 0;
  if (b0 < 0x80) {
    ++i;
    return b0;
  } else if ((b0 & 0xE0) == 0xC0) {
    len = 2, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, cp = b0 & 0x07, min = 0x10000;
  }
  if (len == 0 || i + len > s.size()) {
    ++i;
    return 0xDC00 + b0;
  }
  for (size_t k = 1; k < len; ++k) {
    const auto c = static_cast<unsigned char>(s[i + k]);
    if (!IsContinuation(c)) {
      ++i;
      return 0xDC00 + b0;
    }
    cp = (cp << 6) | (c & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return 0xDC00 + b0;
  }
  i += len;
  return cp;
}

// The UTF-16 code units of one code point: (unit, 0) or (high, low) surrogates.
std::pair<uint32_t, uint32_t> Units(char32_t cp) {
  if (cp < 0x10000) return {cp, 0};
  const char32_t v = cp - 0x10000;
  return {0xD800 + (v >> 10), 0xDC00 + (v & 0x3FF)};
}

}  // namespace

int CompareUtf16(std::string_view a, std::string_view b) {
  // Equal bytes are equal units; only the first differing code point decides.
  const size_t common = std::min(a.size(), b.size());
  size_t first = 0;
  while (first < common && a[first] == b[first]) ++first;
  if (first == common) return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
  // Back up to the start of the code point that holds the difference.
  size_t start = first;
  while (start > 0 && first - start < 3 && IsContinuation(static_cast<unsigned char>(a[start]))) --start;
  // Re-decode from a safe boundary so both sides see the same code point split.
  size_t i = start, j = start;
  while (i < a.size() && j < b.size()) {
    const auto ua = Units(Decode(a, i));
    const auto ub = Units(Decode(b, j));
    if (ua != ub) {
      if (ua.first != ub.first) return ua.first < ub.first ? -1 : 1;
      return ua.second < ub.second ? -1 : 1;  // 0 (no low unit) means the text ended there
    }
  }
  if (i == a.size() && j == b.size()) return 0;
  return i == a.size() ? -1 : 1;
}

}  // namespace baleport
