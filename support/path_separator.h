// The file-system separator: '\' on Windows, '/' elsewhere (the root "/" plays the
// part of a drive root). Folder paths inside a store always use '\'.
#pragma once

#include <algorithm>
#include <string>

namespace baleport {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// The path with only kPathSeparator between its names. Windows takes "/" as a separator
// too ("C:/Mail/Box" may be typed), except in the "\\?\" form the file services use, and
// a run splits paths at kPathSeparator alone.
inline std::string WithSystemSeparators(std::string path) {
  if constexpr (kPathSeparator == '\\') std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

}  // namespace baleport
