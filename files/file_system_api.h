// The one door of the file services to the system: the kernel32 file functions, with the
// same names, arguments and answers. Windows passes them through; POSIX systems get an
// adapter that gives the answers Windows would.
#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace baleport {

// UTF-16LE code units as bytes, ending in one NUL unit: what the wide calls receive.
using WideBuffer = std::vector<std::byte>;
// An enumeration handle; kInvalidFindHandle (INVALID_HANDLE_VALUE) when none was opened.
using FindHandle = std::intptr_t;
inline constexpr FindHandle kInvalidFindHandle = -1;
// The answer of an attribute query that failed.
inline constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFF;
// Length of the name fields of the find-data records (MAX_PATH).
inline constexpr size_t kMaxPath = 260;

// The parts of WIN32_FIND_DATAW / WIN32_FIND_DATAA that the file services read.
struct FindDataW {
  uint32_t fileAttributes = 0;
  std::array<char16_t, kMaxPath> fileName{};
};
struct FindDataA {
  uint32_t fileAttributes = 0;
  std::array<char, kMaxPath> fileName{};
};

// The layouts of OSVERSIONINFOW and OSVERSIONINFOA.
struct OsVersionRecordW {
  uint32_t size;
  uint32_t major;
  uint32_t minor;
  uint32_t build;
  uint32_t platformId;
  char16_t servicePack[128];
};
static_assert(sizeof(OsVersionRecordW) == 276);
struct OsVersionRecordA {
  uint32_t size;
  uint32_t major;
  uint32_t minor;
  uint32_t build;
  uint32_t platformId;
  char servicePack[128];
};
static_assert(sizeof(OsVersionRecordA) == 148);

// Which folder a path leads to once links are resolved: volume and file number.
struct FolderIdentity {
  uint64_t volume = 0;
  uint64_t index = 0;
  auto operator<=>(const FolderIdentity&) const = default;
};

using ModuleHandle = void*;

class FileSystemApi {
 public:
  virtual ~FileSystemApi() = default;

  virtual ModuleHandle LoadLibraryA(const char* name) = 0;
  virtual void* GetProcAddress(ModuleHandle module, const char* name) = 0;
  virtual bool FreeLibrary(ModuleHandle module) = 0;

  virtual bool GetVersionExW(OsVersionRecordW& record) = 0;
  virtual bool GetVersionExA(OsVersionRecordA& record) = 0;
  virtual uint32_t GetVersion() = 0;

  // The A forms take paths in the system code page (see ToCodePage).
  virtual uint32_t GetFileAttributesW(const WideBuffer& path) = 0;
  virtual uint32_t GetFileAttributesA(const std::string& path) = 0;
  virtual bool SetFileAttributesW(const WideBuffer& path, uint32_t attributes) = 0;
  virtual bool SetFileAttributesA(const std::string& path, uint32_t attributes) = 0;
  virtual FindHandle FindFirstFileW(const WideBuffer& spec, FindDataW& data) = 0;
  virtual FindHandle FindFirstFileA(const std::string& spec, FindDataA& data) = 0;
  virtual bool FindNextFileW(FindHandle handle, FindDataW& data) = 0;
  virtual bool FindNextFileA(FindHandle handle, FindDataA& data) = 0;
  virtual bool FindClose(FindHandle handle) = 0;
  virtual bool DeleteFileW(const WideBuffer& path) = 0;
  virtual bool DeleteFileA(const std::string& path) = 0;

  virtual uint32_t GetLastError() = 0;
  // The error code of the most recent call above, taken right after that call, before
  // anything else in the process could overwrite the thread's last error.
  virtual uint32_t LastCallError() = 0;

  // The system's words for an error code: FormatMessageW on Windows; on POSIX, Windows' own
  // words for the codes it gives.
  virtual std::string ErrorMessage(uint32_t code) = 0;

  // UTF-8 to the system code page and back (the identity where that is UTF-8).
  virtual std::string ToCodePage(const std::string& text) = 0;
  virtual std::string FromCodePage(const std::string& text) = 0;

  // The loop guard of the search: the folder that a path leads to, or nothing when it
  // cannot be told. Does not set the last error.
  virtual std::optional<FolderIdentity> IdentifyFolder(const WideBuffer& path) = 0;
};

// The implementation for the system the program runs on.
FileSystemApi& PlatformFileSystemApi();

}  // namespace baleport
