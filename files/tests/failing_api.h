// The platform's file functions with failures on order: a system without kernel32, failures
// that carry no code, a folder that cannot be listed. Everything else goes to the platform's own.
#pragma once

#include <algorithm>
#include <string>

#include "files/file_functions.h"
#include "files/file_system_api.h"
#include "support/path_separator.h"

namespace baleport::testing {

class FailingApi final : public FileSystemApi {
 public:
  bool kernel32Missing = false;
  // Every path call fails, and neither error query has a code.
  bool failWithoutCode = false;
  // Listing this folder (a path without a trailing separator) fails with access denied.
  std::string unlistableFolder;

  ModuleHandle LoadLibraryA(const char* name) override { return kernel32Missing ? nullptr : real_.LoadLibraryA(name); }
  void* GetProcAddress(ModuleHandle module, const char* name) override { return real_.GetProcAddress(module, name); }
  bool FreeLibrary(ModuleHandle module) override { return real_.FreeLibrary(module); }
  bool GetVersionExW(OsVersionRecordW& record) override { return real_.GetVersionExW(record); }
  bool GetVersionExA(OsVersionRecordA& record) override { return real_.GetVersionExA(record); }
  uint32_t GetVersion() override { return real_.GetVersion(); }
  uint32_t GetFileAttributesW(const WideBuffer& path) override {
    return failWithoutCode ? kInvalidFileAttributes : real_.GetFileAttributesW(path);
  }
  uint32_t GetFileAttributesA(const std::string& path) override {
    return failWithoutCode ? kInvalidFileAttributes : real_.GetFileAttributesA(path);
  }
  bool SetFileAttributesW(const WideBuffer& path, uint32_t attributes) override {
    return !failWithoutCode && real_.SetFileAttributesW(path, attributes);
  }
  bool SetFileAttributesA(const std::string& path, uint32_t attributes) override {
    return !failWithoutCode && real_.SetFileAttributesA(path, attributes);
  }
  FindHandle FindFirstFileW(const WideBuffer& spec, FindDataW& data) override {
    WideBuffer folder = unlistableFolder.empty() ? WideBuffer() : LongPathBuffer(unlistableFolder + kPathSeparator);
    if (!folder.empty()) folder.resize(folder.size() - 2);  // the NUL unit
    return Listed(!folder.empty() && spec.size() >= folder.size() && std::equal(folder.begin(), folder.end(), spec.begin()))
               ? real_.FindFirstFileW(spec, data)
               : kInvalidFindHandle;
  }
  FindHandle FindFirstFileA(const std::string& spec, FindDataA& data) override {
    return Listed(!unlistableFolder.empty() && spec.starts_with(unlistableFolder + kPathSeparator))
               ? real_.FindFirstFileA(spec, data)
               : kInvalidFindHandle;
  }
  bool FindNextFileW(FindHandle handle, FindDataW& data) override {
    return !failWithoutCode && real_.FindNextFileW(handle, data);
  }
  bool FindNextFileA(FindHandle handle, FindDataA& data) override {
    return !failWithoutCode && real_.FindNextFileA(handle, data);
  }
  bool FindClose(FindHandle handle) override { return real_.FindClose(handle); }
  bool DeleteFileW(const WideBuffer& path) override { return !failWithoutCode && real_.DeleteFileW(path); }
  bool DeleteFileA(const std::string& path) override { return !failWithoutCode && real_.DeleteFileA(path); }
  uint32_t GetLastError() override { return injectedError_ != 0 ? injectedError_ : failWithoutCode ? 0 : real_.GetLastError(); }
  uint32_t LastCallError() override {
    return injectedError_ != 0 ? injectedError_ : failWithoutCode ? 0 : real_.LastCallError();
  }
  std::string ErrorMessage(uint32_t code) override { return real_.ErrorMessage(code); }
  std::string ToCodePage(const std::string& text) override { return real_.ToCodePage(text); }
  std::string FromCodePage(const std::string& text) override { return real_.FromCodePage(text); }
  std::optional<FolderIdentity> IdentifyFolder(const WideBuffer& path) override { return real_.IdentifyFolder(path); }

 private:
  // Whether a listing goes ahead: not in the unlistable folder (access denied), nor failing.
  bool Listed(bool inUnlistable) {
    injectedError_ = inUnlistable ? 5 : 0;
    return !inUnlistable && !failWithoutCode;
  }

  FileSystemApi& real_ = PlatformFileSystemApi();
  uint32_t injectedError_ = 0;  // the code of the last call failed on purpose, or 0
};

// Puts a FailingApi in place for its lifetime; the selection runs afresh on either side.
struct FailingApiInPlace {
  FailingApiInPlace() { UseFileSystemApi(&api); }
  ~FailingApiInPlace() { UseFileSystemApi(nullptr); }
  FailingApi api;
};

}  // namespace baleport::testing
