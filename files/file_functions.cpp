#include "files/file_functions.h"

#include <cstring>

#include "support/path_separator.h"
#include "support/utf16_text.h"

namespace baleport {

FileFunctionSet FileFunctions;
OsVersionInfo OsVersion;
int32_t LastFileError = 0;

namespace {

FileSystemApi* active_api = nullptr;

constexpr uint32_t kPlatformWindows9x = 1;
constexpr uint32_t kPlatformNt = 2;

}  // namespace

FileSystemApi& ActiveFileSystemApi() { return active_api ? *active_api : PlatformFileSystemApi(); }

void UseFileSystemApi(FileSystemApi* api) {
  active_api = api;
  FileFunctions = FileFunctionSet{};
  OsVersion = OsVersionInfo{};
}

void InitFileFunctions() {
  // Set first: detection is attempted once, whatever happens below.
  FileFunctions.initialized = true;
  FileSystemApi& api = ActiveFileSystemApi();
  ModuleHandle kernel32 = api.LoadLibraryA("kernel32");
  if (kernel32 == nullptr) return;
  FileFunctions.versionQueryA = api.GetProcAddress(kernel32, "GetVersionExA") != nullptr;
  FileFunctions.versionQueryW = api.GetProcAddress(kernel32, "GetVersionExW") != nullptr;
  GetOsVersionInfo();
  api.FreeLibrary(kernel32);
  if (OsVersion.ntFamily) {
    FileFunctions.wideGetAttributes = true;
    FileFunctions.wideSetAttributes = true;
    FileFunctions.wideFindFirst = true;
    FileFunctions.wideFindNext = true;
    FileFunctions.wideDelete = true;
  }
}

void GetOsVersionInfo() {
  FileSystemApi& api = ActiveFileSystemApi();
  // A version query that fails is dropped and the next one down is tried.
  for (;;) {
    if (FileFunctions.versionQueryW) {
      OsVersionRecordW record{};
      record.size = sizeof record;
      if (!api.GetVersionExW(record)) {
        CaptureLastError();
        FileFunctions.versionQueryW = false;
        continue;
      }
      OsVersion = {record.platformId, record.major, record.minor, record.build, false};
    } else if (FileFunctions.versionQueryA) {
      OsVersionRecordA record{};
      record.size = sizeof record;
      if (!api.GetVersionExA(record)) {
        CaptureLastError();
        FileFunctions.versionQueryA = false;
        continue;
      }
      OsVersion = {record.platformId, record.major, record.minor, record.build, false};
    } else {
      const uint32_t version = api.GetVersion();
      const bool windows9x = (version & 0x80000000u) != 0;
      OsVersion = {windows9x ? kPlatformWindows9x : kPlatformNt, version & 0xFF, (version >> 8) & 0xFF,
                   windows9x ? 0 : version >> 16, false};
    }
    break;
  }
  OsVersion.ntFamily = OsVersion.platformId == kPlatformNt;
  LastFileError = 0;
}

WideBuffer LongPathBuffer(std::string_view path) {
  const std::string system = WithSystemSeparators(std::string(path));
  const std::string text =
      system.starts_with("\\\\") ? "\\\\?\\UNC\\" + system.substr(2) : "\\\\?\\" + system;
  const std::string units = Utf16LeBytes(Utf8ToUtf16(text));
  WideBuffer bytes(units.size() + 2, std::byte{0});  // the last two: the NUL unit
  std::memcpy(bytes.data(), units.data(), units.size());
  return bytes;
}

std::string FileErrorText(int32_t code) {
  if (code == -1) return "the system gave no reason";
  std::string words = ActiveFileSystemApi().ErrorMessage(static_cast<uint32_t>(code));
  if (words.ends_with('.')) words.pop_back();
  const std::string number = "system error " + std::to_string(code);
  return words.empty() ? number : words + " (" + number + ")";
}

void CaptureLastError() {
  FileSystemApi& api = ActiveFileSystemApi();
  uint32_t code = api.LastCallError();
  if (code == 0) code = api.GetLastError();
  LastFileError = code == 0 ? -1 : static_cast<int32_t>(code);
}

}  // namespace baleport
