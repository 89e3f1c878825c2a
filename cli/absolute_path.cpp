#include "cli/absolute_path.h"

#include <CLI/CLI.hpp>

#ifdef _WIN32
#include "support/windows_system.h"
#else
#include <filesystem>

#include "support/filesystem_path.h"
#endif

namespace baleport {

#ifdef _WIN32
// The system's own resolution: std::filesystem here takes "\\server\share" for a folder
// "\server\share" of the current drive.
std::string AbsolutePath(const std::string& path) {
  std::string p = FullPath(path);
  while (p.size() > 1 && p.back() == '\\' && p[p.size() - 2] != ':' && p[p.size() - 2] != '\\') p.pop_back();
  return p;
}
#else
std::string AbsolutePath(const std::string& path) {
  // An empty path, or a current folder that no longer exists, has no absolute form: the path is
  // kept as given, and opening it then fails with an error naming it.
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(Utf8Path(path), error);
  if (error) return path;
  absolute = absolute.lexically_normal();
  std::string p = Utf8String(absolute);
  const size_t root = Utf8String(absolute.root_path()).size();
  while (p.size() > root && p.back() == '/') p.pop_back();
  return p;
}
#endif

const CLI::Validator& NonEmptyPath() {
  static const CLI::Validator validator(
      [](const std::string& path) { return path.empty() ? std::string("a path cannot be empty") : std::string(); },
      "");
  return validator;
}

}  // namespace baleport
