#include "support/windows_system.h"

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

// The full path ("\\?\C:\...", "\\?\UNC\server\share\...") of a relative or absolute one:
// the prefix lifts the 260-character limit but turns off the resolution of "." and "..",
// which GetFullPathNameW does first.
std::wstring SystemPath(const std::string& path) {
  const std::wstring wide = ToWide(path);
  if (wide.starts_with(L"\\\\?\\")) return wide;
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0) return wide;  // the open that follows reports what is wrong with it
    if (n < full.size()) {
      full.resize(n);
      break;
    }
    full.resize(n);
  }
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

Status SystemError(const std::string& what, const std::string& path, DWORD code) {
  return Status::Error(what + " " + path + " failed: " + SystemMessage(code));
}

}  // namespace baleport
