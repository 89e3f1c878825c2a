#include "support/utf16_text.h"

#include <cstdint>
#include <cstring>

#include "support/little_endian.h"  // the targets are little-endian: UTF-16LE bytes are the units' own

namespace baleport {
namespace {

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

char32_t DecodeUtf8(std::string_view text, size_t& i) {
  const auto b0 = static_cast<unsigned char>(text[i]);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  size_t len = 0;
  char32_t cp = 0, min = 0;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, cp = b0 & 0x07, min = 0x10000;
  }
  bool valid = len != 0 && i + len <= text.size();
  for (size_t k = 1; valid && k < len; ++k) {
    const auto c = static_cast<unsigned char>(text[i + k]);
    valid = IsContinuation(c);
    cp = (cp << 6) | (c & 0x3F);
  }
  if (!valid || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return 0xDC00 + b0;
  }
  i += len;
  return cp;
}

std::u16string Utf8ToUtf16(std::string_view text, BadText bad) {
  std::u16string out(text.size(), u'\0');  // never more units than bytes
  size_t n = 0;
  for (size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      out[n++] = byte;
      ++i;
      continue;
    }
    char32_t cp = DecodeUtf8(text, i);
    if (bad == BadText::kReplace && cp >= 0xDC80 && cp <= 0xDCFF) cp = 0xFFFD;
    if (cp < 0x10000) {
      out[n++] = static_cast<char16_t>(cp);
    } else {
      out[n++] = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out[n++] = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    }
  }
  out.resize(n);
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text, BadText bad) {
  std::string out;
  out.reserve(text.size());
  size_t ascii = 0;
  while (ascii < text.size() && text[ascii] < 0x80) ++ascii;
  out.resize(ascii);
  for (size_t i = 0; i < ascii; ++i) out[i] = static_cast<char>(text[i]);
  for (size_t i = ascii; i < text.size(); ++i) {
    const char16_t u = text[i];
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (bad == BadText::kEscape && u >= 0xDC80 && u <= 0xDCFF) {
      out += static_cast<char>(u - 0xDC00);  // an escaped byte of a non-UTF-8 name
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      AppendUtf8(out, 0xFFFD);
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

std::string Utf16LeBytes(std::u16string_view units) {
  return std::string(reinterpret_cast<const char*>(units.data()), units.size() * 2);
}

std::u16string Utf16FromLeBytes(std::string_view bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  std::memcpy(units.data(), bytes.data(), units.size() * 2);
  return units;
}

}  // namespace baleport
