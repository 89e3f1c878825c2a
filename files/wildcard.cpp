#include "files/wildcard.h"

#include "files/utf16_text.h"

namespace baleport {
namespace {

char16_t Upcase(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? c - 0x20 : c;
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) ||
      (c >= 0x430 && c <= 0x44F) || (c >= 0xFF41 && c <= 0xFF5A)) {
    return c - 0x20;
  }
  if (c == 0x3C2) return 0x3A3;  // final sigma
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  return c;
}

bool OnlyWildcardsFrom(std::u16string_view p, size_t i) {
  for (; i < p.size(); ++i) {
    if (p[i] != u'*' && p[i] != u'?') return false;
  }
  return true;
}

bool Match(std::u16string_view p, size_t i, std::u16string_view n, size_t j) {
  for (; i < p.size(); ++i) {
    switch (p[i]) {
      case u'*':
        for (size_t k = j; k <= n.size(); ++k) {
          if (Match(p, i + 1, n, k)) return true;
        }
        return false;
      case u'?':
        if (j == n.size()) return false;
        ++j;
        break;
      case u'.':
        if (j == n.size() && OnlyWildcardsFrom(p, i + 1)) return true;
        [[fallthrough]];
      default:
        if (j == n.size() || p[i] != n[j]) return false;
        ++j;
    }
  }
  return j == n.size();
}

}  // namespace

std::u16string UpcaseUtf16(std::string_view text) {
  std::u16string units = Utf8ToUtf16(text);
  for (char16_t& c : units) c = Upcase(c);
  return units;
}

bool HasWildcards(std::string_view pattern) { return pattern.find_first_of("*?") != std::string_view::npos; }

bool MatchesWildcard(std::string_view pattern, std::string_view name) {
  if (pattern == "*" || pattern == "*.*") return true;
  const std::u16string p = UpcaseUtf16(pattern);
  const std::u16string n = UpcaseUtf16(name);
  return Match(p, 0, n, 0);
}

}  // namespace baleport
