#include "support/path_parts.h"

#include <stdexcept>

#include "support/path_separator.h"

namespace baleport {

std::string FileNameOfPath(const std::string& path) {
  if (path.empty()) throw std::out_of_range("cannot split an empty path");
  const size_t cut = path.rfind(kPathSeparator);
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string FolderOfPath(const std::string& path) {
  return path.substr(0, path.size() - FileNameOfPath(path).size());
}

}  // namespace baleport
