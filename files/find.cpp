#include "files/find.h"

#include <string_view>

#include "files/file_functions.h"
#include "support/ascii_case.h"
#include "support/utf16_text.h"

namespace baleport {
namespace {

constexpr int32_t kErrorNoMoreFiles = 18;

SearchKind KindOf(std::string_view spec) {
  if (AsciiLowercase(spec.substr(0, 6)) == "ftp://") return SearchKind::kFtp;
  return spec.starts_with("\\\\") ? SearchKind::kNetwork : SearchKind::kLocal;
}

void TakeEntry(const FindDataW& data, FindEntry& entry) {
  AssignUtf8(entry.name, CutAtNul(std::u16string_view(data.fileName.data(), data.fileName.size())));
  entry.attributes = data.fileAttributes;
}

void TakeEntry(const FindDataA& data, FindEntry& entry) {
  entry.name = ActiveFileSystemApi().FromCodePage(
      std::string(CutAtNul(std::string_view(data.fileName.data(), data.fileName.size()))));
  entry.attributes = data.fileAttributes;
}

// After a failed step: the end of the list is not an error.
void RecordFailure(FindEntry& entry) {
  CaptureLastError();
  entry.found = false;
  const bool end_of_list = LastFileError == kErrorNoMoreFiles;
  entry.errorFlag = !end_of_list;
  entry.errorCode = end_of_list ? 0 : LastFileError;
}

void MarkFound(FindEntry& entry) {
  LastFileError = 0;
  entry.found = true;
  entry.errorFlag = false;
  entry.errorCode = 0;
}

}  // namespace

FindHandle FindFirst(const std::string& spec, FindEntry& entry) {
  if (!FileFunctions.initialized) InitFileFunctions();
  entry.searchSpec = spec;
  entry.searchKind = KindOf(spec);
  if (entry.searchKind == SearchKind::kFtp) {
    entry.errorFlag = false;
    entry.errorCode = 0;
    entry.found = false;
    return kInvalidFindHandle;
  }
  FileSystemApi& api = ActiveFileSystemApi();
  FindHandle handle;
  if (FileFunctions.wideFindFirst) {
    FindDataW data;
    handle = api.FindFirstFileW(LongPathBuffer(spec), data);
    if (handle != kInvalidFindHandle) TakeEntry(data, entry);
  } else {
    FindDataA data;
    handle = api.FindFirstFileA(api.ToCodePage(spec), data);
    if (handle != kInvalidFindHandle) TakeEntry(data, entry);
  }
  if (handle != kInvalidFindHandle) {
    MarkFound(entry);
  } else {
    RecordFailure(entry);
  }
  entry.handle = handle;
  return handle;
}

bool FindNext(FindEntry& entry) {
  if (!FileFunctions.initialized) InitFileFunctions();
  FileSystemApi& api = ActiveFileSystemApi();
  bool ok;
  if (FileFunctions.wideFindNext) {
    FindDataW data;
    ok = api.FindNextFileW(entry.handle, data);
    if (ok) TakeEntry(data, entry);
  } else {
    FindDataA data;
    ok = api.FindNextFileA(entry.handle, data);
    if (ok) TakeEntry(data, entry);
  }
  if (ok) {
    LastFileError = 0;
    entry.found = true;
    return true;
  }
  RecordFailure(entry);
  FindEnd(entry);
  entry.handle = 0;
  return false;
}

bool FindEnd(FindEntry& entry) {
  bool closed = true;
  if (entry.handle != 0 && entry.handle != kInvalidFindHandle) {
    closed = ActiveFileSystemApi().FindClose(entry.handle);
  }
  if (closed) {
    LastFileError = 0;
  } else {
    CaptureLastError();
  }
  entry.found = false;
  entry.handle = kInvalidFindHandle;
  return closed;
}

}  // namespace baleport
