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

}  // namespace baleport
