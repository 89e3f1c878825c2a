// Path helpers of the conversion run, on file-system paths (separator kPathSeparator).
#pragma once

#include <string>

namespace baleport {

// The part after the last separator; the whole text without one; empty when the path
// ends with one. An empty path throws std::out_of_range.
std::string FileNameOfPath(const std::string& path);

// The part up to and including the last separator; empty without one. An empty path
// throws std::out_of_range. FolderOfPath(p) + FileNameOfPath(p) == p.
std::string FolderOfPath(const std::string& path);

}  // namespace baleport
