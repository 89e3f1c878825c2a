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

namespace {

// GetFullPathNameW's answer; the path itself when it has none.
std::wstring FullPathWide(const std::wstring& wide) {
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0) return wide;  // the call that follows reports what is wrong with it
    if (n < full.size()) {
      full.resize(n);
      return full;
    }
    full.resize(n);
  }
}

}  // namespace

std::string FullPath(const std::string& path) {
  const std::wstring full = FullPathWide(ToWide(path));
  return Utf16ToUtf8(std::u16string(full.begin(), full.end()));
}

// The full path ("\\?\C:\...", "\\?\UNC\server\share\...") of a relative or absolute one:
// the prefix lifts the 260-character limit but turns off the resolution of "." and "..",
// which GetFullPathNameW does first.
std::wstring SystemPath(const std::string& path) {
  const std::wstring wide = ToWide(path);
  if (wide.starts_with(L"\\\\?\\")) return wide;
  const std::wstring full = FullPathWide(wide);
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

namespace {

StatusCode CodeOfSystemError(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: return StatusCode::kNotFound;
    case ERROR_FILE_EXISTS: case ERROR_ALREADY_EXISTS: return StatusCode::kAlreadyExists;
    case ERROR_DISK_FULL: case ERROR_HANDLE_DISK_FULL: return StatusCode::kNoSpace;
    default: return StatusCode::kIOError;
  }
}

}  // namespace

Status SystemError(const std::string& what, const std::string& path, DWORD code) {
  return Status::Error(CodeOfSystemError(code), what + " " + path + " failed: " + SystemMessage(code));
}

}  // namespace baleport
