#include "files/tests/recording_api.h"

#include <algorithm>

#include "support/path_separator.h"

namespace baleport::testing {
namespace {

constexpr uint32_t kAccessDenied = 5;

}  // namespace

int RecordingApi::CountOf(const std::string& name) const {
  return static_cast<int>(std::count(calls.begin(), calls.end(), name));
}

ModuleHandle RecordingApi::LoadLibraryA(const char* name) {
  calls.push_back("LoadLibraryA");
  return kernel32Missing ? nullptr : real_.LoadLibraryA(name);
}
void* RecordingApi::GetProcAddress(ModuleHandle module, const char* name) {
  calls.push_back("GetProcAddress");
  return real_.GetProcAddress(module, name);
}
bool RecordingApi::FreeLibrary(ModuleHandle module) {
  calls.push_back("FreeLibrary");
  return real_.FreeLibrary(module);
}
bool RecordingApi::GetVersionExW(OsVersionRecordW& record) {
  calls.push_back("GetVersionExW");
  return !versionExWFails && real_.GetVersionExW(record);
}
bool RecordingApi::GetVersionExA(OsVersionRecordA& record) {
  calls.push_back("GetVersionExA");
  return !versionExAFails && real_.GetVersionExA(record);
}
uint32_t RecordingApi::GetVersion() {
  calls.push_back("GetVersion");
  return real_.GetVersion();
}
uint32_t RecordingApi::GetFileAttributesW(const WideBuffer& path) {
  calls.push_back("GetFileAttributesW");
  return failWithoutCode ? kInvalidFileAttributes : real_.GetFileAttributesW(path);
}
uint32_t RecordingApi::GetFileAttributesA(const std::string& path) {
  calls.push_back("GetFileAttributesA");
  return failWithoutCode ? kInvalidFileAttributes : real_.GetFileAttributesA(path);
}
bool RecordingApi::SetFileAttributesW(const WideBuffer& path, uint32_t attributes) {
  calls.push_back("SetFileAttributesW");
  return !failWithoutCode && real_.SetFileAttributesW(path, attributes);
}
bool RecordingApi::SetFileAttributesA(const std::string& path, uint32_t attributes) {
  calls.push_back("SetFileAttributesA");
  return !failWithoutCode && real_.SetFileAttributesA(path, attributes);
}
bool RecordingApi::Unlistable(const WideBuffer& spec) const {
  if (unlistableFolder.empty()) return false;
  WideBuffer folder = LongPathBuffer(unlistableFolder + kPathSeparator);
  folder.resize(folder.size() - 2);  // the NUL unit
  return spec.size() >= folder.size() && std::equal(folder.begin(), folder.end(), spec.begin());
}
bool RecordingApi::Unlistable(const std::string& spec) const {
  return !unlistableFolder.empty() && spec.starts_with(unlistableFolder + kPathSeparator);
}

FindHandle RecordingApi::FindFirstFileW(const WideBuffer& spec, FindDataW& data) {
  calls.push_back("FindFirstFileW");
  injectedError_ = Unlistable(spec) ? kAccessDenied : 0;
  if (injectedError_ != 0) return kInvalidFindHandle;
  return failWithoutCode ? kInvalidFindHandle : real_.FindFirstFileW(spec, data);
}
FindHandle RecordingApi::FindFirstFileA(const std::string& spec, FindDataA& data) {
  calls.push_back("FindFirstFileA");
  injectedError_ = Unlistable(spec) ? kAccessDenied : 0;
  if (injectedError_ != 0) return kInvalidFindHandle;
  return failWithoutCode ? kInvalidFindHandle : real_.FindFirstFileA(spec, data);
}
bool RecordingApi::FindNextFileW(FindHandle handle, FindDataW& data) {
  calls.push_back("FindNextFileW");
  return !failWithoutCode && real_.FindNextFileW(handle, data);
}
bool RecordingApi::FindNextFileA(FindHandle handle, FindDataA& data) {
  calls.push_back("FindNextFileA");
  return !failWithoutCode && real_.FindNextFileA(handle, data);
}
bool RecordingApi::FindClose(FindHandle handle) {
  calls.push_back("FindClose");
  return real_.FindClose(handle);
}
bool RecordingApi::DeleteFileW(const WideBuffer& path) {
  calls.push_back("DeleteFileW");
  return !failWithoutCode && real_.DeleteFileW(path);
}
bool RecordingApi::DeleteFileA(const std::string& path) {
  calls.push_back("DeleteFileA");
  return !failWithoutCode && real_.DeleteFileA(path);
}
uint32_t RecordingApi::GetLastError() {
  if (injectedError_ != 0) return injectedError_;
  return failWithoutCode ? 0 : real_.GetLastError();
}
uint32_t RecordingApi::LastCallError() {
  if (injectedError_ != 0) return injectedError_;
  return failWithoutCode ? 0 : real_.LastCallError();
}
std::string RecordingApi::ErrorMessage(uint32_t code) { return real_.ErrorMessage(code); }
std::string RecordingApi::ToCodePage(const std::string& text) { return real_.ToCodePage(text); }
std::string RecordingApi::FromCodePage(const std::string& text) { return real_.FromCodePage(text); }
std::optional<FolderIdentity> RecordingApi::IdentifyFolder(const WideBuffer& path) {
  return real_.IdentifyFolder(path);
}

}  // namespace baleport::testing
