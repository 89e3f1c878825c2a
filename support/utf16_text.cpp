#include "support/utf16_text.h"

#include <cstdint>
#include <cstring>

#include "support/little_endian.h"  // the targets are little-endian: UTF-16LE bytes are the units' own

namespace baleport {
namespace {

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

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
  const auto* in = reinterpret_cast<const unsigned char*>(text.data());
  const size_t size = text.size();
  size_t n = 0;
  for (size_t i = 0; i < size;) {
    const unsigned char byte = in[i];
    if (byte < 0x80) {
      out[n++] = byte;
      ++i;
      continue;
    }
    // Well-formed two- and three-byte sequences, most of any non-Latin name, without the
    // general decoder's checks; everything else goes through it.
    if ((byte & 0xE0) == 0xC0 && i + 1 < size && IsContinuation(in[i + 1]) && byte >= 0xC2) {
      out[n++] = static_cast<char16_t>(((byte & 0x1F) << 6) | (in[i + 1] & 0x3F));
      i += 2;
      continue;
    }
    if ((byte & 0xF0) == 0xE0 && i + 2 < size && IsContinuation(in[i + 1]) && IsContinuation(in[i + 2])) {
      const char32_t cp = ((byte & 0x0F) << 12) | ((in[i + 1] & 0x3F) << 6) | (in[i + 2] & 0x3F);
      if (cp >= 0x800 && (cp < 0xD800 || cp > 0xDFFF)) {
        out[n++] = static_cast<char16_t>(cp);
        i += 3;
        continue;
      }
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

namespace {

bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// What the unit at text[i] becomes: a pair's code point (the caller skips its second unit),
// an escaped byte as U+DC80..U+DCFF, another lone surrogate as U+FFFD, else the unit.
char32_t CodePointAt(std::u16string_view text, size_t i, bool escape) {
  const char16_t u = text[i];
  if (u < 0xD800 || u > 0xDFFF) return u;
  if (IsHighSurrogate(u) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
    return 0x10000 + ((char32_t(u) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
  }
  return escape && u >= 0xDC80 && u <= 0xDCFF ? u : 0xFFFD;
}

// Writes a code point from CodePointAt, returning the end of what was written.
char* PutUtf8(char* p, char32_t cp) {
  if (cp < 0x80 || (cp >= 0xDC80 && cp <= 0xDCFF)) {
    *p++ = static_cast<char>(cp < 0x80 ? cp : cp - 0xDC00);
  } else if (cp < 0x800) {
    *p++ = static_cast<char>(0xC0 | (cp >> 6));
    *p++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *p++ = static_cast<char>(0xE0 | (cp >> 12));
    *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *p++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *p++ = static_cast<char>(0xF0 | (cp >> 18));
    *p++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *p++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return p;
}

size_t Utf8Size(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xDC80 && cp <= 0xDCFF)) return 1;
  return cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

// Writes text as UTF-8 from p, at most three bytes a unit; returns the end.
char* WriteUtf8(char* p, std::u16string_view text, bool escape) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    if (u < 0x80) {
      *p++ = static_cast<char>(u);
    } else if (u < 0x800) {
      *p++ = static_cast<char>(0xC0 | (u >> 6));
      *p++ = static_cast<char>(0x80 | (u & 0x3F));
    } else if (u < 0xD800 || u > 0xDFFF) {
      *p++ = static_cast<char>(0xE0 | (u >> 12));
      *p++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      *p++ = static_cast<char>(0x80 | (u & 0x3F));
    } else {
      const char32_t cp = CodePointAt(text, i, escape);
      p = PutUtf8(p, cp);
      if (cp >= 0x10000) ++i;
    }
  }
  return p;
}

}  // namespace

// Texts up to this many units (names, most values) are written at once into room for the
// most they can take, three bytes a unit; longer ones into a string sized first.
constexpr size_t kOnStack = 256;

// Written in place, never a byte at a time.
std::string Utf16ToUtf8(std::u16string_view text, BadText bad) {
  const bool escape = bad == BadText::kEscape;
  if (text.size() <= kOnStack) {
    char buffer[kOnStack * 3];
    return std::string(buffer, WriteUtf8(buffer, text, escape));
  }
  size_t size = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    if (u < 0xD800 || u > 0xDFFF) {
      size += u < 0x80 ? 1 : u < 0x800 ? 2 : 3;
    } else {
      const char32_t cp = CodePointAt(text, i, escape);
      size += Utf8Size(cp);
      if (cp >= 0x10000) ++i;
    }
  }
  std::string out(size, '\0');
  WriteUtf8(out.data(), text, escape);
  return out;
}

void AssignUtf8(std::string& out, std::u16string_view text, BadText bad) {
  if (text.size() > kOnStack) {
    out = Utf16ToUtf8(text, bad);
    return;
  }
  out.resize(text.size() * 3);
  out.resize(static_cast<size_t>(WriteUtf8(out.data(), text, bad == BadText::kEscape) - out.data()));
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
