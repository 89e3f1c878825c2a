// Facts about Windows code pages that the .msg reader's decoder and the import's encoder
// both need: the name iconv knows a code page by, and how the Windows conversion functions
// must be called for it.
#pragma once

#include <cstdint>
#include <string>

namespace baleport {

// The iconv name of a Windows code page ("CP1252", "ISO-2022-JP", "UTF-8", ...).
std::string IconvCharset(uint32_t code_page);

// Characters carry a shift state or need more than a look at the last bytes (ISO-2022, HZ,
// UTF-7, GB18030): such text is converted in one call, since each call starts afresh.
inline bool ConvertedWhole(uint32_t code_page) {
  return code_page == 50220 || code_page == 50221 || code_page == 50222 || code_page == 50225 ||
         code_page == 52936 || code_page == 65000 || code_page == 54936;
}

// MultiByteToWideChar and WideCharToMultiByte refuse every flag for these code pages.
inline bool TakesNoFlags(uint32_t code_page) {
  return (code_page >= 50220 && code_page <= 50229) || code_page == 52936 || code_page == 65000 ||
         (code_page >= 57002 && code_page <= 57011) || code_page == 42;
}

// Each byte is one character and the conversion keeps no state (glibc's 1255 and 1258 combine
// accents with the letter before them, so they are not among these).
inline bool SingleByte(uint32_t code_page) {
  return code_page == 874 || (code_page >= 1250 && code_page <= 1257 && code_page != 1255) ||
         (code_page >= 28591 && code_page <= 28605) || code_page == 20866 || code_page == 21866;
}

// Multi-byte code pages without shift states in which a byte below 0x80 that starts a
// character is that ASCII character.
inline bool AsciiTransparent(uint32_t code_page) {
  return code_page == 932 || code_page == 936 || code_page == 949 || code_page == 950 || code_page == 65001;
}

}  // namespace baleport
