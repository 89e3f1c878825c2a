// The kernel32 file functions on POSIX systems, answering as Windows would.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <optional>
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
//
// The search enumerates every folder twice, first for its subfolders, then for the
// pattern, taking each entry's attributes from the enumeration. The second enumeration
// is therefore made from the reading of the first when that was closed by the call just
// before and is younger than kFreshFor: one stat per entry instead of two.
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
  std::string ErrorMessage(uint32_t code) override;
  std::string ToCodePage(const std::string& text) override { return text; }
  std::string FromCodePage(const std::string& text) override { return text; }
  std::optional<FolderIdentity> IdentifyFolder(const WideBuffer& path) override;

 private:
  struct Entry {
    std::string name;
    std::u16string units;  // the name as the wide calls deliver it, converted once
    uint32_t attributes;
  };
  // One reading of a folder: "." and ".." first, then NTFS order. `prefix` is the folder
  // part of the specification, up to and including its last '/'.
  static constexpr std::chrono::milliseconds kFreshFor{250};
  struct Listing {
    std::string prefix;
    std::vector<Entry> entries;
    bool wholeFolder;  // false for the single entry of a name without wildcards
    std::chrono::steady_clock::time_point readAt;
    bool Fresh() const { return std::chrono::steady_clock::now() - readAt < kFreshFor; }
  };
  struct Enumeration {
    std::shared_ptr<const Listing> listing;
    std::vector<size_t> matches;
    size_t next = 0;
    // Made from the listing of the enumeration closed just before. Such a listing, or one
    // no longer fresh, is not kept for another: a large folder's listing would be held
    // through the whole conversion that follows the search.
    bool reused = false;
  };

  uint32_t Attributes(const std::string& path);
  bool SetAttributes(const std::string& path, uint32_t attributes);
  bool Delete(const std::string& path);
  // The whole folder named by prefix, or nullptr with last_error_ set.
  std::shared_ptr<const Listing> Read(const std::string& prefix);
  // Starts an enumeration and delivers its first entry, or nullptr with last_error_ set.
  const Entry* Start(const std::string& spec, FindHandle& handle);
  // The next entry of an enumeration, or nullptr with last_error_ set.
  const Entry* Next(FindHandle handle);
  // Forgets what the previous call left for reuse; every call starts with it.
  void Settle();
  bool Fail(uint32_t code);

  uint32_t last_error_ = 0;
  std::map<FindHandle, Enumeration> enumerations_;
  FindHandle next_handle_ = 1;
  // Left by the previous call for the one that follows it.
  std::shared_ptr<const Listing> just_closed_;
};

}  // namespace baleport
