#include "files/file_attributes.h"

#include "files/file_functions.h"
#include "files/find.h"
#include "support/path_separator.h"

namespace baleport {
namespace {

int32_t Outcome(bool ok) {
  if (ok) {
    LastFileError = 0;
  } else {
    CaptureLastError();
  }
  return LastFileError;
}

}  // namespace

uint32_t GetAttributes(const std::string& path) {
  if (!FileFunctions.initialized) InitFileFunctions();
  FileSystemApi& api = ActiveFileSystemApi();
  const uint32_t attributes = FileFunctions.wideGetAttributes ? api.GetFileAttributesW(LongPathBuffer(path))
                                                              : api.GetFileAttributesA(api.ToCodePage(path));
  Outcome(attributes != kInvalidFileAttributes);
  return attributes;
}

int32_t SetAttributes(const std::string& path, uint32_t attributes) {
  if (!FileFunctions.initialized) InitFileFunctions();
  FileSystemApi& api = ActiveFileSystemApi();
  return Outcome(FileFunctions.wideSetAttributes
                     ? api.SetFileAttributesW(LongPathBuffer(path), attributes)
                     : api.SetFileAttributesA(api.ToCodePage(path), attributes));
}

bool FileExists(const std::string& path) {
  const uint32_t attributes = GetAttributes(path);
  if (attributes != kInvalidFileAttributes && (attributes & kAttributeDirectory) == 0) return true;
  // The attribute query may be refused where the enumeration is not.
  FindEntry entry;
  bool exists = false;
  if (FindFirst(path, entry) != kInvalidFindHandle) {
    exists = (entry.attributes & kAttributeDirectory) == 0;
    ActiveFileSystemApi().FindClose(entry.handle);
  }
  LastFileError = 0;
  return exists;
}

bool FolderExists(const std::string& path) {
  LastFileError = 0;
  const std::string folder = WithTrailingBackslash(path);
  const uint32_t attributes = GetAttributes(path);
  bool exists = attributes != kInvalidFileAttributes && (attributes & kAttributeDirectory) != 0;
  if (!exists) {
    FindEntry entry;
    if (FindFirst(folder + "*.*", entry) != kInvalidFindHandle) {
      exists = true;
      ActiveFileSystemApi().FindClose(entry.handle);
    }
  }
  if (!exists) exists = FileExists(folder + "nul");
  LastFileError = 0;
  return exists;
}

int32_t RemoveFile(const std::string& path) {
  if (!FileFunctions.initialized) InitFileFunctions();
  // A read-only, hidden or system file cannot be deleted as it is.
  SetAttributes(path, kAttributeNormal);
  FileSystemApi& api = ActiveFileSystemApi();
  return Outcome(FileFunctions.wideDelete ? api.DeleteFileW(LongPathBuffer(path))
                                          : api.DeleteFileA(api.ToCodePage(path)));
}

std::string WithTrailingBackslash(std::string_view path) {
  const size_t first = path.find_first_not_of(' ');
  if (first == std::string_view::npos) return std::string(1, kPathSeparator);
  std::string trimmed(path.substr(first, path.find_last_not_of(' ') - first + 1));
  if (trimmed.back() != kPathSeparator) trimmed += kPathSeparator;
  return trimmed;
}

}  // namespace baleport
