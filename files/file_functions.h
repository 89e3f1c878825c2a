// Choice between the wide (long-path, UTF-16) and narrow (code page) system functions,
// made once per process, the long-path buffer of the wide forms, and the last error.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "files/file_system_api.h"

namespace baleport {

struct FileFunctionSet {
  bool initialized = false;
  bool wideGetAttributes = false;
  bool wideSetAttributes = false;
  bool wideFindFirst = false;
  bool wideFindNext = false;
  bool wideDelete = false;
  bool versionQueryW = false;
  bool versionQueryA = false;
};

struct OsVersionInfo {
  uint32_t platformId = 0;  // 1 Windows 95/98/Me, 2 NT family
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
  bool ntFamily = false;
};

// Process-wide; used from the user-interface thread only.
extern FileFunctionSet FileFunctions;
extern OsVersionInfo OsVersion;
// 0 after a successful file operation, the system's code after a failed one, -1 when
// the system reported a failure without a code.
extern int32_t LastFileError;

// "Access is denied (system error 5)": the system's words for a LastFileError, and its code.
std::string FileErrorText(int32_t code);

void InitFileFunctions();
void GetOsVersionInfo();

// "\\?\" + path, or "\\?\UNC\" + path without its first two characters for a network
// path, as UTF-16LE bytes with one NUL unit at the end. The path is not examined further
// but for its separators: "/" is one on Windows, and "\\?\" would take it as part of a name.
WideBuffer LongPathBuffer(std::string_view path);

// The text before the first NUL of a fixed-size buffer the system filled.
template <typename Char>
std::basic_string_view<Char> CutAtNul(std::basic_string_view<Char> text) {
  return text.substr(0, text.find(Char{0}));
}

void CaptureLastError();

// The system calls of the file services go through this implementation.
FileSystemApi& ActiveFileSystemApi();
// Puts `api` in place of the platform's own (nullptr restores it) and forgets the
// function selection, so that the next operation selects again with the new one.
void UseFileSystemApi(FileSystemApi* api);

}  // namespace baleport
