// What the Windows conversion functions need to know of a code page, shared by the decoder and
// the HTML body's encoder.
#pragma once

#include <cstdint>

namespace baleport::msg {

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

}  // namespace baleport::msg
