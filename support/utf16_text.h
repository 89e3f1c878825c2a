// Conversion between the internal UTF-8 text and the UTF-16 of the wide system calls.
#pragma once

#include <string>
#include <string_view>

namespace baleport {

// What becomes of text that is not valid UTF-8 or UTF-16.
enum class BadText {
  // Bytes that are not UTF-8 become the lone surrogates U+DC80..U+DCFF and those surrogates
  // the bytes again, so any POSIX file name survives the round trip; other lone
  // surrogates (which no file name produces) become U+FFFD.
  kEscape,
  // Everything invalid becomes U+FFFD: for message and store text.
  kReplace,
};

std::u16string Utf8ToUtf16(std::string_view text, BadText bad = BadText::kEscape);
std::string Utf16ToUtf8(std::u16string_view text, BadText bad = BadText::kEscape);
// The same into `out`, reusing its buffer: one name after another, without an allocation each.
void AssignUtf8(std::string& out, std::u16string_view text, BadText bad = BadText::kEscape);
// The code units as little-endian bytes, two per unit, as files and stores hold them, and
// back (an odd last byte is dropped).
std::string Utf16LeBytes(std::u16string_view units);
std::u16string Utf16FromLeBytes(std::string_view bytes);

// The code point at text[i], advancing i past it; an invalid byte b gives U+DC00 + b.
char32_t DecodeUtf8(std::string_view text, size_t& i);

}  // namespace baleport
