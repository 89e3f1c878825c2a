#include "support/windows_text.h"

#include "support/utf16_text.h"

namespace baleport {

std::wstring ToWide(const std::string& text) {
  const std::u16string units = Utf8ToUtf16(text);
  return std::wstring(units.begin(), units.end());
}

std::string SystemMessage(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::u16string units(reinterpret_cast<const char16_t*>(text), n);
  LocalFree(text);
  while (!units.empty() && (units.back() == u'\r' || units.back() == u'\n' || units.back() == u' ')) units.pop_back();
  if (units.empty()) return "system error " + std::to_string(code);
  return Utf16ToUtf8(units);
}

}  // namespace baleport
