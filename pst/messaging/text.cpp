#include "pst/messaging/text.h"

#include <algorithm>
#include <cstdint>

namespace baleport::pst {

namespace {

void PutUnit(std::string& out, uint32_t u) {
  out.push_back(static_cast<char>(u & 0xFF));
  out.push_back(static_cast<char>(u >> 8));
}

void PutUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace

std::string Utf8ToUtf16Le(std::string_view s) {
  std::string out;
  out.reserve(s.size() * 2);
  size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<uint8_t>(s[i]);
    uint32_t cp = 0xFFFD;
    size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (len == 1) {
      cp = b;
    } else if (len > 1 && i + len <= s.size()) {
      cp = b & (0x7F >> len);
      for (size_t k = 1; k < len; ++k) {
        const auto c = static_cast<uint8_t>(s[i + k]);
        if ((c & 0xC0) != 0x80) {
          len = 0;
          break;
        }
        cp = (cp << 6) | (c & 0x3F);
      }
      static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
      if (len == 0 || cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) {
        cp = 0xFFFD;
        len = len == 0 ? 1 : len;
      }
    }
    if (len == 0 || i + len > s.size()) len = 1;
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      PutUnit(out, 0xD800 | (cp >> 10));
      PutUnit(out, 0xDC00 | (cp & 0x3FF));
    } else {
      PutUnit(out, cp);
    }
  }
  return out;
}

std::string Utf16LeToUtf8(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i + 1 < s.size(); i += 2) {
    uint32_t u = static_cast<uint8_t>(s[i]) | (static_cast<uint32_t>(static_cast<uint8_t>(s[i + 1])) << 8);
    if (u >= 0xD800 && u < 0xDC00 && i + 3 < s.size()) {
      uint32_t v = static_cast<uint8_t>(s[i + 2]) | (static_cast<uint32_t>(static_cast<uint8_t>(s[i + 3])) << 8);
      if (v >= 0xDC00 && v < 0xE000) {
        PutUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
        i += 2;
        continue;
      }
    }
    PutUtf8(out, (u >= 0xD800 && u < 0xE000) ? 0xFFFD : u);
  }
  return out;
}

std::string FoldedFolderName(std::string_view name) {
  // As the store keeps the name: bytes that are not UTF-8 (from a file system that allows
  // them) are U+FFFD there, and must find that folder again.
  const bool ascii = std::all_of(name.begin(), name.end(), [](char c) { return static_cast<uint8_t>(c) < 0x80; });
  std::string out = ascii ? std::string(name) : Utf16LeToUtf8(Utf8ToUtf16Le(name));
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool SameFolderName(std::string_view a, std::string_view b) { return FoldedFolderName(a) == FoldedFolderName(b); }

}  // namespace baleport::pst
