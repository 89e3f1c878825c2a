// Paths from the command line are made absolute before use, so that the run, the log and
// the messages name files the same way wherever the program was started.
#pragma once

#include <filesystem>
#include <string>

namespace baleport {

// Absolute, without "." and ".." parts or a trailing separator (the root keeps its own).
inline std::string AbsolutePath(const std::string& path) {
  std::string p = std::filesystem::absolute(std::filesystem::path(path)).lexically_normal().string();
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

}  // namespace baleport
