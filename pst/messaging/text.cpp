#include "pst/messaging/text.h"

#include <algorithm>
#include <cstdint>

#include "support/utf16_text.h"

namespace baleport::pst {

std::string Utf8ToUtf16Le(std::string_view s) {
  const std::u16string units = Utf8ToUtf16(s, BadText::kReplace);
  std::string out(units.size() * 2, '\0');
  for (size_t i = 0; i < units.size(); ++i) {
    out[2 * i] = static_cast<char>(units[i] & 0xFF);
    out[2 * i + 1] = static_cast<char>(units[i] >> 8);
  }
  return out;
}

std::string Utf16LeToUtf8(std::string_view s) {
  std::u16string units(s.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(static_cast<uint8_t>(s[2 * i]) | (static_cast<uint8_t>(s[2 * i + 1]) << 8));
  return Utf16ToUtf8(units, BadText::kReplace);
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

std::string_view UnmarkedSubject(std::string_view utf16) {
  if (utf16.size() >= 4 && utf16[0] == '\x01' && utf16[1] == '\0') utf16.remove_prefix(4);
  return utf16;
}

bool SameFolderName(std::string_view a, std::string_view b) { return FoldedFolderName(a) == FoldedFolderName(b); }

}  // namespace baleport::pst
