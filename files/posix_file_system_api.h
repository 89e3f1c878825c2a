// The kernel32 file functions on POSIX systems, answering as Windows would.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "files/file_system_api.h"

namespace baleport {

// Paths are UTF-8 of any length (beyond PATH_MAX they are walked folder by folder).
// Attribute words: 0x10 folder; 0x01 read-only when the owner's write bit is clear
// (mode bits rather than access(), which always says yes to root); 0x02 hidden for
// names starting with a dot; 0x400 for a symbolic link; 0x80 when nothing else is set.
// Enumerations list "." and ".." first (not for "/", a drive root), then the matching
// names sorted as NTFS sorts them, without regard to case.
class PosixFileSystemApi final : public FileSystemApi {
 public:
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
  uint32_t GetLastError() override { return last_error_; }
  uint32_t LastCallError() override { return last_error_; }
  std::string ToCodePage(const std::string& text) override { return text; }
  std::string FromCodePage(const std::string& text) override { return text; }
  std::optional<FolderIdentity> IdentifyFolder(const WideBuffer& path) override;

 private:
  struct Entry {
    std::string name;
    uint32_t attributes;
  };
  struct Enumeration {
    std::vector<Entry> entries;
    size_t next = 0;
  };

  uint32_t Attributes(const std::string& path);
  bool SetAttributes(const std::string& path, uint32_t attributes);
  bool Delete(const std::string& path);
  // The entries of spec, or false with last_error_ set.
  bool List(const std::string& spec, std::vector<Entry>& entries);
  FindHandle Open(std::vector<Entry> entries);
  // The next entry of an enumeration, or nullptr with last_error_ set.
  const Entry* Next(FindHandle handle);
  bool Fail(uint32_t code);

  uint32_t last_error_ = 0;
  std::map<FindHandle, Enumeration> enumerations_;
  FindHandle next_handle_ = 1;
};

}  // namespace baleport
