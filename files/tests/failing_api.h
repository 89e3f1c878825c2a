// The platform's file functions with failures on order: a system without kernel32, failing
// version queries, failures that carry no code, a folder that cannot be listed.
#pragma once

#include <string>

#include "files/file_functions.h"
#include "files/file_system_api.h"

namespace baleport::testing {

class FailingApi final : public FileSystemApi {
 public:
  bool kernel32Missing = false;
  bool versionExWFails = false;
  bool versionExAFails = false;
  // Every path call fails, and neither error query has a code.
  bool failWithoutCode = false;
  // Listing this folder (a path without a trailing separator) fails with access denied.
  std::string unlistableFolder;

  ModuleHandle LoadLibraryA(const char* name) override;
  void* GetProcAddress(ModuleHandle module, const char* name) override;
  bool FreeLibrary(ModuleHandle module) override;
  bool GetVersionExW(OsVersionRecordW& record) override;
  bool GetVersionExA(OsVersionRecordA& record) override;
  uint32_t GetVersion() override;
  uint32_t GetFileAttributesW(const WideBuffer& path) override;
  uint32_t GetFileAttributesA(const std::string& path) override;
  bool SetFileAttributesW(const WideBuffer& path, uint32_t attributes) override;
  bool SetFileAttributesA(const std::string& path, uint32_t attributes) override;
  FindHandle FindFirstFileW(const WideBuffer& spec, FindDataW& data) override;
  FindHandle FindFirstFileA(const std::string& spec, FindDataA& data) override;
  bool FindNextFileW(FindHandle handle, FindDataW& data) override;
  bool FindNextFileA(FindHandle handle, FindDataA& data) override;
  bool FindClose(FindHandle handle) override;
  bool DeleteFileW(const WideBuffer& path) override;
  bool DeleteFileA(const std::string& path) override;
  uint32_t GetLastError() override;
  uint32_t LastCallError() override;
  std::string ErrorMessage(uint32_t code) override;
  std::string ToCodePage(const std::string& text) override;
  std::string FromCodePage(const std::string& text) override;
  std::optional<FolderIdentity> IdentifyFolder(const WideBuffer& path) override;

 private:
  bool Unlistable(const WideBuffer& spec) const;
  bool Unlistable(const std::string& spec) const;

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
