// The file-system separator: '\' on Windows, '/' elsewhere (the root "/" plays the
// part of a drive root). Folder paths inside a store always use '\'.
#pragma once

namespace baleport {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

}  // namespace baleport
