#include "files/wildcard.h"

#include <algorithm>
#include <string>

#include "support/ascii_case.h"
#include "support/utf16_order.h"
#include "support/utf16_text.h"

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

char Upcase(char c) { return AsciiUpper(c); }

// ASCII names, the common case, are compared as they are, without conversion.
bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

template <typename Char>
bool OnlyWildcardsFrom(std::basic_string_view<Char> p, size_t i) {
  for (; i < p.size(); ++i) {
    if (p[i] != Char('*') && p[i] != Char('?')) return false;
  }
  return true;
}

template <typename Char>
constexpr Char kWildcards[] = {Char('*'), Char('?'), Char(0)};

template <typename Char>
bool Match(std::basic_string_view<Char> p, size_t i, std::basic_string_view<Char> n, size_t j) {
  for (; i < p.size(); ++i) {
    switch (p[i]) {
      case Char('*'): {
        // With no wildcard after it, the rest can only be the name's last characters (one
        // fewer when it ends in a '.' that meets the name's end): tried there alone.
        if (p.find_first_of(kWildcards<Char>, i + 1) == std::basic_string_view<Char>::npos) {
          const size_t rest = p.size() - i - 1;
          if (rest == 0) return true;
          const size_t tail = n.size() - j;
          if (tail >= rest && Match(p, i + 1, n, n.size() - rest)) return true;
          return p.back() == Char('.') && tail + 1 >= rest && Match(p, i + 1, n, n.size() + 1 - rest);
        }
        for (size_t k = j; k <= n.size(); ++k) {
          if (Match(p, i + 1, n, k)) return true;
        }
        return false;
      }
      case Char('?'):
        if (j == n.size()) return false;
        ++j;
        break;
      case Char('.'):
        if (j == n.size() && OnlyWildcardsFrom(p, i + 1)) return true;
        [[fallthrough]];
      default:
        if (j == n.size() || Upcase(p[i]) != Upcase(n[j])) return false;
        ++j;
    }
  }
  return j == n.size();
}

std::u16string Upcased(std::string_view name) {
  std::u16string units = Utf8ToUtf16(name);
  for (char16_t& c : units) c = Upcase(c);
  return units;
}

}  // namespace

std::string NameKey(std::string_view name) { return NameKey(Utf8ToUtf16(name)); }

std::string NameKey(std::u16string_view units) {
  std::string key(units.size() * 2, '\0');
  char* p = key.data();
  for (const char16_t unit : units) {
    const char16_t c = Upcase(unit);
    *p++ = static_cast<char>(c >> 8);
    *p++ = static_cast<char>(c & 0xFF);
  }
  return key;
}

bool HasWildcards(std::string_view pattern) { return pattern.find_first_of("*?") != std::string_view::npos; }

bool MatchesWildcard(std::string_view pattern, std::string_view name) {
  if (pattern == "*" || pattern == "*.*") return true;
  // An ASCII letter of the pattern matches only an ASCII letter of the name, whatever the
  // case, and a '*' any run: without a '?' (one UTF-16 unit) the name's UTF-8 bytes answer
  // as its units would, unconverted.
  if (IsAscii(pattern) && (pattern.find('?') == std::string_view::npos || IsAscii(name))) {
    return Match(pattern, 0, name, 0);
  }
  const std::u16string p = Upcased(pattern);
  const std::u16string n = Upcased(name);
  return Match(std::u16string_view(p), 0, std::u16string_view(n), 0);
}

bool NameLess(std::string_view a, std::string_view b) {
  if (IsAscii(a) && IsAscii(b)) {
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
      if (Upcase(a[i]) != Upcase(b[i])) return Upcase(a[i]) < Upcase(b[i]);
    }
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  }
  const std::string ua = NameKey(a), ub = NameKey(b);
  return ua < ub || (ua == ub && Utf16Less(a, b));
}

}  // namespace baleport
