#include "files/tests/failing_api.h"

#include <algorithm>

#include "support/path_separator.h"

namespace baleport::testing {
namespace {

constexpr uint32_t kAccessDenied = 5;

}  // namespace

ModuleHandle FailingApi::LoadLibraryA(const char* name) {
  return kernel32Missing ? nullptr : real_.LoadLibraryA(name);
}
void* FailingApi::GetProcAddress(ModuleHandle module, const char* name) { return real_.GetProcAddress(module, name); }
bool FailingApi::FreeLibrary(ModuleHandle module) { return real_.FreeLibrary(module); }
bool FailingApi::GetVersionExW(OsVersionRecordW& record) {
  return !versionExWFails && real_.GetVersionExW(record);
}
bool FailingApi::GetVersionExA(OsVersionRecordA& record) {
  return !versionExAFails && real_.GetVersionExA(record);
}
uint32_t FailingApi::GetVersion() { return real_.GetVersion(); }
uint32_t FailingApi::GetFileAttributesW(const WideBuffer& path) {
  return failWithoutCode ? kInvalidFileAttributes : real_.GetFileAttributesW(path);
}
uint32_t FailingApi::GetFileAttributesA(const std::string& path) {
  return failWithoutCode ? kInvalidFileAttributes : real_.GetFileAttributesA(path);
}
bool FailingApi::SetFileAttributesW(const WideBuffer& path, uint32_t attributes) {
  return !failWithoutCode && real_.SetFileAttributesW(path, attributes);
}
bool FailingApi::SetFileAttributesA(const std::string& path, uint32_t attributes) {
  return !failWithoutCode && real_.SetFileAttributesA(path, attributes);
}
bool FailingApi::Unlistable(const WideBuffer& spec) const {
  if (unlistableFolder.empty()) return false;
  WideBuffer folder = LongPathBuffer(unlistableFolder + kPathSeparator);
  folder.resize(folder.size() - 2);  // the NUL unit
  return spec.size() >= folder.size() && std::equal(folder.begin(), folder.end(), spec.begin());
}
bool FailingApi::Unlistable(const std::string& spec) const {
  return !unlistableFolder.empty() && spec.starts_with(unlistableFolder + kPathSeparator);
}

FindHandle FailingApi::FindFirstFileW(const WideBuffer& spec, FindDataW& data) {
  injectedError_ = Unlistable(spec) ? kAccessDenied : 0;
  if (injectedError_ != 0 || failWithoutCode) return kInvalidFindHandle;
  return real_.FindFirstFileW(spec, data);
}
FindHandle FailingApi::FindFirstFileA(const std::string& spec, FindDataA& data) {
  injectedError_ = Unlistable(spec) ? kAccessDenied : 0;
  if (injectedError_ != 0 || failWithoutCode) return kInvalidFindHandle;
  return real_.FindFirstFileA(spec, data);
}
bool FailingApi::FindNextFileW(FindHandle handle, FindDataW& data) {
  return !failWithoutCode && real_.FindNextFileW(handle, data);
}
bool FailingApi::FindNextFileA(FindHandle handle, FindDataA& data) {
  return !failWithoutCode && real_.FindNextFileA(handle, data);
}
bool FailingApi::FindClose(FindHandle handle) { return real_.FindClose(handle); }
bool FailingApi::DeleteFileW(const WideBuffer& path) { return !failWithoutCode && real_.DeleteFileW(path); }
bool FailingApi::DeleteFileA(const std::string& path) { return !failWithoutCode && real_.DeleteFileA(path); }
uint32_t FailingApi::GetLastError() {
  if (injectedError_ != 0) return injectedError_;
  return failWithoutCode ? 0 : real_.GetLastError();
}
uint32_t FailingApi::LastCallError() {
  if (injectedError_ != 0) return injectedError_;
  return failWithoutCode ? 0 : real_.LastCallError();
}
std::string FailingApi::ErrorMessage(uint32_t code) { return real_.ErrorMessage(code); }
std::string FailingApi::ToCodePage(const std::string& text) { return real_.ToCodePage(text); }
std::string FailingApi::FromCodePage(const std::string& text) { return real_.FromCodePage(text); }
std::optional<FolderIdentity> FailingApi::IdentifyFolder(const WideBuffer& path) {
  return real_.IdentifyFolder(path);
}

}  // namespace baleport::testing
