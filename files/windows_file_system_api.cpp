// The kernel32 file functions themselves.
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "files/file_system_api.h"
#include "support/utf16_text.h"
#include "support/windows_system.h"

static_assert(sizeof(OSVERSIONINFOW) == sizeof(baleport::OsVersionRecordW));
static_assert(sizeof(OSVERSIONINFOA) == sizeof(baleport::OsVersionRecordA));
static_assert(sizeof(wchar_t) == sizeof(char16_t));

namespace baleport {
namespace {

const wchar_t* Wide(const WideBuffer& buffer) { return reinterpret_cast<const wchar_t*>(buffer.data()); }

// Text between UTF-16 and the ANSI code page; an empty answer when it cannot convert.
std::string ToAnsi(const std::u16string& units) {
  const auto* wide = reinterpret_cast<const wchar_t*>(units.c_str());
  const int size = WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(units.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(std::max(size, 0)), '\0');
  if (size > 0) WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(units.size()), out.data(), size, nullptr, nullptr);
  return out;
}

std::u16string FromAnsi(const std::string& text) {
  const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::u16string out(static_cast<size_t>(std::max(size, 0)), u'\0');
  if (size > 0) {
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                        reinterpret_cast<wchar_t*>(out.data()), size);
  }
  return out;
}

class WindowsFileSystemApi final : public FileSystemApi {
 public:
  ModuleHandle LoadLibraryA(const char* name) override { return Keep(::LoadLibraryA(name)); }
  void* GetProcAddress(ModuleHandle module, const char* name) override {
    return Keep(reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(module), name)));
  }
  bool FreeLibrary(ModuleHandle module) override { return Keep(::FreeLibrary(static_cast<HMODULE>(module)) != 0); }

  bool GetVersionExW(OsVersionRecordW& record) override {
    return Keep(::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&record)) != 0);
  }
  bool GetVersionExA(OsVersionRecordA& record) override {
    return Keep(::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&record)) != 0);
  }
  uint32_t GetVersion() override { return Keep(static_cast<uint32_t>(::GetVersion())); }

  uint32_t GetFileAttributesW(const WideBuffer& path) override { return Keep(::GetFileAttributesW(Wide(path))); }
  uint32_t GetFileAttributesA(const std::string& path) override { return Keep(::GetFileAttributesA(path.c_str())); }
  bool SetFileAttributesW(const WideBuffer& path, uint32_t attributes) override {
    return Keep(::SetFileAttributesW(Wide(path), attributes) != 0);
  }
  bool SetFileAttributesA(const std::string& path, uint32_t attributes) override {
    return Keep(::SetFileAttributesA(path.c_str(), attributes) != 0);
  }

  FindHandle FindFirstFileW(const WideBuffer& spec, FindDataW& data) override {
    WIN32_FIND_DATAW found;
    const HANDLE handle = Keep(::FindFirstFileW(Wide(spec), &found));
    if (handle != INVALID_HANDLE_VALUE) Take(found, data);
    return reinterpret_cast<FindHandle>(handle);
  }
  FindHandle FindFirstFileA(const std::string& spec, FindDataA& data) override {
    WIN32_FIND_DATAA found;
    const HANDLE handle = Keep(::FindFirstFileA(spec.c_str(), &found));
    if (handle != INVALID_HANDLE_VALUE) Take(found, data);
    return reinterpret_cast<FindHandle>(handle);
  }
  bool FindNextFileW(FindHandle handle, FindDataW& data) override {
    WIN32_FIND_DATAW found;
    const bool ok = Keep(::FindNextFileW(reinterpret_cast<HANDLE>(handle), &found) != 0);
    if (ok) Take(found, data);
    return ok;
  }
  bool FindNextFileA(FindHandle handle, FindDataA& data) override {
    WIN32_FIND_DATAA found;
    const bool ok = Keep(::FindNextFileA(reinterpret_cast<HANDLE>(handle), &found) != 0);
    if (ok) Take(found, data);
    return ok;
  }
  bool FindClose(FindHandle handle) override { return Keep(::FindClose(reinterpret_cast<HANDLE>(handle)) != 0); }

  bool DeleteFileW(const WideBuffer& path) override { return Keep(::DeleteFileW(Wide(path)) != 0); }
  bool DeleteFileA(const std::string& path) override { return Keep(::DeleteFileA(path.c_str()) != 0); }

  uint32_t GetLastError() override { return ::GetLastError(); }
  uint32_t LastCallError() override { return last_call_error_; }

  std::string ErrorMessage(uint32_t code) override { return SystemMessage(code); }
  std::string ToCodePage(const std::string& text) override { return ToAnsi(Utf8ToUtf16(text)); }
  std::string FromCodePage(const std::string& text) override { return Utf16ToUtf8(FromAnsi(text)); }

  std::optional<FolderIdentity> IdentifyFolder(const WideBuffer& path) override {
    // Opening a folder needs backup semantics; links and junctions are followed.
    const HANDLE folder = ::CreateFileW(Wide(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = ::GetFileInformationByHandle(folder, &info) != 0 &&
                       (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    ::CloseHandle(folder);
    if (!known) return std::nullopt;
    return FolderIdentity{info.dwVolumeSerialNumber,
                          (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
  }

 private:
  // Takes the thread's last error right after a call, before anything can change it.
  template <typename T>
  T Keep(T result) {
    last_call_error_ = ::GetLastError();
    return result;
  }

  static void Take(const WIN32_FIND_DATAW& found, FindDataW& data) {
    data.fileAttributes = found.dwFileAttributes;
    std::memcpy(data.fileName.data(), found.cFileName, sizeof found.cFileName);
  }
  static void Take(const WIN32_FIND_DATAA& found, FindDataA& data) {
    data.fileAttributes = found.dwFileAttributes;
    std::memcpy(data.fileName.data(), found.cFileName, sizeof found.cFileName);
  }

  uint32_t last_call_error_ = 0;
};

}  // namespace

FileSystemApi& PlatformFileSystemApi() {
  static WindowsFileSystemApi api;
  return api;
}

}  // namespace baleport
