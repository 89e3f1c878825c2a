// Paths from the command line are made absolute before use, so that the run, the log and
// the messages name files the same way wherever the program was started. Paths are UTF-8
// throughout; std::filesystem is handed them as such (on Windows its narrow strings would be
// the ANSI code page).
#pragma once

#include <filesystem>
#include <string>

namespace baleport {

inline std::filesystem::path Utf8Path(const std::string& path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

inline std::string Utf8String(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// Absolute, without "." and ".." parts or a trailing separator (a root, "/" or "C:\", keeps its own).
inline std::string AbsolutePath(const std::string& path) {
  const std::filesystem::path absolute = std::filesystem::absolute(Utf8Path(path)).lexically_normal();
  std::string p = Utf8String(absolute);
  const size_t root = Utf8String(absolute.root_path()).size();
  while (p.size() > root && (p.back() == '/' || p.back() == static_cast<char>(std::filesystem::path::preferred_separator))) {
    p.pop_back();
  }
  return p;
}

}  // namespace baleport
