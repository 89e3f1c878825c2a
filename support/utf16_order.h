// Binary text order by UTF-16 code units, for texts held as UTF-8.
#pragma once

#include <string_view>

namespace baleport {

// -1, 0 or 1 as a is before, equal to or after b when both are read as UTF-16 code
// units (case-sensitive, no locale; a proper prefix comes first). Bytes that are not
// valid UTF-8 order as the lone surrogates U+DC80..U+DCFF, so every byte string has
// its place.
int CompareUtf16(std::string_view a, std::string_view b);

inline bool Utf16Less(std::string_view a, std::string_view b) { return CompareUtf16(a, b) < 0; }

}  // namespace baleport
