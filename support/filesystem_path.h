// Paths are UTF-8 on every system; std::filesystem would read a narrow string in the ANSI
// code page on Windows, so it is handed them, and gives them back, as UTF-8.
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

}  // namespace baleport
