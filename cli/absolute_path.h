// Paths from the command line are made absolute before use, so that the run, the log and
// the messages name files the same way wherever the program was started.
#pragma once

#include <filesystem>
#include <string>

#include "support/filesystem_path.h"

namespace baleport {

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
