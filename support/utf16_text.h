// Conversion between the internal UTF-8 text and the UTF-16 of the wide system calls.
#pragma once

#include <string>
#include <string_view>

namespace baleport {

// Bytes that are not valid UTF-8 become the lone surrogates U+DC80..U+DCFF, and those
// surrogates become the bytes again, so any POSIX file name survives the round trip.
std::u16string Utf8ToUtf16(std::string_view text);
// Other lone surrogates (which no POSIX name can produce) become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// The code point at text[i], advancing i past it; an invalid byte b gives U+DC00 + b.
char32_t DecodeUtf8(std::string_view text, size_t& i);

}  // namespace baleport
