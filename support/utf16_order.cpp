#include "support/utf16_order.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "support/utf16_text.h"

namespace baleport {
namespace {

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

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
    const auto ua = Units(DecodeUtf8(a, i));
    const auto ub = Units(DecodeUtf8(b, j));
    if (ua != ub) {
      if (ua.first != ub.first) return ua.first < ub.first ? -1 : 1;
      return ua.second < ub.second ? -1 : 1;  // 0 (no low unit) means the text ended there
    }
  }
  if (i == a.size() && j == b.size()) return 0;
  return i == a.size() ? -1 : 1;
}

}  // namespace baleport
