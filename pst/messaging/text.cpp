#include "pst/messaging/text.h"

#include <algorithm>
#include <cstdint>

#include "support/ascii_case.h"
#include "support/utf16_text.h"

namespace baleport::pst {

std::string Utf8ToUtf16Le(std::string_view s) { return Utf16LeBytes(Utf8ToUtf16(s, BadText::kReplace)); }

std::string Utf16LeToUtf8(std::string_view s) {
  return Utf16ToUtf8(Utf16FromLeBytes(s), BadText::kReplace);
}

std::string FoldedFolderName(std::string_view name) {
  // As the store keeps the name: bytes that are not UTF-8 (from a file system that allows
  // them) are U+FFFD there, and must find that folder again.
  const bool ascii = std::all_of(name.begin(), name.end(), [](char c) { return static_cast<uint8_t>(c) < 0x80; });
  return AsciiLowercase(ascii ? name : Utf16LeToUtf8(Utf8ToUtf16Le(name)));
}

std::string_view UnmarkedSubject(std::string_view utf16) {
  if (utf16.size() >= 4 && utf16[0] == '\x01' && utf16[1] == '\0') utf16.remove_prefix(4);
  return utf16;
}

}  // namespace baleport::pst
