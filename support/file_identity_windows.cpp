// File identity on Windows: volume serial number and file index, as NTFS tells files apart.
#include <windows.h>

#include <memory>

#include "support/file_identity.h"
#include "support/utf16_text.h"
#include "support/windows_system.h"

namespace baleport {
namespace {

struct HandleCloser {
  void operator()(HANDLE h) const { CloseHandle(h); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// Opened for its attributes only, shared with everyone, folders included; links are followed.
Result<Handle> OpenForQuery(const std::string& path, const char* what) {
  HANDLE h = CreateFileW(SystemPath(path).c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return SystemError(what, path);
  return Handle(h);
}

// FILETIME and the LARGE_INTEGER times count 100 ns from 1601.
int64_t Nanoseconds(int64_t ticks) { return ticks * 100; }

}  // namespace

Result<FileIdentity> IdentifyFile(const std::string& path) {
  Result<Handle> h = OpenForQuery(path, "examining");
  if (!h.ok()) return h.status();
  return IdentifyHandle(h->get(), path);
}

Result<FileIdentity> IdentifyHandle(void* handle, const std::string& path) {
  BY_HANDLE_FILE_INFORMATION info;
  FILE_BASIC_INFO times;
  if (!GetFileInformationByHandle(handle, &info) ||
      !GetFileInformationByHandleEx(handle, FileBasicInfo, &times, sizeof times)) {
    return SystemError("examining", path);
  }
  return FileIdentity{info.dwVolumeSerialNumber, (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow,
                      (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow, Nanoseconds(times.LastWriteTime.QuadPart),
                      Nanoseconds(times.ChangeTime.QuadPart)};
}

Result<std::string> RealPath(const std::string& path) {
  Result<Handle> h = OpenForQuery(path, "resolving");
  if (!h.ok()) return h.status();
  std::wstring real(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetFinalPathNameByHandleW(h->get(), real.data(), static_cast<DWORD>(real.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0) return SystemError("resolving", path);
    const bool fitted = n < real.size();
    real.resize(n);
    if (fitted) break;
  }
  // Given back in the form the user knows: "C:\..." and "\\server\share\...".
  if (real.starts_with(L"\\\\?\\UNC\\")) {
    real = L"\\" + real.substr(7);
  } else if (real.starts_with(L"\\\\?\\")) {
    real = real.substr(4);
  }
  return Utf16ToUtf8(std::u16string(real.begin(), real.end()));
}

bool RealPathIsInside(const std::string& path, const std::string& realFolder) {
  Result<std::string> real = RealPath(path);
  if (!real.ok()) return false;
  const std::string prefix = realFolder.ends_with('\\') ? realFolder : realFolder + "\\";
  return real->starts_with(prefix);
}

}  // namespace baleport
