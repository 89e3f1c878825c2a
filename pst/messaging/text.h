// Conversions between the UTF-8 of the interface and the UTF-16LE the store holds.
#pragma once

#include <string>
#include <string_view>

namespace baleport::pst {

// Invalid UTF-8 bytes become U+FFFD.
std::string Utf8ToUtf16Le(std::string_view utf8);
// Unpaired surrogates become U+FFFD; an odd last byte is dropped.
std::string Utf16LeToUtf8(std::string_view utf16);
// A stored subject (UTF-16LE) without the leading U+0001 and prefix length Outlook puts
// before it.
std::string_view UnmarkedSubject(std::string_view utf16);
// Folder names compare without regard to ASCII case, as Outlook treats them: equal names
// have equal folded forms.
std::string FoldedFolderName(std::string_view name);

}  // namespace baleport::pst
