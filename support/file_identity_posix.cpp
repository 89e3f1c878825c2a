#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "support/file_identity.h"

namespace baleport {

FileIdentity IdentityOf(const struct stat& st) {
  auto ns = [](const struct timespec& t) { return int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec; };
  return FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
                      static_cast<uint64_t>(st.st_size), ns(st.st_mtim), ns(st.st_ctim)};
}

Result<FileIdentity> IdentifyFile(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return Status::Error(CodeOfErrno(errno), "examining " + path + ": " + std::strerror(errno));
  return IdentityOf(st);
}

Result<std::string> RealPath(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
  if (real == nullptr) return Status::Error(CodeOfErrno(errno), "resolving " + path + ": " + std::strerror(errno));
  return std::string(real.get());
}

bool RealPathIsInside(const std::string& path, const std::string& realFolder) {
  Result<std::string> real = RealPath(path);
  if (!real.ok()) return false;
  const std::string prefix = realFolder.ends_with('/') ? realFolder : realFolder + "/";
  return real->starts_with(prefix);
}

}  // namespace baleport
